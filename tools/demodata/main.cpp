// demodata: builds a payroll data folder ("GZ.udb" and "gz.ini") from its
// readable description.
//   demodata <description folder> <target folder>
// The description folder holds payroll.txt (the rows of the tables) and
// gz.ini (the settings), both UTF-8; see app/DemoData.h.
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/DemoData.h"
#include "platform/core/CodePage.h"

namespace {

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: demodata <description folder> <target folder>\n";
    return 2;
  }
  const std::string from = argv[1];
  std::string rows, ini;
  if (!ReadText(from + "/payroll.txt", rows) || !ReadText(from + "/gz.ini", ini)) {
    std::cerr << "demodata: cannot read payroll.txt and gz.ini in " << from << "\n";
    return 1;
  }
  try {
    payroll::BuildPayrollFolder(rows, ini, Utf8ToAnsi(argv[2]));
  } catch (const std::exception& e) {
    std::cerr << "demodata: " << AnsiToUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}
