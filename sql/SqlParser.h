// TsqParser: the SQL parser.  It runs the LR driver over the tables built
// from sql/SqlGrammar.y and fills the statement model (SqlModel.h) of its
// root statement while it reduces.
//
// Expressions are rendered as texts of the expression language, with these
// markers in place of what the executor resolves itself:
//
//   \f"name", \f"table.field"   a column reference, as written
//   {Aggregate n}               aggregate n of the column's AggregateList
//   {Subquery n}                subquery n of the column's SubQueryList
//   (subquery n)                subquery n of the statement's SubQueryList,
//                               used in a condition
//   DummyBoolean(True|False)    the constants TRUE and FALSE
//   DummyDate(<day number>)     a date literal inside WHERE (the scanner's)
//
// Texts join their parts with the blanks the grammar's actions give, for
// example  a IN (1, 2)  becomes  ( (\f"a" = 1) OR (\f"a" = 2) )  and
// a BETWEEN 1 AND 5  becomes  (\f"a" >= 1) AND (\f"a" <= 5).
//
// The query that runs the statement is told every name the statement uses
// and asked for the values of its parameters through TSqlQueryContext.
//
//   TSqlAnalizer statement;
//   ParseSql("SELECT a FROM t WHERE b = 1", statement);  // ESqlQueryError
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "sql/SqlLexer.h"
#include "sql/SqlModel.h"
#include "sql/YaccLib.h"

// What the parser reports to, and asks of, the query running the statement.
// The base keeps the names in lists and finds parameters in Params.
class TSqlQueryContext {
 public:
  virtual ~TSqlQueryContext() = default;
  // Column names as written ("a", "t.a", "t.*", "*"), each once.
  virtual void AddReferencedField(const AnsiString& name);
  // Table names (a quoted one without its quotes), each once.
  virtual void AddReferencedTable(const AnsiString& name);
  // The field a parameter is mapped to (ParamsAsFields); false when none.
  virtual bool ParamAsField(const AnsiString& name, AnsiString& field);
  // The parameter's value as a string and its data type; false when the
  // query has no parameter of that name (compared without regard to case).
  virtual bool ParamValue(const AnsiString& name, AnsiString& value, TFieldType& type);

  std::vector<AnsiString> ReferencedFields;
  std::vector<AnsiString> ReferencedTables;
  TParams* Params = nullptr;                  // not owned
  TParamsAsFields* ParamsAsFields = nullptr;  // not owned
};

// Resource-name prefix of the SQL parser's tables.
extern const char* const kSqlTablePrefix;  // "SQYACC_"

class TsqParser : public TCustomParser {
 public:
  // root: the statement to fill (not owned); query may be nullptr.
  explicit TsqParser(TSqlAnalizer* root, TSqlQueryContext* query = nullptr);
  ~TsqParser() override;

  struct TRuleInfo {
    const char* name;
    int length;
  };
  // The grammar's rules in order, as the actions expect them (a test holds
  // them against the grammar file and the tables).
  static const std::vector<TRuleInfo>& Rules();

 protected:
  void yyaction(int rule) override;

 private:
  TSqlAnalizer* Current() const { return current_ ? current_ : root_; }
  bool InWhere() const;
  AnsiString ColumnMarker(const AnsiString& name);
  AnsiString Parameter(const AnsiString& name);
  void AddColumn(TColumnList& list, const AnsiString& text);
  void AddTable(const AnsiString& name, const AnsiString& alias, bool quoted);
  void AddOrderItem(TOrderByList& list, const AnsiString& text, bool desc);
  AnsiString Aggregate(TAggregateKind kind, const AnsiString& text, bool distinct);
  AnsiString Comparison(const AnsiString& left, const AnsiString& op, const AnsiString& right);
  void Candidate(const AnsiString& left, int relation, const AnsiString& start,
                 const AnsiString& end);
  void JoinCompare(const AnsiString& op);
  TInsertItem* InsertItem();
  TCreateTableItem* TableItem(TCreateTableList& list);
  bool AddField(TCreateTableList& list, const AnsiString& name, std::uint8_t action);
  void SetFieldType(int type, int precision = 0, int scale = 0, int size = 0, int blob = 0);

  TSqlAnalizer* root_;
  TSqlAnalizer* current_ = nullptr;
  TSqlQueryContext* query_;
  std::vector<AnsiString> inList_;
  int castType_ = 0;
  int castLength_ = 0;
  AnsiString alias_;
  int insertCount_ = 0;
  bool quotedInsertTarget_ = false;
  TAggregateList pendingAggregates_;
  std::vector<std::unique_ptr<TSqlAnalizer>> pendingSubqueries_;
  TJoinOnItem join_;
  std::vector<std::pair<AnsiString, AnsiString>> joinSides_;  // table, field
  std::vector<AnsiString> rangeValues_;
  int createCounter_ = 0;
  struct {
    int type = 0, precision = 0, scale = 0, size = 0, blob = 0;
  } fieldDef_;
};

// The message of a failed parse: " <message> at line : <line>, Column:
// <column>, token: <token>", the column being where the token starts.
AnsiString SqlErrorText(const TCustomParser& parser, const TCustomLexer& lexer);

// Parses one statement text into `statement`; a text that does not parse
// raises ESqlQueryError with SqlErrorText.  dateFormat: the short date
// format of date literals (empty: "m/d/yyyy").
void ParseSql(const AnsiString& text, TSqlAnalizer& statement, TSqlQueryContext* query = nullptr,
              const AnsiString& dateFormat = AnsiString());
