// ExtCtrls: panels, bevels, images, the notebook (pages by name) and the
// timer.
#pragma once

#include "platform/core/TypInfo.h"

#include <algorithm>
#include <functional>
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
  // Leaves its notebook, which must not free it again.
  ~TPage() override;
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
  void NamesFromPages();
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

// --- paint box, splitter, control bar -------------------------------------

// A windowless area the program paints in OnPaint, on Canvas (whose font
// and brush start as the control's).
class TPaintBox : public TGraphicControl {
  PAYROLL_CLASS(TPaintBox, TGraphicControl)

 public:
  explicit TPaintBox(TComponent* owner);
  void Paint() override;
  TNotifyEvent OnPaint;
};

enum TResizeStyle { rsNone, rsLine, rsUpdate, rsPattern };
PAYROLL_ENUM_NAMES(TResizeStyle, rsNone, rsLine, rsUpdate, rsPattern)
using TCanResizeEvent = std::function<void(TObject* sender, int& newSize, bool& accept)>;

// A bar between aligned controls: dragging it resizes the control aligned
// to the same side just before it.  No control stays below MinSize, nor
// does the space left for the others (the client-aligned one).  The drag
// moves the control as the mouse moves; OnMoved follows the release.
class TSplitter : public TGraphicControl {
  PAYROLL_CLASS(TSplitter, TGraphicControl)

 public:
  explicit TSplitter(TComponent* owner);
  int MinSize() const { return minSize_; }
  void SetMinSize(int v) { minSize_ = std::max(v, 1); }
  bool Beveled() const { return beveled_; }
  void SetBeveled(bool v) { beveled_ = v; Invalidate(); }
  TResizeStyle ResizeStyle() const { return resizeStyle_; }
  void SetResizeStyle(TResizeStyle s) { resizeStyle_ = s; }
  bool AutoSnap() const { return autoSnap_; }
  void SetAutoSnap(bool v) { autoSnap_ = v; }
  void Paint() override;
  // The control the splitter resizes (null when none is next to it).
  TControl* FindResizeControl() const;

  TNotifyEvent OnMoved;
  TCanResizeEvent OnCanResize;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  bool Vertical() const { return Align() == alLeft || Align() == alRight; }
  int MaxSizeFor(TControl* control) const;
  int minSize_ = 30;
  bool beveled_ = false;
  TResizeStyle resizeStyle_ = rsPattern;
  bool autoSnap_ = true;
  TControl* sizing_ = nullptr;
  int downPos_ = 0;     // screen coordinate of the press along the drag axis
  int startSize_ = 0;
  bool moved_ = false;
};

// Options of one band as the band-drawing handler may change them.
enum TBandPaintOption { bpoGrabber, bpoFrame };
PAYROLL_ENUM_NAMES(TBandPaintOption, bpoGrabber, bpoFrame)
using TBandPaintOptions = TSet<TBandPaintOption, 2>;
class TControlBar;
using TBandPaintEvent = std::function<void(TObject* sender, TControl* control, TCanvas* canvas,
                                           TRect& rect, TBandPaintOptions& options)>;

// A bar of movable bands, one per child control: each band is a grabber
// (GrabberSize pixels) followed by its control, bands laid left to right
// in rows RowSize pixels high, in the order of their Left, then Top.
// OnBandPaint may change a band's rectangle and options before the bar
// draws its grabber and frame.
class TControlBar : public TCustomControl {
  PAYROLL_CLASS(TControlBar, TCustomControl)

 public:
  explicit TControlBar(TComponent* owner);
  int RowSize() const { return rowSize_; }
  void SetRowSize(int v);
  bool RowSnap() const { return rowSnap_; }
  void SetRowSnap(bool v) { rowSnap_ = v; }
  bool AutoDrag() const { return autoDrag_; }
  void SetAutoDrag(bool v) { autoDrag_ = v; }
  static constexpr int kGrabberSize = 11;
  // The band rectangle of a child control (its grabber and the control).
  TRect BandRect(TControl* control) const;
  void Paint() override;
  void AlignControls(TControl* control, TRect& rect) override;
  TBandPaintEvent OnBandPaint;

 protected:
  bool WantsFocusInTabOrder() const override { return false; }

 private:
  int rowSize_ = 26;
  bool rowSnap_ = true;
  bool autoDrag_ = true;
};
