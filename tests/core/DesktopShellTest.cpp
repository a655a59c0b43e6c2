// Handing files to the desktop's opener and mail helper: arguments arrive
// whole (blanks, Chinese names), and a missing helper is reported.
#include "platform/core/DesktopShell.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <gtest/gtest.h>

#include "ScratchDir.h"
#include "platform/core/CodePage.h"
#include "platform/core/Files.h"

namespace {

// PATH holding only a folder of stand-in helpers, for the test's life.
class HelperPath {
 public:
  explicit HelperPath(const ScratchDir& dir) : dir_(dir.Native() + "/bin") {
    ::mkdir(dir_.c_str(), 0755);
    const char* p = getenv("PATH");
    old_ = p ? p : "";
    setenv("PATH", dir_.c_str(), 1);
  }
  ~HelperPath() { setenv("PATH", old_.c_str(), 1); }
  void Add(const std::string& name, const std::string& body) {
    const std::string file = dir_ + "/" + name;
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    ::chmod(file.c_str(), 0755);
  }

 private:
  std::string dir_, old_;
};

TEST(DesktopShell, MissingHelpersAreReported) {
  ScratchDir dir;
  HelperPath path(dir);
  EXPECT_FALSE(ShellOpenFile(dir / "a.XLS"));
  EXPECT_EQ(ShellMailFile("s", dir / "a.XLS"), -1);
}

TEST(DesktopShell, ArgumentsArriveWhole) {
  ScratchDir dir;
  HelperPath path(dir);
  const std::string log = dir.Native() + "/log";
  path.Add("xdg-email", "printf '%s|' \"$@\" > '" + log + "'; exit 4");
  const AnsiString file = dir / "工资 2003.XLS";
  EXPECT_EQ(ShellMailFile("工资 表", file), 4);
  EXPECT_EQ(ReadWholeFile(dir / "log"),
            AnsiToUtf8("--subject|工资 表|--attach|") + MapPath(file) + "|");

  // Written aside and moved, so that the file appears complete.
  path.Add("xdg-open", "printf '%s' \"$1\" > '" + log + "2.tmp' && /bin/mv '" + log + "2.tmp' '" + log + "2'");
  EXPECT_TRUE(ShellOpenFile(file));  // returns before the opener ends
  for (int i = 0; i < 200 && !FileExists(dir / "log2"); ++i) usleep(10000);
  EXPECT_EQ(ReadWholeFile(dir / "log2"), MapPath(file));
}

}  // namespace
