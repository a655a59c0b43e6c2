// The XP painter's controls: which controls it serves, the state its
// window procedure follows, and the pixels each painter leaves, read from
// bitmaps the size of the control.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdlib>

#include "decor/XPStyler.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/SysColors.h"

namespace {

TColorRef Px(TBitmap& b, int x, int y) { return ColorToRGB(b.Canvas()->Pixels(x, y)); }
TColorRef Rgb(TColor c) { return ColorToRGB(c); }

class XPControls : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplicationForTest();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    styler = new TXPStyler(form);
  }
  void TearDown() override { delete form; }
  template <class T>
  T* Make(int w, int h, TWinControl* parent = nullptr) {
    auto* c = new T(form);
    c->SetParent(parent ? parent : form);
    c->SetBounds(10, 10, w, h);
    return c;
  }
  // The control's XP parts painted on a bitmap of its size, over white.
  void PaintOf(TControl* c, TBitmap& bmp) {
    bmp.SetSize(c->Width(), c->Height());
    bmp.Canvas()->Brush()->SetColor(clWhite);
    bmp.Canvas()->FillRect(TRect(0, 0, c->Width(), c->Height()));
    TControlSubClass* s = styler->SubClassOf(c);
    ASSERT_NE(s, nullptr);
    s->Paint(bmp.Canvas());
  }
  TForm* form = nullptr;
  TXPStyler* styler = nullptr;
};

TEST_F(XPControls, ServesQualifyingControlsOnAllowedContainersOnly) {
  auto* button = Make<TButton>(80, 24);
  auto* panel = Make<TPanel>(100, 60);
  auto* onPanel = Make<TEdit>(50, 20, panel);
  auto* optOutPanel = Make<TPanel>(100, 60);
  optOutPanel->SetTag(999);
  auto* onOptOut = Make<TEdit>(50, 20, optOutPanel);
  auto* group = Make<TGroupBox>(100, 60);
  auto* label = Make<TLabel>(40, 16);
  TXPControls most = TXPControls::FromBits(0xFFFF);
  most >> xcGroupBox;
  styler->SetXPControls(most);
  styler->SetActive(true);
  EXPECT_TRUE(styler->SubClassOf(button));
  EXPECT_TRUE(styler->SubClassOf(onPanel));
  EXPECT_FALSE(styler->SubClassOf(onOptOut)) << "a control whose parent's Tag is 999";
  EXPECT_FALSE(styler->SubClassOf(group)) << "not in XPControls";
  EXPECT_FALSE(styler->SubClassOf(label));

  TXPContainers noPanels = TXPContainers::FromBits(1023);
  noPanels >> xccPanel;
  styler->SetXPContainers(noPanels);
  EXPECT_TRUE(styler->SubClassOf(button));
  EXPECT_FALSE(styler->SubClassOf(onPanel)) << "changing the containers installs again";
}

TEST_F(XPControls, RegisteringTwiceServesOnce) {
  auto* button = Make<TButton>(80, 24);
  styler->SetAutoDetect(true);
  styler->SetActive(true);
  TControlSubClass* first = styler->SubClassOf(button);
  auto* item = new TMenuItem(form);  // AutoDetect installs again
  (void)item;
  EXPECT_EQ(styler->SubClassOf(button), first);
  int count = 0;
  TMessage m;
  m.Msg = CM_MOUSEENTER;
  button->WindowProc(m);
  EXPECT_TRUE(first->Hot());
  for (int i = 0; i < form->ComponentCount(); ++i) count += form->Components(i) == button;
  EXPECT_EQ(count, 1);
}

TEST_F(XPControls, SwitchingOffPutsTheOwnWindowProcedureBack) {
  auto* edit = Make<TEdit>(80, 20);
  edit->SetColor(clWindow);
  styler->SetActive(true);
  EXPECT_EQ(Rgb(edit->Color()), Rgb(styler->BtnSurfaceNormalColor())) << "true-XP edits take the surface colour";
  styler->SetActive(false);
  edit->Perform(CM_MOUSEENTER);  // the first message after switching off detaches
  EXPECT_FALSE(styler->SubClassOf(edit));
  EXPECT_EQ(Rgb(edit->Color()), Rgb(clWindow));
  bool entered = false;
  edit->OnMouseEnter = [&](TObject*) { entered = true; };
  edit->Perform(CM_MOUSEENTER);
  EXPECT_TRUE(entered) << "messages reach the control's own procedure";
}

TEST_F(XPControls, MessageTableFollowsHotPressAndSpace) {
  auto* button = Make<TButton>(80, 24);
  auto* off = Make<TButton>(80, 24);
  off->SetEnabled(false);
  styler->SetActive(true);
  TControlSubClass* s = styler->SubClassOf(button);
  button->Perform(CM_MOUSEENTER);
  EXPECT_TRUE(s->Hot());
  button->Perform(CM_MOUSELEAVE);
  EXPECT_FALSE(s->Hot());
  button->Perform(WM_SETFOCUS);
  EXPECT_TRUE(s->Hot()) << "focus gained lights the control too";
  button->Perform(WM_KILLFOCUS);
  EXPECT_FALSE(s->Hot());
  button->Perform(WM_KEYDOWN, VK_SPACE);
  EXPECT_TRUE(s->SpaceDown());
  button->Perform(WM_KEYUP, VK_SPACE);
  EXPECT_FALSE(s->SpaceDown());
  off->Perform(CM_MOUSEENTER);
  EXPECT_FALSE(styler->SubClassOf(off)->Hot()) << "a disabled control does not light";
  button->Perform(EM_GETMODIFY);
  button->Perform(WM_DESTROY);
  EXPECT_EQ(styler->SubClassOf(button), s) << "a window being recreated keeps its sub-class";
  button->Perform(WM_PAINT);
  button->Perform(WM_DESTROY);
  EXPECT_FALSE(styler->SubClassOf(button));
}

TEST_F(XPControls, TrueXPPushButtonStates) {
  auto* b = Make<TButton>(80, 24);
  auto* off = Make<TButton>(80, 24);
  off->SetEnabled(false);
  styler->SetActive(true);
  TBitmap bmp;
  PaintOf(b, bmp);
  EXPECT_EQ(Px(bmp, 0, 0), Rgb(form->Color())) << "rounded corners keep the parent's colour";
  EXPECT_EQ(Px(bmp, 40, 0), Rgb(styler->BtnOutLineBorderColor()));
  EXPECT_EQ(Px(bmp, 4, 12), Rgb(styler->BtnSurfaceNormalColor()));
  EXPECT_EQ(Px(bmp, 40, 21), Rgb(styler->BtnSurfaceBottomLineColor())) << "two pixels above the bottom edge";
  b->Perform(CM_MOUSEENTER);
  PaintOf(b, bmp);
  EXPECT_EQ(Px(bmp, 40, 1), Rgb(styler->BtnInnerBorderMoveColor()));
  EXPECT_EQ(Px(bmp, 40, 2), Rgb(styler->BtnInnerBorderMoveColor()) + 0x020200);
  b->Perform(WM_LBUTTONDOWN, MK_LBUTTON, 0x00050005);
  PaintOf(b, bmp);
  EXPECT_EQ(Px(bmp, 4, 12), Rgb(styler->BtnSurfaceDownColor()));
  EXPECT_EQ(Px(bmp, 40, 21), Rgb(styler->BtnSurfaceDownBottomLineColor()));
  PaintOf(off, bmp);
  EXPECT_EQ(Px(bmp, 40, 0), Rgb(styler->ControlDisabledBorderColor()));
}

TEST_F(XPControls, ClassicPushButtonLightsOnHover) {
  auto* b = Make<TButton>(80, 24);
  b->SetTag(kXPClassicTag);
  styler->SetActive(true);
  TBitmap bmp;
  PaintOf(b, bmp);
  TXPColors k = styler->ColorsFor(bmp.Canvas());
  EXPECT_EQ(Px(bmp, 4, 12), Rgb(k.iconStrip));
  EXPECT_EQ(Px(bmp, 78, 12), Rgb(XPDarken(clBtnShadow, 50))) << "shading on the right of a raised button";
  b->Perform(CM_MOUSEENTER);
  PaintOf(b, bmp);
  EXPECT_EQ(Px(bmp, 4, 12), Rgb(XPLighten(clBtnFace, 60)));
}

TEST_F(XPControls, CheckBoxAndRadioMarks) {
  auto* cb = Make<TCheckBox>(100, 20);
  cb->SetChecked(true);
  auto* classic = Make<TCheckBox>(100, 20);
  classic->SetTag(kXPClassicTag);
  auto* rb = Make<TRadioButton>(100, 20);
  rb->SetChecked(true);
  styler->SetActive(true);
  TBitmap bmp;
  PaintOf(cb, bmp);
  int size = GetSystemMetrics(SM_CXHTHUMB) + 1, top = 3 + (14 - size) / 2;
  EXPECT_EQ(Px(bmp, 2, top + 2), Rgb(styler->BtnOutLineBorderColor())) << "the box's outline";
  bool tick = false;
  for (int y = top; y < top + size; ++y)
    for (int x = 0; x < size; ++x) tick = tick || Px(bmp, x, y) == Rgb(styler->RdoChkControlChkColor());
  EXPECT_TRUE(tick);
  PaintOf(classic, bmp);
  size = GetSystemMetrics(SM_CXHTHUMB);
  top = 3 + (14 - size) / 2;
  EXPECT_EQ(Px(bmp, 2, top + 2), Rgb(clBtnShadow));
  EXPECT_EQ(Px(bmp, 4, top + 4), Rgb(clWindow));
  classic->Perform(CM_MOUSEENTER);
  PaintOf(classic, bmp);
  EXPECT_EQ(Px(bmp, 4, top + 4), Rgb(styler->ColorsFor(bmp.Canvas()).selectFill));

  PaintOf(rb, bmp);
  int thumb = GetSystemMetrics(SM_CXHTHUMB);
  int rtop = 4 + (12 - thumb) / 2;
  int cx = (thumb + 1) / 2, cy = rtop + (thumb + 1) / 2;
  EXPECT_EQ(Px(bmp, cx, cy), Rgb(styler->RdoChkControlChkColor())) << "the checked dot";
}

TEST_F(XPControls, EditFrameFollowsTheMouse) {
  auto* e = Make<TEdit>(80, 20);
  styler->SetActive(true);
  TBitmap bmp;
  PaintOf(e, bmp);
  EXPECT_EQ(Px(bmp, 40, 0), Rgb(XPDarken(form->Color(), 60)));
  e->Perform(CM_MOUSEENTER);
  PaintOf(e, bmp);
  EXPECT_EQ(Px(bmp, 40, 0), Rgb(XPLighten(clHighlight, 60)));
}

TEST_F(XPControls, ComboButtonStatesAndDisabledOutline) {
  auto* cb = Make<TComboBox>(120, 22);
  auto* off = Make<TComboBox>(120, 22);
  off->SetEnabled(false);
  styler->SetActive(true);
  TBitmap bmp;
  PaintOf(cb, bmp);
  // The button's inner rectangle, clear of the chevron.
  EXPECT_EQ(Px(bmp, 117 - GetSystemMetrics(SM_CXHTHUMB) + 1, 4), Rgb(styler->BtnInnerBorderFocusColor()));
  cb->Perform(CM_MOUSEENTER);
  PaintOf(cb, bmp);
  EXPECT_EQ(Px(bmp, 117 - GetSystemMetrics(SM_CXHTHUMB) + 1, 4), Rgb(styler->ComboboxSurfaceMoveColor()));
  PaintOf(off, bmp);
  EXPECT_EQ(Px(bmp, 40, 2), Rgb(styler->ControlDisabledBorderColor()));
}

// A glyph strip of n pieces 8 x 8, piece i filled with colours[i] inside a
// white rim (the rim is the transparent colour).
void GlyphStrip(TBitmap& g, const std::vector<TColor>& colours) {
  int n = static_cast<int>(colours.size());
  g.SetSize(8 * n, 8);
  g.Canvas()->Brush()->SetColor(clWhite);
  g.Canvas()->FillRect(TRect(0, 0, 8 * n, 8));
  for (int i = 0; i < n; ++i) {
    g.Canvas()->Brush()->SetColor(colours[i]);
    g.Canvas()->FillRect(TRect(8 * i + 2, 2, 8 * i + 6, 6));
  }
}

TEST_F(XPControls, SpeedButtonShowsTheGlyphOfItsStateAndSuppressesItsOwnPainting) {
  auto* sb = Make<TSpeedButton>(30, 30);
  sb->SetTag(kXPClassicTag);
  TBitmap glyph;
  GlyphStrip(glyph, {clRed, clLime, clBlue, clFuchsia});
  sb->SetGlyph(&glyph);
  sb->SetNumGlyphs(4);
  sb->SetGroupIndex(1);
  sb->SetAllowAllUp(true);
  sb->SetDown(true);
  styler->SetActive(true);
  TMessage m;
  m.Msg = WM_PAINT;
  sb->WindowProc(m);
  EXPECT_EQ(m.Result, 1);
  TBitmap bmp;
  PaintOf(sb, bmp);
  // Glyph left = (30 - 8) div 2 = 11, top = (30 - 8) div 2 - 1 = 10, + 1.
  EXPECT_EQ(Px(bmp, 11 + 3, 11 + 3), Rgb(clFuchsia)) << "Down with 4 images shows image 4";
  sb->SetNumGlyphs(1);
  GlyphStrip(glyph, {clRed});
  sb->SetGlyph(&glyph);
  PaintOf(sb, bmp);
  EXPECT_EQ(Px(bmp, 11 + 3, 11 + 3), Rgb(clRed)) << "one image serves every state";
}

TEST_F(XPControls, BitButtonOfBlankCaptionHasNoSpacing) {
  auto* bb = Make<TBitBtn>(40, 30);
  bb->SetTag(kXPClassicTag);
  TBitmap glyph;
  GlyphStrip(glyph, {clRed});
  bb->SetGlyph(&glyph);
  bb->SetCaption("  ");
  bb->SetSpacing(10);
  styler->SetActive(true);
  TBitmap bmp;
  PaintOf(bb, bmp);
  // With spacing 0 the glyph is centred on the caption's width alone.
  TBitmap probe;
  probe.Canvas()->Font()->Assign(bb->Font());
  int tw = probe.Canvas()->TextWidth("  ");
  int left = (40 - (8 + tw)) / 2, top = (30 - 8) / 2 + 1;
  TColorRef red = Rgb(XPLighten(clRed, styler->DimLevel()));
  EXPECT_EQ(Px(bmp, left + 3, top + 3), red);
}

TEST_F(XPControls, PanelBevelsAndGroupBoxFrame) {
  auto* raised = Make<TPanel>(60, 40);
  auto* lowered = Make<TPanel>(60, 40);
  lowered->SetBevelOuter(bvLowered);
  auto* group = Make<TGroupBox>(100, 60);
  styler->SetActive(true);
  TBitmap bmp;
  for (auto* p : {raised, lowered}) p->Perform(WM_PAINT);
  PaintOf(raised, bmp);
  TColor light = XPLighten(raised->Color(), 60), dark = XPDarken(raised->Color(), 60);
  EXPECT_EQ(Px(bmp, 10, 0), Rgb(light));
  EXPECT_EQ(Px(bmp, 10, 39), Rgb(dark));
  PaintOf(lowered, bmp);
  EXPECT_EQ(Px(bmp, 10, 0), Rgb(dark));
  EXPECT_EQ(Px(bmp, 59, 10), Rgb(light));

  group->Perform(WM_PAINT);
  PaintOf(group, bmp);
  bmp.Canvas()->Font()->Assign(group->Font());
  int th = bmp.Canvas()->TextHeight(" ");
  EXPECT_EQ(Px(bmp, 50, th / 2 + 1), Rgb(XPLighten(group->Color(), 60))) << "an empty caption uses the height of \" \"";
  EXPECT_EQ(Px(bmp, 50, 0), Rgb(form->Color()));
}

TEST_F(XPControls, ToolBarSeparatorsAndDownButtons) {
  auto* bar = Make<TToolBar>(200, 26);
  auto* button = new TToolButton(form);
  button->SetParent(bar);
  auto* sep = new TToolButton(form);
  sep->SetStyle(tbsSeparator);
  sep->SetParent(bar);
  auto* drop = new TToolButton(form);
  drop->SetStyle(tbsDropDown);
  drop->SetParent(bar);
  button->SetDown(true);
  styler->SetActive(true);
  ASSERT_TRUE(bar->OnCustomDrawButton);
  EXPECT_TRUE(bar->Flat());
  TXPColors k = styler->ColorsFor(button->Canvas());
  auto paint = [&](TToolButton* b) {
    bool dd = true;
    QImage img(b->Width(), b->Height(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      QPainter painter(&img);
      b->Canvas()->Attach(&painter);
      bar->OnCustomDrawButton(bar, b, dd);
      b->Canvas()->Detach();
    }
    EXPECT_FALSE(dd);
    return img;
  };
  auto rgb = [](const QImage& i, int x, int y) {
    QRgb p = i.pixel(x, y);
    return static_cast<TColorRef>(RGB(qRed(p), qGreen(p), qBlue(p)));
  };
  QImage img = paint(button);
  EXPECT_EQ(rgb(img, 5, 5), Rgb(k.lightSelect)) << "a checked button that is not hot";
  EXPECT_EQ(rgb(img, 0, 5), Rgb(k.selectBorder));
  button->Perform(CM_MOUSEENTER);
  img = paint(button);
  EXPECT_EQ(rgb(img, 5, 5), Rgb(k.mediumSelect)) << "a hot button that is Down";
  button->SetDown(false);
  img = paint(button);
  EXPECT_EQ(rgb(img, 5, 5), Rgb(k.selectFill)) << "a hot button that is not";
  button->Perform(CM_MOUSELEAVE);
  img = paint(button);
  EXPECT_EQ(rgb(img, 5, 5), Rgb(XPLighten(bar->Color(), 16))) << "neither hot nor checked: the bar's tint";
  int mid = sep->Width() / 2;
  img = paint(sep);
  EXPECT_EQ(rgb(img, mid, 10), Rgb(XPLighten(bar->Color(), 16))) << "Tag 0: blank";
  sep->SetTag(1);
  img = paint(sep);
  EXPECT_EQ(rgb(img, mid, 10), Rgb(XPDarken(bar->Color(), 30))) << "Tag 1: a line";
  img = paint(drop);
  int y = (drop->Height() - 3) / 2 + 1;
  EXPECT_EQ(rgb(img, drop->Width() - 10, y), Rgb(clBlack)) << "the arrow's top row";
  EXPECT_EQ(rgb(img, drop->Width() - 8, y + 2), Rgb(clBlack)) << "its tip";
  styler->SetActive(false);
  EXPECT_FALSE(bar->OnCustomDrawButton);
}

TEST_F(XPControls, ControlBarGrabberLinesDarkenDownwards) {
  auto* cbar = Make<TControlBar>(200, 30);
  styler->SetActive(true);
  ASSERT_TRUE(cbar->OnBandPaint);
  TBitmap bmp;
  bmp.SetSize(40, 20);
  TRect r(0, 0, 40, 20);
  TBandPaintOptions opts{bpoGrabber, bpoFrame};
  cbar->OnBandPaint(cbar, nullptr, bmp.Canvas(), r, opts);
  EXPECT_EQ(opts, TBandPaintOptions());
  int p = 30;
  for (int y : {6, 8, 10, 12, 14}) {
    EXPECT_EQ(Px(bmp, 4, y), Rgb(XPDarken(cbar->Color(), p))) << y;
    p += 7;
  }
  EXPECT_EQ(Px(bmp, 4, 16), Rgb(XPLighten(cbar->Color(), 6)));
}

}  // namespace

namespace {

// A form with every kind of control the painter serves, shown as the
// program shows it; the picture is saved into PAYROLL_SHOT_DIR when set.
TEST(XPWindow, FormWithEveryControlKind) {
  EnsureQtApplicationForTest();
  TForm form(nullptr);
  form.SetBounds(0, 0, 520, 300);
  form.SetCaption("XP");
  auto* styler = new TXPStyler(&form);
  auto place = [&](TControl* c, TWinControl* parent, int l, int t, int w, int h, const char* caption) {
    c->SetParent(parent);
    c->SetBounds(l, t, w, h);
    if (caption) c->SetCaption(caption);
  };
  auto* bar = new TToolBar(&form);
  place(bar, &form, 0, 0, 520, 26, nullptr);
  bar->SetAlign(alTop);
  for (int i = 0; i < 4; ++i) {
    auto* b = new TToolButton(&form);
    b->SetParent(bar);
    if (i == 1) b->SetStyle(tbsSeparator), b->SetTag(1);
    if (i == 2) b->SetDown(true);
    if (i == 3) b->SetStyle(tbsDropDown);
  }
  auto* button = new TButton(&form);
  place(button, &form, 10, 40, 90, 26, "确定");
  auto* hot = new TButton(&form);
  place(hot, &form, 110, 40, 90, 26, "取消");
  auto* off = new TButton(&form);
  place(off, &form, 210, 40, 90, 26, "帮助");
  off->SetEnabled(false);
  auto* check = new TCheckBox(&form);
  place(check, &form, 10, 76, 120, 20, "按月计算");
  check->SetChecked(true);
  auto* radio = new TRadioButton(&form);
  place(radio, &form, 140, 76, 120, 20, "按日计算");
  radio->SetChecked(true);
  auto* edit = new TEdit(&form);
  place(edit, &form, 10, 104, 150, 22, "张三");
  auto* combo = new TComboBox(&form);
  place(combo, &form, 170, 104, 150, 22, nullptr);
  TBitmap glyph;
  glyph.SetSize(16, 16);
  glyph.Canvas()->Brush()->SetColor(clWhite);
  glyph.Canvas()->FillRect(TRect(0, 0, 16, 16));
  glyph.Canvas()->Brush()->SetColor(clGreen);
  glyph.Canvas()->FillRect(TRect(3, 3, 13, 13));
  auto* speed = new TSpeedButton(&form);
  place(speed, &form, 330, 100, 28, 28, nullptr);
  speed->SetGlyph(&glyph);
  auto* bit = new TBitBtn(&form);
  place(bit, &form, 370, 100, 100, 28, "保存");
  bit->SetGlyph(&glyph);
  auto* group = new TGroupBox(&form);
  place(group, &form, 10, 140, 240, 100, "工资项目");
  auto* inGroup = new TCheckBox(&form);
  place(inGroup, group, 10, 30, 120, 20, "扣税");
  auto* panel = new TPanel(&form);
  place(panel, &form, 260, 140, 240, 100, "面板");
  panel->SetBevelInner(bvLowered);
  panel->SetBorderWidth(2);
  auto* onPanel = new TEdit(&form);
  place(onPanel, panel, 20, 60, 120, 22, nullptr);
  styler->SetActive(true);
  form.Show();
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  hot->Perform(CM_MOUSEENTER);
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  QImage img = form.Surface()->grab().toImage();
  QPoint at = button->Surface()->mapTo(form.Surface(), QPoint(5, 13));
  QRgb p = img.pixel(at);
  EXPECT_EQ(static_cast<TColorRef>(RGB(qRed(p), qGreen(p), qBlue(p))), ColorToRGB(styler->BtnSurfaceNormalColor()))
      << "the window shows the XP surface over the button's own painting";
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR")) img.save(QString::fromUtf8(dir) + "/decor_xp_controls.png");
  styler->SetActive(false);
  for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  QImage plain = form.Surface()->grab().toImage();
  p = plain.pixel(at);
  EXPECT_NE(static_cast<TColorRef>(RGB(qRed(p), qGreen(p), qBlue(p))), ColorToRGB(styler->BtnSurfaceNormalColor()))
      << "switching off restores the plain look";
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR")) plain.save(QString::fromUtf8(dir) + "/decor_plain_controls.png");
}

}  // namespace
