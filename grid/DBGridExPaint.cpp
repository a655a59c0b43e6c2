// TCustomDBGridEx: painting.
//
// Paint draws the grid lines, then every cell that meets the canvas's
// clip through DrawCell, then fills what lies right of the last column and
// below the last row.  DrawCell sorts a cell into one of: indicator, title,
// spacer or footer, record cell; 3D cells are shrunk by one pixel, painted,
// grown back and framed.
//
// Colours: selected titles and indicator cells RGB(64,64,64) with white
// text; highlighted data cells clHighlight / clHighlightText; fixed lines
// black (gray when Flat); data lines silver (gray on a silver grid).
//
// Every data and footer cell goes through the one cell-parameters object:
// the column fills it, OnGetCellParams and the column's own event may
// change font, colour, alignment and text, then the text is written.
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <functional>

#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "grid/GridSelection.h"
#include "grid/SortIndexFont.h"
#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Forms.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Frames3D.h"
#include "platform/ui/QtText.h"
#include "platform/ui/SysColors.h"

namespace {

constexpr TColor kSelectedFixedColor = 0x404040;  // RGB(64,64,64)
constexpr TColor kTeal = 0x808000;
constexpr TColor kFuchsia = 0xFF00FF;
constexpr TColor kGray = 0x808080;
constexpr TColor kSilver = 0xC0C0C0;
// Room a sort marker takes off a title's text.
constexpr int kSortMarkerRoom = 16;

// Glyph sizes (the layout reserves room for them: the indicator column is
// 11 pixels wide, a sort marker 16 including its gap).
constexpr int kIndicatorGlyphW = 8, kIndicatorGlyphH = 10;
constexpr int kSortGlyphW = 12, kSortGlyphH = 8;

unsigned AlignFlags(TAlignment a) {
  switch (a) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}

// The cell text writer: fills rect (unless the brush is clear), then
// writes text inside the margins, top-aligned one margin down, single-line
// or word-wrapped, with an ellipsis when asked.
void WriteCellText(TCanvas* canvas, const TRect& rect, bool fill, int leftMargin, int margin,
                   const AnsiString& text, TAlignment alignment, bool wordWrap, bool endEllipsis,
                   int shift = 0) {
  if (fill) canvas->FillRect(rect);
  TRect r(rect.Left + leftMargin + shift, rect.Top + margin + shift, rect.Right - margin + shift,
          rect.Bottom + shift);
  if (r.Right <= r.Left || text.empty()) return;
  unsigned flags = DT_NOPREFIX | AlignFlags(alignment);
  flags |= wordWrap ? DT_WORDBREAK : DT_SINGLELINE;
  if (endEllipsis) flags |= DT_END_ELLIPSIS;
  TBrushStyle saved = canvas->Brush()->Style();
  canvas->Brush()->SetStyle(bsClear);
  canvas->DrawText(text, r, flags);
  canvas->Brush()->SetStyle(saved);
}

// The vertical text writer: text turned a quarter left (reading bottom
// to top), aligned along the cell's height as alignment says, centred
// across its width, clipped to rect.
void WriteVerticalText(TCanvas* canvas, const TRect& rect, const AnsiString& text,
                       TAlignment alignment, int margin) {
  if (text.empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
  QPainter& p = canvas->Painter();
  p.save();
  if (canvas->HasClip()) p.setClipRegion(canvas->ClipRegion());
  p.setClipRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), Qt::IntersectClip);
  p.setFont(ToQFont(*canvas->Font()));
  TColor colour = canvas->Font()->Color();
  unsigned rgb = ColorToRGB(colour);
  p.setPen(QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF));
  const int length = canvas->TextWidth(text), height = canvas->TextHeight(text);
  int y = alignment == taLeftJustify    ? rect.Bottom - margin
          : alignment == taRightJustify ? rect.Top + margin + length
                                        : (rect.Top + rect.Bottom + length) / 2;
  int x = (rect.Left + rect.Right - height) / 2;
  p.translate(x, y);
  p.rotate(-90);
  p.drawText(QRect(0, 0, length + 2, height), Qt::AlignLeft | Qt::AlignTop, ToQString(text));
  p.restore();
}

void DrawIndicatorGlyph(TBitmap* bmp, int kind, TColor glyph, TColor background) {
  TCanvas* c = bmp->Canvas();
  c->Brush()->SetColor(background);
  c->FillRect(TRect(0, 0, kIndicatorGlyphW, kIndicatorGlyphH));
  c->Pen()->SetColor(glyph);
  c->Brush()->SetColor(glyph);
  auto arrow = [&](int left) {
    for (int i = 0; i < 4; ++i) {
      c->MoveTo(left + i, 1 + i);
      c->LineTo(left + i, kIndicatorGlyphH - 1 - i);
    }
  };
  switch (kind) {
    case 0:  // current row
      arrow(2);
      break;
    case 1:  // editing: an I-beam
      c->MoveTo(4, 1);
      c->LineTo(4, 9);
      c->MoveTo(2, 1);
      c->LineTo(7, 1);
      c->MoveTo(2, 8);
      c->LineTo(7, 8);
      break;
    case 2:  // inserting: an asterisk
      c->MoveTo(4, 1);
      c->LineTo(4, 9);
      c->MoveTo(1, 5);
      c->LineTo(8, 5);
      c->MoveTo(2, 2);
      c->LineTo(7, 8);
      c->MoveTo(6, 2);
      c->LineTo(1, 8);
      break;
    case 3:  // multi-selected: a dot
      c->FillRect(TRect(3, 4, 6, 7));
      break;
    case 4:  // current and multi-selected
      arrow(1);
      c->FillRect(TRect(6, 4, 8, 7));
      break;
    default:
      break;
  }
}

void DrawSortGlyph(TBitmap* bmp, bool up) {
  TCanvas* c = bmp->Canvas();
  c->Brush()->SetColor(kFuchsia);
  c->FillRect(TRect(0, 0, kSortGlyphW, kSortGlyphH));
  // A triangle with a shadowed left and a lit right edge.
  for (int row = 0; row < 6; ++row) {
    int y = up ? 1 + row : kSortGlyphH - 2 - row;
    int half = row;
    int cx = 5;
    c->Pen()->SetColor(kGray);
    c->MoveTo(cx - half, y);
    c->LineTo(cx + 1, y);
    c->Pen()->SetColor(clWhite);
    c->MoveTo(cx + 1, y);
    c->LineTo(cx + 2 + half, y);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Pictures

void TCustomDBGridEx::BuildImages() {
  indicators_ = std::make_unique<TImageList>(kIndicatorGlyphW, kIndicatorGlyphH);
  for (int kind = 0; kind < 5; ++kind) {
    TBitmap bmp(kIndicatorGlyphW, kIndicatorGlyphH);
    DrawIndicatorGlyph(&bmp, kind, clBlack, clWhite);
    indicators_->AddMasked(&bmp, clWhite);
  }
  {
    TBitmap bmp(kIndicatorGlyphW, kIndicatorGlyphH);
    DrawIndicatorGlyph(&bmp, 0, clWhite, kTeal);
    indicators_->AddMasked(&bmp, kTeal);
  }
  {
    // The current row while an incremental search runs: the arrow in the
    // search colour.
    TColor glyph = IncSearchColor == kTeal ? TColor(0x7F7F00) : IncSearchColor;
    TBitmap bmp(kIndicatorGlyphW, kIndicatorGlyphH);
    DrawIndicatorGlyph(&bmp, 0, glyph, kTeal);
    indicators_->AddMasked(&bmp, kTeal);
  }
  sortMarkers_ = std::make_unique<TImageList>(kSortGlyphW, kSortGlyphH);
  for (bool up : {false, true}) {
    TBitmap bmp(kSortGlyphW, kSortGlyphH);
    DrawSortGlyph(&bmp, up);
    sortMarkers_->AddMasked(&bmp, kFuchsia);
  }
}

// ---------------------------------------------------------------------------
// Paint

void TCustomDBGridEx::PaintGridLines(const TGridDrawInfo& info) {
  const TGridAxisDrawInfo& H = info.Horz;
  const TGridAxisDrawInfo& V = info.Vert;
  const bool colLines = options_.Contains(dgColLines), rowLines = options_.Contains(dgRowLines);
  const TColor fixedLine = flat_ ? kGray : clBlack;
  const TColor dataLine = Color() == kSilver ? kGray : kSilver;
  const int ind = IndicatorCols();
  // Title rows over every column.
  DrawLines(info, rowLines, colLines, 0, 0, ColCount(), FixedRows(),
            TRect(H.Origin, V.Origin, H.GridBoundary, V.FixedBoundary), fixedLine, FixedColor());
  // Indicator column over the data rows.
  DrawLines(info, rowLines, colLines, 0, TopRow(), ind, RowCount(),
            TRect(H.Origin, V.FixedBoundary, H.FixedBoundary, V.GridBoundary), fixedLine,
            FixedColor());
  // Frozen columns: fixed lines with the 3D look, data lines without.
  if (FixedCols() > ind) {
    TColor frozen = frozenCols_ > 0 && !optionsEx_.Contains(dghFrozen3D) ? dataLine : fixedLine;
    int left = ind > 0 ? CellRect(ind, TopRow()).Left : H.Origin;
    DrawLines(info, rowLines, colLines, ind, TopRow(), FixedCols(), RowCount(),
              TRect(left, V.FixedBoundary, H.FixedBoundary, V.GridBoundary), frozen, Color());
  }
  DrawLines(info, rowLines, colLines, LeftCol(), TopRow(), ColCount(), RowCount(),
            TRect(H.FixedBoundary, V.FixedBoundary, H.GridBoundary, V.GridBoundary), dataLine,
            Color());
  if (footerRowCount_ > 0 &&
      (optionsEx_.Contains(dghFooter3D) || footerColor_ == clBtnFace)) {
    int first = RowCount() - footerRowCount_;
    TRect top = CellRect(0, first);
    if (top.Height() > 0) {
      DrawLines(info, rowLines, colLines, 0, first, ColCount(), RowCount(),
                TRect(H.Origin, top.Top, H.GridBoundary, V.GridBoundary), fixedLine, FixedColor());
      if (rowLines) {
        Canvas()->Brush()->SetColor(fixedLine);
        Canvas()->FillRect(
            TRect(H.Origin, top.Top - V.EffectiveLineWidth, H.GridBoundary, top.Top));
      }
    }
  }
}

void TCustomDBGridEx::Paint() {
  if (rowSelectRelayout_) return;
  drawnGroups_.clear();
  TGridDrawInfo info;
  CalcDrawInfo(info);
  const TGridAxisDrawInfo& H = info.Horz;
  const TGridAxisDrawInfo& V = info.Vert;
  PaintNonClient();
  if (GridLineWidth() > 0) PaintGridLines(info);
  DrawCells(info, 0, 0, H.Origin, V.Origin, H.FixedBoundary, V.FixedBoundary, false);
  {
    int y = V.Origin;
    for (int row = 0; row < FixedRows(); ++row) {
      DrawCells(info, LeftCol(), row, H.FixedBoundary, y, H.GridBoundary, y + RowHeights(row),
                false);
      y += RowHeights(row) + V.EffectiveLineWidth;
    }
  }
  DrawCells(info, 0, TopRow(), H.Origin, V.FixedBoundary, H.FixedBoundary, V.GridBoundary,
            false);
  DrawCells(info, LeftCol(), TopRow(), H.FixedBoundary, V.FixedBoundary, H.GridBoundary,
            V.GridBoundary, true);
  TCanvas* c = Canvas();
  if (!IsDesigning() && options_.Contains(dgRowSelect) && DefaultDrawing() && Focused()) {
    TRect first = CellRect(FixedCols(), Row());
    TRect last = CellRect(ColCount() - 1, Row());
    if (first.Height() > 0) c->DrawFocusRect(TRect(first.Left, first.Top, std::max(first.Right, last.Right), first.Bottom));
  }
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  if (H.GridBoundary < H.GridExtent)
    c->FillRect(TRect(H.GridBoundary, V.Origin, H.GridExtent, V.GridExtent));
  if (V.GridBoundary < V.GridExtent)
    c->FillRect(TRect(H.Origin, V.GridBoundary, H.GridBoundary, V.GridExtent));
  drawnGroups_.clear();
}

bool TCustomDBGridEx::ColumnHighlighted(TColumnEx* column) const {
  return selection_->SelectionType() == gstAll ||
         (selection_->SelectionType() == gstColumns && selection_->Columns()->Contains(column));
}

int TCustomDBGridEx::NonClientBorder() const {
  // The flat frame: one pixel, a sunken outer edge.
  if (flat_ && Ctl3D() && BorderStyle() == bsSingle) return 1;
  return TCustomGrid::NonClientBorder();
}

void TCustomDBGridEx::PaintNonClient() {
  if (NonClientBorder() == 1 && Ctl3D()) {
    TRect r(0, 0, Width(), Height());
    DrawEdge(Canvas(), r, BDR_SUNKENOUTER, BF_RECT);
    return;
  }
  TCustomGrid::PaintNonClient();
}

void TCustomDBGridEx::Frame3DCell(TRect& rect, bool sunken) {
  TCanvas* c = Canvas();
  if (flat_) {
    c->Brush()->SetColor(flat_ ? kGray : clBlack);
    c->FillRect(TRect(rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom));
    c->FillRect(TRect(rect.Right - 1, rect.Top, rect.Right, rect.Bottom));
    return;
  }
  TRect r = rect;
  DrawEdge(c, r, sunken ? BDR_SUNKENINNER : BDR_RAISEDINNER, BF_RECT);
}

// ---------------------------------------------------------------------------
// DrawCell

void TCustomDBGridEx::DrawCell(int aCol, int aRow, const TRect& cellRect,
                               const TGridDrawState& state) {
  TRect rect = cellRect;
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  TCanvas* c = Canvas();
  // A multi-level title leaf under a group keeps to its own band; the
  // groups above it are drawn afterwards, once per paint.
  THeadTreeNode* groupedLeaf = nullptr;
  if (useMultiTitle_ && aRow < TitleRows() && aCol >= IndicatorCols() &&
      options_.Contains(dgTitles)) {
    TColumnEx* col = aCol - IndicatorCols() < columns_->Count()
                         ? columns_->Items(aCol - IndicatorCols())
                         : nullptr;
    for (const TTitleLeaf& leaf : titleLeaves_)
      if (col && leaf.Column == col && leaf.Leaf && leaf.Leaf->Host &&
          leaf.Leaf->Host != headTree_.get()) {
        groupedLeaf = leaf.Leaf;
        rect.Top = std::max(cellRect.Top, cellRect.Bottom - (leaf.Leaf->Height - 3) - 1);
        break;
      }
  }
  if (IsLoading()) {
    c->Brush()->SetColor(Color());
    c->FillRect(rect);
    return;
  }
  const int dataCol = aCol - IndicatorCols();
  const int dataRow = aRow - TitleRows();
  const int spacer = SpacerRow();
  const bool isSpacer = spacer >= 0 && aRow == spacer;
  const bool isFooter = spacer >= 0 && aRow > spacer;
  const bool fixedCell = dataCol < 0 || dataRow < 0;
  bool is3D = false;
  if (fixedCell && optionsEx_.Contains(dghFixed3D) && !isSpacer)
    is3D = true;
  else if (isFooter && optionsEx_.Contains(dghFooter3D))
    is3D = true;
  else if (!state.Contains(gdFixed) && !isFooter && optionsEx_.Contains(dghData3D))
    is3D = true;
  else if (dataCol < 0 && isSpacer && optionsEx_.Contains(dghFixed3D) &&
           (optionsEx_.Contains(dghData3D) || optionsEx_.Contains(dghFrozen3D)))
    is3D = true;
  else if (state.Contains(gdFixed) && dataCol >= 0 && dataRow >= 0 &&
           optionsEx_.Contains(dghFrozen3D))
    is3D = true;
  if (is3D && flat_) {
    // The flat frame draws only the bottom and right lines: the top and
    // left pixels take the cell's background.
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(fixedCell || state.Contains(gdFixed) ? FixedColor()
                         : isFooter                           ? footerColor_
                                                              : Color());
    c->FillRect(rect);
  }
  if (is3D) {
    rect.Left += 1;
    rect.Top += 1;
    rect.Right -= 1;
    rect.Bottom -= 1;
  }
  const int margin = is3D ? 1 : 2;
  const int leftMargin = flat_ ? margin - 1 : margin;
  bool sunken = false;
  TColumnEx* column =
      dataCol >= 0 && dataCol < columns_->Count() ? columns_->Items(dataCol) : nullptr;

  if (dataCol < 0) {
    DrawIndicatorCell(dataRow, rect, margin, isSpacer);
  } else if (column == nullptr) {
    c->Brush()->SetColor(Color());
    c->FillRect(rect);
  } else if (dataRow < 0) {
    sunken = pressedCol_ == aCol && titlePressed_;
    DrawTitleCell(dataCol, column, rect, margin, leftMargin);
  } else if (!dataLink_->Active()) {
    c->Brush()->SetColor(column->Color());
    c->FillRect(rect);
  } else if (isSpacer || isFooter || dataRow >= dataLink_->RecordCount()) {
    DrawFooterArea(aCol, dataCol, dataRow, column, rect, margin, leftMargin, state);
  } else {
    TGridDrawState drawState = state;
    DrawDataCell(aCol, aRow, dataCol, dataRow, column, rect, margin, leftMargin, drawState);
    sunken = drawState.Contains(gdSelected) && is3D &&
             HighlightCell(dataCol, dataRow, AnsiString(), state);
  }
  if (is3D) {
    rect.Left -= 1;
    rect.Top -= 1;
    rect.Right += 1;
    rect.Bottom += 1;
    Frame3DCell(rect, sunken);
  }
  if (groupedLeaf) DrawGroupTitle(groupedLeaf, rect, column && ColumnHighlighted(column));
}

void TCustomDBGridEx::DrawIndicatorCell(int dataRow, TRect rect, int margin, bool spacer) {
  TCanvas* c = Canvas();
  TColor background = spacer && !optionsEx_.Contains(dghFrozen3D) ? Color() : FixedColor();
  c->Brush()->SetStyle(bsSolid);
  bool record = !spacer && dataRow >= 0 && dataLink_->Active() &&
                dataRow < dataLink_->RecordCount() && (SpacerRow() < 0 || dataRow + TitleRows() < SpacerRow());
  if (!record) {
    c->Brush()->SetColor(background);
    c->FillRect(rect);
    return;
  }
  TDataSet* ds = dataLink_->DataSet();
  const bool active = dataRow == dataLink_->ActiveRecord();
  bool selected = selection_->SelectionType() == gstAll;
  if (!selected && options_.Contains(dgMultiSelect)) {
    int saved = dataLink_->ActiveRecord();
    dataLink_->SetActiveRecord(dataRow);
    struct Back {
      TGridDataLinkEx* l;
      int r;
      ~Back() { l->SetActiveRecord(r); }
    } back{dataLink_.get(), saved};
    selected = bookmarks_->CurrentRowSelected();
  }
  if (selected) background = kSelectedFixedColor;
  c->Brush()->SetColor(background);
  c->FillRect(rect);
  int glyph = -1;
  if (active || selected) {
    switch (ds->State()) {
      case dsEdit: glyph = active ? 1 : -1; break;
      case dsInsert: glyph = active ? 2 : -1; break;
      case dsBrowse:
        if (active) glyph = selected ? 5 : incSearching_ ? 6 : 0;
        break;
      default: glyph = active ? 0 : -1; break;
    }
  }
  if (glyph >= 0) {
    int x = rect.Right - indicators_->Width() - margin;
    int y = (rect.Top + rect.Bottom - indicators_->Height()) / 2;
    indicators_->Draw(c, x, y, glyph);
  }
  if (active) lastCurrentRow_ = dataRow + TitleRows();
}

void TCustomDBGridEx::DrawTitleCell(int dataCol, TColumnEx* column, TRect rect, int margin,
                                    int leftMargin) {
  TCanvas* c = Canvas();
  TColumnTitleEx* title = column->Title();
  const int aCol = ColumnToGridIndex(dataCol);
  const bool pressed = pressedCol_ == aCol && titlePressed_;
  TFont* font = cellFont_.get();
  font->Assign(title->Font());
  TColor background = title->Color();
  TRect textRect = rect;
  AnsiString caption = title->Caption();
  if (useMultiTitle_) {
    for (const TTitleLeaf& leaf : titleLeaves_)
      if (leaf.Column == column && leaf.Leaf) {
        caption = leaf.Leaf->Text;
        textRect.Top = std::max(rect.Top, rect.Bottom - (leaf.Leaf->Height - 3));
        break;
      }
  }
  const bool hasImage = titleImages_ && title->ImageIndex() != -1;
  if (hasImage) caption.clear();
  TSortMarkerEx marker = title->SortMarker();
  if (column->Field() && OnGetBtnParams) OnGetBtnParams(this, column, font, background, marker, pressed);
  const bool oneLine = !useMultiTitle_ && titleHeight_ == 0 && titleLines_ == 0;
  const int shift = pressed ? (oneLine ? 1 : 2) : 0;
  // Sort marker and its number; a narrow title drops the marker first.
  int numberWidth = 0;
  AnsiString number;
  bool showMarker = marker != smNoneEx;
  if (showMarker) {
    textRect.Right -= kSortMarkerRoom;
    if (markedColumns_.size() >= 2 && title->SortIndex() > 0) {
      number = IntToStr(title->SortIndex());
      c->Font()->Assign(SortIndexFont());
      numberWidth = c->TextWidth(number);
      textRect.Right -= numberWidth;
    }
    int imageWidth = hasImage ? titleImages_->Width() : 0;
    if (textRect.Width() < imageWidth) {
      showMarker = false;
      textRect.Right += 14 - numberWidth;
      if (textRect.Width() < imageWidth) {
        textRect.Right += numberWidth + 2;
        number.clear();
        numberWidth = 0;
      }
    }
  }
  const bool highlighted = ColumnHighlighted(column);
  if (highlighted) {
    background = kSelectedFixedColor;
    font->SetColor(clWhite);
  }
  c->Font()->Assign(font);
  c->Brush()->SetColor(background);
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(rect);
  if (useMultiTitle_ && title->Orientation() == tohVertical) {
    WriteVerticalText(c, TRect(textRect.Left + shift, textRect.Top + shift, textRect.Right + shift,
                               textRect.Bottom + shift),
                      caption, title->Alignment(), margin);
  } else if (useMultiTitle_) {
    TRect r(textRect.Left + leftMargin + shift, textRect.Top + shift,
            textRect.Right - margin + shift, textRect.Bottom + shift);
    unsigned flags = DT_NOPREFIX | DT_WORDBREAK | AlignFlags(title->Alignment());
    if (title->EndEllipsis()) flags |= DT_END_ELLIPSIS;
    // Vertically centred: measure first.
    TRect calc = r;
    int h = c->DrawText(caption, calc, flags | DT_CALCRECT);
    int top = r.Top + std::max(0, (r.Height() - h) / 2);
    TRect out(r.Left, top, r.Right, r.Bottom);
    c->Brush()->SetStyle(bsClear);
    if (!caption.empty() && out.Width() > 0) c->DrawText(caption, out, flags);
    c->Brush()->SetStyle(bsSolid);
  } else {
    WriteCellText(c, textRect, false, leftMargin, margin, caption, title->Alignment(), !oneLine,
                  title->EndEllipsis(), shift);
  }
  if (hasImage) {
    int w = titleImages_->Width();
    int x = textRect.Left + leftMargin;
    if (useMultiTitle_ || title->Alignment() == taCenter)
      x = (textRect.Left + textRect.Right - w) / 2;
    else if (title->Alignment() == taRightJustify)
      x = textRect.Right - margin - w;
    int y = (rect.Top + rect.Bottom - titleImages_->Height()) / 2;
    titleImages_->Draw(c, x + shift, y + shift, title->ImageIndex());
  }
  if (showMarker) {
    int index = marker == smDownEx ? 0 : 1;
    int x = rect.Right - sortMarkers_->Width() - 2 - numberWidth + shift;
    int y = (rect.Top + rect.Bottom - sortMarkers_->Height()) / 2 + shift;
    sortMarkers_->Draw(c, x, y, index);
    if (!number.empty()) {
      c->Font()->Assign(SortIndexFont());
      if (highlighted) c->Font()->SetColor(clWhite);
      c->Brush()->SetStyle(bsClear);
      c->TextOut(rect.Right - numberWidth - 2 + shift, y - 1, number);
      c->Brush()->SetStyle(bsSolid);
    }
  }
}

void TCustomDBGridEx::DrawFooterArea(int aCol, int dataCol, int dataRow, TColumnEx* column,
                                     TRect rect, int margin, int leftMargin,
                                     const TGridDrawState& state) {
  TCanvas* c = Canvas();
  const int spacer = SpacerRow();
  const int aRow = dataRow + TitleRows();
  const bool highlighted = ColumnHighlighted(column);
  if (spacer < 0 || aRow <= spacer) {
    c->Brush()->SetColor(highlighted ? kSelectedFixedColor : Color());
    c->FillRect(rect);
    return;
  }
  const int footerIndex = footerRowCount_ - RowCount() + aRow;
  TColumnFooterEx* footer = column->UsedFooter(footerIndex);
  TFont* font = cellFont_.get();
  font->Assign(footer->Font());
  TColor background = footer->Color();
  TAlignment alignment = footer->Alignment();
  if (DefaultDrawing()) {
    AnsiString text = GetFooterValue(footerIndex, column);
    if (OnGetFooterParams)
      OnGetFooterParams(this, dataCol, footerIndex, column, font, background, alignment, state,
                        text);
    if (highlighted) {
      background = kSelectedFixedColor;
      font->SetColor(clWhite);
    }
    c->Font()->Assign(font);
    c->Brush()->SetColor(background);
    c->Brush()->SetStyle(bsSolid);
    WriteCellText(c, rect, true, leftMargin, margin, text, alignment,
                  footer->WordWrap() && tallRows_, footer->EndEllipsis());
  }
  if (OnDrawFooterCell) OnDrawFooterCell(this, dataCol, footerIndex, column, rect, state);
}

void TCustomDBGridEx::GetCellParams(TColumnEx* column, TFont* font, TColor& background,
                                    const TGridDrawState& state) {
  if (OnGetCellParams) OnGetCellParams(this, column, font, background, state);
}

void TCustomDBGridEx::DrawDataCell(int aCol, int aRow, int dataCol, int dataRow,
                                   TColumnEx* column, TRect rect, int margin, int leftMargin,
                                   TGridDrawState state) {
  TCanvas* c = Canvas();
  int saved = dataLink_->ActiveRecord();
  dataLink_->SetActiveRecord(dataRow);
  struct Back {
    TGridDataLinkEx* l;
    int r;
    ~Back() { l->SetActiveRecord(r); }
  } back{dataLink_.get(), saved};

  TRect textRect = rect;
  const bool buttonStrip = column->AlwaysShowEditButton();
  if (buttonStrip) textRect.Right = std::max(textRect.Left, textRect.Right - scrollBarWidth_);
  TColCellParamsEx* params = cellParams_.get();
  params->Font = cellFont_.get();
  column->FillColCellParams(params);
  params->Col = dataCol;
  params->Row = aRow;
  const AnsiString value = params->Text;
  if (HighlightCell(dataCol, dataRow, value, state)) {
    params->Background = clHighlight;
    params->Font->SetColor(clHighlightText);
    state << gdSelected;
  } else {
    state >> gdSelected;
  }
  params->State = (state.Contains(gdSelected) ? 1u : 0u) | (state.Contains(gdFocused) ? 2u : 0u) |
                  (state.Contains(gdFixed) ? 4u : 0u);
  TColumnKind kind = column->ColumnKind();
  if (DefaultDrawing() && kind == ckKeyImageList) {
    TField* f = column->Field();
    int k = f && column->KeyList() ? column->KeyList()->IndexOf(f->Text()) : -1;
    params->ImageIndex = k >= 0 ? k : column->NotInKeyListIndex();
  }
  GetCellParams(column, params->Font, params->Background, state);
  column->GetColCellParams(false, params);
  c->Font()->Assign(params->Font);
  c->Brush()->SetColor(params->Background);
  c->Brush()->SetStyle(bsSolid);
  if (DefaultDrawing() && textRect.Width() > 0) {
    if (kind == ckKeyImageList) {
      c->FillRect(textRect);
      TCustomImageList* images = column->ImageList();
      if (images && params->ImageIndex >= 0 && params->ImageIndex < images->Count())
        images->Draw(c, (textRect.Left + textRect.Right - images->Width()) / 2,
                     (textRect.Top + textRect.Bottom - images->Height()) / 2, params->ImageIndex);
    } else if (kind == ckCheckboxes) {
      c->FillRect(textRect);
      int size = CheckBoxSize();
      int x = (textRect.Left + textRect.Right - size) / 2;
      int y = (textRect.Top + textRect.Bottom - size) / 2;
      unsigned flags = DFCS_BUTTONCHECK;
      if (params->CheckboxState == cbChecked) flags |= DFCS_CHECKED;
      if (params->CheckboxState == cbGrayed) flags |= DFCS_BUTTON3STATE | DFCS_CHECKED;
      if (flat_) flags |= DFCS_FLAT;
      DrawFrameControl(c, TRect(x, y, x + size, y + size), DFC_BUTTON, flags);
    } else {
      WriteCellText(c, textRect, true, leftMargin, margin, params->Text, params->Alignment,
                    column->WordWrap() && tallRows_, column->EndEllipsis());
    }
  }
  if (buttonStrip) {
    TRect button(textRect.Right, rect.Top, rect.Right, rect.Top + editButtonWidth_);
    button.Bottom = std::min(button.Bottom, rect.Bottom);
    DrawFrameControl(c, button, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | (flat_ ? DFCS_FLAT : 0u));
    if (button.Bottom < rect.Bottom) {
      c->Brush()->SetColor(params->Background);
      c->FillRect(TRect(button.Left, button.Bottom, button.Right, rect.Bottom));
    }
  }
  if (column->Stored() == false && OnDrawDataCell) OnDrawDataCell(this, rect, column->Field(), state);
  if (OnDrawColumnCell) OnDrawColumnCell(this, rect, dataCol, column, state);
  if (incSearching_ && aRow == Row() && aCol == Col() && state.Contains(gdSelected) &&
      (Focused() || options_.Contains(dgAlwaysShowSelection)) && !IsDesigning() &&
      updateLock_ == 0) {
    TCustomForm* form = GetParentForm();
    if (form && form->ActiveControl() == this)
      DrawIncSearchOverlay(column, textRect, margin, leftMargin, params->Text);
  }
}

void TCustomDBGridEx::DrawIncSearchOverlay(TColumnEx* column, const TRect& textRect, int margin,
                                           int leftMargin, const AnsiString& text) {
  if (incSearchText_.empty()) return;
  TCanvas* c = Canvas();
  // The part of the cell text the search matched, cut on a character
  // boundary (a Chinese character is never shown by half).
  AnsiString prefix = text.substr(0, IncSearchMatchLength(text, incSearchText_));
  if (prefix.empty()) return;
  AnsiString rest = text.substr(prefix.size());
  TRect r = textRect;
  const TAlignment alignment = column->Alignment();
  const bool wrap = column->WordWrap() && tallRows_;
  if (!wrap && alignment != taLeftJustify) {
    int whole = c->TextWidth(text), restWidth = c->TextWidth(rest);
    int right = alignment == taRightJustify ? r.Right - margin
                                            : (r.Left + leftMargin + r.Right - margin + whole) / 2;
    r.Left = right - restWidth - c->TextWidth(prefix) - leftMargin;
    r.Right = std::min(textRect.Right, right - restWidth + margin);
  }
  c->Brush()->SetColor(IncSearchColor);
  c->Font()->SetColor(IncSearchFontColor);
  TRect area(r.Left + leftMargin, r.Top + margin, r.Left + leftMargin + c->TextWidth(prefix),
             std::min(r.Bottom, r.Top + margin + c->TextHeight(prefix)));
  area.Right = std::min(area.Right, textRect.Right);
  c->FillRect(area);
  WriteCellText(c, TRect(area.Left - leftMargin, r.Top, textRect.Right, r.Bottom), false,
                leftMargin, margin, prefix, taLeftJustify, wrap, false);
}

void TCustomDBGridEx::DrawGroupTitle(THeadTreeNode* leaf, const TRect& leafRect,
                                     bool highlighted) {
  TCanvas* c = Canvas();
  const int line = options_.Contains(dgColLines) ? GridLineWidth() : 0;
  // Offset of node within group, walking the children in order.
  std::function<int(THeadTreeNode*, THeadTreeNode*)> offset = [&](THeadTreeNode* group,
                                                                  THeadTreeNode* node) {
    int acc = 0;
    THeadTreeNode* child = group->Child;
    for (int i = 0; child && i < group->ChildCount(); ++i, child = child->Next) {
      if (child == node) return acc;
      if (child->Find(node)) return acc + offset(child, node);
      acc += std::max(0, child->Width) + line;
    }
    return acc;
  };
  // leafRect is the leaf's own band; the groups stack above it.
  int bottom = leafRect.Top;
  THeadTreeNode* node = leaf;
  for (THeadTreeNode* group = leaf->Host; group && group != headTree_.get();
       node = group, group = group->Host) {
    int top = std::max(ClientRect().Top, bottom - group->Height);
    if (drawnGroups_.insert(group).second) {
      int left = leafRect.Left - offset(group, leaf);
      int width = 0, n = 0;
      THeadTreeNode* child = group->Child;
      for (int i = 0; child && i < group->ChildCount(); ++i, child = child->Next, ++n)
        width += std::max(0, child->Width);
      width += line * std::max(0, n - 1);
      TRect r(left, top, left + width, bottom - line);
      TRect frame = r;
      c->Brush()->SetColor(highlighted ? kSelectedFixedColor : FixedColor());
      c->FillRect(r);
      c->Font()->Assign(titleFont_.get());
      if (highlighted) c->Font()->SetColor(clWhite);
      TRect text(r.Left + 2, r.Top, r.Right - 2, r.Bottom);
      TRect calc = text;
      int h = c->DrawText(group->Text, calc, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_CENTER);
      text.Top += std::max(0, (text.Height() - h) / 2);
      c->Brush()->SetStyle(bsClear);
      c->DrawText(group->Text, text, DT_WORDBREAK | DT_NOPREFIX | DT_CENTER);
      c->Brush()->SetStyle(bsSolid);
      if (optionsEx_.Contains(dghFixed3D)) Frame3DCell(frame, false);
      if (options_.Contains(dgRowLines)) {
        c->Brush()->SetColor(flat_ ? kGray : clBlack);
        c->FillRect(TRect(r.Left, r.Bottom, r.Right + line, r.Bottom + line));
      }
      if (line > 0) {
        c->Brush()->SetColor(flat_ ? kGray : clBlack);
        c->FillRect(TRect(r.Right, r.Top, r.Right + line, r.Bottom + line));
      }
    }
    bottom = top;
  }
  (void)node;
}

bool TCustomDBGridEx::HighlightCell(int dataCol, int dataRow, const AnsiString& value,
                                    const TGridDrawState& state) {
  if (options_.Contains(dgMultiSelect) && dataLink_->Active()) {
    TDataSet* ds = dataLink_->DataSet();
    return selection_->DataCellSelected(dataCol, ds->Bookmark());
  }
  bool selected = state.Contains(gdSelected);
  const bool currentRow = dataRow + TitleRows() == Row();
  bool f = Focused() && optionsEx_.Contains(dghHighlightFocus);
  if (optionsEx_.Contains(dghRowHighlight) && currentRow &&
      selection_->SelectionType() == gstNon && ColumnToGridIndex(dataCol) != Col()) {
    f = true;
    selected = true;
  }
  if (!selected && !(currentRow && options_.Contains(dgRowSelect))) return false;
  if (!options_.Contains(dgAlwaysShowSelection) && !f) return false;
  return updateLock_ == 0 || options_.Contains(dgRowSelect);
}
