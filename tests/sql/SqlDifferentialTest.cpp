// SQL through TUdbQuery over engine tables against SQLite on the same data.
//
// Random tables (integer, small integer, float, date and string fields;
// nulls, duplicates, Chinese texts; some fields indexed, some not) are
// made in both, then random statements of the dialect run on both sides:
// SELECT with WHERE, joins of every kind, GROUP BY/HAVING, ORDER BY,
// DISTINCT, subqueries with IN/ANY/ALL, aggregates; UPDATE, DELETE and
// INSERT.  A SELECT's rows must agree as a multiset, and where ORDER BY
// fixes an order the engine's rows must follow it; a change must report
// the same RowsAffected, and after every change both tables must hold the
// same rows.
//
// Where the dialect deliberately differs from SQLite, the generator avoids
// the construct or writes the SQLite side so that it means the same:
//   - null reading: as an operand of arithmetic or of a function (LIKE
//     included) a null number reads as 0 and a null text as '', and
//     aggregates count and add null rows as read (COUNT(x) counts them,
//     MIN/MAX see 0); the SQLite side reads such a field through
//     IFNULL(f, 0) or IFNULL(f, '').  A field selected as a column on its
//     own is the stored value, null included.
//   - keys read values too: ORDER BY sorts a null as 0 (or ''), and
//     DISTINCT and GROUP BY take a null and a 0 (or '') for one key, the
//     row showing either; SQLite groups IFNULL(f, 0) then, and the two
//     results compare their nulls, 0s and ''s as one value.
//   - two-valued logic: a comparison with a null operand is false, and
//     NOT of it true; SQLite's comparisons are read through IFNULL(c, 0).
//   - SUM over rows that are all null is 0 (SQLite: NULL): the SQLite side
//     sums IFNULL(f, 0) and so agrees.
//   - text comparison order: the engine orders texts by its collation
//     (pinyin for Chinese), SQLite by bytes; ORDER BY and MIN/MAX use only
//     numbers, and text comparisons in WHERE are = and <> only.
//   - integer DIV, "/" (always floating point here), MOD and ROUND (half
//     to even here) are not generated; integer arithmetic stays far from
//     overflow (it wraps here).
//   - dates are day numbers on both sides: a date field is stored in
//     SQLite as its day number and compared with date literals (#...# in
//     the short date format) that the engine reads as day numbers.
//   - LIKE is case-sensitive here: SQLite runs with case_sensitive_like.
//   - a SET value that is an expression reading a null leaves the field
//     unchanged here; SET values are fields, literals or NULL only.
//   - a join's ON is one equality of a field of each table; LEFT INNER
//     JOIN and RIGHT INNER JOIN are inner joins, OUTER JOIN a left one
//     (SQLite knows none of the three: they are written as SQLite's).
//
// PAYROLL_SQLDIFF_STATEMENTS and PAYROLL_SQLDIFF_SEED set the run's length
// and seed (a long run by hand: PAYROLL_SQLDIFF_STATEMENTS=200000).
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/core/CodePage.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/UdbQuery.h"
#include "tests/udb/MemFileSystem.h"

namespace {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

const char* const kNull = "\x01NULL";

// One value as both sides render it: numbers through one double format
// (an integer column and a float column holding 3 agree), texts as bytes.
std::string NumberText(double v) {
  if (v == 0) v = 0;  // -0
  char b[40];
  std::snprintf(b, sizeof b, "%.10g", v);
  return b;
}

enum TKind { kInt, kSmall, kFloat, kDate, kText };

struct TColumn {
  const char* name;
  TKind kind;
};

struct TTableShape {
  const char* name;
  std::vector<TColumn> columns;
};

// T1 and T2 share the field A (the join field) and the text field pairs.
const TTableShape kShapes[] = {
    {"T1", {{"A", kInt}, {"B", kText}, {"X", kFloat}, {"S", kSmall}, {"D", kDate}}},
    {"T2", {{"A", kInt}, {"C", kText}, {"Y", kFloat}}},
};

const char* const kTexts[] = {"p", "q", "Pq", "工资", "工资表", "张三", "李四", "ab", "abc", "O'B"};
// 1/1/2003, 1/2/2003, 2/1/2003, 12/31/2002 as day numbers; a query reads
// date literals in the process's short date format.
const double kDays[] = {37622, 37623, 37653, 37621};
std::string DayLiteral(double day) { return "#" + std::string(DateToStr(day)) + "#"; }

class TRandom {
 public:
  explicit TRandom(unsigned seed) : gen_(seed) {}
  int Below(int n) { return static_cast<int>(gen_() % static_cast<unsigned>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <class T, size_t N>
  const T& Pick(const T (&a)[N]) {
    return a[Below(static_cast<int>(N))];
  }
  template <class T>
  const T& Pick(const std::vector<T>& a) {
    return a[static_cast<size_t>(Below(static_cast<int>(a.size())))];
  }

 private:
  std::mt19937 gen_;
};

// A value of a column's kind: the engine's literal, SQLite's literal, and
// the value itself (the text, or the number).
struct TLiteral {
  std::string engine, sqlite;
  std::string text;
  double number = 0;
};

TLiteral RandomLiteral(TRandom& r, TKind kind) {
  switch (kind) {
    case kInt: {
      const int v = r.Below(7) - 1;
      return {std::to_string(v), std::to_string(v), "", static_cast<double>(v)};
    }
    case kSmall: {
      const int v = r.Below(5);
      return {std::to_string(v), std::to_string(v), "", static_cast<double>(v)};
    }
    case kFloat: {
      const double v = (r.Below(13) - 2) * 0.5;
      std::string s = NumberText(v);
      if (s.find('.') == std::string::npos) s += ".0";
      return {s, s, "", v};
    }
    case kDate: {
      int i = r.Below(4);
      return {DayLiteral(kDays[i]), NumberText(kDays[i]), "", kDays[i]};
    }
    case kText: {
      std::string s = r.Pick(kTexts), q;
      for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
      return {"'" + q + "'", "'" + q + "'", s, 0};
    }
  }
  return {};
}

class SqlDifferential {
 public:
  explicit SqlDifferential(unsigned seed) : r_(seed) {
    db_.SetFileSystem(&fs_);
    db_.SetDataBaseName("DIFF.udb");
    db_.CreateDatabase();
    db_.SetConnected(true);
    q_.SetDataBase(&db_);
    // PAYROLL_SQLDIFF_NOPUSH=1: the WHERE is not handed to the tables'
    // filters (to tell a filter's fault from the executor's).
    if (const char* v = std::getenv("PAYROLL_SQLDIFF_NOPUSH"); v && *v == '1')
      q_.InnerQuery()->WhereOptimizeMethod = omNone;
    if (sqlite3_open(":memory:", &lite_) != SQLITE_OK) throw std::runtime_error("sqlite");
    Exec("PRAGMA case_sensitive_like = ON");
    for (const TTableShape& t : kShapes) MakeTable(t);
  }
  ~SqlDifferential() { sqlite3_close(lite_); }

  // Runs n random statements; returns the first disagreements found.
  std::vector<std::string> Run(int n) {
    for (int i = 0; i < n && faults_.size() < 10; ++i) {
      ++statements_;
      const int kind = r_.Below(100);
      if (kind < 60)
        Select();
      else if (kind < 75)
        Update();
      else if (kind < 87)
        Delete();
      else
        Insert();
    }
    return faults_;
  }
  int Statements() const { return statements_; }

  // Replaces a table's rows on both sides; values as SQLite literals
  // (NULL, numbers, quoted texts).
  void SetRows(const char* table, const std::vector<std::vector<std::string>>& rows) {
    const TTableShape& shape = std::string(table) == kShapes[0].name ? kShapes[0] : kShapes[1];
    TUdbTable t;
    t.SetDataBase(&db_);
    t.SetTableName(table);
    t.Open();
    while (!t.IsEmpty()) t.Delete();
    Exec(std::string("DELETE FROM ") + table);
    for (const auto& row : rows) {
      t.Append();
      std::string values;
      for (size_t f = 0; f < row.size(); ++f) {
        const std::string& v = row[f];
        values += (f ? ", " : "") + v;
        if (v == "NULL") continue;
        TField* field = t.FieldByName(shape.columns[f].name);
        if (v[0] == '\'') {
          std::string text;
          for (size_t i = 1; i + 1 < v.size(); ++i) text += v[i] == '\'' ? (++i, '\'') : v[i];
          field->SetAsString(text);
        } else {
          field->SetAsFloat(std::strtod(v.c_str(), nullptr));
        }
      }
      t.Post();
      Exec(std::string("INSERT INTO ") + table + " VALUES (" + values + ")");
    }
    t.Close();
  }

  std::vector<std::string> Compare(const std::string& engineSql, const std::string& liteSql) {
    faults_.clear();
    CompareSelect(engineSql, liteSql);
    return faults_;
  }

 private:
  // ---- tables ----------------------------------------------------------------------

  void MakeTable(const TTableShape& shape) {
    TUdbTable t;
    t.SetDataBase(&db_);
    t.SetTableName(shape.name);
    std::string create = std::string("CREATE TABLE ") + shape.name + " (";
    for (size_t i = 0; i < shape.columns.size(); ++i) {
      const TColumn& c = shape.columns[i];
      switch (c.kind) {
        case kInt: t.FieldDefs()->Add(c.name, ftInteger); break;
        case kSmall: t.FieldDefs()->Add(c.name, ftSmallint); break;
        case kFloat: t.FieldDefs()->Add(c.name, ftFloat); break;
        case kDate: t.FieldDefs()->Add(c.name, ftDate); break;
        case kText: t.FieldDefs()->Add(c.name, ftString, 10); break;
      }
      create += std::string(i ? ", " : "") + c.name;
      // Some fields carry an index, so pushed-down conditions take the
      // index paths as well as the plain scan.
      if (r_.Chance(40)) t.IndexDefs()->Add(std::string("I") + shape.name + c.name, c.name, TIndexOptions());
    }
    Exec(create + ")");
    t.CreateTable();
    t.Open();
    const int rows = r_.Below(12);
    for (int i = 0; i < rows; ++i) {
      t.Append();
      std::string values;
      for (size_t f = 0; f < shape.columns.size(); ++f) {
        const TColumn& c = shape.columns[f];
        std::string v = "NULL";
        if (!r_.Chance(15)) {
          TLiteral l = RandomLiteral(r_, c.kind);
          v = l.sqlite;
          TField* field = t.FieldByName(c.name);
          if (c.kind == kText)
            field->SetAsString(l.text);
          else if (c.kind == kInt || c.kind == kSmall)
            field->SetAsInteger(static_cast<int>(l.number));
          else
            field->SetAsFloat(l.number);
        }
        values += (f ? ", " : "") + v;
      }
      t.Post();
      Exec(std::string("INSERT INTO ") + shape.name + " VALUES (" + values + ")");
    }
    t.Close();
  }

  // SQLite holds its texts in UTF-8 (its LIKE reads characters so): the
  // statements go to it converted, its texts come back converted.
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(lite_, AnsiToUtf8(sql).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string m = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error("SQLite: " + m + " in " + sql);
    }
  }

  Rows LiteRows(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(lite_, AnsiToUtf8(sql).c_str(), -1, &st, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(lite_) + " in " + sql);
    Rows rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
      Row row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_NULL: row.push_back(kNull); break;
          case SQLITE_INTEGER: case SQLITE_FLOAT: row.push_back(NumberText(sqlite3_column_double(st, c))); break;
          default: row.push_back(Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(st, c))));
        }
      }
      rows.push_back(row);
    }
    sqlite3_finalize(st);
    return rows;
  }

  static std::string FieldText(TField* f) {
    if (f->IsNull()) return kNull;
    switch (f->DataType()) {
      case ftString: case ftFixedChar: case ftWideString: return f->AsString();
      default: return NumberText(f->AsFloat());
    }
  }

  Rows EngineRows(TDataSet& ds) {
    Rows rows;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      Row row;
      for (int c = 0; c < ds.FieldCount(); ++c) row.push_back(FieldText(ds.Fields()->Fields(c)));
      rows.push_back(row);
    }
    return rows;
  }

  Rows EngineTable(const char* name) {
    TUdbTable t;
    t.SetDataBase(&db_);
    t.SetTableName(name);
    t.Open();
    Rows rows = EngineRows(t);
    t.Close();
    return rows;
  }

  static std::string Show(const Rows& rows) {
    std::string s;
    for (const Row& row : rows) {
      s += "  (";
      for (size_t i = 0; i < row.size(); ++i) s += (i ? ", " : "") + (row[i] == kNull ? "NULL" : row[i]);
      s += ")\n";
    }
    return s.empty() ? "  (none)\n" : s;
  }

  void Fault(const std::string& engineSql, const std::string& liteSql, const std::string& what) {
    faults_.push_back("statement " + std::to_string(statements_) + ": " + engineSql + "\n SQLite: " + liteSql +
                      "\n " + what);
  }

  void CompareTables(const std::string& engineSql, const std::string& liteSql) {
    for (const TTableShape& t : kShapes) {
      Rows mine = EngineTable(t.name), theirs = LiteRows(std::string("SELECT * FROM ") + t.name);
      std::sort(mine.begin(), mine.end());
      std::sort(theirs.begin(), theirs.end());
      if (mine != theirs) {
        Fault(engineSql, liteSql, std::string("table ") + t.name + " differs; engine:\n" + Show(mine) + " SQLite:\n" +
                                      Show(theirs));
        // Start both sides over from the same rows.
        Exec(std::string("DELETE FROM ") + t.name);
        for (const Row& row : mine) {
          std::string values;
          for (size_t i = 0; i < row.size(); ++i) {
            std::string v = row[i] == kNull ? "NULL" : row[i];
            if (row[i] != kNull && t.columns[i].kind == kText) {
              std::string q;
              for (char c : row[i]) q += c == '\'' ? std::string("''") : std::string(1, c);
              v = "'" + q + "'";
            }
            values += (i ? ", " : "") + v;
          }
          Exec(std::string("INSERT INTO ") + t.name + " VALUES (" + values + ")");
        }
      }
    }
  }

  // ---- expressions -------------------------------------------------------------------

  // A field reference as read inside an expression: SQLite reads a null as
  // the dialect does.
  struct TRef {
    std::string engine, sqlite, plain;
    TKind kind;
  };
  static TRef Ref(const std::string& qualifier, const TColumn& c) {
    const std::string name = qualifier.empty() ? c.name : qualifier + "." + c.name;
    const std::string zero = c.kind == kText ? "''" : "0";
    return {name, "IFNULL(" + name + ", " + zero + ")", name, c.kind};
  }
  TRef RandomRef(const TTableShape& t, const std::string& qualifier) {
    return Ref(qualifier, r_.Pick(t.columns));
  }
  TRef RandomRefOf(const TTableShape& t, const std::string& qualifier, bool numeric) {
    std::vector<TColumn> cols;
    for (const TColumn& c : t.columns)
      if ((c.kind != kText) == numeric) cols.push_back(c);
    return Ref(qualifier, r_.Pick(cols));
  }

  // An expression on both sides.  read: SQLite's form where the value is
  // read as an operand of arithmetic (a null field reads as 0 there, while
  // a field compared on its own is null and fails the comparison).
  struct TExpr {
    std::string engine, sqlite, read;
  };

  // A numeric value: a field, a literal, or a sum, difference or product.
  TExpr Numeric(const TTableShape& t, const std::string& qualifier, int depth = 0) {
    const int k = r_.Below(depth > 1 ? 2 : 4);
    if (k == 0) {
      TRef f = RandomRefOf(t, qualifier, true);
      return {f.engine, f.plain, f.sqlite};
    }
    if (k == 1) {
      TLiteral l = RandomLiteral(r_, r_.Chance(50) ? kInt : kFloat);
      return {l.engine, l.sqlite, l.sqlite};
    }
    TExpr a = Numeric(t, qualifier, depth + 1), b = Numeric(t, qualifier, depth + 1);
    const char* op = k == 2 ? " + " : (r_.Chance(50) ? " - " : " * ");
    std::string lite = "(" + a.read + op + b.read + ")";
    return {"(" + a.engine + op + b.engine + ")", lite, lite};
  }

  // A comparison is false when an operand is null, and NOT turns false
  // into true: two-valued logic.  SQLite's three-valued comparisons are
  // each read through IFNULL(..., 0) to match.
  static std::string Two(const std::string& c) { return "IFNULL(" + c + ", 0)"; }

  // A condition over one table (qualifier "" or its name/alias).
  TExpr Condition(const TTableShape& t, const std::string& q, int depth = 0) {
    const int k = r_.Below(depth > 1 ? 7 : 10);
    switch (k) {
      case 0: case 1: {  // field op literal
        TRef f = RandomRef(t, q);
        TLiteral l = RandomLiteral(r_, f.kind);
        static const char* const kNumOps[] = {"=", "<>", "<", ">", "<=", ">="};
        static const char* const kTextOps[] = {"=", "<>"};
        const char* op = f.kind == kText ? r_.Pick(kTextOps) : r_.Pick(kNumOps);
        return {f.engine + " " + op + " " + l.engine, Two(f.plain + " " + op + " " + l.sqlite), ""};
      }
      case 2: {  // numeric expression op numeric expression
        TExpr a = Numeric(t, q, 1), b = Numeric(t, q, 1);
        static const char* const kOps[] = {"=", "<>", "<", ">", "<=", ">="};
        const char* op = r_.Pick(kOps);
        return {a.engine + " " + op + " " + b.engine, Two(a.sqlite + " " + op + " " + b.sqlite), ""};
      }
      case 3: {  // IS [NOT] NULL
        TRef f = RandomRef(t, q);
        const char* is = r_.Chance(50) ? " IS NOT NULL" : " IS NULL";
        return {f.plain + is, f.plain + is, ""};
      }
      case 4: {  // BETWEEN two literals
        TRef f = RandomRefOf(t, q, true);
        TLiteral a = RandomLiteral(r_, f.kind), b = RandomLiteral(r_, f.kind);
        return {f.engine + " BETWEEN " + a.engine + " AND " + b.engine,
                Two(f.plain + " BETWEEN " + a.sqlite + " AND " + b.sqlite), ""};
      }
      case 5: {  // [NOT] IN a list
        TRef f = RandomRef(t, q);
        std::string e, s;
        for (int i = 0, n = 1 + r_.Below(3); i < n; ++i) {
          TLiteral l = RandomLiteral(r_, f.kind);
          e += (i ? ", " : "") + l.engine;
          s += (i ? ", " : "") + l.sqlite;
        }
        const bool negated = r_.Chance(30);
        const std::string in = Two(f.plain + " IN (" + s + ")");
        return {f.engine + (negated ? " NOT IN (" : " IN (") + e + ")", negated ? "NOT " + in : in, ""};
      }
      case 6: {  // LIKE a prefix: a null text reads as ''
        TRef f = RandomRefOf(t, q, false);
        static const char* const kPatterns[] = {"'p%'", "'工资%'", "'a%'", "'%b'", "'张%'", "'P_'"};
        const char* p = r_.Pick(kPatterns);
        const char* like = r_.Chance(25) ? " NOT LIKE " : " LIKE ";
        return {f.engine + like + p, f.sqlite + like + p, ""};
      }
      case 7: {
        TExpr a = Condition(t, q, depth + 1), b = Condition(t, q, depth + 1);
        return {"(" + a.engine + ") AND (" + b.engine + ")", "(" + a.sqlite + ") AND (" + b.sqlite + ")", ""};
      }
      case 8: {
        TExpr a = Condition(t, q, depth + 1), b = Condition(t, q, depth + 1);
        return {"(" + a.engine + ") OR (" + b.engine + ")", "(" + a.sqlite + ") OR (" + b.sqlite + ")", ""};
      }
      default: {
        TExpr a = Condition(t, q, depth + 1);
        return {"NOT (" + a.engine + ")", "NOT (" + a.sqlite + ")", ""};
      }
    }
  }

  // ---- statements --------------------------------------------------------------------

  // Runs a SELECT on both sides; orderColumns: the result columns (0-based)
  // whose numeric order the engine's rows must follow, in that order.
  // keysRead: DISTINCT or GROUP BY read their keys as the dialect reads
  // values, so a null and a 0 (or '') are one key and the row shows either:
  // both sides' nulls, 0s and ''s compare as one value then.
  void CompareSelect(const std::string& e, const std::string& s, const std::vector<int>& orderColumns = {},
                     bool keysRead = false) {
    Rows theirs;
    try {
      theirs = LiteRows(s);
    } catch (const std::exception& x) {
      Fault(e, s, std::string("the generator wrote bad SQLite SQL: ") + x.what());
      return;
    }
    Rows mine;
    try {
      q_.Close();
      q_.SQL()->SetText(e);
      q_.Open();
      mine = EngineRows(q_);
      q_.Close();
    } catch (const Exception& x) {
      Fault(e, s, "engine error: " + x.Message());
      return;
    }
    if (!orderColumns.empty()) {
      for (size_t i = 1; i < mine.size(); ++i) {
        for (int c : orderColumns) {
          const std::string& a = mine[i - 1][static_cast<size_t>(c)];
          const std::string& b = mine[i][static_cast<size_t>(c)];
          // A null sorts as the 0 it reads as.
          const double x = a == kNull ? 0 : std::strtod(a.c_str(), nullptr);
          const double y = b == kNull ? 0 : std::strtod(b.c_str(), nullptr);
          if (x < y) break;
          if (x > y) {
            Fault(e, s, "rows out of order:\n" + Show(mine));
            return;
          }
        }
      }
    }
    Rows sortedMine = mine, sortedTheirs = theirs;
    if (keysRead) {
      for (Rows* rows : {&sortedMine, &sortedTheirs})
        for (Row& row : *rows)
          for (std::string& v : row)
            if (v == kNull || v == "0" || v.empty()) v = "0";
    }
    std::sort(sortedMine.begin(), sortedMine.end());
    std::sort(sortedTheirs.begin(), sortedTheirs.end());
    if (sortedMine != sortedTheirs) {
      std::string tables;
      for (const TTableShape& t : kShapes) tables += std::string(" ") + t.name + ":\n" + Show(EngineTable(t.name));
      Fault(e, s, "rows differ; engine:\n" + Show(mine) + " SQLite:\n" + Show(theirs) + " over\n" + tables);
    }
  }

  void CompareChange(const std::string& e, const std::string& s) {
    int theirs = 0;
    try {
      Exec(s);
      theirs = sqlite3_changes(lite_);
    } catch (const std::exception& x) {
      Fault(e, s, std::string("the generator wrote bad SQLite SQL: ") + x.what());
      return;
    }
    try {
      q_.Close();
      q_.SQL()->SetText(e);
      q_.ExecSQL();
      if (q_.RowsAffected() != theirs)
        Fault(e, s, "RowsAffected " + std::to_string(q_.RowsAffected()) + ", SQLite " + std::to_string(theirs));
    } catch (const Exception& x) {
      Fault(e, s, "engine error: " + x.Message());
    }
    CompareTables(e, s);
  }

  const TTableShape& RandomTable() { return r_.Pick(kShapes); }

  void Select() {
    const int k = r_.Below(100);
    if (k < 30)
      PlainSelect();
    else if (k < 50)
      GroupSelect();
    else if (k < 75)
      JoinSelect();
    else
      SubquerySelect();
  }

  // SELECT [DISTINCT] columns FROM t [WHERE] [ORDER BY numeric columns]
  void PlainSelect() {
    const TTableShape& t = RandomTable();
    std::string e = "SELECT ", s = "SELECT ";
    const bool distinct = r_.Chance(20);
    if (distinct) e += "DISTINCT ", s += "DISTINCT ";
    std::vector<TKind> kinds;
    const int n = 1 + r_.Below(3);
    for (int i = 0; i < n; ++i) {
      if (r_.Chance(75)) {
        TRef f = RandomRef(t, "");
        e += (i ? ", " : "") + f.plain;
        s += (i ? ", " : "") + (distinct ? f.sqlite : f.plain);
        kinds.push_back(f.kind);
      } else {
        TExpr x = Numeric(t, "", 1);
        e += (i ? ", " : "") + x.engine + " AS E" + std::to_string(i);
        // A bare field stays null, unless DISTINCT reads it.
        s += (i ? ", " : "") + (distinct ? x.read : x.sqlite) + " AS E" + std::to_string(i);
        kinds.push_back(kFloat);
      }
    }
    e += std::string(" FROM ") + t.name;
    s += std::string(" FROM ") + t.name;
    if (r_.Chance(70)) {
      TExpr c = Condition(t, "");
      e += " WHERE " + c.engine;
      s += " WHERE " + c.sqlite;
    }
    std::vector<int> order;
    if (r_.Chance(40)) {
      std::string eo, so;
      for (int i = 0; i < n; ++i) {
        if (kinds[static_cast<size_t>(i)] == kText || r_.Chance(40)) continue;
        eo += (eo.empty() ? "" : ", ") + std::to_string(i + 1);
        so += (so.empty() ? "" : ", ") + std::to_string(i + 1);
        order.push_back(i);
      }
      if (!eo.empty()) {
        e += " ORDER BY " + eo;
        s += " ORDER BY " + so;
      }
    }
    CompareSelect(e, s, order, distinct);
  }

  // SELECT g, aggregates FROM t [WHERE] GROUP BY g [HAVING]; or aggregates
  // without GROUP BY.
  void GroupSelect() {
    const TTableShape& t = RandomTable();
    const bool grouped = r_.Chance(70);
    TRef g = RandomRef(t, "");
    std::string e = "SELECT ", s = "SELECT ";
    if (grouped) e += g.plain + ", ", s += g.sqlite + ", ";
    auto aggregate = [&](std::string& ae, std::string& as) {
      TRef f = RandomRefOf(t, "", true);
      switch (r_.Below(5)) {
        case 0: ae = "COUNT(*)", as = "COUNT(*)"; break;
        case 1: ae = "SUM(" + f.engine + ")", as = "SUM(" + f.sqlite + ")"; break;
        case 2: ae = "MIN(" + f.engine + ")", as = "MIN(" + f.sqlite + ")"; break;
        case 3: ae = "MAX(" + f.engine + ")", as = "MAX(" + f.sqlite + ")"; break;
        default: ae = "COUNT(" + f.engine + ")", as = "COUNT(" + f.sqlite + ")"; break;
      }
    };
    const int n = 1 + r_.Below(3);
    for (int i = 0; i < n; ++i) {
      std::string ae, as;
      aggregate(ae, as);
      e += (i ? ", " : "") + ae;
      s += (i ? ", " : "") + as;
    }
    e += std::string(" FROM ") + t.name;
    s += std::string(" FROM ") + t.name;
    if (r_.Chance(50)) {
      TExpr c = Condition(t, "");
      e += " WHERE " + c.engine;
      s += " WHERE " + c.sqlite;
    }
    if (grouped) {
      e += " GROUP BY " + g.plain;
      s += " GROUP BY " + g.sqlite;
      if (r_.Chance(40)) {
        std::string ae, as;
        aggregate(ae, as);
        TLiteral l = RandomLiteral(r_, kInt);
        static const char* const kOps[] = {">", "<", ">=", "="};
        const char* op = r_.Pick(kOps);
        e += " HAVING " + ae + " " + op + " " + l.engine;
        s += " HAVING " + as + " " + op + " " + l.sqlite;
      }
    }
    // Without GROUP BY the aggregates give one row, also over no rows:
    // SQLite's MIN/MAX/SUM over no rows are NULL.
    CompareSelect(e, s, {}, grouped);
  }

  // Joins of every kind between T1 and T2 on A, and the implicit join.
  void JoinSelect() {
    const TTableShape& t1 = kShapes[0];
    const TTableShape& t2 = kShapes[1];
    static const struct {
      const char* engine;
      const char* sqlite;
    } kJoins[] = {
        {"JOIN", "JOIN"},
        {"INNER JOIN", "INNER JOIN"},
        {"LEFT JOIN", "LEFT JOIN"},
        {"LEFT OUTER JOIN", "LEFT OUTER JOIN"},
        {"LEFT INNER JOIN", "INNER JOIN"},
        {"RIGHT JOIN", "RIGHT JOIN"},
        {"RIGHT OUTER JOIN", "RIGHT OUTER JOIN"},
        {"RIGHT INNER JOIN", "INNER JOIN"},
        {"FULL OUTER JOIN", "FULL OUTER JOIN"},
        {"OUTER JOIN", "LEFT OUTER JOIN"},
        {",", ","},
    };
    const auto& j = r_.Pick(kJoins);
    const bool swap = r_.Chance(30);
    const TTableShape& left = swap ? t2 : t1;
    const TTableShape& right = swap ? t1 : t2;
    std::string cols;
    const int n = 1 + r_.Below(3);
    for (int i = 0; i < n; ++i) {
      const TTableShape& from = r_.Chance(50) ? left : right;
      cols += (i ? ", " : "") + std::string(from.name) + "." + r_.Pick(from.columns).name;
    }
    const std::string on = std::string(left.name) + ".A = " + right.name + ".A";
    std::string e = "SELECT " + cols + " FROM " + left.name, s = e;
    if (std::string(j.engine) == ",") {
      e += std::string(", ") + right.name + " WHERE " + on;
      s += std::string(", ") + right.name + " WHERE " + on;
      if (r_.Chance(50)) {
        TExpr c = Condition(left, left.name);
        e += " AND (" + c.engine + ")";
        s += " AND (" + c.sqlite + ")";
      }
    } else {
      e += std::string(" ") + j.engine + " " + right.name + " ON " + on;
      s += std::string(" ") + j.sqlite + " " + right.name + " ON " + on;
      if (r_.Chance(40)) {
        TExpr c = Condition(left, left.name);
        e += " WHERE " + c.engine;
        s += " WHERE " + c.sqlite;
      }
    }
    CompareSelect(e, s);
  }

  // WHERE f IN (subquery), f op ANY/ALL (subquery).
  void SubquerySelect() {
    const TTableShape& t = RandomTable();
    const TTableShape& u = r_.Pick(kShapes);
    TRef f = RandomRefOf(t, "", true);
    TRef g = RandomRefOf(u, "", true);
    std::string sub = std::string(" FROM ") + u.name, liteSub = sub;
    if (r_.Chance(60)) {
      TExpr c = Condition(u, "");
      sub += " WHERE " + c.engine;
      liteSub += " WHERE " + c.sqlite;
    }
    std::string e = std::string("SELECT ") + t.columns[0].name + ", " + f.plain + " FROM " + t.name + " WHERE ";
    std::string s = std::string("SELECT ") + t.columns[0].name + ", " + f.plain + " FROM " + t.name + " WHERE ";
    // SQLite has no ANY/ALL: each is written as EXISTS over the subquery.
    // The subquery's values are the stored ones, nulls included.
    static const char* const kOps[] = {"=", "<>", "<", ">", "<=", ">="};
    const char* op = r_.Pick(kOps);
    const std::string liteInner = "(SELECT " + g.plain + liteSub + ")";
    const std::string values = "(SELECT " + g.plain + " AS V" + liteSub + ")";
    switch (r_.Below(4)) {
      case 0:
        e += f.engine + " IN (SELECT " + g.engine + sub + ")";
        s += Two(f.plain + " IN " + liteInner);
        break;
      case 1:
        e += f.engine + " NOT IN (SELECT " + g.engine + sub + ")";
        s += Two(f.plain + " NOT IN " + liteInner);
        break;
      case 2:
        e += f.engine + " " + op + " ANY (SELECT " + g.engine + sub + ")";
        s += "EXISTS (SELECT 1 FROM " + values + " WHERE " + Two(f.plain + " " + op + " V") + ")";
        break;
      default:
        e += f.engine + " " + op + " ALL (SELECT " + g.engine + sub + ")";
        s += "NOT EXISTS (SELECT 1 FROM " + values + " WHERE NOT " + Two(f.plain + " " + op + " V") + ")";
        break;
    }
    CompareSelect(e, s);
  }

  void Update() {
    const TTableShape& t = RandomTable();
    std::string e = std::string("UPDATE ") + t.name + " SET ", s = e;
    const int n = 1 + r_.Below(2);
    std::set<std::string> done;
    for (int i = 0; i < n; ++i) {
      const TColumn& c = r_.Pick(t.columns);
      if (!done.insert(c.name).second) continue;
      std::string ev, sv;
      const int k = r_.Below(10);
      if (k < 6) {
        TLiteral l = RandomLiteral(r_, c.kind);
        ev = l.engine, sv = l.sqlite;
      } else if (k < 8 && c.kind != kText && c.kind != kDate) {
        // A field of the row (never null: a null value would leave the
        // field unchanged) plus a literal.
        TRef f = RandomRefOf(t, "", true);
        ev = f.engine + " + 1", sv = f.sqlite + " + 1";
        if (c.kind == kSmall || c.kind == kInt) ev = sv = "";
      } else {
        ev = sv = "NULL";
      }
      if (ev.empty()) {
        TLiteral l = RandomLiteral(r_, c.kind);
        ev = l.engine, sv = l.sqlite;
      }
      e += std::string(done.size() > 1 ? ", " : "") + c.name + " = " + ev;
      s += std::string(done.size() > 1 ? ", " : "") + c.name + " = " + sv;
    }
    if (r_.Chance(80)) {
      TExpr c = Condition(t, "");
      e += " WHERE " + c.engine;
      s += " WHERE " + c.sqlite;
    }
    CompareChange(e, s);
  }

  void Delete() {
    const TTableShape& t = RandomTable();
    std::string e = std::string("DELETE FROM ") + t.name, s = e;
    if (r_.Chance(85)) {
      TExpr c = Condition(t, "");
      e += " WHERE " + c.engine;
      s += " WHERE " + c.sqlite;
    }
    CompareChange(e, s);
    if (r_.Chance(30)) Refill(t);
  }

  void Insert() { Refill(RandomTable(), 1 + r_.Below(3)); }

  // INSERT rows of literals (with nulls), naming the fields or not.
  void Refill(const TTableShape& t, int rows = 3) {
    for (int i = 0; i < rows; ++i) {
      const bool named = r_.Chance(50);
      std::string names, ev, sv;
      for (size_t f = 0; f < t.columns.size(); ++f) {
        const TColumn& c = t.columns[f];
        if (named && r_.Chance(30)) continue;
        std::string e = "NULL", s = "NULL";
        if (!r_.Chance(15)) {
          TLiteral l = RandomLiteral(r_, c.kind);
          e = l.engine, s = l.sqlite;
        }
        names += (names.empty() ? "" : ", ") + std::string(c.name);
        ev += (ev.empty() ? "" : ", ") + e;
        sv += (sv.empty() ? "" : ", ") + s;
      }
      if (names.empty()) continue;
      const std::string target = std::string("INSERT INTO ") + t.name + (named ? " (" + names + ")" : "");
      CompareChange(target + " VALUES (" + ev + ")", target + " VALUES (" + sv + ")");
    }
  }

  TRandom r_;
  TMemFileSystem fs_;
  TUdbDataBase db_;
  TUdbQuery q_;
  sqlite3* lite_ = nullptr;
  std::vector<std::string> faults_;
  int statements_ = 0;
};

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// Every join form over two tables with nulls in the join field, unmatched
// rows on both sides and a partner met twice.
TEST(SqlDifferentialTest, EveryJoinFormAgreesWithSQLite) {
  SqlDifferential d(1);
  d.SetRows("T1", {{"1", "'p'", "10.5", "1", "NULL"},
                   {"1", "'工资'", "NULL", "2", "37622"},
                   {"2", "'q'", "7", "NULL", "37623"},
                   {"NULL", "'r'", "1", "3", "NULL"},
                   {"4", "NULL", "2", "4", "37621"}});
  d.SetRows("T2", {{"1", "'one'", "1"}, {"1", "'一'", "2"}, {"3", "'three'", "NULL"}, {"NULL", "'none'", "4"}});
  const struct {
    const char* engine;
    const char* sqlite;  // when SQLite spells it otherwise
  } joins[] = {
      {"JOIN", nullptr},           {"INNER JOIN", nullptr},      {"LEFT JOIN", nullptr},
      {"LEFT OUTER JOIN", nullptr}, {"LEFT INNER JOIN", "INNER JOIN"}, {"OUTER JOIN", "LEFT OUTER JOIN"},
      {"RIGHT JOIN", nullptr},     {"RIGHT OUTER JOIN", nullptr}, {"RIGHT INNER JOIN", "INNER JOIN"},
      {"FULL OUTER JOIN", nullptr},
  };
  const char* tails[] = {"", " WHERE T1.X > 2", " WHERE T2.C IS NULL", " WHERE T1.A IS NULL OR T2.Y = 4"};
  for (const auto& j : joins) {
    for (const char* tail : tails) {
      for (const char* order : {"T1 %s T2 ON T1.A = T2.A", "T2 %s T1 ON T2.A = T1.A"}) {
        auto statement = [&](const char* kind) {
          char from[128];
          std::snprintf(from, sizeof from, order, kind);
          return std::string("SELECT T1.A, T1.B, T1.X, T2.A, T2.C, T2.Y FROM ") + from + tail;
        };
        std::vector<std::string> faults = d.Compare(statement(j.engine), statement(j.sqlite ? j.sqlite : j.engine));
        for (const std::string& f : faults) ADD_FAILURE() << f;
      }
    }
  }
}

// Each database runs a few hundred statements from fresh random tables, so
// that empty, small and duplicate-heavy tables all occur.
TEST(SqlDifferentialTest, StatementsAgreeWithSQLiteOnTheSameData) {
  const int total = EnvInt("PAYROLL_SQLDIFF_STATEMENTS", 3000);
  const unsigned seed = static_cast<unsigned>(EnvInt("PAYROLL_SQLDIFF_SEED", 47));
  std::vector<std::string> faults;
  int run = 0;
  for (unsigned round = 0; run < total && faults.empty(); ++round) {
    SqlDifferential d(seed * 7919u + round);
    faults = d.Run(std::min(300, total - run));
    run += d.Statements();
  }
  std::string all;
  for (const std::string& f : faults) all += f + "\n";
  EXPECT_TRUE(faults.empty()) << run << " statements, first disagreements:\n" << all;
}

}  // namespace
