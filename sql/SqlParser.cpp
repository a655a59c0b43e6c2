// The SQL parser's rule actions; the rules are in sql/SqlGrammar.y.
#include "sql/SqlParser.h"

#include <algorithm>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "sql/SqlMessages.h"

const char* const kSqlTablePrefix = "SQYACC_";

namespace {

// The grammar's rules in the order of sql/SqlGrammar.y: name, length of
// the right side.
#define SQL_RULES(X) \
  X(rSelectStatement, 2) X(rTransformStatement, 7) X(rMergeStatement, 5) X(rUpdateStatement, 6) \
  X(rUpdateFromSubquery, 7) X(rDeleteStatement, 5) X(rInsertStatements, 1) X(rCreateTables, 1) \
  X(rAlterTables, 1) X(rCreateIndex, 11) X(rDropTable, 4) X(rDropIndex, 5) X(rPackTable, 4) \
  X(rZapTable, 4) X(rReindexTable, 4) X(rNoSemi, 0) X(rSemi, 1) X(rSelect, 7) X(rSelectAll, 2) \
  X(rSelectColumns, 2) X(rSelectHead, 1) X(rSelectDistinct, 2) X(rFirstColumn, 1) \
  X(rNextColumn, 3) X(rColumn, 2) X(rTableStar, 3) X(rCastColumn, 7) X(rNoAlias, 0) X(rAlias, 1) \
  X(rAsAlias, 2) X(rCastChar, 4) X(rCastInteger, 1) X(rCastBoolean, 1) X(rCastDate, 1) \
  X(rCastTime, 1) X(rCastDateTime, 1) X(rCastFloat, 1) X(rCastMoney, 1) X(rFromTables, 2) \
  X(rFromJoins, 3) X(rFromSubquery, 3) X(rFirstTable, 1) X(rNextTable, 3) X(rTable, 1) \
  X(rTableAlias, 2) X(rQuotedTable, 1) X(rQuotedTableAlias, 2) X(rFirstJoin, 1) X(rNextJoin, 2) \
  X(rJoin, 4) X(rJoinPlain, 1) X(rJoinInner, 2) X(rJoinLeftInner, 3) X(rJoinLeft, 2) \
  X(rJoinRightInner, 3) X(rJoinRight, 2) X(rJoinOuter, 2) X(rJoinLeftOuter, 3) \
  X(rJoinRightOuter, 3) X(rJoinFullOuter, 3) X(rJoinCompare, 3) X(rJoinParens, 3) X(rJoinAnd, 3) \
  X(rJoinOr, 3) X(rJoinEq, 1) X(rJoinNEQ, 1) X(rJoinGE, 1) X(rJoinLE, 1) X(rJoinGT, 1) \
  X(rJoinLT, 1) X(rJoinQualified, 3) X(rJoinField, 1) X(rNoWhere, 0) X(rWhere, 2) X(rNoRange, 0) \
  X(rRange, 10) X(rFirstRangeField, 1) X(rNextRangeField, 3) X(rRangeFrom, 2) X(rRangeTo, 2) \
  X(rFirstRangeValue, 1) X(rNextRangeValue, 3) X(rRangeString, 1) X(rRangeSInt, 1) \
  X(rRangeUInt, 1) X(rRangeNumber, 1) X(rRangeParameter, 1) X(rNoGroup, 0) X(rGroup, 4) \
  X(rFirstGroup, 1) X(rNextGroup, 3) X(rGroupEntry, 1) X(rGroupIdent, 1) X(rGroupQualified, 3) \
  X(rGroupNumber, 1) X(rNoHaving, 0) X(rHaving, 2) X(rNoOrder, 0) X(rOrder, 3) X(rFirstOrder, 1) \
  X(rNextOrder, 3) X(rOrderItem, 1) X(rOrderAsc, 2) X(rOrderDesc, 2) X(rNoInto, 0) X(rInto, 4) \
  X(rSubquery, 9) X(rSubquerySelect, 1) X(rInnerAll, 1) X(rInnerDistinctAll, 2) \
  X(rInnerColumns, 1) X(rInnerDistinctColumns, 2) X(rSubqueryOperand, 1) X(rSubqueryAny, 2) \
  X(rSubqueryAll, 2) X(rFirstTransform, 1) X(rNextTransform, 3) X(rTransformColumn, 1) \
  X(rTransformCast, 6) X(rPivotValue, 1) X(rNoPivotValues, 0) X(rPivotValues, 4) \
  X(rPivotSubquery, 2) X(rFirstPivot, 1) X(rNextPivot, 3) X(rMergeSelect, 7) X(rMergeHead, 1) \
  X(rValueColumn, 1) X(rValueConstant, 1) X(rValueNow, 1) X(rValueCall0, 3) X(rValueCallStar, 4) \
  X(rValueCall, 4) X(rValueTrim, 1) X(rValueExtract, 1) X(rValueSubstring, 1) X(rValueCase, 4) \
  X(rValueSubquery, 1) X(rAggregate, 4) X(rAggregateDistinct, 5) X(rCountStar, 4) X(rCount, 4) \
  X(rCountDistinct, 5) X(rValuePlus, 3) X(rValueMinus, 3) X(rValueMult, 3) X(rValueDivide, 3) \
  X(rValueExp, 3) X(rValueMod, 3) X(rValueDiv, 3) X(rValueShl, 3) X(rValueShr, 3) X(rValueGT, 3) \
  X(rValueLT, 3) X(rValueNEQ, 3) X(rValueGE, 3) X(rValueLE, 3) X(rValueEq, 3) X(rValueAnd, 3) \
  X(rValueOr, 3) X(rValueNegate, 2) X(rValuePlusSign, 2) X(rValueParens, 3) X(rFirstValueArg, 1) \
  X(rNextValueArg, 3) X(rAggSum, 1) X(rAggAvg, 1) X(rAggStdev, 1) X(rAggMin, 1) X(rAggMax, 1) \
  X(rColumnRef, 1) X(rQualifiedColumnRef, 3) X(rConstUInt, 1) X(rConstSInt, 1) X(rConstNumber, 1) \
  X(rConstString, 1) X(rConstTrue, 1) X(rConstFalse, 1) X(rConstParameter, 1) X(rParameter, 2) \
  X(rTrim, 7) X(rTrimLeading, 1) X(rTrimTrailing, 1) X(rTrimBoth, 1) X(rExtract, 6) \
  X(rPartYear, 1) X(rPartMonth, 1) X(rPartDay, 1) X(rPartHour, 1) X(rPartMinute, 1) \
  X(rPartSecond, 1) X(rSubstring, 6) X(rSubstringFor, 8) X(rFirstWhen, 1) X(rNextWhen, 2) \
  X(rWhen, 4) X(rNoElse, 0) X(rElse, 2) X(rResultUInt, 1) X(rResultSInt, 1) X(rResultNumber, 1) \
  X(rResultString, 1) X(rResultTrue, 1) X(rResultFalse, 1) X(rCondColumn, 1) X(rCondConstant, 1) \
  X(rCondNow, 1) X(rCondCall0, 3) X(rCondCall, 4) X(rCondLeft, 4) X(rCondRight, 4) X(rCondTrim, 1) \
  X(rCondExtract, 1) X(rCondSubstring, 1) X(rIsNull, 3) X(rIsNotNull, 4) X(rBetweenColumns, 5) \
  X(rBetweenConstants, 5) X(rInList, 5) X(rNotInList, 6) X(rInSubquery, 3) X(rNotInSubquery, 4) \
  X(rLike, 4) X(rNotLike, 5) X(rCondPlus, 3) X(rCondMinus, 3) X(rCondMult, 3) X(rCondDivide, 3) \
  X(rCondExp, 3) X(rCondMod, 3) X(rCondDiv, 3) X(rCondShl, 3) X(rCondShr, 3) X(rCondAnd, 3) \
  X(rCondOr, 3) X(rCondEq, 3) X(rCondGE, 3) X(rCondLE, 3) X(rCondGT, 3) X(rCondLT, 3) \
  X(rCondNEQ, 3) X(rCondNot, 2) X(rCondNegate, 2) X(rCondPlusSign, 2) X(rCondParens, 3) \
  X(rCondSubquery, 1) X(rFirstCondArg, 1) X(rNextCondArg, 3) X(rFirstIn, 1) X(rNextIn, 3) \
  X(rNoEscape, 0) X(rEscape, 2) X(rFirstSet, 1) X(rNextSet, 3) X(rSetItem, 3) X(rSetNull, 3) X(rFirstInsert, 1) \
  X(rNextInsert, 2) X(rInsert, 7) X(rInsertTable, 1) X(rInsertFile, 1) X(rNoInsertColumns, 0) \
  X(rInsertColumns, 3) X(rInsertAllColumns, 3) X(rFirstInsertName, 1) X(rNextInsertName, 3) \
  X(rInsertValues, 3) X(rInsertSubquery, 1) X(rFirstInsertValue, 1) X(rNextInsertValue, 3) \
  X(rInsertNull, 1) X(rInsertCondition, 1) X(rFirstCreate, 1) X(rNextCreate, 2) X(rCreateTable, 8) \
  X(rFirstFieldDef, 1) X(rNextFieldDef, 3) X(rFieldDef, 2) X(rTypeChar, 4) X(rTypeInteger, 1) \
  X(rTypeSmallInt, 1) X(rTypeBoolean, 1) X(rTypeDate, 1) X(rTypeTime, 1) X(rTypeDateTime, 1) \
  X(rTypeMoney, 1) X(rTypeFloat, 1) X(rTypeFloatP, 4) X(rTypeFloatPS, 6) X(rTypeAutoInc, 1) \
  X(rTypeBlob, 4) X(rNoPrimaryKey, 0) X(rPrimaryKey, 5) X(rFirstKeyField, 1) X(rNextKeyField, 3) \
  X(rFirstAlter, 1) X(rNextAlter, 2) X(rAlterTable, 5) X(rFirstAlterAction, 1) \
  X(rNextAlterAction, 3) X(rAddField, 3) X(rAddColumn, 4) X(rDropField, 2) X(rDropColumn, 3) \
  X(rNotUnique, 0) X(rUnique, 1) X(rNoDirection, 0) X(rAscending, 1) X(rDescending, 1) \
  X(rFirstIndexField, 1) X(rNextIndexField, 3)

enum SqlRule {
  rNone = 0,
#define SQL_RULE_ENUM(name, length) name,
  SQL_RULES(SQL_RULE_ENUM)
#undef SQL_RULE_ENUM
  rRuleEnd
};

// A string or bracketed name without its first and last character.
AnsiString Strip(const AnsiString& s) { return s.size() >= 2 ? s.substr(1, s.size() - 2) : AnsiString(); }

bool IsQuote(char c) { return c == '\'' || c == '"'; }

// Outer quotes removed when the first and the last character are quotes.
AnsiString Unquote(const AnsiString& s) {
  if (s.size() >= 2 && IsQuote(s.front()) && IsQuote(s.back())) return Strip(s);
  return s;
}

bool IsWholeNumber(const AnsiString& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The text with every column marker \f"name" replaced by the bare name.
AnsiString Unwrap(const AnsiString& text) {
  AnsiString out;
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, 3, "\\f\"") == 0) {
      size_t close = text.find('"', i + 3);
      if (close == std::string::npos) close = text.size();
      out.append(text, i + 3, close - (i + 3));
      i = close + 1;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

// File name without directory and extension (double-byte aware).
AnsiString BareFileName(const AnsiString& path) {
  size_t start = 0, dot = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (c == '\\' || c == '/' || c == ':') {
      start = i + 1;
      dot = std::string::npos;
    } else if (c == '.') {
      dot = i;
    }
  }
  AnsiString name = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
  return name;
}

int RelationOf(const AnsiString& op) {
  if (op == "=") return roEq;
  if (op == ">") return roGT;
  if (op == ">=") return roGE;
  if (op == "<") return roLT;
  if (op == "<=") return roLE;
  return roNE;
}

void AddOnce(std::vector<AnsiString>& list, const AnsiString& s) {
  if (std::find(list.begin(), list.end(), s) == list.end()) list.push_back(s);
}

const int kAggregatePrefix[] = {kSqlSumOf, kSqlAvgOf, kSqlStdevOf, kSqlMinOf, kSqlMaxOf};

}  // namespace

void TSqlQueryContext::AddReferencedField(const AnsiString& name) { AddOnce(ReferencedFields, name); }

void TSqlQueryContext::AddReferencedTable(const AnsiString& name) { AddOnce(ReferencedTables, name); }

bool TSqlQueryContext::ParamAsField(const AnsiString& name, AnsiString& field) {
  if (!ParamsAsFields) return false;
  for (int i = 0; i < ParamsAsFields->Count(); ++i) {
    TParamsAsFieldsItem* item = ParamsAsFields->Items(i);
    if (item->Name() == name) {
      field = item->Value;
      return true;
    }
  }
  return false;
}

bool TSqlQueryContext::ParamValue(const AnsiString& name, AnsiString& value, TFieldType& type) {
  if (!Params) return false;
  for (int i = 0; i < Params->Count(); ++i) {
    TParam* p = Params->Items(i);
    if (AnsiSameText(p->Name(), name)) {
      value = p->AsString();
      type = p->DataType();
      return true;
    }
  }
  return false;
}

TsqParser::TsqParser(TSqlAnalizer* root, TSqlQueryContext* query)
    : TCustomParser(kSqlTablePrefix, {stComment, stBlank, stTab, stNewLine}, stIllegal),
      root_(root), query_(query) {}

TsqParser::~TsqParser() = default;

const std::vector<TsqParser::TRuleInfo>& TsqParser::Rules() {
  static const std::vector<TRuleInfo> kRules = {
#define SQL_RULE_INFO(name, length) {#name, length},
      SQL_RULES(SQL_RULE_INFO)
#undef SQL_RULE_INFO
  };
  return kRules;
}

// The scanner's WHERE flag for the construct being reduced: when a
// look-ahead has been read, the flag as it was before that token.
bool TsqParser::InWhere() const {
  auto* lexer = dynamic_cast<const TsqLexer*>(yylexer);
  if (!lexer) return false;
  return yychar != -1 ? lexer->WhereFlagBefore() : lexer->WhereFlag();
}

AnsiString TsqParser::ColumnMarker(const AnsiString& name) {
  if (query_) query_->AddReferencedField(name);
  return "\\f\"" + name + "\"";
}

// The current value of parameter `name` as a text of the statement.
AnsiString TsqParser::Parameter(const AnsiString& name) {
  TSqlAnalizer* s = Current();
  if (!s->Params.FindParam(name)) s->Params.CreateParam(ftString, name, ptUnknown);
  if (!query_) return AnsiString();
  AnsiString field;
  if (query_->ParamAsField(name, field)) return "\\f\"" + field + "\"";
  AnsiString value;
  TFieldType type = ftUnknown;
  if (!query_->ParamValue(name, value, type)) return AnsiString();
  switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftMemo: {
      // Always single quotes, inner ones doubled: a value holding both
      // kinds of quote must not end the literal early.
      AnsiString quoted = "'";
      for (char c : value) {
        quoted.push_back(c);
        if (c == '\'') quoted.push_back('\'');
      }
      return quoted + "'";
    }
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD:
    case ftAutoInc: case ftLargeint: {
      size_t comma = value.find(',');
      if (comma != std::string::npos) value[comma] = '.';
      return value;
    }
    case ftDate: case ftTime: case ftDateTime: {
      TFormatSettings dot;
      dot.DecimalSeparator = '.';
      return FloatToStr(StrToDateTime(value), dot);
    }
    default: return value;
  }
}

void TsqParser::AddColumn(TColumnList& list, const AnsiString& text) {
  TColumnItem* column = list.Add();
  column->ColumnExpr = text;
  column->AggregateList.TakeAll(pendingAggregates_);
  if (!pendingSubqueries_.empty()) {
    for (auto& s : pendingSubqueries_) column->SubQueryList.push_back(std::move(s));
    pendingSubqueries_.clear();
    if (alias_.empty()) alias_ = "Subquery";
  }
  column->CastType = static_cast<std::uint16_t>(castType_);
  column->CastLen = static_cast<std::uint16_t>(std::max(1, castLength_));
  if (alias_.empty()) {
    column->IsAsExplicit = false;
    if (column->AggregateList.Count() > 0) {
      const TAggregateItem* first = column->AggregateList.Items(0);
      column->ColumnName = first->Kind == akCount
                               ? SqlMessage(kSqlCountStarName)
                               : SqlMessage(kAggregatePrefix[first->Kind]) + Unwrap(first->AggregateStr);
    } else {
      column->ColumnName = Unwrap(text);
    }
  } else {
    column->ColumnName = alias_;
    column->IsAsExplicit = true;
  }
  alias_.clear();
  castType_ = 0;
  castLength_ = 0;
}

void TsqParser::AddTable(const AnsiString& name, const AnsiString& alias, bool quoted) {
  TTableItem* t = Current()->TableList.Add();
  t->TableName = quoted ? Unquote(name) : name;
  t->IsQuoted = quoted;
  if (!alias.empty())
    t->Alias = alias;
  else
    t->Alias = quoted ? BareFileName(t->TableName) : t->TableName;
  if (query_) query_->AddReferencedTable(t->TableName);
}

void TsqParser::AddOrderItem(TOrderByList& list, const AnsiString& text, bool desc) {
  TOrderByItem* item = list.Add();
  if (IsWholeNumber(text)) {
    item->ColIndex = StrToInt(text) - 1;
  } else {
    item->ColIndex = -1;
    item->Alias = text;
  }
  item->Desc = desc;
}

AnsiString TsqParser::Aggregate(TAggregateKind kind, const AnsiString& text, bool distinct) {
  TAggregateItem* a = pendingAggregates_.Add();
  a->Kind = kind;
  a->AggregateStr = text;
  a->IsDistinct = distinct;
  return Format("{Aggregate %d}", {pendingAggregates_.Count() - 1});
}

void TsqParser::Candidate(const AnsiString& left, int relation, const AnsiString& start,
                          const AnsiString& end) {
  if (!InWhere()) return;
  TWhereOptimizeList& list = Current()->WhereOptimizeList;
  if (list.Count() > 0) {
    TWhereOptimizeItem* last = list.Items(list.Count() - 1);
    const bool lower = relation == roGT || relation == roGE;
    const bool upper = relation == roLT || relation == roLE;
    const bool lastLower = last->RelOperator == roGT || last->RelOperator == roGE;
    const bool lastUpper = last->RelOperator == roLT || last->RelOperator == roLE;
    if (((lower && lastUpper) || (upper && lastLower)) && AnsiSameText(last->FieldNames, left)) {
      last->EndValue = Unquote(end);
      last->RelOperator = roEq;
      return;
    }
  }
  TWhereOptimizeItem* item = list.Add();
  item->FieldNames = left;
  item->StartValue = Unquote(start);
  item->EndValue = Unquote(end);
  item->RelOperator = relation;
  item->CanOptimize = false;
}

AnsiString TsqParser::Comparison(const AnsiString& left, const AnsiString& op,
                                 const AnsiString& right) {
  if (op == "=") {
    Current()->LeftEqualities.push_back(left);
    Current()->RightEqualities.push_back(right);
  }
  Candidate(left, RelationOf(op), right, right);
  return left + " " + op + " " + right;
}

void TsqParser::JoinCompare(const AnsiString& op) {
  auto right = joinSides_.back();
  joinSides_.pop_back();
  auto left = joinSides_.back();
  joinSides_.pop_back();
  join_.LeftRefTables.push_back(left.first);
  join_.LeftRefFields.push_back(left.second);
  join_.RightRefTables.push_back(right.first);
  join_.RightRefFields.push_back(right.second);
  join_.RelOperators.push_back(RelationOf(op));
}

TInsertItem* TsqParser::InsertItem() {
  TInsertList& list = Current()->InsertList;
  while (list.Count() <= insertCount_) list.Add();
  return list.Items(insertCount_);
}

TCreateTableItem* TsqParser::TableItem(TCreateTableList& list) {
  while (list.Count() <= createCounter_) list.Add();
  return list.Items(createCounter_);
}

// Appends a field definition; false (after yyerror and yyabort) when the
// item already has a field of that name with that action or the BLOB
// subtype is out of range.
bool TsqParser::AddField(TCreateTableList& list, const AnsiString& name, std::uint8_t action) {
  TCreateTableItem* item = TableItem(list);
  for (int i = 0; i < item->Fields.Count(); ++i) {
    const TCreateField* f = item->Fields.Items(i);
    if (f->Action == action && AnsiSameText(f->FieldName, name)) {
      yyerror(SqlMessage(kSqlDuplicateFieldName));
      yyabort();
      return false;
    }
  }
  if (action == caAdd && fieldDef_.type == stBlob && (fieldDef_.blob < 1 || fieldDef_.blob > 5)) {
    yyerror(SqlMessage(kSqlBlobWrongType));
    yyabort();
    return false;
  }
  item->Fields.Add(name, fieldDef_.type, fieldDef_.scale, fieldDef_.precision, fieldDef_.size,
                   fieldDef_.blob, action);
  return true;
}

void TsqParser::SetFieldType(int type, int precision, int scale, int size, int blob) {
  fieldDef_.type = type;
  fieldDef_.precision = precision;
  fieldDef_.scale = scale;
  fieldDef_.size = size;
  fieldDef_.blob = blob;
}

void TsqParser::yyaction(int rule) {
  static const char* const kValueOps[] = {" + ", " - ", " * ", " / ", " ^ ", " MOD ", " DIV ",
                                          " SHL ", " SHR ", " > ", " < ", " <> ", " >= ", " <= ",
                                          " = ", " AND ", " OR "};
  static const char* const kCondOps[] = {" + ", " - ", " * ", " / ", " ^ ", " MOD ", " DIV ",
                                         " SHL ", " SHR ", " AND ", " OR "};
  if (rule >= rValuePlus && rule <= rValueOr) {
    yyval = yyv(1) + kValueOps[rule - rValuePlus] + yyv(3);
    return;
  }
  if (rule >= rCondPlus && rule <= rCondOr) {
    yyval = yyv(1) + kCondOps[rule - rCondPlus] + yyv(3);
    return;
  }
  if (rule >= rCondEq && rule <= rCondNEQ) {
    yyval = Comparison(yyv(1), yyv(2), yyv(3));
    return;
  }
  TSqlAnalizer* s = Current();
  switch (rule) {
    // Statements
    case rSelectStatement: case rTransformStatement: root_->StatementKind = skSelect; return;
    case rMergeStatement: root_->StatementKind = skMerge; return;
    case rUpdateStatement: case rUpdateFromSubquery: root_->StatementKind = skUpdate; return;
    case rDeleteStatement: root_->StatementKind = skDelete; return;
    case rInsertStatements: root_->StatementKind = skInsert; return;
    case rCreateTables: root_->StatementKind = skCreateTable; return;
    case rAlterTables: root_->StatementKind = skAlterTable; return;
    case rCreateIndex:
      root_->StatementKind = skCreateIndex;
      root_->IndexName = yyv(5);
      root_->IndexTable = Strip(yyv(7));
      return;
    case rDropTable:
      root_->StatementKind = skDropTable;
      root_->IndexTable = Strip(yyv(3));
      return;
    case rDropIndex:
      root_->StatementKind = skDropIndex;
      root_->IndexTable = Strip(yyv(3));
      root_->IndexName = yyv(4);
      return;
    case rPackTable: root_->StatementKind = skPackTable; return;
    case rZapTable: root_->StatementKind = skZapTable; return;
    case rReindexTable: root_->StatementKind = skReindexTable; return;

    // Select list
    case rSelectAll:
      s->SelectAll = true;
      if (query_) query_->AddReferencedField("*");
      return;
    case rSelectDistinct: s->IsDistinct = true; return;
    case rColumn: AddColumn(s->ColumnList, yyv(1)); return;
    case rTableStar:
      s->TableAllFields.push_back(yyv(1));
      if (query_) query_->AddReferencedField(yyv(1) + ".*");
      return;
    case rCastColumn: AddColumn(s->ColumnList, yyv(3)); return;
    case rAlias: alias_ = yyv(1); return;
    case rAsAlias: alias_ = yyv(2); return;
    case rCastChar:
      castType_ = stChar;
      castLength_ = StrToInt(yyv(3));
      return;
    case rCastInteger: castType_ = stInteger; return;
    case rCastBoolean: castType_ = stBoolean; return;
    case rCastDate: castType_ = stDate; return;
    case rCastTime: castType_ = stTime; return;
    case rCastDateTime: castType_ = stDateTime; return;
    case rCastFloat: castType_ = stFloat; return;
    case rCastMoney: castType_ = stMoney; return;

    // FROM
    case rFromSubquery:
      s->DefDataSetAsTable = true;
      s->DefTableName = alias_;
      alias_.clear();  // the name belongs to the table, not to a column read later
      return;
    case rTable: AddTable(yyv(1), AnsiString(), false); return;
    case rTableAlias: AddTable(yyv(1), yyv(2), false); return;
    case rQuotedTable: AddTable(yyv(1), AnsiString(), true); return;
    case rQuotedTableAlias: AddTable(yyv(1), yyv(2), true); return;
    case rJoin:
      join_.JoinText = yyv(4);
      s->JoinList.Add()->Assign(join_);
      join_.Reset();
      joinSides_.clear();
      return;
    // LEFT JOIN is LEFT OUTER JOIN and RIGHT JOIN RIGHT OUTER JOIN, as in
    // SQL; an explicit INNER stays an inner join on either side.
    case rJoinPlain: case rJoinInner: case rJoinLeftInner: join_.JoinKind = 0; return;
    case rJoinRightInner: join_.JoinKind = 1; return;
    case rJoinOuter: case rJoinLeftOuter: case rJoinLeft: join_.JoinKind = 2; return;
    case rJoinRightOuter: case rJoinRight: join_.JoinKind = 3; return;
    case rJoinFullOuter: join_.JoinKind = 4; return;
    case rJoinCompare:
      JoinCompare(yyv(2));
      yyval = yyv(1) + yyv(2) + yyv(3);
      return;
    case rJoinParens: yyval = "(" + yyv(2) + ")"; return;
    case rJoinAnd: case rJoinOr:
      join_.AndOr.push_back(rule == rJoinAnd ? 0 : 1);
      yyval = yyv(1) + " " + yyv(2) + " " + yyv(3);
      return;
    case rJoinQualified:
      joinSides_.emplace_back(yyv(1), yyv(3));
      yyval = yyv(1) + "." + yyv(3);
      return;
    case rJoinField:
      joinSides_.emplace_back(AnsiString(), yyv(1));
      yyval = "[dummy]." + yyv(1);
      return;

    // WHERE, SET RANGE, GROUP BY, HAVING, ORDER BY, INTO
    case rWhere: s->WhereText = yyv(2); return;
    case rRange: s->UserRange.UsingIndex = Strip(yyv(10)); return;
    case rFirstRangeField: s->UserRange.ForFields.push_back(Strip(yyv(1))); return;
    case rNextRangeField: s->UserRange.ForFields.push_back(Strip(yyv(3))); return;
    case rRangeFrom: s->UserRange.StartValues = std::move(rangeValues_); rangeValues_.clear(); return;
    case rRangeTo: s->UserRange.EndValues = std::move(rangeValues_); rangeValues_.clear(); return;
    case rFirstRangeValue: rangeValues_.push_back(yyv(1)); return;
    case rNextRangeValue: rangeValues_.push_back(yyv(3)); return;
    case rRangeString: yyval = Strip(yyv(1)); return;
    case rGroupEntry: AddOrderItem(s->GroupByList, yyv(1), false); return;
    case rGroupIdent: yyval = ColumnMarker(yyv(1)); return;
    case rGroupQualified: yyval = ColumnMarker(yyv(1) + "." + yyv(3)); return;
    case rHaving: {
      TColumnItem* column = s->ColumnList.Add();
      column->ColumnExpr = yyv(2);
      column->AggregateList.TakeAll(pendingAggregates_);
      for (auto& sub : pendingSubqueries_) column->SubQueryList.push_back(std::move(sub));
      pendingSubqueries_.clear();
      column->Hidden = true;
      s->HavingColumn = s->ColumnList.Count() - 1;
      return;
    }
    case rOrderItem: case rOrderAsc: AddOrderItem(s->OrderByList, yyv(1), false); return;
    case rOrderDesc: AddOrderItem(s->OrderByList, yyv(1), true); return;
    case rInto: s->IntoTableName = yyv(2); return;

    // Subqueries, TRANSFORM, MERGE
    case rSubquerySelect: {
      auto sub = std::make_unique<TSqlAnalizer>(s);
      current_ = sub.get();
      s->SubQueryList.push_back(std::move(sub));
      return;
    }
    case rSubquery: current_ = s->ParentAnalizer; return;
    case rInnerAll:
      s->SelectAll = true;
      if (query_) query_->AddReferencedField("*");
      return;
    case rInnerDistinctAll:
      s->IsDistinct = true;
      s->SelectAll = true;
      if (query_) query_->AddReferencedField("*");
      return;
    case rInnerDistinctColumns: s->IsDistinct = true; return;
    case rSubqueryOperand: case rSubqueryAny: s->SubQueryKinds.push_back(0); return;
    case rSubqueryAll: s->SubQueryKinds.push_back(1); return;
    case rTransformColumn: AddColumn(s->TransformColumnList, yyv(1)); return;
    case rTransformCast: AddColumn(s->TransformColumnList, yyv(3)); return;
    case rPivotValue: s->PivotText = yyv(1); return;
    case rFirstPivot: s->PivotInList.push_back(Unquote(yyv(1))); return;
    case rNextPivot: s->PivotInList.push_back(Unquote(yyv(3))); return;
    case rPivotSubquery: s->IsSubqueryInSet = true; return;
    case rMergeHead:
      root_->MergeAnalizer = std::make_unique<TSqlAnalizer>();
      current_ = root_->MergeAnalizer.get();
      return;

    // Values
    case rValueNow: case rCondNow: yyval = "NOW"; return;
    case rValueCall0: case rCondCall0: yyval = yyv(1) + "()"; return;
    case rValueCallStar: yyval = yyv(1) + "(*)"; return;
    case rValueCall: case rCondCall: yyval = yyv(1) + "(" + yyv(3) + ")"; return;
    case rValueCase: yyval = "CASE " + yyv(2) + " " + yyv(3) + " END"; return;
    case rValueSubquery: {
      // The subquery just read is the statement's last one; the column
      // that is being read takes it.
      pendingSubqueries_.push_back(std::move(s->SubQueryList.back()));
      s->SubQueryList.pop_back();
      yyval = Format("{Subquery %d}", {static_cast<int>(pendingSubqueries_.size()) - 1});
      return;
    }
    case rAggregate:
      yyval = Aggregate(TAggregateKind(StrToInt(yyv(1))), yyv(3), false);
      return;
    case rAggregateDistinct:
      yyval = Aggregate(TAggregateKind(StrToInt(yyv(1))), yyv(4), true);
      return;
    case rCountStar: yyval = Aggregate(akCount, "0", false); return;
    case rCount: yyval = Aggregate(akCount, yyv(3), false); return;
    case rCountDistinct: yyval = Aggregate(akCount, yyv(4), true); return;
    case rValueNegate: case rValuePlusSign: case rCondNegate: case rCondPlusSign:
      yyval = yyv(1) + yyv(2);
      return;
    case rValueParens: case rCondParens: yyval = "(" + yyv(2) + ")"; return;
    case rNextValueArg: case rNextCondArg: yyval = yyv(1) + ", " + yyv(3); return;
    case rAggSum: yyval = "0"; return;
    case rAggAvg: yyval = "1"; return;
    case rAggStdev: yyval = "2"; return;
    case rAggMin: yyval = "3"; return;
    case rAggMax: yyval = "4"; return;
    case rColumnRef: yyval = ColumnMarker(yyv(1)); return;
    case rQualifiedColumnRef: yyval = ColumnMarker(yyv(1) + "." + yyv(3)); return;
    case rConstTrue: yyval = "DummyBoolean(True)"; return;
    case rConstFalse: yyval = "DummyBoolean(False)"; return;
    case rParameter: yyval = Parameter(yyv(2)); return;
    case rTrim: yyval = Format("SQLTRIM(%s, %s, %s)", {yyv(4), yyv(6), yyv(3)}); return;
    case rTrimLeading: yyval = "0"; return;
    case rTrimTrailing: yyval = "1"; return;
    case rTrimBoth: yyval = "2"; return;
    case rExtract: yyval = yyv(3) + "(" + yyv(5) + ")"; return;
    case rPartYear: yyval = "YEAR"; return;
    case rPartMonth: yyval = "MONTH"; return;
    case rPartDay: yyval = "DAY"; return;
    case rPartHour: yyval = "HOUR"; return;
    case rPartMinute: yyval = "MIN"; return;
    case rPartSecond: yyval = "SEC"; return;
    case rSubstring: yyval = "COPY(" + yyv(3) + "," + yyv(5) + ",LENGTH(" + yyv(3) + "))"; return;
    case rSubstringFor: yyval = "COPY(" + yyv(3) + "," + yyv(5) + "," + yyv(7) + ")"; return;
    case rFirstWhen: yyval = " " + yyv(1); return;
    case rNextWhen: yyval = yyv(1) + " " + yyv(2); return;
    case rWhen: yyval = "WHEN " + yyv(2) + " THEN " + yyv(4); return;
    case rElse: yyval = "ELSE " + yyv(2); return;

    // Conditions
    case rCondLeft: yyval = "LEFT(" + yyv(3) + ")"; return;
    case rCondRight: yyval = "RIGHT(" + yyv(3) + ")"; return;
    case rIsNull: yyval = "ISNULL(" + yyv(1) + ",TRUE)"; return;
    case rIsNotNull: yyval = "ISNULL(" + yyv(1) + ",FALSE)"; return;
    case rBetweenColumns: case rBetweenConstants:
      yyval = "(" + yyv(1) + " >= " + yyv(3) + ") AND (" + yyv(1) + " <= " + yyv(5) + ")";
      if (rule == rBetweenConstants) Candidate(yyv(1), roEq, yyv(3), yyv(5));
      return;
    case rInList: case rNotInList: {
      AnsiString parts;
      for (const auto& c : inList_) {
        if (!parts.empty()) parts += " OR ";
        parts += "(" + yyv(1) + " = " + c + ")";
      }
      inList_.clear();
      yyval = (rule == rInList ? "( " : "NOT ( ") + parts + " )";
      return;
    }
    case rFirstIn: inList_.assign(1, yyv(1)); return;
    case rNextIn: inList_.push_back(yyv(3)); return;
    case rInSubquery: case rNotInSubquery:
      yyval = yyv(1) + (rule == rInSubquery ? " = " : " <> ") +
              Format("(subquery %d)", {static_cast<int>(s->SubQueryList.size()) - 1});
      // NOT IN holds when the value differs from every row: "<> ALL", not
      // "<> ANY", which nearly every value passes.
      if (rule == rNotInSubquery && !s->SubQueryKinds.empty()) s->SubQueryKinds.back() = 1;
      return;
    case rLike: yyval = Format("SQLLIKE(%s, %s, %s)", {yyv(1), yyv(3), yyv(4)}); return;
    case rNotLike: yyval = Format("SQLNOTLIKE(%s, %s, %s)", {yyv(1), yyv(4), yyv(5)}); return;
    case rNoEscape: yyval = "''"; return;
    case rEscape: yyval = yyv(2); return;
    case rCondNot: yyval = " NOT " + yyv(2); return;
    case rCondSubquery:
      yyval = Format("(subquery %d)", {static_cast<int>(s->SubQueryList.size()) - 1});
      return;

    // UPDATE, INSERT
    case rSetItem: {
      TUpdateItem* u = s->UpdateList.Add();
      u->ColName = yyv(1);
      u->ColExpr = yyv(3);
      return;
    }
    case rSetNull: {
      TUpdateItem* u = s->UpdateList.Add();
      u->ColName = yyv(1);
      u->ColExpr = "NULL";
      u->SetNull = true;
      return;
    }
    case rInsert: {
      TInsertItem* item = InsertItem();
      item->TableName = quotedInsertTarget_ ? Strip(yyv(3)) : yyv(3);
      item->IsFullPath = quotedInsertTarget_;
      ++insertCount_;
      return;
    }
    case rInsertTable: quotedInsertTarget_ = false; return;
    case rInsertFile: quotedInsertTarget_ = true; return;
    case rFirstInsertName: InsertItem()->FieldNames.push_back(yyv(1)); return;
    case rNextInsertName: InsertItem()->FieldNames.push_back(yyv(3)); return;
    case rInsertNull: InsertItem()->ExprList.push_back("NULL"); return;
    case rInsertCondition: InsertItem()->ExprList.push_back(yyv(1)); return;

    // Definition statements
    case rCreateTable:
      TableItem(s->CreateTableList)->TableName = Strip(yyv(3));
      ++createCounter_;
      return;
    case rFieldDef: AddField(s->CreateTableList, yyv(1), caAdd); return;
    case rTypeChar: SetFieldType(stChar, 0, 0, StrToInt(yyv(3))); return;
    case rTypeInteger: SetFieldType(stInteger); return;
    case rTypeSmallInt: SetFieldType(stSmallInt); return;
    case rTypeBoolean: SetFieldType(stBoolean); return;
    case rTypeDate: SetFieldType(stDate); return;
    case rTypeTime: SetFieldType(stTime); return;
    case rTypeDateTime: SetFieldType(stDateTime); return;
    case rTypeMoney: SetFieldType(stMoney); return;
    case rTypeFloat: SetFieldType(stFloat); return;
    case rTypeFloatP: SetFieldType(stFloat, StrToInt(yyv(3))); return;
    case rTypeFloatPS: SetFieldType(stFloat, StrToInt(yyv(3)), StrToInt(yyv(5))); return;
    case rTypeAutoInc: SetFieldType(stAutoInc); return;
    case rTypeBlob: SetFieldType(stBlob, 0, 0, 0, StrToInt(yyv(3))); return;
    case rFirstKeyField: case rNextKeyField: {
      const AnsiString& name = yyv(rule == rFirstKeyField ? 1 : 3);
      TCreateTableItem* item = TableItem(s->CreateTableList);
      bool found = false;
      for (int i = 0; i < item->Fields.Count() && !found; ++i)
        found = AnsiSameText(item->Fields.Items(i)->FieldName, name);
      if (!found) {
        yyerror(SqlMessage(kSqlPrimaryKeyNotFound));
        yyabort();
        return;
      }
      item->PrimaryKey.push_back(name);
      return;
    }
    case rAlterTable:
      TableItem(s->AlterTableList)->TableName = Strip(yyv(3));
      ++createCounter_;
      return;
    case rAddField: AddField(s->AlterTableList, yyv(2), caAdd); return;
    case rAddColumn: AddField(s->AlterTableList, yyv(3), caAdd); return;
    case rDropField: AddField(s->AlterTableList, yyv(2), caDrop); return;
    case rDropColumn: AddField(s->AlterTableList, yyv(3), caDrop); return;
    case rUnique: root_->IndexUnique = true; return;
    case rDescending: root_->IndexDescending = true; return;
    case rFirstIndexField: root_->IndexColumnNames.push_back(yyv(1)); return;
    case rNextIndexField: root_->IndexColumnNames.push_back(yyv(3)); return;
    default: return;  // the value of the first symbol passes up as it is
  }
}

AnsiString SqlErrorText(const TCustomParser& parser, const TCustomLexer& lexer) {
  const int column = lexer.yycolno - static_cast<int>(lexer.yytext.size()) - 1;
  return Format(SqlMessage(kSqlSyntaxErrorAt),
                {parser.yyerrormsg, lexer.yylineno, column, lexer.yytext});
}

void ParseSql(const AnsiString& text, TSqlAnalizer& statement, TSqlQueryContext* query,
              const AnsiString& dateFormat) {
  TStringStream input(text);
  TsqLexer lexer(&input);
  lexer.DateFormat = dateFormat;
  TsqParser parser(&statement, query);
  parser.yylexer = &lexer;
  if (parser.yyparse() != 0) throw ESqlQueryError(SqlErrorText(parser, lexer));
}
