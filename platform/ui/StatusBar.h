// StatusBar: the class library's status bar -- a strip of panels along the
// bottom of a form, each with a width, text, alignment and bevel, painted
// by the bar or (psOwnerDraw) by DrawPanel / OnDrawPanel.
//
// Panel geometry: panel i starts where panel i-1 ends (the first at 0) and
// is Width pixels wide; the last panel reaches the bar's right edge.  Each
// panel's rectangle leaves the bar's top and bottom 2 pixels (the bevel's
// place).  PanelRect answers what the common control's SB_GETRECT answers.
#pragma once

#include "platform/core/Collections.h"
#include "platform/ui/Controls.h"

enum TStatusPanelStyle { psText, psOwnerDraw };
PAYROLL_ENUM_NAMES(TStatusPanelStyle, psText, psOwnerDraw)
enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };
PAYROLL_ENUM_NAMES(TStatusPanelBevel, pbNone, pbLowered, pbRaised)

class TStatusBar;

class TStatusPanel : public TCollectionItem {
  PAYROLL_CLASS(TStatusPanel, TCollectionItem)
 public:
  explicit TStatusPanel(TCollection* collection);
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& t);
  int Width() const { return width_; }
  void SetWidth(int w);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TStatusPanelBevel Bevel() const { return bevel_; }
  void SetBevel(TStatusPanelBevel b);
  TStatusPanelStyle Style() const { return style_; }
  void SetStyle(TStatusPanelStyle s);
  void Assign(TPersistent* source) override;

 private:
  AnsiString text_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
  TStatusPanelBevel bevel_ = pbLowered;
  TStatusPanelStyle style_ = psText;
};

class TStatusPanels : public TOwnedCollection {
  PAYROLL_CLASS(TStatusPanels, TOwnedCollection)
 public:
  explicit TStatusPanels(TStatusBar* bar);
  TStatusPanel* Add() { return static_cast<TStatusPanel*>(TCollection::Add()); }
  TStatusPanel* Items(int index) const { return static_cast<TStatusPanel*>(TCollection::Items(index)); }
  TStatusPanel* operator[](int index) const { return Items(index); }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TStatusBar* bar_;
};

using TDrawPanelEvent = std::function<void(TStatusBar* bar, TStatusPanel* panel, const TRect& rect)>;

class TStatusBar : public TCustomControl {
  PAYROLL_CLASS(TStatusBar, TCustomControl)
 public:
  explicit TStatusBar(TComponent* owner);
  ~TStatusBar() override;
  TStatusPanels* Panels() const { return panels_.get(); }
  void SetPanels(TStatusPanels* p) { panels_->Assign(p); }
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool v);
  const AnsiString& SimpleText() const { return simpleText_; }
  void SetSimpleText(const AnsiString& t);
  bool SizeGrip() const { return sizeGrip_; }
  void SetSizeGrip(bool v);
  // The rectangle of panel index in client coordinates; empty when the
  // index is out of range or the bar shows its simple text.
  TRect PanelRect(int index) const;
  // Repaints one panel (or every panel for nullptr).
  void UpdatePanel(TStatusPanel* panel);
  void Paint() override;
  TDrawPanelEvent OnDrawPanel;

 protected:
  // Paints an owner-drawn panel: OnDrawPanel by default.
  virtual void DrawPanel(TStatusPanel* panel, const TRect& rect);
  bool WantsFocusInTabOrder() const override { return false; }
  void TextChanged() override { Invalidate(); }

 private:
  std::unique_ptr<TStatusPanels> panels_;
  bool simplePanel_ = false;
  AnsiString simpleText_;
  bool sizeGrip_ = true;
};
