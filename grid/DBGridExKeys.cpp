// The data grid's keyboard and mouse: navigation keys and the record
// operations they start, the edit actions, the incremental search, title
// buttons with sort marking, selection by mouse with automatic scrolling,
// the wheel and the grid's timers.
//
// Timers (window timers of the grid):
//   1  auto-scroll while selecting beyond an edge: each tick moves one
//      record toward the mouse; next interval 200 - 10 * distance (>= 0)
//   2  the incremental search's time-out (1500 ms for a search started by
//      typing, none for one started with Ctrl+F)
//
// A typed Chinese character arrives as two KeyPress bytes; the lead byte
// is held until its trail byte comes and the pair is handled as one key.
//
// Layer: grid.
#include <algorithm>

#include "grid/DBGridEx.h"
#include "grid/DBGridExClipboard.h"
#include "grid/GridDataLinkEx.h"
#include "grid/GridExUtils.h"
#include "grid/GridSelection.h"
#include "platform/ui/Actions.h"
#include "grid/InplaceEditEx.h"
#include "platform/ui/FontMetrics.h"
#include "platform/core/AnsiText.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Menus.h"
#include "platform/ui/Messages.h"

namespace {

constexpr unsigned kAutoScrollTimer = 1;
constexpr unsigned kSearchTimer = 2;
constexpr int kSearchTimeOut = 1500;
constexpr int kTitleDragStart = 3;  // pixels a title press may move sideways
constexpr int kColumnSelectZone = 7;  // the bottom of a title that selects columns

bool IsStepColumn(TColumnEx* c) {
  TColumnKind kind = c->ColumnKind();
  return kind == ckCheckboxes || kind == ckKeyImageList;
}

}  // namespace

struct TCustomDBGridEx::TInputState {
  int mouseState = 0;
  int searchTimeOut = -1;
  bool inSearchMove = false;     // the search itself moves the record
  bool skipThumbPosition = false;  // a tracked thumb already moved
  TBookmarkStr searchMark;       // the record the search stands on
  bool sortMarkingPending = false;
  char pendingLead = 0;          // lead byte waiting for its trail byte
  Variant editValue;
  // Title press.
  TPoint titleDown{0, 0};
  // Row selection drag from the indicator.
  bool rowSelecting = false;
  bool rowSelectValue = true;
  // Rectangle selection and auto-scroll.
  TPoint lastMouse{0, 0};
  // Key-driven row extension: anchor record and whether it was selected.
  TBookmarkStr rowAnchor;
  // Check-box cell pressed, for the toggle on release.
  int checkCol = -1;
  int checkRow = -1;
};

TCustomDBGridEx::TInputState& TCustomDBGridEx::Input() {
  if (!input_) input_ = std::make_shared<TInputState>();
  return *input_;
}

const Variant& TCustomDBGridEx::EditValue() const {
  static const Variant kNull{};
  return input_ ? input_->editValue : kNull;
}

void TCustomDBGridEx::SetEditValue(const Variant& value) { Input().editValue = value; }

int TCustomDBGridEx::MouseState() const { return input_ ? input_->mouseState : 0; }

void TCustomDBGridEx::EditButtonClick() {
  if (OnEditButtonClick) OnEditButtonClick(this);
}

// ---------------------------------------------------------------------------
// Edit actions

bool TCustomDBGridEx::CanCopySelection() {
  return dataLink_->Active() && selection_->SelectionType() != gstNon;
}

bool TCustomDBGridEx::CanDeleteSelection() {
  if (!dataLink_->Active() || readOnly_) return false;
  TDataSet* ds = dataLink_->DataSet();
  if (ds->IsEmpty() || !ds->CanModify()) return false;
  switch (selection_->SelectionType()) {
    case gstRecordBookmarks:
    case gstAll:
      return allowedOperations_.Contains(alopDeleteEx);
    case gstRectangle:
    case gstColumns:
      return allowedOperations_.Contains(alopUpdateEx);
    default:
      return false;
  }
}

bool TCustomDBGridEx::CanCutSelection() { return CanCopySelection() && CanDeleteSelection(); }

bool TCustomDBGridEx::CanPasteSelection() {
  if (!dataLink_->Active() || readOnly_) return false;
  TDataSet* ds = dataLink_->DataSet();
  if (!ds->CanModify()) return false;
  bool hasData = Clipboard()->HasFormat(CF_GRDDBIF()) || Clipboard()->HasFormat(CF_TEXT);
  return hasData && (ds->State() == dsInsert || allowedOperations_.Contains(alopUpdateEx));
}

bool TCustomDBGridEx::CanSelectAll() {
  return dataLink_->Active() && !dataLink_->DataSet()->IsEmpty() &&
         allowedSelections_.Contains(gstAll);
}

bool TCustomDBGridEx::ExecuteEditAction(TDBGridExEditAction action) {
  switch (action) {
    case geaCopyEx:
      if (!CanCopySelection()) return false;
      CopySelectionToClipboard(this, false);
      return true;
    case geaPasteEx:
      if (!CanPasteSelection()) return false;
      PasteFromClipboard(this, false);
      return true;
    case geaCutEx:
      if (!CanCutSelection()) return false;
      CutSelectionToClipboard(this, false);
      return true;
    case geaSelectAllEx:
      if (!CanSelectAll()) return false;
      selection_->SelectAll();
      Invalidate();
      return true;
    case geaDeleteEx:
      if (!CanDeleteSelection()) return false;
      DeleteSelection(this, false);
      return true;
  }
  return false;
}

namespace {

// The grid operation of a standard edit action; false for other actions.
bool EditActionOf(TBasicAction* action, TDBGridExEditAction& op) {
  auto* edit = dynamic_cast<TEditAction*>(action);
  if (!edit) return false;
  switch (edit->Kind()) {
    case eakCopy: op = geaCopyEx; break;
    case eakPaste: op = geaPasteEx; break;
    case eakCut: op = geaCutEx; break;
    case eakSelectAll: op = geaSelectAllEx; break;
    case eakDelete: op = geaDeleteEx; break;
  }
  return true;
}

}  // namespace

bool TCustomDBGridEx::ExecuteAction(TBasicAction* action) {
  TDBGridExEditAction op;
  if (EditActionOf(action, op) && editActions_.Contains(op) && ExecuteEditAction(op)) return true;
  return TCustomGrid::ExecuteAction(action);
}

bool TCustomDBGridEx::UpdateAction(TBasicAction* action) {
  TDBGridExEditAction op;
  if (!EditActionOf(action, op)) return TCustomGrid::UpdateAction(action);
  bool enabled = false;
  switch (op) {
    case geaCopyEx: enabled = CanCopySelection(); break;
    case geaPasteEx: enabled = CanPasteSelection(); break;
    case geaCutEx: enabled = CanCutSelection(); break;
    case geaSelectAllEx: enabled = CanSelectAll(); break;
    case geaDeleteEx: enabled = CanDeleteSelection(); break;
  }
  action->SetEnabled(enabled && editActions_.Contains(op));
  return true;
}

// ---------------------------------------------------------------------------
// Incremental search

void TCustomDBGridEx::DoIncSearch(const AnsiString& text, int timeOut, int direction) {
  if (!dataLink_->Active()) return;
  int ci = SelectedIndex();
  if (ci < 0) return;
  TColumnEx* column = columns_->Items(ci);
  TDataSet* ds = dataLink_->DataSet();
  AnsiString candidate = incSearchText_ + text;
  auto matches = [&]() {
    AnsiString shown = column->GetDisplayText();
    return IncSearchMatchLength(shown, candidate) == candidate.size();
  };
  bool found = false;
  if (direction == 0 && matches()) {
    found = true;
  } else if (!ds->IsEmpty()) {
    TInputState& in = Input();
    TFlagScope moving(in.inSearchMove);
    TBookmarkStr saved = ds->Bookmark();
    ds->DisableControls();
    try {
      bool moved = true;
      if (direction == 0)
        ds->First();
      else
        moved = ds->MoveBy(direction == 1 ? 1 : -1) != 0;
      while (moved) {
        if (matches()) {
          found = true;
          break;
        }
        if (direction == 2) {
          moved = ds->MoveBy(-1) != 0;
        } else {
          ds->Next();
          moved = !ds->Eof();
        }
      }
      if (!found && !saved.empty()) ds->SetBookmark(saved);
    } catch (...) {
      ds->EnableControls();
      throw;
    }
    ds->EnableControls();
  }
  HideEditor();
  incSearching_ = true;
  if (found) incSearchText_ = candidate;
  InvalidateCurrentRow();
  TInputState& in = Input();
  in.searchTimeOut = timeOut;
  in.searchMark = ds->Bookmark();
  if (timeOut >= 0)
    SetTimer(kSearchTimer, static_cast<unsigned>(timeOut));
  else
    KillTimer(kSearchTimer);
}

void TCustomDBGridEx::StopIncSearch() {
  if (!incSearching_ && incSearchText_.empty()) return;
  KillTimer(kSearchTimer);
  incSearching_ = false;
  incSearchText_.clear();
  if (input_) input_->searchTimeOut = -1;
  InvalidateCurrentRow();
  if (options_.Contains(dgAlwaysShowEditor)) ShowEditor();
}

int TCustomDBGridEx::IncSearchTimeOut() const { return input_ ? input_->searchTimeOut : -1; }

void TCustomDBGridEx::ActiveRecordMoved() {
  if (!incSearching_ && incSearchText_.empty()) return;
  if (input_ && input_->inSearchMove) return;
  if (incSearching_ && input_ && dataLink_->Active() &&
      dataLink_->DataSet()->Bookmark() == input_->searchMark)
    return;
  {
    KillTimer(kSearchTimer);
    incSearching_ = false;
    incSearchText_.clear();
    if (input_) input_->searchTimeOut = -1;
  }
}

// ---------------------------------------------------------------------------
// Moving

namespace {

// Writes what the editor holds into the record (raises when refused).
void WritePending(TGridDataLinkEx* link) {
  if (link->Active()) link->UpdateRecord();
}

}  // namespace

void TCustomDBGridEx::MoveToColumn(int column, int direction, bool selecting) {
  int count = columns_->Count();
  if (count == 0) return;
  WritePending(dataLink_.get());
  column = std::clamp(column, 0, count - 1);
  if (direction != 0) {
    auto hidden = [&](int i) {
      return !columns_->Items(i)->Visible() || columns_->Items(i)->Width() <= 0;
    };
    int c = column;
    while (c >= 0 && c < count && hidden(c)) c += direction;
    if (c < 0 || c >= count) {
      // Nothing visible that way: stay where we are.
      return;
    }
    column = c;
  }
  StopIncSearch();
  int current = SelectedIndex();
  if (column == current) return;
  if (!options_.Contains(dgAlwaysShowEditor)) HideEditor();
  SetSelectedIndex(column);
  if (options_.Contains(dgAlwaysShowEditor) && !IsStepColumn(columns_->Items(column)))
    ShowEditor();
  if (selecting && allowedSelections_.Contains(gstRectangle) && dataLink_->Active()) {
    TDataSet* ds = dataLink_->DataSet();
    if (selection_->SelectionType() != gstRectangle)
      selection_->Rect()->Select(current, ds->Bookmark(), false);
    selection_->Rect()->Select(column, ds->Bookmark(), true);
    Invalidate();
  }
}

// Moves the dataset by distance records (or to the first / last record
// with toFirst / toLast), extending the row or rectangle selection when
// selecting, clearing it otherwise.
void TCustomDBGridEx::MoveRecords(int distance, bool selecting, bool rowOnly, int toEnd) {
  TDataSet* ds = dataLink_->DataSet();
  if (!selecting) {
    if (selection_->SelectionType() != gstNon) {
      selection_->Clear();
      Invalidate();
    }
    if (toEnd < 0) ds->First();
    else if (toEnd > 0) ds->Last();
    else ds->MoveBy(distance);
    return;
  }
  bool rectangle = !options_.Contains(dgRowSelect) && !rowOnly &&
                   allowedSelections_.Contains(gstRectangle) && SelectedIndex() >= 0;
  if (rectangle) {
    BeginUpdate();
    try {
      if (selection_->SelectionType() != gstRectangle)
        selection_->Rect()->Select(SelectedIndex(), ds->Bookmark(), false);
      if (toEnd < 0) ds->First();
      else if (toEnd > 0) ds->Last();
      else ds->MoveBy(distance);
      selection_->Rect()->Select(SelectedIndex(), ds->Bookmark(), true);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    Invalidate();
    return;
  }
  if (!options_.Contains(dgMultiSelect) || !allowedSelections_.Contains(gstRecordBookmarks)) {
    selection_->Clear();
    if (toEnd < 0) ds->First();
    else if (toEnd > 0) ds->Last();
    else ds->MoveBy(distance);
    return;
  }
  // Row mode, one record at a time.
  TInputState& in = Input();
  if (selection_->SelectionType() != gstRecordBookmarks || in.rowAnchor.empty()) {
    in.rowAnchor = ds->Bookmark();
    bookmarks_->SetCurrentRowSelected(true);
  }
  if (toEnd != 0) distance = toEnd < 0 ? -ds->RecordCount() : ds->RecordCount();
  int step = distance < 0 ? -1 : 1;
  for (int i = 0; i != distance; i += step) {
    // A step back toward the anchor deselects the row it leaves.
    TBookmarkStr leaving = ds->Bookmark();
    int towardAnchor = ds->CompareBookmarks(const_cast<char*>(in.rowAnchor.data()),
                                            const_cast<char*>(leaving.data()));
    if (ds->MoveBy(step) == 0) break;
    if ((step < 0 && towardAnchor < 0) || (step > 0 && towardAnchor > 0)) {
      TBookmarkStr now = ds->Bookmark();
      ds->SetBookmark(leaving);
      bookmarks_->SetCurrentRowSelected(false);
      ds->SetBookmark(now);
    }
    bookmarks_->SetCurrentRowSelected(true);
  }
  selection_->UpdateState();
  Invalidate();
}

bool TCustomDBGridEx::InsertAtEndUntouched() const {
  TDataSet* ds = dataLink_->DataSet();
  return ds->State() == dsInsert && !ds->Modified() && !dataLink_->Modified();
}

void TCustomDBGridEx::TabMove(bool back) {
  int count = columns_->Count();
  if (count == 0) return;
  int start = SelectedIndex();
  int c = start;
  TDataSet* ds = dataLink_->DataSet();
  for (int guard = 0; guard <= count; ++guard) {
    c += back ? -1 : 1;
    if (c >= count) {
      WritePending(dataLink_.get());
      if (InsertAtEndUntouched() && dataLink_->ActiveRecord() == dataLink_->RecordCount() - 1)
        return;
      ds->MoveBy(1);
      if (ds->Eof() && CanAppendAtEnd()) ds->Append();
      c = 0;
    } else if (c < 0) {
      WritePending(dataLink_.get());
      ds->MoveBy(-1);
      c = count - 1;
    }
    if (c == start) {
      StopIncSearch();
      return;
    }
    if (columns_->Items(c)->Visible() && columns_->Items(c)->Width() > 0) break;
  }
  MoveToColumn(c, 0, false);
}

bool TCustomDBGridEx::CanAppendAtEnd() const {
  TDataSet* ds = dataLink_->DataSet();
  return !readOnly_ && options_.Contains(dgEditing) &&
         allowedOperations_.Contains(alopAppendEx) && ds->CanModify();
}

int TCustomDBGridEx::VisibleDataRows() const {
  return std::max(1, dataLink_->BufferCount() > 0 ? dataLink_->RecordCount() : 1);
}

// ---------------------------------------------------------------------------
// Keys

void TCustomDBGridEx::KeyDown(std::uint16_t& key, TShiftState shift) {
  TWinControl::KeyDown(key, shift);  // OnKeyDown
  if (key == 0 || !dataLink_->Active()) return;
  TDataSet* ds = dataLink_->DataSet();
  bool ctrl = shift.Contains(ssCtrl), sh = shift.Contains(ssShift), alt = shift.Contains(ssAlt);
  bool plain = !ctrl && !sh && !alt;
  bool multi = sh && options_.Contains(dgMultiSelect);
  TInputState& in = Input();

  // 1. Incremental search keys.
  if (key == 'F' && ctrl && !sh && !alt && optionsEx_.Contains(dghIncSearch)) {
    StopIncSearch();
    DoIncSearch(AnsiString(), -1, 0);
    key = 0;
    return;
  }
  if (incSearching_) {
    if ((key == VK_RETURN || key == VK_ESCAPE || key == VK_F2) && plain) {
      StopIncSearch();
      key = 0;
      return;
    }
    if (key == VK_BACK && plain) {
      // A double-byte character goes as a whole: both of its bytes.
      size_t n = incSearchText_.size();
      if (n > 0) {
        bool trail = n >= 2 && ByteTypeAt(incSearchText_, n - 1) == mbTrailByte;
        incSearchText_.erase(n - (trail ? 2 : 1));
      }
      InvalidateCurrentRow();
      if (in.searchTimeOut >= 0) SetTimer(kSearchTimer, static_cast<unsigned>(in.searchTimeOut));
      key = 0;
      return;
    }
    if (key == VK_RETURN && ctrl && !alt) {
      DoIncSearch(AnsiString(), in.searchTimeOut, sh ? 2 : 1);
      key = 0;
      return;
    }
  }

  if (!ctrl) {
    switch (key) {
      case VK_LEFT:
      case VK_RIGHT: {
        int dir = key == VK_LEFT ? -1 : 1;
        if (options_.Contains(dgRowSelect)) {
          int lc = LeftCol() + dir;
          if (lc >= FixedCols() && lc < ColCount()) SetLeftCol(lc);
        } else {
          bool selecting = multi && allowedSelections_.Contains(gstRectangle);
          if (!selecting && selection_->SelectionType() != gstNon) {
            selection_->Clear();
            Invalidate();
          }
          MoveToColumn(SelectedIndex() + dir, dir, selecting);
        }
        key = 0;
        return;
      }
      case VK_UP:
        WritePending(dataLink_.get());
        if (InsertAtEndUntouched() &&
            dataLink_->ActiveRecord() == dataLink_->RecordCount() - 1) {
          ds->Cancel();
        } else {
          MoveRecords(-1, multi, true, 0);
        }
        key = 0;
        return;
      case VK_DOWN:
        WritePending(dataLink_.get());
        if (InsertAtEndUntouched()) {
          if (dataLink_->ActiveRecord() != dataLink_->RecordCount() - 1) ds->Cancel();
        } else {
          MoveRecords(1, multi, true, 0);
          if (ds->Eof() && CanAppendAtEnd()) {
            selection_->Clear();
            ds->Append();
          }
        }
        key = 0;
        return;
      case VK_TAB:
        if (alt) return;
        if (selection_->SelectionType() != gstNon) {
          selection_->Clear();
          Invalidate();
        }
        BeginUpdate();
        try {
          TabMove(sh);
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
        key = 0;
        return;
      case VK_RETURN:
        if (optionsEx_.Contains(dghEnterAsTab)) {
          std::uint16_t tab = VK_TAB;
          KeyDown(tab, shift);
          key = 0;
        }
        return;
      case VK_ESCAPE:
        dataLink_->Reset();
        InvalidateEditor();
        if (selection_->SelectionType() != gstNon) {
          selection_->Clear();
          Invalidate();
        }
        if (!options_.Contains(dgAlwaysShowEditor)) HideEditor();
        if (GridState() != gsNormal || in.mouseState == 6) Perform(WM_CANCELMODE, 0, 0);
        key = 0;
        return;
      case VK_PRIOR:
      case VK_NEXT:
        WritePending(dataLink_.get());
        MoveRecords(key == VK_PRIOR ? -VisibleDataRows() : VisibleDataRows(), multi, true, 0);
        key = 0;
        return;
      case VK_HOME:
      case VK_END:
        if (columns_->Count() == 1 || options_.Contains(dgRowSelect)) {
          WritePending(dataLink_.get());
          MoveRecords(0, multi, true, key == VK_HOME ? -1 : 1);
        } else {
          MoveToColumn(key == VK_HOME ? 0 : columns_->Count() - 1, key == VK_HOME ? 1 : -1,
                       multi && allowedSelections_.Contains(gstRectangle));
        }
        key = 0;
        return;
      case VK_INSERT:
        if (!sh) {
          if (ds->CanModify() && !readOnly_ && options_.Contains(dgEditing)) {
            selection_->Clear();
            if (allowedOperations_.Contains(alopInsertEx))
              ds->Insert();
            else if (allowedOperations_.Contains(alopAppendEx))
              ds->Append();
          }
        } else if (incSearching_) {
          AnsiString text = Clipboard()->AsText();
          DoIncSearch(text, in.searchTimeOut, 0);
        } else if (editActions_.Contains(geaPasteEx)) {
          ExecuteEditAction(geaPasteEx);
        }
        key = 0;
        return;
      case VK_DELETE:
        if (sh) {
          if (editActions_.Contains(geaCutEx)) ExecuteEditAction(geaCutEx);
          key = 0;
          return;
        }
        break;
      case VK_F2:
        ShowEditor();
        if (InplaceEditor()) InplaceEditor()->SetSelLength(0);
        key = 0;
        return;
      default:
        break;
    }
  } else {
    if (!sh && (key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END ||
                key == VK_UP || key == VK_DOWN) && selection_->SelectionType() != gstNon) {
      selection_->Clear();
      Invalidate();
    }
    switch (key) {
      case VK_PRIOR:
      case VK_UP:
        WritePending(dataLink_.get());
        MoveRecords(-dataLink_->ActiveRecord(), multi, true, 0);
        key = 0;
        return;
      case VK_NEXT:
      case VK_DOWN:
        WritePending(dataLink_.get());
        MoveRecords(dataLink_->RecordCount() - 1 - dataLink_->ActiveRecord(), multi, true, 0);
        key = 0;
        return;
      case VK_HOME:
      case VK_END:
        WritePending(dataLink_.get());
        MoveRecords(0, multi, true, key == VK_HOME ? -1 : 1);
        key = 0;
        return;
      case VK_LEFT:
        MoveToColumn(0, 1, false);
        key = 0;
        return;
      case VK_RIGHT:
        MoveToColumn(columns_->Count() - 1, -1, false);
        key = 0;
        return;
      case VK_INSERT:
      case 'C':
        if (editActions_.Contains(geaCopyEx)) ExecuteEditAction(geaCopyEx);
        key = 0;
        return;
      case 'V': {
        std::uint16_t ins = VK_INSERT;
        KeyDown(ins, TShiftState{ssShift});
        key = 0;
        return;
      }
      case 'X':
        if (editActions_.Contains(geaCutEx)) ExecuteEditAction(geaCutEx);
        key = 0;
        return;
      case 'A':
        if (editActions_.Contains(geaSelectAllEx)) ExecuteEditAction(geaSelectAllEx);
        key = 0;
        return;
      case VK_DELETE:
        DeleteByKey();
        key = 0;
        return;
      default:
        break;
    }
  }

  // 4. Del on a check-box or key-list image column clears the field.
  if (key == VK_DELETE && !options_.Contains(dgRowSelect) && SelectedIndex() >= 0) {
    TColumnEx* c = columns_->Items(SelectedIndex());
    TField* f = c->Field();
    if (IsStepColumn(c) && f && !f->ReadOnly() && c->CanModify(false) && c->CanModify(true)) {
      f->Clear();
      key = 0;
    }
  }
}

void TCustomDBGridEx::DeleteByKey() {
  if (!editActions_.Contains(geaDeleteEx)) return;
  if (selection_->SelectionType() != gstNon) {
    if (CanDeleteSelection()) DeleteSelection(this, false);
    return;
  }
  TDataSet* ds = dataLink_->DataSet();
  if (readOnly_ || ds->IsEmpty() || !ds->CanModify() ||
      !allowedOperations_.Contains(alopDeleteEx))
    return;
  int marked = bookmarks_->Count();
  if (options_.Contains(dgConfirmDelete)) {
    const char* question = marked < 2 ? "请确认删除记录?" : "确认删除所有记录?";
    if (MessageDlg(question, mtConfirmation, mbOKCancel, 0) != mrOk) return;
  }
  if (marked > 0) {
    bookmarks_->Delete();
  } else {
    ds->Delete();
  }
}

void TCustomDBGridEx::KeyUp(std::uint16_t& key, TShiftState shift) {
  if (input_ && input_->sortMarkingPending && key == VK_CONTROL) {
    input_->sortMarkingPending = false;
    SortMarkingChanged();
  }
  TCustomGrid::KeyUp(key, shift);
}

void TCustomDBGridEx::KeyPress(char& key) {
  TInputState& in = Input();
  // The two bytes of a double-byte character make one key.
  AnsiString typed;
  if (in.pendingLead != 0) {
    typed = AnsiString(1, in.pendingLead) + AnsiString(1, key);
    in.pendingLead = 0;
  } else if (IsDBCSLeadByte(static_cast<unsigned char>(key))) {
    in.pendingLead = key;
    key = 0;
    return;
  } else {
    typed = AnsiString(1, key);
  }
  char first = typed[0];
  if (typed.size() == 1) {
    if (first == '\r' && optionsEx_.Contains(dghEnterAsTab)) first = '\t';
    if (first == '\r' && !options_.Contains(dgAlwaysShowEditor) && dataLink_->Active())
      dataLink_->UpdateRecord();
    char k = first;
    TWinControl::KeyPress(k);  // OnKeyPress
    if (k == 0) {
      key = 0;
      return;
    }
    first = k;
    typed[0] = k;
  }
  bool toSearch = false;
  if (dataLink_->Active()) {
    int ci = SelectedIndex();
    bool editable = ci >= 0 && options_.Contains(dgEditing) && !readOnly_ &&
                    columns_->Items(ci)->CanModify(false);
    toSearch = incSearching_ || (optionsEx_.Contains(dghIncSearch) && !editable) ||
               (optionsEx_.Contains(dghPreferIncSearch) &&
                !options_.Contains(dgAlwaysShowEditor) &&
                !(InplaceEditor() && InplaceEditor()->EditorVisible()));
  }
  if (toSearch) {
    if (static_cast<unsigned char>(typed[0]) >= 32) {
      DoIncSearch(typed, incSearching_ ? in.searchTimeOut : kSearchTimeOut, 0);
      key = 0;
    }
    return;
  }
  // Space steps a check-box or key-list image column.
  if (typed == " " && !options_.Contains(dgRowSelect) && SelectedIndex() >= 0 &&
      IsStepColumn(columns_->Items(SelectedIndex()))) {
    bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    TColumnEx* c = columns_->Items(SelectedIndex());
    if (c->CanModify(false) && c->CanModify(true)) c->SetNextFieldValue(back ? -1.0 : 1.0);
    key = 0;
    return;
  }
  // A printable key starts the editor, which gets the key.
  if (static_cast<unsigned char>(typed[0]) >= 32 && options_.Contains(dgEditing) &&
      CanEditModify()) {
    ShowEditor();
    TInplaceEdit* ed = InplaceEditor();
    if (ed && ed->EditorVisible()) {
      ed->SelectAll();
      for (char b : typed) ed->Perform(WM_CHAR, static_cast<unsigned char>(b), 0);
      key = 0;
    }
  }
}

// ---------------------------------------------------------------------------
// Mouse

void TCustomDBGridEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TInputState& in = Input();
  in.lastMouse = TPoint{x, y};
  if (button == mbLeft && !Focused() && CanFocus() && !IsDesigning()) SetFocus();
  TGridCoord cell = MouseCoord(x, y);
  int dataCol = cell.X >= 0 ? GridToColumnIndex(cell.X) : -1;
  bool dataColumn = dataCol >= 0 && dataCol < columns_->Count();
  bool dbl = shift.Contains(ssDouble);

  // 1. Double click on a stepping cell.
  if (button == mbLeft && dbl && dataColumn && cell.Y >= TitleRows() && dataLink_->Active() &&
      cell.Y - TitleRows() < dataLink_->RecordCount()) {
    TColumnEx* c = columns_->Items(dataCol);
    if (IsStepColumn(c) && c->DblClickNextVal()) {
      if (c->CanModify(false) && c->CanModify(true))
        c->SetNextFieldValue(shift.Contains(ssShift) ? -1.0 : 1.0);
      TWinControl::MouseDown(button, shift, x, y);
      return;
    }
  }
  if (button != mbLeft) {
    TWinControl::MouseDown(button, shift, x, y);
    return;
  }
  // Sizing positions are the base grid's (columns in the title, rows in
  // the indicator).
  {
    int index, pos, ofs;
    if (CalcSizingState(x, y, index, pos, ofs) != gsNormal) {
      if (dataLink_->Active()) WritePending(dataLink_.get());
      TCustomGrid::MouseDown(button, shift, x, y);
      return;
    }
  }
  // The column-selection zone: the bottom 7 pixels of a data column's title.
  if (cell.Y >= 0 && cell.Y < TitleRows() && dataColumn && dataLink_->Active() &&
      options_.Contains(dgMultiSelect) && allowedSelections_.Contains(gstColumns)) {
    TRect title = CellRect(cell.X, TitleRows() - 1);
    if (y >= title.Bottom - kColumnSelectZone && y < title.Bottom) {
      TColumnEx* c = columns_->Items(dataCol);
      in.mouseState = 2;
      SetCapture();
      if (shift.Contains(ssShift)) {
        selection_->Columns()->SelectShift(c);
      } else if (shift.Contains(ssCtrl)) {
        selection_->Columns()->InvertSelect(c);
      } else {
        selection_->Columns()->Select(c, false);
      }
      Invalidate();
      TWinControl::MouseDown(button, shift, x, y);
      return;
    }
  }
  // Title button press.
  if (cell.Y >= 0 && cell.Y < TitleRows() && dataColumn) {
    TColumnEx* c = columns_->Items(dataCol);
    bool allow = true;
    if (c->Title()->TitleButton() && OnCheckButton) OnCheckButton(this, c, allow);
    if (c->Title()->TitleButton() && allow && !(dbl && options_.Contains(dgColumnResize))) {
      SetCapture();
      in.titleDown = TPoint{x, y};
      SetPressedTitle(cell.X, true);
      TWinControl::MouseDown(button, shift, x, y);
      return;
    }
  }
  if (cell.Y >= 0 && cell.Y < TitleRows()) {
    if (cell.X == 0 && options_.Contains(dgIndicator) && options_.Contains(dgMultiSelect) &&
        allowedSelections_.Contains(gstAll)) {
      if (selection_->SelectionType() != gstNon)
        selection_->Clear();
      else
        selection_->SelectAll();
      Invalidate();
    }
    if (options_.Contains(dgColumnResize)) TCustomGrid::MouseDown(button, shift, x, y);
    else TWinControl::MouseDown(button, shift, x, y);
    return;
  }
  int dataRow = cell.Y - TitleRows();
  if (!dataLink_->Active() || cell.X < 0 || dataRow < 0 || dataRow >= dataLink_->RecordCount()) {
    TWinControl::MouseDown(button, shift, x, y);
    return;
  }
  // Data and indicator cells.
  bool inIndicator = cell.X < IndicatorCols();
  bool sameCell = cell.Y == Row() && cell.X == Col();
  TDataSet* ds = dataLink_->DataSet();
  BeginUpdate();
  try {
    WritePending(dataLink_.get());
    if (!sameCell) HideEditor();
    bool extendRows = shift.Contains(ssShift) && options_.Contains(dgMultiSelect) &&
                      (inIndicator || options_.Contains(dgRowSelect));
    if (!extendRows) ds->MoveBy(cell.Y - Row());
    if (dataColumn) SetSelectedIndex(dataCol);
    bool ctrl = shift.Contains(ssCtrl), sh = shift.Contains(ssShift);
    if (!(options_.Contains(dgMultiSelect) && options_.Contains(dgRowSelect)) && !inIndicator) {
      SetCapture();
      if (!ctrl && !sh && optionsEx_.Contains(dghClearSelection) &&
          !(dbl && bookmarks_->CurrentRowSelected()) && selection_->SelectionType() != gstNon) {
        selection_->Clear();
        Invalidate();
      }
      if (dataColumn && allowedSelections_.Contains(gstRectangle) && !ds->IsEmpty()) {
        bool extend = sh && selection_->SelectionType() == gstRectangle;
        selection_->Rect()->Select(dataCol, ds->Bookmark(), extend);
        in.mouseState = 3;
        Invalidate();
      }
    }
    if (allowedSelections_.Contains(gstRecordBookmarks) &&
        (inIndicator || options_.Contains(dgRowSelect)) && options_.Contains(dgMultiSelect)) {
      if (!sh) {
        if (ctrl) {
          bookmarks_->SetCurrentRowSelected(!bookmarks_->CurrentRowSelected());
        } else {
          if (optionsEx_.Contains(dghClearSelection)) selection_->Clear();
          bookmarks_->SetCurrentRowSelected(true);
        }
        in.rowAnchor = ds->Bookmark();
      } else {
        MoveRecords(cell.Y - Row(), true, true, 0);
      }
      selection_->UpdateState();
      in.rowSelectValue = bookmarks_->CurrentRowSelected();
      in.rowSelecting = true;
      in.mouseState = 1;
      SetCapture();
      Invalidate();
    }
    if (!dbl) {
      if (dataColumn && (sameCell || options_.Contains(dgAlwaysShowEditor))) ShowEditor();
      if (dataColumn && IsStepColumn(columns_->Items(dataCol))) {
        in.checkCol = cell.X;
        in.checkRow = cell.Y;
      } else {
        in.checkCol = in.checkRow = -1;
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  TWinControl::MouseDown(button, shift, x, y);
}

void TCustomDBGridEx::MouseMove(TShiftState shift, int x, int y) {
  TInputState& in = Input();
  in.lastMouse = TPoint{x, y};
  if (PressedTitleColumn() >= 0) {
    if (std::abs(x - in.titleDown.x) > kTitleDragStart && options_.Contains(dgColumnResize)) {
      // The press becomes a column move of the base grid.
      SetPressedTitle(-1, false);
      ReleaseCapture();
      TCustomGrid::MouseDown(mbLeft, TShiftState{ssLeft}, in.titleDown.x, in.titleDown.y);
      TCustomGrid::MouseMove(shift, x, y);
      return;
    }
    TGridCoord cell = MouseCoord(x, y);
    bool over = cell.X == PressedTitleColumn() && cell.Y >= 0 && cell.Y < TitleRows();
    if (over != TitlePressed()) SetPressedTitle(PressedTitleColumn(), over);
    return;
  }
  if (in.mouseState == 2) {
    TGridCoord cell = MouseCoord(x, y);
    int dataCol = cell.X >= 0 ? GridToColumnIndex(cell.X) : -1;
    if (cell.Y >= 0 && cell.Y < TitleRows() && dataCol >= 0 && dataCol < columns_->Count()) {
      KillTimer(kAutoScrollTimer);
      selection_->Columns()->SelectShift(columns_->Items(dataCol));
      Invalidate();
    }
    return;
  }
  if ((in.mouseState == 3 || in.mouseState == 1) && dataLink_->Active()) {
    TGridDrawInfo info;
    CalcDrawInfo(info);
    int top = info.Vert.FixedBoundary, bottom = std::min(info.Vert.GridBoundary, ClientHeight());
    if (y < top || y >= bottom) {
      int dist = y < top ? top - y : y - bottom + 1;
      SetTimer(kAutoScrollTimer, static_cast<unsigned>(std::max(0, 200 - 10 * dist)));
      return;
    }
    KillTimer(kAutoScrollTimer);
    TGridCoord cell = MouseCoord(std::clamp(x, 0, ClientWidth() - 1), y);
    if (cell.Y >= TitleRows() && cell.Y - TitleRows() < dataLink_->RecordCount() &&
        cell.Y != Row())
      ExtendMouseSelection(cell.Y - Row(), cell.X);
    else if (in.mouseState == 3 && cell.X >= IndicatorCols())
      ExtendMouseSelection(0, cell.X);
    return;
  }
  TCustomGrid::MouseMove(shift, x, y);
}

void TCustomDBGridEx::ExtendMouseSelection(int distance, int gridCol) {
  TInputState& in = Input();
  TDataSet* ds = dataLink_->DataSet();
  if (in.mouseState == 1) {
    MoveRecords(distance, true, true, 0);
    return;
  }
  ds->MoveBy(distance);
  int dataCol = GridToColumnIndex(gridCol);
  if (dataCol >= 0 && dataCol < columns_->Count()) SetSelectedIndex(dataCol);
  if (selection_->SelectionType() == gstRectangle || allowedSelections_.Contains(gstRectangle))
    selection_->Rect()->Select(SelectedIndex(), ds->Bookmark(), true);
  Invalidate();
}

void TCustomDBGridEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TInputState& in = Input();
  if (button == mbRight) {
    // A data column's own pop-up menu, at the mouse.
    TGridCoord cell = MouseCoord(x, y);
    int dataCol = cell.X >= 0 ? GridToColumnIndex(cell.X) : -1;
    if (dataCol >= 0 && dataCol < columns_->Count()) {
      TPopupMenu* menu = columns_->Items(dataCol)->PopupMenu();
      if (menu && menu->AutoPopup()) {
        Perform(WM_CANCELMODE, 0, 0);
        menu->PopupComponent = this;
        TPoint at = ClientToScreen(TPoint{x, y});
        menu->Popup(at.x, at.y);
        return;
      }
    }
  }
  bool sizing = GridState() == gsColSizing || GridState() == gsRowSizing;
  if (PressedTitleColumn() >= 0) {
    int col = PressedTitleColumn();
    bool over = TitlePressed();
    SetPressedTitle(-1, false);
    ReleaseCapture();
    int dataCol = GridToColumnIndex(col);
    if (over && dataCol >= 0 && dataCol < columns_->Count()) {
      TColumnEx* c = columns_->Items(dataCol);
      if (OnTitleBtnClick) OnTitleBtnClick(this, dataCol, c);
      if (optionsEx_.Contains(dghAutoSortMarking)) {
        bool multi = optionsEx_.Contains(dghMultiSortMarking) && shift.Contains(ssCtrl);
        c->Title()->ToggleSortMarker(multi);
        if (shift.Contains(ssCtrl))
          in.sortMarkingPending = true;
        else
          SortMarkingChanged();
      }
    }
  }
  KillTimer(kAutoScrollTimer);
  in.mouseState = 0;
  in.rowSelecting = false;
  if (GetCapture() == this) ReleaseCapture();
  TCustomGrid::MouseUp(button, shift, x, y);
  if (sizing || button != mbLeft) return;
  TGridCoord cell = MouseCoord(x, y);
  if (InplaceEditor() && InplaceEditor()->EditorVisible()) {
    TRect r = CellRect(cell.X, cell.Y);
    if (cell.X == Col() && cell.Y == Row() && !r.IsEmpty() &&
        x < r.Right - EditButtonWidth())
      return;
  }
  int dataCol = cell.X >= 0 ? GridToColumnIndex(cell.X) : -1;
  if (dataCol < 0 || dataCol >= columns_->Count()) return;
  TColumnEx* c = columns_->Items(dataCol);
  if (cell.Y >= 0 && cell.Y < TitleRows()) {
    if (OnTitleClick) OnTitleClick(c);
    return;
  }
  if (!dataLink_->Active() || cell.Y - TitleRows() >= dataLink_->RecordCount()) return;
  if (OnCellClick) OnCellClick(columns_->Items(SelectedIndex() >= 0 ? SelectedIndex() : dataCol));
  if (!shift.Contains(ssDouble) && cell.X == in.checkCol && cell.Y == in.checkRow &&
      IsStepColumn(c) && !c->DblClickNextVal() && c->CanModify(false) && c->CanModify(true))
    c->SetNextFieldValue(shift.Contains(ssShift) ? -1.0 : 1.0);
  in.checkCol = in.checkRow = -1;
}

bool TCustomDBGridEx::DoMouseWheel(TShiftState shift, int wheelDelta, const TPoint& mousePos) {
  if (dataLink_->Active() && wheelDelta != 0) {
    WritePending(dataLink_.get());
    dataLink_->DataSet()->MoveBy(wheelDelta < 0 ? 1 : -1);
  }
  return true;
}

bool TCustomDBGridEx::InputMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_TIMER:
      if (static_cast<unsigned>(m.WParam) == kSearchTimer) {
        StopIncSearch();
        return true;
      }
      if (static_cast<unsigned>(m.WParam) == kAutoScrollTimer && input_ &&
          (input_->mouseState == 1 || input_->mouseState == 3) && dataLink_->Active()) {
        TGridDrawInfo info;
        CalcDrawInfo(info);
        int y = input_->lastMouse.y;
        int top = info.Vert.FixedBoundary;
        int bottom = std::min(info.Vert.GridBoundary, ClientHeight());
        int dist = 0;
        if (y < top) {
          ExtendMouseSelection(-1, Col());
          dist = top - y;
        } else if (y >= bottom) {
          ExtendMouseSelection(1, Col());
          dist = y - bottom + 1;
        }
        if (dist > 0)
          SetTimer(kAutoScrollTimer, static_cast<unsigned>(std::max(0, 200 - 10 * dist)));
        else
          KillTimer(kAutoScrollTimer);
        return true;
      }
      return false;
    case CM_HINTSHOW:
      return CellHint(reinterpret_cast<THintInfo*>(m.LParam));
    case WM_CANCELMODE:
    case CM_CANCELMODE:
      if (PressedTitleColumn() >= 0) {
        SetPressedTitle(-1, false);
        if (GetCapture() == this) ReleaseCapture();
      }
      KillTimer(kAutoScrollTimer);
      if (input_) input_->mouseState = 0;
      return false;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Scroll bars

void TCustomDBGridEx::ModifyScrollBar(int bar, int code, int pos) {
  if (bar != SB_VERT) {
    if (code == SB_THUMBTRACK && HorzScrollBar()->Tracking()) code = SB_THUMBPOSITION;
    TCustomGrid::ModifyScrollBar(bar, code, pos);
    return;
  }
  if (!dataLink_->Active()) return;
  TDataSet* ds = dataLink_->DataSet();
  TInputState& in = Input();
  WritePending(dataLink_.get());
  switch (code) {
    case SB_LINEUP:
      ds->MoveBy(-dataLink_->ActiveRecord() - 1);
      break;
    case SB_LINEUP + 1:  // line down
      ds->MoveBy(dataLink_->RecordCount() - dataLink_->ActiveRecord());
      break;
    case SB_PAGEUP:
      ds->MoveBy(-VisibleDataRows());
      break;
    case SB_PAGEUP + 1:  // page down
      ds->MoveBy(VisibleDataRows());
      break;
    case SB_TOP:
      ds->First();
      break;
    case SB_BOTTOM:
      ds->Last();
      break;
    case SB_THUMBTRACK:
      if (!VertScrollBar()->Tracking()) break;
      in.skipThumbPosition = true;
      [[fallthrough]];
    case SB_THUMBPOSITION:
      if (code == SB_THUMBPOSITION && in.skipThumbPosition) {
        in.skipThumbPosition = false;
        break;
      }
      if (ds->IsSequenced()) {
        if (pos <= 1)
          ds->First();
        else if (pos < ds->RecordCount())
          ds->MoveBy(pos - ds->RecNo());
        else
          ds->Last();
      } else {
        switch (pos) {
          case 0: ds->First(); break;
          case 1: ds->MoveBy(-VisibleDataRows()); break;
          case 3: ds->MoveBy(VisibleDataRows()); break;
          case 4: ds->Last(); break;
          default: break;
        }
      }
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Tool-tips

bool TCustomDBGridEx::CellHint(THintInfo* info) {
  if (info == nullptr || GetCapture() != nullptr) return false;
  TGridCoord cell = MouseCoord(info->CursorPos.x, info->CursorPos.y);
  int dataCol = cell.X >= 0 ? GridToColumnIndex(cell.X) : -1;
  if (dataCol < 0 || dataCol >= columns_->Count()) return false;
  TColumnEx* c = columns_->Items(dataCol);
  TRect r = CellRect(cell.X, cell.Y);
  AnsiString text;
  const TFont* font = nullptr;
  int room = r.Width() - 4;
  if (cell.Y >= 0 && cell.Y < TitleRows()) {
    if (!c->Title()->Hint().empty()) {
      info->HintStr = c->Title()->Hint();
      info->CursorRect = r;
      return true;
    }
    if (!c->Title()->ToolTips()) return false;
    text = c->Title()->Caption();
    font = c->Title()->Font();
  } else {
    int dataRow = cell.Y - TitleRows();
    if (!c->ToolTips() || !dataLink_->Active() || dataRow < 0 ||
        dataRow >= dataLink_->RecordCount())
      return false;
    int saved = dataLink_->ActiveRecord();
    dataLink_->SetActiveRecord(dataRow);
    try {
      text = c->GetDisplayText();
    } catch (...) {
      dataLink_->SetActiveRecord(saved);
      throw;
    }
    dataLink_->SetActiveRecord(saved);
    font = c->Font();
    room -= EditButtonsWidth(c);
  }
  if (text.empty() || FontMetrics().TextWidth(*font, text) <= room) return false;
  // The whole text over the cell it does not fit.
  info->HintStr = text;
  info->CursorRect = r;
  return true;
}
