// Geometry: the class library's points, sizes and rectangles, and the
// rectangle helpers of the original platform.
//
// A TRect covers the pixels Left <= x < Right, Top <= y < Bottom: the right
// and bottom edges lie outside it, so Width() = Right - Left and two
// rectangles that share an edge do not overlap.  A rectangle with
// Right <= Left or Bottom <= Top is empty.  Header only; no Qt.
#pragma once

#include <algorithm>

struct TPoint {
  int x = 0;
  int y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int ax, int ay) : x(ax), y(ay) {}
  // The class library also spells the fields X and Y.
  constexpr int X() const { return x; }
  constexpr int Y() const { return y; }
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  constexpr TSize() = default;
  constexpr TSize(int w, int h) : cx(w), cy(h) {}
  friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr TRect(const TPoint& topLeft, const TPoint& bottomRight)
      : Left(topLeft.x), Top(topLeft.y), Right(bottomRight.x), Bottom(bottomRight.y) {}

  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(const TPoint& p) const {
    return p.x >= Left && p.x < Right && p.y >= Top && p.y < Bottom;
  }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TPoint Point(int x, int y) { return {x, y}; }
constexpr TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
// A rectangle given by its origin and size.
constexpr TRect Bounds(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}

// The original platform's rectangle functions, with its return values:
// those returning bool report whether the result is non-empty.
constexpr bool IsRectEmpty(const TRect& r) { return r.IsEmpty(); }
constexpr bool PtInRect(const TRect& r, const TPoint& p) { return r.Contains(p); }
inline void SetRect(TRect& r, int l, int t, int rt, int b) { r = TRect(l, t, rt, b); }
inline void SetRectEmpty(TRect& r) { r = TRect(); }
inline void OffsetRect(TRect& r, int dx, int dy) {
  r.Left += dx; r.Right += dx; r.Top += dy; r.Bottom += dy;
}
// Grows the rectangle by dx on the left and right and dy on top and bottom
// (negative values shrink it).
inline void InflateRect(TRect& r, int dx, int dy) {
  r.Left -= dx; r.Right += dx; r.Top -= dy; r.Bottom += dy;
}
// The overlap of a and b; an empty overlap gives the all-zero rectangle.
inline bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r(std::max(a.Left, b.Left), std::max(a.Top, b.Top),
          std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom));
  if (r.IsEmpty()) { dst = TRect(); return false; }
  dst = r;
  return true;
}
// The smallest rectangle holding both; empty inputs are ignored.
inline bool UnionRect(TRect& dst, const TRect& a, const TRect& b) {
  if (a.IsEmpty()) { dst = b.IsEmpty() ? TRect() : b; return !dst.IsEmpty(); }
  if (b.IsEmpty()) { dst = a; return true; }
  dst = TRect(std::min(a.Left, b.Left), std::min(a.Top, b.Top),
              std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom));
  return true;
}
inline bool EqualRect(const TRect& a, const TRect& b) { return a == b; }
