#include "platform/core/Settings.h"

#include <gtest/gtest.h>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "ScratchDir.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSettingsFileForTesting(dir_ / "cfg\\payroll\\settings.ini"); }
  void TearDown() override { SetSettingsFileForTesting(""); }
  ScratchDir dir_;
};

TEST_F(SettingsTest, DefaultFileLivesInTheUsersConfigurationFolder) {
  SetSettingsFileForTesting("");
  AnsiString name = SettingsFileName();
  EXPECT_EQ(name.substr(name.size() - 21), "/payroll/settings.ini");
}

TEST_F(SettingsTest, ValuesRoundTripUnderAKey) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("Software\\BandReport\\Preview", false));
  ASSERT_TRUE(reg.OpenKey("Software\\BandReport\\Preview", true));
  reg.WriteString("Zoom", "100");
  reg.WriteString("Text", "  行一\r\n\"二\"\\三 ");
  reg.WriteInteger("Mode", -2);
  reg.WriteBool("Grid", true);
  reg.CloseKey();

  TRegistry again;
  ASSERT_TRUE(again.OpenKey("\\software\\bandreport\\PREVIEW", false));
  EXPECT_EQ(again.ReadString("zoom"), "100");
  EXPECT_EQ(again.ReadString("Text"), "  行一\r\n\"二\"\\三 ");
  EXPECT_EQ(again.ReadInteger("Mode"), -2);
  EXPECT_TRUE(again.ReadBool("Grid"));
  EXPECT_EQ(again.ReadString("Missing"), "");
  EXPECT_THROW(again.ReadInteger("Missing"), ERegistryException);
  EXPECT_THROW(again.ReadInteger("Text"), ERegistryException);
  EXPECT_TRUE(FileExists(dir_ / "cfg\\payroll\\settings.ini"));
}

TEST_F(SettingsTest, KeysNestAndDeleteWithTheirSubkeys) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\BandReport", true));
  ASSERT_TRUE(reg.OpenKey("Form\\TrbPreviewForm", true)) << "relative to the open key";
  EXPECT_EQ(reg.CurrentPath(), "Software\\BandReport\\Form\\TrbPreviewForm");
  reg.WriteInteger("Width", 640);
  reg.CloseKey();
  EXPECT_TRUE(reg.KeyExists("Software\\BandReport\\Form"));
  ASSERT_TRUE(reg.OpenKey("Software\\BandReport", false));
  TStringList names;
  reg.GetKeyNames(&names);
  EXPECT_EQ(names.CommaText(), "Form");
  reg.CloseKey();
  EXPECT_TRUE(reg.DeleteKey("Software\\BandReport"));
  EXPECT_FALSE(reg.KeyExists("Software\\BandReport\\Form\\TrbPreviewForm"));
  EXPECT_FALSE(reg.DeleteKey("Software\\BandReport"));
}

TEST_F(SettingsTest, ReadOnlyAndClosedKeysRefuseWrites) {
  TRegistry reg;
  EXPECT_THROW(reg.WriteString("x", "1"), ERegistryException);
  ASSERT_TRUE(reg.OpenKey("Software\\X", true));
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\X"));
  EXPECT_THROW(reg.WriteInteger("x", 1), ERegistryException);
}

TEST_F(SettingsTest, WindowPositionRecordThroughRegIniFile) {
  {
    TRegIniFile ini("Software\\BandReport");
    ini.WriteInteger("Form\\TrbPreviewForm", "XPosition", 12);
    ini.WriteInteger("Form\\TrbPreviewForm", "Width", 800);
    ini.WriteBool("Form\\TrbPreviewForm", "Maximized", false);
  }
  TRegIniFile ini("Software\\BandReport");
  EXPECT_EQ(ini.ReadInteger("Form\\TrbPreviewForm", "XPosition", -1), 12);
  EXPECT_EQ(ini.ReadInteger("Form\\TrbPreviewForm", "Width", -1), 800);
  EXPECT_FALSE(ini.ReadBool("Form\\TrbPreviewForm", "Maximized", true));
  EXPECT_EQ(ini.ReadInteger("Form\\TrbDesignerForm", "Width", 77), 77);
  EXPECT_FALSE(ini.ReadBool("Form\\TrbDesignerForm", "GrayButtons", false));
  TStringList list;
  ini.ReadSection("Form\\TrbPreviewForm", &list);
  EXPECT_EQ(list.CommaText(), "XPosition,Width,Maximized");
  ini.EraseSection("Form\\TrbPreviewForm");
  EXPECT_EQ(ini.ReadInteger("Form\\TrbPreviewForm", "Width", -1), -1);
}

}  // namespace
