// Menu items: short-cut texts, radio groups, tree edits, the pop-up
// menu's command and owner drawing.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <algorithm>
#include <map>

#include "UiTestSupport.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"

namespace {

TEST(Menus, ShortCutTextRoundTrips) {
  struct Case {
    TShortCut s;
    const char* text;
  };
  const Case cases[] = {{scCtrl | 'S', "Ctrl+S"}, {scShift | VK_F5, "Shift+F5"},
                        {VK_DELETE, "Del"},       {scCtrl | scAlt | 'P', "Ctrl+Alt+P"},
                        {VK_F12, "F12"},          {0, ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(ShortCutToText(c.s), c.text);
    if (c.s) {
      EXPECT_EQ(TextToShortCut(c.text), c.s) << c.text;
    }
  }
  EXPECT_EQ(TextToShortCut("Nothing+X"), 0);
  EXPECT_EQ(ShortCut('Q', {ssCtrl}), 16465) << "the value stored in definitions";
}

TEST(Menus, StripHotkeyKeepsDoubleByteCharactersWhole) {
  EXPECT_EQ(StripHotkey("系统维护(&S)"), "系统维护(S)");
  EXPECT_EQ(StripHotkey("A&&B"), "A&B");
  // 朋 is C5 F3; a trail byte 0x26 ('&') would be dropped by a byte-wise
  // strip.  (0x26 is not a valid trail byte, so test with a constructed
  // string whose lead byte is followed by '&'.)
  AnsiString odd("\x81&x");
  EXPECT_EQ(StripHotkey(odd), odd);
}

TEST(Menus, RadioItemsOfOneGroupAreExclusive) {
  EnsureUiApp();
  TPopupMenu menu(nullptr);
  auto* a = new TMenuItem(&menu);
  auto* b = new TMenuItem(&menu);
  auto* c = new TMenuItem(&menu);
  for (TMenuItem* i : {a, b, c}) {
    i->SetRadioItem(true);
    menu.Items()->Add(i);
  }
  c->SetGroupIndex(1);
  a->SetChecked(true);
  c->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_TRUE(c->Checked()) << "another group";
}

TEST(Menus, TreeEditsAndLookups) {
  EnsureUiApp();
  TMainMenu menu(nullptr);
  auto* file = new TMenuItem(&menu);
  file->SetCaption("文件(&F)");
  menu.Items()->Add(file);
  auto* exit = new TMenuItem(&menu);
  exit->SetCaption("退出(&X)");
  exit->SetShortCut(scCtrl | 'Q');
  file->Add(exit);
  EXPECT_EQ(menu.Items()->Find("文件(F)"), file);
  EXPECT_EQ(exit->Parent(), file);
  EXPECT_EQ(exit->GetParentMenu(), &menu);
  EXPECT_THROW(menu.Items()->Add(exit), EMenuError) << "an item has one parent";
  EXPECT_EQ(menu.FindItemByShortCut(scCtrl | 'Q'), exit);
  exit->SetEnabled(false);
  EXPECT_EQ(menu.FindItemByShortCut(scCtrl | 'Q'), nullptr) << "disabled items do not take keys";
  delete exit;
  EXPECT_EQ(file->Count(), 0) << "a freed item leaves its parent";
}

TEST(Menus, AutoCheckTogglesBeforeOnClick) {
  EnsureUiApp();
  TPopupMenu menu(nullptr);
  auto* item = new TMenuItem(&menu);
  item->SetAutoCheck(true);
  menu.Items()->Add(item);
  bool seen = false;
  item->OnClick = [&](TObject*) { seen = item->Checked(); };
  menu.ChooseForTest = [&](TPopupMenu*) { return item; };
  int popups = 0;
  menu.OnPopup = [&](TObject*) { ++popups; };
  menu.Popup(10, 10);
  EXPECT_EQ(popups, 1);
  EXPECT_TRUE(seen);
}

}  // namespace

namespace {

TColor PixelOf(const QImage& img, const QPoint& p) {
  QRgb c = img.pixel(p);
  return static_cast<TColor>(RGB(qRed(c), qGreen(c), qBlue(c)));
}

TEST(MenusOwnerDraw, EveryItemIsMeasuredAndDrawnThroughItsHandlers) {
  EnsureUiApp();
  TForm f(nullptr);
  f.SetBorderStyle(bsNone);
  f.SetBounds(0, 0, 300, 200);
  auto* menu = new TMainMenu(&f);
  auto add = [&](TMenuItem* parent, const char* caption) {
    auto* i = new TMenuItem(&f);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  };
  TMenuItem* file = add(menu->Items(), "文件(&F)");
  TMenuItem* help = add(menu->Items(), "帮助(&H)");
  TMenuItem* open = add(file, "打开(&O)");
  TMenuItem* line = add(file, "-");
  TMenuItem* exportTo = add(file, "导出(&E)");
  add(exportTo, "XLS");
  add(file, "关闭(&C)");  // no handlers
  std::map<TMenuItem*, int> measured;
  std::vector<std::pair<TMenuItem*, bool>> drawn;
  for (TMenuItem* i : {file, help, open, line, exportTo}) {
    i->OnMeasureItem = [&, i](TObject* sender, TCanvas*, int& w, int& h) {
      EXPECT_EQ(sender, i);
      ++measured[i];
      w = 90;
      h = i->IsLine() ? 4 : 24;
    };
    i->OnDrawItem = [&, i](TObject*, TCanvas* c, const TRect& r, bool selected) {
      drawn.emplace_back(i, selected);
      c->Brush()->SetColor(selected ? clRed : clBlue);
      c->FillRect(r);
    };
  }
  menu->SetOwnerDraw(true);
  f.SetMenu(menu);
  f.Show();
  Pump();
  QMenuBar* bar = menu->MenuBarFor(&f);
  ASSERT_NE(bar, nullptr);
  QImage img = bar->grab().toImage();
  QRect fileRect = bar->actionGeometry(bar->actions()[0]);
  QRect helpRect = bar->actionGeometry(bar->actions()[1]);
  EXPECT_EQ(fileRect.width(), 90);
  EXPECT_EQ(PixelOf(img, fileRect.center()), clBlue);
  EXPECT_EQ(PixelOf(img, helpRect.center()), clBlue);
  EXPECT_GT(measured[file], 0);
  EXPECT_GT(measured[help], 0);

  QMenu* popup = bar->actions()[0]->menu();
  ASSERT_NE(popup, nullptr);
  popup->popup(QPoint(0, 30));
  Pump();
  QList<QAction*> acts = popup->actions();
  ASSERT_EQ(acts.size(), 4);
  EXPECT_EQ(popup->actionGeometry(acts[0]).height(), 24);
  EXPECT_EQ(popup->actionGeometry(acts[1]).height(), 4) << "the separator is measured too";
  EXPECT_EQ(popup->actionGeometry(acts[2]).height(), 24) << "so is an item with a sub-menu";
  drawn.clear();
  img = popup->grab().toImage();
  for (TMenuItem* i : {open, line, exportTo})
    EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(), [i](auto& d) { return d.first == i; }))
        << i->Caption();
  // An item without handlers keeps the style's look: never blank.
  QRect plainRect = popup->actionGeometry(acts[3]);
  EXPECT_GT(plainRect.height(), 4);
  int ink = 0;
  for (int x = plainRect.left(); x < plainRect.right(); ++x)
    for (int y = plainRect.top(); y < plainRect.bottom(); ++y)
      if (qGray(img.pixel(x, y)) < 100) ++ink;
  EXPECT_GT(ink, 10) << "its caption is drawn";
  // The arrow keys select: the item is drawn selected.
  QTest::keyClick(popup, Qt::Key_Down);
  Pump();
  ASSERT_EQ(popup->activeAction(), acts[0]);
  drawn.clear();
  img = popup->grab().toImage();
  EXPECT_EQ(PixelOf(img, popup->actionGeometry(acts[0]).center()), clRed);
  EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(), [&](auto& d) { return d.first == open && d.second; }));
  popup->close();

  // Off again: the style draws every item, the handlers are not asked.
  menu->SetOwnerDraw(false);
  drawn.clear();
  img = bar->grab().toImage();
  EXPECT_TRUE(drawn.empty());
  EXPECT_NE(PixelOf(img, bar->actionGeometry(bar->actions()[0]).center()), clBlue);
}

}  // namespace
