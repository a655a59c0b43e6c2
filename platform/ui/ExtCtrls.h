// ExtCtrls: panels, bevels, images, the notebook (pages by name) and the
// timer.
#pragma once

#include "platform/core/TypInfo.h"

#include <memory>
#include <vector>

#include "platform/core/Strings.h"
#include "platform/ui/Controls.h"

class QTimer;

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
PAYROLL_ENUM_NAMES(TBevelShape, bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer)
enum TBevelStyle { bsLowered, bsRaised };
PAYROLL_ENUM_NAMES(TBevelStyle, bsLowered, bsRaised)

// A container with a caption and up to two bevels (outer, then inner,
// BevelWidth pixels each) and BorderWidth pixels between them; aligned
// children share what the bevels and the border leave.
class TCustomPanel : public TCustomControl {
  PAYROLL_CLASS(TCustomPanel, TCustomControl)

 public:
  explicit TCustomPanel(TComponent* owner);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut v);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut v);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int v);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  void AdjustClientRect(TRect& rect) const override;
  void Paint() override;
  bool ClickOnMouseUp() const override { return true; }

 protected:
  bool OpaqueBackground() const override { return true; }
  void TextChanged() override { Invalidate(); }
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvRaised;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  TBorderStyle borderStyle_ = bsNone;
  TAlignment alignment_ = taCenter;
};

class TPanel : public TCustomPanel {
  PAYROLL_CLASS(TPanel, TCustomPanel)

 public:
  explicit TPanel(TComponent* owner) : TCustomPanel(owner) {}
};

class TBevel : public TGraphicControl {
  PAYROLL_CLASS(TBevel, TGraphicControl)

 public:
  explicit TBevel(TComponent* owner);
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape s);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle s);
  void Paint() override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

class TImage : public TGraphicControl {
  PAYROLL_CLASS(TImage, TGraphicControl)

 public:
  explicit TImage(TComponent* owner);
  ~TImage() override;
  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* p);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v);
  void Paint() override;

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false, center_ = false, transparent_ = false, autoSize_ = false,
       proportional_ = false;
};

class TNotebook;

// One page of a notebook; its caption is the page's name.
class TPage : public TCustomControl {
  PAYROLL_CLASS(TPage, TCustomControl)

 public:
  explicit TPage(TComponent* owner);
  void Paint() override;
  void SetParentComponent(TComponent* parent) override;

 protected:
  bool OpaqueBackground() const override { return true; }
  bool WantsFocusInTabOrder() const override { return false; }
};

// Pages stacked in one place, one shown at a time, chosen by index or by
// name (ActivePage).  Pages holds the names; each name's object is its
// TPage, owned by the notebook.
class TNotebook : public TCustomControl {
  PAYROLL_CLASS(TNotebook, TCustomControl)

 public:
  explicit TNotebook(TComponent* owner);
  ~TNotebook() override;
  TStrings* Pages() const { return pages_.get(); }
  void SetPages(TStrings* names);
  int PageIndex() const { return pageIndex_; }
  void SetPageIndex(int index);
  // The name of the page shown; setting a name that no page has raises
  // EInvalidOperation, the shown page stays.
  AnsiString ActivePage() const;
  void SetActivePage(const AnsiString& name);
  int PageCount() const { return static_cast<int>(pageObjects_.size()); }
  TPage* PageAt(int index) const;
  TNotifyEvent OnPageChanged;

  TComponent* GetChildOwner() override { return this; }
  void AddPage(TPage* page);
  void RemovePage(TPage* page);
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
  void Loaded() override;

 protected:
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  void NamesChanged();
  void ShowPage();
  std::unique_ptr<TStringList> pages_;
  std::vector<TPage*> pageObjects_;
  int pageIndex_ = 0;
  bool syncing_ = false;
};

// A window timer: OnTimer every Interval milliseconds while Enabled (and
// Interval > 0), on the user-interface thread.
class TTimer : public TComponent {
  PAYROLL_CLASS(TTimer, TComponent)

 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;
  // Test hook: runs one tick as the event loop would.
  void TickForTest() { Tick(); }
  void Loaded() override;

 private:
  void Update();
  // One tick: OnTimer while Enabled with an Interval.
  void Tick();
  QTimer* timer_ = nullptr;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};
