#include "export/WSExportToXLS.h"

#include <cstdio>
#include <cstring>

#include "export/BufferedStream.h"
#include "export/WSEStat.h"
#include "export/XlsFormat.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"

namespace {

// Controls off for a scope.
class TControlsGuard {
 public:
  explicit TControlsGuard(TDataSet* ds) : ds_(ds) { ds_->DisableControls(); }
  ~TControlsGuard() { ds_->EnableControls(); }

 private:
  TDataSet* ds_;
};

// Puts the dataset back where it was, however the loop ends.
class TPositionGuard {
 public:
  explicit TPositionGuard(TDataSet* ds) : ds_(ds), bookmark_(ds->GetBookmark()) {}
  ~TPositionGuard() {
    try {
      if (bookmark_ && ds_->BookmarkValid(bookmark_)) ds_->GotoBookmark(bookmark_);
    } catch (...) {
      // The export's own failure, if any, is the one to report.
    }
    TDataSet::FreeBookmark(bookmark_);
  }

 private:
  TDataSet* ds_;
  TBookmark bookmark_;
};

// The file being written: a temporary name beside the target, renamed over
// it by Commit; removed when the export does not get that far.
class TPendingFile {
 public:
  explicit TPendingFile(const AnsiString& target)
      : target_(target), temp_(target + ".part"), stream_(temp_, fmCreate) {}
  ~TPendingFile() {
    if (!committed_) {
      stream_.reset();
      ::remove(MapPath(temp_).c_str());
    }
  }
  TStream& Stream() { return *stream_; }
  void Commit() {
    stream_.reset();  // closes the file
    if (::rename(MapPath(temp_).c_str(), MapPath(target_).c_str()) != 0)
      throw EFCreateError("Cannot create file " + target_);
    committed_ = true;
  }

 private:
  // Holds the stream so that Commit can close it before the rename.
  struct Holder {
    Holder(const AnsiString& name, unsigned mode) : file(std::make_unique<TFileStream>(name, mode)) {}
    TFileStream& operator*() { return *file; }
    void reset() { file.reset(); }
    std::unique_ptr<TFileStream> file;
  };
  AnsiString target_;
  AnsiString temp_;
  Holder stream_;
  bool committed_ = false;
};

void PutU16(char* p, std::uint16_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>(v >> 8);
}

std::uint8_t AlignmentCode(TAlignment a) {
  switch (a) {
    case taRightJustify: return xls::kAlignRight;
    case taCenter: return xls::kAlignCentre;
    default: return xls::kAlignLeft;
  }
}

// The longest prefix of at most max bytes that ends on a character boundary.
AnsiString CutOnCharacter(const AnsiString& text, size_t max) {
  if (text.size() <= max) return text;
  size_t n = max;
  if (n > 0 && ByteTypeAt(text, n - 1) == mbLeadByte) --n;
  return text.substr(0, n);
}

}  // namespace

// ---- TWSExportToCellFile ---------------------------------------------------------

TWSExportToCellFile::TWSExportToCellFile(TComponent* owner)
    : TWSExportBaseComponent(owner),
      header_(std::make_unique<TStringList>()),
      footer_(std::make_unique<TStringList>()) {
  StoreFileName(IncludeTrailingPathDelimiter(ProgramFolder()) + "WSExport" +
                TWSExportBaseComponent::GetDefaultExt());
}

TWSExportToCellFile::~TWSExportToCellFile() = default;

TWSECellKind TWSExportToCellFile::GetCellKind(TField* field) {
  if (!field) return ckBlank;
  TWSECellKind kind;
  switch (field->DataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: kind = ckInteger; break;
    case ftFloat: case ftCurrency: case ftBCD: kind = ckNumber; break;
    case ftDate: case ftTime: case ftDateTime: kind = ckDate; break;
    default: kind = ckText; break;
  }
  if (kind != ckText && BlankIfZero() && IsZero(field)) return ckBlank;
  return kind;
}

AnsiString TWSExportToCellFile::Converted(const AnsiString& text) const {
  // The MS-DOS character set of the Chinese locale is code page 936 itself,
  // so its conversion keeps every byte.
  return text;
}

void TWSExportToCellFile::WriteLines(TStream& stream, TStrings* lines, int firstRow, TFont* font) {
  for (int r = 0; r < lines->Count(); ++r) {
    AnsiString text = lines->Strings(r);
    TAlignment alignment = taLeftJustify;
    TColor color = clWhite;
    WriteRowStart(stream, true);
    if (OnGetCellParams) OnGetCellParams(this, nullptr, text, font, alignment, color);
    WriteCell(stream, nullptr, ckText, firstRow + r, 1, Converted(text), alignment, font, color);
    WriteRowEnd(stream, true);
  }
}

void TWSExportToCellFile::InternalExport() {
  TDataSet* ds = GetSourceDataSet();
  if (!ds) throw Exception(Format(GetLanguageString(kWseNotSpecified), {"DataSet"}));
  const bool selectedOnly = SelectedRecord() && ColumnSource() == csDBGrid;
  const int n = selectedOnly ? GridSelectedCount() : ds->RecordCount();
  const int titleRows = !addTitle_ ? 0 : Options().Contains(soBlankRowAfterCaptions) ? 2 : 1;
  const int h = header_->Count(), f = footer_->Count();
  const int rows = h + n + titleRows + f;
  CheckSheetSize(rows, Columns()->Count());  // X1: before the file exists

  // The visible columns and their fields, looked up once.
  std::vector<TWSEColumn*> columns;
  for (int k = 0; k < Columns()->Count(); ++k)
    if (Columns()->Items(k)->Visible()) columns.push_back(Columns()->Items(k));

  TPendingFile file(FileName());
  TWSEBufferedStream stream(file.Stream());
  TFont font;
  WriteFileBegin(stream);
  WriteDimensions(stream, rows > 0 ? rows - 1 : 0, Columns()->Count());
  for (size_t c = 0; c < columns.size(); ++c) WriteColWidth(stream, static_cast<int>(c), columns[c]->Width());
  WriteLines(stream, header_.get(), 0, &font);

  if (addTitle_) {
    WriteRowStart(stream, true);
    for (size_t c = 0; c < columns.size(); ++c) {
      TWSEColumn* col = columns[c];
      font.Assign(col->Font());
      TAlignment alignment = col->Title()->Alignment();
      TColor color = col->Color();
      AnsiString text = col->Title()->Caption();
      if (OnGetCellParams) OnGetCellParams(this, nullptr, text, &font, alignment, color);
      WriteCell(stream, nullptr, ckText, h, static_cast<int>(c), Converted(text), alignment, &font, color);
    }
    WriteRowEnd(stream, true);
    if (titleRows == 2) {
      WriteRowStart(stream, true);
      for (size_t c = 0; c < columns.size(); ++c)
        WriteCell(stream, nullptr, ckBlank, h + 1, static_cast<int>(c), AnsiString(), taCenter,
                  &font, columns[c]->Color());
      WriteRowEnd(stream, true);
    }
  }

  int row = h + titleRows;
  {
    TControlsGuard controls(ds);
    TPositionGuard position(ds);
    std::vector<TField*> fields;
    for (TWSEColumn* col : columns) fields.push_back(ds->FindField(col->FieldName()));
    ds->First();
    AnsiString text;
    for (int i = 0; !ProcessCanceled() && (selectedOnly ? i < n : !ds->Eof()); ++i) {
      if (AnimatedStatus()) UpdateProcess(GetLanguageString(kWseExporting), i);
      if (selectedOnly) GotoGridSelected(ds, i);
      WriteRowStart(stream, false);
      for (size_t c = 0; c < columns.size(); ++c) {
        TWSEColumn* col = columns[c];
        TField* field = fields[c];
        GetFieldText(field, text);
        TWSECellKind kind = GetCellKind(field);
        TAlignment alignment = col->Alignment();
        TColor color = col->Color();
        if (OnGetCellParams) {
          font.Assign(col->Font());
          OnGetCellParams(this, field, text, &font, alignment, color);
        }
        WriteCell(stream, field, kind, row, static_cast<int>(c), Converted(text), alignment,
                  col->Font(), color);
      }
      WriteRowEnd(stream, false);
      ds->Next();
      ++row;
    }
  }
  WriteLines(stream, footer_.get(), row, &font);
  WriteFileEnd(stream);
  stream.Flush();
  file.Commit();
}

PAYROLL_PUBLISH(TWSExportToCellFile) {
  p.Property("ActionAfterExport", &TWSExportToCellFile::ActionAfterExport,
             &TWSExportToCellFile::SetActionAfterExport)
      .Default(aeNone);
  p.Property("FileName", &TWSExportToCellFile::FileName, &TWSExportToCellFile::SetFileName);
  p.Property("AddTitle", &TWSExportToCellFile::AddTitle, &TWSExportToCellFile::SetAddTitle)
      .Default(false);
  p.Property("CharacterSet", &TWSExportToCellFile::CharacterSet,
             &TWSExportToCellFile::SetCharacterSet)
      .Default(csANSI_WINDOWS);
}

// ---- TWSExportToXLS --------------------------------------------------------------

TWSExportToXLS::TWSExportToXLS(TComponent* owner) : TWSExportToCellFile(owner) {
  StoreFileName(IncludeTrailingPathDelimiter(ProgramFolder()) + "WSExport.XLS");
}

void TWSExportToXLS::CheckSheetSize(int rows, int columns) {
  if (rows > xls::kMaxRows)
    throw Exception(Format("A worksheet holds at most %d rows; this export needs %d",
                           {xls::kMaxRows, rows}));
  if (columns > xls::kMaxColumns)
    throw Exception(Format("A worksheet holds at most %d columns; this export needs %d",
                           {xls::kMaxColumns, columns}));
}

void TWSExportToXLS::WriteRecordHeader(TStream& stream, std::uint16_t opcode, std::uint16_t length) {
  char h[xls::kRecordHeaderSize];
  PutU16(h, opcode);
  PutU16(h + 2, length);
  stream.WriteBuffer(h, sizeof h);
}

void TWSExportToXLS::WriteFileBegin(TStream& stream) {
  char b[xls::kBofSize] = {};
  PutU16(b + 2, xls::kBofSheetType);
  WriteRecordHeader(stream, xls::kBof, sizeof b);
  stream.WriteBuffer(b, sizeof b);
  char cp[xls::kCodePageSize];
  PutU16(cp, xls::kCodePage936);
  WriteRecordHeader(stream, xls::kCodePage, sizeof cp);
  stream.WriteBuffer(cp, sizeof cp);
}

void TWSExportToXLS::WriteFileEnd(TStream& stream) { WriteRecordHeader(stream, xls::kEof, 0); }

void TWSExportToXLS::WriteDimensions(TStream& stream, int lastRow, int columnCount) {
  char b[xls::kDimensionsSize] = {};
  PutU16(b + 2, static_cast<std::uint16_t>(lastRow));
  PutU16(b + 6, static_cast<std::uint16_t>(columnCount));
  WriteRecordHeader(stream, xls::kDimensions, sizeof b);
  stream.WriteBuffer(b, sizeof b);
}

void TWSExportToXLS::WriteColWidth(TStream& stream, int column, int width) {
  if (width < 0) width = 0;
  if (width > xls::kMaxWidth) width = xls::kMaxWidth;
  char b[xls::kColWidthSize];
  b[0] = b[1] = static_cast<char>(column);
  PutU16(b + 2, static_cast<std::uint16_t>(width * 256));
  WriteRecordHeader(stream, xls::kColWidth, sizeof b);
  stream.WriteBuffer(b, sizeof b);
}

void TWSExportToXLS::WriteCell(TStream& stream, TField*, TWSECellKind kind, int row, int column,
                               const AnsiString& text, TAlignment alignment, TFont*, TColor) {
  int intValue = 0;
  double number = 0;
  if (Options().Contains(soFieldMask)) {
    kind = ckText;
  } else if (kind == ckInteger) {
    if (!text.empty() && !TryStrToInt(text, intValue)) kind = ckText;
    else if (intValue < 0 || intValue > xls::kMaxSmallInteger) kind = ckNumber;
  }
  if (kind == ckNumber && !text.empty() && !TryStrToFloat(text, number)) kind = ckText;

  // The record header and the cell go out as one write: a worksheet is
  // mostly cells, and a write per record half showed in the export's time.
  char record[xls::kRecordHeaderSize + xls::kLabelHeadSize + xls::kMaxLabel];
  char* head = record + xls::kRecordHeaderSize;
  PutU16(head, static_cast<std::uint16_t>(row));
  PutU16(head + 2, static_cast<std::uint16_t>(column));
  head[4] = head[5] = 0;
  head[6] = static_cast<char>(AlignmentCode(alignment));
  auto put = [&](std::uint16_t opcode, int size) {
    PutU16(record, opcode);
    PutU16(record + 2, static_cast<std::uint16_t>(size));
    stream.WriteBuffer(record, xls::kRecordHeaderSize + size);
  };
  switch (kind) {
    case ckBlank:
      put(xls::kBlank, xls::kCellHeadSize);
      break;
    case ckInteger:
      PutU16(head + xls::kCellHeadSize, static_cast<std::uint16_t>(intValue));
      put(xls::kInteger, xls::kIntegerSize);
      break;
    case ckNumber:
      std::memcpy(head + xls::kCellHeadSize, &number, sizeof number);  // little-endian host
      put(xls::kNumber, xls::kNumberSize);
      break;
    default: {
      const AnsiString cut = CutOnCharacter(text, xls::kMaxLabel);
      head[xls::kCellHeadSize] = static_cast<char>(cut.size());
      std::memcpy(head + xls::kLabelHeadSize, cut.data(), cut.size());
      put(xls::kLabel, xls::kLabelHeadSize + static_cast<int>(cut.size()));
      break;
    }
  }
}

PAYROLL_PUBLISH(TWSExportToXLS) {}
