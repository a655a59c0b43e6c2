// The XP menu painter: which items it takes over, their measures, and
// switching it off.
#include <gtest/gtest.h>

#include <cmath>

#include "decor/XPStyler.h"
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

}  // namespace
