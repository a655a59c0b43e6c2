// Bank-card files over a test database, compared byte by byte with files
// written out by hand: field widths in bytes, amounts right-aligned and
// never cut, rows without an account left out, any number of lines, the
// refusals and the fault message.
#include <gtest/gtest.h>

#include <string>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/BankCards.h"
#include "app/FrmData.h"
#include "app/FrmLogin.h"
#include "app/FrmMain.h"
#include "app/PayrollProgram.h"
#include "app/StartupForms.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "app/GzSettings.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"

using namespace payroll;

namespace {

TEST(BankCardLines, WidthsAreBytesAndNothingIsCut) {
  const TDateTime day = EncodeDate(2026, 3, 7);
  EXPECT_EQ(CardHeaderLine("单位", 0, 0, day), "单位    0       0.00260307");
  EXPECT_EQ(CardHeaderLine("单位", 12, 123456789.5, day), "单位    12123456789.50260307");
  const auto blanks = [](int n) { return std::string(static_cast<size_t>(n), ' '); };
  struct Case {
    const char *zgbh, *xm, *gzzh;
    double amount;
    std::string line;
  } cases[] = {
      {"01020300015", "欧阳修", "62220000111155556666777", 234.5, "30001欧阳修" + blanks(2) + "6222000011115555666 234.50"},
      {"0102030001", "张三", "1", 1234.5, "30001张三" + blanks(4) + "1" + blanks(18) + "1234.50"},
      {"0101999", "Tom", "12", 12345.67, "99Tom" + blanks(5) + "12" + blanks(17) + "12345.67"},
      {"01019", "", "9", 0, blanks(8) + "9" + blanks(18) + "   0.00"},
      {"0101000001", "一二三四五", "9", -1, "00001一二三四五9" + blanks(18) + "  -1.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(CardDetailLine(c.zgbh, c.xm, c.gzzh, c.amount), c.line) << c.line;
}

class BankCardFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    saved = FldDescs;
    FldDescs = {{"F02", "实发工资"}, {"F01", "岗位绩效工资"}, {"zgbh", "职工编号"}, {"ylbxh", "养老保险号"},
                {"xm", "姓名"},      {"gzzh", "工资帐号"},     {"db_flag", "独保"},   {"zgqk", "职工情况"}};
    gzk = db.OpenTable("gzk", "TblGzkIndex1");
    // 张三 01010001 F02 250.5; 李四 01010002; 王五 01990001 without account.
    Edit("01010002", [](TUdbTable* t) {
      t->FieldByName("F02")->SetAsFloat(12345.67);
      t->FieldByName("prix")->SetAsFloat(88);
    });
    Edit("01990001", [](TUdbTable* t) { t->FieldByName("GZZH")->SetAsString(""); });
    gzk->Append();
    gzk->FieldByName("ZGBH")->SetAsString("01020300015");
    gzk->FieldByName("XM")->SetAsString("欧阳修");
    gzk->FieldByName("GZZH")->SetAsString("6222000011115555666677");
    gzk->FieldByName("F02")->SetAsFloat(1234.5);
    gzk->Post();
    folder = db.Folder() + "dept";
    ASSERT_TRUE(ForceDirectories(folder));
  }
  void TearDown() override { FldDescs = saved; }
  template <class F>
  void Edit(const char* zgbh, F change) {
    for (gzk->First(); !gzk->Eof(); gzk->Next())
      if (gzk->FieldByName("ZGBH")->AsString() == zgbh) {
        gzk->Edit();
        change(gzk);
        gzk->Post();
        return;
      }
    FAIL() << zgbh;
  }
  TCardOutcome Run(const char* kind) { return WriteBankCardFile(gzk, kind, folder + "\\", "测试单位", day); }
  std::string File(const char* name) { return ReadWholeFile(folder + "\\" + name); }

  TTestPayrollDb db;
  TFakeDialogService dialogs;
  std::vector<TFldDesc> saved;
  TUdbTable* gzk = nullptr;
  AnsiString folder;
  TDateTime day = EncodeDate(2026, 12, 11);
};

TEST_F(BankCardFileTest, WageFileIsByteExact) {
  EXPECT_EQ(Run("工资"), TCardOutcome::Written);
  const std::string expected =
      "测试单位    3   13830.67261211\r\n"
      "001张三    6222000011112222    250.50\r\n"
      "002李四    6222000011113333   12345.67\r\n"
      "30001欧阳修  62220000111155556661234.50\r\n";
  EXPECT_EQ(File("dept.mdk"), expected);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kCardFileDone);
}

TEST_F(BankCardFileTest, BonusAndPerformanceFilesFollowTheFilter) {
  gzk->SetFilter("ZGBH like '0101%'");
  gzk->SetFiltered(true);
  EXPECT_EQ(Run("奖金"), TCardOutcome::Written);
  EXPECT_EQ(File("deptjj.mdk"),
            "测试单位    2      88.00261211\r\n"
            "001张三    6222000011112222      0.00\r\n"
            "002李四    6222000011113333     88.00\r\n");
  EXPECT_EQ(Run("绩效工资"), TCardOutcome::Written);
  EXPECT_EQ(File("deptjx.mdk"),
            "测试单位    2    2200.00261211\r\n"
            "001张三    6222000011112222   1000.00\r\n"
            "002李四    6222000011113333   1200.00\r\n");
}

TEST_F(BankCardFileTest, NoAccountsGiveTheHeaderAlone) {
  for (gzk->First(); !gzk->Eof(); gzk->Next()) {
    gzk->Edit();
    gzk->FieldByName("GZZH")->SetAsString("");
    gzk->Post();
  }
  EXPECT_EQ(Run("工资"), TCardOutcome::Written);
  EXPECT_EQ(File("dept.mdk"), "测试单位    0       0.00261211\r\n");
}

TEST_F(BankCardFileTest, HoldsMoreThanFiveHundredLines) {
  for (int i = 0; i < 620; ++i) {
    gzk->Append();
    gzk->FieldByName("ZGBH")->SetAsString("0201" + std::to_string(1000000 + i));
    gzk->FieldByName("XM")->SetAsString("某");
    gzk->FieldByName("GZZH")->SetAsString("1");
    gzk->FieldByName("F02")->SetAsFloat(1);
    gzk->Post();
  }
  EXPECT_EQ(Run("工资"), TCardOutcome::Written);
  const std::string text = File("dept.mdk");
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 624u);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "测试单位    623   14450.67261211");
  const std::string last = "00061某" + std::string(6, ' ') + "1" + std::string(18, ' ') + "   1.00\r\n";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST_F(BankCardFileTest, RefusalsWriteNoFile) {
  EXPECT_EQ(Run(""), TCardOutcome::NoKind);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kCardChooseKind);
  FldDescs.erase(FldDescs.begin());  // no "实发工资" any more
  EXPECT_EQ(Run("工资"), TCardOutcome::NoField);
  EXPECT_EQ(Run("现金"), TCardOutcome::NoField);
  EXPECT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_FALSE(FileExists(folder + "\\dept.mdk"));
}

TEST_F(BankCardFileTest, AFaultWhileWritingIsReportedAndAMissingFolderRaises) {
  FldDescs[1].first = "F9X";  // no such field in gzk
  EXPECT_EQ(Run("绩效工资"), TCardOutcome::Failed);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kCardFileFault);
  EXPECT_EQ(File("deptjx.mdk"), "");
  EXPECT_THROW(WriteBankCardFile(gzk, "工资", db.Folder() + "none\\", "测试单位", day), EInOutError);
}

// The card page's button over the main window: the default folder, the
// kind from the combo box and the progress bar hidden afterwards.
TEST(BankCardPage, ButtonWritesTheChosenKindIntoTheDefaultFolder) {
  EnsureUiApp();
  TTestPayrollDb db;
  TFakeDialogService dialogs;
  const AnsiString oldDir = GetCurrentDir();
  SetCurrentDir(db.Folder());
  payroll::CreatePayrollForms();
  ASSERT_NE(frmMain, nullptr);
  ASSERT_NE(frmMain->SptBtnGzdc, nullptr);
  ASSERT_TRUE(ForceDirectories(db.Folder() + "dept"));
  frmMain->ComboBoxGZJJ->SetText("");
  frmMain->SptBtnGzdc->Click();
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text, kCardChooseKind);
  frmMain->ComboBoxGZJJ->SetItemIndex(1);  // 奖金
  frmMain->SptBtnGzdc->Click();
  EXPECT_EQ(frmMain->LblSelDir->Caption(), db.Folder() + "dept");  // the platform's form
  EXPECT_FALSE(frmMain->PrgBarGzdc->Visible());
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[1].Text, kCardFileDone);
  const std::string b(3, ' ');
  EXPECT_EQ(ReadWholeFile(db.Folder() + "dept/deptjj.mdk"),
            "测试单位    3       0.00" + std::string(FormatDateTime("yymmdd", Date())) + "\r\n" +
                "001张三    6222000011112222" + b + b + "0.00\r\n" + "002李四    6222000011113333" + b + b +
                "0.00\r\n" + "001王五    6222000011114444" + b + b + "0.00\r\n");
  FreeStartupForms();
  SetCurrentDir(oldDir);
}

}  // namespace
