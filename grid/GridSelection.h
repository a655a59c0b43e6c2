// The data grid's selection: one of five kinds at a time.
//
//   gstNon              nothing
//   gstRecordBookmarks  a set of records (TBookmarkListEx, the grid's
//                       SelectedRows), kept sorted in the dataset's
//                       bookmark order so that Find is a binary search
//   gstRectangle        the cells between two corners (TDBGridExSelectionRect):
//                       Anchor where the selection started, Shift the
//                       moving corner; columns are indexes into Columns,
//                       rows are bookmarks
//   gstColumns          a set of columns (TDBGridExSelectionCols), sorted
//                       by column Index
//   gstAll              the whole grid
//
// A new selection of another kind always clears the previous one first.
// Closing or opening the grid's data link clears everything.
//
// Layer: grid.
#pragma once

#include <memory>
#include <vector>

#include "grid/DBGridEx.h"
#include "platform/core/Strings.h"

class TCustomDBGridEx;

class TBookmarkListEx {
 public:
  explicit TBookmarkListEx(TCustomDBGridEx* grid) : grid_(grid) {}
  ~TBookmarkListEx();
  TBookmarkListEx(const TBookmarkListEx&) = delete;
  TBookmarkListEx& operator=(const TBookmarkListEx&) = delete;

  void Clear();
  int Count() const { return static_cast<int>(list_.size()); }
  const TBookmarkStr& Items(int index) const { return list_.at(index); }
  // Binary search in the dataset's bookmark order; index is where the
  // bookmark is or would be inserted.
  bool Find(const TBookmarkStr& bookmark, int& index);
  // The dataset's current bookmark; EInvalidGridOperation on a closed link.
  TBookmarkStr CurrentRow() const;
  bool CurrentRowSelected();
  void SetCurrentRowSelected(bool value);
  // Deletes the selected records, last first, and empties the list.  A
  // record that is already gone (deleted by another copy of the program)
  // is skipped; the user is told how many were deleted when any was.
  // Returns the number deleted.
  int Delete();
  void SetLinkActive(bool value);
  bool LinkActive() const { return linkActive_; }

 private:
  void Changed();  // the list changed: the cached answer is stale
  int Compare(const TBookmarkStr& a, const TBookmarkStr& b) const;

  TBookmarkStr cacheBookmark_;
  bool cacheFound_ = false;
  int cacheIndex_ = -1;
  TCustomDBGridEx* grid_;
  bool linkActive_ = false;
  std::vector<TBookmarkStr> list_;
};

// Deletes the records at the bookmarks, last first, taking each off rows
// (a failed delete leaves it and those before it there).  A bookmark whose
// record another user already deleted cannot be gone to ("Record not
// found"): it is skipped and the rest are still deleted.  When any was
// skipped an information box says how many were deleted and how many were
// gone.  Returns the number deleted.  The caller holds the dataset's
// controls disabled.
int DeleteBookmarkedRecords(TDataSet* ds, std::vector<TBookmarkStr>& rows);
// "已删除 3 条记录，1 条记录已被其他用户删除。"
AnsiString SkippedDeletesText(int deleted, int gone);

class TDBGridExSelectionRect {
 public:
  explicit TDBGridExSelectionRect(TCustomDBGridEx* grid) : grid_(grid) {}

  void Select(int colIndex, const TBookmarkStr& bookmark, bool extend);
  void Clear();
  bool CellSelected(int colIndex, const TBookmarkStr& bookmark) const;
  TBookmarkStr TopRow() const;
  TBookmarkStr BottomRow() const;
  int LeftCol() const;
  int RightCol() const;
  int AnchorCol() const { return anchorCol_; }
  int ShiftCol() const { return shiftCol_; }
  const TBookmarkStr& AnchorRow() const { return anchorRow_; }
  const TBookmarkStr& ShiftRow() const { return shiftRow_; }

 private:
  // Raises EInvalidGridOperation(message) without an active data link.
  void Check(const char* message) const;
  int Compare(const TBookmarkStr& a, const TBookmarkStr& b) const;

  int anchorCol_ = -1;
  TBookmarkStr anchorRow_;
  TCustomDBGridEx* grid_;
  int shiftCol_ = -1;
  TBookmarkStr shiftRow_;
};

class TDBGridExSelectionCols {
 public:
  explicit TDBGridExSelectionCols(TCustomDBGridEx* grid) : grid_(grid) {}

  void Select(TColumnEx* column, bool addSel);
  void InvertSelect(TColumnEx* column);
  void SelectShift(TColumnEx* column);
  void Clear();
  // Drops columns no longer in the grid and re-sorts by Index.
  void Refresh();
  // The column is going away: no list keeps it.
  void Forget(const TColumnEx* column);
  int Count() const { return static_cast<int>(list_.size()); }
  TColumnEx* Items(int index) const { return list_.at(index); }
  bool Contains(const TColumnEx* column) const;
  TColumnEx* AnchorColumn() const { return anchorColumn_; }
  TColumnEx* ShiftColumn() const { return shiftColumn_; }

 private:
  void Add(TColumnEx* column);  // in Index order
  void Remove(TColumnEx* column);
  static bool In(const TColumnsExList& list, const TColumnEx* column);
  void ClearOtherKind();
  void UpdateKind();

  TColumnEx* anchorColumn_ = nullptr;
  TCustomDBGridEx* grid_;
  TColumnEx* shiftColumn_ = nullptr;
  TColumnsExList shiftSelected_;
  TColumnsExList list_;
};

class TDBGridExSelection {
 public:
  explicit TDBGridExSelection(TCustomDBGridEx* grid);
  ~TDBGridExSelection();

  TDBGridExSelectionType SelectionType() const { return selectionType_; }
  // Shows the grid's editor for gstNon with dgAlwaysShowEditor, hides it
  // otherwise (when the type changes).
  void SetSelectionType(TDBGridExSelectionType value);
  // Stores the type without touching the editor.
  void SetSelectionTypeDirect(TDBGridExSelectionType value) { selectionType_ = value; }
  bool DataCellSelected(int colIndex, const TBookmarkStr& bookmark);
  void Clear();
  void SelectAll();
  // An empty bookmark or column selection becomes gstNon.
  void UpdateState();
  void SetLinkActive(bool value);

  TBookmarkListEx* Rows() const;
  TDBGridExSelectionCols* Columns() const { return columns_.get(); }
  TDBGridExSelectionRect* Rect() const { return rect_.get(); }

 private:
  std::unique_ptr<TDBGridExSelectionCols> columns_;
  TCustomDBGridEx* grid_;
  std::unique_ptr<TDBGridExSelectionRect> rect_;
  TDBGridExSelectionType selectionType_ = gstNon;
};
