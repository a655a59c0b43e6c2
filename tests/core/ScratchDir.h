// ScratchDir: a fresh directory under the temporary folder for one test,
// removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/core/AnsiString.h"

class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "payroll-core-XXXXXX").string();
    path_ = ::mkdtemp(templ.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory (ASCII, so native and code-page-936 spellings agree).
  const std::string& Native() const { return path_; }
  // A name inside it, as the system writes it.
  AnsiString operator/(const std::string& name) const { return AnsiString(path_ + "/" + name); }

 private:
  std::string path_;
};
