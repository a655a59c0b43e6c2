// The mask edit, scroll box, up-down buttons, paint box, splitter, control
// bar and cool bar: read from the component text form and used.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "GraphicsTestSupport.h"
#include "UiTestSupport.h"
#include "platform/core/TextForm.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Mask.h"

namespace {

const char* const kForm = R"(object FrmMore: TForm
  Left = 0
  Top = 0
  BorderStyle = bsNone
  ClientHeight = 300
  ClientWidth = 400
  object CoolBar1: TCoolBar
    Left = 0
    Top = 0
    Width = 400
    Height = 60
    AutoSize = True
    Bands = <
      item
        Control = ToolBar1
        MinHeight = 22
        Text = '工具'
        Width = 200
      end
      item
        Break = False
        MinHeight = 22
        Width = 120
      end>
    object ToolBar1: TToolBar
      Left = 0
      Top = 0
      Width = 150
      Height = 22
    end
  end
  object PanelLeft: TPanel
    Left = 0
    Top = 60
    Width = 100
    Height = 240
    Align = alLeft
  end
  object Splitter1: TSplitter
    Left = 100
    Top = 60
    Width = 3
    Height = 240
    MinSize = 40
  end
  object Box: TScrollBox
    Left = 103
    Top = 60
    Width = 297
    Height = 240
    Align = alClient
    VertScrollBar.Increment = 20
    object EditDate: TMaskEdit
      Left = 8
      Top = 8
      Width = 100
      Height = 21
      EditMask = '!0000/90/90;1;_'
      Text = '2026- 1-15'
    end
    object EditMonths: TEdit
      Left = 8
      Top = 40
      Width = 60
      Height = 21
    end
    object UpDown1: TUpDown
      Left = 68
      Top = 40
      Width = 16
      Height = 21
      Associate = EditMonths
      Min = 1
      Max = 2000
      Position = 12
    end
    object Pages: TPaintBox
      Left = 8
      Top = 600
      Width = 80
      Height = 60
    end
  end
end
)";

class MoreControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    RegisterVisualClasses();
    form = new THost(nullptr);
    form->Load(kForm);
    form->Show();
    Pump();
  }
  void TearDown() override {
    delete form;
    Pump();
  }
  struct THost : TForm {
    explicit THost(TComponent* o) : TForm(o) {}
    void Load(const AnsiString& t) { InitFormFromText(t); }
  };
  template <class T>
  T* Get(const char* name) {
    auto* c = dynamic_cast<T*>(form->FindComponent(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  THost* form = nullptr;
};

void TypeBytes(TWinControl* c, const AnsiString& bytes) {
  for (char b : bytes) c->Perform(WM_CHAR, static_cast<unsigned char>(b));
}

TEST_F(MoreControlsTest, EveryControlIsReadFromTheText) {
  EXPECT_EQ(Get<TMaskEdit>("EditDate")->EditMask(), AnsiString("!0000/90/90;1;_"));
  EXPECT_EQ(Get<TUpDown>("UpDown1")->Associate(), Get<TEdit>("EditMonths"));
  EXPECT_EQ(Get<TScrollBox>("Box")->VertScrollBar()->Increment(), 20);
  EXPECT_EQ(Get<TSplitter>("Splitter1")->MinSize(), 40);
  auto* cool = Get<TCoolBar>("CoolBar1");
  ASSERT_EQ(cool->Bands()->Count(), 2);
  EXPECT_EQ(cool->Bands()->Items(0)->Control(), Get<TToolBar>("ToolBar1"));
  EXPECT_EQ(cool->Bands()->Items(0)->Text(), AnsiString("工具"));
  EXPECT_FALSE(cool->Bands()->Items(1)->Break());
  // Written back, the text reads the same values again.
  AnsiString text = ComponentToObjectText(form);
  EXPECT_NE(text.find("EditMask = '!0000/90/90;1;_'"), std::string::npos) << text;
  EXPECT_NE(text.find("Associate = EditMonths"), std::string::npos) << text;
  EXPECT_NE(text.find("Control = ToolBar1"), std::string::npos) << text;
  SaveShot(form->Surface()->grab().toImage(), "more-controls");
}

// --- mask edit ---------------------------------------------------------------

TEST_F(MoreControlsTest, AMaskEditShowsEveryPositionAndStoresItsValue) {
  auto* e = Get<TMaskEdit>("EditDate");
  // '/' in a mask is the date separator of the settings ('-' here).
  EXPECT_EQ(e->EditText(), AnsiString("2026-_1-15"));
  EXPECT_EQ(e->Text(), AnsiString("2026- 1-15"));
  e->SetText("");
  EXPECT_EQ(e->EditText(), AnsiString("____-__-__"));
  e->SetSelStart(0);
  TypeBytes(e, "2x0a27-");  // letters refused, the literal skipped by typing
  EXPECT_EQ(e->EditText(), AnsiString("2027-__-__"));
  EXPECT_EQ(e->SelStart(), 5);
  TypeBytes(e, "1");
  EXPECT_THROW(e->ValidateEdit(), EDBEditError) << "the month's second digit is required";
  EXPECT_EQ(e->SelStart(), 6) << "the cursor goes to the position in error";
  TypeBytes(e, "231");
  EXPECT_EQ(e->EditText(), AnsiString("2027-12-31"));
  EXPECT_NO_THROW(e->ValidateEdit());
  EXPECT_TRUE(e->Modified());
  e->Perform(WM_CHAR, VK_BACK);
  EXPECT_EQ(e->EditText(), AnsiString("2027-12-3_"));
}

TEST(MaskEdit, LettersTakeDoubleByteCharactersAndCaseRules) {
  EnsureUiApp();
  TForm f(nullptr);
  auto* e = new TMaskEdit(&f);
  e->SetParent(&f);
  e->SetEditMask(">LLLL-00;0; ");
  e->SetSelStart(0);
  TypeBytes(e, "张ab12");
  EXPECT_EQ(e->EditText(), AnsiString("张AB-12"));
  EXPECT_EQ(e->Text(), AnsiString("张AB12")) << "literals are not stored with ;0";
  e->SetEditMask("");
  EXPECT_FALSE(e->IsMasked());
  EXPECT_EQ(e->Text(), AnsiString("张AB12"));
}

// --- up-down ---------------------------------------------------------------------

TEST_F(MoreControlsTest, UpDownStepsTheAssociatesNumber) {
  auto* ud = Get<TUpDown>("UpDown1");
  auto* edit = Get<TEdit>("EditMonths");
  EXPECT_EQ(edit->Text(), AnsiString("12"));
  EXPECT_EQ(ud->Left(), edit->Left() + edit->Width());
  EXPECT_EQ(ud->Height(), edit->Height());
  std::vector<TUDBtnType> clicks;
  ud->OnClick = [&](TObject*, TUDBtnType b) { clicks.push_back(b); };
  ClickControlAt(ud, 8, 3);  // upper half
  EXPECT_EQ(ud->Position(), 13);
  ClickControlAt(ud, 8, ud->Height() - 3);
  ClickControlAt(ud, 8, ud->Height() - 3);
  EXPECT_EQ(ud->Position(), 11);
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_EQ(clicks[0], btNext);
  EXPECT_EQ(clicks[2], btPrev);
  ud->SetPosition(1999);
  ud->Step(btNext);
  ud->Step(btNext);
  EXPECT_EQ(ud->Position(), 2000);
  EXPECT_EQ(edit->Text(), AnsiString("2,000"));
  ud->SetWrap(true);
  ud->Step(btNext);
  EXPECT_EQ(ud->Position(), 1);
  ud->OnChanging = [](TObject*, bool& allow) { allow = false; };
  ud->Step(btNext);
  EXPECT_EQ(ud->Position(), 1);
  ud->OnChanging = nullptr;
  // The arrow keys in the associate step too.
  edit->Perform(WM_KEYDOWN, VK_UP);
  EXPECT_EQ(ud->Position(), 2);
}

// --- splitter ------------------------------------------------------------------------

TEST_F(MoreControlsTest, DraggingTheSplitterResizesTheControlBeforeIt) {
  auto* split = Get<TSplitter>("Splitter1");
  auto* left = Get<TPanel>("PanelLeft");
  auto* box = Get<TScrollBox>("Box");
  ASSERT_EQ(split->FindResizeControl(), left);
  int moves = 0;
  split->OnMoved = [&](TObject*) { ++moves; };
  QWidget* s = split->Surface();
  auto drag = [&](int dx) {
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, QPoint(1, 50));
    QMouseEvent move(QEvent::MouseMove, QPointF(1 + dx, 50), s->mapToGlobal(QPointF(1 + dx, 50)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s, &move);
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, QPoint(1 + dx, 50));
  };
  drag(50);
  EXPECT_EQ(left->Width(), 150);
  EXPECT_EQ(split->Left(), 150);
  EXPECT_EQ(box->Left(), 153);
  EXPECT_EQ(moves, 1);
  drag(-200);  // below MinSize: snaps shut
  EXPECT_EQ(left->Width(), 0);
  drag(60);
  EXPECT_EQ(left->Width(), 60);
  drag(1000);  // the client control keeps MinSize
  EXPECT_EQ(box->Width(), 40);
}

// --- scroll box and paint box ---------------------------------------------------------

TEST_F(MoreControlsTest, AScrollBoxScrollsToAChildBeyondItsView) {
  auto* box = Get<TScrollBox>("Box");
  auto* pages = Get<TPaintBox>("Pages");
  EXPECT_TRUE(box->VertScrollBar()->IsScrollBarVisible());
  EXPECT_FALSE(box->HorzScrollBar()->IsScrollBarVisible());
  EXPECT_EQ(box->VertScrollBar()->Position(), 0);
  box->ScrollInView(pages);
  EXPECT_GE(box->VertScrollBar()->Position(), 660 - box->ClientHeight());
  EXPECT_EQ(pages->Top(), 600) << "children keep their place on the scrolled area";
  box->VertScrollBar()->SetPosition(0);
  EXPECT_EQ(box->VertScrollBar()->Position(), 0);
  pages->SetTop(20);
  box->UpdateScrollRange();
  EXPECT_FALSE(box->VertScrollBar()->IsScrollBarVisible());
}

TEST_F(MoreControlsTest, APaintBoxPaintsInOnPaintAndKeepsWhatIsDrawnLater) {
  auto* pages = Get<TPaintBox>("Pages");
  pages->SetTop(80);
  int paints = 0;
  pages->OnPaint = [&](TObject*) {
    ++paints;
    pages->Canvas()->Brush()->SetColor(clGray);
    pages->Canvas()->FillRect(pages->ClientRect());
  };
  pages->Invalidate();
  auto shot = [&] { return pages->Surface()->grab().toImage(); };
  QImage img = shot();
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(img.pixelColor(40, 30), QColor(128, 128, 128));
  // A search hit: white lines drawn in exclusive-or over the page.
  TCanvas* c = pages->Canvas();
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetColor(clWhite);
  c->MoveTo(0, 10);
  c->LineTo(80, 10);
  img = shot();
  EXPECT_EQ(img.pixelColor(40, 10), QColor(127, 127, 127));
  EXPECT_EQ(img.pixelColor(40, 11), QColor(128, 128, 128));
  EXPECT_EQ(paints, 1);
}

// --- bars -------------------------------------------------------------------------------

TEST_F(MoreControlsTest, ACoolBarLaysItsBandsInRows) {
  auto* cool = Get<TCoolBar>("CoolBar1");
  auto* tools = Get<TToolBar>("ToolBar1");
  TRect first = cool->BandRect(0), second = cool->BandRect(1);
  EXPECT_EQ(first.Left, 0);
  EXPECT_EQ(first.Width(), 200);
  EXPECT_EQ(second.Left, 200) << "no break: the same row";
  EXPECT_EQ(second.Top, first.Top);
  EXPECT_EQ(second.Right, cool->ClientWidth()) << "the last band takes the rest";
  EXPECT_EQ(tools->Parent(), cool);
  EXPECT_GT(tools->Left(), TControlBar::kGrabberSize) << "after the grabber and the caption";
  EXPECT_LE(tools->Left() + tools->Width(), 200);
  EXPECT_EQ(cool->ClientHeight(), 22) << "AutoSize: one row";
  cool->Bands()->Items(1)->SetBreak(true);
  EXPECT_EQ(cool->BandRect(1).Top, 22);
  EXPECT_EQ(cool->ClientHeight(), 44);
}

TEST_F(MoreControlsTest, AControlBarAsksItsBandPainterForEveryBand) {
  auto* bar = new TControlBar(form);
  bar->SetParent(form);
  bar->SetBounds(0, 200, 300, 60);
  auto* a = new TPanel(form);
  a->SetParent(bar);
  a->SetBounds(0, 0, 80, 22);
  auto* b = new TPanel(form);
  b->SetParent(bar);
  b->SetBounds(50, 30, 80, 22);
  bar->Realign();
  EXPECT_EQ(a->Left(), TControlBar::kGrabberSize);
  EXPECT_EQ(b->Top(), 26 + 2) << "second row, centred in RowSize";
  std::vector<TControl*> painted;
  bar->OnBandPaint = [&](TObject*, TControl* c, TCanvas*, TRect& r, TBandPaintOptions& o) {
    painted.push_back(c);
    EXPECT_EQ(r, bar->BandRect(c));
    o >> bpoGrabber;
  };
  bar->Surface()->grab();
  EXPECT_EQ(painted.size(), 2u);
}

}  // namespace
