#include "sql/SqlQuery.h"

#include <cmath>
#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/BookmarkHandles.h"
#include "sql/FilterExpr.h"
#include "sql/SqlLexer.h"
#include "sql/SqlMessages.h"
#include "sql/SqlParser.h"

namespace {

// CAST target types as the grammar numbers them.
constexpr int kCastChar = 343;
constexpr int kCastInteger = 344;
constexpr int kCastBoolean = 345;
constexpr int kCastDate = 346;
constexpr int kCastTime = 347;
constexpr int kCastDateTime = 348;
constexpr int kCastFloat = 349;
constexpr int kCastMoney = 355;

bool IsStringType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

bool IsDateType(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }

// Bytes a persistent field of that type takes in the data area.
int NativeSize(TFieldType type, int size) {
  switch (type) {
    case ftString: case ftFixedChar: case ftWideString: return size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftBytes: case ftVarBytes: case ftAutoInc: case ftBlob: case ftMemo:
    case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
      return 4;
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftLargeint:
      return 8;
    case ftBCD: return 34;
    default: return 0;
  }
}

// Bytes a result column takes in the data area.
int ColumnSize(TsqField* column) {
  switch (column->DataType()) {
    case ttString: return column->DataSize() + 1;
    case ttFloat: return 8;
    case ttInteger:
      if (column->SourceField() != nullptr) {
        int n = column->SourceField()->DataSize();
        if (n == 1 || n == 2 || n == 4) return n;
      }
      return 4;
    case ttBoolean: return 2;
  }
  return 0;
}

// The date kind a column holds: a source field's, or a CAST's; ftUnknown
// for none.
TFieldType ColumnDateKind(TsqField* column) {
  if (column->CastType() == kCastDate) return ftDate;
  if (column->CastType() == kCastTime) return ftTime;
  if (column->CastType() == kCastDateTime) return ftDateTime;
  if (column->CastType() == 0 && column->SourceField() != nullptr &&
      IsDateType(column->SourceField()->DataType()))
    return column->SourceField()->DataType();
  return ftUnknown;
}

// A day number in the class library's native form of the kind.
void StoreDate(char* p, TFieldType kind, double value) {
  if (value == 0) return;  // an exact 0 is stored as 0
  TTimeStamp stamp = DateTimeToTimeStamp(TDateTime(value));
  switch (kind) {
    case ftDate: {
      std::int32_t days = stamp.Date;
      std::memcpy(p, &days, 4);
      break;
    }
    case ftTime: {
      std::int32_t ms = stamp.Time;
      std::memcpy(p, &ms, 4);
      break;
    }
    default: {
      double ms = TimeStampToMSecs(stamp);
      std::memcpy(p, &ms, 8);
      break;
    }
  }
}

// Escapes nothing: the query's own quoting of values is the parser's.
AnsiString JoinedSql(const TStrings* list) { return list->Text(); }

}  // namespace

// --- the blob stream of a result row -------------------------------------------------

// A result keeps no blob data: the stream reads the blob from the row's
// source record.
class TsqBlobStream : public TMemoryStream {
 public:
  TsqBlobStream(TCustomSqlQuery* query, TField* field) {
    TResultSet* rs = query->resultSet_.get();
    int column = query->ColumnOfField(field);
    if (query->RecNo() < 1 || rs == nullptr || column < 0 || query->ActiveBuffer() == nullptr) return;
    // The row of the record the fields show, not the cursor's.
    std::int32_t row;
    std::memcpy(&row, query->ActiveBuffer() + query->recInfoOffset_, 4);
    ReadResultBlob(*rs, row + 1, column, *this,
                   [query](TDataSet* source, bool& accept) {
                     if (query->OnBlobNeeded) query->OnBlobNeeded(query, source, accept);
                   });
  }
};

// --- the master link -------------------------------------------------------------------

TDataSet* TSqlQueryDataLink::GetDetailDataSet() { return query_; }

void TSqlQueryDataLink::ActiveChanged() {
  if (query_->Active()) query_->RefreshFromMaster();
}

void TSqlQueryDataLink::CheckBrowseMode() {
  if (query_->Active()) query_->CheckBrowseMode();
}

void TSqlQueryDataLink::RecordChanged(TField* field) {
  if (field == nullptr && query_->Active()) query_->RefreshFromMaster();
}

// --- the query ------------------------------------------------------------------------

PAYROLL_PUBLISH(TCustomSqlQuery) {}
PAYROLL_PUBLISH(TSqlQuery) {}

TCustomSqlQuery::TCustomSqlQuery(TComponent* owner)
    : TDataSet(owner),
      TSqlQueryHost(this),
      sql_(std::make_unique<TStringList>()),
      sqlScript_(std::make_unique<TStringList>()),
      params_(std::make_unique<TParams>(this)),
      dataLink_(std::make_unique<TSqlQueryDataLink>(this)),
      dateFormat_(SqlMessage(kSqlDefaultDateFormat)) {
  sql_->OnChange = [this](TObject*) { SQLChanged(); };
}

TCustomSqlQuery::~TCustomSqlQuery() {
  Destroying();
  Close();
  dataLink_->SetDataSource(nullptr);
  FreeOwnedDataSets();
}

void TCustomSqlQuery::SetSQL(TStrings* value) {
  if (value == nullptr) return;
  if (JoinedSql(sql_.get()) == JoinedSql(value)) return;
  Disconnect();
  sql_->Assign(value);  // OnChange rebuilds the parameters
}

void TCustomSqlQuery::SetSQLScript(TStrings* value) {
  if (value == nullptr || JoinedSql(sqlScript_.get()) == JoinedSql(value)) return;
  sqlScript_->Assign(value);
}

void TCustomSqlQuery::SetParams(TParams* value) {
  if (value != nullptr) params_->Assign(value);
}

void TCustomSqlQuery::SQLChanged() {
  if (ComponentState().Contains(csReading) || ComponentState().Contains(csLoading)) return;
  Disconnect();
  if (paramCheck_ || ComponentState().Contains(csDesigning)) RebuildParams();
}

void TCustomSqlQuery::RebuildParams() {
  if (JoinedSql(sql_.get()).Trim().empty()) {
    params_->Clear();
    return;
  }
  // A text being built line by line does not parse until it is whole: its
  // syntax errors are reported when it runs, and the parameters stay.
  TSqlAnalizer statement;
  if (!ParseStatement(statement, false)) return;
  // The grammar collected the parameters it met; values of the same
  // names are kept.
  TParams fresh(this);
  fresh.Assign(&statement.Params);
  fresh.AssignValues(*params_);
  params_->Assign(&fresh);
}

TDataSource* TCustomSqlQuery::DataSource() const { return dataLink_->DataSource(); }

void TCustomSqlQuery::SetDataSource(TDataSource* value) {
  if (value != nullptr && IsLinkedTo(value)) SqlQueryError(kSqlCircularDataLink);
  dataLink_->SetDataSource(value);
}

void TCustomSqlQuery::Disconnect() {
  Close();
  UnPrepare();
}

void TCustomSqlQuery::AddDataSet(TDataSet* dataSet, const AnsiString& alias) {
  DataSets().AddDataSet(dataSet, alias);
}

void TCustomSqlQuery::SetPrebuiltResult(std::unique_ptr<TResultSet> result) {
  resultSet_ = std::move(result);
  resultPrebuilt_ = resultSet_ != nullptr;
}

void TCustomSqlQuery::Notification(TComponent* component, TOperation operation) {
  TDataSet::Notification(component, operation);
  if (operation != opRemove) return;
  for (int i = DataSets().Count() - 1; i >= 0; --i)
    if (DataSets().Items(i)->DataSet() == component) DataSets().Delete(i);
}

void TCustomSqlQuery::FreeOwnedDataSets() {
  // A freed dataset may own further entries: repeat until none is left.
  bool again = true;
  while (again) {
    again = false;
    for (int i = DataSets().Count() - 1; i >= 0; --i) {
      TxDataSetItem* item = DataSets().Items(i);
      if (!item->Owned) continue;
      TDataSet* ds = item->DataSet();
      DataSets().Delete(i);
      for (auto it = resultDataSets_.begin(); it != resultDataSets_.end(); ++it)
        if (it->get() == ds) {
          resultDataSets_.erase(it);
          ds = nullptr;
          break;
        }
      delete ds;
      again = true;
      break;
    }
  }
  resultDataSets_.clear();
}

TDataSet* TCustomSqlQuery::CreateResultDataSet(std::unique_ptr<TResultSet> result,
                                               const AnsiString& name) {
  auto query = std::make_unique<TSqlQuery>(nullptr);
  query->SetName(name);
  query->SetPrebuiltResult(std::move(result));
  query->Open();
  resultDataSets_.push_back(std::move(query));
  return resultDataSets_.back().get();
}

// --- parsing and running --------------------------------------------------------------

namespace {

// What the parser asks of the query: its parameters.
class TQueryParseContext : public TSqlQueryContext {
 public:
  TQueryParseContext(TParams* params, TParamsAsFields* asFields) {
    Params = params;
    ParamsAsFields = asFields;
  }
};

}  // namespace

bool TCustomSqlQuery::ParseStatement(TSqlAnalizer& statement, bool report) {
  TQueryParseContext context(params_.get(), &paramsAsFields_);
  TStringStream input(JoinedSql(sql_.get()));
  TsqLexer lexer(&input);
  lexer.DateFormat = dateFormat_;
  TsqParser parser(&statement, &context);
  parser.yylexer = &lexer;
  if (parser.yyparse() == 0) return true;
  if (!report) return false;
  if (OnSyntaxError) {
    const int length = static_cast<int>(lexer.yytext.size());
    OnSyntaxError(this, parser.yyerrormsg, lexer.yytext, lexer.yylineno,
                  lexer.yycolno - length - 1, length);
    Abort();
  }
  throw ESqlQueryError(SqlErrorText(parser, lexer));
}

void TCustomSqlQuery::RefreshParamsFromMaster() {
  TDataSource* source = dataLink_->DataSource();
  if (source == nullptr || source->DataSet() == nullptr) return;
  TDataSet* master = source->DataSet();
  for (int i = 0; i < params_->Count(); ++i) {
    TParam* p = params_->Items(i);
    if (p->Bound()) continue;
    TField* f = master->FindField(p->Name());
    if (f == nullptr) continue;
    p->AssignField(f);
    p->SetBound(false);  // the next record of the master gives the next value
  }
}

void TCustomSqlQuery::RefreshFromMaster() {
  TControlsDisabler disabler(this);
  TDataSource* source = dataLink_->DataSource();
  if (source == nullptr || source->DataSet() == nullptr || !source->DataSet()->Active()) return;
  TDataSetState st = source->DataSet()->State();
  if (st == dsInsert || st == dsSetKey) return;
  Close();
  Open();
}

void TCustomSqlQuery::RunStatement() {
  FreeOwnedDataSets();
  RowsAffected = 0;
  if (resultPrebuilt_ && resultSet_) return;
  if (JoinedSql(sql_.get()).Trim().empty()) SqlQueryError(kSqlEmptyStatement);
  resultSet_.reset();
  // The parser writes parameter values into the statement: the master's
  // values go in first.
  if (dataLink_->DataSource() != nullptr) RefreshParamsFromMaster();
  TSqlAnalizer statement;
  ParseStatement(statement);
  statement.SetSqlQuery(this);
  if (statement.StatementKind == skMerge && statement.MergeAnalizer) {
    statement.StatementKind = skSelect;
    statement.MergeAnalizer->StatementKind = skSelect;
    statement.MergeAnalizer->SetSqlQuery(this);
    statement.ExecuteOpen();
    statement.MergeAnalizer->ExecuteOpen();
    statement.MergeResults();
  } else {
    statement.ExecuteOpen();
  }
  resultSet_ = statement.TakeResultSet();
  if (!resultSet_) SqlQueryError(kSqlNoQuery);
}

void TCustomSqlQuery::InternalOpen() {
  RunStatement();

  // The data area: each column after the previous one.
  TsqFields& cols = resultSet_->Fields();
  columns_.assign(static_cast<size_t>(cols.Count()), Column{});
  int offset = 0;
  for (int i = 0; i < cols.Count(); ++i) {
    columns_[static_cast<size_t>(i)].offset = offset;
    columns_[static_cast<size_t>(i)].size = ColumnSize(cols.Items(i));
    offset += columns_[static_cast<size_t>(i)].size;
  }

  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  for (int i = 0; i < cols.Count() && DefaultFields(); ++i) {
    TsqField* c = cols.Items(i);
    if (c->SourceField() != nullptr && c->UseDisplayLabel() && i < Fields()->Count())
      Fields()->Fields(i)->SetDisplayLabel(c->SourceField()->DisplayLabel());
  }
  BindFields(true);

  recordCount_ = resultSet_->GetRecordCount();
  currentRow_ = -1;
  // Record buffer: the data area, the record information (row number and
  // bookmark flag, 5 bytes), one null flag per data field, the calculated
  // fields.
  recInfoOffset_ = dataSize_;
  nullOffset_ = dataSize_ + 5;
  nullCount_ = fieldColumns_.empty() ? cols.Count() : static_cast<int>(fieldColumns_.size());
  calcOffset_ = nullOffset_ + nullCount_;
  bufferSize_ = calcOffset_ + CalcFieldsSize();
  SetBookmarkSize(4);
  filterBuffer_ = AllocRecordBuffer();
  filterRow_ = -1;
  filterExpr_.reset();
  if (Filtered() && !Filter().empty()) BuildFilter();
  isOpen_ = true;
}

void TCustomSqlQuery::InternalInitFieldDefs() {
  dataSize_ = 0;
  FieldDefs()->Clear();
  fieldColumns_.clear();
  fieldOffsets_.clear();
  if (!resultSet_) return;
  TsqFields& cols = resultSet_->Fields();
  if (!DefaultFields() && Fields()->Count() > 0) {
    for (int i = 0; i < Fields()->Count(); ++i) {
      TField* f = Fields()->Fields(i);
      if (f->FieldKind() != fkData) continue;
      TFieldDef* def = FieldDefs()->Add(f->FieldName(), f->DataType(), f->Size(), f->Required());
      int column = -1;
      for (int c = 0; c < cols.Count() && column < 0; ++c) {
        const AnsiString& name = cols.Items(c)->FieldName();
        AnsiString tail = name.Pos(".") > 0 ? name.SubString(name.Pos(".") + 1, name.size()) : name;
        if (SameText(tail, f->FieldName()) || SameText(cols.Items(c)->Alias(), f->FieldName()))
          column = c;
      }
      if (column < 0 && static_cast<int>(fieldColumns_.size()) < cols.Count())
        column = static_cast<int>(fieldColumns_.size());
      if (f->DataType() == ftBCD && column >= 0 && cols.Items(column)->SourceField() != nullptr) {
        def->SetSize(cols.Items(column)->SourceField()->Size());
      }
      fieldColumns_.push_back(column);
      fieldOffsets_.push_back(dataSize_);
      dataSize_ += NativeSize(f->DataType(), f->Size());
    }
    return;
  }
  for (int i = 0; i < cols.Count(); ++i) {
    TsqField* c = cols.Items(i);
    // The column's caption (its alias, or the name the executor gave it).
    AnsiString caption = c->FieldName();
    if (caption.empty()) caption = "NULL";
    if (OnQueryFieldName) OnQueryFieldName(this, i, caption);
    auto afterDot = [](const AnsiString& s) {
      int p = s.Pos(".");
      return p > 0 ? s.SubString(p + 1, s.size()) : s;
    };
    AnsiString name = afterDot(caption);
    for (int n = 1; FieldDefs()->IndexOf(name) >= 0; ++n)
      name = afterDot(caption + "_" + IntToStr(n));

    TFieldType type = ftString;
    int size = 0;
    switch (c->DataType()) {
      case ttString: type = ftString; size = c->DataSize(); break;
      case ttFloat: type = ftFloat; break;
      case ttInteger: type = ftInteger; break;
      case ttBoolean: type = ftBoolean; break;
    }
    TField* src = c->SourceField();
    if (c->CastType() != 0) {
      switch (c->CastType()) {
        case kCastChar: type = ftString; size = c->CastLength(); break;
        case kCastInteger: type = ftInteger; size = 0; break;
        case kCastBoolean: type = ftBoolean; size = 0; break;
        case kCastDate: type = ftDate; size = 0; break;
        case kCastTime: type = ftTime; size = 0; break;
        case kCastDateTime: type = ftDateTime; size = 0; break;
        case kCastFloat: type = ftFloat; size = 0; break;
        case kCastMoney: type = ftCurrency; size = 0; break;
        default: break;
      }
    } else if (src != nullptr) {
      TFieldType st = src->DataType();
      auto* floatSource = dynamic_cast<TFloatField*>(src);
      if ((st == ftFloat && floatSource != nullptr && floatSource->Currency()) ||
          st == ftBCD) {
        type = ftCurrency;
        size = 0;
      } else if (IsStringType(st)) {
        type = ftString;
        size = std::max(1, src->Size());
      } else if (st == ftAutoInc) {
        type = ftAutoInc;
        size = 0;
      } else if (st != ftUnknown && !IsBlobType(st)) {
        type = st;
        size = 0;
      } else if (IsBlobType(st)) {
        type = st;
        size = 0;
      }
    }
    // A string column must hold the field's whole text.
    if (type == ftString && size > c->DataSize()) size = c->DataSize();
    if (type == ftString && size < 1) size = 1;
    FieldDefs()->Add(name, type, size, false);
    dataSize_ += columns_.empty() ? 0 : columns_[static_cast<size_t>(i)].size;
  }
}

void TCustomSqlQuery::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  resultSet_.reset();
  resultPrebuilt_ = false;
  filterExpr_.reset();
  if (filterBuffer_ != nullptr) FreeRecordBuffer(filterBuffer_);
  QueryClosing();
  FreeOwnedDataSets();
  isOpen_ = false;
}

void TCustomSqlQuery::ExecSQL() {
  FreeOwnedDataSets();
  if (JoinedSql(sql_.get()).Trim().empty()) SqlQueryError(kSqlEmptyStatement);
  if (Active()) Close();
  resultSet_.reset();
  RowsAffected = 0;
  if (dataLink_->DataSource() != nullptr) RefreshParamsFromMaster();
  TSqlAnalizer statement;
  ParseStatement(statement);
  statement.SetSqlQuery(this);
  statement.ExecuteCommand();
}

void TCustomSqlQuery::InternalRefresh() {
  // The statement runs again; its fields stay (the text is the same, so are
  // the columns) and the dataset keeps its row number.
  if (resultPrebuilt_) return;
  RunStatement();
  recordCount_ = resultSet_->GetRecordCount();
  if (currentRow_ > recordCount_) currentRow_ = recordCount_;
}

// --- buffers and records ---------------------------------------------------------------

TRecordBuffer TCustomSqlQuery::AllocRecordBuffer() {
  auto* b = new char[static_cast<size_t>(bufferSize_)];
  std::memset(b, 0, static_cast<size_t>(bufferSize_));
  return b;
}

void TCustomSqlQuery::FreeRecordBuffer(TRecordBuffer& buffer) {
  delete[] buffer;
  buffer = nullptr;
}

void TCustomSqlQuery::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<size_t>(bufferSize_));
}

void TCustomSqlQuery::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + calcOffset_, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TCustomSqlQuery::GetBookmarkData(TRecordBuffer buffer, void* data) {
  std::memcpy(data, buffer + recInfoOffset_, 4);
}

void TCustomSqlQuery::SetBookmarkData(TRecordBuffer buffer, const void* data) {
  std::memcpy(buffer + recInfoOffset_, data, 4);
}

TBookmarkFlag TCustomSqlQuery::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(buffer[recInfoOffset_ + 4]);
}

void TCustomSqlQuery::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) {
  buffer[recInfoOffset_ + 4] = static_cast<char>(value);
}

void TCustomSqlQuery::FillBuffer(TRecordBuffer buffer, int row) {
  std::memset(buffer, 0, static_cast<size_t>(dataSize_));
  std::memset(buffer + nullOffset_, 0, static_cast<size_t>(nullCount_));
  resultSet_->SetRecNo(row + 1);
  TsqFields& cols = resultSet_->Fields();
  auto fill = [&](TsqField* c, char* p, int size, TFieldType fieldType) {
    TFieldType dateKind = IsDateType(fieldType) ? fieldType : ColumnDateKind(c);
    switch (c->DataType()) {
      case ttString: {
        AnsiString s = c->GetAsString();
        size_t n = std::min(s.size(), static_cast<size_t>(std::max(0, size - 1)));
        std::memcpy(p, s.data(), n);
        break;
      }
      case ttFloat: {
        double d = c->GetAsFloat();
        if (dateKind != ftUnknown) {
          StoreDate(p, dateKind, d);
        } else if (size >= 8) {
          std::memcpy(p, &d, 8);
        } else {
          std::int32_t v = FieldRoundToInt32(d);
          std::memcpy(p, &v, static_cast<size_t>(std::min(size, 4)));
        }
        break;
      }
      case ttInteger: {
        std::int32_t v = c->GetAsInteger();
        if (size == 8) {
          double d = v;
          std::memcpy(p, &d, 8);
        } else if (size == 2) {
          auto w = static_cast<std::int16_t>(v);
          std::memcpy(p, &w, 2);
        } else if (size == 1) {
          p[0] = static_cast<char>(v);
        } else {
          std::memcpy(p, &v, 4);
        }
        break;
      }
      case ttBoolean: {
        std::int16_t w = c->GetAsBoolean() ? -1 : 0;
        std::memcpy(p, &w, 2);
        break;
      }
    }
  };
  if (!fieldColumns_.empty()) {
    int off = 0;
    int k = 0;
    for (int i = 0; i < Fields()->Count(); ++i) {
      TField* f = Fields()->Fields(i);
      if (f->FieldKind() != fkData) continue;
      int size = NativeSize(f->DataType(), f->Size());
      const int flag = k;
      int column = fieldColumns_[static_cast<size_t>(k++)];
      if (column >= 0 && column < cols.Count() && size > 0 && !f->IsBlob()) {
        TsqField* c = cols.Items(column);
        buffer[nullOffset_ + flag] = c->IsNull() ? 1 : 0;
        if (f->DataType() == ftBCD) {
          double d = c->DataType() == ttInteger ? c->GetAsInteger() : c->GetAsFloat();
          std::memcpy(buffer + off, &d, 8);
        } else {
          fill(c, buffer + off, size, f->DataType());
        }
      }
      off += size;
    }
  } else {
    for (int i = 0; i < cols.Count(); ++i) {
      const Column& col = columns_[static_cast<size_t>(i)];
      TFieldType ft = i < FieldDefs()->Count() ? FieldDefs()->Items(i)->DataType() : ftUnknown;
      buffer[nullOffset_ + i] = cols.Items(i)->IsNull() ? 1 : 0;
      fill(cols.Items(i), buffer + col.offset, col.size, ft);
    }
  }
  std::int32_t rec = row;
  std::memcpy(buffer + recInfoOffset_, &rec, 4);
  SetBookmarkFlag(buffer, bfCurrent);
}

bool TCustomSqlQuery::RowPasses(int row) {
  if (!Filtered()) return true;
  FillBuffer(filterBuffer_, row);
  ClearCalcFields(filterBuffer_);
  filterRow_ = row;
  TTempStateGuard guard(this, dsFilter);
  bool accept = true;
  if (OnFilterRecord()) OnFilterRecord()(this, accept);
  if (accept && filterExpr_ && filterExpr_->Expression() != nullptr)
    accept = filterExpr_->Expression()->AsBoolean();
  return accept;
}

TGetResult TCustomSqlQuery::GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) {
  for (;;) {
    TGetResult result = grOK;
    switch (getMode) {
      case gmCurrent:
        if (currentRow_ >= recordCount_) result = grEOF;
        else if (currentRow_ < 0) result = grBOF;
        break;
      case gmNext:
        if (currentRow_ < recordCount_ - 1) ++currentRow_;
        else result = grEOF;
        break;
      case gmPrior:
        if (currentRow_ >= 1) --currentRow_;
        else result = grBOF;
        break;
    }
    if (result != grOK) return result;
    bool passes = RowPasses(currentRow_);
    FillBuffer(buffer, currentRow_);
    ClearCalcFields(buffer);
    GetCalcFields(buffer);
    if (passes) return grOK;
    if (getMode == gmCurrent) {
      if (doCheck) SqlQueryError(kSqlInvalidRecord);
      return grError;
    }
  }
}

TRecordBuffer TCustomSqlQuery::BufferForState() const {
  switch (State()) {
    case dsBrowse: case dsBlockRead: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit: case dsInsert: return ActiveBuffer();
    case dsCalcFields: return CalcBuffer();
    case dsFilter: return filterBuffer_;
    default: return nullptr;
  }
}

int TCustomSqlQuery::ColumnOfField(TField* field) const {
  if (field == nullptr || field->FieldNo() < 1) return -1;
  int index = field->FieldNo() - 1;
  if (!fieldColumns_.empty()) {
    if (index >= static_cast<int>(fieldColumns_.size())) return -1;
    return fieldColumns_[static_cast<size_t>(index)];
  }
  return index < static_cast<int>(columns_.size()) ? index : -1;
}

bool TCustomSqlQuery::IsDateColumn(int column) const {
  if (!resultSet_ || column < 0 || column >= resultSet_->Fields().Count()) return false;
  TField* src = resultSet_->Fields().Items(column)->SourceField();
  return src != nullptr && IsDateType(src->DataType());
}

bool TCustomSqlQuery::GetFieldData(TField* field, void* buffer) {
  TRecordBuffer rec = BufferForState();
  if (rec == nullptr) return false;
  if (field->FieldNo() < 1) {  // calculated or lookup: flag byte, then the value
    const char* p = rec + calcOffset_ + field->Offset();
    if (p[0] == 0) return false;
    if (buffer != nullptr) std::memcpy(buffer, p + 1, static_cast<size_t>(field->DataSize()));
    return true;
  }
  if (field->IsBlob()) return true;
  int offset = 0;
  int size = field->DataSize();
  int flag = 0;
  if (!fieldColumns_.empty()) {
    const size_t index = static_cast<size_t>(field->FieldNo() - 1);
    if (index >= fieldOffsets_.size()) return false;
    offset = fieldOffsets_[index];
    size = NativeSize(field->DataType(), field->Size());
    flag = static_cast<int>(index);
  } else {
    int column = ColumnOfField(field);
    if (column < 0) return false;
    offset = columns_[static_cast<size_t>(column)].offset;
    size = std::min(size, columns_[static_cast<size_t>(column)].size);
    flag = column;
  }
  // A null value (an outer join's missing side, an empty cell, a null
  // field read as it is) reads as null.
  if (flag < nullCount_ && rec[nullOffset_ + flag] != 0) return false;
  const char* p = rec + offset;
  // A date from a source date field that is wholly zero is null.
  if (IsDateType(field->DataType()) && IsDateColumn(ColumnOfField(field))) {
    bool zero = true;
    for (int i = 0; i < size && zero; ++i) zero = p[i] == 0;
    if (zero) return false;
  }
  if (buffer == nullptr) return true;
  if (field->DataType() == ftBCD) {
    double d;
    std::memcpy(&d, p, 8);
    std::int64_t scaled = std::llround(d * 10000.0);
    std::memcpy(buffer, &scaled, 8);
    return true;
  }
  std::memset(buffer, 0, static_cast<size_t>(field->DataSize()));
  std::memcpy(buffer, p, static_cast<size_t>(std::min(size, field->DataSize())));
  return true;
}

void TCustomSqlQuery::SetFieldData(TField* field, const void* buffer) {
  if (!Active()) return;
  TDataSetState st = State();
  TRecordBuffer rec = BufferForState();
  if (rec == nullptr) return;
  if (field->FieldNo() < 1) {
    char* p = rec + calcOffset_ + field->Offset();
    std::memset(p + 1, 0, static_cast<size_t>(field->DataSize()));
    p[0] = buffer != nullptr ? 1 : 0;
    if (buffer != nullptr) std::memcpy(p + 1, buffer, static_cast<size_t>(field->DataSize()));
    if (st != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
    return;
  }
  // The result is read-only: data fields are never written.
  DatabaseErrorFmt(dbconsts::SFieldReadOnly, {field->DisplayName()}, this);
}

void TCustomSqlQuery::InternalEdit() { InternalSetToRecord(ActiveBuffer()); }

void TCustomSqlQuery::InternalDelete() { DatabaseError(dbconsts::SDataSetReadOnly, this); }

// --- positions --------------------------------------------------------------------------

void TCustomSqlQuery::InternalGotoBookmark(void* bookmark) {
  std::int32_t row;
  std::memcpy(&row, bookmark, 4);
  if (row < 0 || row >= recordCount_) SqlQueryError(kSqlBookmarkNotFound, {row});
  currentRow_ = row;
}

void TCustomSqlQuery::InternalSetToRecord(TRecordBuffer buffer) {
  std::int32_t row;
  std::memcpy(&row, buffer + recInfoOffset_, 4);
  currentRow_ = row;
}

bool TCustomSqlQuery::BookmarkValid(TBookmark bookmark) {
  if (bookmark == nullptr) return false;
  std::int32_t row;
  std::memcpy(&row, bookmark, 4);
  return row >= 0 && row <= recordCount_ - 1;
}

int TCustomSqlQuery::CompareBookmarks(TBookmark a, TBookmark b) {
  std::int32_t ra = 0, rb = 0;
  if (a != nullptr) std::memcpy(&ra, a, 4);
  if (b != nullptr) std::memcpy(&rb, b, 4);
  if (ra == rb) return 0;
  return rb < ra ? 1 : -1;
}

int TCustomSqlQuery::GetRecordCount() {
  CheckActive();
  if (!Filtered()) return recordCount_;
  int count = 0;
  for (int row = 0; row < recordCount_; ++row)
    if (RowPasses(row)) ++count;
  return count;
}

int TCustomSqlQuery::GetRecNo() {
  CheckActive();
  int row = currentRow_;
  if (!IsEmpty() && ActiveBuffer() != nullptr) {
    std::int32_t r;
    std::memcpy(&r, ActiveBuffer() + recInfoOffset_, 4);
    row = r;
  }
  if (!Filtered()) return row + 1;
  int n = 0;
  for (int i = 0; i <= row && i < recordCount_; ++i)
    if (RowPasses(i)) ++n;
  return n;
}

void TCustomSqlQuery::SetRecNo(int value) {
  CheckBrowseMode();
  if (!Filtered()) {
    if (value < 1 || value > recordCount_) return;
    DoBeforeScroll();
    currentRow_ = value - 1;
    Resync(TResyncMode{});
    DoAfterScroll();
    return;
  }
  int n = 0;
  for (int row = 0; row < recordCount_; ++row) {
    if (RowPasses(row) && ++n == value) {
      DoBeforeScroll();
      currentRow_ = row;
      Resync(TResyncMode{});
      DoAfterScroll();
      return;
    }
  }
}

void TCustomSqlQuery::SetBlockReadSize(int value) {
  if (value <= 0) {
    TDataSet::SetBlockReadSize(0);
    CursorPosChanged();
    Resync(TResyncMode{});
    return;
  }
  TDataSet::SetBlockReadSize(value);
}

// --- filtering ---------------------------------------------------------------------------

void TCustomSqlQuery::BuildFilter() {
  auto expr = std::make_unique<TFilterExpr>(this);
  expr->ParseExpression(Filter());
  filterExpr_ = std::move(expr);
}

void TCustomSqlQuery::SetFilterText(const AnsiString& value) {
  if (Active() && Filtered()) {
    CheckBrowseMode();
    filterExpr_.reset();
    TDataSet::SetFilterText(value);
    if (!value.empty()) BuildFilter();
    First();
    return;
  }
  TDataSet::SetFilterText(value);
}

void TCustomSqlQuery::SetFiltered(bool value) {
  if (Active()) {
    CheckBrowseMode();
    if (Filtered() == value) return;
    filterExpr_.reset();
    TDataSet::SetFiltered(value);
    if (value && !Filter().empty()) BuildFilter();
    First();
    return;
  }
  TDataSet::SetFiltered(value);
}

// --- searching ---------------------------------------------------------------------------

bool TCustomSqlQuery::RowMatches(int row, const std::vector<TField*>& fields,
                                 const std::vector<Variant>& keys, TLocateOptions options) {
  resultSet_->SetRecNo(row + 1);
  for (size_t k = 0; k < fields.size(); ++k) {
    int column = ColumnOfField(fields[k]);
    if (column < 0) return false;
    TsqField* c = resultSet_->Fields().Items(column);
    const Variant& key = keys[k];
    if (key.IsNull() || key.IsEmpty()) {
      if (!c->IsNull()) return false;
      continue;
    }
    switch (c->DataType()) {
      case ttString: {
        AnsiString value = c->GetAsString();
        AnsiString wanted = key.AsString();
        if (options.Contains(loPartialKey) && value.size() > wanted.size())
          value = value.substr(0, wanted.size());
        int cmp = options.Contains(loCaseInsensitive) ? AnsiCompareText(value, wanted)
                                                      : AnsiCompareStr(value, wanted);
        if (cmp != 0) return false;
        break;
      }
      case ttFloat:
        if (c->GetAsFloat() != key.AsDouble()) return false;
        break;
      case ttInteger:
        if (c->GetAsInteger() != key.AsInteger()) return false;
        break;
      case ttBoolean:
        if (c->GetAsBoolean() != key.AsBoolean()) return false;
        break;
    }
  }
  return true;
}

namespace {

std::vector<Variant> KeyList(const Variant& values, size_t count) {
  std::vector<Variant> keys;
  if (count == 1) {
    keys.push_back(values.IsArray() && values.ArrayHighBound() == values.ArrayLowBound()
                       ? values[values.ArrayLowBound()]
                       : values);
  } else {
    for (size_t i = 0; i < count; ++i) {
      int index = values.IsArray() ? values.ArrayLowBound() + static_cast<int>(i) : 0;
      keys.push_back(values.IsArray() && index <= values.ArrayHighBound() ? values[index]
                                                                          : Variant());
    }
  }
  return keys;
}

}  // namespace

bool TCustomSqlQuery::Locate(const AnsiString& keyFields, const Variant& keyValues,
                             TLocateOptions options) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, keyFields);
  std::vector<Variant> keys = KeyList(keyValues, fields.size());
  for (int row = 0; row < recordCount_; ++row) {
    if (!RowMatches(row, fields, keys, options)) continue;
    // The dataset can stand only on a row its filter shows.
    if (Filtered() && !RowPasses(row)) continue;
    DoBeforeScroll();
    currentRow_ = row;
    Resync(TResyncMode{rmExact, rmCenter});
    DoAfterScroll();
    return true;
  }
  return false;
}

Variant TCustomSqlQuery::Lookup(const AnsiString& keyFields, const Variant& keyValues,
                                const AnsiString& resultFields) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, keyFields);
  std::vector<Variant> keys = KeyList(keyValues, fields.size());
  for (int row = 0; row < recordCount_; ++row) {
    if (!RowMatches(row, fields, keys, TLocateOptions{})) continue;
    // The found row is read in the filter buffer: the cursor stays.
    FillBuffer(filterBuffer_, row);
    ClearCalcFields(filterBuffer_);
    TTempStateGuard guard(this, dsFilter);
    return FieldValues(resultFields);
  }
  return Variant::Null();
}

TStream* TCustomSqlQuery::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (mode != bmRead) DatabaseErrorFmt(dbconsts::SFieldReadOnly, {field->DisplayName()}, this);
  return new TsqBlobStream(this, field);
}
