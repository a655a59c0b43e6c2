#include "sql/UdbQuery.h"

#include <algorithm>
#include <cctype>

#include "Udb/DBLogger.h"
#include "Udb/RestructureDefs.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbTable.h"
#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/Streams.h"
#include "platform/data/DBErrors.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/SqlLexer.h"
#include "sql/SqlMessages.h"
#include "sql/SqlParser.h"

namespace {

constexpr int kMaxResultNames = 1000;

// Records the main table of a SELECT fetches per read-ahead fill.  The scan
// walks it from first to last, so it pays the table lock, the header read
// and the index search once per fill instead of once per ten records (a
// fill stops at the end of the index leaf anyway).  The other tables keep
// the engine's default: a join reads them a few records at a time.
constexpr int kScanReadAhead = 256;

// "[name]" loses its brackets; quotes stay.
AnsiString CleanTableName(const AnsiString& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    return name.substr(1, name.size() - 2);
  return name;
}

bool Contains(const TStrings& list, const AnsiString& name) { return list.IndexOf(name) >= 0; }

// Field names as an index definition lists them: "A;B".
AnsiString JoinFieldNames(const std::vector<AnsiString>& names) {
  AnsiString joined;
  for (const AnsiString& n : names) joined += (joined.empty() ? "" : ";") + n;
  return joined;
}

// Every statement a text holds: the main one, its subqueries at any depth
// and the second half of a MERGE.
void CollectStatements(TSqlAnalizer* statement, std::vector<TSqlAnalizer*>& out) {
  out.push_back(statement);
  for (auto& sub : statement->SubQueryList) CollectStatements(sub.get(), out);
  if (statement->MergeAnalizer) CollectStatements(statement->MergeAnalizer.get(), out);
}

// A table walked in its current index, unfiltered and outside a master's
// range, keeps its rows in place when no changed field is a key field of
// that index.  Anything else (another kind of dataset, no index) is not
// known to.
bool ChangeKeepsOrder(TDataSet* ds, const std::vector<TField*>& changed) {
  auto* table = dynamic_cast<TUdbTable*>(ds);
  if (table == nullptr || table->Filtered() || table->MasterSource() != nullptr) return false;
  if (table->IndexDefs()->Count() == 0 || table->IndexDefs()->IndexOf(table->TUdbDataSet::IndexName()) < 0)
    return false;
  for (int i = 0;; ++i) {
    TField* key = table->GetIndexField(i);
    if (key == nullptr) return true;
    if (std::find(changed.begin(), changed.end(), key) != changed.end()) return false;
  }
}

}  // namespace

// The inner query: a self-join reads each FROM item through a cursor of its
// own, which the engine query opens on the same table.
class TUdbInnerQuery : public TSqlQuery {
 public:
  explicit TUdbInnerQuery(TUdbQuery* owner) : TSqlQuery(nullptr), owner_(owner) {}
  TDataSet* CreateCursorCopy(TDataSet* source) override { return owner_->OpenCursorCopy(source); }

 private:
  TUdbQuery* owner_;
};

PAYROLL_PUBLISH(TUdbQuery) {}

TUdbQuery::TUdbQuery(TComponent* owner)
    : TUdbBaseTable(owner),
      inner_(std::make_unique<TUdbInnerQuery>(this)),
      sql_(std::make_unique<TStringList>()) {
  inner_->SetDateFormat(DefaultFormatSettings().ShortDateFormat);
  inner_->ShowWaitCursor = false;
  inner_->OnResolveDataset = [this](TObject*, const AnsiString& fileName, AnsiString&,
                                    TDataSet*& dataSet) { DoResolveDataset(fileName, dataSet); };
  inner_->OnSetFilter = [this](TObject*, TDataSet* ds, const AnsiString& filter, bool,
                               bool& handled) { DoSetFilter(ds, filter, handled); };
  inner_->OnCancelFilter = [](TObject*, TDataSet* ds, bool) {
    ds->SetFiltered(false);
    ds->SetFilter(AnsiString());
  };
  inner_->OnChangeKeepsOrder = [](TObject*, TDataSet* ds, const std::vector<TField*>& changed) {
    return ChangeKeepsOrder(ds, changed);
  };
  // Aggregates over a table walk it in the order its records are stored,
  // which reads each page once (the result does not show the order).
  inner_->OnScanInAnyOrder = [](TObject*, TDataSet* ds, bool anyOrder) {
    if (auto* table = dynamic_cast<TUdbDataSet*>(ds)) table->SetStorageOrder(anyOrder);
  };
  // An UPDATE that cannot show its order walks its table in storage order
  // too, each page changed once - only inside the statement's own
  // transaction, so a failure half-way undoes every row and never shows
  // which rows came first.
  inner_->OnChangeInAnyOrder = [this](TObject*, TDataSet* ds, bool anyOrder) {
    auto* table = dynamic_cast<TUdbDataSet*>(ds);
    if (table == nullptr || (anyOrder && !(transactional_ && !hadTransaction_))) return false;
    table->SetStorageOrder(anyOrder);
    return true;
  };
  inner_->OnCreateTable = [this](TObject*, TCreateTableItem* item) { ExecSQLCreateTable(item); };
  inner_->OnCreateIndex = [this](TObject*, bool unique, bool descending, const AnsiString& table,
                                 const AnsiString& index, const std::vector<AnsiString>& columns) {
    ExecSQLAddIndex(table, index, columns, unique, descending);
  };
  inner_->OnDropTable = [this](TObject*, const AnsiString& table) { ExecSQLDropTable(table); };
  inner_->OnDropIndex = [this](TObject*, const AnsiString& table, const AnsiString& index) {
    ExecSQLDropIndex(table, index);
  };
  sql_->OnChange = [this](TObject*) { SQLChanged(); };
}

TUdbQuery::~TUdbQuery() {
  Destroying();
  Close();
  FreeTables();
  inner_.reset();
}

TUdbDataBase* TUdbQuery::Db(const char* location) const {
  auto* db = dynamic_cast<TUdbDataBase*>(DataBase());
  if (db == nullptr) UdbDatabaseError(udberr::kNoConnection, location, AnsiString(), this);
  return db;
}

void TUdbQuery::SetSQL(TStrings* value) {
  if (value == nullptr || sql_->Text() == value->Text()) return;
  sql_->BeginUpdate();
  sql_->Assign(value);
  inner_->SQL()->Assign(value);
  sql_->EndUpdate();
}

void TUdbQuery::SQLChanged() {
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csReading)) {
    inner_->SQL()->Assign(sql_.get());
    return;
  }
  if (Active()) Close();
  if (prepared_) FreeTables();
  // The inner query follows the text exactly: a change of letter case is a
  // change of the statement.
  if (inner_->SQL()->Text() != sql_->Text()) {
    try {
      inner_->SQL()->Assign(sql_.get());
    } catch (const Exception&) {
      // A text that does not parse yet is reported when it runs.
    }
  }
  DataEvent(dePropertyChange, 0);
}

void TUdbQuery::Prepare() {
  inner_->Prepare();
  InternalPrepare();
}

void TUdbQuery::InternalPrepare() {
  static const char* const kLocation = "TUdbQuery.InternalPrepare";
  TUdbDataBase* db = Db(kLocation);
  if (sql_->Text().Trim().empty()) SqlQueryError(kSqlEmptyStatement);

  TSqlAnalizer statement;
  TSqlQueryContext context;
  context.Params = inner_->Params();
  context.ParamsAsFields = &inner_->ParamsAsFields();
  ParseSql(sql_->Text(), statement, &context, inner_->DateFormat());
  statementKind_ = statement.StatementKind;

  TStringList known;
  db->GetTableNames(&known, false);
  for (int i = 0; i < known.Count(); ++i) known.SetStrings(i, AnsiUpperCase(known[i]));

  // Every name is checked before any table is opened.  The engine's own
  // tables ("$" names) are never listed; on a secured database whoever is
  // not an administrator is told they are not theirs (10624) rather than
  // that they do not exist.
  TStringList toOpen;
  auto check = [&](const AnsiString& written, const AnsiString& name) {
    if (!name.empty() && name[0] == '$') db->QueryPrivilege(name, static_cast<int>(udbcur::kPrivOpen));
    if (!Contains(known, name)) UdbDatabaseError(udberr::kNoSuchTable, kLocation, written, this);
  };
  std::vector<TSqlAnalizer*> statements;
  CollectStatements(&statement, statements);
  for (TSqlAnalizer* s : statements) {
    if (s->StatementKind > skMerge) continue;
    if (s->StatementKind == skInsert) {
      for (int i = 0; i < s->InsertList.Count(); ++i) {
        const AnsiString& written = s->InsertList[i]->TableName;
        AnsiString name = AnsiUpperCase(CleanTableName(written));
        check(written, name);
        if (!Contains(toOpen, name)) toOpen.Add(name);
      }
      continue;
    }
    for (int i = 0; i < s->TableList.Count(); ++i) {
      const AnsiString& written = s->TableList[i]->TableName;
      if (written.empty()) continue;  // a derived table (FROM (SELECT ...))
      AnsiString name = AnsiUpperCase(CleanTableName(written));
      check(written, name);
      if (!Contains(toOpen, name)) toOpen.Add(name);
    }
  }

  scanTable_.clear();
  if (statement.TableList.Count() > 0)
    scanTable_ = AnsiUpperCase(CleanTableName(statement.TableList[0]->TableName));
  inner_->DataSets().Clear();
  for (int i = 0; i < toOpen.Count(); ++i) OpenTables(toOpen[i]);
  if (inner_->SQL()->Text() != sql_->Text()) inner_->SQL()->Assign(sql_.get());
  inner_->UseAnsiSort = db->DefaultSortOrder() == soANSI;
  prepared_ = true;
}

void TUdbQuery::OpenTables(const AnsiString& name) {
  auto table = std::make_unique<TUdbTable>(nullptr);
  table->SetDataBase(DataBase());
  table->SetTableName(CleanTableName(name));
  table->SetReadOnly(statementKind_ == skSelect);
  if (statementKind_ == skSelect && name == scanTable_) table->SetReadAheadSize(kScanReadAhead);
  table->Open();
  inner_->AddDataSet(table.get(), table->TableName());
  tables_.push_back(table.release());
}

TDataSet* TUdbQuery::OpenCursorCopy(TDataSet* source) {
  auto* table = dynamic_cast<TUdbTable*>(source);
  if (table == nullptr) return nullptr;
  auto copy = std::make_unique<TUdbTable>(nullptr);
  copy->SetDataBase(DataBase());
  copy->SetTableName(table->TableName());
  copy->SetReadOnly(true);
  copy->Open();
  tables_.push_back(copy.get());
  return copy.release();
}

void TUdbQuery::FreeTables() {
  inner_->UnPrepare();
  inner_->DataSets().Clear();
  for (TUdbTable* t : tables_) {
    try {
      t->Close();
    } catch (const Exception&) {
      // Closing a read cursor fails only on a broken connection; the
      // table goes anyway.
    }
    delete t;
  }
  tables_.clear();
  prepared_ = false;
}

void TUdbQuery::InternalConnect() {
  TUdbDataBase* db = Db("TUdbQuery.InternalConnect");
  savedConnected_ = db->Connected();
  savedExclusive_ = db->Exclusive();
  reopenAfterDefinition_.clear();
  if (statementKind_ >= skCreateTable && !savedExclusive_) {
    if (db->Connected()) {
      // Reconnecting closes every dataset of the connection; the ones that
      // were open come back afterwards.
      for (TUdbDataSet* ds : db->Clients())
        if (ds != this && ds->Active() &&
            std::find(tables_.begin(), tables_.end(), ds) == tables_.end())
          reopenAfterDefinition_.push_back(ds);
      db->SetConnected(false);
    }
    db->SetExclusive(true);
  }
  if (!db->Connected()) db->SetConnected(true);
  db->SetInQuery(true);
  succeeded_ = false;
  for (TUdbTable* t : tables_) t->SetActive(true);
  hadTransaction_ = db->InTransaction();
  if (transactional_ && !hadTransaction_) db->StartTransaction();
}

void TUdbQuery::InternalDisconnect() {
  TUdbDataBase* db = Db("TUdbQuery.InternalDisconnect");
  db->SetInQuery(false);
  if (succeeded_) {
    if (transactional_ && !hadTransaction_) db->Commit();
  } else {
    if (transactional_ && !hadTransaction_) db->Rollback();
    try {
      if (Active()) Close();
    } catch (const Exception&) {
    }
  }
  if (statementKind_ >= skCreateTable && !savedExclusive_) {
    db->SetConnected(false);
    db->SetExclusive(false);
  }
  if (db->Connected() != savedConnected_) db->SetConnected(savedConnected_);
  std::vector<TUdbDataSet*> reopen;
  reopen.swap(reopenAfterDefinition_);
  if (db->Connected()) {
    for (TUdbDataSet* ds : reopen) {
      const auto& clients = db->Clients();
      if (std::find(clients.begin(), clients.end(), ds) == clients.end()) continue;
      ds->Open();
    }
  }
}

void TUdbQuery::RunInner(bool open) {
  TUdbDataBase* db = Db("TUdbQuery.ExecSQL");
  if (!db->Connected()) db->SetConnected(true);
  if (!prepared_) Prepare();
  transactional_ = statementKind_ >= skUpdate && statementKind_ <= skInsert;
  InternalConnect();
  try {
    if (open) {
      inner_->Close();
      inner_->Open();
    } else {
      inner_->ExecSQL();
    }
    succeeded_ = true;
  } catch (...) {
    InternalDisconnect();
    throw;
  }
  InternalDisconnect();
}

void TUdbQuery::ExecSQL() {
  Db("TUdbQuery.ExecSQL");
  if (Active()) Close();
  RunInner(false);
}

void TUdbQuery::InternalOpen() {
  SetMemory(true);
  RunInner(true);
  MaterializeResult();
  TUdbBaseTable::InternalOpen();
}

void TUdbQuery::InternalClose() {
  inner_->Close();
  FreeTables();
  TUdbBaseTable::InternalClose();
}

void TUdbQuery::InternalRefresh() {
  // The statement runs again and its rows replace the result table's; the
  // dataset then stands on the same record number.
  std::int64_t recNo = RecNo();
  TUdbDataBase* db = Db("TUdbQuery.ExecSQL");
  RunInner(true);
  TUdbTable target;
  target.SetDataBase(db);
  target.SetTableName(TableName());
  target.SetMemory(true);
  target.Open();
  target.EmptyTable();
  CopyResultRows(inner_.get(), &target);
  target.Close();
  TUdbBaseTable::InternalRefresh();
  if (recNo > 0) DataSetSetRecNo(static_cast<int>(recNo));
}

void TUdbQuery::MaterializeResult() {
  TUdbDataBase* db = Db("TUdbQuery.ExecSQL");
  TStringList memoryTables;
  db->GetTableNames(&memoryTables, true);
  auto inMemory = [&](const AnsiString& name) {
    for (int i = 0; i < memoryTables.Count(); ++i)
      if (SameText(memoryTables[i], name)) return true;
    return false;
  };
  AnsiString name = TableName();
  if (!name.empty() && inMemory(name)) {
    db->DeleteTable(name, true);
  } else {
    AnsiString base = (Name().empty() ? AnsiString("QUERY") : Name()) + "$";
    name.clear();
    for (int n = 0; n < kMaxResultNames && name.empty(); ++n)
      if (!inMemory(base + IntToStr(n))) name = base + IntToStr(n);
    if (name.empty()) DatabaseError("Unable to locate unique name for query result", this);
  }
  SetTableName(name);

  auto target = std::make_unique<TUdbTable>(nullptr);
  target->SetDataBase(db);
  target->SetTableName(name);
  target->FieldDefs()->Assign(inner_->FieldDefs());
  for (int i = 0; i < target->FieldDefs()->Count(); ++i)
    if (target->FieldDefs()->Items(i)->DataType() == ftAutoInc)
      target->FieldDefs()->Items(i)->SetDataType(ftInteger);
  target->IndexDefs()->Clear();
  target->SetMemory(true);
  target->CreateTable();
  target->SetReadOnly(false);
  try {
    target->Open();
    CopyResultRows(inner_.get(), target.get());
  } catch (const Exception&) {
    // The half-copied table goes: a failed result leaves nothing behind.
    try {
      target->Close();
      target.reset();
      db->DeleteTable(name, true);
    } catch (const Exception&) {
    }
    DatabaseError("Internal Error. The result set could not be formatted for review", this);
  }
  target->Close();
}

void TUdbQuery::CopyResultRows(TDataSet* source, TUdbTable* target) {
  source->First();
  if (source->Eof()) return;
  // One append for the whole copy: each row is stored and the next begun
  // in the same buffer, without the window's re-reads of Post and Append.
  target->Append();
  while (!source->Eof()) {
    for (int i = 0; i < target->FieldCount() && i < source->FieldCount(); ++i) {
      TField* from = source->Fields()->Fields(i);
      TField* to = target->Fields()->Fields(i);
      if (from->IsNull()) {
        to->Clear();
        continue;
      }
      switch (to->DataType()) {
        case ftString: to->SetAsString(from->AsString()); break;
        case ftSmallint: case ftInteger: to->SetAsInteger(from->AsInteger()); break;
        case ftBoolean: to->SetAsBoolean(from->AsBoolean()); break;
        case ftFloat: case ftCurrency: to->SetAsFloat(from->AsFloat()); break;
        case ftDate: case ftTime: case ftDateTime: to->SetAsDateTime(from->AsDateTime()); break;
        case ftGraphic: {
          TMemoryStream stream;
          static_cast<TBlobField*>(from)->SaveToStream(&stream);
          stream.SetPosition(0);
          static_cast<TBlobField*>(to)->LoadFromStream(&stream);
          break;
        }
        default: to->Assign(from); break;
      }
    }
    target->PostAndAppendNext();
    source->Next();
  }
  target->Cancel();
}

// --- the inner query's events ---------------------------------------------------------------

void TUdbQuery::DoResolveDataset(const AnsiString& fileName, TDataSet*& dataSet) {
  auto* db = dynamic_cast<TUdbDataBase*>(DataBase());
  if (db == nullptr || !db->Connected()) return;
  auto table = std::make_unique<TUdbTable>(nullptr);
  table->SetDataBase(db);
  table->SetTableName(fileName);
  table->Open();
  tables_.push_back(table.get());
  dataSet = table.release();
}

namespace {

// True when the text holds the word NOT outside quotes.
bool HasNotWord(const AnsiString& text) {
  char quote = 0;
  auto isWordChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 128;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if ((i == 0 || !isWordChar(text[i - 1])) && i + 3 <= text.size() && AnsiSameText(text.substr(i, 3), "NOT") &&
        (i + 3 == text.size() || !isWordChar(text[i + 3])))
      return true;
  }
  return false;
}

}  // namespace

AnsiString TUdbQuery::ConvertSQLLike(const AnsiString& filter) {
  // A condition under NOT stays with the query engine: the engine's filter
  // takes a comparison with a null field as unknown and NOT keeps it
  // unknown, so the filter would drop rows that the WHERE keeps (here NOT
  // of a false comparison is true).
  if (HasNotWord(filter)) return AnsiString();
  AnsiString result = filter.TrimLeft();
  int p = filter.Pos("SQLLIKE");
  if (p == 0) {
    if (!result.empty() && (result[0] == '<' || result[0] == '=' || result[0] == '>'))
      result.clear();
    return result;
  }
  AnsiString prefix = filter.SubString(1, p - 1);
  AnsiString rest = filter.SubString(p, filter.size());
  int q = rest.Pos(")");
  if (q == 0) return AnsiString();  // no call to convert: leave it to the query engine
  AnsiString tail = rest.SubString(q, rest.size());
  AnsiString call = rest.SubString(1, q);
  int a = call.Pos("(") + 1;
  int c = 0;
  for (int i = a; i <= static_cast<int>(call.size()); ++i)
    if (call[static_cast<size_t>(i - 1)] == ',') {
      c = i;
      break;
    }
  if (a <= 1 || c == 0) return AnsiString();
  AnsiString arg1 = call.SubString(a, c - a);
  int e = static_cast<int>(call.size()) - 2;
  while (e > c + 1 && call[static_cast<size_t>(e - 1)] != ',') --e;
  AnsiString arg2 = call.SubString(c + 1, e - (c + 1));
  return prefix + "(" + arg1 + " LIKE " + arg2 + tail;
}

AnsiString TUdbQuery::FixFilterQuotes(const AnsiString& s) {
  const int length = static_cast<int>(s.size());
  int p = s.Pos(" '");
  auto at = [&](int i) { return s[static_cast<size_t>(i - 1)]; };  // 1-based
  if (p > 0 && p <= length - 5) {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(at(p + 4))));
    if (at(p + 3) == '\'' && upper >= 'A' && upper <= 'Z')
      return s.SubString(1, p + 3) + "'" + s.SubString(p + 4, length);
    return s;
  }
  if (length > 5 && at(1) == '\'' && at(3) == '\'' && at(4) != ' ')
    return s.SubString(1, 3) + "'" + s.SubString(4, length);
  return s;
}

void TUdbQuery::DoSetFilter(TDataSet* dataSet, const AnsiString& filter, bool& handled) {
  handled = false;
  AnsiString converted;
  try {
    if (dataSet->Filtered()) dataSet->SetFiltered(false);
    converted = ConvertSQLLike(filter);
    if (converted.empty()) return;
    try {
      dataSet->SetFilter(converted);
      dataSet->SetFiltered(true);
    } catch (const Exception& e) {
      converted = FixFilterQuotes(converted);
      UdbLogger().Log(Name(), "Filter Exc. Now attempting conversion: Req Filter=" + filter +
                                  " Converted Calc Filter=" + converted +
                                  " Exc msg = " + e.Message());
      dataSet->SetFilter(converted);
      dataSet->SetFiltered(true);
    }
    handled = true;
  } catch (const Exception& e) {
    UdbLogger().Log(Name(), "Filter Exc: Req Filter=" + filter + " Calc Filter=" + converted +
                                " Exc msg = " + e.Message());
    handled = false;
    try {
      dataSet->SetFiltered(false);
    } catch (const Exception&) {
    }
  }
}

void TUdbQuery::ExecSQLCreateTable(TCreateTableItem* item) {
  static const char* const kLocation = "TUdbQuery.ExecSQLCreateTable";
  // The result of this query is not affected: a definition statement never
  // leaves it open.
  TUdbDataBase* db = Db(kLocation);
  TUdbTable table;
  table.FieldDefs()->Clear();
  for (int i = 0; i < item->Fields.Count(); ++i) {
    TCreateField* f = item->Fields.Items(i);
    TFieldType type = ftString;
    int size = 0;
    switch (f->FieldType) {
      case stChar: type = ftString; size = f->Size; break;
      case stInteger: case stAutoInc: type = ftInteger; break;
      case stSmallInt: type = ftSmallint; break;
      case stBoolean: type = ftBoolean; break;
      case stDate: type = ftDate; break;
      case stTime: type = ftTime; break;
      case stDateTime: type = ftDateTime; break;
      case stFloat: type = ftFloat; break;
      case stMoney: type = ftCurrency; break;
      case stBlob:
        switch (f->BlobType) {
          case 1: type = ftMemo; break;
          case 2: type = ftFmtMemo; break;
          case 5: type = ftGraphic; break;
          default: type = ftBlob; break;
        }
        break;
      default: break;
    }
    TFieldDef* def = table.FieldDefs()->AddFieldDef();
    def->SetName(f->FieldName);
    def->SetDataType(type);
    if (type == ftString && size > 0) def->SetSize(size);
  }
  table.SetTableName(item->TableName);
  table.SetDataBase(db);
  // The primary index only when the statement names its key: an index
  // without key fields makes a table the engine cannot open.
  const AnsiString keys = JoinFieldNames(item->PrimaryKey);
  if (!keys.empty()) {
    TIndexDef* index = table.IndexDefs()->AddIndexDef();
    index->SetName(AnsiString());
    index->SetFields(keys);
    index->SetOptions(TIndexOptions{ixPrimary, ixCaseInsensitive});
  }
  table.CreateTable();
}

void TUdbQuery::RestructureIndexes(const AnsiString& tableName, const char* location,
                                   int failureCode,
                                   const std::function<void(TRestructureIndexDefs&)>& change) {
  TUdbDataBase* db = Db(location);
  TUdbTable table;
  table.SetDataBase(db);
  table.SetTableName(tableName);
  table.Open();
  TRestructureFieldDefs fields;
  TRestructureIndexDefs indexes;
  fields.Assign(table.GetRestructureFieldDefs());
  indexes.Assign(table.GetRestructureIndexDefs());
  table.Close();
  change(indexes);
  indexes.MarkChanges(table.IndexDefs(), &fields);
  table.GetRestructureFieldDefs()->Assign(&fields);
  table.GetRestructureIndexDefs()->Assign(&indexes);
  if (table.RestructureTable() > 0) UdbDatabaseError(failureCode, location, AnsiString(), this);
}

void TUdbQuery::ExecSQLAddIndex(const AnsiString& tableName, const AnsiString& indexName,
                                const std::vector<AnsiString>& columns, bool unique,
                                bool descending) {
  const AnsiString joined = JoinFieldNames(columns);
  RestructureIndexes(tableName, "TUdbQuery.ExecSQLAddIndex", udberr::kAlterFailed,
                     [&](TRestructureIndexDefs& indexes) {
                       TIndexOptions options{ixCaseInsensitive};
                       if (unique) options << ixUnique;
                       TRestructureIndexDef* def = indexes.AddIndexDef(indexName, joined, options);
                       if (descending) def->SetDescFields(joined);
                     });
}

void TUdbQuery::ExecSQLDropIndex(const AnsiString& tableName, const AnsiString& indexName) {
  // 10114 has no row in the error table: its text is "Error code unknown".
  static const char* const kLocation = "TUdbQuery.ExecSQLDropIndex";
  RestructureIndexes(tableName, kLocation, 10114, [&](TRestructureIndexDefs& indexes) {
    TRestructureIndexDef* def = indexes.Find(indexName);
    if (def == nullptr) UdbDatabaseError(udberr::kIndexMissing, kLocation, indexName, this);
    delete def;
  });
}

void TUdbQuery::ExecSQLDropTable(const AnsiString& tableName) {
  TUdbDataBase* db = Db("TUdbQuery.ExecSQLDropTable");
  db->DeleteTable(tableName, false);
}
