// Settings: the store that stands where the system uses the registry
// (the report engine keeps its preview options and window positions under
// "Software\BandReport").  platform/core.
//
// Storage: one ini file, <config>/payroll/settings.ini, where <config> is
// $XDG_CONFIG_HOME or ~/.config.  Every key is a section named by its full
// path ("[Software\BandReport\Form\TrbPreviewForm]"); keys of roots other
// than HKEY_CURRENT_USER get the root's name as first component.  Values are
// "name=value" lines: integers in decimal, strings in double quotes with
// '\' written "\\", CR "\r" and LF "\n", so that any text survives.  Key
// paths compare case-insensitively, like the registry's.  Value names must
// not contain '=' or line breaks.
#pragma once

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"
#include "platform/core/Exceptions.h"

class TStrings;
class TIniFile;

PAYROLL_DECLARE_EXCEPTION(ERegistryException, Exception)

using HKEY = unsigned;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

// The settings file in use (code-page-936 path).
AnsiString SettingsFileName();
// Test hook: keeps the settings in fileName ("" restores the default).
void SetSettingsFileForTesting(const AnsiString& fileName);

class TRegistry : public TObject {
 public:
  TRegistry();
  ~TRegistry() override;

  HKEY RootKey() const { return rootKey_; }
  void SetRootKey(HKEY root);
  // Opens key, relative to the open key unless it starts with '\'.  Without
  // canCreate a missing key gives false.
  bool OpenKey(const AnsiString& key, bool canCreate);
  bool OpenKeyReadOnly(const AnsiString& key);
  void CloseKey();
  // Path of the open key ("" when none), without leading '\'.
  const AnsiString& CurrentPath() const { return currentPath_; }

  bool KeyExists(const AnsiString& key);
  // Deletes the key with its values and subkeys.
  bool DeleteKey(const AnsiString& key);
  bool ValueExists(const AnsiString& name);
  bool DeleteValue(const AnsiString& name);
  void GetKeyNames(TStrings* strings);
  void GetValueNames(TStrings* strings);

  // A missing value reads as "".
  AnsiString ReadString(const AnsiString& name);
  // Raise ERegistryException "Failed to get data for '<name>'" for a
  // missing value and "Invalid data type for '<name>'" for one that is no
  // integer.
  int ReadInteger(const AnsiString& name);
  bool ReadBool(const AnsiString& name);
  // Raise ERegistryException "Failed to set data for '<name>'" without an
  // open key, on a read-only key or when the file cannot be written.
  void WriteString(const AnsiString& name, const AnsiString& value);
  void WriteInteger(const AnsiString& name, int value);
  void WriteBool(const AnsiString& name, bool value);

 private:
  // Section of a key path given relative to the open key (or absolute).
  AnsiString SectionOf(const AnsiString& key) const;
  // Normalised path of a key given relative to the open key (or absolute).
  AnsiString PathOf(const AnsiString& key) const;
  AnsiString OpenSection() const;
  void CheckWritable(const AnsiString& name) const;
  TIniFile& File();

  HKEY rootKey_ = HKEY_CURRENT_USER;
  AnsiString currentPath_;
  bool open_ = false;
  bool readOnly_ = false;
  TIniFile* file_ = nullptr;
};

// The registry as an ini file: key fileName, its subkeys as sections.
class TRegIniFile : public TObject {
 public:
  explicit TRegIniFile(const AnsiString& fileName);
  ~TRegIniFile() override;

  AnsiString ReadString(const AnsiString& section, const AnsiString& ident,
                        const AnsiString& defaultValue);
  // Missing values and values that are no integer give the default.
  int ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue);
  bool ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue);
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
  void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);
  void WriteBool(const AnsiString& section, const AnsiString& ident, bool value);
  void ReadSection(const AnsiString& section, TStrings* strings);
  void ReadSections(TStrings* strings);
  void EraseSection(const AnsiString& section);
  void DeleteKey(const AnsiString& section, const AnsiString& ident);

 private:
  // Opens key fileName\section (creating it when create); false when absent.
  bool Open(const AnsiString& section, bool create);

  AnsiString key_;
  TRegistry reg_;
};
