// The query dataset: a result presented as records (field names, types and
// stored forms, bookmarks, record numbers, filters, Locate/Lookup, the
// read-only rule) and SQL statements run over in-memory source datasets.
#include "sql/SqlQuery.h"

#include <gtest/gtest.h>

#include "platform/core/DateTime.h"
#include "platform/core/Streams.h"
#include "platform/data/DataSource.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/SqlErrors.h"
#include "sql/SqlMessages.h"
#include "tests/data/MemDataSet.h"

namespace {

// A query over a hand-made result (what the executor hands a derived
// table).
struct TPrebuilt {
  TSqlQuery q{nullptr};
  std::unique_ptr<TMemResultSet> rs = std::make_unique<TMemResultSet>();
  void Open() {
    q.SetPrebuiltResult(std::move(rs));
    q.Open();
  }
};

AnsiString FieldNames(TDataSet& ds) {
  AnsiString out;
  for (int i = 0; i < ds.FieldCount(); ++i) out += (i ? "," : "") + ds.Fields()->Fields(i)->FieldName();
  return out;
}

TEST(SqlQueryResult, FieldsAreNamedByCaptionWithSuffixesForDuplicates) {
  TPrebuilt p;
  p.rs->AddField("ID", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  p.rs->AddField("ID", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  p.rs->AddField("", "", false, 0, 0, 0, nullptr, 4, ttString);
  p.rs->AddField("T.Name", "", false, 0, 0, 0, nullptr, 4, ttString);
  p.rs->AddField("工号", "X", false, 0, 0, 0, nullptr, 4, ttString);
  p.Open();
  EXPECT_EQ(FieldNames(p.q), "ID,ID_1,NULL,Name,工号");
}

TEST(SqlQueryResult, TypesAndValuesOfEveryColumnKind) {
  TPrebuilt p;
  TsqField* s = p.rs->AddField("S", "", false, 0, 0, 0, nullptr, 6, ttString);
  TsqField* f = p.rs->AddField("F", "", false, 0, 0, 0, nullptr, 0, ttFloat);
  TsqField* i = p.rs->AddField("I", "", false, 0, 0, 0, nullptr, 0, ttInteger);
  TsqField* b = p.rs->AddField("B", "", false, 0, 0, 0, nullptr, 0, ttBoolean);
  TsqField* d = p.rs->AddField("D", "", false, 0, 346, 0, nullptr, 0, ttFloat);  // CAST AS DATE
  p.rs->Insert();
  s->SetAsString("张三丰");
  f->SetAsFloat(1234567890123.25);
  i->SetAsInteger(-7);
  b->SetAsBoolean(true);
  d->SetAsFloat(0);  // a cast date of 0 reads as that value, not null
  p.rs->Insert();
  s->SetAsString("abcdefg");  // cut to the declared width
  p.Open();
  EXPECT_EQ(p.q.FieldByName("S")->DataType(), ftString);
  EXPECT_EQ(p.q.FieldByName("S")->Size(), 6);
  EXPECT_EQ(p.q.FieldByName("F")->DataType(), ftFloat);
  EXPECT_EQ(p.q.FieldByName("I")->DataType(), ftInteger);
  EXPECT_EQ(p.q.FieldByName("B")->DataType(), ftBoolean);
  EXPECT_EQ(p.q.FieldByName("D")->DataType(), ftDate);
  EXPECT_EQ(p.q.FieldByName("S")->AsString(), "张三丰");
  EXPECT_EQ(p.q.FieldByName("F")->AsFloat(), 1234567890123.25);
  EXPECT_EQ(p.q.FieldByName("I")->AsInteger(), -7);
  EXPECT_TRUE(p.q.FieldByName("B")->AsBoolean());
  EXPECT_FALSE(p.q.FieldByName("D")->IsNull());
  p.q.Next();
  EXPECT_EQ(p.q.FieldByName("S")->AsString(), "abcdef");
}

TEST(SqlQueryResult, ADateFromASourceDateFieldIsNullOnlyWhenWhollyZero) {
  TMemDataSet src;
  src.AddColumn("HIRED", ftDate);
  src.AddColumn("AT", ftDateTime);
  src.Open();
  TPrebuilt p;
  TsqField* d = p.rs->AddField("HIRED", "", false, 0, 0, 0, src.FieldByName("HIRED"), 0, ttFloat);
  TsqField* t = p.rs->AddField("AT", "", false, 0, 0, 0, src.FieldByName("AT"), 0, ttFloat);
  p.rs->Insert();
  d->SetAsFloat(0);
  t->SetAsFloat(0);
  p.rs->Insert();
  d->SetAsFloat(EncodeDate(2026, 12, 10));
  // A date-time whose first four stored bytes are zero but not the rest.
  t->SetAsFloat(EncodeDate(2026, 12, 10) + 0.5);
  p.Open();
  EXPECT_EQ(p.q.FieldByName("HIRED")->DataType(), ftDate);
  EXPECT_TRUE(p.q.FieldByName("HIRED")->IsNull());
  EXPECT_TRUE(p.q.FieldByName("AT")->IsNull());
  p.q.Next();
  EXPECT_EQ(p.q.FieldByName("HIRED")->AsDateTime(), EncodeDate(2026, 12, 10));
  EXPECT_EQ(p.q.FieldByName("AT")->AsDateTime(), EncodeDate(2026, 12, 10) + 0.5);
}

TEST(SqlQueryResult, PersistentFieldsReadTheirColumnsByName) {
  TPrebuilt p;
  TsqField* a = p.rs->AddField("A", "", false, 0, 0, 0, nullptr, 4, ttString);
  TsqField* b = p.rs->AddField("B", "", false, 0, 0, 0, nullptr, 0, ttFloat);
  p.rs->Insert();
  a->SetAsString("x1");
  b->SetAsFloat(2.5);
  // Declared in another order than the columns.
  auto* fb = new TFloatField(&p.q);
  fb->SetFieldName("B");
  fb->SetDataSet(&p.q);
  auto* fa = new TStringField(&p.q);
  fa->SetFieldName("A");
  fa->SetSize(4);
  fa->SetDataSet(&p.q);
  p.Open();
  EXPECT_EQ(p.q.FieldByName("A")->AsString(), "x1");
  EXPECT_DOUBLE_EQ(p.q.FieldByName("B")->AsFloat(), 2.5);
}

class SqlQueryRows : public ::testing::Test {
 protected:
  void SetUp() override {
    TsqField* code = p.rs->AddField("CODE", "", false, 0, 0, 0, nullptr, 4, ttString);
    TsqField* pay = p.rs->AddField("PAY", "", false, 0, 0, 0, nullptr, 0, ttFloat);
    const char* codes[] = {"A1", "B2", "a3", "C4"};
    for (int i = 0; i < 4; ++i) {
      p.rs->Insert();
      code->SetAsString(codes[i]);
      pay->SetAsFloat(100.0 * (i + 1));
    }
    p.Open();
  }
  TPrebuilt p;
};

TEST_F(SqlQueryRows, RecordNumbersAndCounts) {
  EXPECT_EQ(p.q.RecordCount(), 4);
  EXPECT_EQ(p.q.RecNo(), 1);
  p.q.Last();
  EXPECT_EQ(p.q.RecNo(), 4);
  p.q.SetRecNo(2);
  EXPECT_EQ(p.q.FieldByName("CODE")->AsString(), "B2");
  p.q.SetRecNo(0);  // out of range: nothing happens
  p.q.SetRecNo(5);
  EXPECT_EQ(p.q.RecNo(), 2);
}

TEST_F(SqlQueryRows, BookmarksCompareAndGoBack) {
  p.q.SetRecNo(3);
  TBookmark mark = p.q.GetBookmark();
  p.q.First();
  TBookmark first = p.q.GetBookmark();
  EXPECT_EQ(p.q.CompareBookmarks(first, mark), -1);
  EXPECT_EQ(p.q.CompareBookmarks(mark, first), 1);
  EXPECT_EQ(p.q.CompareBookmarks(mark, mark), 0);
  p.q.GotoBookmark(mark);
  EXPECT_EQ(p.q.FieldByName("CODE")->AsString(), "a3");
  std::int32_t bad = 9;
  EXPECT_FALSE(p.q.BookmarkValid(reinterpret_cast<TBookmark>(&bad)));
  TDataSet::FreeBookmark(mark);
  TDataSet::FreeBookmark(first);
}

TEST_F(SqlQueryRows, TheResultIsReadOnly) {
  EXPECT_FALSE(p.q.CanModify());
  EXPECT_THROW(p.q.Edit(), EDatabaseError);
  EXPECT_THROW(p.q.Append(), EDatabaseError);
  EXPECT_THROW(p.q.Delete(), EDatabaseError);
  EXPECT_EQ(p.q.RecordCount(), 4);
}

TEST_F(SqlQueryRows, FilterExpressionAndRecordNumbersAmongPassingRows) {
  p.q.SetFilter("PAY > 150");
  p.q.SetFiltered(true);
  EXPECT_FALSE(p.q.IsSequenced());
  EXPECT_EQ(p.q.RecordCount(), 3);
  EXPECT_EQ(p.q.FieldByName("CODE")->AsString(), "B2");
  p.q.Next();
  EXPECT_EQ(p.q.RecNo(), 2);
  EXPECT_EQ(p.q.FieldByName("CODE")->AsString(), "a3");
  p.q.SetFilter("PAY < 150");
  EXPECT_EQ(p.q.RecordCount(), 1);
  EXPECT_EQ(p.q.FieldByName("CODE")->AsString(), "A1");
  p.q.SetFiltered(false);
  EXPECT_EQ(p.q.RecordCount(), 4);
}

TEST_F(SqlQueryRows, OnFilterRecordAndAnUnparsableFilter) {
  p.q.SetOnFilterRecord([](TDataSet* ds, bool& accept) {
    accept = ds->FieldByName("CODE")->AsString() != "B2";
  });
  p.q.SetFiltered(true);
  EXPECT_EQ(p.q.RecordCount(), 3);
  EXPECT_THROW(p.q.SetFilter("PAY >"), Exception);
}

TEST_F(SqlQueryRows, LocateFindsRowsTheFilterHidesAndLookupStays) {
  p.q.SetFilter("PAY < 150");
  p.q.SetFiltered(true);
  // Only a row the filter shows can become current.
  EXPECT_FALSE(p.q.Locate("CODE", Variant(AnsiString("C4")), TLocateOptions{}));
  EXPECT_EQ(p.q.Lookup("CODE", Variant(AnsiString("C4")), "PAY").AsDouble(), 400);
  p.q.SetFiltered(false);
  EXPECT_TRUE(p.q.Locate("CODE", Variant(AnsiString("A3")), TLocateOptions{loCaseInsensitive}));
  EXPECT_EQ(p.q.FieldByName("PAY")->AsFloat(), 300);
  EXPECT_TRUE(p.q.Locate("CODE", Variant(AnsiString("B")), TLocateOptions{loPartialKey}));
  EXPECT_EQ(p.q.RecNo(), 2);
  EXPECT_FALSE(p.q.Locate("CODE", Variant(AnsiString("Z")), TLocateOptions{}));
  EXPECT_EQ(p.q.Lookup("CODE", Variant(AnsiString("C4")), "PAY").AsDouble(), 400);
  EXPECT_EQ(p.q.RecNo(), 2);
  EXPECT_TRUE(p.q.Lookup("CODE", Variant(AnsiString("Q")), "PAY").IsNull());
}

TEST(SqlQuery, StatementErrors) {
  TSqlQuery q(nullptr);
  EXPECT_THROW(
      {
        try {
          q.Open();
        } catch (const ESqlQueryError& e) {
          EXPECT_EQ(e.Message(), SqlMessage(kSqlEmptyStatement));
          throw;
        }
      },
      ESqlQueryError);
  q.SQL()->SetText("SELECT FROM WHERE");  // reported when it runs, not while typed
  EXPECT_THROW(q.Open(), ESqlQueryError);
  int line = -1, column = -1;
  q.OnSyntaxError = [&](TObject*, const AnsiString&, const AnsiString&, int l, int c, int) {
    line = l;
    column = c;
  };
  EXPECT_THROW(q.Open(), EAbort);
  EXPECT_EQ(line, 1);
  EXPECT_GE(column, 0);
}

TEST(SqlQuery, ParametersAreRebuiltKeepingValuesAndSqlIsComparedExactly) {
  TSqlQuery q(nullptr);
  q.SQL()->SetText("SELECT * FROM emp WHERE dept = :dept AND pay > :pay");
  ASSERT_EQ(q.Params()->Count(), 2);
  q.Params()->ParamByName("dept")->SetAsString("01");
  q.SQL()->SetText("SELECT * FROM emp WHERE dept = :dept");
  ASSERT_EQ(q.Params()->Count(), 1);
  EXPECT_EQ(q.Params()->ParamByName("dept")->AsString(), "01");
  TStringList other;
  other.SetText("select * FROM emp WHERE dept = :dept");
  q.SetSQL(&other);
  EXPECT_EQ(q.SQL()->Text(), other.Text());
}

TEST(SqlQuery, AliasesAndCircularSources) {
  TSqlQuery q(nullptr);
  TMemDataSet emp;
  emp.SetName("Emp");
  q.AddDataSet(&emp, "");
  EXPECT_EQ(q.DataSets().Items(0)->Alias(), "Emp");
  EXPECT_THROW(q.AddDataSet(&emp, "EMP"), ESqlQueryError);
  TDataSource self(nullptr);
  self.SetDataSet(&q);
  EXPECT_THROW(q.SetDataSource(&self), ESqlQueryError);
}

}  // namespace

namespace {

// Employees over departments, with a memo column.
class SqlQueryOverSources : public ::testing::Test {
 protected:
  void SetUp() override {
    dept.AddColumn("DEPT", ftString, 4);
    dept.AddRow({Variant(AnsiString("01"))});
    dept.AddRow({Variant(AnsiString("02"))});
    dept.Open();
    emp.AddColumn("NAME", ftString, 10);
    emp.AddColumn("DEPT", ftString, 4);
    emp.AddColumn("PAY", ftFloat);
    emp.AddColumn("NOTE", ftMemo);
    emp.AddRow({Variant(AnsiString("张三")), Variant(AnsiString("01")), Variant(1000.0),
                Variant(AnsiString("备注一"))});
    emp.AddRow({Variant(AnsiString("李四")), Variant(AnsiString("01")), Variant(1200.0), Variant()});
    emp.AddRow({Variant(AnsiString("王五")), Variant(AnsiString("02")), Variant(900.0), Variant()});
    emp.Open();
    q.AddDataSet(&emp, "emp");
  }
  std::vector<AnsiString> Names() {
    std::vector<AnsiString> out;
    for (q.First(); !q.Eof(); q.Next()) out.push_back(q.Fields()->Fields(0)->AsString());
    return out;
  }
  TMemDataSet dept, emp;
  TSqlQuery q{nullptr};
};

TEST_F(SqlQueryOverSources, ParametersTakeTheMastersFieldsAndFollowIt) {
  TDataSource master(nullptr);
  master.SetDataSet(&dept);
  q.SQL()->SetText("SELECT NAME FROM emp WHERE DEPT = :DEPT ORDER BY NAME");
  q.SetDataSource(&master);
  q.Open();
  EXPECT_EQ(Names(), (std::vector<AnsiString>{"李四", "张三"}));
  dept.Next();
  EXPECT_EQ(Names(), (std::vector<AnsiString>{"王五"}));
  q.SetDataSource(nullptr);
}

TEST_F(SqlQueryOverSources, ADerivedTableIsAQueryOfItsOwn) {
  q.SQL()->SetText(
      "SELECT t.DEPT, t.TOTAL FROM (SELECT DEPT, SUM(PAY) AS TOTAL FROM emp GROUP BY DEPT) t "
      "WHERE t.TOTAL > 1000");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.FieldByName("DEPT")->AsString(), "01");
  EXPECT_DOUBLE_EQ(q.FieldByName("TOTAL")->AsFloat(), 2200);
  q.Close();
  EXPECT_EQ(q.DataSets().Count(), 1);  // the derived table went with the result
}

TEST_F(SqlQueryOverSources, ADerivedTableOfAnUnsetParameterHoldsEmptyTexts) {
  q.SQL()->SetText("SELECT X FROM (SELECT :P AS X FROM emp) t");
  q.Open();
  EXPECT_EQ(Names(), (std::vector<AnsiString>{"", "", ""}));
}

TEST_F(SqlQueryOverSources, BlobsAreReadFromTheSourceRow) {
  q.SQL()->SetText("SELECT NAME, NOTE, PAY FROM emp ORDER BY PAY");
  q.Open();
  q.Last();  // 李四, no note
  std::unique_ptr<TStream> none(q.CreateBlobStream(q.FieldByName("NOTE"), bmRead));
  EXPECT_EQ(none->Size(), 0);
  q.Prior();  // 张三
  EXPECT_EQ(q.FieldByName("NAME")->AsString(), "张三");
  EXPECT_EQ(q.FieldByName("NOTE")->AsString(), "备注一");
  EXPECT_THROW(q.CreateBlobStream(q.FieldByName("NOTE"), bmWrite), EDatabaseError);
}

TEST_F(SqlQueryOverSources, RefreshRunsTheStatementAgain) {
  q.SQL()->SetText("SELECT NAME, PAY FROM emp WHERE PAY > 950 ORDER BY PAY");
  q.Open();
  q.Last();
  EXPECT_EQ(q.RecordCount(), 2);
  emp.AddRow({Variant(AnsiString("赵六")), Variant(AnsiString("02")), Variant(5000.0), Variant()});
  q.Refresh();
  EXPECT_EQ(q.RecordCount(), 3);
  EXPECT_EQ(q.RecNo(), 2);
}

TEST_F(SqlQueryOverSources, OpenAndExecSqlRefuseTheOthersStatements) {
  q.SQL()->SetText("UPDATE emp SET PAY = 1");
  EXPECT_THROW(q.Open(), ESqlQueryError);
  q.SQL()->SetText("SELECT NAME FROM emp");
  try {
    q.ExecSQL();
    ADD_FAILURE();
  } catch (const ESqlQueryError& e) {
    EXPECT_EQ(e.Message(), SqlMessage(kSqlSelectNeedsOpen));
  }
  q.SQL()->SetText("UPDATE emp SET PAY = PAY + 1 WHERE DEPT = '01'");
  q.ExecSQL();
  EXPECT_EQ(q.RowsAffected, 2);
}

}  // namespace
