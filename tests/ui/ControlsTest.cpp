// Controls: alignment order, anchors, text as code-page-936 bytes (typed
// and committed by an input method), edits' byte limits and case, lists,
// check and radio groups, clicks.
#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace {

using ControlsTest = TFormTest;

TEST_F(ControlsTest, AlignmentFillsTopBottomLeftRightThenClient) {
  auto* client = Add<TCustomControl>();
  client->SetAlign(alClient);
  auto* bottom = Add<TCustomControl>();
  bottom->SetHeight(30);
  bottom->SetAlign(alBottom);
  auto* left = Add<TCustomControl>();
  left->SetWidth(100);
  left->SetAlign(alLeft);
  auto* top2 = Add<TCustomControl>();
  top2->SetBounds(0, 50, 10, 20);
  top2->SetAlign(alTop);
  auto* top1 = Add<TCustomControl>();
  top1->SetBounds(0, -10, 10, 40);
  top1->SetAlign(alTop);  // above top2 (at 0 now): its Top is smaller
  EXPECT_EQ(top1->BoundsRect(), Rect(0, 0, 400, 40));
  EXPECT_EQ(top2->BoundsRect(), Rect(0, 40, 400, 60));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 270, 400, 300));
  EXPECT_EQ(left->BoundsRect(), Rect(0, 60, 100, 270));
  EXPECT_EQ(client->BoundsRect(), Rect(100, 60, 400, 270));
  form->SetBounds(0, 0, 500, 400);
  EXPECT_EQ(client->BoundsRect(), Rect(100, 60, 500, 370));
  left->SetVisible(false);
  EXPECT_EQ(client->BoundsRect(), Rect(0, 60, 500, 370));
}

TEST_F(ControlsTest, AnchorsKeepDistancesToTheParentsEdges) {
  auto* stretch = Add<TEdit>();
  stretch->SetBounds(10, 10, 380, 21);
  stretch->SetAnchors({akLeft, akTop, akRight});
  auto* corner = Add<TButton>();
  corner->SetBounds(315, 265, 75, 25);
  corner->SetAnchors({akRight, akBottom});
  form->SetBounds(0, 0, 500, 350);
  EXPECT_EQ(stretch->BoundsRect(), Rect(10, 10, 490, 31));
  EXPECT_EQ(corner->BoundsRect(), Rect(415, 315, 490, 340));
}

TEST_F(ControlsTest, NestedPanelsCoordinatesAreRelativeToTheParent) {
  auto* outer = Add<TGroupBox>();
  outer->SetBounds(20, 30, 200, 100);
  auto* inner = Add<TEdit>(outer);
  inner->SetBounds(5, 25, 100, 21);
  EXPECT_EQ(inner->Surface()->parentWidget(), outer->Surface());
  EXPECT_EQ(inner->Surface()->geometry(), QRect(5, 25, 100, 21));
  EXPECT_TRUE(outer->ContainsControl(inner));
  EXPECT_EQ(inner->GetParentForm(), form);
}

TEST_F(ControlsTest, TypedTextReachesKeyPressAsCodePage936Bytes) {
  auto* edit = Add<TEdit>();
  std::vector<unsigned char> bytes;
  edit->OnKeyPress = [&](TObject*, char& c) { bytes.push_back(static_cast<unsigned char>(c)); };
  form->Show();
  form->SetActiveControl(edit);
  CommitText(edit, QStringLiteral("工资"));
  PressKey(edit, Qt::Key_A, QStringLiteral("a"));
  // 工 = B9 A4, 资 = D7 CA in code page 936.
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0xB9, 0xA4, 0xD7, 0xCA, 'a'}));
  EXPECT_EQ(edit->Text(), "工资a");
}

TEST_F(ControlsTest, KeyPressCanReplaceOrSwallowATypedCharacter) {
  auto* edit = Add<TEdit>();
  edit->OnKeyPress = [&](TObject*, char& c) {
    if (c == 'x') c = 0;
    if (c == 'y') c = 'Y';
  };
  form->Show();
  form->SetActiveControl(edit);
  PressKey(edit, Qt::Key_A, QStringLiteral("a"));
  PressKey(edit, Qt::Key_X, QStringLiteral("x"));
  PressKey(edit, Qt::Key_Y, QStringLiteral("y"));
  EXPECT_EQ(edit->Text(), "aY");
}

TEST_F(ControlsTest, UpperCaseEditConvertsTypingButNotTrailBytes) {
  auto* edit = Add<TEdit>();
  edit->SetCharCase(ecUpperCase);
  edit->SetMaxLength(12);
  form->Show();
  form->SetActiveControl(edit);
  PressKey(edit, Qt::Key_A, QStringLiteral("a"));
  PressKey(edit, Qt::Key_D, QStringLiteral("d"));
  EXPECT_EQ(edit->Text(), "AD");
  // 帮 is B0 EF; 猫 is C3 A8; a trail byte like 'a' (0x61) stays as it is.
  edit->SetText("");
  CommitText(edit, QStringLiteral("乙a"));  // 乙 = D2 D2
  EXPECT_EQ(edit->Text(), "乙A");
}

TEST_F(ControlsTest, MaxLengthCountsBytesAndNeverSplitsACharacter) {
  auto* edit = Add<TEdit>();
  edit->SetMaxLength(5);
  form->Show();
  form->SetActiveControl(edit);
  CommitText(edit, QStringLiteral("ab"));
  CommitText(edit, QStringLiteral("工资"));  // 2 + 4 bytes: the second character does not fit
  EXPECT_EQ(edit->Text(), "ab工");
  EXPECT_EQ(edit->Text().Length(), 4);
}

TEST_F(ControlsTest, SelStartAndSelLengthAreByteOffsets) {
  auto* edit = Add<TEdit>();
  edit->SetText("工资ab");
  edit->SetSelStart(4);
  edit->SetSelLength(2);
  EXPECT_EQ(edit->SelText(), "ab");
  EXPECT_EQ(edit->SelStart(), 4);
  EXPECT_EQ(edit->SelLength(), 2);
  edit->SetSelStart(2);
  edit->SetSelLength(2);
  EXPECT_EQ(edit->SelText(), "资");
}

TEST_F(ControlsTest, PasswordEditShowsStarsButKeepsTheText) {
  auto* edit = Add<TEdit>();
  edit->SetPasswordChar('*');
  edit->SetText("secret");
  auto* line = static_cast<QLineEdit*>(edit->Surface());
  EXPECT_EQ(line->echoMode(), QLineEdit::Password);
  EXPECT_EQ(edit->Text(), "secret");
}

TEST_F(ControlsTest, ChangingTextRunsOnChangeOnce) {
  auto* edit = Add<TEdit>();
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  edit->SetText("工资");
  edit->SetText("工资");
  EXPECT_EQ(changes, 1);
}

TEST_F(ControlsTest, ComboBoxItemsAndIndexFollowEachOther) {
  auto* combo = Add<TComboBox>();
  combo->SetStyle(csDropDownList);
  combo->Items()->Add("在职");
  combo->Items()->Add("退休");
  combo->SetItemIndex(1);
  EXPECT_EQ(combo->Text(), "退休");
  combo->Items()->Clear();
  EXPECT_EQ(combo->ItemIndex(), -1);
  auto* edit = Add<TComboBox>();
  edit->Items()->Add("甲");
  edit->SetText("乙");
  EXPECT_EQ(edit->Text(), "乙");
  EXPECT_EQ(edit->ItemIndex(), -1);
  edit->SetText("甲");
  EXPECT_EQ(edit->ItemIndex(), 0);
}

TEST_F(ControlsTest, ListBoxSelectionAndBounds) {
  auto* list = Add<TListBox>();
  list->Items()->Add("一");
  list->Items()->Add("二");
  list->SetItemIndex(1);
  EXPECT_EQ(list->ItemIndex(), 1);
  list->SetItemIndex(5);
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_THROW(list->Selected(2), EListError);
}

TEST_F(ControlsTest, RadioButtonsOfOneParentAreExclusive) {
  auto* a = Add<TRadioButton>();
  auto* b = Add<TRadioButton>();
  auto* box = Add<TGroupBox>();
  auto* c = Add<TRadioButton>(box);
  a->SetChecked(true);
  c->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_TRUE(c->Checked()) << "another parent is another group";
}

// The frame's top edge runs through the middle of the caption line, as the
// forms' layouts expect (a print dialog puts its first radio button 18
// pixels down): the darkest row near the top, away from the caption, lies
// within the caption's line.
TEST_F(ControlsTest, AGroupBoxFrameRunsThroughItsCaptionLine) {
  auto* box = Add<TGroupBox>();
  box->SetBounds(0, 0, 200, 100);
  box->SetCaption("页范围");
  form->Show();
  Pump();
  const QImage shot = box->Surface()->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  const int caption = box->Surface()->fontMetrics().height();
  int darkest = -1, value = 256;
  for (int y = 0; y < 40 && y < shot.height(); ++y) {
    const int v = qGray(shot.pixel(shot.width() - 20, y));
    if (v < value) value = v, darkest = y;
  }
  EXPECT_LT(darkest, caption - 2) << "caption line " << caption << ", frame at " << darkest;
}

TEST_F(ControlsTest, CheckBoxClickTogglesAndRunsOnClick) {
  auto* box = Add<TCheckBox>();
  box->SetBounds(10, 10, 100, 17);
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  form->Show();
  ClickControlAt(box, 5, 8);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(clicks, 1);
  box->SetChecked(true);
  EXPECT_EQ(clicks, 1) << "no change, no click";
}

TEST_F(ControlsTest, MouseMessagesCarryClientCoordinates) {
  auto* panel = Add<TCustomControl>();
  panel->SetBounds(50, 60, 100, 100);
  int x = -1, y = -1, clicks = 0;
  panel->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int ax, int ay) {
    if (b == mbLeft) { x = ax; y = ay; }
  };
  panel->OnClick = [&](TObject*) { ++clicks; };
  form->Show();
  ClickControlAt(panel, 7, 9);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(y, 9);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, LabelAutoSizeFollowsItsCaption) {
  auto* label = Add<TLabel>();
  label->SetCaption("用户代码:");
  int w1 = label->Width();
  label->SetCaption("用户代码: 很长的说明文字");
  EXPECT_GT(label->Width(), w1);
  EXPECT_GT(label->Height(), 0);
}

TEST_F(ControlsTest, ScrollBarClampsPositionAndRefusesAnInvertedRange) {
  auto* bar = Add<TScrollBar>();
  int changes = 0;
  bar->OnChange = [&](TObject*) { ++changes; };
  bar->SetParams(150, 0, 100);
  EXPECT_EQ(bar->Position(), 100);
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(bar->SetParams(0, 10, 5), EInvalidOperation);
}

}  // namespace

namespace {

TEST_F(ControlsTest, EditableComboBoxReportsEachTypedChangeOnce) {
  auto* combo = Add<TComboBox>();
  combo->SetStyle(csDropDownList);
  combo->SetStyle(csDropDown);
  combo->SetStyle(csDropDown);
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  form->Show();
  form->SetActiveControl(combo);
  PressKey(combo, Qt::Key_A, QStringLiteral("a"));
  EXPECT_EQ(combo->Text(), "a");
  EXPECT_EQ(changes, 1);
}

}  // namespace
