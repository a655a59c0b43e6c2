// The status bar with typed panels.
#include "decor/SbStatusBar.h"
#include "decor/XPStyler.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "decor/LockKeys.h"
#include "platform/core/NumFormat.h"
#include "platform/core/ScopeGuards.h"
#include "platform/ui/Forms.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/SysColors.h"

const char* const kSbCapsText = " CAPS ";
const char* const kSbNumText = " NUM ";
const char* const kSbScrollText = " SCROLL ";

namespace {

std::function<TDateTime()>& Clock() {
  static std::function<TDateTime()> clock;
  return clock;
}

TDateTime CurrentMoment() { return Clock() ? Clock()() : Now(); }

std::uint16_t KeyOf(TsbStatusPanelType t) {
  return t == sptNumLock ? kVkNumLock : t == sptScrollLock ? kVkScrollLock : kVkCapsLock;
}

constexpr unsigned kTextFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;

unsigned AlignFlags(TAlignment a) {
  return a == taCenter ? DT_CENTER : a == taRightJustify ? DT_RIGHT : DT_LEFT;
}

}  // namespace

void SetStatusBarClock(std::function<TDateTime()> clock) { Clock() = std::move(clock); }

// --- TsbGaugeAttrs ----------------------------------------------------------------

void TsbGaugeAttrs::SetStyle(TsbGaugeStyle s) {
  if (s == style_) return;
  bool wasAnimated = Animated();
  style_ = s;
  owner_->GaugeStyleChanged(wasAnimated);
}

void TsbGaugeAttrs::SetPosition(int p) {
  p = std::clamp(p, 0, 100);
  if (p == position_) return;
  position_ = p;
  owner_->GaugeChanged(false);
}

void TsbGaugeAttrs::SetSpeed(int s) {
  if (s >= 1 && s != speed_) speed_ = s;
  owner_->SpeedChanged();
}

void TsbGaugeAttrs::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  owner_->GaugeChanged(true);
}

void TsbGaugeAttrs::SetTextColor(TColor c) {
  if (c == textColor_) return;
  textColor_ = c;
  owner_->GaugeChanged(false);
}

void TsbGaugeAttrs::Assign(TPersistent* source) {
  if (auto* a = dynamic_cast<TsbGaugeAttrs*>(source)) {
    // Every setting travels, speed and colours included.
    SetPosition(a->Position());
    SetStyle(a->Style());
    SetSpeed(a->Speed());
    SetColor(a->Color());
    SetTextColor(a->TextColor());
    return;
  }
  TPersistent::Assign(source);
}

// --- TsbStatusPanel ---------------------------------------------------------------

TsbStatusPanel::TsbStatusPanel(TCollection* collection) : TCollectionItem(collection) {
  auto* panels = dynamic_cast<TsbStatusPanels*>(collection);
  if (!panels) throw Exception("TsbStatusPanel owner must be TsbStatusPanesls");
  linked_ = panels->Bar()->PlainPanels()->Add();
  linked_->SetStyle(psOwnerDraw);
  gauge_ = std::make_unique<TsbGaugeAttrs>(this);
  glyph_ = std::make_unique<TPicture>();
  glyph_->OnChange = [this](TObject*) { GlyphChanged(); };
}

TsbStatusPanel::~TsbStatusPanel() {
  if (linked_ && Enabled()) DropRegistrations();
  if (glyph_) glyph_->OnChange = nullptr;
  delete linked_;
}

TsbStatusBar* TsbStatusPanel::Bar() const {
  auto* panels = static_cast<TsbStatusPanels*>(Collection());
  return panels ? panels->Bar() : nullptr;
}

TAlignment TsbStatusPanel::Alignment() const { return linked_->Alignment(); }

void TsbStatusPanel::SetAlignment(TAlignment a) {
  if (a == Alignment()) return;
  linked_->SetAlignment(a);
  Repaint();
}

TStatusPanelBevel TsbStatusPanel::Bevel() const { return linked_->Bevel(); }

void TsbStatusPanel::SetBevel(TStatusPanelBevel b) {
  if (b != Bevel()) linked_->SetBevel(b);
}

void TsbStatusPanel::SetBorderWidth(int w) {
  if (w == borderWidth_) return;
  borderWidth_ = w;
  UpdateAutoFitWidth();
  Repaint();
}

void TsbStatusPanel::SetText(const AnsiString& t) {
  if (t == text_) return;
  text_ = t;
  Repaint();
  UpdateAutoFitWidth();
}

void TsbStatusPanel::SetDateFormat(const AnsiString& f) {
  if (f == dateFormat_) return;
  dateFormat_ = f;
  if (IsDateTimeType(type_)) UpdateDateTime();
}

void TsbStatusPanel::SetTimeFormat(const AnsiString& f) {
  if (f == timeFormat_) return;
  timeFormat_ = f;
  if (IsDateTimeType(type_)) UpdateDateTime();
}

bool TsbStatusPanel::Enabled() const {
  TsbStatusBar* bar = Bar();
  return enabled_ && (!bar || bar->Enabled());
}

void TsbStatusPanel::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  UpdateRegistrations();
}

int TsbStatusPanel::Width() const { return linked_->Width(); }

void TsbStatusPanel::SetWidth(int w) {
  TsbStatusBar* bar = Bar();
  if (!autoFit_ || (bar && bar->IsLoading())) {
    if (w != Width()) linked_->SetWidth(w);
  }
  if (type_ == sptGauge && gauge_->Animated()) {
    RestartAnimation();
    Repaint();
  }
}

void TsbStatusPanel::SetAutoFit(bool v) {
  if (v == autoFit_) return;
  autoFit_ = v;
  UpdateAutoFitWidth();
}

AnsiString TsbStatusPanel::Hint() {
  AnsiString h = hint_;
  if ((type_ == sptEllipsisText || type_ == sptEllipsisPath) && hint_ == "...") h = text_;
  DoHintText(h);
  return h;
}

void TsbStatusPanel::DoHintText(AnsiString& hint) {
  if (OnHintText) OnHintText(Bar(), this, hint);
}

void TsbStatusPanel::SetPanelType(TsbStatusPanelType t) {
  if (t == type_) return;
  if (Enabled()) DropRegistrations();
  type_ = t;
  if (IsLockType(t)) {
    SetText(t == sptCapsLock ? kSbCapsText : t == sptNumLock ? kSbNumText : kSbScrollText);
    SetAutoFit(true);
    if (Enabled()) AddRegistrations();
  } else if (IsDateTimeType(t)) {
    SetAutoFit(false);
    if (Enabled()) AddRegistrations();
    UpdateDateTime();
  } else if (t == sptEllipsisText || t == sptEllipsisPath) {
    SetAutoFit(false);
    if (Hint().IsEmpty()) hint_ = "...";
  } else if (t == sptGlyph) {
    SetAutoFit(true);
  } else if (t == sptGauge) {
    SetAutoFit(false);
    SetAlignment(taCenter);
    if (gauge_->Animated()) {
      SetEnabled(false);
      RestartAnimation();
    }
  } else {
    SetAutoFit(false);
  }
  Repaint();
}

void TsbStatusPanel::RestartAnimation() {
  animPos_ = 0;
  animStep_ = gauge_->Speed();
}

void TsbStatusPanel::GaugeChanged(bool colorChanged) {
  if (colorChanged) strip_.reset();
  Repaint();
}

void TsbStatusPanel::GaugeStyleChanged(bool wasAnimated) {
  bool gaugeOn = type_ == sptGauge && Enabled();
  if (gaugeOn && wasAnimated) static_cast<TsbStatusPanels*>(Collection())->UnregisterTimer(this);
  Repaint();
  if (gaugeOn && gauge_->Animated()) static_cast<TsbStatusPanels*>(Collection())->RegisterTimer(this);
}

void TsbStatusPanel::SpeedChanged() {
  animStep_ = animStep_ >= 0 ? gauge_->Speed() : -gauge_->Speed();
}

void TsbStatusPanel::GlyphChanged() {
  if (type_ != sptGlyph) return;
  Repaint();
  UpdateAutoFitWidth();
}

void TsbStatusPanel::Assign(TPersistent* source) {
  if (auto* s = dynamic_cast<TsbStatusPanel*>(source)) {
    gauge_->Assign(s->GaugeAttrs());
    SetAlignment(s->Alignment());
    SetBevel(s->Bevel());
    glyph_->Assign(s->Glyph());
    SetText(s->Text());
    SetDateFormat(s->DateFormat());
    SetTimeFormat(s->TimeFormat());
    SetEnabled(s->Enabled());
    SetWidth(s->Width());
    SetAutoFit(s->AutoFit());
    SetHint(s->Hint());
    OnDrawPanel = s->OnDrawPanel;
    OnHintText = s->OnHintText;
    SetBorderWidth(s->BorderWidth());
    SetPanelType(s->PanelType());
    return;
  }
  TCollectionItem::Assign(source);
}

AnsiString TsbStatusPanel::DisplayName() const {
  static const char* const kNames[] = {"sptNormal", "sptCapsLock", "sptNumLock", "sptScrollLock",
                                       "sptDate", "sptTime", "sptDateTime", "sptTimeDate",
                                       "sptEllipsisText", "sptEllipsisPath", "sptGlyph", "sptGauge",
                                       "sptOwnerDraw"};
  AnsiString name = type_ == sptNormal || type_ == sptEllipsisText || type_ == sptEllipsisPath
                        ? text_
                        : AnsiString(kNames[type_]);
  return name.IsEmpty() ? TCollectionItem::DisplayName() : name;
}

void TsbStatusPanel::SetIndex(int index) {
  if (index == Index()) return;
  linked_->SetIndex(index);
  TCollectionItem::SetIndex(index);
}

void TsbStatusPanel::UpdateAutoFitWidth() {
  TsbStatusBar* bar = Bar();
  if (autoFit_ && bar && bar->Surface()) {
    int w;
    if (type_ != sptGlyph) {
      w = bar->MeasureText(text_) + 6 + borderWidth_;
    } else if (!text_.IsEmpty()) {
      w = bar->MeasureText(text_) + 2 + 2 * borderWidth_ + glyph_->Width() + 4;
    } else {
      w = glyph_->Width() + borderWidth_ + 4;
    }
    linked_->SetWidth(w);
  }
  Repaint();
}

void TsbStatusPanel::UpdateDateTime() {
  if (!IsDateTimeType(type_)) return;
  const TFormatSettings& fs = DefaultFormatSettings();
  AnsiString date = dateFormat_.IsEmpty() ? fs.ShortDateFormat : dateFormat_;
  AnsiString time = timeFormat_.IsEmpty() ? fs.LongTimeFormat : timeFormat_;
  AnsiString format = type_ == sptDate ? date
                      : type_ == sptTime ? time
                      : type_ == sptDateTime ? date + " " + time
                                             : time + " " + date;
  AnsiString shown = FormatDateTime(format, CurrentMoment());
  if (shown != text_) SetText(shown);
}

void TsbStatusPanel::DropRegistrations() {
  TsbStatusBar* bar = Bar();
  if (IsLockType(type_)) {
    UnregisterKeyboardHookPanel(this);
    if (bar) bar->RemoveMainWinHookPanel(this);
  } else if (IsDateTimeType(type_) || (type_ == sptGauge && gauge_->Animated())) {
    static_cast<TsbStatusPanels*>(Collection())->UnregisterTimer(this);
  }
}

void TsbStatusPanel::AddRegistrations() {
  TsbStatusBar* bar = Bar();
  if (IsLockType(type_)) {
    RegisterKeyboardHookPanel(this);
    if (bar) bar->AddMainWinHookPanel(this);
  } else if (IsDateTimeType(type_) || (type_ == sptGauge && gauge_->Animated())) {
    static_cast<TsbStatusPanels*>(Collection())->RegisterTimer(this);
  }
}

void TsbStatusPanel::UpdateRegistrations() {
  if (Enabled())
    AddRegistrations();
  else
    DropRegistrations();
  Repaint();
  if (!Enabled()) RestartAnimation();
}

void TsbStatusPanel::Repaint() {
  if (Collection()) static_cast<TsbStatusPanels*>(Collection())->PaintPanel(Index());
}

void TsbStatusPanel::PaintNow() { Repaint(); }

void TsbStatusPanel::DrawPanel(const TRect& rect) {
  TsbStatusBar* bar = Bar();
  if (type_ == sptOwnerDraw && OnDrawPanel) {
    OnDrawPanel(bar, this, rect);
    return;
  }
  PaintInto(bar->Canvas(), bar->PanelRect(Index()));
}

void TsbStatusPanel::PaintInto(TCanvas* canvas, const TRect& rect) {
  TsbStatusBar* bar = Bar();
  if (!bar || !bar->Surface() || rect.IsEmpty()) return;
  TRect outer = rect;
  InflateRect(outer, -1, -1);
  if (outer.IsEmpty()) return;
  TBitmap bmp;
  bmp.SetSize(outer.Width(), outer.Height());
  TCanvas* c = bmp.Canvas();
  c->Font()->Assign(canvas->Font());
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(bar->Color());
  c->FillRect(TRect(0, 0, outer.Width(), outer.Height()));
  TRect r(0, 0, outer.Width(), outer.Height());
  if (borderWidth_ > 0) InflateRect(r, -borderWidth_, -borderWidth_);
  if (Enabled()) {
    switch (type_) {
      case sptCapsLock:
      case sptNumLock:
      case sptScrollLock: PaintLock(c, r); break;
      case sptGlyph: PaintGlyph(c, r); break;
      case sptGauge:
        if (gauge_->Animated())
          PaintAnimated(c, r);
        else
          PaintPercent(c, r);
        break;
      case sptOwnerDraw: return;  // its drawing belongs to OnDrawPanel
      default: PaintText(c, r); break;
    }
  }
  c->Brush()->SetStyle(bsSolid);
  canvas->Draw(outer.Left, outer.Top, &bmp);
}

void TsbStatusPanel::PaintText(TCanvas* c, const TRect& rect) {
  TRect r = rect;
  unsigned flags = kTextFlags;
  TAlignment a = autoFit_ ? taCenter : Alignment();
  flags |= AlignFlags(a);
  if (a == taRightJustify) r.Right -= 1;
  if (type_ == sptEllipsisText) flags |= DT_END_ELLIPSIS;
  if (type_ == sptEllipsisPath) flags |= DT_PATH_ELLIPSIS;
  c->Font()->SetColor(Bar()->Font()->Color());
  c->Brush()->SetStyle(bsClear);
  c->DrawText(text_, r, flags);
}

void TsbStatusPanel::PaintLock(TCanvas* c, const TRect& rect) {
  TsbStatusBar* bar = Bar();
  const TLockKeyState state =
      bar->UseMonitorDLL() ? (lockState_ ? lksOn : lksOff) : LockKeyState(KeyOf(type_));
  TColor saved = c->Font()->Color();
  TFontStyles savedStyle = c->Font()->Style();
  c->Font()->SetColor(state == lksOn ? bar->Font()->Color() : clGrayText);
  if (state == lksUnknown) c->Font()->SetStyle(savedStyle + TFontStyles{fsItalic});
  TRect r = rect;
  c->Brush()->SetStyle(bsClear);
  c->DrawText(text_, r, kTextFlags | AlignFlags(autoFit_ ? taCenter : Alignment()));
  c->Font()->SetColor(saved);
  c->Font()->SetStyle(savedStyle);
}

void TsbStatusPanel::PaintGlyph(TCanvas* c, const TRect& r) {
  int w = glyph_->Width(), h = glyph_->Height();
  int t = text_.IsEmpty() ? 0 : c->TextWidth(text_) + 2;
  int x = r.Left, y = r.Top;
  if (Alignment() == taCenter || autoFit_)
    x += (r.Width() - w - t) / 2;
  else if (Alignment() == taRightJustify)
    x = r.Right - w;
  y += (r.Height() - h) / 2;
  if (TGraphic* g = glyph_->Graphic()) {
    if (auto* b = dynamic_cast<TBitmap*>(g)) {
      TBitmap copy;
      copy.Assign(b);
      copy.SetTransparent(true);
      c->Draw(x, y, &copy);
    } else {
      c->Draw(x, y, g);
    }
  }
  if (!text_.IsEmpty()) {
    TRect tr = r;
    if (Alignment() == taRightJustify)
      tr.Left = x - t - 2;
    else
      tr.Left = x + w + 2;
    c->Font()->SetColor(Bar()->Font()->Color());
    c->Brush()->SetStyle(bsClear);
    c->DrawText(text_, tr, kTextFlags);
  }
}

void TsbStatusPanel::PaintPercent(TCanvas* c, const TRect& r) {
  TsbStatusBar* bar = Bar();
  int filled = MulDiv(r.Width(), gauge_->Position(), 100);
  TRect done(r.Left, r.Top, r.Left + filled, r.Bottom);
  TRect rest(r.Left + filled, r.Top, r.Right, r.Bottom);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(gauge_->Color());
  c->FillRect(done);
  c->Brush()->SetColor(bar->Color());
  c->FillRect(rest);
  AnsiString text = text_.IsEmpty() ? IntToStr(gauge_->Position()) + "%" : text_;
  unsigned flags = kTextFlags | AlignFlags(Alignment());
  TColor saved = c->Font()->Color();
  c->Brush()->SetStyle(bsClear);
  for (int pass = 0; pass < 2; ++pass) {
    TRect clip = pass == 0 ? done : rest;
    if (clip.IsEmpty()) continue;
    c->SelectClipRect(clip);
    c->Font()->SetColor(pass == 0 ? gauge_->TextColor() : bar->Font()->Color());
    TRect tr = r;
    c->DrawText(text, tr, flags);
  }
  c->ResetClip();
  c->Font()->SetColor(saved);
}

void TsbStatusPanel::BuildGradientStrip(int height) {
  strip_ = std::make_unique<TBitmap>();
  strip_->SetSize(100, std::max(height, 1));
  TColorRef from = ColorToRGB(Bar()->Color()), to = ColorToRGB(gauge_->Color());
  TCanvas* c = strip_->Canvas();
  for (int x = 0; x < 100; ++x) {
    auto mix = [x](int a, int b) { return a + (b - a) * x / 99; };
    c->Pen()->SetColor(static_cast<TColor>(RGB(mix(GetRValue(from), GetRValue(to)),
                                               mix(GetGValue(from), GetGValue(to)),
                                               mix(GetBValue(from), GetBValue(to)))));
    c->MoveTo(x, 0);
    c->LineTo(x, strip_->Height());
  }
}

void TsbStatusPanel::PaintAnimated(TCanvas* c, const TRect& rect) {
  int speed = gauge_->Speed();
  animPos_ += animStep_;
  int width = rect.Width();
  if (gauge_->Style() == gsIndeterminate) {
    TRect r = rect;
    r.Top += rect.Height() / 3;
    r.Bottom -= rect.Height() / 3;
    int s = r.Height();
    if (animStep_ > 0 && animPos_ + s + 1 >= width)
      animStep_ = -speed;
    else if (animStep_ < 0 && animPos_ <= 1)
      animStep_ = speed;
    TRect m(r.Left + animPos_, r.Top, r.Left + animPos_ + s, r.Top + s);
    InflateRect(m, 1, 1);
    c->Pen()->SetColor(gauge_->Color());
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(gauge_->Color());
    c->Ellipse(m);
    return;
  }
  if (!strip_ || strip_->Height() != rect.Height()) BuildGradientStrip(rect.Height());
  if (animStep_ > 0 && animPos_ + 1 >= width)
    animStep_ = -speed;
  else if (animStep_ < 0 && animPos_ <= -100)
    animStep_ = speed;
  int left = rect.Left + animPos_;
  int shown = std::min(100, rect.Right - left);
  if (shown <= 0) return;
  bool forward = animStep_ > 0;
  // Forward the strip's light end trails; backward it is mirrored, so the
  // gauge colour always leads.
  TRect src = forward ? TRect(0, 0, shown, strip_->Height()) : TRect(100 - shown, 0, 100, strip_->Height());
  if (!forward) std::swap(src.Left, src.Right), std::swap(src.Top, src.Bottom);
  c->CopyRect(TRect(left, rect.Top, left + shown, rect.Bottom), strip_->Canvas(), src);
}

// --- TsbStatusPanels --------------------------------------------------------------------

namespace {
int gTimerRegistrations = 0;
}

TsbStatusPanels::TsbStatusPanels(TsbStatusBar* bar)
    : TCollection(ItemClassOf<TsbStatusPanel>()), bar_(bar) {}

TsbStatusPanels::~TsbStatusPanels() {
  Clear();
  delete timer_;
}

TPersistent* TsbStatusPanels::GetOwner() const { return bar_; }

void TsbStatusPanels::Update(TCollectionItem* item) {
  if (item)
    PaintPanel(item->Index());
  else if (bar_)
    bar_->Invalidate();
}

void TsbStatusPanels::PaintPanel(int index) {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", {index}));
  if (!bar_->Surface()) return;
  TRect r = bar_->PanelRect(index);
  if (r.IsEmpty()) return;
  bar_->Canvas()->Font()->Assign(bar_->Font());
  GetItem(index)->PaintInto(bar_->Canvas(), r);
}

void TsbStatusPanels::RegisterTimer(TsbStatusPanel* panel) {
  if (!timer_) {
    timer_ = new TTimer(bar_);
    timer_->SetEnabled(false);
    lastDate_ = std::floor(static_cast<double>(CurrentMoment()));
    timer_->OnTimer = [this](TObject*) { Tick(); };
  }
  if (std::find(timerPanels_.begin(), timerPanels_.end(), panel) != timerPanels_.end()) return;
  timerPanels_.push_back(panel);
  ++gTimerRegistrations;
  TsbStatusPanelType t = panel->PanelType();
  if (t == sptDate && timerPanels_.size() == 1)
    timer_->SetInterval(60000);
  else if (IsTimeBearingType(t) && (timerPanels_.size() == 1 || timer_->Interval() > 1000))
    timer_->SetInterval(1000);
  else if (t == sptGauge && panel->GaugeAttrs()->Animated())
    timer_->SetInterval(50);
  timer_->SetEnabled(true);
}

void TsbStatusPanels::UnregisterTimer(TsbStatusPanel* panel) {
  auto it = std::find(timerPanels_.begin(), timerPanels_.end(), panel);
  if (it != timerPanels_.end()) {
    timerPanels_.erase(it);
    --gTimerRegistrations;
  }
  if (!timer_) return;
  if (timerPanels_.empty()) {
    delete timer_;
    timer_ = nullptr;
    return;
  }
  unsigned interval = 60000;
  for (TsbStatusPanel* p : timerPanels_) {
    if (IsTimeBearingType(p->PanelType())) interval = 1000;
    if (p->PanelType() == sptGauge && p->GaugeAttrs()->Animated()) {
      interval = 50;
      break;
    }
  }
  timer_->SetInterval(interval);
}

void TsbStatusPanels::Tick() {
  double today = std::floor(static_cast<double>(CurrentMoment()));
  bool dateChanged = today != lastDate_;
  if (dateChanged) lastDate_ = today;
  auto panels = timerPanels_;
  for (TsbStatusPanel* p : panels) {
    TsbStatusPanelType t = p->PanelType();
    if (IsTimeBearingType(t))
      p->UpdateDateTime();
    else if (t == sptDate && dateChanged)
      p->UpdateDateTime();
    else if (t == sptGauge && p->GaugeAttrs()->Animated())
      p->PaintNow();
  }
}

// --- TsbStatusBar -------------------------------------------------------------------------

TsbStatusBar::TsbStatusBar(TComponent* owner)
    : TStatusBar(owner), sbPanels_(std::make_unique<TsbStatusPanels>(this)),
      measureDc_(std::make_unique<TBitmap>()) {
  measureDc_->SetSize(1, 1);
  RebuildMeasuringFont();
}

TsbStatusBar::~TsbStatusBar() {
  sbPanels_.reset();
  assert(mainWinPanels_.empty() && "Unbalanced MainWinHook registrations");
  if (mainWinHooked_ && Application) Application->UnhookMainWindow(this);
}

void TsbStatusBar::SetUseMonitorDLL(bool v) {
  if (v == useMonitor_) return;
  // The monitor library does not exist on this platform: switching it on
  // leaves the panels on the in-process hook, as a failed load does.
  if (v && !LoadKeyboardMonitor()) return;
  useMonitor_ = v;
}

void TsbStatusBar::AddMainWinHookPanel(TsbStatusPanel* panel) {
  if (std::find(mainWinPanels_.begin(), mainWinPanels_.end(), panel) != mainWinPanels_.end()) return;
  mainWinPanels_.push_back(panel);
  if (mainWinPanels_.size() == 1 && !mainWinHooked_ && Application) {
    Application->HookMainWindow(
        [this](TMessage& m) {
          if (m.Msg == WM_ACTIVATEAPP && !useMonitor_) {
            if (m.WParam == 0) RequestLockRepaintAll();
            PostMessage(this, kSbRefreshLocks);
          }
          return false;
        },
        this);
    mainWinHooked_ = true;
  }
}

void TsbStatusBar::RemoveMainWinHookPanel(TsbStatusPanel* panel) {
  mainWinPanels_.erase(std::remove(mainWinPanels_.begin(), mainWinPanels_.end(), panel),
                       mainWinPanels_.end());
  if (mainWinPanels_.empty() && mainWinHooked_) {
    if (Application) Application->UnhookMainWindow(this);
    mainWinHooked_ = false;
  }
}

void TsbStatusBar::RebuildMeasuringFont() { measureDc_->Canvas()->Font()->Assign(Font()); }

int TsbStatusBar::MeasureText(const AnsiString& text) {
  try {
    return measureDc_->Canvas()->TextWidth(text);
  } catch (const Exception&) {
    return -1;
  }
}

void TsbStatusBar::Loaded() {
  TStatusBar::Loaded();
  RebuildMeasuringFont();
  for (int i = 0; i < sbPanels_->Count(); ++i)
    if (sbPanels_->GetItem(i)->AutoFit()) sbPanels_->GetItem(i)->UpdateAutoFitWidth();
}

void TsbStatusBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  lastMouse_ = TPoint(x, y);
  TStatusBar::MouseDown(button, shift, x, y);
}

void TsbStatusBar::Click() {
  for (int i = 0; i < sbPanels_->Count(); ++i)
    if (PanelRect(i).Contains(lastMouse_)) {
      sbPanels_->GetItem(i)->DoClick();
      break;
    }
  TStatusBar::Click();
}

void TsbStatusBar::DrawPanel(TStatusPanel* panel, const TRect& rect) {
  TsbStatusPanel* typed = nullptr;
  for (int i = 0; i < sbPanels_->Count() && !typed; ++i)
    if (sbPanels_->GetItem(i)->Linked() == panel) typed = sbPanels_->GetItem(i);
  assert(typed && "Panel links corrupted");
  if (!typed) return;
  Canvas()->Font()->Assign(Font());
  if (OnDrawPanel) OnDrawPanel(this, typed, rect);
  typed->DrawPanel(rect);
}

void TsbStatusBar::FontChanged() {
  TStatusBar::FontChanged();
  RebuildMeasuringFont();
  TUpdateScope scope(sbPanels_.get());
  for (int i = 0; i < sbPanels_->Count(); ++i)
    if (sbPanels_->GetItem(i)->AutoFit()) sbPanels_->GetItem(i)->UpdateAutoFitWidth();
}

void TsbStatusBar::EnabledChanged() {
  TStatusBar::EnabledChanged();
  Invalidate();
  for (int i = 0; i < sbPanels_->Count(); ++i) sbPanels_->GetItem(i)->UpdateRegistrations();
}

void TsbStatusBar::Paint() {
  TStatusBar::Paint();
  if (Color() != clBtnFace) DrawSizeGrip();
}

void TsbStatusBar::DrawSizeGrip() {
  TCanvas* c = Canvas();
  TRect cr = ClientRect();
  TRect r(cr.Right - 15, cr.Top + 3, cr.Right, cr.Bottom - 1);
  OffsetRect(r, -1, -1);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(r);
  c->Pen()->SetWidth(1);
  c->Pen()->SetStyle(psSolid);
  auto diagonal = [&](int k) {
    c->MoveTo(r.Right - k, r.Bottom);
    c->LineTo(r.Right, r.Bottom - k);
  };
  c->Pen()->SetColor(clBtnHighlight);
  for (int k : {2, 13, 9, 5}) diagonal(k);
  c->SetPixels(r.Right - 1, r.Bottom, clBtnHighlight);
  c->Pen()->SetColor(clBtnShadow);
  for (int k : {11, 7, 3}) diagonal(k);
  c->MoveTo(r.Left, r.Top);
  c->LineTo(r.Right, r.Top);
}

void TsbStatusBar::HintShow(THintInfo& info) {
  TPoint p = info.CursorPos;
  int n = sbPanels_->Count();
  for (int i = 0; i < n; ++i) {
    TRect r = PanelRect(i);
    if (!r.Contains(p)) continue;
    AnsiString hint = sbPanels_->GetItem(i)->Hint();
    if (!hint.IsEmpty()) {
      info.HintStr = hint;
      info.CursorRect = r;
      return;
    }
    break;
  }
  // The bar's own hint, valid only up to the nearest panels with hints.
  for (int i = 0; i < n; ++i) {
    TRect r = PanelRect(i);
    if (r.IsEmpty() || sbPanels_->GetItem(i)->Hint().IsEmpty()) continue;
    if (r.Right <= p.X()) info.CursorRect.Left = std::max(info.CursorRect.Left, r.Right);
    if (r.Left > p.X()) {
      info.CursorRect.Right = std::min(info.CursorRect.Right, r.Left);
      break;
    }
  }
}

void TsbStatusBar::WndProc(TMessage& message) {
  if (message.Msg == kSbRefreshLocks) {
    TUpdateScope scope(sbPanels_.get());
    for (int i = 0; i < sbPanels_->Count(); ++i)
      if (IsLockType(sbPanels_->GetItem(i)->PanelType())) sbPanels_->GetItem(i)->PaintNow();
    return;
  }
  TStatusBar::WndProc(message);
  if (message.Msg == CM_HINTSHOW && message.LParam)
    HintShow(*reinterpret_cast<THintInfo*>(message.LParam));
}

// --- publishing --------------------------------------------------------------------------

PAYROLL_PUBLISH(TsbGaugeAttrs) {
  p.Property("Style", &TsbGaugeAttrs::Style, &TsbGaugeAttrs::SetStyle).Default(gsPercent);
  p.Property("Position", &TsbGaugeAttrs::Position, &TsbGaugeAttrs::SetPosition).Default(0);
  p.Property("Speed", &TsbGaugeAttrs::Speed, &TsbGaugeAttrs::SetSpeed).Default(4);
  p.Property("Color", &TsbGaugeAttrs::Color, &TsbGaugeAttrs::SetColor).Default(clHighlight);
  p.Property("TextColor", &TsbGaugeAttrs::TextColor, &TsbGaugeAttrs::SetTextColor).Default(clHighlightText);
}

PAYROLL_PUBLISH(TsbStatusPanel) {
  p.Property("GaugeAttrs", &TsbStatusPanel::GaugeAttrs);
  p.Property("Alignment", &TsbStatusPanel::Alignment, &TsbStatusPanel::SetAlignment).Default(taLeftJustify);
  p.Property("Bevel", &TsbStatusPanel::Bevel, &TsbStatusPanel::SetBevel).Default(pbLowered);
  p.Property("BorderWidth", &TsbStatusPanel::BorderWidth, &TsbStatusPanel::SetBorderWidth).Default(0);
  p.Property("PanelType", &TsbStatusPanel::PanelType, &TsbStatusPanel::SetPanelType).Default(sptNormal);
  p.Property("Glyph", &TsbStatusPanel::Glyph);
  p.Property("Text", &TsbStatusPanel::Text, &TsbStatusPanel::SetText);
  p.Property("DateFormat", &TsbStatusPanel::DateFormat, &TsbStatusPanel::SetDateFormat);
  p.Property("TimeFormat", &TsbStatusPanel::TimeFormat, &TsbStatusPanel::SetTimeFormat);
  p.Property("Enabled", &TsbStatusPanel::OwnEnabled, &TsbStatusPanel::SetEnabled);
  p.Property("Width", &TsbStatusPanel::Width, &TsbStatusPanel::SetWidth);
  p.Property("AutoFit", &TsbStatusPanel::AutoFit, &TsbStatusPanel::SetAutoFit);
  p.Property("Hint", &TsbStatusPanel::StoredHint, &TsbStatusPanel::SetHint);
}

PAYROLL_PUBLISH(TsbStatusPanels) {}

PAYROLL_PUBLISH(TsbStatusBar) {
  p.Property("Panels", &TsbStatusBar::Panels);
  p.Property("UseMonitorDLL", &TsbStatusBar::UseMonitorDLL, &TsbStatusBar::SetUseMonitorDLL).Default(false);
}

void RegisterDecorClasses() { RegisterClasses<TsbStatusBar, TXPStyler>(); }
