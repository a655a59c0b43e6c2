#include "platform/core/IniFiles.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/core/AnsiText.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"
#include "platform/core/ScopeGuards.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

AnsiString TrimBlanks(const AnsiString& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Value as read: trimmed, and without one pair of enclosing quotes.
AnsiString CookValue(const AnsiString& raw) {
  AnsiString v = TrimBlanks(raw);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0] &&
      ByteTypeAt(v, v.size() - 1) != mbTrailByte)
    v = v.substr(1, v.size() - 2);
  return v;
}

bool SameName(const AnsiString& a, const AnsiString& b) { return AnsiSameText(a, b); }

// A line break inside a name or value would split its line and turn the
// rest into a line of its own (a stray key or section): written as blanks.
AnsiString OneLine(AnsiString s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';  // never trail bytes (< 0x40)
  return s;
}

}  // namespace

TIniFile::TIniFile(const AnsiString& fileName) : fileName_(fileName) {}

void TIniFile::Load() {
  struct stat st {};
  const std::string native = MapPath(fileName_);
  if (::stat(native.c_str(), &st) != 0) {
    lines_.clear();
    loaded_ = true;
    size_ = -1;
    return;
  }
  if (loaded_ && size_ == st.st_size && inode_ == st.st_ino &&
      mtime_.tv_sec == st.st_mtim.tv_sec && mtime_.tv_nsec == st.st_mtim.tv_nsec)
    return;
  std::string data;
  try {
    data = ReadWholeFile(fileName_);
  } catch (const Exception&) {
    // An unreadable file reads as empty: every key gives its default.
    lines_.clear();
    loaded_ = false;
    return;
  }
  lines_.clear();
  size_t i = 0;
  while (i < data.size()) {
    size_t start = i;
    while (i < data.size() && data[i] != '\r' && data[i] != '\n') ++i;
    Line line;
    line.text = data.substr(start, i - start);
    if (i < data.size() && data[i] == '\r') ++i;
    if (i < data.size() && data[i] == '\n') ++i;
    AnsiString t = TrimBlanks(line.text);
    if (!t.empty() && t[0] == '[') {
      // ']' (0x5D) can be a trail byte: only a character ']' closes.
      size_t close = std::string::npos;
      for (size_t k = 1; k < t.size() && close == std::string::npos; ++k)
        if (t[k] == ']' && ByteTypeAt(t, k) != mbTrailByte) close = k;
      if (close != std::string::npos) {
        line.kind = 1;
        line.name = TrimBlanks(t.substr(1, close - 1));
      }
    } else if (!t.empty() && t[0] != ';') {
      size_t eq = t.find('=');  // '=' (0x3D) is never a trail byte
      if (eq != std::string::npos) {
        line.kind = 2;
        line.name = TrimBlanks(t.substr(0, eq));
      }
    }
    lines_.push_back(std::move(line));
  }
  loaded_ = true;
  size_ = st.st_size;
  inode_ = st.st_ino;
  mtime_ = st.st_mtim;
}

void TIniFile::Save() {
  std::string data;
  for (const Line& l : lines_) {
    data += l.text;
    data += "\r\n";
  }
  // Re-read before the next use whether or not the write succeeds: after a
  // failure lines_ no longer match the file.
  loaded_ = false;
  try {
    WriteFileAtomically(fileName_, data);
  } catch (const EFCreateError&) {
    throw EIniFileException("Unable to write to " + fileName_);
  }
}

int TIniFile::FindSection(const AnsiString& section) const {
  AnsiString want = TrimBlanks(section);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == 1 && SameName(lines_[i].name, want)) return static_cast<int>(i);
  return -1;
}

int TIniFile::SectionEnd(int header) const {
  size_t i = static_cast<size_t>(header) + 1;
  while (i < lines_.size() && lines_[i].kind != 1) ++i;
  return static_cast<int>(i);
}

int TIniFile::FindKey(int header, const AnsiString& ident) const {
  AnsiString want = TrimBlanks(ident);
  int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i)
    if (lines_[i].kind == 2 && SameName(lines_[i].name, want)) return i;
  return -1;
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& ident,
                                const AnsiString& defaultValue) {
  Load();
  int h = FindSection(section);
  if (h < 0) return defaultValue;
  int k = FindKey(h, ident);
  if (k < 0) return defaultValue;
  const AnsiString& text = lines_[static_cast<size_t>(k)].text;
  return CookValue(text.substr(text.find('=') + 1));
}

int TIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue) {
  AnsiString s = ReadString(section, ident, AnsiString());
  if (s.empty()) return defaultValue;
  return StrToIntDef(s, defaultValue);
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const AnsiString& section, const AnsiString& ident,
                           double defaultValue) {
  AnsiString s = ReadString(section, ident, AnsiString());
  if (s.empty()) return defaultValue;
  return StrToFloatDef(s, defaultValue);
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& ident,
                           const AnsiString& rawValue) {
  Load();
  AnsiString sec = OneLine(TrimBlanks(section)), key = OneLine(TrimBlanks(ident));
  AnsiString value = OneLine(rawValue);
  Line line;
  line.kind = 2;
  line.name = key;
  line.text = key + "=" + value;
  int h = FindSection(sec);
  if (h < 0) {
    Line header;
    header.kind = 1;
    header.name = sec;
    header.text = "[" + sec + "]";
    lines_.push_back(header);
    lines_.push_back(line);
  } else if (int k = FindKey(h, key); k >= 0) {
    // Keep the file's spelling of the key.
    const AnsiString& old = lines_[static_cast<size_t>(k)].text;
    size_t eq = old.find('=');
    lines_[static_cast<size_t>(k)].text = TrimBlanks(old.substr(0, eq)) + "=" + value;
  } else {
    // After the last key of the section, before its trailing blank lines
    // and comments.
    int pos = h + 1;
    int end = SectionEnd(h);
    for (int i = h + 1; i < end; ++i)
      if (lines_[static_cast<size_t>(i)].kind == 2) pos = i + 1;
    lines_.insert(lines_.begin() + pos, line);
  }
  Save();
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value) {
  WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::WriteFloat(const AnsiString& section, const AnsiString& ident, double value) {
  WriteString(section, ident, FloatToStr(value));
}

void TIniFile::ReadSection(const AnsiString& section, TStrings* strings) {
  Load();
  TUpdateScope update(strings);
  strings->Clear();
  int h = FindSection(section);
  if (h >= 0) {
    int end = SectionEnd(h);
    for (int i = h + 1; i < end; ++i)
      if (lines_[static_cast<size_t>(i)].kind == 2) strings->Add(lines_[static_cast<size_t>(i)].name);
  }
}

void TIniFile::ReadSections(TStrings* strings) {
  Load();
  TUpdateScope update(strings);
  strings->Clear();
  for (const Line& l : lines_)
    if (l.kind == 1) strings->Add(l.name);
}

void TIniFile::ReadSectionValues(const AnsiString& section, TStrings* strings) {
  Load();
  TUpdateScope update(strings);
  strings->Clear();
  int h = FindSection(section);
  if (h >= 0) {
    int end = SectionEnd(h);
    for (int i = h + 1; i < end; ++i) {
      const Line& l = lines_[static_cast<size_t>(i)];
      // The first of duplicate keys is the one a read returns.
      if (l.kind == 2 && FindKey(h, l.name) == i)
        strings->Add(l.name + "=" + CookValue(l.text.substr(l.text.find('=') + 1)));
    }
  }
}

void TIniFile::EraseSection(const AnsiString& section) {
  Load();
  int h = FindSection(section);
  if (h < 0) return;
  lines_.erase(lines_.begin() + h, lines_.begin() + SectionEnd(h));
  Save();
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  Load();
  int h = FindSection(section);
  if (h < 0) return;
  int k = FindKey(h, ident);
  if (k < 0) return;
  lines_.erase(lines_.begin() + k);
  Save();
}

bool TIniFile::SectionExists(const AnsiString& section) {
  Load();
  int h = FindSection(section);
  if (h < 0) return false;
  int end = SectionEnd(h);
  for (int i = h + 1; i < end; ++i)
    if (lines_[static_cast<size_t>(i)].kind == 2) return true;
  return false;
}

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& ident) {
  Load();
  int h = FindSection(section);
  return h >= 0 && FindKey(h, ident) >= 0;
}
