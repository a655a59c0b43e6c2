// XPStyler: TXPStyler, a component of a form that, while Active, measures
// and draws the form's menus in the flat XP look: an icon strip IconWidth
// wide, a filled and outlined selection, separators 4 pixels high.  Menus
// and items whose Tag is 999 keep the plain look; an item's own
// OnDrawItem/OnMeasureItem is kept unless OverrideOwnerDraw.  Switching
// off clears the handlers it set and the menus' OwnerDraw.
#pragma once

#include <memory>
#include <set>

#include "decor/XPDraw.h"
#include "platform/ui/Menus.h"

constexpr int kXPOptOutTag = 999;

class TXPStyler : public TComponent {
 public:
  explicit TXPStyler(TComponent* owner);
  ~TXPStyler() override;
  bool Active() const { return active_; }
  void SetActive(bool v);
  int IconWidth() const { return iconWidth_; }
  void SetIconWidth(int w) { iconWidth_ = w; }
  bool OverrideOwnerDraw() const { return override_; }
  void SetOverrideOwnerDraw(bool v) { override_ = v; }
  TFont* Font() const { return font_.get(); }

  void MeasureItem(TMenuItem* item, TCanvas* canvas, int& width, int& height);
  void DrawItem(TMenuItem* item, TCanvas* canvas, const TRect& rect, bool selected);

 private:
  void Install(bool enable);
  void InstallItem(TMenuItem* item, bool enable);
  bool active_ = false;
  bool override_ = false;
  int iconWidth_ = 24;
  std::unique_ptr<TFont> font_;
  // Cleared when the styler goes: handlers left on items outliving it
  // (the form tearing down its menu bar) then do nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::set<TMenuItem*> ownDraw_, ownMeasure_;  // items whose handlers are ours
};
