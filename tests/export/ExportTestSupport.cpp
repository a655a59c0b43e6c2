#include "ExportTestSupport.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/core/DateTime.h"
#include "platform/core/Variant.h"

std::vector<XlsRecord> ReadXlsRecords(const std::string& bytes) {
  std::vector<XlsRecord> out;
  size_t p = 0;
  while (p < bytes.size()) {
    if (p + 4 > bytes.size()) {
      ADD_FAILURE() << "truncated record header at " << p;
      break;
    }
    const auto* u = reinterpret_cast<const unsigned char*>(bytes.data() + p);
    const unsigned op = u[0] | (u[1] << 8), len = u[2] | (u[3] << 8);
    if (p + 4 + len > bytes.size()) {
      ADD_FAILURE() << "truncated record body at " << p;
      break;
    }
    out.push_back({static_cast<std::uint16_t>(op), bytes.substr(p + 4, len)});
    p += 4 + len;
  }
  return out;
}

std::string U16(unsigned v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string F64(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

std::string XlsRec(std::uint16_t opcode, const std::string& body) {
  return U16(opcode) + U16(static_cast<unsigned>(body.size())) + body;
}

std::string CellHead(unsigned row, unsigned column, unsigned align) {
  return U16(row) + U16(column) + std::string{'\0', '\0', static_cast<char>(align)};
}

void MakePayTable(TMemDataSet& ds) {
  ds.AddColumn("ID", ftInteger);
  ds.AddColumn("PAY", ftFloat);
  ds.AddColumn("NAME", ftString, 20);
  ds.AddColumn("DAY", ftDate);
  ds.AddRow({Variant(7), Variant(2.5), Variant(AnsiString("张三")), Variant(EncodeDate(2003, 1, 31))});
  ds.AddRow({Variant(300), Variant(0.0), Variant(AnsiString("0")), Variant(EncodeDate(2003, 2, 1))});
  ds.AddRow({Variant(-1), Variant(-12.75), Variant(AnsiString("Li")), Variant(EncodeDate(2003, 3, 2))});
  ds.Open();
}

TFakeHelpers::TFakeHelpers() {
  std::string templ = (std::filesystem::temp_directory_path() / "payroll-helpers-XXXXXX").string();
  dir_ = ::mkdtemp(templ.data());
  const char* path = getenv("PATH");
  oldPath_ = path ? path : "";
  setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
}

TFakeHelpers::~TFakeHelpers() {
  setenv("PATH", oldPath_.c_str(), 1);
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void TFakeHelpers::Add(const std::string& name, const std::string& script) {
  const std::string file = dir_ + "/" + name;
  std::ofstream(file) << "#!/bin/sh\n" << script << "\n";
  ::chmod(file.c_str(), 0755);
}

void TFakeHelpers::OnlyThese() { setenv("PATH", dir_.c_str(), 1); }
