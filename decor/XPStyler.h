// XPStyler: TXPStyler, a component of a form that, while Active, gives the
// form's menus, tool bars, control bars and standard controls a flat "XP"
// look by taking over their painting:
//   - menus become owner-drawn and are measured and drawn here (icon strip
//     IconWidth wide, filled and outlined selection, 4-pixel separators);
//   - tool bars and control bars get custom-draw handlers;
//   - each qualifying standard control (XPControls, on a container allowed
//     by XPContainers) gets a TControlSubClass in its WindowProc that
//     paints the control's XP parts after the control painted itself.
// A component whose Tag is 999 (or a control whose parent's is) keeps the
// plain look; an item's own OnDrawItem/OnMeasureItem and a tool bar's own
// handlers are kept unless OverrideOwnerDraw.  Switching off clears every
// handler set here, and each sub-classed control puts its own window
// procedure back at its next message.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "decor/XPDraw.h"
#include "platform/core/TypInfo.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"

constexpr int kXPOptOutTag = 999;
// A control with this Tag is painted in the classic flat style even when
// ControlUseTrueXPStyle is on.
constexpr int kXPClassicTag = 1234567890;

enum TXPControl {
  xcMainMenu, xcPopupMenu, xcToolbar, xcControlbar, xcCombo, xcEdit, xcMaskEdit, xcMemo,
  xcRichEdit, xcCheckBox, xcRadioButton, xcButton, xcBitBtn, xcSpeedButton, xcPanel, xcGroupBox
};
PAYROLL_ENUM_NAMES(TXPControl, xcMainMenu, xcPopupMenu, xcToolbar, xcControlbar, xcCombo, xcEdit,
                   xcMaskEdit, xcMemo, xcRichEdit, xcCheckBox, xcRadioButton, xcButton, xcBitBtn,
                   xcSpeedButton, xcPanel, xcGroupBox)
using TXPControls = TSet<TXPControl, 16>;
enum TXPContainer {
  xccForm, xccFrame, xccToolbar, xccCoolbar, xccControlbar, xccPanel, xccScrollBox, xccGroupBox,
  xccTabSheet, xccPageScroller
};
PAYROLL_ENUM_NAMES(TXPContainer, xccForm, xccFrame, xccToolbar, xccCoolbar, xccControlbar, xccPanel,
                   xccScrollBox, xccGroupBox, xccTabSheet, xccPageScroller)
using TXPContainers = TSet<TXPContainer, 10>;

// The colours one painting uses, derived from the published ones for the
// canvas painted on (a device of fewer than 16 bits per pixel gets plain
// colours in place of tints).
struct TXPColors {
  bool highColor = true;
  TColor textArea, iconStrip, selectFill, selectBorder, selectFont, lightSelect, mediumSelect;
  TColor checked, menuBar, disabled, separator, flatBorder, flatShadow;
};

class TControlSubClass;

class TXPStyler : public TComponent {
  PAYROLL_CLASS(TXPStyler, TComponent)

 public:
  explicit TXPStyler(TComponent* owner);
  ~TXPStyler() override;

  // --- published ----------------------------------------------------------
  bool Active() const { return active_; }
  void SetActive(bool v);
  bool AutoDetect() const { return autoDetect_; }
  void SetAutoDetect(bool v) { autoDetect_ = v; }
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* f);
  TColor Color() const { return color_; }
  void SetColor(TColor c) { color_ = c; }
  TColor IconBackColor() const { return iconBackColor_; }
  void SetIconBackColor(TColor c) { iconBackColor_ = c; }
  TColor MenuBarColor() const { return menuBarColor_; }
  void SetMenuBarColor(TColor c);
  TColor SelectColor() const { return selectColor_; }
  void SetSelectColor(TColor c) { selectColor_ = c; }
  TColor SelectBorderColor() const { return selectBorderColor_; }
  void SetSelectBorderColor(TColor c) { selectBorderColor_ = c; }
  TColor SelectFontColor() const { return selectFontColor_; }
  void SetSelectFontColor(TColor c) { selectFontColor_ = c; }
  TColor DisabledColor() const { return disabledColor_; }
  void SetDisabledColor(TColor c) { disabledColor_ = c; }
  TColor SeparatorColor() const { return separatorColor_; }
  void SetSeparatorColor(TColor c) { separatorColor_ = c; }
  TColor CheckedColor() const { return checkedColor_; }
  void SetCheckedColor(TColor c) { checkedColor_ = c; }
  int IconWidth() const { return iconWidth_; }
  void SetIconWidth(int w) { iconWidth_ = w; }
  bool DrawSelect() const { return drawSelect_; }
  void SetDrawSelect(bool v) { drawSelect_ = v; }
  bool UseSystemColors() const { return useSystemColors_; }
  void SetUseSystemColors(bool v);
  bool OverrideOwnerDraw() const { return override_; }
  void SetOverrideOwnerDraw(bool v) { override_ = v; }
  bool Gradient() const { return gradient_; }
  void SetGradient(bool v) { gradient_ = v; }
  bool FlatMenu() const { return flatMenu_; }
  void SetFlatMenu(bool v) { flatMenu_ = v; }
  int GrayLevel() const { return grayLevel_; }
  void SetGrayLevel(int v) { grayLevel_ = v; }
  int DimLevel() const { return dimLevel_; }
  void SetDimLevel(int v) { dimLevel_ = v; }
  const TXPContainers& XPContainers() const { return containers_; }
  void SetXPContainers(const TXPContainers& v);
  const TXPControls& XPControls() const { return controls_; }
  void SetXPControls(const TXPControls& v);
  bool ControlUseTrueXPStyle() const { return trueXP_; }
  void SetControlUseTrueXPStyle(bool v);
  int BtnRoundArc() const { return btnRoundArc_; }
  void SetBtnRoundArc(int v) { btnRoundArc_ = v; }
  TColor BtnOutLineBorderColor() const { return btnOutLine_; }
  void SetBtnOutLineBorderColor(TColor c) { btnOutLine_ = c; }
  TColor BtnInnerBorderMoveColor() const { return btnInnerMove_; }
  void SetBtnInnerBorderMoveColor(TColor c) { btnInnerMove_ = c; }
  TColor BtnInnerBorderFocusColor() const { return btnInnerFocus_; }
  void SetBtnInnerBorderFocusColor(TColor c) { btnInnerFocus_ = c; }
  TColor BtnSurfaceNormalColor() const { return btnSurfaceNormal_; }
  void SetBtnSurfaceNormalColor(TColor c) { btnSurfaceNormal_ = c; }
  TColor BtnSurfaceDownColor() const { return btnSurfaceDown_; }
  void SetBtnSurfaceDownColor(TColor c) { btnSurfaceDown_ = c; }
  TColor BtnSurfaceBottomLineColor() const { return btnBottomLine_; }
  void SetBtnSurfaceBottomLineColor(TColor c) { btnBottomLine_ = c; }
  TColor BtnSurfaceDownBottomLineColor() const { return btnDownBottomLine_; }
  void SetBtnSurfaceDownBottomLineColor(TColor c) { btnDownBottomLine_ = c; }
  TColor RdoChkControlChkColor() const { return rdoChkColor_; }
  void SetRdoChkControlChkColor(TColor c) { rdoChkColor_ = c; }
  TColor ComboBoxChkColor() const { return comboChkColor_; }
  void SetComboBoxChkColor(TColor c) { comboChkColor_ = c; }
  TColor ComboboxSurfaceMoveColor() const { return comboMoveColor_; }
  void SetComboboxSurfaceMoveColor(TColor c) { comboMoveColor_ = c; }
  TColor ControlDisabledBorderColor() const { return disabledBorder_; }
  void SetControlDisabledBorderColor(TColor c) { disabledBorder_ = c; }
  // The button of a dropped-down true-XP combo box (not published).
  TColor ComboDroppedColor() const { return comboDropped_; }

  // --- painting ----------------------------------------------------------
  // The colours a painting on canvas uses.
  TXPColors ColorsFor(TCanvas* canvas) const;
  void MeasureItem(TMenuItem* item, TCanvas* canvas, int& width, int& height);
  void DrawItem(TMenuItem* item, TCanvas* canvas, const TRect& rect, bool selected);
  // The tool-bar button and control-bar band handlers.
  void DrawToolButton(TToolBar* bar, TToolButton* button, bool& defaultDraw);
  void DrawBand(TControlBar* bar, TControl* control, TCanvas* canvas, TRect& rect,
                TBandPaintOptions& options);

  // --- drawing utilities (shared by the painters) ---------------------------
  void DrawOpenedItemFrame(bool menuSender, TCanvas* canvas, const TXPColors& k, TRect r,
                           TColor background, bool rightToLeft);
  void DrawMenuCheck(TMenuItem* item, bool selected, const TRect& r, TCanvas* canvas,
                     const TXPColors& k, bool hasImage, bool enabled);
  struct TItemText {
    AnsiString text;
    unsigned format = 0;
    TFont* font = nullptr;
    bool rightToLeft = false, topLevel = false, isDefault = false, enabled = true;
    bool selected = false, disabledToolButton = false;
    AnsiString shortcut;
    bool hasShortcut = false;
  };
  void DrawItemText(const TItemText& t, TRect r, TCanvas* canvas, const TXPColors& k);
  struct TItemImage {
    bool menuItem = false, highlighted = false, pressed = false, enabled = true;
    bool checked = false, topLevel = false, rightToLeft = false;
  };
  void DrawItemImage(const TItemImage& s, TCanvas* canvas, TBitmap* bitmap, const TRect& r,
                     const TXPColors& k);

  // The sub-class serving control, or null.
  TControlSubClass* SubClassOf(TControl* control) const;

  void Notification(TComponent* component, TOperation operation) override;
  // A form's text sets Active before the form's other components exist:
  // the look is installed once the whole form is read.
  void Loaded() override;

 private:
  friend class TControlSubClass;
  void Install(TComponent* container, bool enable);
  void InstallItem(TMenuItem* item, bool enable);
  void InstallControl(TControl* control, bool enable);
  bool Qualifies(TControl* control) const;
  bool ContainerAllowed(TWinControl* parent) const;
  void Reinstall();
  void RedrawMenuBar();
  TBitmap* ItemImage(TMenuItem* item, TBitmap* scratch) const;
  void ForgetSubClass(TControlSubClass* s);

  bool active_ = false, autoDetect_ = false, override_ = false, drawSelect_ = true;
  bool useSystemColors_ = true, gradient_ = false, flatMenu_ = false, trueXP_ = true;
  int iconWidth_ = 24, grayLevel_ = 10, dimLevel_ = 30, btnRoundArc_ = 5;
  std::unique_ptr<TFont> font_;
  TColor color_ = clBtnFace, iconBackColor_ = clBtnFace, menuBarColor_ = clBtnFace;
  TColor selectColor_ = clHighlight, selectBorderColor_ = clHighlight, selectFontColor_ = clMenuText;
  TColor disabledColor_ = clInactiveCaption, separatorColor_ = clBtnFace, checkedColor_ = clHighlight;
  TColor btnOutLine_ = static_cast<TColor>(7552000), btnInnerMove_ = static_cast<TColor>(3257087);
  TColor btnInnerFocus_ = static_cast<TColor>(15183500), btnSurfaceNormal_ = static_cast<TColor>(16251903);
  TColor btnSurfaceDown_ = static_cast<TColor>(14608359), btnBottomLine_ = static_cast<TColor>(14608359);
  TColor btnDownBottomLine_ = static_cast<TColor>(15199215), rdoChkColor_ = static_cast<TColor>(41472);
  TColor comboChkColor_ = static_cast<TColor>(9201994), comboMoveColor_ = static_cast<TColor>(16771030);
  TColor disabledBorder_ = static_cast<TColor>(11913158), comboDropped_ = static_cast<TColor>(16229004);
  TXPContainers containers_;
  TXPControls controls_;
  // Cleared when the styler goes: handlers left on items outliving it
  // (the form tearing down its menu bar) then do nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::set<TComponent*> ownDraw_, ownMeasure_;  // items whose handlers are ours
  std::set<TComponent*> ownToolBars_, ownControlBars_;
  std::vector<TControlSubClass*> subClasses_;
  bool installing_ = false;
  bool detectQueued_ = false;  // an AutoDetect pass waits for the event loop
};

// The replacement window procedure of one XP-painted control: it passes
// each message on to the control's own procedure, follows the hot, pressed
// and focus state from the messages, and paints the control's XP parts
// over what the control painted.  It detaches itself (putting the saved
// procedure back) at the first message after its styler went inactive.
class TControlSubClass {
 public:
  TControlSubClass(TXPStyler* owner, TControl* control);
  ~TControlSubClass();
  TControl* Control() const { return control_; }
  bool Hot() const { return hot_; }
  bool ButtonDown() const { return buttonDown_; }
  bool SpaceDown() const { return spaceDown_; }
  bool Focused() const { return focused_; }
  unsigned LastMessage() const { return lastMessage_; }
  // The message entry installed as the control's WindowProc.
  void WindowProc(TMessage& m);
  // Paints the control's XP parts now (on canvas, or on a canvas bound to
  // the control).
  void Paint(TCanvas* canvas = nullptr);
  // Puts the control's own window procedure (and an edit's border) back.
  void Detach();

 private:
  void Repaint();
  void PaintButton(TCanvas* c, const TXPColors& k);
  void PaintCheckBox(TCanvas* c, const TXPColors& k);
  void PaintRadio(TCanvas* c, const TXPColors& k);
  void PaintEdit(TCanvas* c, const TXPColors& k);
  void PaintCombo(TCanvas* c, const TXPColors& k);
  void PaintSpeedButton(TCanvas* c, const TXPColors& k);
  void PaintGroupBox(TCanvas* c, const TXPColors& k);
  void PaintPanel(TCanvas* c, const TXPColors& k);
  void PaintButtonFrame(TCanvas* c, const TXPColors& k, bool pressedClassic, bool pressedXP,
                        bool hot, bool focused, int classicCorner, bool speed);
  void PaintGlyphAndCaption(TCanvas* c, const TXPColors& k, TBitmap* glyph, int numGlyphs, int index,
                            TButtonLayout layout, int spacing, bool speed);
  bool TrueXP() const;

  TXPStyler* owner_;
  TControl* control_;
  bool recreating_ = false, hot_ = false, buttonDown_ = false, spaceDown_ = false;
  bool spacePainted_ = false, focused_ = false;
  TWndMethod saved_;
  TBorderStyle savedBorder_ = bsSingle;
  TColor savedColor_ = clWindow;
  unsigned lastMessage_ = 0;
  bool attached_ = false;
};
