// Grids: TCustomGrid, the class library's grid of cells, and TInplaceEdit,
// the editor it hosts over its current cell.
//
// Cells are addressed by column and row from 0.  The first FixedCols
// columns and FixedRows rows are fixed: they never scroll.  The other cells
// scroll in whole columns and rows: LeftCol and TopRow are the first
// scrollable column and row shown.  Column widths and row heights are kept
// per index (DefaultColWidth / DefaultRowHeight until set); a width of -1
// hides a column together with its grid line.  Between cells runs a grid
// line GridLineWidth pixels wide, drawn when the options ask for it.
//
//   x of column c  = sum over the shown columns before c of (width + line)
//   CellRect       = the cell's pixels, the line right and below excluded
//
// Painting: Paint walks the four regions (fixed corner, fixed rows, fixed
// columns, scrolling cells), skips every cell outside the canvas's clip
// and calls DrawCell for the rest; descendants paint the cells.  Changing
// TopRow or LeftCol by a few cells shifts the window's pixels
// (ScrollWindow) and paints only what the shift uncovers.
//
// Mouse: dragging a line in the fixed rows sizes a column (goColSizing),
// dragging a fixed-row cell moves a column (goColMoving); both end in
// ColWidthsChanged / ColumnMoved.  Pressing on a cell moves the current
// cell; dragging outside the cells scrolls on a timer (timer 1,
// TimedScroll).
//
// Editor: with goEditing, ShowEditor puts the in-place editor (made by
// CreateEditor, a TInplaceEdit) over the current cell when CanEditShow
// allows it; GetEditText fills it, SetEditText receives what the user
// typed.  EditorMode says whether the editor was asked to show.
//
// Layer: platform/ui.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Mask.h"
#include "platform/ui/StdCtrls.h"

enum TGridOption {
  goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine, goRangeSelect, goDrawFocusSelected,
  goRowSizing, goColSizing, goRowMoving, goColMoving, goEditing, goTabs, goRowSelect,
  goAlwaysShowEditor, goThumbTracking
};
PAYROLL_ENUM_NAMES(TGridOption, goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine,
                   goRangeSelect, goDrawFocusSelected, goRowSizing, goColSizing, goRowMoving,
                   goColMoving, goEditing, goTabs, goRowSelect, goAlwaysShowEditor,
                   goThumbTracking)
using TGridOptions = TSet<TGridOption, 16>;

enum TGridDrawStateItem { gdSelected, gdFocused, gdFixed };
PAYROLL_ENUM_NAMES(TGridDrawStateItem, gdSelected, gdFocused, gdFixed)
using TGridDrawState = TSet<TGridDrawStateItem, 8>;

enum TGridState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };


struct TGridCoord {
  int X = 0;
  int Y = 0;
};

struct TGridRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Contains(int col, int row) const {
    return col >= Left && col <= Right && row >= Top && row <= Bottom;
  }
};

// One axis of the drawing geometry.
struct TGridAxisDrawInfo {
  int EffectiveLineWidth = 0;
  int Origin = 0;             // pixel where the client area starts
  int FixedBoundary = 0;      // pixel where the fixed cells end
  int GridBoundary = 0;       // pixel where the last cell shown ends
  int GridExtent = 0;         // client width or height
  int LastFullVisibleCell = 0;
  int FullVisBoundary = 0;
  int FixedCellCount = 0;
  int FirstGridCell = 0;      // LeftCol or TopRow
  int GridCellCount = 0;
  std::vector<int> Extents;   // width or height of every cell
  int Extent(int i) const { return Extents[i]; }
};

struct TGridDrawInfo {
  TGridAxisDrawInfo Horz;
  TGridAxisDrawInfo Vert;
};

class TCustomGrid;

// The in-place editor: a mask edit without border that the grid moves over
// its current cell.  It passes navigation keys to the grid.
class TInplaceEdit : public TCustomMaskEdit {
  PAYROLL_CLASS(TInplaceEdit, TCustomMaskEdit)
 public:
  explicit TInplaceEdit(TComponent* owner);
  TCustomGrid* Grid() const { return grid_; }
  // Hosts the editor in grid (its parent window).
  void SetGrid(TCustomGrid* grid);
  // Puts the editor over r (grid client coordinates) and shows it.
  virtual void Move(const TRect& r);
  // Shows the editor over r and gives it the focus when the grid has it.
  void UpdateLoc(const TRect& r);
  void Hide();
  bool EditorVisible() const { return visibleOverCell_; }
  // Reloads text, mask and limit from the grid's current cell.
  virtual void UpdateContents();
  // Selects the whole text.
  void Deselect();

 protected:
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void Change() override;

 private:
  TCustomGrid* grid_ = nullptr;
  bool visibleOverCell_ = false;
  bool loading_ = false;
};

class TCustomGrid : public TCustomControl {
  PAYROLL_CLASS(TCustomGrid, TCustomControl)
 public:
  explicit TCustomGrid(TComponent* owner);
  ~TCustomGrid() override;

  // --- size of the grid ------------------------------------------------------
  int ColCount() const { return static_cast<int>(colWidths_.size()); }
  void SetColCount(int value);
  int RowCount() const { return static_cast<int>(rowHeights_.size()); }
  void SetRowCount(int value);
  int FixedCols() const { return fixedCols_; }
  void SetFixedCols(int value);
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int value);
  int DefaultColWidth() const { return defaultColWidth_; }
  void SetDefaultColWidth(int value);
  int DefaultRowHeight() const { return defaultRowHeight_; }
  // Sets every row to the new height.
  void SetDefaultRowHeight(int value);
  int ColWidths(int col) const { return colWidths_[col]; }
  void SetColWidths(int col, int value);
  int RowHeights(int row) const { return rowHeights_[row]; }
  void SetRowHeights(int row, int value);
  int GridLineWidth() const { return gridLineWidth_; }
  void SetGridLineWidth(int value);
  const TGridOptions& GridOptions() const { return gridOptions_; }
  void SetGridOptions(const TGridOptions& value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  TColor FixedColor() const { return fixedColor_; }
  void SetFixedColor(TColor value);
  // The frame round the client area: bsSingle draws a sunken 2-pixel
  // edge with Ctl3D, a 1-pixel black frame without; bsNone none.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool value);
  bool DefaultDrawing() const { return defaultDrawing_; }
  void SetDefaultDrawing(bool value) { defaultDrawing_ = value; }

  // --- position ---------------------------------------------------------------
  int Col() const { return current_.X; }
  void SetCol(int value) { FocusCell(value, current_.Y, true); }
  int Row() const { return current_.Y; }
  void SetRow(int value) { FocusCell(current_.X, value, true); }
  // Moves the current cell, scrolling it into view.
  void FocusCell(int col, int row, bool moveAnchor);
  int LeftCol() const { return topLeft_.X; }
  void SetLeftCol(int value);
  int TopRow() const { return topLeft_.Y; }
  void SetTopRow(int value);
  int VisibleColCount() const;
  int VisibleRowCount() const;
  TGridRect Selection() const;
  TGridState GridState() const { return gridState_; }

  // --- geometry ---------------------------------------------------------------------
  void CalcDrawInfo(TGridDrawInfo& info) const;
  // The cell's pixels; empty when it is not shown.
  TRect CellRect(int col, int row) const;
  // The cell under (x, y); (-1, -1) when none.
  TGridCoord MouseCoord(int x, int y) const;

  // --- repaint -------------------------------------------------------------------------
  void InvalidateCell(int col, int row);
  void InvalidateGridRow(int row);
  void InvalidateGridCol(int col);
  void InvalidateGrid() { Invalidate(); }

  // --- editor -----------------------------------------------------------------------------
  bool EditorMode() const { return editorMode_; }
  void SetEditorMode(bool value);
  TInplaceEdit* InplaceEditor() const { return editor_; }
  virtual void ShowEditor();
  virtual void HideEditor();
  // Reloads the editor from the current cell (when it exists).
  void InvalidateEditor();
  void UpdateEdit();
  virtual bool CanEditShow();
  virtual bool CanEditAcceptKey(char key) { return true; }
  virtual bool CanEditModify() { return true; }
  virtual AnsiString GetEditText(int col, int row) { return AnsiString(); }
  virtual void SetEditText(int col, int row, const AnsiString& value) {}
  virtual AnsiString GetEditMask(int col, int row) { return AnsiString(); }
  virtual int GetEditLimit() { return 0; }

  void Paint() override;
  void WndProc(TMessage& message) override;

 protected:
  int NonClientBorder() const override;
  // Paints the frame outside the client area.
  virtual void PaintNonClient();
  // Paints one cell (state: gdFixed, gdFocused, gdSelected).
  virtual void DrawCell(int col, int row, const TRect& rect, const TGridDrawState& state) {}
  // Grid lines right of and below the cells [startCol, endCol) x
  // [startRow, endRow) inside area, in color.  fill names the background
  // they run over (the cells fill themselves, so it is not painted).
  void DrawLines(const TGridDrawInfo& info, bool doHorz, bool doVert, int startCol, int startRow,
                 int endCol, int endRow, const TRect& area, TColor color, TColor fill);
  // Calls DrawCell for the cells of one region that meet the clip.
  void DrawCells(const TGridDrawInfo& info, int aCol, int aRow, int startX, int startY,
                 int stopX, int stopY, bool includeDrawState);
  virtual TInplaceEdit* CreateEditor();
  // Asked before the current cell moves to (col, row); false keeps it.
  virtual bool SelectCell(int col, int row) { return true; }
  // The current column changed (FocusCell, after the move and the editor).
  virtual void CurrentColChanged() {}
  virtual void ColWidthsChanged() {}
  virtual void RowHeightsChanged() {}
  virtual void TopLeftChanged() {}
  virtual void ColumnMoved(int fromIndex, int toIndex) {}
  virtual void SizeChanged(int oldColCount, int oldRowCount) {}
  // Timer 1 while the mouse is dragged outside the cells.
  virtual void TimedScroll(int dx, int dy);
  // The sizing or moving that a press at (x, y) starts.
  virtual TGridState CalcSizingState(int x, int y, int& index, int& sizingPos, int& sizingOfs);
  // Moves column from to index to (widths follow), then ColumnMoved.
  void MoveColumn(int from, int to);
  // Shifts the scrolling area's pixels for a change of the top-left cell.
  void ScrollDataInfo(int dx, int dy, const TGridDrawInfo& info);
  void MoveTopLeft(int col, int row);
  void UpdateScrollRange();
  virtual void ModifyScrollBar(int bar, int code, int pos);
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void Resize() override;
  // The cell that stays first when the bottom-right one must show.
  int ClampTopRow(int row) const;
  int ClampLeftCol(int col) const;
  bool IsActiveControl() const;
  TGridCoord current_{0, 0};
  TGridCoord anchor_{0, 0};
  TGridCoord topLeft_{0, 0};
  TGridState gridState_ = gsNormal;
  int sizingIndex_ = -1;
  int sizingPos_ = 0;
  int sizingOfs_ = 0;
  int moveIndex_ = -1;
  int movePos_ = -1;
  bool timerActive_ = false;

 private:
  friend class TInplaceEdit;
  void ClampCurrent();
  void DrawSizingLine();
  TInplaceEdit* editor_ = nullptr;
  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;
  int fixedCols_ = 1;
  int fixedRows_ = 1;
  int defaultColWidth_ = 64;
  int defaultRowHeight_ = 24;
  int gridLineWidth_ = 1;
  TGridOptions gridOptions_{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine,
                            goRangeSelect};
  TScrollStyle scrollBars_ = ssBoth;
  TColor fixedColor_ = clBtnFace;
  bool defaultDrawing_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  bool ctl3D_ = true;
  bool editorMode_ = false;
  int sizingLineX_ = -1;
};
