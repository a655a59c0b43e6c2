// Grid importers: the walk over the selection, the text reader and the
// GRDDBIF reader with its whole-stream check.
#include "grid/DBGridExImport.h"

#include <bit>
#include <cstring>
#include <exception>

#include "grid/GrdDbifFormat.h"
#include "grid/DBGridExTransferInt.h"
#include "grid/GridSelection.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Dialogs.h"

using namespace gridtransfer;

namespace {

// When an import ends in an error, the record being filled is cancelled
// rather than left half-filled in edit state (to be posted by whatever
// moves the cursor next).
class TCancelOnError {
 public:
  explicit TCancelOnError(TDataSet* ds) : ds_(ds), unwinding_(std::uncaught_exceptions()) {}
  ~TCancelOnError() {
    if (std::uncaught_exceptions() <= unwinding_) return;
    try {
      if (Editing(ds_)) ds_->Cancel();
    } catch (...) {
      // The import's own error is the one to report.
    }
  }
  TCancelOnError(const TCancelOnError&) = delete;
  TCancelOnError& operator=(const TCancelOnError&) = delete;

 private:
  TDataSet* ds_;
  int unwinding_;
};

const char kGrdDbifWhere[] = "TDBGridExImportAsGRDDBIF.ReadPrefix: ";

std::int32_t Int32At(const unsigned char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                   (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) |
                                   (static_cast<std::uint32_t>(p[3]) << 24));
}

}  // namespace

// ===========================================================================
// The walk

void TDBGridExImport::ImportFromStream(TStream* stream, bool isImportAll) {
  Stream = stream;
  Eof = false;
  TDataSet* ds = GridDataSet(DBGridEx);
  if (ds == nullptr || !ds->Active()) return;
  TDBGridExSelection* sel = DBGridEx->Selection();
  if (isImportAll) {
    sel->Clear();
    ds->First();
    for (int i = 0; i < DBGridEx->Columns()->Count(); ++i)
      if (DBGridEx->Columns()->Items(i)->Visible()) {
        DBGridEx->SetSelectedIndex(i);
        break;
      }
  }
  const bool insertMode = ds->State() == dsInsert;
  const bool appendMode = insertMode && ds->Eof();
  TGridPosition position(ds);
  TControlsDisabler controls(ds);
  TCancelOnError cancel(ds);
  const int last = DBGridEx->Columns()->Count() - 1;
  switch (sel->SelectionType()) {
    case gstNon:
      ImpCols = VisibleColumns(DBGridEx, DBGridEx->SelectedIndex(), last);
      ReadPrefix();
      if (insertMode) {
        InsertRemainingRows(appendMode);
      } else {
        position.Restore();
        while (!ds->Eof() && !Eof) {
          ReadRecord(ImpCols);
          ds->Next();
        }
        if (!Eof && DBGridEx->AllowedOperations().Contains(alopAppendEx))
          InsertRemainingRows(true);
      }
      break;
    case gstRecordBookmarks: {
      ImpCols = VisibleColumns(DBGridEx, 0, last);
      ReadPrefix();
      if (insertMode) {
        InsertRemainingRows(appendMode);
        break;
      }
      std::vector<TBookmarkStr> rows;
      for (int i = 0; i < sel->Rows()->Count(); ++i) rows.push_back(sel->Rows()->Items(i));
      for (const TBookmarkStr& row : rows) {
        ds->SetBookmark(row);
        ReadRecord(ImpCols);
      }
      break;
    }
    case gstRectangle: {
      TDBGridExSelectionRect* rect = sel->Rect();
      ImpCols = VisibleColumns(DBGridEx, rect->LeftCol(), rect->RightCol());
      ReadPrefix();
      if (insertMode) {
        InsertRemainingRows(appendMode);
        break;
      }
      TBookmarkStr bottom = rect->BottomRow();
      ds->SetBookmark(rect->TopRow());
      for (;;) {
        ReadRecord(ImpCols);
        if (SameBookmark(ds, ds->Bookmark(), bottom)) break;
        ds->Next();
        if (ds->Eof()) break;
      }
      break;
    }
    case gstColumns:
    case gstAll:
      if (sel->SelectionType() == gstColumns) {
        ImpCols.clear();
        for (int i = 0; i < sel->Columns()->Count(); ++i) ImpCols.push_back(sel->Columns()->Items(i));
      } else {
        ImpCols = VisibleColumns(DBGridEx, 0, last);
      }
      ReadPrefix();
      if (insertMode) {
        InsertRemainingRows(appendMode);
        break;
      }
      ds->First();
      while (!ds->Eof()) {
        ReadRecord(ImpCols);
        ds->Next();
      }
      break;
  }
  if (!insertMode) position.Restore();
}

void TDBGridExImport::InsertRemainingRows(bool appendMode) {
  TDataSet* ds = GridDataSet(DBGridEx);
  while (!Eof) {
    if (appendMode)
      ds->Append();
    else
      ds->Insert();
    ReadRecord(ImpCols);
    ds->Post();
    if (!appendMode) ds->Next();
  }
}

void TDBGridExImport::ReadRecord(const TColumnsExList& columns) {
  for (TColumnEx* column : columns) ReadValue(column);
}

void TDBGridExImport::ImportFromFile(const AnsiString& fileName, bool isImportAll) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  ImportFromStream(&file, isImportAll);
}

TField* TDBGridExImport::EditTarget(TColumnEx* column) {
  if (column == nullptr || !column->CanModify(false)) return nullptr;
  TField* target = column->Field();
  if (target == nullptr) return nullptr;
  if (target->Lookup()) {
    if (target->KeyFields().empty()) return nullptr;
    target = target->DataSet()->FieldByName(target->KeyFields());
  }
  TDataSet* ds = target->DataSet();
  if (!ds->CanModify()) return nullptr;
  ds->Edit();
  return Editing(ds) ? target : nullptr;
}

void TDBGridExImport::AskIgnoreError(const Exception& error) {
  if (IgnoreAllErrors) return;
  int answer = MessageDlg("Error during insert value:\n" + error.Message() + "\n\nIgnore error?",
                          mtError, TMsgDlgButtons{mbYes, mbNo, mbAll}, 0);
  if (answer == mrAll)
    IgnoreAllErrors = true;
  else if (answer != mrYes)
    Abort();
}

// ===========================================================================
// Text

void TDBGridExImportAsText::ImportFromStream(TStream* stream, bool isImportAll) {
  IgnoreAllErrors = false;
  State = stChar;
  TDBGridExImport::ImportFromStream(stream, isImportAll);
}

void TDBGridExImportAsText::CheckState() {
  if (Stream->Read(&Char, 1) != 1) {
    State = stEnd;
    Eof = true;
    return;
  }
  if (Char == '\t') {
    State = stTab;
  } else if (Char == '\r') {
    if (Stream->Read(&Char, 1) != 1 || Char != '\n')
      throw Exception("TDBGridExImportAsText.CheckState: Invalid text format");
    State = stEol;
  } else {
    State = stChar;
  }
}

void TDBGridExImportAsText::ReadCell() {
  CellText = AnsiString(1, Char);
  for (CheckState(); State == stChar; CheckState()) CellText += Char;
  // What follows the TAB decides whether another cell follows on this line.
  if (State == stTab) CheckState();
}

void TDBGridExImportAsText::ReadRecord(const TColumnsExList& columns) {
  if (State == stEnd) return;
  size_t next = 0;
  if (State == stChar) {
    ReadCell();
    if (!columns.empty()) ReadValue(columns[0]);
    next = 1;
  }
  while (State == stChar || State == stTab) {
    if (State == stTab) {
      CellText.clear();  // an empty cell between two TABs
      CheckState();
    } else {
      ReadCell();
    }
    if (next < columns.size()) ReadValue(columns[next]);  // extra cells are dropped
    ++next;
  }
  CheckState();  // the first byte of the next line
}

void TDBGridExImportAsText::ReadValue(TColumnEx* column) {
  try {
    TField* target = EditTarget(column);
    if (target == nullptr) return;
    TField* field = column->Field();
    if (column->ColumnKind() == ckLookup) {
      TDataSet* lookup = field->LookupDataSet();
      if (lookup &&
          lookup->Locate(field->LookupResultField(), Variant(CellText),
                         TLocateOptions{loCaseInsensitive, loPartialKey}))
        target->SetValue(lookup->FieldByName(field->LookupKeyFields())->Value());
    } else if (column->ColumnKind() == ckKeyPickList) {
      int i = column->PickList()->IndexOf(CellText);
      if (i >= 0 && i < column->KeyList()->Count())
        target->SetText(column->KeyList()->Strings(i));
      else
        target->Clear();
    } else {
      target->SetText(CellText);
    }
  } catch (const EAbort&) {
    throw;
  } catch (const Exception& e) {
    AskIgnoreError(e);
  }
}

// ===========================================================================
// GRDDBIF (layout and invariants in GrdDbifFormat.h)

void ValidateGrdDbif(TStream* stream) {
  using namespace grddbif;
  const std::int64_t start = stream->Position();
  const std::int64_t size = stream->Size() - start;
  auto fail = [] { throw Exception(AnsiString(kGrdDbifWhere) + kInvalidFormat); };
  if (size < kHeaderSize || size > INT32_MAX) fail();
  std::string data(static_cast<size_t>(size), '\0');
  stream->ReadBuffer(data.data(), static_cast<int>(size));
  stream->SetPosition(start);
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const size_t end = data.size();
  if (std::memcmp(p, kSignature, kSignatureSize) != 0) fail();  // G1
  const std::int32_t columns = Int32At(p + kColumnCountOffset);
  if (columns < 0) fail();
  size_t at = kHeaderSize;
  for (std::int32_t i = 0; i < columns; ++i) {  // G2
    if (at >= end) fail();
    ++at;  // visible flag
    while (at < end && p[at] != 0) ++at;
    if (at >= end) fail();
    ++at;
  }
  std::int64_t values = 0;
  for (;;) {  // G3, G5
    if (at >= end) fail();
    const unsigned char tag = p[at++];
    if (tag == kTagEnd) break;
    if (tag >= kTagCount) fail();
    if (tag == kTagInteger) {
      if (end - at < 4) fail();
      at += 4;
    } else if (tag == kTagDouble) {
      if (end - at < 8) fail();
      at += 8;
    } else if (tag == kTagText || tag == kTagBytes) {
      if (end - at < 4) fail();
      const std::int32_t length = Int32At(p + at);
      at += 4;
      if (length < 0 || end - at < static_cast<size_t>(length)) fail();
      at += static_cast<size_t>(length);
    }
    ++values;
  }
  if (columns == 0 ? values != 0 : values % columns != 0) fail();  // G4
}

void TDBGridExImportAsGRDDBIF::Invalid(const char*) const {
  throw Exception(AnsiString(kGrdDbifWhere) + grddbif::kInvalidFormat);
}

void TDBGridExImportAsGRDDBIF::ReadExact(void* buffer, int count, const char* where) {
  if (count > 0 && Stream->Read(buffer, count) != count) Invalid(where);
}

void TDBGridExImportAsGRDDBIF::ImportFromStream(TStream* stream, bool isImportAll) {
  IgnoreAllErrors = false;
  HasColumnNames = false;
  ColumnNames.clear();
  Value = Variant();
  // Checked whole first: a damaged stream changes nothing.
  ValidateGrdDbif(stream);
  TDBGridExImport::ImportFromStream(stream, isImportAll);
  ColumnNames.clear();
}

void TDBGridExImportAsGRDDBIF::ReadPrefix() {
  unsigned char header[grddbif::kHeaderSize];
  ReadExact(header, grddbif::kHeaderSize, "header");
  if (std::memcmp(header, grddbif::kSignature, grddbif::kSignatureSize) != 0) Invalid("header");
  ColumnCount = Int32At(header + grddbif::kColumnCountOffset);
  for (int i = 0; i < ColumnCount; ++i) {
    char visible = 0;
    ReadExact(&visible, 1, "column");
    AnsiString name;
    for (char ch;;) {
      ReadExact(&ch, 1, "column");
      if (ch == 0) break;
      name += ch;
    }
    if (!name.empty()) HasColumnNames = true;
    ColumnNames.emplace_back(name, visible != 0);
  }
  ReadNextValue();
}

void TDBGridExImportAsGRDDBIF::ReadNextValue() {
  using namespace grddbif;
  if (Eof) return;
  unsigned char tag = 0;
  ReadExact(&tag, 1, "tag");
  Value = Variant();
  switch (tag) {
    case kTagEnd:
      Eof = true;
      break;
    case kTagNoValue:
      break;
    case kTagNull:
      Value = Variant::Null();
      break;
    case kTagInteger: {
      unsigned char b[4];
      ReadExact(b, 4, "integer");
      Value = Variant(static_cast<int>(Int32At(b)));
      break;
    }
    case kTagDouble: {
      unsigned char b[8];
      ReadExact(b, 8, "double");
      std::uint64_t bits = 0;
      for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
      Value = Variant(std::bit_cast<double>(bits));
      break;
    }
    case kTagText:
    case kTagBytes: {
      unsigned char b[4];
      ReadExact(b, 4, "length");
      std::int32_t length = Int32At(b);
      if (length < 0) Invalid("length");
      AnsiString s(static_cast<size_t>(length), '\0');
      ReadExact(s.data(), length, "value");
      Value = Variant(s);
      break;
    }
    default:
      Invalid("tag");  // ValidateGrdDbif has already refused it
  }
}

void TDBGridExImportAsGRDDBIF::ReadRecord(const TColumnsExList& columns) {
  for (int i = 0; i < ColumnCount; ++i)
    ReadValue(i < static_cast<int>(columns.size()) ? columns[i] : nullptr);
}

void TDBGridExImportAsGRDDBIF::ReadValue(TColumnEx* column) {
  if (!Value.IsEmpty() && column) {
    try {
      if (TField* target = EditTarget(column)) {
        if (Value.IsNull())
          target->Clear();
        else
          target->SetValue(Value);
      }
    } catch (const EAbort&) {
      throw;
    } catch (const Exception& e) {
      AskIgnoreError(e);
    }
  }
  // Always, so that a refused value does not put the reader out of step.
  ReadNextValue();
}
