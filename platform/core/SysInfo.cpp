#include "platform/core/SysInfo.h"

#include <pwd.h>
#include <sched.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/core/CodePage.h"
#include "platform/core/Exceptions.h"

void Sleep(unsigned ms) {
  timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  if (ms == 0) {
    sched_yield();
    return;
  }
  // Resume after signals until the whole interval has passed.
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

std::uint64_t GetTickCount64() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
         static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::uint32_t GetTickCount() { return static_cast<std::uint32_t>(GetTickCount64()); }

AnsiString GetUserName() {
  // The password database first: $USER may be missing or stale (su, cron).
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buf(size > 0 ? static_cast<size_t>(size) : 16384u, '\0');
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
      found->pw_name)
    return Utf8ToAnsi(found->pw_name);
  if (const char* env = std::getenv("USER")) return Utf8ToAnsi(env);
  if (const char* env = std::getenv("LOGNAME")) return Utf8ToAnsi(env);
  return AnsiString();
}

AnsiString GetComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return AnsiString();
  std::string host = name;
  size_t dot = host.find('.');
  if (dot != std::string::npos) host.resize(dot);
  return Utf8ToAnsi(host);
}

AnsiString SysErrorMessage(int error) {
  char buf[512] = {};
  // GNU strerror_r returns the text, which may or may not be in buf.
  const char* text = strerror_r(error, buf, sizeof buf);
  // The texts are ASCII in the C locale and UTF-8 in the program's locale.
  return Utf8ToAnsi(text ? text : "");
}

int GetLastError() { return errno; }

void RaiseLastOSError(int error) {
  throw EOSError("System Error.  Code: " + std::to_string(error) + ".\r\n" +
                 SysErrorMessage(error));
}

void RaiseLastOSError() { RaiseLastOSError(errno); }
