#include "platform/core/DesktopShell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/Files.h"

extern char** environ;

namespace {

// Runs argv[0] (looked up in PATH) and waits: its exit code; -1 when it
// cannot be started.
int RunAndWait(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

bool ShellOpenFile(const AnsiString& fileName) {
  // The shell starts the opener in the background and ends at once, so the
  // opener is nobody's child here and never waited for; 127 says none.
  const char* script =
      "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
      "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n";
  return RunAndWait({"/bin/sh", "-c", script, "sh", MapPath(fileName)}) == 0;
}

int ShellMailFile(const AnsiString& subject, const AnsiString& attachment) {
  const std::string path = MapPath(attachment);
  const char* script =
      "command -v xdg-email >/dev/null 2>&1 || exit 127\n"
      "exec xdg-email --subject \"$1\" --attach \"$2\"\n";
  int rc = RunAndWait({"/bin/sh", "-c", script, "sh", AnsiToUtf8(subject), path});
  return rc == 127 ? -1 : rc;
}
