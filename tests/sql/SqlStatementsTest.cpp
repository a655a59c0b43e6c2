// Statements that once were refused or gave wrong rows, each run both ways
// a program runs SQL: through TSqlQuery over in-memory datasets and through
// TUdbQuery over engine tables holding the same rows.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/SqlQuery.h"
#include "sql/UdbQuery.h"
#include "tests/data/MemDataSet.h"
#include "tests/udb/MemFileSystem.h"

namespace {

using Rows = std::vector<std::string>;

struct TFixtureTable {
  const char* name;
  std::vector<std::pair<const char*, TFieldType>> fields;
  std::vector<std::vector<Variant>> rows;
};

// T(A, B, X) and U(A, C): U's A = 1 meets three rows of T, its A = 3 none;
// T's A = 2 has no partner in U.
const std::vector<TFixtureTable> kTables = {
    {"T",
     {{"A", ftInteger}, {"B", ftString}, {"X", ftFloat}},
     {{1, "p", 10.0}, {1, "p", 5.0}, {1, "q", 7.0}, {2, "q", 1.0}}},
    {"U", {{"A", ftInteger}, {"C", ftString}}, {{1, "one"}, {3, "three"}}},
};

std::string Text(TField* f) { return f->IsNull() ? std::string("null") : std::string(f->AsString()); }

Rows RowsOf(TDataSet& ds, bool sorted) {
  Rows rows;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::string line;
    for (int c = 0; c < ds.FieldCount(); ++c) line += (c ? "|" : "") + Text(ds.Fields()->Fields(c));
    rows.push_back(line);
  }
  if (sorted) std::sort(rows.begin(), rows.end());
  return rows;
}

// A statement on a TSqlQuery or a TUdbQuery.
template <class TQuery>
Rows SelectOn(TQuery& q, const std::string& sql, bool sorted) {
  q.Close();
  q.SQL()->SetText(sql);
  q.Open();
  return RowsOf(q, sorted);
}
template <class TQuery>
void ExecOn(TQuery& q, const std::string& sql) {
  q.Close();
  q.SQL()->SetText(sql);
  q.ExecSQL();
}

// The fixture as in-memory datasets under a TSqlQuery.
struct TMemSide {
  std::vector<std::unique_ptr<TMemDataSet>> tables;
  TSqlQuery q{nullptr};
  TMemSide() {
    for (const TFixtureTable& t : kTables) {
      auto ds = std::make_unique<TMemDataSet>();
      for (const auto& [name, type] : t.fields) ds->AddColumn(name, type, type == ftString ? 10 : 0);
      for (const auto& row : t.rows) ds->AddRow(row);
      ds->Open();
      q.AddDataSet(ds.get(), t.name);
      tables.push_back(std::move(ds));
    }
  }
  Rows Select(const std::string& sql, bool sorted) { return SelectOn(q, sql, sorted); }
  int Exec(const std::string& sql) {
    ExecOn(q, sql);
    return q.RowsAffected;
  }
};

// The fixture as engine tables under a TUdbQuery.
struct TEngineSide {
  TMemFileSystem fs;
  TUdbDataBase db;
  TUdbQuery q;
  TEngineSide() {
    db.SetFileSystem(&fs);
    db.SetDataBaseName("STMT.udb");
    db.CreateDatabase();
    db.SetConnected(true);
    for (const TFixtureTable& t : kTables) {
      TUdbTable table;
      table.SetDataBase(&db);
      table.SetTableName(t.name);
      for (const auto& [name, type] : t.fields) table.FieldDefs()->Add(name, type, type == ftString ? 10 : 0);
      table.CreateTable();
      table.Open();
      for (const auto& row : t.rows) {
        table.Append();
        for (size_t i = 0; i < row.size(); ++i)
          if (!row[i].IsNull()) table.Fields()->Fields(static_cast<int>(i))->SetAsVariant(row[i]);
        table.Post();
      }
      table.Close();
    }
    q.SetDataBase(&db);
  }
  Rows Select(const std::string& sql, bool sorted) { return SelectOn(q, sql, sorted); }
  int Exec(const std::string& sql) {
    ExecOn(q, sql);
    return q.RowsAffected();
  }
};

struct TSelectCase {
  const char* sql;
  Rows rows;  // sorted unless the statement orders them
};

void CheckSelects(const std::vector<TSelectCase>& cases) {
  TMemSide mem;
  TEngineSide engine;
  for (const TSelectCase& c : cases) {
    const bool sorted = std::string(c.sql).find("ORDER BY") == std::string::npos;
    Rows want = c.rows;
    if (sorted) std::sort(want.begin(), want.end());
    try {
      EXPECT_EQ(mem.Select(c.sql, sorted), want) << "TSqlQuery: " << c.sql;
    } catch (const Exception& e) {
      ADD_FAILURE() << "TSqlQuery: " << c.sql << ": " << e.Message();
    }
    try {
      EXPECT_EQ(engine.Select(c.sql, sorted), want) << "TUdbQuery: " << c.sql;
    } catch (const Exception& e) {
      ADD_FAILURE() << "TUdbQuery: " << c.sql << ": " << e.Message();
    }
  }
}

TEST(SqlStatements, AllColumnsArgumentNeverOpensAComment) {
  CheckSelects({
      {"SELECT A, COUNT(*) FROM T GROUP BY A HAVING COUNT(*) > 1", {"1|3"}},
      {"SELECT COUNT(*), SUM(X), COUNT(*) FROM T", {"4|23|4"}},
      {"SELECT COUNT(*) FROM T WHERE A IN (SELECT COUNT(*) FROM U)", {"1"}},
      {"SELECT A, B (* a real comment *) FROM T WHERE X > 6", {"1|p", "1|q"}},
  });
}

TEST(SqlStatements, EveryJoinFormGivesTheRowsSqlGivesIt) {
  const Rows inner = {"1|p|one", "1|p|one", "1|q|one"};
  auto plus = [](Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Rows left = plus(inner, {"2|q|null"}), right = plus(inner, {"null|null|three"});
  CheckSelects({
      {"SELECT T.A, T.B, U.C FROM T JOIN U ON T.A = U.A", inner},
      {"SELECT T.A, T.B, U.C FROM T INNER JOIN U ON T.A = U.A", inner},
      {"SELECT T.A, T.B, U.C FROM T LEFT INNER JOIN U ON T.A = U.A", inner},
      {"SELECT T.A, T.B, U.C FROM T RIGHT INNER JOIN U ON T.A = U.A", inner},
      {"SELECT T.A, T.B, U.C FROM T LEFT JOIN U ON T.A = U.A", left},
      {"SELECT T.A, T.B, U.C FROM T LEFT OUTER JOIN U ON T.A = U.A", left},
      {"SELECT T.A, T.B, U.C FROM T OUTER JOIN U ON T.A = U.A", left},
      {"SELECT T.A, T.B, U.C FROM T RIGHT JOIN U ON T.A = U.A", right},
      {"SELECT T.A, T.B, U.C FROM T RIGHT OUTER JOIN U ON T.A = U.A", right},
      {"SELECT T.A, T.B, U.C FROM T FULL OUTER JOIN U ON T.A = U.A", plus(left, {"null|null|three"})},
      // The WHERE judges the joined rows, the null side's included.
      {"SELECT U.C, T.B FROM T RIGHT JOIN U ON T.A = U.A WHERE U.A = 3", {"three|null"}},
      {"SELECT T.A, U.C FROM T FULL OUTER JOIN U ON T.A = U.A WHERE T.X > 6", {"1|one", "1|one"}},
      {"SELECT T.A, U.C FROM T FULL OUTER JOIN U ON T.A = U.A WHERE U.C IS NULL", {"2|null"}},
  });
}

TEST(SqlStatements, AnAggregateWithoutGroupByGivesOneRowOverNoRows) {
  CheckSelects({
      {"SELECT COUNT(*) FROM T WHERE A = 99", {"0"}},
      {"SELECT SUM(X) FROM T WHERE A = 99", {"null"}},
      {"SELECT COUNT(*), SUM(X), MAX(X) FROM T WHERE A = 99", {"0|null|null"}},
      {"SELECT A, COUNT(*) FROM T WHERE A = 99 GROUP BY A", {}},
      {"SELECT COUNT(*), SUM(X) FROM T", {"4|23"}},
  });
}

TEST(SqlStatements, SetToNullStoresANull) {
  for (int side = 0; side < 2; ++side) {
    TMemSide mem;
    TEngineSide engine;
    auto exec = [&](const std::string& sql) { return side == 0 ? mem.Exec(sql) : engine.Exec(sql); };
    auto select = [&](const std::string& sql) { return side == 0 ? mem.Select(sql, true) : engine.Select(sql, true); };
    EXPECT_EQ(exec("UPDATE T SET X = NULL, B = NULL WHERE B = 'q'"), 2) << side;
    EXPECT_EQ(select("SELECT A, B, X FROM T"), (Rows{"1|null|null", "1|p|10", "1|p|5", "2|null|null"})) << side;
    // A null-valued expression still leaves the field as it was.
    EXPECT_EQ(exec("UPDATE T SET X = 1 WHERE A = 2"), 1) << side;
    EXPECT_EQ(select("SELECT X FROM T WHERE A = 2"), Rows{"1"}) << side;
  }
}

TEST(SqlStatements, SetValuesReadTheRowAsItWasBeforeTheUpdate) {
  for (int side = 0; side < 2; ++side) {
    TMemSide mem;
    TEngineSide engine;
    auto exec = [&](const std::string& sql) { return side == 0 ? mem.Exec(sql) : engine.Exec(sql); };
    auto select = [&](const std::string& sql) { return side == 0 ? mem.Select(sql, true) : engine.Select(sql, true); };
    EXPECT_EQ(exec("UPDATE T SET A = 5, X = A + 1 WHERE B = 'q'"), 2) << side;
    EXPECT_EQ(select("SELECT A, X FROM T WHERE B = 'q'"), (Rows{"5|2", "5|3"})) << side;
  }
}

// UPDATE .. SET X = (SELECT ..) WHERE ..: the n-th row passing the WHERE
// takes the subquery's n-th row; rows the WHERE leaves out keep their values,
// also when the change takes a row out of the WHERE; a subquery with too few
// rows changes nothing.
TEST(SqlStatements, UpdateFromASubqueryChangesOnlyTheRowsItsWhereChooses) {
  const struct {
    const char* sql;
    int affected;  // -1: refused
    Rows after;    // A|B|X, sorted
  } cases[] = {
      {"UPDATE T SET X = (SELECT A FROM U) WHERE B = 'q'", 2, {"1|p|10", "1|p|5", "1|q|1", "2|q|3"}},
      {"UPDATE T SET X = (SELECT A FROM U) WHERE X > 6", 2, {"1|p|1", "1|p|5", "1|q|3", "2|q|1"}},
      {"UPDATE T SET X = (SELECT A FROM U) WHERE X > 100", 0, {"1|p|10", "1|p|5", "1|q|7", "2|q|1"}},
      {"UPDATE T SET X = (SELECT A FROM U) WHERE A = 1", -1, {"1|p|10", "1|p|5", "1|q|7", "2|q|1"}},
  };
  for (const auto& c : cases) {
    for (int side = 0; side < 2; ++side) {
      SCOPED_TRACE(std::string(c.sql) + (side ? " (TUdbQuery)" : " (TSqlQuery)"));
      TMemSide mem;
      TEngineSide engine;
      auto exec = [&](const std::string& sql) { return side == 0 ? mem.Exec(sql) : engine.Exec(sql); };
      auto select = [&](const std::string& sql) { return side == 0 ? mem.Select(sql, true) : engine.Select(sql, true); };
      if (c.affected < 0)
        EXPECT_THROW(exec(c.sql), Exception);
      else
        EXPECT_EQ(exec(c.sql), c.affected);
      EXPECT_EQ(select("SELECT A, B, X FROM T"), c.after);
    }
  }
}

// A null reads as null through the query: IsNull, a Null variant; AsFloat
// and AsString still give 0 and "" (what sums and printed cells read).
TEST(SqlStatements, NullsReadAsNullThroughTheQueries) {
  TMemSide mem;
  TEngineSide engine;
  for (TDataSet* q : {static_cast<TDataSet*>(&mem.q), static_cast<TDataSet*>(&engine.q)}) {
    if (q == &mem.q)
      mem.Select("SELECT T.A, T.X, U.C FROM T LEFT JOIN U ON T.A = U.A WHERE T.A = 2", false);
    else
      engine.Select("SELECT T.A, T.X, U.C FROM T LEFT JOIN U ON T.A = U.A WHERE T.A = 2", false);
    ASSERT_EQ(q->RecordCount(), 1);
    TField* c = q->Fields()->Fields(2);
    TField* x = q->Fields()->Fields(1);
    EXPECT_TRUE(c->IsNull());
    EXPECT_TRUE(c->AsVariant().IsNull());
    EXPECT_EQ(c->AsString(), "");
    EXPECT_FALSE(x->IsNull());
    EXPECT_EQ(x->AsFloat(), 1);
  }
  mem.Select("SELECT SUM(X), COUNT(*) FROM T WHERE A = 99", false);
  EXPECT_TRUE(mem.q.Fields()->Fields(0)->AsVariant().IsNull());
  EXPECT_EQ(mem.q.Fields()->Fields(0)->AsFloat(), 0);
  EXPECT_FALSE(mem.q.Fields()->Fields(1)->IsNull());
}

}  // namespace
