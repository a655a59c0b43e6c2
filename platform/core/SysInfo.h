// SysInfo: small operating-system services the system calls by their
// kernel names: Sleep, a monotonic tick count, the user's and the
// computer's name, and the operating system's error texts.
// platform/core; standard library and POSIX only.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"

// Suspends the calling thread for ms milliseconds (0 yields).
void Sleep(unsigned ms);

// Milliseconds since an arbitrary fixed point, from the monotonic clock
// (never goes back when the wall clock is set).  The 32-bit form wraps
// after about 49.7 days like its Win32 namesake: compare differences
// (now - start), never absolute values.
std::uint32_t GetTickCount();
std::uint64_t GetTickCount64();

// Login name of the user running the program ("" when it cannot be
// found), as code-page-936 text.
AnsiString GetUserName();
// Host name of this machine (without domain), as code-page-936 text.
AnsiString GetComputerName();

// The operating system's text for an errno value, as code-page-936 text.
AnsiString SysErrorMessage(int error);
// The errno of the last failed system call of this thread.
int GetLastError();
// Raises EOSError "System Error.  Code: <n>.\r\n<text>" for the last error.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(int error);
