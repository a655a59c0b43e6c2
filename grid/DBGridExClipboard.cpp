// The data grid's clipboard actions (formats and questions in
// DBGridExClipboard.h).
#include "grid/DBGridExClipboard.h"

#include <algorithm>

#include "grid/DBGridExTransferInt.h"
#include "grid/GridSelection.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"

using namespace gridtransfer;

namespace {

// Holds the clipboard open for one action.
class TClipboardSession {
 public:
  TClipboardSession() { Clipboard()->Open(); }
  ~TClipboardSession() { Clipboard()->Close(); }
  TClipboardSession(const TClipboardSession&) = delete;
  TClipboardSession& operator=(const TClipboardSession&) = delete;
};

TBytes StreamBytes(TMemoryStream& stream) {
  const auto* p = static_cast<const std::uint8_t*>(stream.Memory());
  return TBytes(p, p + stream.Size());
}

template <class Exporter>
void PutOnClipboard(TCustomDBGridEx* grid, bool forWholeGrid, TClipFormat format,
                    bool textBlock) {
  TMemoryStream stream;
  ExportGridToStream<Exporter>(grid, &stream, forWholeGrid);
  if (textBlock) {
    const char zero = 0;
    stream.WriteBuffer(&zero, 1);
  }
  Clipboard()->SetAsHandle(format, StreamBytes(stream));
}

// Clears the cells of columns in the current record (the key field of a
// lookup column); cells that cannot be changed are skipped.
void ClearRowCells(const TColumnsExList& columns) {
  for (TColumnEx* column : columns) {
    if (!column->CanModify(false)) continue;
    TField* target = column->Field();
    if (target == nullptr) continue;
    if (target->Lookup()) {
      if (target->KeyFields().empty()) continue;
      target = target->DataSet()->FieldByName(target->KeyFields());
    }
    TDataSet* ds = target->DataSet();
    if (!ds->CanModify()) continue;
    ds->Edit();
    if (Editing(ds)) target->Clear();
  }
}

// The question before a delete; true to go on.
bool ConfirmSelectionDelete(TCustomDBGridEx* grid, TDBGridExSelectionType kind) {
  if (!grid->Options().Contains(dgConfirmDelete)) return true;
  AnsiString question;
  switch (kind) {
    case gstRecordBookmarks:
      question = grid->Selection()->Rows()->Count() < 2 ? "请确认删除记录?" : "确认删除所有记录?";
      break;
    case gstRectangle:
    case gstColumns:
      question = "Clear selected cells?";
      break;
    default:
      question = "确认删除所有记录?";
      break;
  }
  return MessageDlg(question, mtConfirmation, mbOKCancel, 0) == mrOk;
}

}  // namespace

TClipFormat CF_GRDDBIF() {
  static const TClipFormat format = RegisterClipboardFormat("GRDDBIF");
  return format;
}

TClipFormat CF_CSV() {
  static const TClipFormat format = RegisterClipboardFormat("Csv");
  return format;
}

TClipFormat CF_RICHTEXT() {
  static const TClipFormat format = RegisterClipboardFormat("Rich Text Format");
  return format;
}

void CopySelectionToClipboard(TCustomDBGridEx* grid, bool forWholeGrid) {
  TDataSet* ds = GridDataSet(grid);
  if (ds == nullptr || !ds->Active()) return;
  TClipboardSession session;
  TControlsDisabler controls(ds);
  PutOnClipboard<TDBGridExExportAsText>(grid, forWholeGrid, CF_TEXT, true);
  PutOnClipboard<TDBGridExExportAsCSV>(grid, forWholeGrid, CF_CSV(), true);
  PutOnClipboard<TDBGridExExportAsRTF>(grid, forWholeGrid, CF_RICHTEXT(), true);
  PutOnClipboard<TDBGridExExportAsGRDDBIF>(grid, forWholeGrid, CF_GRDDBIF(), false);
}

void CutSelectionToClipboard(TCustomDBGridEx* grid, bool forWholeGrid) {
  CopySelectionToClipboard(grid, forWholeGrid);
  DeleteSelection(grid, forWholeGrid);
}

void PasteFromClipboard(TCustomDBGridEx* grid, bool forWholeGrid) {
  TClipboardSession session;
  if (Clipboard()->HasFormat(CF_GRDDBIF())) {
    TBytes block = Clipboard()->GetAsHandle(CF_GRDDBIF());
    TMemoryStream stream;
    if (!block.empty()) stream.WriteBuffer(block.data(), static_cast<int>(block.size()));
    stream.SetPosition(0);
    ImportGridFromStream<TDBGridExImportAsGRDDBIF>(grid, &stream, forWholeGrid);
  } else if (Clipboard()->HasFormat(CF_TEXT)) {
    TBytes block = Clipboard()->GetAsHandle(CF_TEXT);
    // The text ends at its terminating zero; bytes after it are not data.
    auto end = std::find(block.begin(), block.end(), 0);
    TMemoryStream stream;
    if (end != block.begin())
      stream.WriteBuffer(block.data(), static_cast<int>(end - block.begin()));
    stream.SetPosition(0);
    ImportGridFromStream<TDBGridExImportAsText>(grid, &stream, forWholeGrid);
  }
}

void DeleteSelection(TCustomDBGridEx* grid, bool forWholeGrid) {
  TDBGridExSelection* sel = grid->Selection();
  TDBGridExSelectionType kind = forWholeGrid ? gstAll : sel->SelectionType();
  TDataSet* ds = GridDataSet(grid);
  if (kind == gstNon || ds == nullptr || !ds->Active()) return;
  if (!ConfirmSelectionDelete(grid, kind)) return;
  TGridPosition position(ds);
  TControlsDisabler controls(ds);
  switch (kind) {
    case gstRecordBookmarks: {
      std::vector<TBookmarkStr> rows;
      for (int i = 0; i < sel->Rows()->Count(); ++i) rows.push_back(sel->Rows()->Items(i));
      sel->Clear();
      DeleteBookmarkedRecords(ds, rows);
      break;
    }
    case gstRectangle: {
      TDBGridExSelectionRect* rect = sel->Rect();
      TColumnsExList columns = VisibleColumns(grid, rect->LeftCol(), rect->RightCol());
      TBookmarkStr bottom = rect->BottomRow();
      ds->SetBookmark(rect->TopRow());
      for (;;) {
        ClearRowCells(columns);
        if (SameBookmark(ds, ds->Bookmark(), bottom)) break;
        ds->Next();
        if (ds->Eof()) break;
      }
      position.Restore();
      break;
    }
    case gstColumns: {
      TColumnsExList columns;
      for (int i = 0; i < sel->Columns()->Count(); ++i) columns.push_back(sel->Columns()->Items(i));
      ds->First();
      while (!ds->Eof()) {
        ClearRowCells(columns);
        ds->Next();
      }
      position.Restore();
      break;
    }
    default:
      ds->First();
      while (!ds->IsEmpty()) ds->Delete();
      break;
  }
}
