// The status bar with typed panels: registrations, the shared timer, the
// lock keys and the panel painters, read from the pixels they leave.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <cstdlib>
#include <map>

#include "decor/LockKeys.h"
#include "decor/SbStatusBar.h"
#include "decor/XPStyler.h"

#include <QMenu>
#include <QMenuBar>
#include "platform/core/NumFormat.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/SysColors.h"

namespace {

class SbBar : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplicationForTest();
    SetStatusBarClock([this] { return now; });
    SetLockKeySource([this](std::uint16_t vk) {
      ++keyReads[vk];
      return keys[vk];
    });
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 400, 100);
    bar = new TsbStatusBar(form);
    bar->SetParent(form);
    bar->SetColor(clWhite);
    bar->Font()->SetColor(clBlack);
  }
  void TearDown() override {
    delete form;
    SetStatusBarClock(nullptr);
    SetLockKeySource(nullptr);
  }
  TsbStatusPanel* AddPanel(TsbStatusPanelType type, int width = 80) {
    TsbStatusPanel* p = bar->Panels()->Add();
    p->SetWidth(width);
    p->SetPanelType(type);
    return p;
  }
  // The panel as painted: its rectangle less the one-pixel margin.
  QImage Painted(TsbStatusPanel* p) {
    TBitmap bmp;
    bmp.SetSize(bar->Width(), bar->Height());
    bmp.Canvas()->Font()->Assign(bar->Font());
    TRect r = bar->PanelRect(p->Index());
    p->PaintInto(bmp.Canvas(), r);
    return bmp.Image().copy(r.Left + 1, r.Top + 1, r.Width() - 2, r.Height() - 2);
  }
  // Pixels of colour c; text is smoothed, so Ink counts those within
  // 40 of c on every channel.
  static int Count(const QImage& img, TColor c, int tolerance = 0) {
    TColorRef rgb = ColorToRGB(c);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        QRgb p = img.pixel(x, y);
        if (std::abs(qRed(p) - GetRValue(rgb)) <= tolerance && std::abs(qGreen(p) - GetGValue(rgb)) <= tolerance &&
            std::abs(qBlue(p) - GetBValue(rgb)) <= tolerance)
          ++n;
      }
    return n;
  }
  static int Ink(const QImage& img, TColor c) { return Count(img, c, 40); }
  unsigned Interval() { return bar->Panels()->Timer() ? bar->Panels()->Timer()->Interval() : 0; }

  TDateTime now = EncodeDate(2024, 3, 1) + EncodeTime(9, 30, 0, 0);
  std::map<std::uint16_t, bool> keys;
  std::map<std::uint16_t, int> keyReads;
  TForm* form = nullptr;
  TsbStatusBar* bar = nullptr;
};

TEST_F(SbBar, VersionAndOwnerChecks) {
  EXPECT_EQ(bar->Version(), "TsbStatusBar v1.24");
  bar->SetVersion("x");
  EXPECT_EQ(bar->Version(), "TsbStatusBar v1.24");
  TsbStatusPanel* p = AddPanel(sptNormal);
  EXPECT_EQ(bar->PlainPanels()->Count(), 1);
  EXPECT_EQ(p->Linked()->Style(), psOwnerDraw);
  TCollection other(ItemClassOf<TCollectionItem>());
  try {
    TsbStatusPanel stray(&other);
    FAIL() << "a panel outside TsbStatusPanels";
  } catch (const Exception& e) {
    EXPECT_EQ(AnsiString(e.Message()), "TsbStatusPanel owner must be TsbStatusPanesls");
  }
  EXPECT_THROW(bar->Panels()->PaintPanel(5), EListError);
  delete p;
  EXPECT_EQ(bar->PlainPanels()->Count(), 0) << "the linked plain panel goes with it";
}

TEST_F(SbBar, SharedTimerFollowsThePanelsThatNeedIt) {
  TsbStatusPanel* date = AddPanel(sptDate);
  EXPECT_EQ(Interval(), 60000u) << "a date alone";
  TsbStatusPanel* time = AddPanel(sptTime);
  EXPECT_EQ(Interval(), 1000u) << "a clock";
  TsbStatusPanel* gauge = AddPanel(sptGauge);
  EXPECT_EQ(Interval(), 1000u) << "a percentage gauge needs no timer";
  gauge->GaugeAttrs()->SetStyle(gsIndeterminate);
  EXPECT_EQ(Interval(), 50u) << "an enabled gauge turned animated joins";
  gauge->SetPanelType(sptNormal);
  EXPECT_EQ(Interval(), 1000u);
  gauge->SetPanelType(sptGauge);
  EXPECT_FALSE(gauge->OwnEnabled()) << "choosing an animated gauge leaves it disabled";
  gauge->SetEnabled(true);
  EXPECT_EQ(Interval(), 50u) << "an animated gauge";
  gauge->SetEnabled(false);
  EXPECT_EQ(Interval(), 1000u);
  delete time;
  EXPECT_EQ(Interval(), 60000u);
  delete date;
  EXPECT_EQ(bar->Panels()->Timer(), nullptr) << "no panel registered, no timer";
}

TEST_F(SbBar, ClockAndDatePanelsRewriteTheirTextOnTicks) {
  TsbStatusPanel* time = AddPanel(sptTime);
  TsbStatusPanel* date = AddPanel(sptDate);
  date->SetDateFormat("yyyy-mm-dd");
  EXPECT_EQ(time->Text(), "09:30:00") << "the locale's long time when TimeFormat is empty";
  EXPECT_EQ(date->Text(), "2024-03-01");
  now = now + 1.0 / kSecsPerDay;
  date->SetText("stale");
  bar->Panels()->Timer()->TickForTest();
  EXPECT_EQ(time->Text(), "09:30:01");
  EXPECT_EQ(date->Text(), "stale") << "a date panel is rewritten only when the date changes";
  now = now + 1.0;
  bar->Panels()->Timer()->TickForTest();
  EXPECT_EQ(date->Text(), "2024-03-02");
  TsbStatusPanel* both = AddPanel(sptTimeDate);
  both->SetDateFormat("mmdd");
  EXPECT_EQ(both->Text(), "09:30:01 0302");
  TsbStatusPanel* plain = AddPanel(sptNormal);
  plain->SetText("x");
  plain->SetDateFormat("yyyy");
  EXPECT_EQ(plain->Text(), "x");
}

TEST_F(SbBar, DisablingTheBarBlanksPanelsAndStopsTheTimer) {
  TsbStatusPanel* time = AddPanel(sptTime);
  EXPECT_GT(Count(Painted(time), clBlack), 0);
  bar->SetEnabled(false);
  EXPECT_EQ(bar->Panels()->Timer(), nullptr);
  QImage img = Painted(time);
  EXPECT_EQ(Count(img, clWhite), img.width() * img.height()) << "only the bar's colour";
  bar->SetEnabled(true);
  EXPECT_EQ(Interval(), 1000u);
}

TEST_F(SbBar, WithoutAKeyboardToAskALockPanelSaysItDoesNotKnow) {
  TsbStatusPanel* caps = AddPanel(sptCapsLock);
  keys[kVkCapsLock] = false;
  const QImage off = Painted(caps);
  SetLockKeySource(nullptr);  // the keyboard itself: offscreen there is none
  ASSERT_EQ(LockKeyState(kVkCapsLock), lksUnknown);
  EXPECT_FALSE(LockKeyToggled(kVkCapsLock));
  const QImage unknown = Painted(caps);
  EXPECT_EQ(Ink(unknown, clBlack), 0) << "not shown as on";
  EXPECT_GT(Ink(unknown, clGrayText), 0);
  EXPECT_NE(unknown, off) << "nor as off";
}

TEST_F(SbBar, LockPanelsFollowTheKeyAndIgnoreAutoRepeat) {
  TsbStatusPanel* caps = AddPanel(sptCapsLock);
  TsbStatusPanel* num = AddPanel(sptNumLock);
  EXPECT_EQ(caps->Text(), " CAPS ");
  EXPECT_TRUE(caps->AutoFit());
  EXPECT_GT(caps->Width(), 20) << "measured";
  EXPECT_TRUE(KeyboardHookInstalled());
  EXPECT_TRUE(bar->MainWindowHooked());
  keys[kVkCapsLock] = true;
  EXPECT_GT(Ink(Painted(caps), clBlack), 0) << "on: the font colour";
  keys[kVkCapsLock] = false;
  EXPECT_EQ(Ink(Painted(caps), clBlack), 0);
  EXPECT_GT(Ink(Painted(caps), clGrayText), 0) << "off: gray";

  keyReads.clear();
  LockKeyboardHookProc(kVkCapsLock, 1);  // going down, was up
  EXPECT_EQ(keyReads[kVkCapsLock], 1);
  EXPECT_EQ(keyReads[kVkNumLock], 0) << "only Caps Lock panels repaint";
  LockKeyboardHookProc(kVkCapsLock, 1 | (1u << 30));  // auto-repeat
  LockKeyboardHookProc(kVkCapsLock, 1 | (1u << 30) | (1u << 31));  // release
  LockKeyboardHookProc('A', 1);
  EXPECT_EQ(keyReads[kVkCapsLock], 1);

  // Deactivation: the next key event repaints every lock panel.
  Application->SetActive(true);
  Application->SetActive(false);
  keyReads.clear();
  LockKeyboardHookProc('A', 1);
  EXPECT_EQ(keyReads[kVkCapsLock], 1);
  EXPECT_EQ(keyReads[kVkNumLock], 1);
  // And the posted refresh repaints the bar's lock panels at once.
  keyReads.clear();
  bar->Perform(kSbRefreshLocks);
  EXPECT_EQ(keyReads[kVkNumLock], 1);

  delete caps;
  EXPECT_TRUE(KeyboardHookInstalled());
  delete num;
  EXPECT_FALSE(KeyboardHookInstalled()) << "the last lock panel removes the hook";
  EXPECT_FALSE(bar->MainWindowHooked());
  AddPanel(sptScrollLock);
  EXPECT_TRUE(KeyboardHookInstalled()) << "and a new one installs it again";
}

TEST_F(SbBar, RegisteringTwiceIsUndoneByOneUnregistration) {
  TsbStatusPanel* caps = AddPanel(sptCapsLock);
  RegisterKeyboardHookPanel(caps);
  bar->AddMainWinHookPanel(caps);
  EXPECT_EQ(KeyboardHookPanels().size(), 1u);
  EXPECT_EQ(bar->MainWinHookPanels().size(), 1u);
  caps->SetEnabled(false);
  EXPECT_FALSE(KeyboardHookInstalled());
  EXPECT_FALSE(bar->MainWindowHooked());
}

TEST_F(SbBar, MonitorLibraryIsAbsentSoThePanelsStayOnTheHook) {
  AddPanel(sptNumLock);
  bar->SetUseMonitorDLL(true);
  EXPECT_FALSE(bar->UseMonitorDLL());
  EXPECT_TRUE(KeyboardHookInstalled());
}

TEST_F(SbBar, PercentGaugeFillsItsShareAndLabelsIt) {
  TsbStatusPanel* g = AddPanel(sptGauge, 102);
  AddPanel(sptNormal);  // the last panel reaches the bar's right edge
  g->GaugeAttrs()->SetColor(clBlue);
  g->GaugeAttrs()->SetTextColor(clYellow);
  g->GaugeAttrs()->SetPosition(50);
  EXPECT_EQ(g->Alignment(), taCenter);
  QImage img = Painted(g);  // 100 pixels wide
  int row = 1;
  EXPECT_EQ(QColor(img.pixel(49, row)), QColor(Qt::blue));
  EXPECT_EQ(QColor(img.pixel(50, row)), QColor(Qt::white));
  EXPECT_GT(Ink(img, clYellow), 0) << "the text over the filled part";
  EXPECT_GT(Ink(img, clBlack), 0) << "and over the rest";
  // "50%" is what is drawn: the same panel with that text paints the same.
  g->SetText("50%");
  EXPECT_EQ(Painted(g), img);
  g->SetText("busy");
  EXPECT_NE(Painted(g), img);
}

TEST_F(SbBar, GaugeAttributesCopyEverySetting) {
  TsbStatusPanel* a = AddPanel(sptGauge);
  TsbStatusPanel* b = AddPanel(sptGauge);
  a->GaugeAttrs()->SetPosition(30);
  a->GaugeAttrs()->SetSpeed(9);
  a->GaugeAttrs()->SetColor(clRed);
  a->GaugeAttrs()->SetTextColor(clLime);
  b->SetGaugeAttrs(a->GaugeAttrs());
  EXPECT_EQ(b->GaugeAttrs()->Position(), 30);
  EXPECT_EQ(b->GaugeAttrs()->Speed(), 9);
  EXPECT_EQ(b->GaugeAttrs()->Color(), clRed);
  EXPECT_EQ(b->GaugeAttrs()->TextColor(), clLime);
  a->GaugeAttrs()->SetSpeed(0);
  EXPECT_EQ(a->GaugeAttrs()->Speed(), 9) << "speeds below 1 are refused";
}

TEST_F(SbBar, AnimatedGaugeBouncesBetweenTheEdges) {
  TsbStatusPanel* g = AddPanel(sptGauge, 42);
  AddPanel(sptNormal);
  g->GaugeAttrs()->SetStyle(gsIndeterminate);
  g->SetPanelType(sptNormal);
  g->SetPanelType(sptGauge);
  g->SetEnabled(true);
  g->GaugeAttrs()->SetColor(clRed);
  int lastPos = 0;
  bool turned = false;
  for (int i = 0; i < 20; ++i) {
    QImage img = Painted(g);
    EXPECT_GT(Count(img, clRed), 0);
    if (g->AnimationPosition() < lastPos) turned = true;
    lastPos = g->AnimationPosition();
    EXPECT_LE(lastPos, 40);
  }
  EXPECT_TRUE(turned);
  g->GaugeAttrs()->SetStyle(gsIndeterminate2);
  for (int i = 0; i < 60; ++i) Painted(g);
  EXPECT_GE(g->AnimationPosition(), -100);
}

TEST_F(SbBar, AutoFitWidthFollowsTheText) {
  TsbStatusPanel* p = AddPanel(sptNormal);
  p->SetBorderWidth(2);
  p->SetAutoFit(true);
  p->SetText("工资系统");
  EXPECT_EQ(p->Width(), bar->MeasureText("工资系统") + 6 + 2);
  int w = p->Width();
  p->SetWidth(300);
  EXPECT_EQ(p->Width(), w) << "a width set by hand is ignored";
  p->SetAutoFit(false);
  p->SetWidth(300);
  EXPECT_EQ(p->Width(), 300);
}

TEST_F(SbBar, HintsOfPanels) {
  TsbStatusPanel* a = AddPanel(sptNormal, 100);
  TsbStatusPanel* path = AddPanel(sptEllipsisPath, 100);
  AddPanel(sptNormal, 100);
  TsbStatusPanel* d = AddPanel(sptNormal, 100);
  path->SetText("C:\\payroll\\data\\GZ.udb");
  EXPECT_EQ(path->StoredHint(), "...");
  EXPECT_EQ(path->Hint(), "C:\\payroll\\data\\GZ.udb");
  a->SetHint("单位");
  d->SetHint("操作员");
  d->OnHintText = [](TsbStatusBar*, TsbStatusPanel*, AnsiString& h) { h += "!"; };
  EXPECT_EQ(d->Hint(), "操作员!");

  THintInfo info;
  info.CursorPos = TPoint(150, 5);
  info.CursorRect = TRect(0, 0, 400, 20);
  bar->Perform(CM_HINTSHOW, 0, reinterpret_cast<std::intptr_t>(&info));
  EXPECT_EQ(info.HintStr, path->Text());
  EXPECT_EQ(info.CursorRect, bar->PanelRect(1));

  info = THintInfo();
  info.HintStr = "bar";
  info.CursorPos = TPoint(250, 5);
  info.CursorRect = TRect(0, 0, 400, 20);
  bar->Perform(CM_HINTSHOW, 0, reinterpret_cast<std::intptr_t>(&info));
  EXPECT_EQ(info.HintStr, "bar") << "a panel without a hint keeps the bar's";
  EXPECT_EQ(info.CursorRect.Left, bar->PanelRect(1).Right);
  EXPECT_EQ(info.CursorRect.Right, bar->PanelRect(3).Left);
}

TEST_F(SbBar, SizeGripOnlyOverAColouredBar) {
  AddPanel(sptNormal);
  auto grab = [&] {
    bar->Invalidate();
    return bar->Surface()->grab().toImage();
  };
  form->Show();
  QImage img = grab();
  TRect cr = bar->ClientRect();
  TColorRef sh = ColorToRGB(clBtnShadow);
  auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
  QRgb shadow = qRgb(GetRValue(sh), GetGValue(sh), GetBValue(sh)) & 0xFFFFFF;
  // The grip's shadow diagonals, away from the panel's bevel.
  auto gripInk = [&] {
    int n = 0;
    for (int x = cr.Right - 14; x < cr.Right - 2; ++x)
      for (int y = 5; y < cr.Bottom - 4; ++y)
        if (at(x, y) == shadow) ++n;
    return n;
  };
  EXPECT_GT(gripInk(), 5);
  bar->SetColor(clBtnFace);
  img = grab();
  EXPECT_EQ(gripInk(), 0) << "no grip of the bar's own";
}

TEST_F(SbBar, ClickRaisesThePanelUnderTheMouse) {
  TsbStatusPanel* a = AddPanel(sptNormal, 100);
  TsbStatusPanel* b = AddPanel(sptNormal, 100);
  std::vector<TObject*> clicked;
  a->OnClick = [&](TObject* s) { clicked.push_back(s); };
  b->OnClick = [&](TObject* s) { clicked.push_back(s); };
  bar->Perform(WM_LBUTTONDOWN, 0, MakeLParam(150, 8));
  clicked.clear();
  bar->Click();
  EXPECT_EQ(clicked, std::vector<TObject*>{b});
}

}  // namespace

namespace {

// A main window with a menu and the status bar as the program shows them;
// the picture is saved into PAYROLL_SHOT_DIR when that is set.
TEST(SbBarWindow, MainWindowWithMenuAndStatusBar) {
  EnsureQtApplicationForTest();
  SetStatusBarClock([] { return EncodeDate(2024, 3, 1) + EncodeTime(9, 30, 0, 0); });
  TForm form(nullptr);
  form.SetBounds(0, 0, 480, 160);
  auto* menu = new TMainMenu(&form);
  for (const char* caption : {"系统(&S)", "工资(&G)", "报表(&R)", "帮助(&H)"}) {
    auto* item = new TMenuItem(&form);
    item->SetCaption(caption);
    menu->Items()->Add(item);
  }
  for (const char* caption : {"计算工资", "-", "打印工资表", "退出(&X)"}) {
    auto* item = new TMenuItem(&form);
    item->SetCaption(caption);
    menu->Items()->Items(1)->Add(item);
  }
  menu->Items()->Items(1)->Items(3)->SetEnabled(false);
  form.SetMenu(menu);
  auto* styler = new TXPStyler(&form);
  styler->SetActive(true);
  auto* bar = new TsbStatusBar(&form);
  bar->SetParent(&form);
  bar->SetColor(static_cast<TColor>(RGB(236, 233, 216)));
  const std::pair<TsbStatusPanelType, const char*> panels[] = {
      {sptNormal, "单位：示例公司"}, {sptNormal, "操作员：张三"}, {sptCapsLock, ""},
      {sptNumLock, ""}, {sptGauge, ""}, {sptDateTime, ""}};
  for (auto& [type, text] : panels) {
    TsbStatusPanel* p = bar->Panels()->Add();
    p->SetWidth(type == sptGauge ? 70 : 110);
    p->SetPanelType(type);
    if (*text) p->SetText(text);
    if (type == sptGauge) p->GaugeAttrs()->SetPosition(50);
  }
  form.Show();
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  QImage img = form.Surface()->grab().toImage();
  TRect r = bar->PanelRect(4);
  QImage gauge = bar->Surface()->grab().toImage();
  EXPECT_EQ(QColor(gauge.pixel(r.Left + 5, r.Top + 3)), QColor(gauge.pixel(r.Left + 20, r.Top + 3)))
      << "the filled half is one colour";
  QMenu* popup = menu->MenuBarFor(&form)->actions()[1]->menu();
  popup->popup(QPoint(60, 30));
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  popup->setActiveAction(popup->actions()[0]);
  QImage pop = popup->grab().toImage();
  popup->close();
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR")) {
    img.save(QString::fromUtf8(dir) + "/decor_main_window.png");
    pop.save(QString::fromUtf8(dir) + "/decor_menu.png");
  }
  SetStatusBarClock(nullptr);
}

}  // namespace
