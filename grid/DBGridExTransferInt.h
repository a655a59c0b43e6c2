// Small helpers shared by the grid's exporters, importers and clipboard
// actions (DBGridExExport*.cpp, DBGridExImport.cpp, DBGridExClipboard.cpp).
// Internal to grid/.
#pragma once

#include <algorithm>
#include <vector>

#include "grid/DBGridEx.h"
#include "platform/data/Dataset.h"

namespace gridtransfer {

inline TDataSet* GridDataSet(const TCustomDBGridEx* grid) {
  TDataSource* source = grid ? grid->DataSource() : nullptr;
  return source ? source->DataSet() : nullptr;
}

inline bool SameBookmark(TDataSet* ds, const TBookmarkStr& a, const TBookmarkStr& b) {
  auto* pa = a.empty() ? nullptr : const_cast<char*>(a.data());
  auto* pb = b.empty() ? nullptr : const_cast<char*>(b.data());
  return ds->CompareBookmarks(pa, pb) == 0;
}

// The visible columns among Columns[from..to] (to < 0: to the last).
inline TColumnsExList VisibleColumns(const TCustomDBGridEx* grid, int from = 0, int to = -1) {
  TColumnsExList list;
  TDBGridColumnsEx* cols = grid->Columns();
  if (to < 0) to = cols->Count() - 1;
  for (int i = std::max(from, 0); i <= to && i < cols->Count(); ++i)
    if (cols->Items(i)->Visible()) list.push_back(cols->Items(i));
  return list;
}

inline bool Editing(TDataSet* ds) { return ds->State() == dsEdit || ds->State() == dsInsert; }

// The grid's position (its current record), put back on request when the
// record still exists.
class TGridPosition {
 public:
  explicit TGridPosition(TDataSet* ds) : ds_(ds), mark_(ds->Bookmark()) {}
  void Restore() {
    if (mark_.empty()) return;
    std::vector<char> copy(mark_.begin(), mark_.end());
    if (ds_->BookmarkValid(copy.data())) ds_->SetBookmark(mark_);
  }

 private:
  TDataSet* ds_;
  TBookmarkStr mark_;
};

}  // namespace gridtransfer
