#include "platform/core/Settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/core/AnsiText.h"
#include "platform/core/CodePage.h"
#include "platform/core/Files.h"
#include "platform/core/IniFiles.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"

namespace {

std::mutex gSettingsMutex;
AnsiString gSettingsOverride;

AnsiString DefaultSettingsFile() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      // No $HOME (a service, a cleaned environment): the password database.
      const passwd* pw = ::getpwuid(::geteuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.config";
  }
  return Utf8ToAnsi(base + "/payroll/settings.ini");
}

// Normalises a key path: '\' separated, no empty components, no leading or
// trailing '\'.  Trail bytes 0x5C are left alone.
AnsiString NormaliseKey(const AnsiString& key) {
  AnsiString out;
  AnsiString comp;
  auto flush = [&] {
    if (!comp.empty()) {
      if (!out.empty()) out += '\\';
      out += comp;
      comp.clear();
    }
  };
  for (size_t i = 0; i < key.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(key[i]);
    if (IsDBCSLeadByte(c) && i + 1 < key.size()) {
      comp += key.substr(i, 2);
      ++i;
    } else if (c == '\\') {
      flush();
    } else {
      comp += static_cast<char>(c);
    }
  }
  flush();
  return out;
}

AnsiString RootPrefix(HKEY root) {
  switch (root) {
    case HKEY_CURRENT_USER: return AnsiString();
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    default: return "HKEY_" + std::to_string(root);
  }
}

AnsiString EncodeString(const AnsiString& value) {
  AnsiString out = "\"";
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (IsDBCSLeadByte(static_cast<unsigned char>(c)) && i + 1 < value.size()) {
      out += value.substr(i, 2);
      ++i;
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The ini reader already dropped the enclosing quotes.
AnsiString DecodeString(const AnsiString& stored) {
  AnsiString out;
  for (size_t i = 0; i < stored.size(); ++i) {
    char c = stored[i];
    if (IsDBCSLeadByte(static_cast<unsigned char>(c)) && i + 1 < stored.size()) {
      out += stored.substr(i, 2);
      ++i;
    } else if (c == '\\' && i + 1 < stored.size()) {
      char n = stored[++i];
      out += n == 'r' ? '\r' : n == 'n' ? '\n' : n;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

AnsiString SettingsFileName() {
  std::lock_guard<std::mutex> lock(gSettingsMutex);
  return gSettingsOverride.empty() ? DefaultSettingsFile() : gSettingsOverride;
}

void SetSettingsFileForTesting(const AnsiString& fileName) {
  std::lock_guard<std::mutex> lock(gSettingsMutex);
  gSettingsOverride = fileName;
}

// ---- TRegistry -------------------------------------------------------------------

TRegistry::TRegistry() = default;

TRegistry::~TRegistry() { delete file_; }

TIniFile& TRegistry::File() {
  AnsiString name = SettingsFileName();
  if (!file_ || file_->FileName() != name) {
    delete file_;
    file_ = nullptr;
    file_ = new TIniFile(name);
  }
  return *file_;
}

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  rootKey_ = root;
}

AnsiString TRegistry::PathOf(const AnsiString& key) const {
  bool absolute = !key.empty() && key[0] == '\\';
  if (absolute || !open_) return NormaliseKey(key);
  return NormaliseKey(currentPath_ + "\\" + key);
}

AnsiString TRegistry::SectionOf(const AnsiString& key) const {
  AnsiString path = PathOf(key);
  AnsiString prefix = RootPrefix(rootKey_);
  if (prefix.empty()) return path;
  return path.empty() ? prefix : prefix + "\\" + path;
}

AnsiString TRegistry::OpenSection() const { return SectionOf("\\" + currentPath_); }

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
  AnsiString section = SectionOf(key);
  AnsiString path = PathOf(key);
  if (!path.empty() && !KeyExists("\\" + path)) {
    if (!canCreate) return false;
    // A key exists once its section header is in the file.
    ForceDirectories(ExtractFileDir(SettingsFileName()));
    TIniFile& f = File();
    try {
      f.WriteString(section, "", "");
      f.DeleteKey(section, "");
    } catch (const Exception&) {
      return false;
    }
  }
  currentPath_ = path;
  open_ = true;
  readOnly_ = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& key) {
  if (!OpenKey(key, false)) return false;
  readOnly_ = true;
  return true;
}

void TRegistry::CloseKey() {
  currentPath_.clear();
  open_ = false;
  readOnly_ = false;
}

bool TRegistry::KeyExists(const AnsiString& key) {
  AnsiString section = SectionOf(key);
  TStringList sections;
  File().ReadSections(&sections);
  for (int i = 0; i < sections.Count(); ++i) {
    AnsiString s = NormaliseKey(sections[i]);
    if (AnsiSameText(s, section)) return true;
    // A key with subkeys only exists as their prefix.
    if (s.size() > section.size() && s[section.size()] == '\\' &&
        AnsiSameText(s.substr(0, section.size()), section))
      return true;
  }
  return false;
}

bool TRegistry::DeleteKey(const AnsiString& key) {
  AnsiString section = SectionOf(key);
  if (!KeyExists(key)) return false;
  TStringList sections;
  TIniFile& f = File();
  f.ReadSections(&sections);
  for (int i = 0; i < sections.Count(); ++i) {
    AnsiString s = NormaliseKey(sections[i]);
    bool below = s.size() > section.size() && s[section.size()] == '\\' &&
                 AnsiSameText(s.substr(0, section.size()), section);
    if (AnsiSameText(s, section) || below) f.EraseSection(sections[i]);
  }
  return true;
}

bool TRegistry::ValueExists(const AnsiString& name) {
  return open_ && File().ValueExists(OpenSection(), name);
}

bool TRegistry::DeleteValue(const AnsiString& name) {
  if (!ValueExists(name) || readOnly_) return false;
  File().DeleteKey(OpenSection(), name);
  return true;
}

void TRegistry::GetKeyNames(TStrings* strings) {
  strings->Clear();
  AnsiString section = OpenSection();
  TStringList sections;
  File().ReadSections(&sections);
  for (int i = 0; i < sections.Count(); ++i) {
    AnsiString s = NormaliseKey(sections[i]);
    size_t skip = section.empty() ? 0 : section.size() + 1;
    if (!section.empty() && !(s.size() > section.size() && s[section.size()] == '\\' &&
                              AnsiSameText(s.substr(0, section.size()), section)))
      continue;
    AnsiString rest = s.substr(skip);
    AnsiString child = NormaliseKey(rest);
    size_t cut = 0;
    while (cut < child.size()) {
      unsigned char c = static_cast<unsigned char>(child[cut]);
      if (IsDBCSLeadByte(c) && cut + 1 < child.size()) {
        cut += 2;
        continue;
      }
      if (c == '\\') break;
      ++cut;
    }
    child = child.substr(0, cut);
    bool seen = false;
    for (int k = 0; k < strings->Count() && !seen; ++k) seen = AnsiSameText(strings->Get(k), child);
    if (!child.empty() && !seen) strings->Add(child);
  }
}

void TRegistry::GetValueNames(TStrings* strings) {
  strings->Clear();
  if (open_) File().ReadSection(OpenSection(), strings);
}

AnsiString TRegistry::ReadString(const AnsiString& name) {
  if (!ValueExists(name)) return AnsiString();
  return DecodeString(File().ReadString(OpenSection(), name, AnsiString()));
}

int TRegistry::ReadInteger(const AnsiString& name) {
  if (!ValueExists(name)) throw ERegistryException("Failed to get data for '" + name + "'");
  int value;
  if (!TryStrToInt(File().ReadString(OpenSection(), name, AnsiString()), value))
    throw ERegistryException("Invalid data type for '" + name + "'");
  return value;
}

bool TRegistry::ReadBool(const AnsiString& name) { return ReadInteger(name) != 0; }

void TRegistry::CheckWritable(const AnsiString& name) const {
  if (!open_ || readOnly_ || name.find('=') != std::string::npos ||
      name.find_first_of("\r\n") != std::string::npos)
    throw ERegistryException("Failed to set data for '" + name + "'");
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
  CheckWritable(name);
  ForceDirectories(ExtractFileDir(SettingsFileName()));
  try {
    File().WriteString(OpenSection(), name, EncodeString(value));
  } catch (const EIniFileException&) {
    throw ERegistryException("Failed to set data for '" + name + "'");
  }
}

void TRegistry::WriteInteger(const AnsiString& name, int value) {
  CheckWritable(name);
  ForceDirectories(ExtractFileDir(SettingsFileName()));
  try {
    File().WriteInteger(OpenSection(), name, value);
  } catch (const EIniFileException&) {
    throw ERegistryException("Failed to set data for '" + name + "'");
  }
}

void TRegistry::WriteBool(const AnsiString& name, bool value) { WriteInteger(name, value ? 1 : 0); }

// ---- TRegIniFile -----------------------------------------------------------------

TRegIniFile::TRegIniFile(const AnsiString& fileName) : key_(NormaliseKey(fileName)) {}

TRegIniFile::~TRegIniFile() = default;

bool TRegIniFile::Open(const AnsiString& section, bool create) {
  reg_.CloseKey();
  return reg_.OpenKey("\\" + key_ + "\\" + section, create);
}

AnsiString TRegIniFile::ReadString(const AnsiString& section, const AnsiString& ident,
                                   const AnsiString& defaultValue) {
  if (!Open(section, false) || !reg_.ValueExists(ident)) return defaultValue;
  return reg_.ReadString(ident);
}

int TRegIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident,
                             int defaultValue) {
  if (!Open(section, false) || !reg_.ValueExists(ident)) return defaultValue;
  try {
    return reg_.ReadInteger(ident);
  } catch (const ERegistryException&) {
    return defaultValue;
  }
}

bool TRegIniFile::ReadBool(const AnsiString& section, const AnsiString& ident,
                           bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TRegIniFile::WriteString(const AnsiString& section, const AnsiString& ident,
                              const AnsiString& value) {
  if (!Open(section, true)) throw ERegistryException("Failed to set data for '" + ident + "'");
  reg_.WriteString(ident, value);
}

void TRegIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value) {
  if (!Open(section, true)) throw ERegistryException("Failed to set data for '" + ident + "'");
  reg_.WriteInteger(ident, value);
}

void TRegIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
  WriteInteger(section, ident, value ? 1 : 0);
}

void TRegIniFile::ReadSection(const AnsiString& section, TStrings* strings) {
  if (Open(section, false))
    reg_.GetValueNames(strings);
  else
    strings->Clear();
}

void TRegIniFile::ReadSections(TStrings* strings) {
  reg_.CloseKey();
  if (reg_.OpenKey("\\" + key_, false))
    reg_.GetKeyNames(strings);
  else
    strings->Clear();
}

void TRegIniFile::EraseSection(const AnsiString& section) {
  reg_.CloseKey();
  reg_.DeleteKey("\\" + key_ + "\\" + section);
}

void TRegIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  if (Open(section, false)) reg_.DeleteValue(ident);
}
