// Menus: TMenuItem trees, the form's main menu (a menu bar at the top of
// its window) and pop-up menus.
//
// A menu item's caption marks its accelerator with "&" ("文件(&F)"); a
// caption "-" is a separator.  ShortCut is the class library's TShortCut:
// the virtual-key code in the low byte plus scShift, scCtrl and scAlt.
// Items that are RadioItem with the same GroupIndex are exclusive: checking
// one unchecks the others.  Owner drawing: when the menu's OwnerDraw is on,
// every item -- menu-bar items, items with sub-menus and separators too --
// is measured by its OnMeasureItem (given the size the style would use,
// to change) and painted by its OnDrawItem on a canvas, with selected set
// when the mouse or the arrow keys reached it; an item without handlers
// keeps the style's size and look.
//
// The Qt objects (QMenuBar, QMenu, QAction) are rebuilt from the item tree
// after every change; the tree is the truth.
#pragma once

#include "platform/core/TypInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Component.h"
#include "platform/ui/Graphics.h"
#include "platform/ui/VirtualKeys.h"

class QMenu;
class QMenuBar;
class QWidget;
class QAction;
class TMenu;
class TCustomForm;
class TCustomImageList;

PAYROLL_DECLARE_EXCEPTION(EMenuError, Exception)

using TShortCut = std::uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;

TShortCut ShortCut(std::uint16_t key, TShiftState shift);
void ShortCutToKey(TShortCut shortCut, std::uint16_t& key, TShiftState& shift);
// "Ctrl+S", "Shift+F5", "Del"; "" for none.
AnsiString ShortCutToText(TShortCut shortCut);
// The inverse; 0 for text that names no short-cut.
TShortCut TextToShortCut(const AnsiString& text);
// Removes the accelerator marks: "文件(&F)" -> "文件(F)", "&&" -> "&".
AnsiString StripHotkey(const AnsiString& caption);

using TMenuDrawItemEvent =
    std::function<void(TObject* sender, TCanvas* canvas, const TRect& rect, bool selected)>;
using TMenuMeasureItemEvent =
    std::function<void(TObject* sender, TCanvas* canvas, int& width, int& height)>;

class TMenuItem : public TComponent {
  PAYROLL_CLASS(TMenuItem, TComponent)

 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c);
  bool IsLine() const { return caption_ == "-"; }
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut s);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool v);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int v) { groupIndex_ = v; }
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool v) { autoCheck_ = v; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Default() const { return default_; }
  void SetDefault(bool v);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int v);
  TBitmap* Bitmap() const;
  void SetBitmap(TBitmap* b);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& h) { hint_ = h; }

  // --- the tree -----------------------------------------------------------
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const;
  TMenuItem* operator[](int index) const { return Items(index); }
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;
  void SetMenuIndex(int index);
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  // Takes the item out without freeing it.
  void Remove(TMenuItem* item);
  // Frees the item at index.
  void Delete(int index);
  void Clear();
  int IndexOf(const TMenuItem* item) const;
  // The child whose caption, without accelerator marks, is caption.
  TMenuItem* Find(const AnsiString& caption) const;
  // The menu the item belongs to (through its root).
  TMenu* GetParentMenu() const;

  // Runs OnClick (after AutoCheck toggles Checked).
  virtual void Click();

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* parent) override;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

  TNotifyEvent OnClick;
  TMenuDrawItemEvent OnDrawItem;
  TMenuMeasureItemEvent OnMeasureItem;

  // Builds this item's Qt action (and sub-menu) into menu.
  void BuildInto(QMenu* menu);
  void BuildInto(QMenuBar* bar);

 protected:
  void Changed();

 private:
  friend class TMenu;
  QAction* MakeAction(QWidget* parentWidget);
  void UncheckSiblings();

  AnsiString caption_;
  TShortCut shortCut_ = 0;
  bool checked_ = false;
  bool radioItem_ = false;
  int groupIndex_ = 0;
  bool autoCheck_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  bool default_ = false;
  int imageIndex_ = -1;
  std::unique_ptr<TBitmap> bitmap_;
  AnsiString hint_;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on the root item only
  std::vector<TMenuItem*> items_;
};

class TMenu : public TComponent {
  PAYROLL_CLASS(TMenu, TComponent)

 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  TMenuItem* Items() const { return items_; }
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  bool OwnerDraw() const { return ownerDraw_; }
  void SetOwnerDraw(bool v);
  // Finds the item whose ShortCut is shortCut (enabled and visible).
  TMenuItem* FindItemByShortCut(TShortCut shortCut) const;
  // Runs the item with that short-cut; true when one ran.
  bool IsShortCut(std::uint16_t key, TShiftState shift);
  // The item tree changed: the Qt objects are rebuilt.
  virtual void MenuChanged();
  void Notification(TComponent* component, TOperation operation) override;
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Loaded() override;

 protected:
  TMenuItem* items_;
  TCustomImageList* images_ = nullptr;
  bool ownerDraw_ = false;
};

class TMainMenu : public TMenu {
  PAYROLL_CLASS(TMainMenu, TMenu)

 public:
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;
  bool HasVisibleItems() const;
  // The menu bar shown in form's window (created on first use).
  QMenuBar* MenuBarFor(TCustomForm* form);
  void AttachToForm(TCustomForm* form);
  void DetachFromForm(TCustomForm* form);
  void MenuChanged() override;
  TCustomForm* Form() const { return form_; }

 private:
  TCustomForm* form_ = nullptr;
  QMenuBar* bar_ = nullptr;
};

enum TPopupAlignment { paLeft, paRight, paCenter };
PAYROLL_ENUM_NAMES(TPopupAlignment, paLeft, paRight, paCenter)

class TPopupMenu : public TMenu {
  PAYROLL_CLASS(TPopupMenu, TMenu)

 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;
  // Shows the menu at screen position (x, y) and returns when it closed;
  // a chosen item's OnClick runs after the menu is gone.
  virtual void Popup(int x, int y);
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool v) { autoPopup_ = v; }
  TPopupAlignment Alignment() const { return alignment_; }
  void SetAlignment(TPopupAlignment a) { alignment_ = a; }
  // The control the menu was last popped up for.
  TComponent* PopupComponent = nullptr;
  TNotifyEvent OnPopup;
  // Test hook: the item Popup should choose instead of showing a menu
  // (null: show the menu).  Never set by the program.
  std::function<TMenuItem*(TPopupMenu*)> ChooseForTest;

 private:
  bool autoPopup_ = true;
  TPopupAlignment alignment_ = paLeft;
};
