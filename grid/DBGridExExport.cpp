// Grid exporters: the walk, the footer arithmetic, and the text, CSV and
// GRDDBIF writers (the RTF writer is in DBGridExExportRtf.cpp).
#include "grid/DBGridExExport.h"

#include <bit>
#include <cstring>

#include "grid/GrdDbifFormat.h"
#include "grid/DBGridExTransferInt.h"
#include "grid/GridSelection.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"

char DBGridExCSVSeparator = ';';

using namespace gridtransfer;

namespace {

// The field a footer of column adds up: the footer's own FieldName, else
// the column's; null when the dataset has no such field.
TField* FooterField(TDataSet* ds, TColumnFooterEx* footer, TColumnEx* column) {
  const AnsiString& name = footer->FieldName().empty() ? column->FieldName() : footer->FieldName();
  return ds->FindField(name);
}

void PutInt32(AnsiString& out, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

}  // namespace

// ===========================================================================
// TDBGridExExport: the walk

TDBGridExExport::TDBGridExExport()
    : colCellParams_(std::make_unique<TColCellParamsEx>()), cellFont_(std::make_unique<TFont>()) {}

TDBGridExExport::~TDBGridExExport() = default;

void TDBGridExExport::Put(const AnsiString& bytes) {
  if (!bytes.empty()) Stream->WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

void TDBGridExExport::ExportToStream(TStream* stream, bool isExportAll) {
  Stream = stream;
  TDBGridExSelectionType kind = isExportAll ? gstAll : DBGridEx->Selection()->SelectionType();
  TDataSet* ds = GridDataSet(DBGridEx);
  if (kind == gstNon || ds == nullptr || !ds->Active()) return;
  {
    TControlsDisabler controls(ds);
    TBookmarkKeeper position(ds);
    ExportRows(kind);
  }
  WriteSuffix();
  footerValues_.clear();
}

void TDBGridExExport::ExportRows(TDBGridExSelectionType kind) {
  TDataSet* ds = GridDataSet(DBGridEx);
  TDBGridExSelection* sel = DBGridEx->Selection();
  switch (kind) {
    case gstRecordBookmarks:
      expCols_ = VisibleColumns(DBGridEx);
      break;
    case gstRectangle:
      expCols_ = VisibleColumns(DBGridEx, sel->Rect()->LeftCol(), sel->Rect()->RightCol());
      break;
    case gstColumns:
      expCols_.clear();
      for (int i = 0; i < sel->Columns()->Count(); ++i) expCols_.push_back(sel->Columns()->Items(i));
      break;
    default:
      expCols_ = VisibleColumns(DBGridEx);
      break;
  }
  footerValues_.assign(static_cast<size_t>(DBGridEx->FooterRowCount()) * expCols_.size(), 0);
  WritePrefix();
  if (DBGridEx->Options().Contains(dgTitles)) WriteTitle(expCols_);
  switch (kind) {
    case gstRecordBookmarks: {
      TBookmarkListEx* rows = sel->Rows();
      for (int i = 0; i < rows->Count(); ++i) {
        // A marked record another user deleted meanwhile is not exported
        // (and a cut then skips it when deleting).
        try {
          ds->SetBookmark(rows->Items(i));
        } catch (const EDatabaseError&) {
          continue;
        }
        AccumulateFooters();
        WriteRecord(expCols_);
      }
      break;
    }
    case gstRectangle: {
      TBookmarkStr bottom = sel->Rect()->BottomRow();
      ds->SetBookmark(sel->Rect()->TopRow());
      for (;;) {
        WriteRecord(expCols_);
        AccumulateFooters();
        if (SameBookmark(ds, ds->Bookmark(), bottom)) break;
        ds->Next();
        if (ds->Eof()) break;
      }
      break;
    }
    default:
      ds->First();
      while (!ds->Eof()) {
        WriteRecord(expCols_);
        AccumulateFooters();
        ds->Next();
      }
      break;
  }
  for (int f = 0; f < DBGridEx->FooterRowCount(); ++f) WriteFooter(expCols_, f);
}

// ===========================================================================
// Cells and footers

void TDBGridExExport::WriteRecord(const TColumnsExList& columns) {
  TColCellParamsEx* p = colCellParams_.get();
  for (TColumnEx* column : columns) {
    p->Font = cellFont_.get();
    column->FillColCellParams(p);  // the font is copied into the scratch font
    p->State = 0;
    if (DBGridEx->OnGetCellParams)
      DBGridEx->OnGetCellParams(DBGridEx, column, p->Font, p->Background, TGridDrawState());
    column->GetColCellParams(false, p);
    WriteDataCell(column, p);
  }
}

TColor TDBGridExExport::DataCellBackground(TColumnEx* column) {
  TColor background = column->Color();
  if (DBGridEx->OnGetCellParams) {
    TFont font;
    font.Assign(column->Font());
    DBGridEx->OnGetCellParams(DBGridEx, column, &font, background, TGridDrawState());
  }
  return background;
}

TDBGridExExport::TFooterCell TDBGridExExport::FooterCell(TColumnEx* column, int footerNo,
                                                         TFont* font) {
  TColumnFooterEx* footer = column->UsedFooter(footerNo);
  font->Assign(footer->Font());
  TFooterCell cell{footer->Color(), footer->Alignment(), AnsiString()};
  int col = 0;
  while (col < static_cast<int>(expCols_.size()) && expCols_[col] != column) ++col;
  if (footer->ValueType() == fvtSum || footer->ValueType() == fvtCount)
    cell.Text = FooterValueText(footerNo, col, column);
  else
    cell.Text = DBGridEx->GetFooterValue(footerNo, column);
  if (DBGridEx->OnGetFooterParams)
    DBGridEx->OnGetFooterParams(DBGridEx, column->Index(), footerNo, column, font, cell.Background,
                                cell.Alignment, TGridDrawState(), cell.Text);
  return cell;
}

void TDBGridExExport::WriteFooter(const TColumnsExList& columns, int footerNo) {
  for (size_t i = 0; i < columns.size(); ++i) {
    TFooterCell cell = FooterCell(columns[i], footerNo, cellFont_.get());
    WriteFooterCell(static_cast<int>(i), footerNo, columns[i], cellFont_.get(), cell.Background,
                    cell.Alignment, cell.Text);
  }
}

void TDBGridExExport::AccumulateFooters() {
  TDataSet* ds = GridDataSet(DBGridEx);
  size_t n = expCols_.size();
  for (int f = 0; f < DBGridEx->FooterRowCount(); ++f)
    for (size_t c = 0; c < n; ++c) {
      TColumnFooterEx* footer = expCols_[c]->UsedFooter(f);
      TFooterValueType type = footer->ValueType();
      if (type != fvtSum && type != fvtCount) continue;
      TField* field = FooterField(ds, footer, expCols_[c]);
      if (field == nullptr) continue;
      std::int64_t& entry = footerValues_[f * n + c];
      if (type == fvtCount)
        entry += 10000;
      else if (!field->IsNull())
        entry += Round(field->AsFloat() * 10000.0);
    }
}

AnsiString TDBGridExExport::FooterValueText(int footerNo, int col, TColumnEx* column) {
  TColumnFooterEx* footer = column->UsedFooter(footerNo);
  std::int64_t scaled = footerValues_[footerNo * expCols_.size() + col];
  if (footer->ValueType() == fvtCount) return FloatToStr(static_cast<double>(scaled) / 10000.0);
  TField* field = FooterField(GridDataSet(DBGridEx), footer, column);
  if (field == nullptr) return AnsiString();
  double v = static_cast<double>(scaled) / 10000.0;
  auto* numeric = dynamic_cast<TNumericField*>(field);
  AnsiString format = numeric ? numeric->DisplayFormat() : AnsiString();
  auto* ff = dynamic_cast<TFloatField*>(field);
  bool currency = ff && ff->Currency();
  int decimals = currency ? DefaultFormatSettings().CurrencyDecimals : 0;
  switch (field->DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return format.empty() ? IntToStr(Round(v)) : FormatFloat(format, v);
    case ftFloat:
    case ftCurrency:
      if (!format.empty()) return FormatFloat(format, v);
      return FloatToStrF(v, currency ? ffCurrency : ffGeneral, ff ? ff->Precision() : 15,
                         decimals);
    case ftBCD:
      if (!format.empty()) return FormatFloat(format, v);
      return CurrToStrF(scaled, currency ? ffCurrency : ffGeneral, decimals);
    default:
      return AnsiString();
  }
}

void TDBGridExExport::ExportToFile(const AnsiString& fileName, bool isExportAll) {
  // The old file stays whole until the new one is complete: the export is
  // made in memory, then written beside the target and renamed over it.
  TMemoryStream data;
  ExportToStream(&data, isExportAll);
  WriteFileAtomically(
      fileName, std::string_view(static_cast<const char*>(data.Memory()),
                                 static_cast<size_t>(data.Size())));
}

// ===========================================================================
// Text

void TDBGridExExportAsText::ExportToStream(TStream* stream, bool isExportAll) {
  FirstRec = true;
  TDBGridExExport::ExportToStream(stream, isExportAll);
}

void TDBGridExExportAsText::CheckFirstRec() {
  if (FirstRec)
    FirstRec = false;
  else
    Put("\r\n");
}

void TDBGridExExportAsText::CheckFirstCell() {
  if (!FirstCell) Put("\t");
  FirstCell = false;
}

AnsiString TDBGridExExportAsText::CellText(const AnsiString& text) const {
  AnsiString out = text;
  for (char& ch : out)
    if (ch == '\t' || ch == '\r' || ch == '\n') ch = ' ';
  return out;
}

void TDBGridExExportAsText::WriteTitle(const TColumnsExList& columns) {
  CheckFirstRec();
  FirstCell = true;
  for (TColumnEx* column : columns) {
    CheckFirstCell();
    Put(CellText(column->Title()->Caption()));
  }
}

void TDBGridExExportAsText::WriteRecord(const TColumnsExList& columns) {
  CheckFirstRec();
  FirstCell = true;
  TDBGridExExport::WriteRecord(columns);
}

void TDBGridExExportAsText::WriteDataCell(TColumnEx*, TColCellParamsEx* params) {
  CheckFirstCell();
  Put(CellText(params->Text));
}

void TDBGridExExportAsText::WriteFooter(const TColumnsExList& columns, int footerNo) {
  CheckFirstRec();
  FirstCell = true;
  TDBGridExExport::WriteFooter(columns, footerNo);
}

void TDBGridExExportAsText::WriteFooterCell(int, int, TColumnEx*, TFont*, TColor, TAlignment,
                                            const AnsiString& text) {
  CheckFirstCell();
  Put(CellText(text));
}

// ===========================================================================
// CSV

TDBGridExExportAsCSV::TDBGridExExportAsCSV() : Separator(DBGridExCSVSeparator) {}

void TDBGridExExportAsCSV::CheckFirstCell() {
  if (!FirstCell) Put(AnsiString(1, Separator));
  FirstCell = false;
}

AnsiString TDBGridExExportAsCSV::CellText(const AnsiString& text) const {
  AnsiString out = "\"";
  for (char ch : text) {
    if (ch == '"') out += '"';
    out += ch;
  }
  out += '"';
  return out;
}

// ===========================================================================
// GRDDBIF (layout in GrdDbifFormat.h)

void TDBGridExExportAsGRDDBIF::WritePrefix() {
  AnsiString out(grddbif::kSignature, grddbif::kSignatureSize);
  out += static_cast<char>(grddbif::kVersion);
  PutInt32(out, static_cast<std::int32_t>(ExpCols().size()));
  for (TColumnEx* column : ExpCols()) {
    out += column->Visible() ? '\1' : '\0';
    out += '\0';  // the name, always empty
  }
  Put(out);
}

void TDBGridExExportAsGRDDBIF::WriteSuffix() { Put(AnsiString(1, grddbif::kTagEnd)); }

void TDBGridExExportAsGRDDBIF::WriteDataCell(TColumnEx* column, TColCellParamsEx*) {
  using namespace grddbif;
  TField* field = column->Field();
  if (field && field->Lookup()) field = field->DataSet()->FieldByName(field->KeyFields());
  AnsiString out;
  if (field == nullptr) {
    out += static_cast<char>(kTagNoValue);
    Put(out);
    return;
  }
  TTag tag = kTagNoValue;
  switch (field->DataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
      tag = kTagInteger;
      break;
    case ftFloat: case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime:
      tag = kTagDouble;
      break;
    case ftString: case ftBoolean: case ftMemo: case ftFixedChar: case ftLargeint:
    case ftOraClob: case ftGuid:
      tag = kTagText;
      break;
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftFmtMemo:
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftWideString: case ftOraBlob:
      tag = kTagBytes;
      break;
    default:
      tag = kTagNoValue;
      break;
  }
  if (tag != kTagNoValue && field->IsNull()) tag = kTagNull;
  out += static_cast<char>(tag);
  switch (tag) {
    case kTagInteger:
      PutInt32(out, field->AsInteger());
      break;
    case kTagDouble: {
      auto bits = std::bit_cast<std::uint64_t>(field->AsFloat());
      for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
      break;
    }
    case kTagText:
    case kTagBytes: {
      AnsiString value = field->AsString();
      PutInt32(out, static_cast<std::int32_t>(value.size()));
      out += value;
      break;
    }
    default:
      break;
  }
  Put(out);
}
