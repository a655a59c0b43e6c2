// SbStatusBar: TsbStatusBar, a status bar whose panels each have a type --
// text, a lock key, date and time, text or a path shortened with an
// ellipsis, a glyph with text, a gauge, or owner-drawn -- and paint
// themselves by it.
//
// Typed panel i is linked to the plain owner-drawn panel i of the
// underlying TStatusBar, which keeps its width, alignment and bevel.  A
// panel paints through an off-screen bitmap of its rectangle less one
// pixel all round, copied in one step; repaints caused by the timer, the
// keyboard hook and SetText go straight onto the bar's canvas.
//
// Registrations: an enabled lock panel registers with the keyboard hook
// and its bar's main-window hook list (LockKeys.h); an enabled date or time
// panel, or an animated gauge, with its bar's one shared timer, which runs
// every 60000 ms for a date alone, 1000 ms with a clock, 50 ms with an
// animated gauge, and exists only while a panel is registered.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/DateTime.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StatusBar.h"

class TsbStatusBar;
class TsbStatusPanel;
class TsbStatusPanels;

enum TsbStatusPanelType {
  sptNormal, sptCapsLock, sptNumLock, sptScrollLock, sptDate, sptTime, sptDateTime, sptTimeDate,
  sptEllipsisText, sptEllipsisPath, sptGlyph, sptGauge, sptOwnerDraw
};
PAYROLL_ENUM_NAMES(TsbStatusPanelType, sptNormal, sptCapsLock, sptNumLock, sptScrollLock, sptDate,
                   sptTime, sptDateTime, sptTimeDate, sptEllipsisText, sptEllipsisPath, sptGlyph,
                   sptGauge, sptOwnerDraw)
enum TsbGaugeStyle { gsPercent, gsIndeterminate, gsIndeterminate2 };
PAYROLL_ENUM_NAMES(TsbGaugeStyle, gsPercent, gsIndeterminate, gsIndeterminate2)

using TsbDrawPanelEvent = std::function<void(TsbStatusBar* bar, TsbStatusPanel* panel, const TRect& rect)>;
using TsbPanelHintTextEvent =
    std::function<void(TsbStatusBar* bar, TsbStatusPanel* panel, AnsiString& hint)>;

inline bool IsLockType(TsbStatusPanelType t) { return t >= sptCapsLock && t <= sptScrollLock; }
inline bool IsDateTimeType(TsbStatusPanelType t) { return t >= sptDate && t <= sptTimeDate; }
inline bool IsTimeBearingType(TsbStatusPanelType t) { return t >= sptTime && t <= sptTimeDate; }

// The lock panels' texts.
extern const char* const kSbCapsText;    // " CAPS "
extern const char* const kSbNumText;     // " NUM "
extern const char* const kSbScrollText;  // " SCROLL "

class TsbGaugeAttrs : public TPersistent {
  PAYROLL_CLASS(TsbGaugeAttrs, TPersistent)
 public:
  explicit TsbGaugeAttrs(TsbStatusPanel* owner) : owner_(owner) {}
  TsbGaugeStyle Style() const { return style_; }
  void SetStyle(TsbGaugeStyle s);
  int Position() const { return position_; }
  void SetPosition(int p);  // 0..100, clamped
  int Speed() const { return speed_; }
  void SetSpeed(int s);     // values below 1 are refused
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  TColor TextColor() const { return textColor_; }
  void SetTextColor(TColor c);
  // Copies every setting of another TsbGaugeAttrs through the setters.
  void Assign(TPersistent* source) override;
  bool Animated() const { return style_ != gsPercent; }

 private:
  TsbGaugeStyle style_ = gsPercent;
  TsbStatusPanel* owner_;
  int position_ = 0;
  int speed_ = 4;
  TColor color_ = clHighlight;
  TColor textColor_ = clHighlightText;
};

class TsbStatusPanel : public TCollectionItem {
  PAYROLL_CLASS(TsbStatusPanel, TCollectionItem)
 public:
  explicit TsbStatusPanel(TCollection* collection);
  ~TsbStatusPanel() override;

  TsbGaugeAttrs* GaugeAttrs() const { return gauge_.get(); }
  void SetGaugeAttrs(TsbGaugeAttrs* a) { gauge_->Assign(a); }
  TAlignment Alignment() const;
  void SetAlignment(TAlignment a);
  TStatusPanelBevel Bevel() const;
  void SetBevel(TStatusPanelBevel b);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int w);
  TsbStatusPanelType PanelType() const { return type_; }
  void SetPanelType(TsbStatusPanelType t);
  TPicture* Glyph() const { return glyph_.get(); }
  void SetGlyph(TPicture* p) { glyph_->Assign(p); }
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& t);
  const AnsiString& DateFormat() const { return dateFormat_; }
  void SetDateFormat(const AnsiString& f);
  const AnsiString& TimeFormat() const { return timeFormat_; }
  void SetTimeFormat(const AnsiString& f);
  // The own flag together with the bar's enabled state.
  bool Enabled() const;
  bool OwnEnabled() const { return enabled_; }
  void SetEnabled(bool v);
  int Width() const;
  void SetWidth(int w);
  bool AutoFit() const { return autoFit_; }
  void SetAutoFit(bool v);
  // The hint as read: "..." on an ellipsis panel reads its whole text;
  // then OnHintText may change it.
  AnsiString Hint();
  const AnsiString& StoredHint() const { return hint_; }
  void SetHint(const AnsiString& h) { hint_ = h; }

  TsbStatusBar* Bar() const;
  TStatusPanel* Linked() const { return linked_; }
  void Assign(TPersistent* source) override;
  AnsiString DisplayName() const override;
  void SetIndex(int index) override;

  virtual void UpdateAutoFitWidth();
  virtual void UpdateDateTime();
  virtual void UpdateRegistrations();
  // Paints the panel straight onto the bar's canvas (no invalidation).
  void PaintNow();
  // Called for the owner-drawn plain panel.
  virtual void DrawPanel(const TRect& rect);
  // Paints the panel into canvas at rect (the panel's whole rectangle).
  virtual void PaintInto(TCanvas* canvas, const TRect& rect);
  virtual void DoClick() { if (OnClick) OnClick(this); }

  // The key state shown by a lock panel under the keyboard monitor.
  bool LockState() const { return lockState_; }
  void SetLockState(bool v) { lockState_ = v; }
  int AnimationPosition() const { return animPos_; }
  int AnimationStep() const { return animStep_; }
  void RestartAnimation();
  void GaugeChanged(bool colorChanged);
  void GaugeStyleChanged(bool wasAnimated);
  void SpeedChanged();

  TsbDrawPanelEvent OnDrawPanel;
  TsbPanelHintTextEvent OnHintText;
  TNotifyEvent OnClick;

 protected:
  virtual void GlyphChanged();
  virtual void DoHintText(AnsiString& hint);
  void Repaint();
  void DropRegistrations();
  void AddRegistrations();
  void PaintText(TCanvas* c, const TRect& r);
  void PaintLock(TCanvas* c, const TRect& r);
  void PaintGlyph(TCanvas* c, const TRect& r);
  void PaintPercent(TCanvas* c, const TRect& r);
  void PaintAnimated(TCanvas* c, const TRect& r);
  void BuildGradientStrip(int height);

 private:
  friend class TsbStatusBar;
  bool lockState_ = false;
  TsbStatusPanelType type_ = sptNormal;
  bool autoFit_ = false;
  bool enabled_ = true;
  AnsiString timeFormat_, dateFormat_, text_;
  std::unique_ptr<TPicture> glyph_;
  int animPos_ = 0;
  int animStep_ = 1;
  AnsiString hint_;
  std::unique_ptr<TsbGaugeAttrs> gauge_;
  std::unique_ptr<TBitmap> strip_;
  int borderWidth_ = 0;
  TStatusPanel* linked_ = nullptr;
};

class TsbStatusPanels : public TCollection {
  PAYROLL_CLASS(TsbStatusPanels, TCollection)
 public:
  explicit TsbStatusPanels(TsbStatusBar* bar);
  ~TsbStatusPanels() override;
  TsbStatusPanel* Add() { return static_cast<TsbStatusPanel*>(TCollection::Add()); }
  TsbStatusPanel* GetItem(int index) const { return static_cast<TsbStatusPanel*>(Items(index)); }
  TsbStatusPanel* operator[](int index) const { return GetItem(index); }
  TsbStatusBar* Bar() const { return bar_; }

  // The shared timer (null while no panel is registered).
  TTimer* Timer() const { return timer_; }
  void RegisterTimer(TsbStatusPanel* panel);
  void UnregisterTimer(TsbStatusPanel* panel);
  const std::vector<TsbStatusPanel*>& TimerPanels() const { return timerPanels_; }
  void Tick();
  // Paints panel index straight onto the bar; EListError for a bad index.
  void PaintPanel(int index);
  TPersistent* GetOwner() const override;

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TTimer* timer_ = nullptr;
  std::vector<TsbStatusPanel*> timerPanels_;
  double lastDate_ = 0;
  TsbStatusBar* bar_;
};

class TsbStatusBar : public TStatusBar {
  PAYROLL_CLASS(TsbStatusBar, TStatusBar)
 public:
  explicit TsbStatusBar(TComponent* owner);
  ~TsbStatusBar() override;
  TsbStatusPanels* Panels() const { return sbPanels_.get(); }
  void SetPanels(TsbStatusPanels* p) { sbPanels_->Assign(p); }
  TStatusPanels* PlainPanels() const { return TStatusBar::Panels(); }
  bool UseMonitorDLL() const { return useMonitor_; }
  void SetUseMonitorDLL(bool v);
  AnsiString Version() const { return "TsbStatusBar v1.24"; }
  void SetVersion(const AnsiString&) {}

  // The main-window hook list of lock panels (idempotent, see LockKeys.h).
  void AddMainWinHookPanel(TsbStatusPanel* panel);
  void RemoveMainWinHookPanel(TsbStatusPanel* panel);
  const std::vector<TsbStatusPanel*>& MainWinHookPanels() const { return mainWinPanels_; }
  bool MainWindowHooked() const { return mainWinHooked_; }
  // Text width in the measuring font; -1 when it cannot be measured.
  int MeasureText(const AnsiString& text);
  void RebuildMeasuringFont();

  void Loaded() override;
  void Click() override;
  void Paint() override;
  void WndProc(TMessage& message) override;

  TsbDrawPanelEvent OnDrawPanel;

 protected:
  void DrawPanel(TStatusPanel* panel, const TRect& rect) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void FontChanged() override;
  void EnabledChanged() override;
  void DrawSizeGrip();
  void HintShow(THintInfo& info);

 private:
  std::unique_ptr<TsbStatusPanels> sbPanels_;
  std::vector<TsbStatusPanel*> mainWinPanels_;
  bool mainWinHooked_ = false;
  std::unique_ptr<TBitmap> measureDc_;
  bool useMonitor_ = false;
  TPoint lastMouse_;
};

// Test hook: the clock the date and time panels read (null: Now()).
void SetStatusBarClock(std::function<TDateTime()> clock);

// Registers the decoration classes for the text form.
void RegisterDecorClasses();
