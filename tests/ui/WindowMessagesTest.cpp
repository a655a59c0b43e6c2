// Messages the program sends to native controls, sub-classed window
// procedures and drawing on a control's canvas outside its paint event.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWheelEvent>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/StdCtrls.h"

namespace {

QImage Shot(TControl* c) { return c->Surface()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

TColor PixelAt(const QImage& img, int x, int y) {
  QRgb p = img.pixel(x, y);
  return static_cast<TColor>(RGB(qRed(p), qGreen(p), qBlue(p)));
}

// A control that paints itself white.
class TWhite : public TCustomControl {
 public:
  explicit TWhite(TComponent* owner) : TCustomControl(owner) {}
  int paints = 0;
  void Paint() override {
    ++paints;
    Canvas()->Brush()->SetColor(clWhite);
    Canvas()->FillRect(ClientRect());
  }
};

class WindowMessagesTest : public TFormTest {
 protected:
  void SetUp() override {
    TFormTest::SetUp();
    form->Show();
    Pump();
  }
};

// --- text and typing -----------------------------------------------------

TEST_F(WindowMessagesTest, CharMessagesTypeIntoAnEditByteByByte) {
  auto* edit = Add<TEdit>();
  std::vector<unsigned char> seen;
  edit->OnKeyPress = [&](TObject*, char& k) { seen.push_back(static_cast<unsigned char>(k)); };
  AnsiString name = "张a";  // lead byte, trail byte, then a letter
  edit->Perform(WM_CHAR, 'x');
  for (char b : name) edit->Perform(WM_CHAR, static_cast<unsigned char>(b));
  EXPECT_EQ(edit->Text(), AnsiString("x张a"));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1], static_cast<unsigned char>(name[0]));
  EXPECT_EQ(seen[2], static_cast<unsigned char>(name[1]));
  EXPECT_TRUE(edit->Modified());

  // Backspace removes the whole character; posted characters arrive later.
  edit->Perform(WM_CHAR, VK_BACK);
  edit->Perform(WM_CHAR, VK_BACK);
  EXPECT_EQ(edit->Text(), AnsiString("x"));
  for (char b : AnsiString("李")) PostMessage(edit, WM_CHAR, static_cast<unsigned char>(b));
  EXPECT_EQ(edit->Text(), AnsiString("x"));
  Pump();
  EXPECT_EQ(edit->Text(), AnsiString("x李"));
}

TEST_F(WindowMessagesTest, AKeyPressHandlerFiltersSentCharacters) {
  auto* edit = Add<TEdit>();
  edit->SetMaxLength(3);
  edit->OnKeyPress = [](TObject*, char& k) {
    if (k >= '0' && k <= '9') k = 0;           // digits are refused
    if (k == 'a') k = 'A';                      // and letters changed
  };
  for (char b : AnsiString("a1b工")) edit->Perform(WM_CHAR, static_cast<unsigned char>(b));
  // MaxLength counts bytes: the Chinese character would make it four.
  EXPECT_EQ(edit->Text(), AnsiString("Ab"));
}

TEST_F(WindowMessagesTest, SetTextAndGetTextMessages) {
  auto* edit = Add<TEdit>();
  AnsiString value = "工资表1";
  EXPECT_EQ(edit->Perform(WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(value.c_str())), 1);
  EXPECT_EQ(edit->Text(), value);
  EXPECT_EQ(edit->Perform(WM_GETTEXTLENGTH), 7);
  struct Case {
    int size;
    const char* expected;
  } cases[] = {{64, "工资表1"}, {8, "工资表1"}, {7, "工资表"}, {6, "工资"}, {4, "工"}, {2, ""}, {1, ""}};
  for (const Case& c : cases) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    std::intptr_t n = edit->Perform(WM_GETTEXT, c.size, reinterpret_cast<std::intptr_t>(buffer));
    EXPECT_EQ(AnsiString(buffer), AnsiString(c.expected)) << c.size;
    EXPECT_EQ(n, static_cast<std::intptr_t>(AnsiString(c.expected).size())) << c.size;
  }
  // Controls without a widget of their own answer too.
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->Perform(WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>("姓名"));
  EXPECT_EQ(label->Caption(), AnsiString("姓名"));
}

// --- clicks and keys ---------------------------------------------------------

TEST_F(WindowMessagesTest, MouseAndSpaceMessagesClickAButton) {
  auto* button = Add<TButton>();
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  std::intptr_t centre = MakeLParam(10, 10);
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, centre);
  EXPECT_EQ(clicks, 0) << "a click is the release";
  button->Perform(WM_LBUTTONUP, 0, centre);
  EXPECT_EQ(clicks, 1);
  button->Perform(WM_KEYDOWN, VK_SPACE);
  button->Perform(WM_KEYUP, VK_SPACE);
  EXPECT_EQ(clicks, 2);
  PostMessage(button, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessage(button, WM_LBUTTONUP, 0, centre);
  Pump();
  EXPECT_EQ(clicks, 3);
  // A release outside the button is no click.
  button->Perform(WM_LBUTTONDOWN, MK_LBUTTON, centre);
  button->Perform(WM_LBUTTONUP, 0, MakeLParam(200, 200));
  EXPECT_EQ(clicks, 3);
}

TEST_F(WindowMessagesTest, CheckBoxClickedByMessagesTogglesOnce) {
  auto* box = Add<TCheckBox>();
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  box->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(5, 8));
  box->Perform(WM_LBUTTONUP, 0, MakeLParam(5, 8));
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(clicks, 1);
}

TEST_F(WindowMessagesTest, DownKeyOnADropDownListSelectsTheNextItem) {
  auto* combo = Add<TComboBox>();
  combo->SetStyle(csDropDownList);
  combo->Items()->Add("一月");
  combo->Items()->Add("二月");
  combo->Items()->Add("三月");
  combo->SetItemIndex(0);
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  combo->Perform(WM_KEYDOWN, VK_DOWN);
  combo->Perform(WM_KEYUP, VK_DOWN);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->Text(), AnsiString("二月"));
  EXPECT_EQ(changes, 1);
  combo->Perform(WM_KEYDOWN, VK_DOWN);
  combo->Perform(WM_KEYDOWN, VK_DOWN);  // the last item stays
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(changes, 2);
}

TEST_F(WindowMessagesTest, KeysFromTheWindowSystemStillReachHandlersOnce) {
  auto* edit = Add<TEdit>();
  int downs = 0, presses = 0;
  edit->OnKeyDown = [&](TObject*, std::uint16_t&, TShiftState) { ++downs; };
  edit->OnKeyPress = [&](TObject*, char&) { ++presses; };
  PressKey(edit, Qt::Key_A, QStringLiteral("a"));
  CommitText(edit, QStringLiteral("工"));
  EXPECT_EQ(edit->Text(), AnsiString("a工"));
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(presses, 3);
}

// --- sub-classing ----------------------------------------------------------------

// Replaces a control's window procedure and records what passes.
struct TSubClass {
  TControl* control;
  TWndMethod saved;
  std::vector<unsigned> seen;
  std::function<void(TMessage&)> after;
  explicit TSubClass(TControl* c) : control(c), saved(c->WindowProc) {
    c->WindowProc = [this](TMessage& m) {
      seen.push_back(m.Msg);
      saved(m);
      if (after) after(m);
    };
  }
  int Count(unsigned msg) const { return static_cast<int>(std::count(seen.begin(), seen.end(), msg)); }
};

TEST_F(WindowMessagesTest, ASubClassPaintsOverANativeControlAfterItPainted) {
  auto* button = Add<TButton>();
  button->SetBounds(10, 10, 80, 30);
  TSubClass sub(button);
  TControlCanvas canvas;
  canvas.SetControl(button);
  sub.after = [&](TMessage& m) {
    if (m.Msg != WM_PAINT) return;
    canvas.Brush()->SetColor(clRed);
    canvas.FillRect(Rect(0, 0, 80, 4));
  };
  QImage img = Shot(button);
  EXPECT_GE(sub.Count(WM_PAINT), 1);
  EXPECT_EQ(PixelAt(img, 40, 1), clRed);
  EXPECT_NE(PixelAt(img, 40, 20), clRed) << "the button's own face is still there";
}

TEST_F(WindowMessagesTest, ASubClassThatSwallowsPaintLeavesTheControlUnpainted) {
  auto* white = Add<TWhite>();
  white->SetBounds(0, 0, 40, 40);
  TWndMethod saved = white->WindowProc;
  white->WindowProc = [&](TMessage& m) {
    if (m.Msg != WM_PAINT) saved(m);
  };
  Shot(white);
  EXPECT_EQ(white->paints, 0);
  white->WindowProc = saved;
  white->Invalidate();
  EXPECT_EQ(PixelAt(Shot(white), 5, 5), clWhite);
  EXPECT_EQ(white->paints, 1);
}

TEST_F(WindowMessagesTest, ASubClassSeesSizeAndWheelMessages) {
  auto* edit = Add<TEdit>();
  auto* white = Add<TWhite>();
  white->SetBounds(0, 50, 100, 100);
  TSubClass editSub(edit), whiteSub(white);
  edit->SetBounds(0, 0, 150, 24);
  EXPECT_EQ(editSub.Count(WM_SIZE), 1);
  edit->SetBounds(5, 0, 150, 24);  // moved, not resized
  EXPECT_EQ(editSub.Count(WM_SIZE), 1);

  int wheelDelta = 0;
  white->OnMouseWheel = [&](TObject*, TShiftState, int delta, TPoint, bool& handled) {
    wheelDelta = delta;
    handled = true;
  };
  for (TWinControl* c : {static_cast<TWinControl*>(edit), static_cast<TWinControl*>(white)}) {
    QPoint local(10, 10);
    QWheelEvent e(QPointF(local), QPointF(c->Surface()->mapToGlobal(local)), QPoint(),
                  QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c->Surface(), &e);
  }
  EXPECT_EQ(editSub.Count(WM_MOUSEWHEEL), 1);
  EXPECT_EQ(editSub.Count(CM_MOUSEWHEEL), 1);
  EXPECT_EQ(whiteSub.Count(WM_MOUSEWHEEL), 1);
  EXPECT_EQ(wheelDelta, -120);
}

// --- drawing outside the paint event -------------------------------------------------

TEST_F(WindowMessagesTest, DrawingOutsidePaintStaysUntilTheNextRepaint) {
  auto* white = Add<TWhite>();
  white->SetBounds(0, 0, 60, 40);
  Shot(white);
  int paints = white->paints;
  TCanvas* c = white->Canvas();
  // A column-sizing line: an XOR pen drawn twice leaves nothing.
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetColor(clWhite);
  c->MoveTo(30, 0);
  c->LineTo(30, 40);
  c->Pen()->SetMode(pmCopy);
  c->Brush()->SetColor(clBlue);
  c->FillRect(Rect(0, 0, 5, 5));
  QImage img = Shot(white);
  EXPECT_EQ(white->paints, paints) << "drawing outside paint must not repaint the control";
  EXPECT_EQ(PixelAt(img, 30, 20), clBlack);
  EXPECT_EQ(PixelAt(img, 29, 20), clWhite);
  EXPECT_EQ(PixelAt(img, 2, 2), clBlue);
  c->Pen()->SetMode(pmXor);
  c->MoveTo(30, 0);
  c->LineTo(30, 40);
  img = Shot(white);
  EXPECT_EQ(PixelAt(img, 30, 20), clWhite);
  EXPECT_EQ(PixelAt(img, 2, 2), clBlue);
  white->Invalidate();
  img = Shot(white);
  EXPECT_EQ(PixelAt(img, 2, 2), clWhite) << "a repaint clears what was drawn outside it";
}

TEST_F(WindowMessagesTest, DrawingOnANativeControlOutsidePaintShowsOverIt) {
  auto* edit = Add<TEdit>();
  edit->SetBounds(0, 0, 100, 24);
  Shot(edit);
  TControlCanvas canvas;
  canvas.SetControl(edit);
  canvas.Brush()->SetColor(clLime);
  canvas.FrameRect(Rect(0, 0, 100, 24));
  QImage img = Shot(edit);
  EXPECT_EQ(PixelAt(img, 50, 0), clLime);
  EXPECT_EQ(PixelAt(img, 99, 12), clLime);
  EXPECT_NE(PixelAt(img, 50, 12), clLime);
  edit->Invalidate();
  EXPECT_NE(PixelAt(Shot(edit), 50, 0), clLime);
}

TEST_F(WindowMessagesTest, ACanvasOfAFreedControlDrawsNothing) {
  auto* white = Add<TWhite>();
  TControlCanvas canvas;
  canvas.SetControl(white);
  canvas.FillRect(Rect(0, 0, 4, 4));
  delete white;
  EXPECT_EQ(canvas.Control(), nullptr);
  EXPECT_THROW(canvas.FillRect(Rect(0, 0, 4, 4)), EInvalidOperation);
}

}  // namespace
