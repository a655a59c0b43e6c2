// TControlBar (ExtCtrls) and TCoolBar (ComCtrls): bars of bands, each band
// a grabber followed by a child control.
#include <algorithm>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Frames3D.h"

namespace {

// The grabber: two raised ridges along the left of a band.
void DrawGrabber(TCanvas* c, const TRect& band) {
  TRect g = Rect(band.Left + 2, band.Top + 2, band.Left + 5, band.Bottom - 2);
  DrawEdge(c, g, BDR_RAISEDINNER, BF_RECT);
  OffsetRect(g, 3, 0);
  DrawEdge(c, g, BDR_RAISEDINNER, BF_RECT);
}

}  // namespace

// --- TControlBar ----------------------------------------------------------------

TControlBar::TControlBar(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 100, 50);
  SetTabStop(false);
}

void TControlBar::SetRowSize(int v) {
  rowSize_ = std::max(v, 1);
  Realign();
  Invalidate();
}

TRect TControlBar::BandRect(TControl* control) const {
  return Rect(control->Left() - kGrabberSize, control->Top(), control->Left() + control->Width(),
              control->Top() + control->Height());
}

// Children keep their order by row (Top) and then by Left; each row is
// packed from the left, a band (grabber + control) after the other.
void TControlBar::AlignControls(TControl*, TRect& rect) {
  std::vector<TControl*> bands;
  for (TControl* c : controls_)
    if (c->Visible()) bands.push_back(c);
  auto rowOf = [this](TControl* c) { return rowSnap_ ? std::max(c->Top(), 0) / rowSize_ : 0; };
  std::stable_sort(bands.begin(), bands.end(), [&](TControl* a, TControl* b) {
    int ra = rowOf(a), rb = rowOf(b);
    return ra != rb ? ra < rb : a->Left() < b->Left();
  });
  int row = -1, x = rect.Left;
  for (TControl* c : bands) {
    int r = rowOf(c);
    if (r != row) {
      row = r;
      x = rect.Left;
    }
    int top = rect.Top + r * rowSize_ + std::max(0, (rowSize_ - c->Height()) / 2);
    c->SetBounds(x + kGrabberSize, top, c->Width(), std::min(c->Height(), rowSize_));
    x += kGrabberSize + c->Width() + 2;
  }
}

void TControlBar::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetColor(Color());
  c->FillRect(ClientRect());
  for (TControl* ctl : controls_) {
    if (!ctl->Visible()) continue;
    TRect r = BandRect(ctl);
    TBandPaintOptions options{bpoGrabber, bpoFrame};
    if (OnBandPaint) OnBandPaint(this, ctl, c, r, options);
    if (options.Contains(bpoFrame)) {
      TRect frame = r;
      DrawEdge(c, frame, BDR_RAISEDINNER, BF_RECT);
    }
    if (options.Contains(bpoGrabber)) DrawGrabber(c, r);
  }
}

PAYROLL_PUBLISH(TControlBar) {
  p.Property("AutoDrag", &TControlBar::AutoDrag, &TControlBar::SetAutoDrag).Default(true);
  p.Property("RowSize", &TControlBar::RowSize, &TControlBar::SetRowSize).Default(26);
  p.Property("RowSnap", &TControlBar::RowSnap, &TControlBar::SetRowSnap).Default(true);
  p.Event("OnBandPaint", &TControlBar::OnBandPaint);
}

// --- TCoolBand / TCoolBands -------------------------------------------------------

TCoolBand::TCoolBand(TCollection* collection) : TCollectionItem(collection) {}

void TCoolBand::SetControl(TWinControl* c) {
  if (c == control_) return;
  control_ = c;
  if (auto* bands = dynamic_cast<TCoolBands*>(Collection()))
    if (auto* bar = dynamic_cast<TCoolBar*>(bands->Owner())) {
      if (c) {
        c->FreeNotification(bar);
        if (c->Parent() != bar && !bar->IsLoading()) c->SetParent(bar);
      }
    }
  Changed(false);
}

void TCoolBand::SetText(const AnsiString& t) { text_ = t; Changed(false); }
void TCoolBand::SetWidth(int w) { width_ = std::max(w, 0); Changed(false); }
void TCoolBand::SetMinHeight(int h) { minHeight_ = std::max(h, 0); Changed(false); }
void TCoolBand::SetMinWidth(int w) { minWidth_ = std::max(w, 0); Changed(false); }
void TCoolBand::SetBreak(bool b) { break_ = b; Changed(false); }
void TCoolBand::SetVisible(bool v) { visible_ = v; Changed(false); }

void TCoolBand::Assign(TPersistent* source) {
  if (auto* b = dynamic_cast<TCoolBand*>(source)) {
    control_ = b->control_;
    text_ = b->text_;
    width_ = b->width_;
    minHeight_ = b->minHeight_;
    minWidth_ = b->minWidth_;
    break_ = b->break_;
    visible_ = b->visible_;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(source);
}

TCoolBands::TCoolBands(TCoolBar* bar) : TOwnedCollection(bar, ItemClassOf<TCoolBand>()), bar_(bar) {}

void TCoolBands::Update(TCollectionItem*) { bar_->ArrangeBands(); }

TCoolBand* TCoolBands::FindBand(const TControl* control) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Control() == control) return Items(i);
  return nullptr;
}

// --- TCoolBar -------------------------------------------------------------------------

TCoolBar::TCoolBar(TComponent* owner)
    : TCustomControl(owner), bands_(std::make_unique<TCoolBands>(this)) {
  SetAlign(alTop);
  SetBounds(0, 0, 150, 75);
  SetTabStop(false);
}

TCoolBar::~TCoolBar() {
  Destroying();
  bands_.reset();
}

void TCoolBar::SetAutoSize(bool v) { autoSize_ = v; ArrangeBands(); }
void TCoolBar::SetShowText(bool v) { showText_ = v; ArrangeBands(); }

int TCoolBar::CaptionWidth(const TCoolBand* band) const {
  if (!showText_ || band->Text().IsEmpty()) return 0;
  Canvas()->Font()->Assign(Font());
  return Canvas()->TextWidth(band->Text()) + 4;
}

// Band rectangles, one per band (empty for hidden ones).
std::vector<TRect> TCoolBar::Compute() const {
  std::vector<TRect> out(static_cast<size_t>(bands_->Count()));
  TRect cr = ClientRect();
  int top = 0, rowHeight = 0, x = 0;
  std::vector<size_t> row;  // the bands of the current row
  auto finishRow = [&] {
    if (row.empty()) return;
    // The last band of a row takes the rest of the width.
    out[row.back()].Right = std::max(out[row.back()].Right, cr.Right);
    for (size_t i : row) out[i].Bottom = out[i].Top + rowHeight;
    top += rowHeight;
    row.clear();
    rowHeight = 0;
    x = 0;
  };
  for (int i = 0; i < bands_->Count(); ++i) {
    TCoolBand* b = bands_->Items(i);
    if (!b->Visible() || (b->Control() && !b->Control()->Visible())) continue;
    if (b->Break() || row.empty()) finishRow();
    int h = std::max(b->MinHeight(), b->Control() ? b->Control()->Height() : 0);
    int w = b->Width() > 0 ? b->Width()
                           : TControlBar::kGrabberSize + CaptionWidth(b) +
                                 (b->Control() ? b->Control()->Width() : 0) + 2;
    w = std::max(w, b->MinWidth());
    out[static_cast<size_t>(i)] = Rect(x, top, x + w, top);
    x += w;
    rowHeight = std::max(rowHeight, h);
    row.push_back(static_cast<size_t>(i));
  }
  finishRow();
  return out;
}

TRect TCoolBar::BandRect(int index) const {
  if (index < 0 || index >= bands_->Count()) ListIndexError(index);
  return Compute()[static_cast<size_t>(index)];
}

void TCoolBar::ArrangeBands() {
  if (arranging_ || IsLoading()) return;
  arranging_ = true;
  std::vector<TRect> rects = Compute();
  int bottom = 0;
  for (int i = 0; i < bands_->Count(); ++i) {
    TCoolBand* b = bands_->Items(i);
    const TRect& r = rects[static_cast<size_t>(i)];
    bottom = std::max(bottom, r.Bottom);
    TWinControl* c = b->Control();
    if (!c || r.IsEmpty()) continue;
    int left = r.Left + TControlBar::kGrabberSize + CaptionWidth(b);
    c->SetBounds(left, r.Top + std::max(0, (r.Height() - c->Height()) / 2),
                 std::max(r.Right - left - 2, 0), c->Height());
  }
  if (autoSize_ && bottom > 0 && bottom != ClientHeight()) SetClientHeight(bottom);
  arranging_ = false;
  Invalidate();
}

void TCoolBar::AlignControls(TControl*, TRect&) { ArrangeBands(); }

void TCoolBar::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetColor(Color());
  c->FillRect(ClientRect());
  std::vector<TRect> rects = Compute();
  c->Font()->Assign(Font());
  for (int i = 0; i < bands_->Count(); ++i) {
    TRect r = rects[static_cast<size_t>(i)];
    if (r.IsEmpty()) continue;
    TRect frame = r;
    DrawEdge(c, frame, EDGE_ETCHED, BF_RECT);
    DrawGrabber(c, r);
    TCoolBand* b = bands_->Items(i);
    if (int w = CaptionWidth(b)) {
      c->Brush()->SetStyle(bsClear);
      TRect tr = Rect(r.Left + TControlBar::kGrabberSize, r.Top, r.Left + TControlBar::kGrabberSize + w, r.Bottom);
      c->DrawText(b->Text(), tr, DT_SINGLELINE | DT_VCENTER);
      c->Brush()->SetStyle(bsSolid);
    }
  }
}

void TCoolBar::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != opRemove || !bands_) return;
  for (int i = 0; i < bands_->Count(); ++i)
    if (bands_->Items(i)->Control() == component) bands_->Items(i)->SetControl(nullptr);
}

void TCoolBar::Loaded() {
  TCustomControl::Loaded();
  for (int i = 0; i < bands_->Count(); ++i)
    if (TWinControl* c = bands_->Items(i)->Control(); c && c->Parent() != this) c->SetParent(this);
  ArrangeBands();
}

PAYROLL_PUBLISH(TCoolBand) {
  p.Property("Break", &TCoolBand::Break, &TCoolBand::SetBreak).Default(true);
  p.Property("Control", &TCoolBand::Control, &TCoolBand::SetControl);
  p.Property("MinHeight", &TCoolBand::MinHeight, &TCoolBand::SetMinHeight).Default(25);
  p.Property("MinWidth", &TCoolBand::MinWidth, &TCoolBand::SetMinWidth).Default(0);
  p.Property("Text", &TCoolBand::Text, &TCoolBand::SetText);
  p.Property("Visible", &TCoolBand::Visible, &TCoolBand::SetVisible).Default(true);
  p.Property("Width", &TCoolBand::Width, &TCoolBand::SetWidth);
}
PAYROLL_PUBLISH(TCoolBands) {}
PAYROLL_PUBLISH(TCoolBar) {
  p.Property("AutoSize", &TCoolBar::AutoSize, &TCoolBar::SetAutoSize).Default(false);
  p.Property("Bands", &TCoolBar::Bands);
  p.Property("ShowText", &TCoolBar::ShowText, &TCoolBar::SetShowText).Default(true);
}
