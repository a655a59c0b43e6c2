// IniFiles: TIniFile, settings files of "[section]" headers and
// "key=value" lines, read and written as code-page-936 bytes.
// platform/core.
//
// Reading: section and key names compare case-insensitively; blanks around
// names and values are dropped, and a value enclosed in matching single or
// double quotes loses them; the first of duplicate sections or keys wins.
// A missing file, section or key gives the caller's default.  Lines that
// are not "key=value" inside a section (comments, blank lines) are kept but
// never read as keys.
//
// Writing changes only the line of the key (or inserts it after the last
// key of its section; a missing section is appended at the end) and keeps
// every other line byte for byte.  Each write goes to disk at once, through
// a temporary file renamed over the old one, so that a crash leaves either
// the old or the new file, never a truncated one.  Lines end in CR LF; a
// line break inside a written name or value is written as a blank.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"
#include "platform/core/Exceptions.h"

class TStrings;

PAYROLL_DECLARE_EXCEPTION(EIniFileException, Exception)

class TIniFile : public TObject {
 public:
  explicit TIniFile(const AnsiString& fileName);
  ~TIniFile() override = default;

  const AnsiString& FileName() const { return fileName_; }

  AnsiString ReadString(const AnsiString& section, const AnsiString& ident,
                        const AnsiString& defaultValue);
  // Decimal or hexadecimal ("0x1F", "$1F"); text that is no integer gives
  // the default.
  int ReadInteger(const AnsiString& section, const AnsiString& ident, int defaultValue);
  // An integer: non-zero is true, zero false; anything else gives the default.
  bool ReadBool(const AnsiString& section, const AnsiString& ident, bool defaultValue);
  double ReadFloat(const AnsiString& section, const AnsiString& ident, double defaultValue);

  // Raise EIniFileException "Unable to write to <file name>" when the file
  // cannot be written.
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
  void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);
  void WriteBool(const AnsiString& section, const AnsiString& ident, bool value);  // "1" / "0"
  void WriteFloat(const AnsiString& section, const AnsiString& ident, double value);

  // Key names of the section, in file order.
  void ReadSection(const AnsiString& section, TStrings* strings);
  // Section names, in file order.
  void ReadSections(TStrings* strings);
  // "key=value" items of the section.
  void ReadSectionValues(const AnsiString& section, TStrings* strings);
  void EraseSection(const AnsiString& section);
  void DeleteKey(const AnsiString& section, const AnsiString& ident);
  // True when the section holds at least one key.
  bool SectionExists(const AnsiString& section);
  bool ValueExists(const AnsiString& section, const AnsiString& ident);
  // Writes pending changes; every write is already on disk, so nothing to do.
  void UpdateFile() {}

 private:
  struct Line {
    AnsiString text;     // the line as in the file, without its line break
    int kind = 0;        // 0 other, 1 section header, 2 key=value
    AnsiString name;     // section or key name, trimmed
  };
  // Re-reads the file when it changed on disk since the last read.
  void Load();
  void Save();
  // Index of the section's header line, -1 when absent.
  int FindSection(const AnsiString& section) const;
  // Index one past the section's last line (next header or end).
  int SectionEnd(int header) const;
  int FindKey(int header, const AnsiString& ident) const;

  AnsiString fileName_;
  std::vector<Line> lines_;
  // What the file looked like when lines_ were read (to notice changes).
  bool loaded_ = false;
  std::timespec mtime_{};
  long long size_ = -1;
  unsigned long long inode_ = 0;
};
