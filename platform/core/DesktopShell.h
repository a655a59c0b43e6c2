// DesktopShell: hands a file to the desktop's own helpers, the way the
// original platform's shell did: the opener associated with its type
// (xdg-open) and the mail client with the file attached (xdg-email).
// platform/core; POSIX only.  The helpers are looked up in PATH.
//
//   if (!ShellOpenFile("backxls/gz200301.XLS")) ...;   // no opener installed
//   int rc = ShellMailFile("WSExport 3.80", "backxls/gz200301.XLS");
#pragma once

#include "platform/core/AnsiString.h"

// Starts the opener for fileName and returns without waiting for the
// program it launches.  False when there is no opener.
bool ShellOpenFile(const AnsiString& fileName);

// Runs the mail helper with the subject and one attachment and waits for
// it (the user completes the mail in the client's window): its exit code,
// 0 on success; -1 when there is no mail helper.
int ShellMailFile(const AnsiString& subject, const AnsiString& attachment);
