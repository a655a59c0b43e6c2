// Edit buttons beside a grid cell: the button control that shows one of
// them (drop-down arrow, ellipsis, glyph, up-down pair, plus, minus), the
// painter of button faces and check boxes, and the process-wide cache of
// painted faces.
//
// Auto-repeat: pressing a button fires its down notification; when that
// leaves AutoRepeat set (an up-down button starts with it set) window
// timer 1 fires it again after 400 ms, then every 100 ms while the button
// stays down.
//
// The face cache keys a face by 16 bytes -- width, height (signed 32-bit),
// painter style, flat, two zero bytes, pressed (the check box's state),
// active, enabled, down half -- and keeps at most kCapacity faces: when
// full, the face used longest ago goes, so a grid resized through many
// sizes does not grow it without end.
//
// Layer: grid (platform/ui beneath).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <unordered_map>

#include "platform/core/Collections.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

enum TEditButtonStyleEx { ebsDropDownEx, ebsEllipsisEx, ebsGlyphEx, ebsUpDownEx, ebsPlusEx,
                          ebsMinusEx };
PAYROLL_ENUM_NAMES(TEditButtonStyleEx, ebsDropDownEx, ebsEllipsisEx, ebsGlyphEx, ebsUpDownEx,
                   ebsPlusEx, ebsMinusEx)

class TPopupMenu;

using TButtonClickEventEx2 = std::function<void(TObject* sender, bool& handled)>;
using TButtonDownEventEx2 =
    std::function<void(TObject* sender, bool topButton, bool& autoRepeat, bool& handled)>;

// One extra edit button a column declares (an item of TEditButtonsEx).
// Every setter that changes a value reports the change to the collection.
class TEditButtonEx : public TCollectionItem {
  PAYROLL_CLASS(TEditButtonEx, TCollectionItem)
 public:
  explicit TEditButtonEx(TCollection* collection);
  ~TEditButtonEx() override;
  // Copies Glyph, NumGlyphs, Style, ShortCut, Visible and Width (not Hint,
  // DropdownMenu or the events).
  void Assign(TPersistent* source) override;
  TPopupMenu* DropdownMenu() const { return dropdownMenu_; }
  void SetDropdownMenu(TPopupMenu* value) { dropdownMenu_ = value; }
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* value);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& value);
  int NumGlyphs() const { return numGlyphs_; }
  // Kept within 1 ... 4.
  void SetNumGlyphs(int value);
  unsigned short ShortCut() const { return shortCut_; }
  void SetShortCut(unsigned short value);
  TEditButtonStyleEx Style() const { return style_; }
  void SetStyle(TEditButtonStyleEx value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  // 0: the default width.
  int Width() const { return width_; }
  void SetWidth(int value);
  TButtonClickEventEx2 OnClick;
  TButtonDownEventEx2 OnDown;

 protected:
  bool visible_ = false;
  unsigned short shortCut_ = 0;

 private:
  void Changed() { TCollectionItem::Changed(false); }
  TPopupMenu* dropdownMenu_ = nullptr;
  std::unique_ptr<TBitmap> glyph_;
  AnsiString hint_;
  int numGlyphs_ = 1;
  TEditButtonStyleEx style_ = ebsDropDownEx;
  int width_ = 0;
};

// A column's button item: visible by default, pressed by Alt+Down.
class TVisibleEditButtonEx : public TEditButtonEx {
  PAYROLL_CLASS(TVisibleEditButtonEx, TEditButtonEx)
 public:
  explicit TVisibleEditButtonEx(TCollection* collection);
};

class TEditButtonsEx : public TCollection {
  PAYROLL_CLASS(TEditButtonsEx, TCollection)
 public:
  explicit TEditButtonsEx(TPersistent* owner);
  TEditButtonEx* Add() { return static_cast<TEditButtonEx*>(TCollection::Add()); }
  TEditButtonEx* Items(int index) const {
    return static_cast<TEditButtonEx*>(TCollection::Items(index));
  }
  TPersistent* GetOwner() const override { return owner_; }
  TNotifyEvent OnChanged;

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TPersistent* owner_;
};

// The painter's styles: 0 drop-down arrow, 1 ellipsis, 2 one half of an
// up-down pair, 3 check box, 4 plus, 5 minus.
enum TButtonPainterStyle { bpsDropDown, bpsEllipsis, bpsUpDown, bpsCheckBox, bpsPlus, bpsMinus };
int PainterStyleOf(TEditButtonStyleEx style);

// The default width of flat edit buttons: two thirds of the default
// font's height, odd, at most the vertical scroll bar's width.
int FlatButtonWidth();

using TFaceKey = std::array<std::uint8_t, 16>;
TFaceKey MakeFaceKey(int width, int height, int style, bool flat, int pressed, bool active,
                     bool enabled, int downButton);

class TButtonsBitmapCache {
 public:
  static constexpr size_t kCapacity = 256;
  // The face for key, painted by paint into a new bitmap when missing.
  TBitmap* Get(const TFaceKey& key, int width, int height,
               const std::function<void(TCanvas*, const TRect&)>& paint);
  size_t Count() const { return entries_.size(); }
  void Clear();

 private:
  struct TKeyHash {
    size_t operator()(const TFaceKey& k) const;
  };
  struct TEntry {
    TFaceKey key;
    std::unique_ptr<TBitmap> bitmap;
  };
  std::list<TEntry> entries_;  // most recently used first
  std::unordered_map<TFaceKey, std::list<TEntry>::iterator, TKeyHash> index_;
};
TButtonsBitmapCache& ButtonsBitmapCache();

// Paints a button face (painter style) over rect, copied from the cache.
// downButton: 0 none, 1 the upper (or only) face pressed, 2 the lower.
void DrawButtonFace(TCanvas* canvas, const TRect& rect, TColor parentColor, bool enabled,
                    bool active, bool flat, int downButton, int style);
void DrawCheckBoxFace(TCanvas* canvas, const TRect& rect, TColor parentColor,
                      TCheckBoxState state, bool flat, bool enabled);

// Down notification: (sender, topButton, var autoRepeat).
using TEditButtonDownNotify = std::function<void(TObject* sender, bool topButton, bool& autoRepeat)>;

// One edit button on the in-place editor.
class TEditButtonControlEx : public TCustomControl {
  PAYROLL_CLASS(TEditButtonControlEx, TCustomControl)
 public:
  explicit TEditButtonControlEx(TComponent* owner);
  TEditButtonStyleEx Style() const { return style_; }
  void SetStyle(TEditButtonStyleEx value);
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  bool Active() const { return active_; }
  bool AlwaysDown() const { return alwaysDown_; }
  void SetAlwaysDown(bool value);
  bool Down() const { return down_ || alwaysDown_; }
  // 0 none, 1 the top (or only) button, 2 the bottom half of an up-down.
  int DownButtonNum() const { return downButtonNum_; }
  // The auto-repeat timer's interval now (0: stopped).
  unsigned RepeatInterval() const { return repeatInterval_; }
  void Paint() override;

  TEditButtonDownNotify OnDownNotify;
  TNotifyEvent OnButtonClick;
  TMouseEvent OnButtonMouseUp;
  TMouseMoveEvent OnButtonMouseMove;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WndProc(TMessage& message) override;

 private:
  void UpdateDownButtonNum(int y);
  void StopRepeat();
  TEditButtonStyleEx style_ = ebsDropDownEx;
  bool flat_ = false;
  bool active_ = false;
  bool alwaysDown_ = false;
  bool down_ = false;
  bool noClick_ = false;
  int downButtonNum_ = 0;
  unsigned repeatInterval_ = 0;
};
