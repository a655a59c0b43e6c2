// Data-aware controls over an in-memory dataset: the edit's editing cycle,
// byte limits from the field, the navigator's states and its confirmed
// delete, the lookup combo box writing keys.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QWidget>

#include <vector>

#include "FakeDialogService.h"
#include "MemDataSet.h"
#include "UiTestSupport.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Forms.h"

namespace {

class DBCtrlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    users = new TMemDataSet(form);
    users->AddColumn("UserDm", ftString, 12);
    users->AddColumn("UserName", ftString, 8);
    users->AddColumn("Zgqk", ftInteger);
    users->AddRow({"ADMIN", "管理员", 1});
    users->AddRow({"ZHANG", "张三", 2});
    users->Open();
    source = new TDataSource(form);
    source->SetDataSet(users);
    name = new TDBEdit(form);
    name->SetParent(form);
    name->SetDataSource(source);
    name->SetDataField("UserName");
    other = new TEdit(form);
    other->SetParent(form);
    form->Show();
  }
  void TearDown() override {
    delete form;
    Pump();
  }
  TForm* form;
  TMemDataSet* users;
  TDataSource* source;
  TDBEdit* name;
  TEdit* other;
};

TEST_F(DBCtrlsTest, TheEditFollowsTheCursor) {
  EXPECT_EQ(name->Text(), "管理员");
  users->Next();
  EXPECT_EQ(name->Text(), "张三");
  EXPECT_EQ(name->MaxLength(), 8) << "a string field limits typing to its size";
}

TEST_F(DBCtrlsTest, TypingEditsTheRecordAndLeavingWritesTheField) {
  form->SetActiveControl(name);
  name->SelectAll();
  CommitText(name, QStringLiteral("李四"));
  EXPECT_EQ(users->State(), dsEdit);
  EXPECT_EQ(users->FieldByName("UserName")->AsString(), "管理员") << "not before the exit";
  form->SetActiveControl(other);
  EXPECT_EQ(users->FieldByName("UserName")->AsString(), "李四");
  users->Post();
  users->First();
  EXPECT_EQ(users->FieldByName("UserName")->AsString(), "李四");
}

TEST_F(DBCtrlsTest, OnExitSeesTheFieldAlreadyWritten) {
  AnsiString seen;
  name->OnExit = [&](TObject*) { seen = users->FieldByName("UserName")->AsString(); };
  form->SetActiveControl(name);
  name->SelectAll();
  CommitText(name, QStringLiteral("王五"));
  form->SetActiveControl(other);
  EXPECT_EQ(seen, "王五");
}

TEST_F(DBCtrlsTest, EscapePutsTheFieldTextBack) {
  form->SetActiveControl(name);
  name->SelectAll();
  CommitText(name, QStringLiteral("X"));
  PressKey(name, Qt::Key_Escape, QStringLiteral("\x1b"));
  EXPECT_EQ(name->Text(), "管理员");
  form->SetActiveControl(other);
  EXPECT_EQ(users->FieldByName("UserName")->AsString(), "管理员");
}

TEST_F(DBCtrlsTest, ARecordThatCannotBeEditedRefusesTyping) {
  users->ReadOnlyForTest = true;
  form->SetActiveControl(name);
  PressKey(name, Qt::Key_A, QStringLiteral("a"));
  CommitText(name, QStringLiteral("工"));
  EXPECT_EQ(name->Text(), "管理员");
  EXPECT_EQ(users->State(), dsBrowse);
}

TEST_F(DBCtrlsTest, TypingStopsAtTheFieldSizeInBytes) {
  form->SetActiveControl(name);
  name->SelectAll();
  CommitText(name, QStringLiteral("一二三四五"));  // ten bytes into an eight-byte field
  EXPECT_EQ(name->Text(), "一二三四");
  form->SetActiveControl(other);
  EXPECT_EQ(users->FieldByName("UserName")->AsString(), "一二三四");
}

TEST_F(DBCtrlsTest, NavigatorButtonsFollowTheDatasetState) {
  auto* nav = new TDBNavigator(form);
  nav->SetParent(form);
  nav->SetDataSource(source);
  EXPECT_FALSE(nav->ButtonEnabled(nbPrior)) << "at the first record";
  EXPECT_TRUE(nav->ButtonEnabled(nbNext));
  EXPECT_FALSE(nav->ButtonEnabled(nbPost));
  nav->BtnClick(nbLast);
  EXPECT_EQ(users->FieldByName("UserDm")->AsString(), "ZHANG");
  EXPECT_FALSE(nav->ButtonEnabled(nbNext));
  nav->BtnClick(nbEdit);
  EXPECT_TRUE(nav->ButtonEnabled(nbPost));
  EXPECT_TRUE(nav->Button(nbCancel)->Enabled());
  EXPECT_FALSE(nav->Button(nbEdit)->Enabled());
  nav->BtnClick(nbCancel);
  EXPECT_EQ(users->State(), dsBrowse);
}

// The navigator's buttons carry drawn glyphs (arrows, plus, minus, triangle,
// tick, cross, refresh), black when enabled and grey when not, no text
// captions, and Chinese hints.
TEST_F(DBCtrlsTest, NavigatorButtonsShowGlyphsAndChineseHints) {
  auto* nav = new TDBNavigator(form);
  nav->SetParent(form);
  nav->SetBounds(0, 200, 300, 25);
  nav->SetDataSource(source);
  const char* hints[] = {"第一条", "上一条", "下一条", "最后一条", "插入", "删除", "编辑", "保存", "取消", "刷新"};
  const auto cell = [](TSpeedButton* b, int i) {
    const QImage g = b->Glyph()->ToImage();
    return g.copy(i * g.width() / 2, 0, g.width() / 2, g.height()).convertToFormat(QImage::Format_RGB32);
  };
  const auto count = [](const QImage& img, QRgb colour) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == colour ? 1 : 0;
    return n;
  };
  std::vector<QImage> faces;
  for (int b = nbFirst; b <= nbRefresh; ++b) {
    SCOPED_TRACE(b);
    TSpeedButton* button = nav->Button(static_cast<TNavigateBtn>(b));
    EXPECT_TRUE(button->Caption().empty());
    EXPECT_EQ(button->Hint(), hints[b]);
    ASSERT_EQ(button->NumGlyphs(), 2);
    const QImage up = cell(button, 0), disabled = cell(button, 1);
    EXPECT_GE(count(up, qRgb(0, 0, 0)), 8);
    EXPECT_EQ(count(disabled, qRgb(0, 0, 0)), 0);
    EXPECT_EQ(count(disabled, qRgb(128, 128, 128)), count(up, qRgb(0, 0, 0)));
    for (const QImage& other : faces) EXPECT_NE(other, up) << "two buttons look alike";
    faces.push_back(up);
  }
  // On screen: "next" is enabled at the first record (black), "prior" is
  // not (grey).
  form->Show();
  Pump();
  const QImage shot = form->Handle()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const auto onScreen = [&](TNavigateBtn b) {
    TSpeedButton* button = nav->Button(b);
    return shot.copy(nav->Left() + button->Left(), nav->Top() + button->Top(), button->Width(), button->Height());
  };
  EXPECT_GE(count(onScreen(nbNext), qRgb(0, 0, 0)), 8);
  EXPECT_GE(count(onScreen(nbPrior), qRgb(128, 128, 128)), 8);
}

TEST_F(DBCtrlsTest, NavigatorDeleteAsksFirst) {
  TFakeDialogService dialogs;
  auto* nav = new TDBNavigator(form);
  nav->SetParent(form);
  nav->SetDataSource(source);
  dialogs.Answers = {mrCancel, mrOk};
  nav->BtnClick(nbDelete);
  EXPECT_EQ(users->RecordCount(), 2) << "cancelled";
  nav->BtnClick(nbDelete);
  EXPECT_EQ(users->RecordCount(), 1);
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[0].Icon, diQuestion);
}

TEST_F(DBCtrlsTest, LookupComboBoxShowsTheListTextAndWritesTheKey) {
  auto* kinds = new TMemDataSet(form);
  kinds->AddColumn("xh", ftInteger);
  kinds->AddColumn("Zgqk", ftString, 10);
  kinds->AddRow({1, "在职职工"});
  kinds->AddRow({2, "退休职工"});
  kinds->Open();
  auto* kindSource = new TDataSource(form);
  kindSource->SetDataSet(kinds);
  auto* combo = new TDBLookupComboBox(form);
  combo->SetParent(form);
  combo->SetListSource(kindSource);
  combo->SetKeyField("xh");
  combo->SetListField("Zgqk");
  combo->SetDataSource(source);
  combo->SetDataField("Zgqk");
  EXPECT_EQ(combo->Text(), "在职职工");
  users->Next();
  EXPECT_EQ(combo->Text(), "退休职工");
  users->First();
  // The user chooses the second line.
  auto* widget = qobject_cast<QComboBox*>(combo->Surface());
  ASSERT_NE(widget, nullptr);
  widget->setCurrentIndex(1);
  emit widget->activated(1);
  EXPECT_EQ(users->FieldByName("Zgqk")->AsInteger(), 2);
  EXPECT_EQ(users->State(), dsEdit);
  EXPECT_EQ(combo->Items()->Count(), 2);
  EXPECT_EQ(kinds->FieldByName("xh")->AsInteger(), 1) << "the list keeps its position";
}

}  // namespace

namespace {

// The list dataset of a lookup combo box, and the combo over it.
class LookupListTest : public DBCtrlsTest {
 protected:
  void SetUp() override {
    DBCtrlsTest::SetUp();
    kinds = new TMemDataSet(form);
    kinds->AddColumn("xh", ftInteger);
    kinds->AddColumn("Zgqk", ftString, 10);
    kinds->AddRow({1, "在职职工"});
    kinds->AddRow({2, "退休职工"});
    kinds->AddRow({3, "离休职工"});
    kinds->Open();
    kindSource = new TDataSource(form);
    kindSource->SetDataSet(kinds);
    combo = new TDBLookupComboBox(form);
    combo->SetParent(form);
    combo->SetListField("Zgqk");
    combo->SetKeyField("xh");
    combo->SetListSource(kindSource);
  }
  TMemDataSet* kinds;
  TDataSource* kindSource;
  TDBLookupComboBox* combo;
};

TEST_F(LookupListTest, AnUnknownKeyFieldLeavesTheListUsable) {
  EXPECT_THROW(combo->SetKeyField("NoSuchField"), EDatabaseError);
  EXPECT_EQ(combo->Items()->UpdateCount(), 0);
  EXPECT_FALSE(kinds->ControlsDisabled());
  combo->SetKeyField("xh");
  EXPECT_EQ(combo->Items()->Count(), 3);
  EXPECT_EQ(qobject_cast<QComboBox*>(combo->Surface())->count(), 3) << "the widget follows the list again";
}

TEST_F(LookupListTest, AFailingScrollHandlerLeavesTheListDatasetsControlsEnabled) {
  kinds->Next();  // the list stands on its second record
  int scrolls = 0;
  kinds->AfterScroll = [&](TDataSet*) {
    if (++scrolls >= 3) throw EDatabaseError("scroll refused");  // going back fails too
  };
  EXPECT_THROW(combo->SetListField("xh"), EDatabaseError);
  EXPECT_FALSE(kinds->ControlsDisabled());
  EXPECT_EQ(combo->Items()->UpdateCount(), 0);
  kinds->AfterScroll = nullptr;
  EXPECT_EQ(kinds->FieldByName("xh")->AsInteger(), 2) << "the list dataset went back to its record";
  combo->SetListField("Zgqk");
  EXPECT_EQ(combo->Items()->Count(), 3);
}

}  // namespace
