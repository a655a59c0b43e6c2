// Tool-bar controls of the report preview: TrbSpeedButton (a speed button
// with groups and a down state whose flat form looks grey while the mouse
// is not over it), TrbTBButton (flat, for tool bars) and TrbTBSeparator (a
// gap with an optional bevel).  Calls platform/ui.
//
// Glyph images: each button keeps five images of its glyph, one per state
// (up, disabled, down, exclusive, inactive), as indexes into a program-wide
// cache that holds one image list per glyph size; -1 is "not made yet".
// Invariants:
//   G1  a list exists only while one of its slots is in use; the cache
//       exists only while it holds a list;
//   G2  any change of a button's glyph releases its five images.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/ui/Bitmaps.h"
#include "platform/ui/Buttons.h"

// The images of one glyph size; slots are reused once released.
class TrbGlyphList {
 public:
  TrbGlyphList(int width, int height) : width_(width), height_(height) {}
  int Add(const TBitmap& image);
  void Release(int index);
  TBitmap* Image(int index) const;
  int InUse() const;

 private:
  int width_, height_;
  std::vector<std::unique_ptr<TBitmap>> slots_;
  std::vector<bool> used_;
};

// The list of a glyph size, made when missing.
TrbGlyphList* rbGlyphList(int width, int height);
// Releases a slot; the list goes with its last slot, the cache with its
// last list (G1).
void rbReleaseGlyph(int width, int height, int index);
int rbGlyphListCount();
bool rbGlyphCacheExists();
// Glyphs in a bitmap: its width divided by its height when that is 1 to 4,
// else 1.
int rbGlyphCount(int width, int height);
// The inactive image: every pixel that is neither the transparent colour
// nor the face colour becomes grey of brightness (77 R + 150 G + 29 B) / 256.
void rbMakeInactiveGlyph(const TBitmap& source, TColor transparent, TColor face, TBitmap& out);

class TrbSpeedButton : public TSpeedButton {
 public:
  explicit TrbSpeedButton(TComponent* owner);
  ~TrbSpeedButton() override;
  // With GrayedInactive an enabled flat button is drawn in its grey
  // inactive state while the mouse is not over it.
  bool GrayedInactive() const { return grayedInactive_; }
  void SetGrayedInactive(bool v);
  // The glyph's transparent colour: the bitmap's, olive before one is known.
  TColor TransparentColor() const;
  // The state the button is drawn in now: 0 up, 1 disabled, 2 down (pressed),
  // 3 exclusive (down), 4 inactive.
  int DrawState() const;
  // The cached image of a state (made at first use), or null without glyph.
  TBitmap* StateImage(int state);
  int CachedIndex(int state) const { return images_[static_cast<size_t>(state)]; }
  void Paint() override;

 private:
  void ReleaseImages();
  bool grayedInactive_ = true;
  std::array<int, 5> images_{-1, -1, -1, -1, -1};
  int imageW_ = 0, imageH_ = 0;
};

class TrbTBButton : public TrbSpeedButton {
 public:
  explicit TrbTBButton(TComponent* owner);
};

class TrbTBSeparator : public TGraphicControl {
 public:
  explicit TrbTBSeparator(TComponent* owner);
  bool DrawBevel() const { return drawBevel_; }
  void SetDrawBevel(bool v);

 protected:
  void Paint() override;

 private:
  bool drawBevel_ = true;
};
