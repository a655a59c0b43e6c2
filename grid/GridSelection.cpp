#include "grid/GridSelection.h"

#include <algorithm>

#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/ui/Dialogs.h"

namespace {

int CompareBookmarkStrs(TDataSet* ds, const TBookmarkStr& a, const TBookmarkStr& b) {
  // The dataset reads the bookmark bytes only; an empty string is "none".
  auto* pa = a.empty() ? nullptr : const_cast<char*>(a.data());
  auto* pb = b.empty() ? nullptr : const_cast<char*>(b.data());
  return ds->CompareBookmarks(pa, pb);
}

TDataSet* GridDataSet(const TCustomDBGridEx* grid) {
  TDataSource* source = grid->DataSource();
  return source ? source->DataSet() : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// TBookmarkListEx

TBookmarkListEx::~TBookmarkListEx() { list_.clear(); }

void TBookmarkListEx::Changed() {
  cacheBookmark_.clear();
  cacheIndex_ = -1;
}

int TBookmarkListEx::Compare(const TBookmarkStr& a, const TBookmarkStr& b) const {
  return CompareBookmarkStrs(grid_->DataLink()->DataSet(), a, b);
}

void TBookmarkListEx::Clear() {
  if (list_.empty()) return;
  list_.clear();
  Changed();
  grid_->Selection()->UpdateState();
  grid_->Invalidate();
}

bool TBookmarkListEx::Find(const TBookmarkStr& bookmark, int& index) {
  if (bookmark == cacheBookmark_ && cacheIndex_ >= 0) {
    index = cacheIndex_;
    return cacheFound_;
  }
  bool found = false;
  int low = 0;
  int high = Count() - 1;
  while (low <= high) {
    int mid = (low + high) / 2;
    int c = Compare(list_[mid], bookmark);
    if (c >= 0) {
      high = mid - 1;
      if (c == 0) {
        found = true;
        low = mid;
      }
    } else {
      low = mid + 1;
    }
  }
  index = low;
  cacheBookmark_ = bookmark;
  cacheIndex_ = low;
  cacheFound_ = found;
  return found;
}

TBookmarkStr TBookmarkListEx::CurrentRow() const {
  if (!linkActive_) RaiseGridError("Cannot perform this operation on a closed dataset");
  return grid_->DataLink()->DataSet()->Bookmark();
}

bool TBookmarkListEx::CurrentRowSelected() {
  int index;
  return Find(CurrentRow(), index);
}

void TBookmarkListEx::SetCurrentRowSelected(bool value) {
  TBookmarkStr current = CurrentRow();
  int index;
  if (Find(current, index) == value) return;
  if (value)
    list_.insert(list_.begin() + index, current);
  else
    list_.erase(list_.begin() + index);
  Changed();
  grid_->InvalidateCurrentRow();
  TDBGridExSelection* selection = grid_->Selection();
  if (selection->SelectionType() != gstRecordBookmarks && !list_.empty()) {
    selection->Clear();
    selection->SetSelectionTypeDirect(gstRecordBookmarks);
  }
  selection->UpdateState();
}

int TCustomDBGridEx::SelectedBookmarkCount() const { return bookmarks_->Count(); }
TBookmarkStr TCustomDBGridEx::SelectedBookmark(int index) const { return bookmarks_->Items(index); }

int TBookmarkListEx::Delete() {
  TDataSet* ds = grid_->DataLink()->DataSet();
  if (ds == nullptr) return 0;
  int deleted = 0;
  {
    TControlsDisabler disabled(ds);
    // Records not reached because a delete failed stay selected.
    struct TKeepRest {
      TBookmarkListEx* list;
      std::vector<TBookmarkStr> rows;
      ~TKeepRest() {
        list->list_.swap(rows);
        list->Changed();
      }
    } rest{this, list_};
    deleted = DeleteBookmarkedRecords(ds, rest.rows);
  }
  grid_->Selection()->UpdateState();
  return deleted;
}

int DeleteBookmarkedRecords(TDataSet* ds, std::vector<TBookmarkStr>& rows) {
  int deleted = 0, gone = 0;
  while (!rows.empty()) {
    bool there = true;
    try {
      ds->SetBookmark(rows.back());
    } catch (const EDatabaseError&) {
      there = false;  // deleted meanwhile by another copy of the program
    }
    if (there) ds->Delete();
    rows.pop_back();
    ++(there ? deleted : gone);
  }
  if (gone > 0) MessageDlg(SkippedDeletesText(deleted, gone), mtInformation, TMsgDlgButtons{mbOK}, 0);
  return deleted;
}

AnsiString SkippedDeletesText(int deleted, int gone) {
  return "已删除 " + IntToStr(deleted) + " 条记录，" + IntToStr(gone) + " 条记录已被其他用户删除。";
}

void TBookmarkListEx::SetLinkActive(bool value) {
  Clear();
  grid_->Selection()->UpdateState();
  linkActive_ = value;
}

// ---------------------------------------------------------------------------
// TDBGridExSelectionRect

void TDBGridExSelectionRect::Check(const char* message) const {
  TDataSet* ds = GridDataSet(grid_);
  if (ds == nullptr || !grid_->DataLink()->Active()) RaiseGridError(message);
}

int TDBGridExSelectionRect::Compare(const TBookmarkStr& a, const TBookmarkStr& b) const {
  return CompareBookmarkStrs(GridDataSet(grid_), a, b);
}

TBookmarkStr TDBGridExSelectionRect::TopRow() const {
  Check("Error in TDBGridExSelectionRect.GetTopRow");
  return Compare(anchorRow_, shiftRow_) < 1 ? anchorRow_ : shiftRow_;
}

TBookmarkStr TDBGridExSelectionRect::BottomRow() const {
  Check("Error in TDBGridExSelectionRect.GetBottomRow");
  return Compare(anchorRow_, shiftRow_) < 0 ? shiftRow_ : anchorRow_;
}

int TDBGridExSelectionRect::LeftCol() const {
  Check("Error in TDBGridExSelectionRect.GetLeftCol");
  return std::min(anchorCol_, shiftCol_);
}

int TDBGridExSelectionRect::RightCol() const {
  Check("Error in TDBGridExSelectionRect.GetRightCol");
  return std::max(anchorCol_, shiftCol_);
}

bool TDBGridExSelectionRect::CellSelected(int colIndex, const TBookmarkStr& bookmark) const {
  Check("Error in function TDBGridExSelectionRect.CellSelected");
  return Compare(TopRow(), bookmark) < 1 && Compare(BottomRow(), bookmark) >= 0 &&
         LeftCol() <= colIndex && colIndex <= RightCol();
}

void TDBGridExSelectionRect::Clear() {
  anchorCol_ = shiftCol_ = -1;
  anchorRow_.clear();
  shiftRow_.clear();
  grid_->Invalidate();
}

void TDBGridExSelectionRect::Select(int colIndex, const TBookmarkStr& bookmark, bool extend) {
  Check("Error in TDBGridExSelectionRect.Select");
  TDBGridExSelection* selection = grid_->Selection();
  if (selection->SelectionType() != gstRectangle && selection->SelectionType() != gstNon)
    selection->Clear();
  if (anchorCol_ == -1 || !extend) {
    anchorCol_ = colIndex;
    anchorRow_ = bookmark;
  }
  shiftCol_ = colIndex;
  shiftRow_ = bookmark;
  if (anchorCol_ == shiftCol_ && Compare(anchorRow_, shiftRow_) == 0) {
    if (selection->SelectionType() == gstRectangle) selection->SetSelectionType(gstNon);
  } else {
    selection->SetSelectionType(gstRectangle);
  }
  // Painting repaints only the cells whose state changed; the model asks
  // for the whole grid.
  grid_->Invalidate();
}

// ---------------------------------------------------------------------------
// TDBGridExSelectionCols

bool TDBGridExSelectionCols::In(const TColumnsExList& list, const TColumnEx* column) {
  return std::find(list.begin(), list.end(), column) != list.end();
}

bool TDBGridExSelectionCols::Contains(const TColumnEx* column) const { return In(list_, column); }

void TDBGridExSelectionCols::Add(TColumnEx* column) {
  if (In(list_, column)) return;
  auto it = std::find_if(list_.begin(), list_.end(),
                         [column](TColumnEx* c) { return c->Index() > column->Index(); });
  list_.insert(it, column);
  grid_->InvalidateColumn(grid_->ColumnToGridIndex(column->Index()));
}

void TDBGridExSelectionCols::Remove(TColumnEx* column) {
  auto it = std::find(list_.begin(), list_.end(), column);
  if (it == list_.end()) return;
  list_.erase(it);
  grid_->InvalidateColumn(grid_->ColumnToGridIndex(column->Index()));
}

void TDBGridExSelectionCols::ClearOtherKind() {
  TDBGridExSelection* selection = grid_->Selection();
  if (selection->SelectionType() != gstColumns && selection->SelectionType() != gstNon)
    selection->Clear();
}

void TDBGridExSelectionCols::UpdateKind() {
  grid_->Selection()->SetSelectionType(list_.empty() ? gstNon : gstColumns);
}

void TDBGridExSelectionCols::Select(TColumnEx* column, bool addSel) {
  ClearOtherKind();
  if (!addSel) Clear();
  Add(column);
  anchorColumn_ = shiftColumn_ = column;
  grid_->Selection()->SetSelectionType(gstColumns);
  shiftSelected_.clear();
}

void TDBGridExSelectionCols::InvertSelect(TColumnEx* column) {
  ClearOtherKind();
  if (Contains(column))
    Remove(column);
  else
    Add(column);
  anchorColumn_ = shiftColumn_ = column;
  UpdateKind();
  shiftSelected_.clear();
}

void TDBGridExSelectionCols::SelectShift(TColumnEx* column) {
  ClearOtherKind();
  if (anchorColumn_ == nullptr) {
    Select(column, true);
    return;
  }
  TDBGridColumnsEx* columns = grid_->Columns();
  const int anchor = anchorColumn_->Index();
  const int target = column->Index();
  const bool anchorSelected = Contains(anchorColumn_);
  int pos = shiftColumn_ ? shiftColumn_->Index() : anchor;
  const int step = target > pos ? 1 : -1;
  for (; pos != target; pos += step) {
    const int next = pos + step;
    if (std::abs(next - anchor) > std::abs(pos - anchor)) {
      // Moving away from the anchor: the column takes the anchor's state.
      TColumnEx* c = columns->Items(next);
      if (anchorSelected && c->Visible() && !Contains(c)) {
        Add(c);
        shiftSelected_.push_back(c);
      } else if (!anchorSelected && c != anchorColumn_ && Contains(c)) {
        Remove(c);
        shiftSelected_.push_back(c);
      }
    } else {
      // Moving back: the column being left gets back the state it had
      // before this shift operation.
      TColumnEx* c = columns->Items(pos);
      auto it = std::find(shiftSelected_.begin(), shiftSelected_.end(), c);
      if (c != anchorColumn_ && it != shiftSelected_.end()) {
        if (Contains(c))
          Remove(c);
        else
          Add(c);
        shiftSelected_.erase(it);
      }
    }
  }
  shiftColumn_ = column;
  UpdateKind();
}

void TDBGridExSelectionCols::Clear() {
  for (TColumnEx* c : list_) grid_->InvalidateColumn(grid_->ColumnToGridIndex(c->Index()));
  list_.clear();
  anchorColumn_ = nullptr;
  shiftColumn_ = nullptr;
  shiftSelected_.clear();
}

void TDBGridExSelectionCols::Forget(const TColumnEx* column) {
  list_.erase(std::remove(list_.begin(), list_.end(), column), list_.end());
  shiftSelected_.erase(std::remove(shiftSelected_.begin(), shiftSelected_.end(), column),
                       shiftSelected_.end());
  if (anchorColumn_ == column) anchorColumn_ = nullptr;
  if (shiftColumn_ == column) shiftColumn_ = nullptr;
}

void TDBGridExSelectionCols::Refresh() {
  TDBGridColumnsEx* columns = grid_->Columns();
  auto gone = [columns](TColumnEx* c) {
    for (int i = 0; i < columns->Count(); ++i)
      if (columns->Items(i) == c) return false;
    return true;
  };
  list_.erase(std::remove_if(list_.begin(), list_.end(), gone), list_.end());
  shiftSelected_.erase(std::remove_if(shiftSelected_.begin(), shiftSelected_.end(), gone),
                       shiftSelected_.end());
  if (anchorColumn_ && gone(anchorColumn_)) anchorColumn_ = nullptr;
  if (shiftColumn_ && gone(shiftColumn_)) shiftColumn_ = nullptr;
  std::stable_sort(list_.begin(), list_.end(),
                   [](TColumnEx* a, TColumnEx* b) { return a->Index() < b->Index(); });
}

// ---------------------------------------------------------------------------
// TDBGridExSelection

TDBGridExSelection::TDBGridExSelection(TCustomDBGridEx* grid)
    : columns_(std::make_unique<TDBGridExSelectionCols>(grid)),
      grid_(grid),
      rect_(std::make_unique<TDBGridExSelectionRect>(grid)) {}

TDBGridExSelection::~TDBGridExSelection() = default;

TBookmarkListEx* TDBGridExSelection::Rows() const { return grid_->SelectedRows(); }

void TDBGridExSelection::SetSelectionType(TDBGridExSelectionType value) {
  if (value == selectionType_) return;
  selectionType_ = value;
  if (value == gstNon && grid_->Options().Contains(dgAlwaysShowEditor))
    grid_->ShowEditor();
  else
    grid_->HideEditor();
}

bool TDBGridExSelection::DataCellSelected(int colIndex, const TBookmarkStr& bookmark) {
  switch (selectionType_) {
    case gstRecordBookmarks: {
      int index;
      return Rows()->Find(bookmark, index);
    }
    case gstRectangle:
      return colIndex >= 0 && rect_->CellSelected(colIndex, bookmark);
    case gstColumns:
      return colIndex >= 0 && colIndex < grid_->Columns()->Count() &&
             columns_->Contains(grid_->Columns()->Items(colIndex));
    case gstAll:
      return true;
    case gstNon:
      break;
  }
  return false;
}

void TDBGridExSelection::Clear() {
  switch (selectionType_) {
    case gstRecordBookmarks:
      Rows()->Clear();
      break;
    case gstRectangle:
      rect_->Clear();
      break;
    case gstColumns:
      columns_->Clear();
      break;
    case gstAll:
      grid_->Invalidate();
      break;
    case gstNon:
      break;
  }
  selectionType_ = gstNon;
  if (grid_->Options().Contains(dgAlwaysShowEditor)) grid_->ShowEditor();
}

void TDBGridExSelection::SelectAll() {
  if (selectionType_ == gstAll) return;
  if (selectionType_ != gstNon) Clear();
  selectionType_ = gstAll;
  grid_->Invalidate();
}

void TDBGridExSelection::UpdateState() {
  if ((selectionType_ == gstRecordBookmarks && Rows()->Count() == 0) ||
      (selectionType_ == gstColumns && columns_->Count() == 0)) {
    selectionType_ = gstNon;
    grid_->Invalidate();
  }
}

void TDBGridExSelection::SetLinkActive(bool value) {
  Rows()->SetLinkActive(value);
  Clear();
}
