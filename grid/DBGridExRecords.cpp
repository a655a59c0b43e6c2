// TCustomDBGridEx: following the dataset through the data link.
//
// Rows are the link's buffer window: grid row r (r >= TitleRows) shows the
// link's record r - TitleRows, so RowCount follows the number of rows that
// fit, never the dataset's record count.  The vertical scroll bar shows the
// record number separately (or three positions for datasets without record
// numbers).  With footers the rows end in one spacer row and the footer
// rows, the footers ending at the bottom of the client area:
//
//   title | data rows (buffer, at least 1) | spacer (>= 0 px) | footers
//
// Scrolling by a few records shifts the data area's pixels by whole rows
// and repaints only the indicator cells and the rows that became current.
#include <algorithm>

#include "grid/DBGridEx.h"
#include "grid/DBSumList.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "grid/GridSelection.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Forms.h"

namespace {

bool HasRecords(TGridDataLinkEx* link) {
  TDataSet* ds = link->DataSet();
  return link->Active() && ds && !(ds->Bof() && ds->Eof());
}

AnsiString NormalisedLineBreaks(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int TCustomDBGridEx::SpacerRow() const {
  return footerRowCount_ > 0 ? RowCount() - footerRowCount_ - 1 : -1;
}

// ---------------------------------------------------------------------------
// Row count and scroll bar

void TCustomDBGridEx::UpdateRowCount() {
  const int titleRows = TitleRows();
  const int oldRowCount = RowCount();
  if (RowCount() <= titleRows) SetRowCount(titleRows + 1);
  SetFixedRows(titleRows);
  const int line = options_.Contains(dgRowLines) ? GridLineWidth() : 0;
  const int rowStep = DefaultRowHeight() + line;
  auto resetHeights = [&] {
    SetDefaultRowHeight(DefaultRowHeight());
    if (titleRows > 0) SetRowHeights(0, std::max(1, titleRowHeight_));
  };
  const int clientH = ClientHeight();
  const int titleH = titleRows > 0 ? std::max(1, titleRowHeight_) + line : 0;
  const int footersH = footerRowCount_ * rowStep;
  if (!HasRecords(dataLink_.get())) {
    SetRowCount(titleRows + 1);
    SetRow(titleRows);
    if (HandleAllocated()) {
      resetHeights();
      if (footerRowCount_ > 0) {
        SetRowCount(footerRowCount_ + RowCount() + 1);
        int spacer = clientH - titleH - rowStep - footersH - line;
        SetRowHeights(SpacerRow(), std::max(0, spacer));
      }
    }
  } else {
    SetRowCount(1000);
    resetHeights();
    SetTopRow(titleRows);
    int buffer = std::max(1, (clientH - titleH) / std::max(1, rowStep));
    if (footerRowCount_ > 0) {
      // The footers and the spacer line come off the data rows' room.
      int room = clientH - titleH - footersH - line;
      buffer = std::max(1, room / std::max(1, rowStep));
    }
    dataLink_->SetBufferCount(buffer);
    SetRowCount(dataLink_->RecordCount() + titleRows);
    if (options_.Contains(dgRowSelect)) SetTopRow(titleRows);
    if (footerRowCount_ > 0) {
      SetRowCount(RowCount() + 1 + footerRowCount_);
      int spacer = clientH - titleH - dataLink_->RecordCount() * rowStep - footersH - line;
      SetRowHeights(SpacerRow(), std::max(0, spacer));
    }
  }
  UpdateActive();
  if (RowCount() != oldRowCount) Invalidate();
}

void TCustomDBGridEx::UpdateVertScrollBar() {
  if (!dataLink_->Active() || !HandleAllocated()) return;
  TDataSet* ds = dataLink_->DataSet();
  int min = 0, max = 0, page = 0, pos = 0;
  if (sumList_->IsSequenced()) {
    min = 1;
    page = std::max(1, VisibleRowCount() - (footerRowCount_ > 0 ? footerRowCount_ + 1 : 0));
    max = sumList_->RecordCount() + page - 1;
    pos = ds->State() == dsInsert ? GetScrollPos(SB_VERT) : sumList_->RecNo();
  } else {
    max = 4;
    pos = ds->Bof() ? 0 : ds->Eof() ? 4 : 2;
  }
  if (!vertScrollBar_->Visible()) max = min;
  // The bar shows only when there is something to scroll.
  bool show = max > min && (page == 0 || max - min + 1 > page);
  int oldMin = 0, oldMax = 0;
  GetScrollRange(SB_VERT, oldMin, oldMax);
  if (oldMin != min || oldMax != max) SetScrollRange(SB_VERT, min, max);
  SetScrollPage(SB_VERT, page);
  if (GetScrollPos(SB_VERT) != pos) SetScrollPos(SB_VERT, pos);
  if (show != vertBarShown_) {
    vertBarShown_ = show;
    ShowScrollBar(SB_VERT, show);
    if (autoFitColWidths_ && !IsDesigning() && AcquireLayoutLock()) DeferLayout();
  }
}

void TCustomDBGridEx::UpdateActive() {
  ActiveRecordMoved();
  if (!dataLink_->Active() || !HandleAllocated() || IsLoading()) return;
  int target = dataLink_->ActiveRecord() + TitleRows();
  if (target >= RowCount()) return;
  if (target != Row()) {
    if (!options_.Contains(dgAlwaysShowEditor)) HideEditor();
    TFlagScope scope(followingDataset_);
    FocusCell(Col(), target, true);
    InvalidateEditor();
  }
  TField* f = CurrentField();
  if (f && f->Text() != loadedEditText_) InvalidateEditor();
}

// ---------------------------------------------------------------------------
// Link reactions

void TCustomDBGridEx::LinkActive(bool value) {
  if (!value) HideEditor();
  selection_->SetLinkActive(value);
  TDataSet* ds = DataSource() ? DataSource()->DataSet() : nullptr;
  if (ds) ds->FreeNotification(this);
  sumList_->SetDataSet(ds);
  LayoutChanged();
  if (value && options_.Contains(dgAlwaysShowEditor)) ShowEditor();
  if (!value && vertBarShown_ && HandleAllocated()) {
    // Nothing to scroll through any more.
    vertBarShown_ = false;
    ShowScrollBar(SB_VERT, false);
  }
  UpdateVertScrollBar();
}

void TCustomDBGridEx::DataChanged() {
  if (!HandleAllocated() || inDataChanged_) return;
  TFlagScope scope(inDataChanged_);
  if (IsDesigning() && sumList_->Active()) sumList_->RecalcAll();
  UpdateRowCount();
  UpdateVertScrollBar();
  UpdateActive();
  InvalidateEditor();
  Invalidate();
}

void TCustomDBGridEx::Scroll(int distance) {
  if (!HandleAllocated()) return;
  const int titleRows = TitleRows();
  InvalidateRow(Row());
  if (dataLink_->ActiveRecord() >= RowCount() - titleRows) UpdateRowCount();
  UpdateVertScrollBar();
  UpdateActive();
  InvalidateRow(Row());
  if (distance != 0) {
    HideEditor();
    int dataRows = RowCount() - titleRows - (footerRowCount_ > 0 ? footerRowCount_ + 1 : 0);
    if (dataRows < std::abs(distance)) {
      Invalidate();
    } else {
      if (options_.Contains(dgIndicator) && lastCurrentRow_ >= 0)
        InvalidateCell(0, lastCurrentRow_);
      const int line = options_.Contains(dgRowLines) ? GridLineWidth() : 0;
      TRect first = CellRect(0, titleRows);
      int top = first.Top;
      if (first.Height() <= 0) {
        TGridDrawInfo info;
        CalcDrawInfo(info);
        top = info.Vert.FixedBoundary;
      }
      TRect client = ClientRect();
      int bottom = client.Bottom;
      if (footerRowCount_ > 0) bottom = CellRect(0, SpacerRow()).Top;
      ScrollWindow(0, -(DefaultRowHeight() + line) * distance,
                   TRect(client.Left, top, client.Right, std::max(top, bottom)));
      if (options_.Contains(dgIndicator)) InvalidateCell(0, Row());
    }
    if (options_.Contains(dgAlwaysShowEditor)) ShowEditor();
  }
  InvalidateFooter();
  if (updateLock_ == 0) Update();
}

void TCustomDBGridEx::EditingChanged() {
  if (options_.Contains(dgIndicator) && lastCurrentRow_ >= 0 && lastCurrentRow_ < RowCount())
    InvalidateCell(0, lastCurrentRow_);
}

void TCustomDBGridEx::RecordChanged(TField* field) {
  if (!HandleAllocated()) return;
  if (field) {
    for (int i = 0; i < columns_->Count(); ++i)
      if (columns_->Items(i)->Field() == field) InvalidateCell(ColumnToGridIndex(i), Row());
  } else {
    Invalidate();
  }
  TField* current = CurrentField();
  if (current && (field == nullptr || field == current)) {
    AnsiString text = GetEditText(Col(), Row());
    if (text != loadedEditText_) {
      InvalidateEditor();
      if (InplaceEditor() && InplaceEditor()->EditorVisible()) InplaceEditor()->SetSelLength(0);
    }
  }
}

// UpdateData writes the edited cell by its column's kind:
// DBGridExEdit.cpp.

bool TCustomDBGridEx::SelectCell(int col, int row) {
  if (followingDataset_) return true;
  if (row == Row()) {
    // A move to another column of this row: the column is left first.  A
    // move to another row and column comes back here once the row moved.
    if (col == Col() || inColExit_) return true;
    const int before = Col();
    {
      TFlagScope exiting(inColExit_);
      ColExit();
    }
    return Col() == before;  // the handler moved elsewhere: that move stands
  }
  const int titleRows = TitleRows();
  if (!dataLink_->Active()) return true;
  if (row < titleRows || row >= titleRows + dataLink_->RecordCount()) return false;
  // The dataset moves; UpdateActive brings the current row along.
  dataLink_->DataSet()->MoveBy(row - Row());
  if (col != Col()) FocusCell(col, Row(), true);
  return false;
}

void TCustomDBGridEx::CurrentColChanged() { ColEnter(); }

void TCustomDBGridEx::ColEnter() {
  if (OnColEnter) OnColEnter(this);
}

void TCustomDBGridEx::ColExit() {
  if (OnColExit) OnColExit(this);
}

bool TCustomDBGridEx::SelectColumnOfField(TField* field) {
  bool found = false;
  for (int i = 0; i < columns_->Count(); ++i)
    if (columns_->Items(i)->Field() == field) {
      SetSelectedIndex(i);
      found = true;
    }
  return found;
}

void TCustomDBGridEx::DoExit() {
  // The focus moving into the grid's own editor does not leave the grid.
  if (FocusStaysInside(false)) return;
  TDataSet* ds = dataLink_->DataSet();
  if (options_.Contains(dgCancelOnExit) && ds && ds->State() == dsInsert && !ds->Modified() &&
      !dataLink_->Modified()) {
    ds->Cancel();
  } else if (dataLink_->Active()) {
    dataLink_->UpdateRecord();
  }
  TCustomGrid::DoExit();
}

// ---------------------------------------------------------------------------
// The editor's text

bool TCustomDBGridEx::CanEditShow() {
  bool ok = layoutLock_ == 0 && TCustomGrid::CanEditShow();
  if (ok) {
    int i = SelectedIndex();
    ok = i >= 0;
    if (ok) {
      TColumnKind kind = columns_->Items(i)->ColumnKind();
      ok = kind != ckCheckboxes && kind != ckKeyImageList;
    }
    ok = ok && (selection_->SelectionType() == gstNon || !optionsEx_.Contains(dghClearSelection));
    ok = ok && !incSearching_;
  }
  return ok;
}

AnsiString TCustomDBGridEx::GetEditText(int col, int row) {
  AnsiString text;
  int i = GridToColumnIndex(col);
  if (dataLink_->Active() && i >= 0 && i < columns_->Count()) {
    TColumnEx* c = columns_->Items(i);
    if (TField* f = c->Field()) {
      TStrings* keys = c->KeyList();
      if (keys && keys->Count() > 0) {
        int k = keys->IndexOf(f->Text());
        TStrings* picks = c->PickList();
        if (k >= 0 && picks && k < picks->Count()) text = picks->Strings(k);
      } else if (f->DataType() == ftMemo && drawMemoText_) {
        text = NormalisedLineBreaks(f->AsString());
      } else {
        text = f->Text();
      }
    }
  }
  loadedEditText_ = text;
  return text;
}

void TCustomDBGridEx::SetEditText(int col, int row, const AnsiString& value) {
  editedText_ = value;
  dataLink_->MarkModified();
}

AnsiString TCustomDBGridEx::GetEditMask(int col, int row) {
  int i = GridToColumnIndex(col);
  if (!dataLink_->Active() || i < 0 || i >= columns_->Count()) return AnsiString();
  TColumnEx* c = columns_->Items(i);
  if (c->KeyList() && c->KeyList()->Count() > 0) return AnsiString();
  TField* f = c->Field();
  return f ? f->EditMask() : AnsiString();
}

int TCustomDBGridEx::GetEditLimit() {
  int i = SelectedIndex();
  if (!dataLink_->Active() || i < 0) return 0;
  TColumnEx* c = columns_->Items(i);
  if (c->KeyList() && c->KeyList()->Count() > 0) return 0;
  TField* f = c->Field();
  return f && f->DataType() == ftString ? f->Size() : 0;
}
