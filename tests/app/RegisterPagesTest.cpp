// The employee register's pages over the main form and the test database:
// each page's buttons with their enable states, messages and head counts,
// the department guards of the tree click, the wage page's duplicate check
// on leaving the pension number or account, the key filter on a real edit,
// and the employee picker and order dialogs.
#include <gtest/gtest.h>

#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "Udb/UdbTable.h"
#include "app/FrmData.h"
#include "app/FrmMain.h"
#include "app/GzSettings.h"
#include "app/PayrollProgram.h"
#include "app/Register.h"
#include "app/RegisterPages.h"
#include "app/StartupForms.h"
#include "platform/core/Files.h"
#include "platform/data/Fields.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

using namespace payroll;

namespace {

// The test data: 01 总部(3) with 0101 财务科(2: 张三 01010001, 李四
// 01010002) and 0199 离退休(1: 王五 01990001).
class RegisterPages : public TMainFormTest {
 protected:
  void SetUp() override {
    TMainFormTest::SetUp();
    if (HasFatalFailure()) return;
    gzk = FrmData->TblGzk;
    bm = FrmData->TblBm;
    tree = frmMain->TreeViewBm;
  }
  // Chooses the tree's node whose text begins with name.
  void Choose(const std::string& name) {
    for (int i = 0; i < tree->Items()->Count(); ++i)
      if (tree->Items()->Item(i)->Text().compare(0, name.size(), name) == 0) {
        tree->SetSelected(tree->Items()->Item(i));
        frmMain->TreeViewBmClick(tree);
        return;
      }
    FAIL() << "no node " << name;
  }
  std::vector<std::string> TreeTexts() {
    std::vector<std::string> texts;
    for (int i = 0; i < tree->Items()->Count(); ++i) texts.push_back(tree->Items()->Item(i)->Text());
    return texts;
  }
  int Count(const char* dept) {
    TBookmarkKeeper back(bm);
    EXPECT_TRUE(bm->Locate("BMBH", dept, {})) << dept;
    return bm->FieldByName("RS")->AsInteger();
  }
  void Go(const char* code) { ASSERT_TRUE(gzk->Locate("ZGBH", code, {})) << code; }
  // The code of the employee of that name; gzk's filter and row are kept.
  AnsiString CodeOf(const char* name) {
    const bool filtered = gzk->Filtered();
    const TBookmarkStr row = gzk->Bookmark();
    gzk->SetFiltered(false);
    EXPECT_TRUE(gzk->Locate("XM", name, {})) << name;
    const AnsiString code = gzk->FieldByName("ZGBH")->AsString();
    gzk->SetFiltered(filtered);
    gzk->SetBookmark(row);
    return code;
  }
  void AddDept(const char* code, const char* name) {
    bm->Append();
    bm->FieldByName("BMBH")->SetAsString(code);
    bm->FieldByName("BMMC")->SetAsString(name);
    bm->Post();
    frmMain->CreatBmTreeview(tree);
  }
  void Click(TSpeedButton* b) {
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(b->OnClick);
    b->OnClick(b);
  }

  TUdbTable *gzk = nullptr, *bm = nullptr;
  TTreeView* tree = nullptr;
};

TEST_F(RegisterPages, NewEmployeeAddsThroughTheInputPanelAndCountsTheDepartment) {
  TfrmMain* m = frmMain;
  Menu("N10");  // 职工新增
  EXPECT_FALSE(tree->Enabled());
  EXPECT_TRUE(m->SptBtnAppe->Enabled());
  EXPECT_FALSE(m->SptBtnSave->Enabled());
  EXPECT_FALSE(m->SptBtnCanCle->Enabled());
  EXPECT_FALSE(m->Panel7->Enabled());
  EXPECT_EQ(m->EdtYlBxh->MaxLength(), 6);
  EXPECT_EQ(m->EdtGzZh->MaxLength(), 19);

  Click(m->SptBtnAppe);
  EXPECT_TRUE(tree->Enabled());
  EXPECT_FALSE(m->SptBtnAppe->Enabled());
  EXPECT_TRUE(m->SptBtnSave->Enabled());
  EXPECT_TRUE(m->Panel7->Enabled());
  Choose("财务科");
  EXPECT_EQ(m->LblZgBh->Caption(), "01010000001");
  EXPECT_EQ(m->LblXzBm->Caption(), "财务科");
  Choose("总部");  // a parent proposes nothing
  EXPECT_EQ(m->LblZgBh->Caption(), "");
  EXPECT_EQ(m->LblXzBm->Caption(), "");
  Choose("财务科");

  m->EdtXm->SetText("赵六");
  m->EdtYlBxh->SetText("100009");
  m->EdtGzZh->SetText("6222000011113333");  // 李四's account
  m->DbCmbBoxZgQk->SetText("在职");
  m->ChkBoxDbFlag->SetChecked(true);
  Click(m->SptBtnSave);
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegDuplicate);
  // Refused: still adding, nothing counted, the inputs kept for mending.
  EXPECT_TRUE(m->SptBtnSave->Enabled());
  EXPECT_EQ(m->EdtXm->Text(), "赵六");
  EXPECT_EQ(Count("0101"), 2);

  m->EdtGzZh->SetText("6222000099990000");
  m->FirstShow = "no";  // no login
  m->Show();
  Pump();
  const char* dir = std::getenv("PAYROLL_SHOT_DIR");
  m->Surface()->grab().save(QString::fromLocal8Bit((std::string(dir ? dir : "/tmp") + "/register-new-employee.png").c_str()));

  dialogs.Answers = {IDYES};
  Click(m->SptBtnSave);
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmAdd);
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"总部(4)", "财务科(3)", "离退休(1)"}));
  EXPECT_EQ(CodeOf("赵六"), "01010000001");
  Go("01010000001");
  EXPECT_TRUE(gzk->FieldByName("DB_FLAG")->AsBoolean());
  EXPECT_EQ(gzk->FieldByName("ZGQK")->AsString(), "在职");
  EXPECT_EQ(m->EdtXm->Text(), "");
  EXPECT_FALSE(m->ChkBoxDbFlag->Checked());
  EXPECT_EQ(m->LblZgBh->Caption(), "");
  EXPECT_TRUE(m->SptBtnAppe->Enabled());
  EXPECT_FALSE(m->SptBtnSave->Enabled());
  EXPECT_FALSE(m->Panel7->Enabled());
  EXPECT_FALSE(tree->Enabled());
}

TEST_F(RegisterPages, CancelClearsTheInputsAndLeavesAddingMode) {
  TfrmMain* m = frmMain;
  Menu("N10");
  Click(m->SptBtnAppe);
  m->EdtXm->SetText("赵六");
  m->EdtYlBxh->SetText("1");
  m->EdtGzZh->SetText("2");
  m->ChkBoxDbFlag->SetChecked(true);
  Click(m->SptBtnCanCle);
  EXPECT_EQ(m->EdtXm->Text() + m->EdtYlBxh->Text() + m->EdtGzZh->Text(), "");
  EXPECT_FALSE(m->ChkBoxDbFlag->Checked());
  EXPECT_TRUE(m->SptBtnAppe->Enabled());
  EXPECT_FALSE(m->SptBtnCanCle->Enabled());
  EXPECT_FALSE(m->Panel7->Enabled());
  EXPECT_FALSE(tree->Enabled());
  EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(RegisterPages, DeleteIsOfferedAfterChoosingADepartmentAndCountsDown) {
  TfrmMain* m = frmMain;
  Menu("N11");  // 职工减少
  EXPECT_FALSE(m->SptBtnZgJsDele->Enabled());
  Choose("财务科");
  EXPECT_TRUE(m->SptBtnZgJsDele->Enabled());
  EXPECT_EQ(m->DBGridZgJs->RowCount(), 2);
  Go("01010001");
  dialogs.Answers = {IDNO};
  Click(m->SptBtnZgJsDele);
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmDelete);
  EXPECT_TRUE(m->SptBtnZgJsDele->Enabled());
  EXPECT_EQ(gzk->RecordCount(), 2);

  dialogs.Answers = {IDYES};
  Click(m->SptBtnZgJsDele);
  EXPECT_FALSE(m->SptBtnZgJsDele->Enabled());
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"总部(2)", "财务科(1)", "离退休(1)"}));
  EXPECT_EQ(m->DBGridZgJs->RowCount(), 1);
  EXPECT_EQ(m->DBGridZgJs->CellText(0, 1), "李四");
}

TEST_F(RegisterPages, RetireMovesTheEmployeeAndTheCountsToTheRetiredDepartment) {
  TfrmMain* m = frmMain;
  Menu("N12");  // 职工退休
  EXPECT_FALSE(m->SptBtnZgTxDele->Enabled());
  Choose("财务科");
  EXPECT_TRUE(m->SptBtnZgTxDele->Enabled());
  Go("01010001");
  dialogs.Answers = {IDYES};
  Click(m->SptBtnZgTxDele);
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmRetire);
  EXPECT_FALSE(m->SptBtnZgTxDele->Enabled());
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"总部(2)", "财务科(1)", "离退休(2)"}));
  EXPECT_EQ(CodeOf("张三"), "01990000002");
  gzk->SetFiltered(false);
  Go("01990000002");
  EXPECT_EQ(gzk->FieldByName("ZGQK")->AsString(), kRetiredCategory);
}

TEST_F(RegisterPages, TransferNeedsATargetAndMovesTheCounts) {
  TfrmMain* m = frmMain;
  AddDept("0102", "人事科");
  Menu("N13");  // 内部调动
  EXPECT_EQ(m->CmbBoxNbDdMbBm->Items()->Text(), AnsiString("财务科\r\n人事科\r\n"));
  Choose("财务科");
  Go("01010001");
  m->CmbBoxNbDdMbBm->SetItemIndex(-1);
  m->CmbBoxNbDdMbBm->SetText("");
  Click(m->SptBtnNbDd);
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegNoTarget);

  m->CmbBoxNbDdMbBm->SetItemIndex(1);
  dialogs.Answers = {IDYES};
  Click(m->SptBtnNbDd);
  EXPECT_EQ(dialogs.Boxes.back().Text, kRegConfirmTransfer);
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"总部(3)", "财务科(1)", "人事科(1)", "离退休(1)"}));
  EXPECT_EQ(CodeOf("张三"), "01020000001");
}

TEST_F(RegisterPages, ARetiredDepartmentIsRefusedWhereNobodyMayJoinOrLeaveIt) {
  bm->Locate("BMBH", "0199", {});
  bm->Edit();
  bm->FieldByName("BMMC")->SetAsString("退休");
  bm->Post();
  frmMain->CreatBmTreeview(tree);
  const struct {
    const char* menu;
    const char* message;
  } cases[] = {{"N10", kNoDirectRetiredAdd}, {"N12", kNoRetireOfRetired}, {"N13", kNoTransferOfRetired}};
  for (const auto& c : cases) {
    frmMain->LblZgBh->SetCaption("01010000009");
    Menu(c.menu);
    const size_t before = dialogs.Boxes.size();
    Choose("退休");
    ASSERT_EQ(dialogs.Boxes.size(), before + 1) << c.menu;
    EXPECT_EQ(dialogs.Boxes.back().Text, c.message) << c.menu;
    EXPECT_EQ(dialogs.Boxes.back().Icon, diError) << c.menu;
    EXPECT_EQ(frmMain->LblZgBh->Caption(), "") << c.menu;
  }
  Menu("N11");  // deleting a retired employee is allowed
  const size_t before = dialogs.Boxes.size();
  Choose("退休");
  EXPECT_EQ(dialogs.Boxes.size(), before);
  EXPECT_EQ(gzk->RecordCount(), 1);
}

TEST_F(RegisterPages, PickerButtonsFollowTheTreeClick) {
  TfrmMain* m = frmMain;
  const std::vector<TSpeedButton*> pickers = {m->SptBtnXgZgXz, m->SptBtnZgPx, m->SptBtnZgXz, m->sptBtnGwjxXz,
                                              m->SpdBtnJJZgxz};
  for (TSpeedButton* b : pickers) EXPECT_FALSE(b->Enabled()) << b->Name();
  // On the wage and performance pages a parent department leaves its own
  // picker off; elsewhere a click enables them all.
  const struct {
    const char* menu;
    std::vector<TSpeedButton*> off;
  } cases[] = {{"N16", {m->SptBtnXgZgXz, m->SptBtnZgPx}}, {"N49", {m->sptBtnGwjxXz}}, {"N15", {}}, {"N40", {}}};
  for (const auto& c : cases) {
    Menu(c.menu);
    Choose("总部");
    for (TSpeedButton* b : pickers)
      EXPECT_EQ(b->Enabled(), std::find(c.off.begin(), c.off.end(), b) == c.off.end()) << c.menu << " " << b->Name();
    Choose("财务科");
    for (TSpeedButton* b : pickers) EXPECT_TRUE(b->Enabled()) << c.menu << " " << b->Name();
  }
}

TEST_F(RegisterPages, PickerDoubleClickLeavesGzkOnTheChosenEmployee) {
  Menu("N16");  // 工资修改
  Choose("财务科");
  Go("01010001");
  bool shown = false;
  QTimer::singleShot(0, [&] {
    shown = FrmZgXz->IsModal();
    EXPECT_EQ(FrmZgXz->Caption(), "财务科(双击选中)");
    auto* grid = dynamic_cast<TDBGrid*>(FrmZgXz->FindComponent("DBGridZgXz"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->Columns()->Items(0)->Title()->Caption(), "职工编号");
    EXPECT_EQ(grid->Columns()->Items(1)->Title()->Caption(), "姓名");
    EXPECT_EQ(grid->Columns()->Items(2)->Title()->Caption(), "养老保险号");
    auto* table = qobject_cast<QTableWidget*>(grid->Surface());
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    const QPoint at = table->visualItemRect(table->item(1, 1)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (FrmZgXz->ModalResult() != mrOk) FrmZgXz->SetModalResult(mrCancel);
  });
  frmMain->SptBtnXgZgXz->OnClick(frmMain->SptBtnXgZgXz);
  EXPECT_TRUE(shown);
  EXPECT_EQ(FrmZgXz->ModalResult(), mrOk);
  EXPECT_EQ(gzk->FieldByName("XM")->AsString(), "李四");
}

// A pay box left on the attendance page leaves its row in edit state (the
// calculation wrote it back); the picker opened then must still list the
// department's employees.
TEST_F(RegisterPages, PickerOpenedWhileTheRowIsEditedListsTheDepartment) {
  Menu("N15");  // 职工考勤
  Choose("财务科");
  Go("01010001");
  gzk->Edit();
  gzk->FieldByName("F05")->SetAsFloat(2);
  int rows = -1;
  QTimer::singleShot(0, [&] {
    auto* grid = dynamic_cast<TDBGrid*>(FrmZgXz->FindComponent("DBGridZgXz"));
    if (auto* table = grid ? qobject_cast<QTableWidget*>(grid->Surface()) : nullptr) rows = table->rowCount();
    FrmZgXz->SetModalResult(mrCancel);
  });
  frmMain->SptBtnZgXz->OnClick(frmMain->SptBtnZgXz);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(gzk->FieldByName("F05")->AsFloat(), 2);
}

TEST_F(RegisterPages, OrderDialogExchangesCodesStopsAtTheEndsAndRenumbers) {
  Menu("N16");
  Choose("财务科");
  Go("01010001");
  const auto press = [](const char* name) {
    auto* b = dynamic_cast<TSpeedButton*>(FrmZgPx->FindComponent(name));
    ASSERT_NE(b, nullptr) << name;
    b->OnClick(b);
  };
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(FrmZgPx->Caption(), "财务科(双击选中)");
    press("SptBtnUp");  // at the first row: nothing
    EXPECT_EQ(CodeOf("张三"), "01010001");
    Go("01010001");
    press("SptBtnDown");
    EXPECT_EQ(gzk->FieldByName("XM")->AsString(), "张三");  // stays on the employee
    EXPECT_EQ(gzk->FieldByName("ZGBH")->AsString(), "01010002");
    press("SptBtnDown");  // now the last row of the department
    EXPECT_EQ(CodeOf("李四"), "01010001");
    EXPECT_EQ(CodeOf("张三"), "01010002");
    press("SptBtnPx");  // in code order: 李四 now comes first
    EXPECT_EQ(CodeOf("李四"), "01010000001");
    EXPECT_EQ(CodeOf("张三"), "01010000002");
    EXPECT_EQ(CodeOf("王五"), "01990001");
    press("SptBtnClose");
  });
  frmMain->SptBtnZgPx->OnClick(frmMain->SptBtnZgPx);
  EXPECT_EQ(FrmZgPx->ModalResult(), mrCancel);
}

TEST_F(RegisterPages, AnOrderCommandFailingHalfWayLeavesEveryCodeAsItWas) {
  Menu("N16");
  Choose("财务科");
  for (const char* button : {"SptBtnDown", "SptBtnPx"}) {
    Go("01010001");
    int posts = 0;
    gzk->BeforePost = [&](TDataSet*) {
      if (++posts == 2) throw std::runtime_error("disk full");
    };
    QTimer::singleShot(0, [&] {
      auto* b = dynamic_cast<TSpeedButton*>(FrmZgPx->FindComponent(button));
      ASSERT_NE(b, nullptr);
      EXPECT_THROW(b->OnClick(b), std::runtime_error) << button;
      FrmZgPx->SetModalResult(mrCancel);
    });
    frmMain->SptBtnZgPxClick(nullptr);
    gzk->BeforePost = nullptr;
    EXPECT_EQ(posts, 2) << button;
    EXPECT_EQ(CodeOf("张三"), "01010001") << button;
    EXPECT_EQ(CodeOf("李四"), "01010002") << button;
  }
}

TEST_F(RegisterPages, OrderingAParentRenumbersNobody) {
  Menu("N16");
  Choose("总部");
  QTimer::singleShot(0, [&] {
    auto* b = dynamic_cast<TSpeedButton*>(FrmZgPx->FindComponent("SptBtnPx"));
    ASSERT_NE(b, nullptr);
    b->OnClick(b);
    FrmZgPx->SetModalResult(mrCancel);
  });
  frmMain->SptBtnZgPxClick(nullptr);
  EXPECT_EQ(CodeOf("张三"), "01010001");
  EXPECT_EQ(CodeOf("王五"), "01990001");
}

TEST_F(RegisterPages, LeavingThePensionNumberOrAccountChecksOtherEmployees) {
  TfrmMain* m = frmMain;
  Menu("N16");
  Choose("财务科");
  Go("01010001");  // 张三 100001 / 6222000011112222
  EXPECT_EQ(m->DBEdit2->Text(), "100001");
  const struct {
    const char *ylbxh, *gzzh;
    bool clash;
  } cases[] = {
      {"100001", "6222000011112222", false},  // the employee's own values
      {"100009", "6222000011114444", true},   // 王五's account
      {"100002", "6222000011113333", true},   // both of 李四's: the own row no longer matches
      {"", "", false},                        // empty values match nobody
      {"", "1' or '1'='1", false},            // a quote is text, not SQL
  };
  const auto values = [&](const char* ylbxh, const char* gzzh) {
    // As the edits write what was typed into the row on leaving.
    gzk->Edit();
    gzk->FieldByName("YLBXH")->SetAsString(ylbxh);
    gzk->FieldByName("GZZH")->SetAsString(gzzh);
  };
  for (const auto& c : cases) {
    values("100001", "6222000011112222");
    m->SetActiveControl(m->DBEdit3);
    values(c.ylbxh, c.gzzh);
    EXPECT_EQ(m->DBEdit2->Text(), c.ylbxh);
    const size_t before = dialogs.Boxes.size();
    m->DBEdit2Exit(m->DBEdit3);
    EXPECT_EQ(dialogs.Boxes.size(), before + (c.clash ? 1 : 0)) << c.ylbxh << " " << c.gzzh;
    if (!c.clash) continue;
    EXPECT_EQ(dialogs.Boxes.back().Text, kRegDuplicateEdit);
    EXPECT_EQ(m->ActiveControl(), m->DBEdit2);
  }
  // Leaving the pension number for the account edit runs the check on its
  // own: one message, and the focus goes back.
  values("100002", "6222000011113333");
  m->SetActiveControl(m->DBEdit2);
  const size_t before = dialogs.Boxes.size();
  m->SetActiveControl(m->DBEdit3);
  EXPECT_EQ(dialogs.Boxes.size(), before + 1);
  EXPECT_EQ(m->ActiveControl(), m->DBEdit2);
  gzk->Cancel();
}

TEST_F(RegisterPages, KeyFilterOnTheNumericEdits) {
  TfrmMain* m = frmMain;
  const auto type = [](TEdit* e, const char* keys) {
    for (const char* k = keys; *k; ++k) PressKey(e, *k >= '0' && *k <= '9' ? Qt::Key_0 + (*k - '0') : *k == '.' ? Qt::Key_Period : Qt::Key_A, QString(QChar(*k)));
  };
  Menu("N10");
  Click(m->SptBtnAppe);  // the input panel takes keys only while adding
  m->EdtYlBxh->SetText("");
  type(m->EdtYlBxh, "12.a3456789");
  EXPECT_EQ(m->EdtYlBxh->Text(), "123456");  // no point, no letter, 6 at most
  m->EdtGzZh->SetTag(2);                     // two decimals allowed
  m->EdtGzZh->SetText("");
  type(m->EdtGzZh, "1.2.34");
  EXPECT_EQ(m->EdtGzZh->Text(), "1.23");
}

}  // namespace
