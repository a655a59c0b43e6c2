// The XP menu painter: which items it takes over, their measures, and
// switching it off.
#include <gtest/gtest.h>

#include <cmath>

#include "decor/SbStatusBar.h"
#include "decor/XPStyler.h"
#include "platform/core/TextForm.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/Forms.h"

namespace {

class XPMenus : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplicationForTest();
    form = new TForm(nullptr);
    menu = new TMainMenu(form);
    file = Item(menu->Items(), "文件(&F)");
    open = Item(file, "打开(&O)");
    line = Item(file, "-");
    plain = Item(file, "退出(&X)");
    own = Item(file, "自绘");
    styler = new TXPStyler(form);
  }
  void TearDown() override { delete form; }
  TMenuItem* Item(TMenuItem* parent, const char* caption) {
    auto* i = new TMenuItem(form);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  }
  TForm* form = nullptr;
  TMainMenu* menu = nullptr;
  TMenuItem *file, *open, *line, *plain, *own;
  TXPStyler* styler = nullptr;
};

TEST_F(XPMenus, TakesOverItemsButLeavesOptOutsAndOwnHandlers) {
  plain->SetTag(999);
  bool ownDrawn = false;
  own->OnDrawItem = [&](TObject*, TCanvas*, const TRect&, bool) { ownDrawn = true; };
  styler->SetActive(true);
  EXPECT_TRUE(menu->OwnerDraw());
  EXPECT_TRUE(open->OnDrawItem && open->OnMeasureItem);
  EXPECT_FALSE(plain->OnDrawItem) << "Tag 999 keeps the plain look";
  TBitmap bmp;
  bmp.SetSize(10, 10);
  own->OnDrawItem(own, bmp.Canvas(), TRect(0, 0, 10, 10), false);
  EXPECT_TRUE(ownDrawn) << "an item's own handler is kept";

  styler->SetActive(false);
  EXPECT_FALSE(menu->OwnerDraw());
  EXPECT_FALSE(open->OnDrawItem);
  EXPECT_TRUE(own->OnDrawItem) << "switching off clears only the styler's handlers";
}

TEST_F(XPMenus, SeparatorsAreFourPixelsHighWhateverTheFont) {
  styler->SetActive(true);
  TBitmap bmp;
  bmp.SetSize(10, 10);
  for (int size : {9, 20}) {
    styler->Font()->SetSize(size);
    int w = 0, h = 30;
    line->OnMeasureItem(line, bmp.Canvas(), w, h);
    EXPECT_EQ(h, 4) << size;
    int iw = 0, ih = 0;
    open->OnMeasureItem(open, bmp.Canvas(), iw, ih);
    int th = bmp.Canvas()->TextHeight("W");
    EXPECT_EQ(ih, th + static_cast<int>(std::lround(th * 0.75)));
    EXPECT_GT(iw, styler->IconWidth()) << "the icon strip counts";
  }
}

TEST_F(XPMenus, SelectedItemIsFilledAndOutlined) {
  styler->SetActive(true);
  TBitmap bmp;
  bmp.SetSize(120, 24);
  open->OnDrawItem(open, bmp.Canvas(), TRect(0, 0, 120, 24), true);
  EXPECT_EQ(ColorToRGB(bmp.Canvas()->Pixels(0, 10)), ColorToRGB(clHighlight)) << "the outline";
  EXPECT_EQ(ColorToRGB(bmp.Canvas()->Pixels(5, 10)), ColorToRGB(XPLighten(clHighlight, 68))) << "the fill";
  open->OnDrawItem(open, bmp.Canvas(), TRect(0, 0, 120, 24), false);
  EXPECT_EQ(ColorToRGB(bmp.Canvas()->Pixels(5, 10)), ColorToRGB(XPLighten(clBtnFace, 16))) << "the icon strip";
  EXPECT_EQ(ColorToRGB(bmp.Canvas()->Pixels(100, 2)), ColorToRGB(XPLighten(clBtnFace, 86))) << "the text area";
}


TColorRef Px(TBitmap& b, int x, int y) { return ColorToRGB(b.Canvas()->Pixels(x, y)); }

TEST_F(XPMenus, TopLevelItemsGetEightMoreAndTheAmpersandIsNotCounted) {
  form->SetMenu(menu);
  styler->SetActive(true);
  TBitmap bmp;
  bmp.SetSize(10, 10);
  int w = 0, h = 0;
  file->OnMeasureItem(file, bmp.Canvas(), w, h);
  TCanvas* c = bmp.Canvas();  // holds the font measured with
  EXPECT_EQ(w, c->TextWidth("文件(&F)") + 5 - c->TextWidth("&") + 8);
  int wider = 500;
  file->OnMeasureItem(file, bmp.Canvas(), wider, h);
  EXPECT_EQ(wider, 500) << "widths are raised, never lowered";
}

TEST_F(XPMenus, PublishedColoursPaintWithoutSystemColours) {
  styler->SetUseSystemColors(false);
  styler->SetColor(clWhite);
  styler->SetIconBackColor(clYellow);
  styler->SetSelectColor(clRed);
  styler->SetSelectBorderColor(clBlue);
  styler->SetActive(true);
  TBitmap bmp;
  bmp.SetSize(120, 24);
  open->OnDrawItem(open, bmp.Canvas(), TRect(0, 0, 120, 24), false);
  EXPECT_EQ(Px(bmp, 5, 2), ColorToRGB(clYellow));
  EXPECT_EQ(Px(bmp, 110, 2), ColorToRGB(clWhite));
  open->OnDrawItem(open, bmp.Canvas(), TRect(0, 0, 120, 24), true);
  EXPECT_EQ(Px(bmp, 5, 10), ColorToRGB(XPLighten(clRed, 68)));
  EXPECT_EQ(Px(bmp, 0, 10), ColorToRGB(clBlue));

  styler->SetGradient(true);
  open->OnDrawItem(open, bmp.Canvas(), TRect(0, 0, 120, 24), false);
  EXPECT_EQ(Px(bmp, 0, 5), ColorToRGB(clYellow)) << "the gradient starts at the strip colour";
  EXPECT_EQ(Px(bmp, 2, 5), ColorToRGB(XPLighten(clYellow, 6))) << "3% lighter per line";
}

TEST_F(XPMenus, CheckedItemGetsItsTickAndImagesSitInTheStrip) {
  styler->SetActive(true);
  open->SetChecked(true);
  TBitmap bmp;
  bmp.SetSize(120, 24);
  open->OnDrawItem(open, bmp.Canvas(), TRect(0, 0, 120, 24), false);
  // The 10 x 10 check area centred in the strip cell: (7, 7)-(17, 17).
  EXPECT_EQ(Px(bmp, 7, 12), ColorToRGB(clHighlight)) << "outlined in the checked colour";
  EXPECT_EQ(Px(bmp, 8, 12), ColorToRGB(clBlack)) << "the tick's first stroke";

  TBitmap glyph;
  glyph.SetSize(16, 16);
  glyph.Canvas()->Brush()->SetColor(clWhite);
  glyph.Canvas()->FillRect(TRect(0, 0, 16, 16));
  glyph.Canvas()->Brush()->SetColor(clRed);
  glyph.Canvas()->FillRect(TRect(4, 4, 12, 12));
  plain->SetBitmap(&glyph);
  int w = 0, h = 0;
  plain->OnMeasureItem(plain, bmp.Canvas(), w, h);
  EXPECT_GE(h, 16 + 6);
  bmp.SetSize(120, h);
  plain->OnDrawItem(plain, bmp.Canvas(), TRect(0, 0, 120, h), false);
  int x = (24 - 16) / 2 - 1, y = 3;
  EXPECT_EQ(Px(bmp, x + 8, y + 8), ColorToRGB(XPLighten(clRed, styler->DimLevel()))) << "dimmed when not selected";
  EXPECT_EQ(Px(bmp, x + 1, y + 1), ColorToRGB(XPLighten(clBtnFace, 16))) << "its rim is transparent";
  plain->OnDrawItem(plain, bmp.Canvas(), TRect(0, 0, 120, h), true);
  EXPECT_EQ(Px(bmp, x + 7, y + 7), ColorToRGB(clRed)) << "a selected item's image lifts by one pixel";
}

TEST_F(XPMenus, SelectedTopLevelItemGetsTheOpenedFrame) {
  form->SetMenu(menu);
  styler->SetActive(true);
  TBitmap bmp;
  bmp.SetSize(60, 20);
  file->OnDrawItem(file, bmp.Canvas(), TRect(0, 0, 60, 20), true);
  TXPColors k = styler->ColorsFor(bmp.Canvas());
  EXPECT_EQ(Px(bmp, 0, 10), ColorToRGB(k.selectBorder));
  EXPECT_EQ(Px(bmp, 52, 10), ColorToRGB(k.selectBorder)) << "the frame's right side at R - 8";
  EXPECT_EQ(Px(bmp, 54, 15), ColorToRGB(XPDarken(k.menuBar, 100))) << "the darkest shadow";
  EXPECT_EQ(Px(bmp, 59, 15), ColorToRGB(XPDarken(k.menuBar, 10))) << "the shadow's outer edge";
}

TEST_F(XPMenus, AutoDetectPaintsItemsAddedLater) {
  styler->SetAutoDetect(true);
  styler->SetActive(true);
  TMenuItem* late = Item(file, "后加");
  Application->ProcessMessages();
  EXPECT_TRUE(late->OnDrawItem) << "inserted after activation";
  styler->SetActive(false);
  EXPECT_FALSE(late->OnDrawItem);
}

TEST(XPStylerText, FormTextSettingsAreReadAndActivateOnceLoaded) {
  EnsureQtApplicationForTest();
  RegisterDecorClasses();
  RegisterClasses<TForm, TMainMenu, TMenuItem, TButton>();
  const char* text =
      "object Form1: TForm\n"
      "  object XPStyler1: TXPStyler\n"
      "    Active = True\n"
      "    Font.Charset = 134\n"
      "    Font.Height = -11\n"
      "    Font.Name = 'Tahoma'\n"
      "    SelectFontColor = clMenuText\n"
      "    XPControls = [xcMainMenu, xcPopupMenu]\n"
      "    BtnOutLineBorderColor = 7552000\n"
      "  end\n"
      "  object MainMenu1: TMainMenu\n"
      "    object N1: TMenuItem\n"
      "      Caption = 'File'\n"
      "    end\n"
      "  end\n"
      "  object Button1: TButton\n"
      "    Caption = 'OK'\n"
      "  end\n"
      "end\n";
  TForm form(nullptr);
  ObjectTextToComponent(text, &form);
  auto* styler = dynamic_cast<TXPStyler*>(form.FindComponent("XPStyler1"));
  auto* n1 = dynamic_cast<TMenuItem*>(form.FindComponent("N1"));
  auto* button = dynamic_cast<TButton*>(form.FindComponent("Button1"));
  ASSERT_TRUE(styler && n1 && button);
  EXPECT_TRUE(styler->Active());
  EXPECT_EQ(styler->Font()->Name(), "Tahoma");
  EXPECT_EQ(styler->Font()->Height(), -11);
  EXPECT_TRUE(styler->XPControls() == (TXPControls{xcMainMenu, xcPopupMenu}));
  EXPECT_EQ(styler->IconWidth(), 24);
  EXPECT_TRUE(n1->OnDrawItem) << "the menu read after the styler is painted too";
  EXPECT_FALSE(styler->SubClassOf(button)) << "buttons are not in this form's set";
}

}  // namespace
