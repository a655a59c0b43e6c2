// TCustomDBGridEx and TDBGridEx: the data grid.
//
// This header holds the grid's model: its properties and owned objects
// (columns, column defaults, data link, sum list, selection, marked
// columns, header tree) and the operations the columns, footers, sum list
// and selection call on it.  Painting, the cell layout and the keyboard
// and mouse handling build on this class; until they exist the hooks below
// (LayoutChanged, InvalidateColumn, InvalidateRow, ShowEditor, HideEditor)
// only record that they were asked for, so the model can be tested
// without painting.
//
// The grid owns: Columns, ColumnDefValues, the data link, SumList,
// Selection (with its rectangle and column parts), SelectedRows,
// TitleFont, FooterFont, the header tree root and TitleLeaves.
// MarkedColumns lists the columns with a sort marker, position =
// SortIndex - 1.
//
// Layer: grid (platform/ui beneath).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "grid/DBGridExColumns.h"
#include "grid/HeadTree.h"
#include "platform/data/DataSource.h"
#include "platform/ui/Controls.h"
#include "platform/ui/DBGrids.h"

class TGridDataLinkEx;
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

enum TDBGridExAllowedOperation { alopInsertEx, alopUpdateEx, alopDeleteEx, alopAppendEx };
PAYROLL_ENUM_NAMES(TDBGridExAllowedOperation, alopInsertEx, alopUpdateEx, alopDeleteEx,
                   alopAppendEx)
using TDBGridExAllowedOperations = TSet<TDBGridExAllowedOperation, 8>;

enum TDBGridExSelectionType { gstNon, gstRecordBookmarks, gstRectangle, gstColumns, gstAll };
PAYROLL_ENUM_NAMES(TDBGridExSelectionType, gstNon, gstRecordBookmarks, gstRectangle, gstColumns,
                   gstAll)
using TDBGridExSelectionTypes = TSet<TDBGridExSelectionType, 8>;

// The grid's cell and footer parameter events (state: the grid's draw
// state bits, as in TColCellParamsEx).
using TGetCellExParamsEvent = std::function<void(TObject* sender, TColumnEx* column, TFont* font,
                                                 TColor& background, unsigned state)>;
using TGetFooterParamsEvent = std::function<void(
    TObject* sender, int dataCol, int row, TColumnEx* column, TFont* font, TColor& background,
    TAlignment& alignment, unsigned state, AnsiString& text)>;

class TCustomDBGridEx : public TCustomControl {
  PAYROLL_CLASS(TCustomDBGridEx, TCustomControl)
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
  TColumnsExList& MarkedColumns() { return markedColumns_; }
  const TColumnsExList& ShownColumns() const { return shownColumns_; }

  // --- appearance --------------------------------------------------------------
  TFont* TitleFont() const { return titleFont_.get(); }
  void SetTitleFont(TFont* value) { titleFont_->Assign(value); }
  TFont* FooterFont() const { return footerFont_.get(); }
  void SetFooterFont(TFont* value) { footerFont_->Assign(value); }
  TColor FooterColor() const { return footerColor_; }
  void SetFooterColor(TColor value);
  TColor FixedColor() const { return fixedColor_; }
  void SetFixedColor(TColor value);
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
  void SetAutoFitColWidths(bool value) { autoFitColWidths_ = value; }
  // Whether the grid's operations allow changing the current record
  // (inserting or appending for a new record, updating otherwise).
  virtual bool AllowedUpdate() const;

  // --- column and row addressing -------------------------------------------------
  int IndicatorCols() const { return options_.Contains(dgIndicator) ? 1 : 0; }
  int TitleRows() const { return options_.Contains(dgTitles) ? 1 : 0; }
  int ColumnToGridIndex(int column) const { return column + IndicatorCols(); }
  int GridToColumnIndex(int gridColumn) const { return gridColumn - IndicatorCols(); }
  // The column the cursor is in (index into Columns), -1 when none.
  int SelectedIndex() const { return selectedIndex_; }
  void SetSelectedIndex(int value) { selectedIndex_ = value; }

  // --- layout --------------------------------------------------------------------------
  // Layout changes between BeginLayout and the matching EndLayout are
  // collected into one LayoutChanged.
  void BeginLayout();
  void EndLayout();
  // EndLayout without the layout.
  void CancelLayout();
  bool LayoutLocked() const { return layoutLock_ > 0; }
  // Rebuilds the field map, the default columns, ShownColumns and (with
  // multi-level titles) the header tree.
  virtual void LayoutChanged();
  int LayoutCount() const { return layoutCount_; }

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

  // Asked for every data cell and footer cell drawn or exported.
  TGetCellExParamsEvent OnGetCellParams;
  TGetFooterParamsEvent OnGetFooterParams;

  // --- repaint and editor hooks (painting overrides them) -------------------------------
  virtual void InvalidateColumn(int gridColumn);
  virtual void InvalidateRow(int gridRow);
  virtual void InvalidateCurrentRow();
  virtual void InvalidateFooter();
  void Invalidate() override;
  virtual void ShowEditor();
  virtual void HideEditor();
  // Counters of the hooks above, for the model's tests.
  int InvalidateCount() const { return invalidateCount_; }
  bool EditorShowing() const { return editorShowing_; }

  // --- data link reactions ---------------------------------------------------------------
  virtual void LinkActive(bool value);
  virtual void DataChanged() {}
  virtual void Scroll(int) {}
  virtual void EditingChanged() {}
  virtual void RecordChanged(TField*) {}
  virtual void UpdateData() {}
  // The link forwards a layout change of the dataset (FromDataLink set).
  void DataLinkLayoutChanged();
  bool LayoutFromDataLink() const { return layoutFromDataLink_; }
  // Makes a column bound to field current; false when none shows it.
  virtual bool SelectColumnOfField(TField* field);

  // A column leaves Columns: it leaves every list that refers to it.
  void ColumnRemoved(TColumnEx* column);

  // --- sort markers -----------------------------------------------------------------------
  // Called when a title's sort marker or index changed.
  virtual void SortMarkingChanged();
  TNotifyEvent OnSortMarkingChanged;
  TNotifyEvent OnSumListRecalcAll;

  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

 protected:
  std::unique_ptr<TGridDataLinkEx> dataLink_;

 private:
  void DefineFieldMap();
  void RebuildColumns();

  std::unique_ptr<TColumnDefValuesEx> columnDefValues_;
  std::unique_ptr<TDBGridColumnsEx> columns_;
  std::unique_ptr<TFont> titleFont_;
  std::unique_ptr<TFont> footerFont_;
  std::unique_ptr<TBookmarkListEx> bookmarks_;
  std::unique_ptr<THeadTreeNode> headTree_;
  std::vector<TTitleLeaf> titleLeaves_;
  std::unique_ptr<TDBGridExSumList> sumList_;
  std::unique_ptr<TDBGridExSelection> selection_;
  TColumnsExList markedColumns_;
  TColumnsExList shownColumns_;

  TColor footerColor_ = clWindow;
  TColor fixedColor_ = clBtnFace;
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
  bool autoFitColWidths_ = false;
  int selectedIndex_ = 0;
  int layoutLock_ = 0;
  bool layoutPending_ = false;
  bool inLayout_ = false;
  int layoutCount_ = 0;
  bool layoutFromDataLink_ = false;
  int invalidateCount_ = 0;
  bool editorShowing_ = false;
};

class TDBGridEx : public TCustomDBGridEx {
  PAYROLL_CLASS(TDBGridEx, TCustomDBGridEx)
 public:
  explicit TDBGridEx(TComponent* owner) : TCustomDBGridEx(owner) {}
};
