// GridExUtils: the grid unit's shared small pieces -- its exception, the
// constants of incremental search, and the text and integer helpers that
// titles, painting and the selection share.
//
// Layer: grid (platform/ui beneath).
#pragma once

#include "platform/core/Exceptions.h"
#include "platform/ui/Graphics.h"
#include "platform/ui/Menus.h"

PAYROLL_DECLARE_EXCEPTION(EInvalidGridOperation, Exception)

// Raises EInvalidGridOperation with message.
[[noreturn]] void RaiseGridError(const AnsiString& message);

// Keys and colours of the grid's incremental search.
constexpr TShortCut IncSearchShortCut = scCtrl | 'F';
constexpr TShortCut IncSearchNextShortCut = scCtrl | 0x0D;             // Ctrl+Enter
constexpr TShortCut IncSearchPriorShortCut = scCtrl | scShift | 0x0D;  // Ctrl+Shift+Enter
constexpr unsigned IncSearchTimeout = 1500;                            // ms
constexpr TColor IncSearchColor = clYellow;
constexpr TColor IncSearchFontColor = clBlack;

// Text shortened with a trailing "..." until canvas draws it within
// maxWidth; a text that fits is returned unchanged, one that never fits
// becomes "...".  Never cuts a double-byte character in two.
AnsiString FitTextWithEllipsis(const AnsiString& text, TCanvas* canvas, int maxWidth);

// The first bytes of text, at most count of them, never ending in the
// lead byte of a double-byte character.
AnsiString LeadingBytes(const AnsiString& text, size_t count);

// How many bytes at the start of text match search, ignoring letter case
// (double-byte aware: a trail byte is never upper-cased on its own) and
// counting whole characters only.
size_t IncSearchMatchLength(const AnsiString& text, const AnsiString& search);

// Edges inclusive.
inline bool PointInRect(const TPoint& p, const TRect& r) {
  return p.x >= r.Left && p.x <= r.Right && p.y >= r.Top && p.y <= r.Bottom;
}
inline int ChooseInt(bool condition, int a, int b) { return condition ? a : b; }
inline void SwapInts(int& a, int& b) {
  int t = a;
  a = b;
  b = t;
}

// Sets a flag for the guard's lifetime and puts the old value back.
struct TFlagScope {
  bool& flag;
  bool saved;
  explicit TFlagScope(bool& f) : flag(f), saved(f) { flag = true; }
  ~TFlagScope() { flag = saved; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;
};
