// TCustomDBGridEx and TDBGridEx: the data grid.
//
// The grid is a TCustomGrid whose rows are the data link's buffer window:
// row 0 is the title row (with dgTitles), then one row per buffered record,
// then -- with footers -- one spacer row and FooterRowCount footer rows
// ending at the bottom of the client area.  Column 0 is the indicator
// (with dgIndicator), then one grid column per entry of Columns; the first
// FrozenCols shown columns do not scroll.
//
// The layout (field map, default columns, widths, row and title heights,
// frozen columns, auto-fit) is rebuilt only under the layout lock:
// LayoutChanged takes it when neither the update lock nor the layout lock
// is held, otherwise the change is dropped; a caller that must not lose it
// uses DeferLayout, which posts CM_DEFERLAYOUT (1124) to the grid's own
// window, at most one queued.  Painting (DBGridExPaint.cpp) and record
// following (DBGridExRecords.cpp) build on the layout.
//
// The grid owns: Columns, ColumnDefValues, the data link, SumList,
// Selection (with its rectangle and column parts), SelectedRows,
// TitleFont, FooterFont, the header tree root and TitleLeaves, the two
// scroll-bar settings, the indicator and sort-marker images and one cell
// parameters object reused for every cell.  MarkedColumns lists the
// columns with a sort marker, position = SortIndex - 1.
//
// Layer: grid (platform/ui beneath).
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "grid/DBGridExColumns.h"
#include "grid/HeadTree.h"
#include "platform/data/DataSource.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Grids.h"
#include "platform/ui/ImageList.h"

class TGridDataLinkEx;
class TCustomImageList;
class TDBGridExSumList;
class TDBGridExSelection;
class TBookmarkListEx;

enum TDBGridExOption {
  dghFixed3D, dghFrozen3D, dghFooter3D, dghData3D, dghResizeWholeRightPart, dghHighlightFocus,
  dghClearSelection, dghFitRowHeightToText, dghAutoSortMarking, dghMultiSortMarking,
  dghEnterAsTab, dghTraceColSizing, dghIncSearch, dghPreferIncSearch, dghRowHighlight
};
PAYROLL_ENUM_NAMES(TDBGridExOption, dghFixed3D, dghFrozen3D, dghFooter3D, dghData3D,
                   dghResizeWholeRightPart, dghHighlightFocus, dghClearSelection,
                   dghFitRowHeightToText, dghAutoSortMarking, dghMultiSortMarking, dghEnterAsTab,
                   dghTraceColSizing, dghIncSearch, dghPreferIncSearch, dghRowHighlight)
using TDBGridExOptions = TSet<TDBGridExOption, 16>;

enum TDBGridExEditAction { geaCutEx, geaCopyEx, geaPasteEx, geaDeleteEx, geaSelectAllEx };
PAYROLL_ENUM_NAMES(TDBGridExEditAction, geaCutEx, geaCopyEx, geaPasteEx, geaDeleteEx,
                   geaSelectAllEx)
using TDBGridExEditActions = TSet<TDBGridExEditAction, 8>;

enum TDBGridExAllowedOperation { alopInsertEx, alopUpdateEx, alopDeleteEx, alopAppendEx };
PAYROLL_ENUM_NAMES(TDBGridExAllowedOperation, alopInsertEx, alopUpdateEx, alopDeleteEx,
                   alopAppendEx)
using TDBGridExAllowedOperations = TSet<TDBGridExAllowedOperation, 8>;

enum TDBGridExSelectionType { gstNon, gstRecordBookmarks, gstRectangle, gstColumns, gstAll };
PAYROLL_ENUM_NAMES(TDBGridExSelectionType, gstNon, gstRecordBookmarks, gstRectangle, gstColumns,
                   gstAll)
using TDBGridExSelectionTypes = TSet<TDBGridExSelectionType, 8>;

// The grid's deferred-layout message, posted to its own window.
constexpr unsigned CM_DEFERLAYOUT = WM_USER + 100;
static_assert(CM_DEFERLAYOUT == 1124);

// Settings of the grid's horizontal and vertical scroll bar.
class TDBGridExScrollBar : public TPersistent {
  PAYROLL_CLASS(TDBGridExScrollBar, TPersistent)
 public:
  TDBGridExScrollBar(TCustomDBGridEx* grid, int kind) : grid_(grid), kind_(kind) {}
  void Assign(TPersistent* source) override;
  bool Tracking() const { return tracking_; }
  void SetTracking(bool value) { tracking_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  int Kind() const { return kind_; }  // SB_HORZ or SB_VERT

 private:
  TCustomDBGridEx* grid_;
  int kind_;
  bool tracking_ = false;
  bool visible_ = true;
};

using TDrawColumnCellEventEx = std::function<void(TObject* sender, const TRect& rect, int dataCol,
                                                  TColumnEx* column, const TGridDrawState& state)>;
using TDrawDataCellEventEx = std::function<void(TObject* sender, const TRect& rect, TField* field,
                                                const TGridDrawState& state)>;
using TDrawFooterCellEventEx =
    std::function<void(TObject* sender, int dataCol, int footerIndex, TColumnEx* column,
                       const TRect& rect, const TGridDrawState& state)>;
using TGetCellParamsEventEx = std::function<void(TObject* sender, TColumnEx* column, TFont* font,
                                                 TColor& background, const TGridDrawState& state)>;
using TGetFooterParamsEventEx = std::function<void(
    TObject* sender, int dataCol, int footerIndex, TColumnEx* column, TFont* font,
    TColor& background, TAlignment& alignment, const TGridDrawState& state, AnsiString& text)>;
using TGetBtnParamsEventEx =
    std::function<void(TObject* sender, TColumnEx* column, TFont* font, TColor& background,
                       TSortMarkerEx& sortMarker, bool isDown)>;

class TCustomDBGridEx : public TCustomGrid, public TSelectedBookmarks {
  PAYROLL_CLASS(TCustomDBGridEx, TCustomGrid)
 public:
  explicit TCustomDBGridEx(TComponent* owner);
  ~TCustomDBGridEx() override;

  // --- data ------------------------------------------------------------------
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* value);
  TGridDataLinkEx* DataLink() const { return dataLink_.get(); }
  TDBGridColumnsEx* Columns() const { return columns_.get(); }
  void SetColumns(TDBGridColumnsEx* value) { columns_->Assign(value); }
  TColumnDefValuesEx* ColumnDefValues() const { return columnDefValues_.get(); }
  void SetColumnDefValues(TColumnDefValuesEx* value) { columnDefValues_->Assign(value); }
  TDBGridExSumList* SumList() const { return sumList_.get(); }
  TDBGridExSelection* Selection() const { return selection_.get(); }
  TBookmarkListEx* SelectedRows() const { return bookmarks_.get(); }
  // The marked records (SelectedRows), for the worksheet exporter.
  int SelectedBookmarkCount() const override;
  TBookmarkStr SelectedBookmark(int index) const override;
  TColumnsExList& MarkedColumns() { return markedColumns_; }
  const TColumnsExList& ShownColumns() const { return shownColumns_; }

  // --- appearance --------------------------------------------------------------
  TFont* TitleFont() const { return titleFont_.get(); }
  void SetTitleFont(TFont* value) { titleFont_->Assign(value); }
  TFont* FooterFont() const { return footerFont_.get(); }
  void SetFooterFont(TFont* value) { footerFont_->Assign(value); }
  TColor FooterColor() const { return footerColor_; }
  void SetFooterColor(TColor value);
  int FooterRowCount() const { return footerRowCount_; }
  void SetFooterRowCount(int value);
  TImeMode ImeMode() const { return imeMode_; }
  void SetImeMode(TImeMode value) { imeMode_ = value; }
  const TImeName& ImeName() const { return imeName_; }
  void SetImeName(const TImeName& value) { imeName_ = value; }
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  bool UseMultiTitle() const { return useMultiTitle_; }
  void SetUseMultiTitle(bool value);
  bool DrawMemoText() const { return drawMemoText_; }
  void SetDrawMemoText(bool value);
  int VTitleMargin() const { return vTitleMargin_; }
  void SetVTitleMargin(int value);
  // Width of a column without field.
  int DefaultColWidth() const { return defaultColWidth_; }

  // --- behaviour ----------------------------------------------------------------
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  const TDBGridOptions& Options() const { return options_; }
  // dgRowSelect takes dgEditing and dgAlwaysShowEditor away.
  void SetOptions(const TDBGridOptions& value);
  const TDBGridExOptions& OptionsEx() const { return optionsEx_; }
  // Switching dghMultiSortMarking off keeps only the first marked column.
  void SetOptionsEx(const TDBGridExOptions& value);
  const TDBGridExAllowedOperations& AllowedOperations() const { return allowedOperations_; }
  void SetAllowedOperations(const TDBGridExAllowedOperations& v) { allowedOperations_ = v; }
  const TDBGridExSelectionTypes& AllowedSelections() const { return allowedSelections_; }
  void SetAllowedSelections(const TDBGridExSelectionTypes& value);
  bool AutoFitColWidths() const { return autoFitColWidths_; }
  void SetAutoFitColWidths(bool value);
  int MinAutoFitWidth() const { return minAutoFitWidth_; }
  void SetMinAutoFitWidth(int value);
  // Columns left of the scrolling part; negative values count as 0.
  int FrozenCols() const { return frozenCols_; }
  void SetFrozenCols(int value);
  int RowHeight() const { return rowHeight_; }
  void SetRowHeight(int value);
  int RowLines() const { return rowLines_; }
  void SetRowLines(int value);
  int TitleHeight() const { return titleHeight_; }
  void SetTitleHeight(int value);
  int TitleLines() const { return titleLines_; }
  void SetTitleLines(int value);
  TCustomImageList* TitleImages() const { return titleImages_; }
  void SetTitleImages(TCustomImageList* value);
  bool RowSizingAllowed() const { return rowSizingAllowed_; }
  void SetRowSizingAllowed(bool value);
  TDBGridExScrollBar* HorzScrollBar() const { return horzScrollBar_.get(); }
  void SetHorzScrollBar(TDBGridExScrollBar* value) { horzScrollBar_->Assign(value); }
  TDBGridExScrollBar* VertScrollBar() const { return vertScrollBar_.get(); }
  void SetVertScrollBar(TDBGridExScrollBar* value) { vertScrollBar_->Assign(value); }
  const TDBGridExEditActions& EditActions() const { return editActions_; }
  void SetEditActions(const TDBGridExEditActions& value) { editActions_ = value; }
  // Whether the grid's operations allow changing the current record
  // (inserting or appending for a new record, updating otherwise).
  virtual bool AllowedUpdate() const;

  // --- column and row addressing -------------------------------------------------
  int IndicatorCols() const { return options_.Contains(dgIndicator) ? 1 : 0; }
  int TitleRows() const { return options_.Contains(dgTitles) ? 1 : 0; }
  int ColumnToGridIndex(int column) const { return column + IndicatorCols(); }
  int GridToColumnIndex(int gridColumn) const { return gridColumn - IndicatorCols(); }
  // The column the cursor is in (index into Columns), -1 when none.
  int SelectedIndex() const;
  void SetSelectedIndex(int value);
  int CurrentColumnIndex() const { return SelectedIndex(); }
  // The field of the current column; null when none.
  TField* CurrentField() const;

  // --- layout --------------------------------------------------------------------------
  // The update lock: while held, layouts are dropped, resizing does not
  // re-lay out and scrolling does not update the window at once.
  void BeginUpdate() { ++updateLock_; }
  void EndUpdate() {
    if (updateLock_ > 0) --updateLock_;
  }
  int UpdateLock() const { return updateLock_; }
  // BeginLayout/EndLayout: nested pairs rebuild the layout once, at the
  // outermost EndLayout.
  void BeginLayout();
  void EndLayout();
  // EndLayout without the rebuild.
  void CancelLayout();
  // Posts one CM_DEFERLAYOUT (when the window exists and none is queued),
  // then CancelLayout.
  void DeferLayout();
  // Takes the layout lock (BeginLayout) when neither lock is held.
  bool AcquireLayoutLock();
  bool LayoutLocked() const { return layoutLock_ > 0; }
  // Rebuilds the layout when the lock can be taken; otherwise nothing.
  virtual void LayoutChanged();
  int LayoutCount() const { return layoutCount_; }
  // Layout measures: the default row height and the title row's height.
  int DefaultRowHeightOfLayout() const { return DefaultRowHeight(); }
  int TitleRowHeight() const { return TitleRows() > 0 ? RowHeights(0) : 0; }
  bool TallRows() const { return tallRows_; }
  int EditButtonWidth() const { return editButtonWidth_; }
  int ScrollBarWidth() const { return scrollBarWidth_; }
  int TitleTextPadding() const { return flat_ ? 2 : 4; }

  // --- header tree -----------------------------------------------------------------
  THeadTreeNode* HeadTree() const { return headTree_.get(); }
  // One (leaf, column) pair per column after a layout with multi-level titles.
  struct TTitleLeaf {
    THeadTreeNode* Leaf;
    TColumnEx* Column;
  };
  const std::vector<TTitleLeaf>& TitleLeaves() const { return titleLeaves_; }
  // Builds the tree from the columns' captions (leaf height titleHeight).
  void BuildTitleTree(int titleHeight);
  // Measures the tree's heights with the title fonts.
  int MeasureTitleTree(THeadTreeNode* node);

  // --- footers -----------------------------------------------------------------------
  // The text of footer row `row` of column.
  AnsiString GetFooterValue(int row, TColumnEx* column);

  // --- repaint and editor -------------------------------------------------------------
  virtual void InvalidateColumn(int gridColumn);
  // Gives grid column of Columns[index] the column's width (-1 or 0 when
  // hidden, by dgColLines).
  void SyncColumnWidth(int index);
  virtual void InvalidateRow(int gridRow);
  virtual void InvalidateCurrentRow();
  virtual void InvalidateFooter();
  void Invalidate() override;
  int InvalidateCount() const { return invalidateCount_; }
  bool EditorShowing() const { return EditorMode(); }
  // Reloads the in-place editor from the current cell.
  void ReloadEditor() { InvalidateEditor(); }
  bool CanEditShow() override;
  AnsiString GetEditText(int col, int row) override;
  void SetEditText(int col, int row, const AnsiString& value) override;
  AnsiString GetEditMask(int col, int row) override;
  int GetEditLimit() override;

  // --- painting ------------------------------------------------------------------------
  void Paint() override;
  virtual bool HighlightCell(int dataCol, int dataRow, const AnsiString& value,
                             const TGridDrawState& state);
  // The indicator glyphs (0 current, 1 editing, 2 inserting, 3, 4 multi
  // dot and arrow, 5 current and selected, 6 current while searching) and
  // the sort markers (0 down, 1 up).
  TCustomImageList* IndicatorImages() const { return indicators_.get(); }
  TCustomImageList* SortMarkerImages() const { return sortMarkers_.get(); }
  // The grid row drawn as the current record at the last paint.
  int LastCurrentRow() const { return lastCurrentRow_; }
  // The title column pressed by the mouse (-1: none) and whether the
  // button is held down (the mouse handling sets them).
  int PressedTitleColumn() const { return pressedCol_; }
  bool TitlePressed() const { return titlePressed_; }
  void SetPressedTitle(int gridColumn, bool down);

  // --- data link reactions ---------------------------------------------------------------
  virtual void LinkActive(bool value);
  virtual void DataChanged();
  virtual void Scroll(int distance);
  virtual void EditingChanged();
  virtual void RecordChanged(TField* field);
  virtual void UpdateData();
  void UpdateRowCount();
  void UpdateVertScrollBar();
  void UpdateActive();
  // The link forwards a layout change of the dataset (FromDataLink set).
  void DataLinkLayoutChanged();
  bool LayoutFromDataLink() const { return layoutFromDataLink_; }
  // Makes a column bound to field current; false when none shows it.
  virtual bool SelectColumnOfField(TField* field);
  // Leaving the grid: cancels an untouched insert (dgCancelOnExit) or
  // writes the editor's text.
  void DoExit() override;

  // A column leaves Columns: it leaves every list that refers to it.
  void ColumnRemoved(TColumnEx* column);

  // --- sort markers -----------------------------------------------------------------------
  // Called when a title's sort marker or index changed.
  virtual void SortMarkingChanged();
  TNotifyEvent OnSortMarkingChanged;
  TNotifyEvent OnSumListRecalcAll;
  TNotifyEvent OnColWidthsChanged;
  std::function<void(TObject* sender, int fromIndex, int toIndex)> OnColumnMoved;
  TDrawColumnCellEventEx OnDrawColumnCell;
  TDrawDataCellEventEx OnDrawDataCell;
  TDrawFooterCellEventEx OnDrawFooterCell;
  TGetCellParamsEventEx OnGetCellParams;
  TGetFooterParamsEventEx OnGetFooterParams;
  TGetBtnParamsEventEx OnGetBtnParams;

  // --- keyboard, mouse and editing (DBGridExKeys.cpp, DBGridExEdit.cpp) ------------------
  // The grid's key handling, for the in-place editor to hand keys on.
  void GridKeyDown(std::uint16_t& key, TShiftState shift) { KeyDown(key, shift); }
  void GridKeyPress(char& key) { KeyPress(key); }
  // The edit-action tests (false without an active link) and their runner:
  // Execute runs the action when its test holds and answers whether it ran.
  bool CanCopySelection();
  bool CanCutSelection();
  bool CanPasteSelection();
  bool CanDeleteSelection();
  bool CanSelectAll();
  bool ExecuteEditAction(TDBGridExEditAction action);
  // The standard edit actions (Actions.h): ExecuteAction runs the grid's
  // own operation when EditActions holds it and its test holds, and then
  // answers true; UpdateAction sets the action's Enabled to the same and
  // answers true.  Other actions, and an edit action that cannot run, get
  // the control's default answer.
  bool ExecuteAction(TBasicAction* action) override;
  bool UpdateAction(TBasicAction* action) override;
  // Incremental search: direction 0 first match, 1 next, 2 previous;
  // timeOut in ms, -1 for none (timer 2 ends the search).
  void DoIncSearch(const AnsiString& text, int timeOut, int direction);
  void StopIncSearch();
  bool IncSearching() const { return incSearching_; }
  // The running search's time-out (-1: none).
  int IncSearchTimeOut() const;
  // The active record changed: a search stops unless the search moved it.
  void ActiveRecordMoved();
  const AnsiString& IncSearchText() const { return incSearchText_; }
  // The text being edited in the current cell and its paired key value.
  const AnsiString& EditText() const { return editedText_; }
  void SetEditTextEx(const AnsiString& value) { editedText_ = value; }
  const Variant& EditValue() const;
  void SetEditValue(const Variant& value);
  // Runs the grid's edit-button click (OnEditButtonClick).
  virtual void EditButtonClick();
  // Mouse state: 0 none, 1 rows from the indicator, 2 columns in the
  // title, 3 a rectangle, 6 sizing a frozen column.
  int MouseState() const;
  std::function<void(TObject* sender, int aCol, TColumnEx* column)> OnTitleBtnClick;
  std::function<void(TColumnEx* column)> OnTitleClick;
  std::function<void(TColumnEx* column)> OnCellClick;
  std::function<void(TObject* sender, TColumnEx* column, bool& allow)> OnCheckButton;
  TNotifyEvent OnEditButtonClick;
  // The current column is about to change (OnColExit) or has changed
  // (OnColEnter).  A handler of OnColExit that moves to another column
  // itself keeps the original move from happening.
  TNotifyEvent OnColEnter;
  TNotifyEvent OnColExit;

  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;
  void WndProc(TMessage& message) override;

 protected:
  void DrawCell(int col, int row, const TRect& rect, const TGridDrawState& state) override;
  void ColWidthsChanged() override;
  void RowHeightsChanged() override;
  void ColumnMoved(int fromIndex, int toIndex) override;
  // A row is a record of the link's window: moving to another row moves
  // the dataset, and the grid follows it (UpdateActive); the spacer and
  // footer rows are never current.
  bool SelectCell(int col, int row) override;
  void CurrentColChanged() override;
  virtual void ColEnter();
  virtual void ColExit();
  void Resize() override;
  void FontChanged() override;
  int NonClientBorder() const override;
  void PaintNonClient() override;
  // Rows are sized only by dragging in the indicator column.
  TGridState CalcSizingState(int x, int y, int& index, int& sizingPos, int& sizingOfs) override;
  virtual void RebuildLayout();
  virtual void SetColumnAttributes();
  void DefineFieldMap();
  virtual void GetCellParams(TColumnEx* column, TFont* font, TColor& background,
                             const TGridDrawState& state);
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyUp(std::uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool DoMouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos) override;
  TInplaceEdit* CreateEditor() override;
  // Typing into the editor puts the record into edit state (false when
  // the cell cannot change).
  bool CanEditModify() override;
  // The input messages of DBGridExKeys.cpp (timers, cancel mode); true
  // when handled.
  bool InputMessage(TMessage& message);
  // The vertical bar moves the dataset (record numbers when sequenced,
  // else five positions: first, page up, middle, page down, last).
  void ModifyScrollBar(int bar, int code, int pos) override;
  // The tool-tip of the cell under info's CursorPos: a title's Hint, or the
  // whole text of a title or data cell with ToolTips that does not fit.
  bool CellHint(THintInfo* info);
 public:
  // Whether the form's active control is one of the grid's children (its
  // editor), or with orGrid the grid itself: the focus has not left it.
  bool FocusStaysInside(bool orGrid) const;

 protected:
  // Moves to Columns[column] (direction -1 / 1 skips hidden columns that
  // way); selecting extends the rectangle selection.
  void MoveToColumn(int column, int direction, bool selecting);
  // Moves by distance records (toEnd -1 first, 1 last), extending the
  // selection when selecting, else clearing it.
  void MoveRecords(int distance, bool selecting, bool rowOnly, int toEnd);
  bool InsertAtEndUntouched() const;
  bool CanAppendAtEnd() const;
  void TabMove(bool back);
  int VisibleDataRows() const;
  // Ctrl+Del: the selection, the bookmarked rows or the current record.
  void DeleteByKey();
  void ExtendMouseSelection(int distance, int gridCol);
  std::unique_ptr<TGridDataLinkEx> dataLink_;
  // Incremental search state (the keyboard handling runs the search).
  bool incSearching_ = false;
  AnsiString incSearchText_;

 private:
  void RebuildColumns();
  void AutoFitColumns();
  void MeasureLayout();
  void ApplyBaseOptions();
  // Painting pieces (DBGridExPaint.cpp).
  void PaintGridLines(const TGridDrawInfo& info);
  void DrawIndicatorCell(int dataRow, TRect rect, int margin, bool spacer);
  void DrawTitleCell(int dataCol, TColumnEx* column, TRect rect, int margin, int leftMargin);
  void DrawFooterArea(int aCol, int dataCol, int dataRow, TColumnEx* column, TRect rect,
                      int margin, int leftMargin, const TGridDrawState& state);
  void DrawDataCell(int aCol, int aRow, int dataCol, int dataRow, TColumnEx* column, TRect rect,
                    int margin, int leftMargin, TGridDrawState state);
  void DrawIncSearchOverlay(TColumnEx* column, const TRect& textRect, int margin, int leftMargin,
                            const AnsiString& text);
  void DrawGroupTitle(THeadTreeNode* leaf, const TRect& leafRect, bool highlighted);
  void Frame3DCell(TRect& rect, bool sunken);
  bool ColumnHighlighted(TColumnEx* column) const;
  void BuildImages();
  int SpacerRow() const;

  std::unique_ptr<TColumnDefValuesEx> columnDefValues_;
  std::unique_ptr<TDBGridColumnsEx> columns_;
  std::unique_ptr<TFont> titleFont_;
  std::unique_ptr<TFont> footerFont_;
  std::unique_ptr<TBookmarkListEx> bookmarks_;
  std::unique_ptr<THeadTreeNode> headTree_;
  std::vector<TTitleLeaf> titleLeaves_;
  std::unique_ptr<TDBGridExSumList> sumList_;
  std::unique_ptr<TDBGridExSelection> selection_;
  std::unique_ptr<TDBGridExScrollBar> horzScrollBar_;
  std::unique_ptr<TDBGridExScrollBar> vertScrollBar_;
  std::unique_ptr<TImageList> indicators_;
  std::unique_ptr<TImageList> sortMarkers_;
  std::unique_ptr<TColCellParamsEx> cellParams_;
  std::unique_ptr<TFont> cellFont_;
  TColumnsExList markedColumns_;
  TColumnsExList shownColumns_;
  std::set<THeadTreeNode*> drawnGroups_;  // group titles drawn by this paint

  TColor footerColor_ = clWindow;
  int footerRowCount_ = 0;
  TImeMode imeMode_ = imDontCare;
  TImeName imeName_;
  bool flat_ = false;
  bool useMultiTitle_ = false;
  bool drawMemoText_ = false;
  int vTitleMargin_ = 10;
  int defaultColWidth_ = 64;
  bool readOnly_ = false;
  TDBGridOptions options_{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines,
                          dgRowLines, dgTabs, dgConfirmDelete, dgCancelOnExit};
  TDBGridExOptions optionsEx_{dghFixed3D, dghHighlightFocus, dghClearSelection};
  TDBGridExAllowedOperations allowedOperations_{alopInsertEx, alopUpdateEx, alopDeleteEx,
                                                alopAppendEx};
  TDBGridExSelectionTypes allowedSelections_{gstRecordBookmarks, gstRectangle, gstColumns,
                                             gstAll};
  TDBGridExEditActions editActions_;
  bool autoFitColWidths_ = false;
  int minAutoFitWidth_ = 0;
  int frozenCols_ = 0;
  int rowHeight_ = 0;
  int rowLines_ = 0;
  int titleHeight_ = 0;
  int titleLines_ = 0;
  int fullTitleHeight_ = 0;
  int titleRowHeight_ = 0;
  TCustomImageList* titleImages_ = nullptr;
  bool rowSizingAllowed_ = false;
  bool rowSizing_ = false;
  int scrollBarWidth_ = 17;
  int editButtonWidth_ = 17;
  bool tallRows_ = false;
  int updateLock_ = 0;
  int layoutLock_ = 0;
  int layoutCount_ = 0;
  bool layoutFromDataLink_ = false;
  bool inDataChanged_ = false;
  bool copyingParentFont_ = false;
  bool followingDataset_ = false;  // UpdateActive moves the current row
  bool inColExit_ = false;         // OnColExit runs: no second one for its own moves
  bool rowSelectRelayout_ = false;
  int invalidateCount_ = 0;
  int lastCurrentRow_ = -1;
  int pressedCol_ = -1;
  bool titlePressed_ = false;
  AnsiString loadedEditText_;
  AnsiString editedText_;
  bool vertBarShown_ = false;
  // Keyboard, mouse and editing state (DBGridExKeys.cpp).
  struct TInputState;
  std::shared_ptr<TInputState> input_;
  TInputState& Input();
};

class TDBGridEx : public TCustomDBGridEx {
  PAYROLL_CLASS(TDBGridEx, TCustomDBGridEx)
 public:
  explicit TDBGridEx(TComponent* owner) : TCustomDBGridEx(owner) {}
};
