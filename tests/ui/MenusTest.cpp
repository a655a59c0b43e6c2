// Menu items: short-cut texts, radio groups, tree edits and the pop-up
// menu's command.
#include <gtest/gtest.h>

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
