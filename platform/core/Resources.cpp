#include "platform/core/Resources.h"

#include <map>
#include <mutex>
#include <string>

#include "platform/core/AnsiText.h"
#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"
#include "platform/core/ResourceTable.h"

namespace {

std::mutex gMutex;
const TEmbeddedResourceTable* gRegistered = nullptr;
const TEmbeddedResourceTable* gTableOverride = nullptr;
// The string tables, parsed on first use; guarded by gMutex.
bool gStringsLoaded = false;
std::map<int, AnsiString> gStrings;

const TEmbeddedResourceTable& Table() {
  static const TEmbeddedResourceTable kNone = {nullptr, 0};
  if (gTableOverride) return *gTableOverride;
  return gRegistered ? *gRegistered : kNone;
}

int KindOfFolder(const char* folder) {
  std::string f = AnsiLowerCase(folder);
  if (f == "bitmaps") return RT_BITMAP;
  if (f == "cursors") return RT_CURSOR;
  if (f == "strings") return RT_STRING;
  return RT_RCDATA;
}

AnsiString Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char c = text[++i];
      switch (c) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += c; break;
      }
    } else {
      out += text[i];
    }
  }
  // Escapes are resolved on the UTF-8 text, where '\' is always a character.
  return Utf8ToAnsi(out);
}

// Parses one string-table file into gStrings.
void ParseStringTable(const unsigned char* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 mark
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string_view::npos) continue;
    std::string_view idText = line.substr(0, eq);
    while (!idText.empty() && (idText.front() == ' ' || idText.front() == '\t')) idText.remove_prefix(1);
    while (!idText.empty() && (idText.back() == ' ' || idText.back() == '\t')) idText.remove_suffix(1);
    if (idText.empty()) continue;
    bool digits = true;
    long id = 0;
    for (char c : idText) {
      if (c < '0' || c > '9' || id > 10000000) {
        digits = false;
        break;
      }
      id = id * 10 + (c - '0');
    }
    if (!digits) continue;
    gStrings[static_cast<int>(id)] = Unescape(line.substr(eq + 1));
  }
}

void LoadStringTables() {
  gStrings.clear();
  const TEmbeddedResourceTable& t = Table();
  // The generator lists files in name order, so later files override.
  for (size_t i = 0; i < t.count; ++i) {
    const TEmbeddedResource& r = t.items[i];
    if (r.folder && KindOfFolder(r.folder) == RT_STRING) ParseStringTable(r.data, r.size);
  }
  gStringsLoaded = true;
}

}  // namespace

TResourceBlock FindResource(const AnsiString& name, int kind) {
  const TEmbeddedResourceTable& t = Table();
  for (size_t i = 0; i < t.count; ++i) {
    const TEmbeddedResource& r = t.items[i];
    if (r.folder && KindOfFolder(r.folder) == kind && AnsiSameText(r.name, name))
      return TResourceBlock{r.data, r.size};
  }
  return TResourceBlock{};
}

TResourceBlock LoadResource(const AnsiString& name, int kind) {
  TResourceBlock b = FindResource(name, kind);
  if (!b.data) throw EResNotFound("Resource " + name + " not found");
  return b;
}

TResourceStream::TResourceStream(const AnsiString& name, int kind) {
  TResourceBlock b = LoadResource(name, kind);
  // The block is read-only: TCustomMemoryStream never writes through it.
  SetPointer(const_cast<unsigned char*>(b.data), static_cast<std::int64_t>(b.size));
}

AnsiString LoadStr(int id) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gStringsLoaded) LoadStringTables();
  auto it = gStrings.find(id);
  return it == gStrings.end() ? AnsiString() : it->second;
}

void RegisterResources(const TEmbeddedResourceTable* table) {
  std::lock_guard<std::mutex> lock(gMutex);
  gRegistered = table;
  gStringsLoaded = false;
  gStrings.clear();
}

void SetResourceTableForTesting(const TEmbeddedResourceTable* table) {
  std::lock_guard<std::mutex> lock(gMutex);
  gTableOverride = table;
  gStringsLoaded = false;
  gStrings.clear();
}
