// Buttons: TBitBtn (a push button with a glyph and a kind) and
// TSpeedButton (a windowless button that can stay down, in groups).
//
// Glyphs hold NumGlyphs images side by side (up, disabled, down, exclusive);
// the bottom-left pixel's colour is transparent.
#pragma once

#include "platform/core/TypInfo.h"

#include <memory>

#include "platform/ui/StdCtrls.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
PAYROLL_ENUM_NAMES(TButtonLayout, blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom)
enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
PAYROLL_ENUM_NAMES(TBitBtnKind, bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll)
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
PAYROLL_ENUM_NAMES(TButtonState, bsUp, bsDisabled, bsDown, bsExclusive)

class TBitBtn : public TButton {
  PAYROLL_CLASS(TBitBtn, TButton)

 public:
  explicit TBitBtn(TComponent* owner);
  ~TBitBtn() override;
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* b);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout l);
  int Margin() const { return margin_; }
  void SetMargin(int m) { margin_ = m; }
  int Spacing() const { return spacing_; }
  void SetSpacing(int s) { spacing_ = s; }
  // A kind other than bkCustom sets the modal result (bkOK mrOk, ...) and,
  // for bkOK and bkCancel, Default and Cancel.
  TBitBtnKind Kind() const { return kind_; }
  void SetKind(TBitBtnKind k);
  void Click() override;

 private:
  void GlyphChanged();
  std::unique_ptr<TBitmap> glyph_;
  int numGlyphs_ = 1;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1, spacing_ = 4;
  TBitBtnKind kind_ = bkCustom;
};

class TSpeedButton : public TGraphicControl {
  PAYROLL_CLASS(TSpeedButton, TGraphicControl)

 public:
  explicit TSpeedButton(TComponent* owner);
  ~TSpeedButton() override;
  // Buttons of one parent with the same GroupIndex (not 0) are exclusive:
  // one stays down; AllowAllUp lets the down one be clicked up.
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int g);
  bool Down() const { return down_; }
  void SetDown(bool v);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool v);
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* b);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout l);
  int Margin() const { return margin_; }
  void SetMargin(int m);
  int Spacing() const { return spacing_; }
  void SetSpacing(int s);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  // The button's look now: pressed by the mouse, down, hot (mouse over).
  TButtonState State() const;
  bool MouseInControl() const { return mouseIn_; }
  void Click() override;
  void Paint() override;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WndProc(TMessage& message) override;
  void TextChanged() override { Invalidate(); }

 private:
  void UpdateExclusive();
  void DrawGlyphAndText(TCanvas* c, const TRect& r, bool pressed);
  std::unique_ptr<TBitmap> glyph_;
  int groupIndex_ = 0;
  bool down_ = false, allowAllUp_ = false, flat_ = false, transparent_ = true;
  bool pressed_ = false, mouseIn_ = false;
  int numGlyphs_ = 1;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1, spacing_ = 4;
};

// The piece of glyph for a state (0 up, 1 disabled, 2 down, 3 exclusive),
// falling back to the up image when the glyph has fewer pieces.
void GlyphPiece(TBitmap* glyph, int numGlyphs, int state, TBitmap* out);
