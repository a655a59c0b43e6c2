// ImageList: TCustomImageList / TImageList, a list of equally sized images
// with masks, drawn in the normal, selected, focused or disabled look.
//
// Images are held as 32-bit images whose alpha is the mask (0: transparent).
// A bitmap wider than the list is cut into Width-wide images, left to
// right, as the original platform's list does.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Bitmaps.h"

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType { itImage, itMask };

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* owner);
  // A list for images of the given size (CreateSize).
  TCustomImageList(int width, int height, TComponent* owner = nullptr);
  ~TCustomImageList() override;
  void Assign(TPersistent* source) override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size empties the list.
  void SetWidth(int w);
  void SetHeight(int h);
  int Count() const { return static_cast<int>(images_.size()); }
  // Where an image's mask is transparent: clNone leaves it transparent,
  // another colour fills it.
  TColor BkColor() const { return bkColor_; }
  void SetBkColor(TColor c) { bkColor_ = c; Changed(); }
  // The colour selected and focused images are blended with (clNone:
  // clHighlight).
  TColor BlendColor() const { return blendColor_; }
  void SetBlendColor(TColor c) { blendColor_ = c; Changed(); }
  TDrawingStyle DrawingStyle() const { return drawingStyle_; }
  void SetDrawingStyle(TDrawingStyle s) { drawingStyle_ = s; Changed(); }
  bool Masked() const { return masked_; }
  void SetMasked(bool on) { masked_ = on; Changed(); }

  // Adds image (cut into Width-wide pieces) with mask (set pixels are
  // transparent; nullptr: opaque).  Returns the index of the first image
  // added.  An empty image or one smaller than the list raises EInvalidOperation
  // "Invalid image size".
  int Add(TBitmap* image, TBitmap* mask);
  // Adds image with every pixel of maskColor transparent.
  int AddMasked(TBitmap* image, TColor maskColor);
  int AddIcon(TIcon* icon);
  void Replace(int index, TBitmap* image, TBitmap* mask);
  void Delete(int index);  // index -1 clears the list
  void Clear();
  void Move(int curIndex, int newIndex);

  // Draws image index with its top-left at (x, y) in the list's style;
  // a disabled image is drawn embossed in the highlight and shadow colours.
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
  void Draw(TCanvas* canvas, int x, int y, int index, TDrawingStyle style, TImageType type,
            bool enabled);
  // The image on a bitmap of the list's size, its transparent parts in
  // BkColor (white when clNone).
  void GetBitmap(int index, TBitmap* out);

  TNotifyEvent OnChange;

 private:
  void Changed();
  void CheckIndex(int index) const;
  void AddPieces(const QImage& source);

  int width_ = 16;
  int height_ = 16;
  TColor bkColor_ = clNone;
  TColor blendColor_ = clNone;
  TDrawingStyle drawingStyle_ = dsNormal;
  bool masked_ = true;
  std::vector<std::unique_ptr<QImage>> images_;
};

class TImageList : public TCustomImageList {
 public:
  using TCustomImageList::TCustomImageList;
};
