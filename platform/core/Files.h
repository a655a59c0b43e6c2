// Files: file-system services over the system's path names.
// platform/core; standard library and POSIX only.
//
// Path names.  The system writes paths as code-page-936 text with '\'
// separators ("BackDB\", "dept\", ".\gz.ini") and joins them to the program's
// folder.  MapPath is the one place where such a name becomes a name of the
// file system, and every function here goes through it:
//  - '\' becomes '/' (only where it is a character: a trail byte 0x5C of a
//    double-byte character is left alone);
//  - a drive prefix "X:" is dropped;
//  - the text is converted from code page 936 to UTF-8, the encoding of
//    file names on disk;
//  - names are matched case-insensitively (ASCII letters) as the system
//    expects: where a component does not exist with the given spelling but
//    one differing only in letter case does, that one is used.
// Both '/' and '\' separate components in the path helpers below.
// A name on disk that code page 936 cannot spell (listed by FindFirst with
// '?' in it) cannot be opened by that listed name.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/AnsiString.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FileLocks.h"

// File-mode constants of FileOpen and TFileStream: one access mode OR-ed
// with one share mode.  fmShareCompat and fmShareExclusive both deny every
// other open.  fmCreate creates or truncates the file for reading and
// writing; it may be OR-ed with a share mode (exclusive by default).
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

// The file-system name of a system path name (see above).
std::string MapPath(const AnsiString& path);
// As MapPath, but the letter case stays as written: for names whose
// spelling on disk is already known (no directory is read).
std::string MapPathAsSpelled(const AnsiString& path);
// A file-system name (UTF-8) as a system path name (code page 936).
AnsiString NativeToAnsiPath(const std::string& native);

// Opens a file with an access and share mode (fm* constants).  An open
// handle on success; a closed one on failure, with errno set (EBUSY for a
// share-mode conflict, ENOENT for a missing file).  With fmCreate the file
// is truncated only after the share mode was granted.
TFileHandle FileOpen(const AnsiString& fileName, unsigned mode);
TFileHandle FileCreate(const AnsiString& fileName, unsigned shareMode = fmShareExclusive);

bool FileExists(const AnsiString& fileName);    // an existing non-directory
bool DirectoryExists(const AnsiString& dirName);
// Creates the directory and any missing parents; true when it exists after.
bool ForceDirectories(const AnsiString& dirName);
bool CreateDir(const AnsiString& dirName);
bool RemoveDir(const AnsiString& dirName);
// DeleteFile, RenameFile and CopyFile refuse (false, errno EBUSY) to
// delete, rename or replace a file that a handle of this or another process
// has open (through FileOpen or TFileStream), as the kernel they were
// written against does; see FileLocks.h.
bool DeleteFile(const AnsiString& fileName);
// Renames; fails (false) when newName exists, like the kernel's MoveFile.
bool RenameFile(const AnsiString& oldName, const AnsiString& newName);
// Copies contents and modification time.  With failIfExists an existing
// newName is left alone and false returned.  The copy is written to a
// temporary name beside newName and renamed into place, so that an
// interrupted copy never leaves a truncated newName behind.  The source may
// be open elsewhere (backups copy the open database).
bool CopyFile(const AnsiString& existingName, const AnsiString& newName, bool failIfExists);
// The file's attributes (fa* flags below), -1 when it does not exist.
// faReadOnly stands for the read-only attribute: no write permission for
// anyone (as "chmod a-w" leaves it) or a read-only file system.
int FileGetAttr(const AnsiString& fileName);
// Sets or clears faReadOnly (the write permission bits); the other flags
// are ignored.  Returns 0 or an errno value.
int FileSetAttr(const AnsiString& fileName, int attr);
// Size in bytes, -1 when the file does not exist.
std::int64_t FileSizeOf(const AnsiString& fileName);
// Modification time as a packed DOS date-time (local time), -1 when the
// file does not exist; FileSetDate sets it, returning 0 or an errno value.
int FileAge(const AnsiString& fileName);
int FileSetDate(const AnsiString& fileName, int age);
// Writes data to fileName through a temporary file beside it that is
// flushed and renamed over the old file: either the old or the new
// contents survive a crash.  Raises EFCreateError on failure.
void WriteFileAtomically(const AnsiString& fileName, std::string_view data);
// Reads a whole file; raises EFOpenError or EReadError.
std::string ReadWholeFile(const AnsiString& fileName);

AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& dir);

// Path helpers (pure text; '/' and '\' are both separators, ':' ends a drive).
AnsiString ExtractFilePath(const AnsiString& fileName);   // with trailing separator
AnsiString ExtractFileDir(const AnsiString& fileName);    // without it
AnsiString ExtractFileName(const AnsiString& fileName);
AnsiString ExtractFileExt(const AnsiString& fileName);    // with the dot
AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& extension);
// Adds the separator already used in the path ('\' when there is none).
AnsiString IncludeTrailingPathDelimiter(const AnsiString& path);
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path);
// An absolute path name (relative ones against the current directory).
AnsiString ExpandFileName(const AnsiString& fileName);

// The program's own folder, with a trailing separator (from
// /proc/self/exe).  Data, settings and output files live there.
AnsiString ProgramFolder();
// Test hook: makes ProgramFolder return folder ("" restores the real one).
void SetProgramFolderForTesting(const AnsiString& folder);

// Directory listing with a wildcard mask ("BackDB\*.udb"; '*' and '?',
// letters matched case-insensitively).
enum : int { faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faDirectory = 0x10,
             faArchive = 0x20, faAnyFile = 0x3F };
struct TSearchRec {
  AnsiString Name;      // file name without folder
  std::int64_t Size = 0;
  int Attr = 0;         // fa* flags
  int Time = 0;         // packed DOS date-time
  // The remaining matches of the listing.
  std::vector<TSearchRec> pending_;
};
// 0 and the first match in rec, or an errno value (ENOENT when nothing
// matches).  Directories are listed only when attr includes faDirectory;
// "." and ".." never.
int FindFirst(const AnsiString& mask, int attr, TSearchRec& rec);
int FindNext(TSearchRec& rec);
void FindClose(TSearchRec& rec);
