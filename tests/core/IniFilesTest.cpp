#include "platform/core/IniFiles.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "ScratchDir.h"

namespace {

class TIniFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { std::ofstream(MapPath(name_), std::ios::binary) << text; }
  std::string Contents() { return ReadWholeFile(name_); }

  ScratchDir dir_;
  AnsiString name_ = dir_ / "gz.ini";
};

TEST_F(TIniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  TIniFile ini(name_);
  EXPECT_EQ(ini.ReadString("SYSTEM", "DWMC", "默认"), "默认");
  EXPECT_EQ(ini.ReadInteger("SYSTEM", "N", 7), 7);
  EXPECT_TRUE(ini.ReadBool("SYSTEM", "CALC_LOG", true));
  Write("[SYSTEM]\r\nOTHER=1\r\n");
  EXPECT_EQ(ini.ReadString("SYSTEM", "DWMC", "d"), "d");
  EXPECT_EQ(ini.ReadString("NOSECTION", "OTHER", "d"), "d");
  EXPECT_FALSE(ini.ValueExists("SYSTEM", "DWMC"));
}

TEST_F(TIniFileTest, NamesCompareWithoutCaseAndValuesAreCodePage936Bytes) {
  Write("[System]\nDwmc = 某某单位工资科  \nzbr=\"  张三 \"\n[工资项目]\nF01=基本工资\n");
  TIniFile ini(name_);
  EXPECT_EQ(ini.ReadString("SYSTEM", "DWMC", ""), "某某单位工资科") << "blanks trimmed";
  EXPECT_EQ(ini.ReadString("system", "ZBR", ""), "  张三 ") << "quotes removed, inside kept";
  EXPECT_EQ(ini.ReadString("工资项目", "f01", ""), "基本工资");
}

TEST_F(TIniFileTest, IntegersAndBooleans) {
  Write("[S]\nA=12\nB=0x1F\nC=abc\nD=0\nE=-3\nF= 42 \nG=true\n");
  TIniFile ini(name_);
  EXPECT_EQ(ini.ReadInteger("S", "A", 0), 12);
  EXPECT_EQ(ini.ReadInteger("S", "B", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "C", 5), 5);
  EXPECT_EQ(ini.ReadInteger("S", "F", 0), 42);
  EXPECT_FALSE(ini.ReadBool("S", "D", true));
  EXPECT_TRUE(ini.ReadBool("S", "E", false)) << "any non-zero is true";
  EXPECT_FALSE(ini.ReadBool("S", "G", false)) << "no integer: the default";
  EXPECT_TRUE(ini.ReadBool("S", "G", true));
}

TEST_F(TIniFileTest, WritesKeepEveryOtherLine) {
  const std::string original =
      "; settings of the payroll program\r\n"
      "[SYSTEM]\r\n"
      "DWMC=旧单位\r\n"
      "CALC_LOG=0\r\n"
      "\r\n"
      "[PAGE1]\r\n"
      "Left=10\r\n";
  Write(original);
  TIniFile ini(name_);
  ini.WriteString("system", "dwmc", "新单位");
  EXPECT_EQ(Contents(),
            "; settings of the payroll program\r\n[SYSTEM]\r\nDWMC=新单位\r\nCALC_LOG=0\r\n\r\n"
            "[PAGE1]\r\nLeft=10\r\n");
  ini.WriteInteger("SYSTEM", "YEAR", 2026);
  EXPECT_EQ(Contents(),
            "; settings of the payroll program\r\n[SYSTEM]\r\nDWMC=新单位\r\nCALC_LOG=0\r\nYEAR=2026\r\n"
            "\r\n[PAGE1]\r\nLeft=10\r\n");
  ini.WriteBool("NEW", "On", true);
  EXPECT_TRUE(Contents().ends_with("[PAGE1]\r\nLeft=10\r\n[NEW]\r\nOn=1\r\n")) << Contents();
  EXPECT_EQ(ini.ReadInteger("SYSTEM", "YEAR", 0), 2026);
  EXPECT_EQ(ini.ReadString("PAGE1", "LEFT", ""), "10");
}

TEST_F(TIniFileTest, ALineBreakInAValueCannotInjectKeys) {
  TIniFile ini(name_);
  ini.WriteString("S", "Name", "单位\r\n[SYSTEM]\nCALC_LOG=1");
  EXPECT_EQ(ini.ReadString("S", "Name", ""), "单位  [SYSTEM] CALC_LOG=1");
  EXPECT_FALSE(ini.ValueExists("SYSTEM", "CALC_LOG"));
}

TEST_F(TIniFileTest, SectionListsErasingAndDeleting) {
  Write("[A]\nx=1\ny=2\nx=3\n[B]\n[C]\nz=\n");
  TIniFile ini(name_);
  TStringList list;
  ini.ReadSections(&list);
  EXPECT_EQ(list.CommaText(), "A,B,C");
  ini.ReadSection("a", &list);
  EXPECT_EQ(list.CommaText(), "x,y,x");
  ini.ReadSectionValues("A", &list);
  EXPECT_EQ(list.CommaText(), "x=1,y=2") << "the first of duplicate keys";
  EXPECT_TRUE(ini.SectionExists("C"));
  EXPECT_FALSE(ini.SectionExists("B")) << "a section without keys";
  EXPECT_TRUE(ini.ValueExists("C", "z"));
  ini.DeleteKey("A", "y");
  ini.EraseSection("B");
  EXPECT_EQ(Contents(), "[A]\r\nx=1\r\nx=3\r\n[C]\r\nz=\r\n");
}

TEST_F(TIniFileTest, SeesChangesMadeByOthersAndHandlesTrailBytes) {
  TIniFile ini(name_);
  Write("[S]\nk=1\n");
  EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
  Write("[S]\nk=22\n");
  EXPECT_EQ(ini.ReadString("S", "k", ""), "22");
  // "\x81\x5D" is one character whose trail byte is ']'.
  const AnsiString section = AnsiString("x") + "\x81\x5D" + "y";
  Write("[" + section + "]\nk=v\n");
  EXPECT_EQ(ini.ReadString(section, "k", ""), "v");
}

TEST_F(TIniFileTest, FailedWriteRaisesAndKeepsTheFile) {
  TIniFile ini(dir_ / "no\\such\\dir\\gz.ini");
  try {
    ini.WriteString("S", "k", "v");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + dir_ / "no\\such\\dir\\gz.ini");
  }
  EXPECT_EQ(ini.ReadString("S", "k", "default"), "default");
}

}  // namespace
