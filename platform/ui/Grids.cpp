#include "platform/ui/Grids.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ui/Canvas.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Frames3D.h"
#include "platform/core/TypInfo.h"

namespace {

constexpr unsigned kScrollTimer = 1;
constexpr unsigned kScrollTimerMs = 60;
// How far from a grid line a press still grabs it for sizing.
constexpr int kSizingSlack = 2;

bool Intersects(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

void CalcAxis(TGridAxisDrawInfo& ax, const std::vector<int>& extents, int fixed, int first,
              int origin, int size, int line) {
  const int gridExtent = origin + size;
  ax.Extents = extents;
  ax.Origin = origin;
  ax.EffectiveLineWidth = line;
  ax.FixedCellCount = fixed;
  ax.FirstGridCell = first;
  ax.GridCellCount = static_cast<int>(extents.size());
  ax.GridExtent = gridExtent;
  int fb = origin;
  for (int i = 0; i < fixed && i < ax.GridCellCount; ++i) fb += extents[i] + line;
  ax.FixedBoundary = fb;
  ax.GridBoundary = fb;
  ax.FullVisBoundary = fb;
  ax.LastFullVisibleCell = first;
  for (int i = first; i < ax.GridCellCount; ++i) {
    ax.GridBoundary += extents[i] + line;
    if (ax.GridBoundary > gridExtent + line) {
      ax.GridBoundary = gridExtent;
      break;
    }
    ax.LastFullVisibleCell = i;
    ax.FullVisBoundary = ax.GridBoundary;
  }
}

// Pixel start of cell on an axis, -1 when it is scrolled out of view.
int CellStart(const TGridAxisDrawInfo& ax, int cell) {
  if (cell < ax.FixedCellCount) {
    int p = ax.Origin;
    for (int i = 0; i < cell; ++i) p += ax.Extents[i] + ax.EffectiveLineWidth;
    return p;
  }
  if (cell < ax.FirstGridCell) return -1;
  int p = ax.FixedBoundary;
  for (int i = ax.FirstGridCell; i < cell; ++i) {
    p += ax.Extents[i] + ax.EffectiveLineWidth;
    if (p >= ax.GridExtent) return -1;
  }
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// TInplaceEdit

TInplaceEdit::TInplaceEdit(TComponent* owner) : TCustomMaskEdit(owner) {
  SetBorderStyle(bsNone);
  SetParentColor(false);
  SetTabStop(false);
  SetVisible(false);
}

void TInplaceEdit::SetGrid(TCustomGrid* grid) {
  grid_ = grid;
  SetParent(grid);
}

void TInplaceEdit::Move(const TRect& r) {
  SetBounds(r.Left, r.Top, r.Width(), r.Height());
  visibleOverCell_ = true;
  Show();
}

void TInplaceEdit::UpdateLoc(const TRect& r) {
  Move(r);
  if (grid_ && grid_->Focused() && CanFocus()) SetFocus();
}

void TInplaceEdit::Hide() {
  if (!visibleOverCell_) return;
  visibleOverCell_ = false;
  bool hadFocus = Focused();
  SetVisible(false);
  if (hadFocus && grid_ && grid_->CanFocus()) grid_->SetFocus();
}

void TInplaceEdit::UpdateContents() {
  if (!grid_) return;
  loading_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{loading_};
  SetEditMask(grid_->GetEditMask(grid_->Col(), grid_->Row()));
  SetText(grid_->GetEditText(grid_->Col(), grid_->Row()));
  SetMaxLength(grid_->GetEditLimit());
  SetModified(false);
}

void TInplaceEdit::Deselect() { SelectAll(); }

void TInplaceEdit::KeyDown(std::uint16_t& key, TShiftState shift) {
  switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_TAB:
      if (grid_) {
        grid_->KeyDown(key, shift);
        key = 0;
      }
      return;
    default:
      break;
  }
  TCustomMaskEdit::KeyDown(key, shift);
}

void TInplaceEdit::KeyPress(char& key) {
  if (grid_ && key != 0 && static_cast<unsigned char>(key) >= 32 &&
      !(grid_->CanEditAcceptKey(key) && grid_->CanEditModify())) {
    key = 0;
    return;
  }
  TCustomMaskEdit::KeyPress(key);
}

void TInplaceEdit::Change() {
  TCustomMaskEdit::Change();
  if (grid_ && !loading_) grid_->SetEditText(grid_->Col(), grid_->Row(), Text());
}

// ---------------------------------------------------------------------------
// TCustomGrid: size and options

TCustomGrid::TCustomGrid(TComponent* owner) : TCustomControl(owner) {
  colWidths_.assign(5, defaultColWidth_);
  rowHeights_.assign(5, defaultRowHeight_);
  current_ = {1, 1};
  anchor_ = current_;
  topLeft_ = {1, 1};
  SetColor(clWindow);
  SetParentColor(false);
}

TCustomGrid::~TCustomGrid() {
  Destroying();
  if (editor_) {
    delete editor_;
    editor_ = nullptr;
  }
}

void TCustomGrid::SetColCount(int value) {
  if (value < 1) value = 1;
  if (value == ColCount()) return;
  int oldCols = ColCount();
  colWidths_.resize(value, defaultColWidth_);
  if (fixedCols_ > value - 1) fixedCols_ = std::max(0, value - 1);
  ClampCurrent();
  SizeChanged(oldCols, RowCount());
  UpdateScrollRange();
  Invalidate();
}

void TCustomGrid::SetRowCount(int value) {
  if (value < 1) value = 1;
  if (value == RowCount()) return;
  int oldRows = RowCount();
  rowHeights_.resize(value, defaultRowHeight_);
  if (fixedRows_ > value - 1) fixedRows_ = std::max(0, value - 1);
  ClampCurrent();
  SizeChanged(ColCount(), oldRows);
  UpdateScrollRange();
  Invalidate();
}

void TCustomGrid::SetFixedCols(int value) {
  value = std::clamp(value, 0, ColCount() - 1);
  if (value == fixedCols_) return;
  fixedCols_ = value;
  ClampCurrent();
  UpdateScrollRange();
  Invalidate();
}

void TCustomGrid::SetFixedRows(int value) {
  value = std::clamp(value, 0, RowCount() - 1);
  if (value == fixedRows_) return;
  fixedRows_ = value;
  ClampCurrent();
  UpdateScrollRange();
  Invalidate();
}

void TCustomGrid::SetDefaultColWidth(int value) {
  defaultColWidth_ = value;
  std::fill(colWidths_.begin(), colWidths_.end(), value);
  ColWidthsChanged();
  Invalidate();
}

void TCustomGrid::SetDefaultRowHeight(int value) {
  defaultRowHeight_ = value;
  std::fill(rowHeights_.begin(), rowHeights_.end(), value);
  Invalidate();
}

void TCustomGrid::SetColWidths(int col, int value) {
  if (col < 0 || col >= ColCount() || colWidths_[col] == value) return;
  colWidths_[col] = value;
  UpdateScrollRange();
  Invalidate();
}

void TCustomGrid::SetRowHeights(int row, int value) {
  if (row < 0 || row >= RowCount() || rowHeights_[row] == value) return;
  rowHeights_[row] = value;
  Invalidate();
}

void TCustomGrid::SetGridLineWidth(int value) {
  if (value < 0) value = 0;
  if (value == gridLineWidth_) return;
  gridLineWidth_ = value;
  Invalidate();
}

void TCustomGrid::SetGridOptions(const TGridOptions& value) {
  if (value == gridOptions_) return;
  gridOptions_ = value;
  if (!gridOptions_.Contains(goEditing)) HideEditor();
  Invalidate();
}

void TCustomGrid::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  UpdateScrollRange();
}

void TCustomGrid::SetFixedColor(TColor value) {
  if (value == fixedColor_) return;
  fixedColor_ = value;
  Invalidate();
}

void TCustomGrid::ClampCurrent() {
  int maxCol = ColCount() - 1, maxRow = RowCount() - 1;
  current_.X = std::clamp(current_.X, std::min(fixedCols_, maxCol), maxCol);
  current_.Y = std::clamp(current_.Y, std::min(fixedRows_, maxRow), maxRow);
  anchor_ = current_;
  topLeft_.X = std::clamp(topLeft_.X, std::min(fixedCols_, maxCol), maxCol);
  topLeft_.Y = std::clamp(topLeft_.Y, std::min(fixedRows_, maxRow), maxRow);
}

// ---------------------------------------------------------------------------
// Geometry

void TCustomGrid::CalcDrawInfo(TGridDrawInfo& info) const {
  TRect client = ClientRect();
  int vLine = gridOptions_.Contains(goVertLine) || gridOptions_.Contains(goFixedVertLine)
                  ? gridLineWidth_
                  : 0;
  int hLine = gridOptions_.Contains(goHorzLine) || gridOptions_.Contains(goFixedHorzLine)
                  ? gridLineWidth_
                  : 0;
  CalcAxis(info.Horz, colWidths_, fixedCols_, topLeft_.X, client.Left, client.Width(), vLine);
  CalcAxis(info.Vert, rowHeights_, fixedRows_, topLeft_.Y, client.Top, client.Height(), hLine);
}

TRect TCustomGrid::CellRect(int col, int row) const {
  if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return TRect();
  TGridDrawInfo info;
  CalcDrawInfo(info);
  int x = CellStart(info.Horz, col), y = CellStart(info.Vert, row);
  if (x < 0 || y < 0) return TRect();
  int w = std::max(0, colWidths_[col]), h = std::max(0, rowHeights_[row]);
  return TRect(x, y, std::min(x + w, info.Horz.GridExtent), std::min(y + h, info.Vert.GridExtent));
}

TGridCoord TCustomGrid::MouseCoord(int x, int y) const {
  TGridDrawInfo info;
  CalcDrawInfo(info);
  auto find = [](const TGridAxisDrawInfo& ax, int p) {
    if (p < ax.Origin || p >= ax.GridBoundary) return -1;
    int pos = ax.Origin;
    for (int i = 0; i < ax.FixedCellCount; ++i) {
      pos += ax.Extents[i] + ax.EffectiveLineWidth;
      if (p < pos) return i;
    }
    for (int i = ax.FirstGridCell; i < ax.GridCellCount; ++i) {
      pos += ax.Extents[i] + ax.EffectiveLineWidth;
      if (p < pos) return i;
    }
    return -1;
  };
  TGridCoord c{find(info.Horz, x), find(info.Vert, y)};
  if (c.X < 0 || c.Y < 0) return TGridCoord{-1, -1};
  return c;
}

int TCustomGrid::VisibleColCount() const {
  TGridDrawInfo info;
  CalcDrawInfo(info);
  return info.Horz.LastFullVisibleCell - topLeft_.X + 1;
}

int TCustomGrid::VisibleRowCount() const {
  TGridDrawInfo info;
  CalcDrawInfo(info);
  return info.Vert.LastFullVisibleCell - topLeft_.Y + 1;
}

TGridRect TCustomGrid::Selection() const {
  TGridRect r;
  r.Left = std::min(current_.X, anchor_.X);
  r.Right = std::max(current_.X, anchor_.X);
  r.Top = std::min(current_.Y, anchor_.Y);
  r.Bottom = std::max(current_.Y, anchor_.Y);
  if (gridOptions_.Contains(goRowSelect)) {
    r.Left = fixedCols_;
    r.Right = ColCount() - 1;
  }
  return r;
}

// ---------------------------------------------------------------------------
// Repaint

void TCustomGrid::InvalidateCell(int col, int row) {
  TRect r = CellRect(col, row);
  if (r.Width() <= 0 || r.Height() <= 0) return;
  r.Right += gridLineWidth_;
  r.Bottom += gridLineWidth_;
  InvalidateRect(r);
}

void TCustomGrid::InvalidateGridRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  TRect first = CellRect(0, row);
  TGridDrawInfo info;
  CalcDrawInfo(info);
  int top = first.Top;
  if (first.Height() <= 0) {
    int y = CellStart(info.Vert, row);
    if (y < 0) return;
    top = y;
  }
  InvalidateRect(
      TRect(info.Horz.Origin, top, info.Horz.GridExtent, top + rowHeights_[row] + gridLineWidth_));
}

void TCustomGrid::InvalidateGridCol(int col) {
  if (col < 0 || col >= ColCount()) return;
  TGridDrawInfo info;
  CalcDrawInfo(info);
  int x = CellStart(info.Horz, col);
  if (x < 0) return;
  InvalidateRect(
      TRect(x, info.Vert.Origin, x + colWidths_[col] + gridLineWidth_, info.Vert.GridExtent));
}

// ---------------------------------------------------------------------------
// Painting

void TCustomGrid::DrawLines(const TGridDrawInfo& info, bool doHorz, bool doVert, int startCol,
                            int startRow, int endCol, int endRow, const TRect& area,
                            TColor color, TColor fill) {
  (void)fill;
  TCanvas* c = Canvas();
  c->Brush()->SetColor(color);
  c->Brush()->SetStyle(bsSolid);
  if (doVert && info.Horz.EffectiveLineWidth > 0) {
    int w = info.Horz.EffectiveLineWidth;
    for (int col = startCol; col < endCol; ++col) {
      int x = CellStart(info.Horz, col);
      if (x < 0 && col >= info.Horz.FixedCellCount && col < info.Horz.FirstGridCell) continue;
      if (x < 0 || x >= area.Right) break;
      if (info.Horz.Extents[col] < 0) continue;
      x += info.Horz.Extents[col];
      c->FillRect(TRect(x, area.Top, x + w, area.Bottom));
    }
  }
  if (doHorz && info.Vert.EffectiveLineWidth > 0) {
    int w = info.Vert.EffectiveLineWidth;
    for (int row = startRow; row < endRow; ++row) {
      int y = CellStart(info.Vert, row);
      if (y < 0 && row >= info.Vert.FixedCellCount && row < info.Vert.FirstGridCell) continue;
      if (y < 0 || y >= area.Bottom) break;
      if (info.Vert.Extents[row] < 0) continue;
      y += info.Vert.Extents[row];
      c->FillRect(TRect(area.Left, y, area.Right, y + w));
    }
  }
}

void TCustomGrid::DrawCells(const TGridDrawInfo& info, int aCol, int aRow, int startX,
                            int startY, int stopX, int stopY, bool includeDrawState) {
  TRect clip = Canvas()->ClipRect();
  bool focusedGrid = Focused() || (editor_ && editor_->Focused());
  bool editorShown = editor_ && editor_->EditorVisible();
  TGridRect sel = Selection();
  int y = startY;
  for (int row = aRow; row < RowCount() && y < stopY; ++row) {
    int h = rowHeights_[row];
    int x = startX;
    if (y + h > clip.Top && y < clip.Bottom) {
      for (int col = aCol; col < ColCount() && x < stopX; ++col) {
        int w = colWidths_[col];
        TRect where(x, y, std::min(x + w, stopX), std::min(y + h, stopY));
        if (w > 0 && h > 0 && Intersects(where, clip)) {
          TGridDrawState state;
          if (!includeDrawState) state << gdFixed;
          bool focused = focusedGrid && col == current_.X && row == current_.Y;
          if (includeDrawState && focused) state << gdFocused;
          if (includeDrawState && sel.Contains(col, row)) state << gdSelected;
          bool skip = includeDrawState && editorShown && col == current_.X && row == current_.Y;
          if (!skip) DrawCell(col, row, where, state);
        }
        x += w + info.Horz.EffectiveLineWidth;
      }
    }
    y += h + info.Vert.EffectiveLineWidth;
  }
}

void TCustomGrid::Paint() {
  TGridDrawInfo info;
  CalcDrawInfo(info);
  TCanvas* c = Canvas();
  const TGridAxisDrawInfo& H = info.Horz;
  const TGridAxisDrawInfo& V = info.Vert;
  bool fixedV = gridOptions_.Contains(goFixedVertLine), fixedH = gridOptions_.Contains(goFixedHorzLine);
  bool dataV = gridOptions_.Contains(goVertLine), dataH = gridOptions_.Contains(goHorzLine);
  if (gridLineWidth_ > 0) {
    DrawLines(info, fixedH, fixedV, 0, 0, ColCount(), fixedRows_,
              TRect(H.Origin, V.Origin, H.GridBoundary, V.FixedBoundary), clBlack, fixedColor_);
    DrawLines(info, fixedH, fixedV, 0, 0, fixedCols_, RowCount(),
              TRect(H.Origin, V.Origin, H.FixedBoundary, V.GridBoundary), clBlack, fixedColor_);
    DrawLines(info, dataH, dataV, topLeft_.X, topLeft_.Y, ColCount(), RowCount(),
              TRect(H.FixedBoundary, V.FixedBoundary, H.GridBoundary, V.GridBoundary), clSilver,
              Color());
  }
  PaintNonClient();
  DrawCells(info, 0, 0, H.Origin, V.Origin, H.FixedBoundary, V.FixedBoundary, false);
  // fixed rows over the scrolling columns
  int savedFixedRows = fixedRows_;
  {
    int y = V.Origin;
    for (int row = 0; row < savedFixedRows; ++row) {
      DrawCells(info, topLeft_.X, row, H.FixedBoundary, y, H.GridBoundary, y + rowHeights_[row],
                false);
      y += rowHeights_[row] + V.EffectiveLineWidth;
    }
  }
  DrawCells(info, 0, topLeft_.Y, H.Origin, V.FixedBoundary, H.FixedBoundary, V.GridBoundary,
            false);
  DrawCells(info, topLeft_.X, topLeft_.Y, H.FixedBoundary, V.FixedBoundary, H.GridBoundary,
            V.GridBoundary, true);
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  if (H.GridBoundary < H.GridExtent)
    c->FillRect(TRect(H.GridBoundary, V.Origin, H.GridExtent, V.GridExtent));
  if (V.GridBoundary < V.GridExtent)
    c->FillRect(TRect(H.Origin, V.GridBoundary, H.GridBoundary, V.GridExtent));
}

int TCustomGrid::NonClientBorder() const {
  if (borderStyle_ != bsSingle) return 0;
  return ctl3D_ ? 2 : 1;
}

void TCustomGrid::PaintNonClient() {
  const int b = NonClientBorder();
  if (b == 0) return;
  TCanvas* c = Canvas();
  TRect r(0, 0, Width(), Height());
  if (ctl3D_) {
    DrawEdge(c, r, EDGE_SUNKEN, BF_RECT);
  } else {
    c->Brush()->SetColor(clBlack);
    c->FrameRect(r);
  }
}

void TCustomGrid::SetBorderStyle(TBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  NonClientChanged();
  UpdateScrollRange();
}

void TCustomGrid::SetCtl3D(bool value) {
  if (value == ctl3D_) return;
  ctl3D_ = value;
  NonClientChanged();
  UpdateScrollRange();
}

// ---------------------------------------------------------------------------
// Position and scrolling

int TCustomGrid::ClampTopRow(int row) const {
  TRect client = ClientRect();
  int hLine = gridOptions_.Contains(goHorzLine) ? gridLineWidth_ : 0;
  int fixed = 0;
  for (int i = 0; i < fixedRows_; ++i) fixed += rowHeights_[i] + hLine;
  // The highest top row that still fills the client area.
  int room = client.Height() - fixed, maxTop = RowCount() - 1;
  for (int i = RowCount() - 1; i >= fixedRows_; --i) {
    room -= rowHeights_[i] + hLine;
    if (room < 0) break;
    maxTop = i;
  }
  return std::clamp(row, std::min(fixedRows_, RowCount() - 1), std::max(maxTop, fixedRows_));
}

int TCustomGrid::ClampLeftCol(int col) const {
  TRect client = ClientRect();
  int vLine = gridOptions_.Contains(goVertLine) ? gridLineWidth_ : 0;
  int fixed = 0;
  for (int i = 0; i < fixedCols_; ++i) fixed += colWidths_[i] + vLine;
  int room = client.Width() - fixed, maxLeft = ColCount() - 1;
  for (int i = ColCount() - 1; i >= fixedCols_; --i) {
    room -= colWidths_[i] + vLine;
    if (room < 0) break;
    maxLeft = i;
  }
  return std::clamp(col, std::min(fixedCols_, ColCount() - 1), std::max(maxLeft, fixedCols_));
}

void TCustomGrid::SetLeftCol(int value) { MoveTopLeft(ClampLeftCol(value), topLeft_.Y); }

void TCustomGrid::SetTopRow(int value) { MoveTopLeft(topLeft_.X, ClampTopRow(value)); }

void TCustomGrid::MoveTopLeft(int col, int row) {
  if (col == topLeft_.X && row == topLeft_.Y) return;
  TGridDrawInfo before;
  CalcDrawInfo(before);
  TGridCoord old = topLeft_;
  topLeft_ = {col, row};
  TopLeftChanged();
  ScrollDataInfo(col - old.X, row - old.Y, before);
  UpdateScrollRange();
  if (editor_ && editor_->EditorVisible()) UpdateEdit();
}

void TCustomGrid::ScrollDataInfo(int dx, int dy, const TGridDrawInfo& info) {
  if (!HandleAllocated()) return;
  auto shift = [](const TGridAxisDrawInfo& ax, int delta) {
    int from = ax.FirstGridCell, to = from + delta, p = 0;
    for (int i = std::min(from, to); i < std::max(from, to); ++i)
      p += ax.Extents[i] + ax.EffectiveLineWidth;
    return delta > 0 ? -p : p;
  };
  bool farH = std::abs(dx) > info.Horz.LastFullVisibleCell - info.Horz.FirstGridCell + 1;
  bool farV = std::abs(dy) > info.Vert.LastFullVisibleCell - info.Vert.FirstGridCell + 1;
  if (farH || farV) {
    Invalidate();
    return;
  }
  if (dx != 0)
    ScrollWindow(shift(info.Horz, dx), 0,
                 TRect(info.Horz.FixedBoundary, info.Vert.Origin, info.Horz.GridExtent,
                       info.Vert.GridExtent));
  if (dy != 0)
    ScrollWindow(0, shift(info.Vert, dy),
                 TRect(info.Horz.Origin, info.Vert.FixedBoundary, info.Horz.GridExtent,
                       info.Vert.GridExtent));
}

void TCustomGrid::FocusCell(int col, int row, bool moveAnchor) {
  col = std::clamp(col, std::min(fixedCols_, ColCount() - 1), ColCount() - 1);
  row = std::clamp(row, std::min(fixedRows_, RowCount() - 1), RowCount() - 1);
  if ((col != current_.X || row != current_.Y) && !SelectCell(col, row)) return;
  TGridRect oldSel = Selection();
  TGridCoord old = current_;
  current_ = {col, row};
  if (moveAnchor || !gridOptions_.Contains(goRangeSelect)) anchor_ = current_;
  // Scroll it into view.
  TGridDrawInfo info;
  CalcDrawInfo(info);
  int left = topLeft_.X, top = topLeft_.Y;
  if (col < left) left = col;
  else if (col > info.Horz.LastFullVisibleCell) left = ClampLeftCol(left + col - info.Horz.LastFullVisibleCell);
  if (row < top) top = row;
  else if (row > info.Vert.LastFullVisibleCell) top = ClampTopRow(top + row - info.Vert.LastFullVisibleCell);
  if (left < col && col > info.Horz.LastFullVisibleCell) left = std::min(left, col);
  MoveTopLeft(left, top);
  if (old.X != col || old.Y != row) {
    if (gridOptions_.Contains(goRowSelect)) {
      InvalidateGridRow(old.Y);
      InvalidateGridRow(row);
    } else {
      for (int r = oldSel.Top; r <= oldSel.Bottom; ++r)
        for (int c = oldSel.Left; c <= oldSel.Right; ++c) InvalidateCell(c, r);
      InvalidateCell(col, row);
    }
    if (editorMode_) {
      HideEditor();
      editorMode_ = gridOptions_.Contains(goAlwaysShowEditor);
      UpdateEdit();
    }
  }
  if (old.X != current_.X) CurrentColChanged();
}

void TCustomGrid::UpdateScrollRange() {
  if (!HandleAllocated()) return;
  bool wantH = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  bool wantV = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  int maxLeft = ClampLeftCol(ColCount() - 1);
  ShowScrollBar(SB_HORZ, wantH && maxLeft > fixedCols_);
  if (wantH && maxLeft > fixedCols_) {
    SetScrollRange(SB_HORZ, fixedCols_, maxLeft);
    SetScrollPos(SB_HORZ, topLeft_.X);
  }
  if (wantV) {
    int maxTop = ClampTopRow(RowCount() - 1);
    ShowScrollBar(SB_VERT, maxTop > fixedRows_);
    if (maxTop > fixedRows_) {
      SetScrollRange(SB_VERT, fixedRows_, maxTop);
      SetScrollPos(SB_VERT, topLeft_.Y);
    }
  }
}

void TCustomGrid::ModifyScrollBar(int bar, int code, int pos) {
  bool horz = bar == SB_HORZ;
  int cur = horz ? topLeft_.X : topLeft_.Y;
  int page = horz ? std::max(1, VisibleColCount()) : std::max(1, VisibleRowCount());
  int target = cur;
  switch (code) {
    case SB_LINEUP: target = cur - 1; break;
    case SB_LINEDOWN: target = cur + 1; break;
    case SB_PAGEUP: target = cur - page; break;
    case SB_PAGEDOWN: target = cur + page; break;
    case SB_THUMBPOSITION: target = pos; break;
    case SB_THUMBTRACK:
      if (!gridOptions_.Contains(goThumbTracking)) return;
      target = pos;
      break;
    case SB_TOP: target = 0; break;
    case SB_BOTTOM: target = horz ? ColCount() : RowCount(); break;
    default: return;
  }
  if (horz) SetLeftCol(target);
  else SetTopRow(target);
}

void TCustomGrid::TimedScroll(int dx, int dy) {
  if (dx != 0) SetLeftCol(topLeft_.X + dx);
  if (dy != 0) SetTopRow(topLeft_.Y + dy);
  TGridDrawInfo info;
  CalcDrawInfo(info);
  int col = dx < 0 ? topLeft_.X : dx > 0 ? info.Horz.LastFullVisibleCell : current_.X;
  int row = dy < 0 ? topLeft_.Y : dy > 0 ? info.Vert.LastFullVisibleCell : current_.Y;
  FocusCell(col, row, false);
}

// ---------------------------------------------------------------------------
// Messages, mouse and keys

bool TCustomGrid::IsActiveControl() const {
  if (Focused() || (editor_ && editor_->Focused())) return true;
  TCustomForm* form = GetParentForm();
  return form && form->ActiveControl() == this;
}

void TCustomGrid::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_TIMER:
      if (static_cast<unsigned>(m.WParam) == kScrollTimer && gridState_ == gsSelecting) {
        TGridDrawInfo info;
        CalcDrawInfo(info);
        int dx = movePos_ < info.Horz.FixedBoundary ? -1
                 : movePos_ >= info.Horz.GridExtent ? 1 : 0;
        int dy = sizingPos_ < info.Vert.FixedBoundary ? -1
                 : sizingPos_ >= info.Vert.GridExtent ? 1 : 0;
        if (dx != 0 || dy != 0) TimedScroll(dx, dy);
        return;
      }
      break;
    case WM_HSCROLL:
      ModifyScrollBar(SB_HORZ, LoWordSigned(m.WParam), HiWordSigned(m.WParam));
      return;
    case WM_VSCROLL:
      ModifyScrollBar(SB_VERT, LoWordSigned(m.WParam), HiWordSigned(m.WParam));
      return;
    default:
      break;
  }
  TCustomControl::WndProc(m);
}

TGridState TCustomGrid::CalcSizingState(int x, int y, int& index, int& sizingPos,
                                        int& sizingOfs) {
  TGridDrawInfo info;
  CalcDrawInfo(info);
  index = -1;
  if (gridOptions_.Contains(goColSizing) && y < info.Vert.FixedBoundary &&
      info.Horz.EffectiveLineWidth >= 0) {
    auto test = [&](int col) {
      int start = CellStart(info.Horz, col);
      if (start < 0 || colWidths_[col] < 0) return false;
      int line = start + colWidths_[col];
      if (std::abs(x - line) <= kSizingSlack + info.Horz.EffectiveLineWidth / 2) {
        index = col;
        sizingPos = line;
        sizingOfs = line - x;
        return true;
      }
      return false;
    };
    for (int col = 0; col < fixedCols_; ++col)
      if (test(col)) return gsColSizing;
    for (int col = topLeft_.X; col <= info.Horz.LastFullVisibleCell + 1 && col < ColCount(); ++col)
      if (test(col)) return gsColSizing;
  }
  if (gridOptions_.Contains(goRowSizing) && x < info.Horz.FixedBoundary) {
    for (int row = topLeft_.Y; row <= info.Vert.LastFullVisibleCell && row < RowCount(); ++row) {
      int start = CellStart(info.Vert, row);
      if (start < 0) continue;
      int line = start + rowHeights_[row];
      if (std::abs(y - line) <= kSizingSlack) {
        index = row;
        sizingPos = line;
        sizingOfs = line - y;
        return gsRowSizing;
      }
    }
  }
  return gsNormal;
}

void TCustomGrid::DrawSizingLine() {
  if (sizingLineX_ < 0) return;
  TCanvas* c = Canvas();
  c->Pen()->SetMode(pmXor);
  c->Pen()->SetColor(clWhite);
  c->Pen()->SetWidth(1);
  TRect client = ClientRect();
  c->MoveTo(sizingLineX_, client.Top);
  c->LineTo(sizingLineX_, client.Bottom);
  c->Pen()->SetMode(pmCopy);
}

void TCustomGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && !Focused() && CanFocus() && !IsDesigning()) SetFocus();
  if (button == mbLeft) {
    int index, pos, ofs;
    TGridState s = CalcSizingState(x, y, index, pos, ofs);
    if (s == gsColSizing || s == gsRowSizing) {
      gridState_ = s;
      sizingIndex_ = index;
      sizingPos_ = pos;
      sizingOfs_ = ofs;
      SetCapture();
      if (s == gsColSizing) {
        sizingLineX_ = pos;
        DrawSizingLine();
      }
    } else {
      TGridCoord cell = MouseCoord(x, y);
      if (cell.X >= 0) {
        if (cell.Y < fixedRows_ && cell.X >= fixedCols_ && gridOptions_.Contains(goColMoving)) {
          gridState_ = gsColMoving;
          moveIndex_ = cell.X;
          SetCapture();
        } else if (cell.X >= fixedCols_ && cell.Y >= fixedRows_) {
          FocusCell(cell.X, cell.Y, !shift.Contains(ssShift));
          gridState_ = gsSelecting;
          movePos_ = x;
          sizingPos_ = y;
          SetCapture();
        }
      }
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomGrid::MouseMove(TShiftState shift, int x, int y) {
  switch (gridState_) {
    case gsColSizing: {
      DrawSizingLine();
      sizingLineX_ = x + sizingOfs_;
      DrawSizingLine();
      break;
    }
    case gsSelecting: {
      movePos_ = x;
      sizingPos_ = y;
      TRect client = ClientRect();
      bool outside = x < client.Left || y < client.Top || x >= client.Right || y >= client.Bottom;
      TGridDrawInfo info;
      CalcDrawInfo(info);
      outside = outside || x < info.Horz.FixedBoundary || y < info.Vert.FixedBoundary;
      if (outside && !timerActive_) {
        timerActive_ = SetTimer(kScrollTimer, kScrollTimerMs);
      } else if (!outside) {
        if (timerActive_) {
          KillTimer(kScrollTimer);
          timerActive_ = false;
        }
        TGridCoord cell = MouseCoord(x, y);
        if (cell.X >= fixedCols_ && cell.Y >= fixedRows_ &&
            (cell.X != current_.X || cell.Y != current_.Y))
          FocusCell(cell.X, cell.Y, false);
      }
      break;
    }
    default:
      break;
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TCustomGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TGridState state = gridState_;
  gridState_ = gsNormal;
  if (timerActive_) {
    KillTimer(kScrollTimer);
    timerActive_ = false;
  }
  if (state != gsNormal) ReleaseCapture();
  if (state == gsColSizing) {
    DrawSizingLine();
    sizingLineX_ = -1;
    TGridDrawInfo info;
    CalcDrawInfo(info);
    int start = CellStart(info.Horz, sizingIndex_);
    int width = std::max(1, x + sizingOfs_ - std::max(0, start));
    if (start >= 0 && width != colWidths_[sizingIndex_]) {
      colWidths_[sizingIndex_] = width;
      ColWidthsChanged();
      UpdateScrollRange();
      Invalidate();
    }
  } else if (state == gsRowSizing) {
    TGridDrawInfo info;
    CalcDrawInfo(info);
    int start = CellStart(info.Vert, sizingIndex_);
    int height = std::max(1, y + sizingOfs_ - std::max(0, start));
    if (start >= 0 && height != rowHeights_[sizingIndex_]) {
      rowHeights_[sizingIndex_] = height;
      RowHeightsChanged();
      Invalidate();
    }
  } else if (state == gsColMoving) {
    TGridCoord cell = MouseCoord(x, ClientRect().Top);
    if (cell.X >= fixedCols_ && cell.X != moveIndex_) MoveColumn(moveIndex_, cell.X);
    moveIndex_ = -1;
  }
  TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomGrid::MoveColumn(int from, int to) {
  if (from == to || from < 0 || to < 0 || from >= ColCount() || to >= ColCount()) return;
  int w = colWidths_[from];
  colWidths_.erase(colWidths_.begin() + from);
  colWidths_.insert(colWidths_.begin() + to, w);
  if (current_.X == from) current_.X = to;
  anchor_ = current_;
  ColumnMoved(from, to);
  Invalidate();
}

void TCustomGrid::KeyDown(std::uint16_t& key, TShiftState shift) {
  int col = current_.X, row = current_.Y;
  int page = std::max(1, VisibleRowCount());
  switch (key) {
    case VK_UP: --row; break;
    case VK_DOWN: ++row; break;
    case VK_LEFT: --col; break;
    case VK_RIGHT: ++col; break;
    case VK_PRIOR: row -= page; break;
    case VK_NEXT: row += page; break;
    case VK_HOME: col = fixedCols_; break;
    case VK_END: col = ColCount() - 1; break;
    case VK_TAB:
      if (!gridOptions_.Contains(goTabs)) return TCustomControl::KeyDown(key, shift);
      col += shift.Contains(ssShift) ? -1 : 1;
      break;
    case VK_F2:
      SetEditorMode(true);
      return;
    default:
      TCustomControl::KeyDown(key, shift);
      return;
  }
  FocusCell(col, row, !shift.Contains(ssShift));
  key = 0;
}

void TCustomGrid::Resize() {
  TCustomControl::Resize();
  UpdateScrollRange();
  if (editor_ && editor_->EditorVisible()) UpdateEdit();
}

// ---------------------------------------------------------------------------
// Editor

TInplaceEdit* TCustomGrid::CreateEditor() { return new TInplaceEdit(this); }

bool TCustomGrid::CanEditShow() {
  return gridOptions_.Contains(goEditing) && editorMode_ && !gridOptions_.Contains(goRowSelect) &&
         current_.Y >= fixedRows_ && current_.X >= fixedCols_ && HandleAllocated() &&
         !IsDesigning() && (gridOptions_.Contains(goAlwaysShowEditor) || IsActiveControl());
}

void TCustomGrid::SetEditorMode(bool value) {
  if (value) ShowEditor();
  else HideEditor();
}

void TCustomGrid::ShowEditor() {
  editorMode_ = true;
  UpdateEdit();
}

void TCustomGrid::HideEditor() {
  editorMode_ = false;
  if (editor_ && editor_->EditorVisible()) {
    editor_->Hide();
    InvalidateCell(current_.X, current_.Y);
  }
}

void TCustomGrid::UpdateEdit() {
  if (!CanEditShow()) {
    if (editor_ && editor_->EditorVisible()) {
      editor_->Hide();
      InvalidateCell(current_.X, current_.Y);
    }
    return;
  }
  if (!editor_) {
    editor_ = CreateEditor();
    editor_->SetGrid(this);
  }
  editor_->UpdateContents();
  TRect r = CellRect(current_.X, current_.Y);
  if (r.Width() <= 0 || r.Height() <= 0) {
    editor_->Hide();
    return;
  }
  editor_->UpdateLoc(r);
}

void TCustomGrid::InvalidateEditor() {
  if (editor_ && editor_->EditorVisible()) editor_->UpdateContents();
}

PAYROLL_PUBLISH(TInplaceEdit) {}
PAYROLL_PUBLISH(TCustomGrid) {}
