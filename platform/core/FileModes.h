// Permission bits of the data files shared by the operators of one folder
// (database, lock file, journal, backups): read and write for owner and
// group, nothing for others, so that operators sharing the folder through
// a group keep working and nobody else reads pay data.  Files are created
// with these bits given to the new file itself (open with the mode, then
// fchmod on the descriptor), never by changing the process-wide umask,
// which files that other threads create at the same time would see.
// Calls POSIX only.
#pragma once

#include "platform/core/AnsiString.h"

inline constexpr unsigned kDataFileMode = 0660;

// Gives fileName exactly these permission bits; 0 or an errno value.
int FileSetMode(const AnsiString& fileName, unsigned mode);
