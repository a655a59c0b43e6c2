// Expression texts bound to datasets: field references, the functions the
// identifier hook resolves, user functions and the filter expressions.
#include "sql/MainExpr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

#include "platform/core/AnsiText.h"
#include "platform/core/DateTime.h"
#include "platform/data/Fields.h"
#include "sql/FilterExpr.h"
#include "sql/SqlErrors.h"
#include "tests/data/MemDataSet.h"

namespace {

class TTestScope : public TExprScope {
 public:
  std::map<AnsiString, TDataSet*> tables;  // by upper-case name
  std::set<TDataSet*> nullSide;
  std::map<AnsiString, std::pair<TExprType, int>> functions;
  bool accept = true;
  bool hasSolve = true;
  std::function<Variant(const AnsiString&, TParameterList*)> solve;
  std::function<TExpressionPtr(const AnsiString&)> column;

  TDataSet* FindDataSet(const AnsiString& name) override {
    auto it = tables.find(AnsiUpperCase(name));
    return it == tables.end() ? nullptr : it->second;
  }
  TExpressionPtr ResultSetColumn(const AnsiString& name) override {
    return column ? column(name) : nullptr;
  }
  bool IsNullDataSet(TDataSet* ds) override { return nullSide.count(ds) > 0; }
  bool FindExFunction(const AnsiString& name, TExprType& type, int& width) override {
    auto it = functions.find(name);
    if (it == functions.end()) return false;
    type = it->second.first;
    width = it->second.second;
    return true;
  }
  bool HasFunctionSolve() override { return hasSolve; }
  bool CheckFunction(const AnsiString&, TParameterList*) override { return accept; }
  Variant SolveFunction(const AnsiString& name, TParameterList* params) override {
    return solve ? solve(name, params) : Variant::Null();
  }
};

class MainExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emp.AddColumn("NAME", ftString, 20);
    emp.AddColumn("DEPT", ftString, 4);
    emp.AddColumn("PAY", ftFloat);
    emp.AddColumn("BONUS", ftInteger);
    emp.AddColumn("NOTE", ftMemo);
    emp.AddRow({"王小明", "01", 3000.0, Variant::Null(), "n1"});
    emp.AddRow({"李四", "02", 1200.0, 5, "n2"});
    emp.Open();
    dept.AddColumn("CODE", ftString, 4);
    dept.Open();
    scope.tables = {{"EMP", &emp}, {"DEPT", &dept}};
  }

  // The value of text over the current row, read in its own type.
  AnsiString Eval(const AnsiString& text) {
    TMainExpr e(&scope, &emp);
    e.ParseExpression(text);
    return e.Expression()->AsString();
  }

  std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EExpression& e) {
      return "EExpression: " + e.Message();
    } catch (const ESqlQueryError& e) {
      return "ESqlQueryError:" + e.Message();
    }
    return "(no error)";
  }
  std::string ParseError(const AnsiString& text) {
    return ErrorOf([&] {
      TMainExpr e(&scope, &emp);
      e.ParseExpression(text);
    });
  }

  TMemDataSet emp, dept;
  TTestScope scope;
};

TEST_F(MainExprTest, FieldsReadTheCurrentRow) {
  TMainExpr e(&scope, &emp);
  e.ParseExpression("emp.PAY * 1.1 > 3000 AND Emp.Dept = '01' AND EMP.NAME LIKE '%小%'");
  EXPECT_TRUE(e.Expression()->AsBoolean());
  emp.Next();
  EXPECT_FALSE(e.Expression()->AsBoolean());
  EXPECT_EQ(Eval("EMP.BONUS + 1"), "6");
  EXPECT_EQ(Eval("UPPER(EMP.NOTE)"), "N2");
  emp.First();
  EXPECT_EQ(Eval("EMP.NAME + '/' + EMP.DEPT"), "王小明/01");
}

TEST_F(MainExprTest, RecordsTheFieldsItRefersTo) {
  std::map<TDataSet*, int> used;
  TMainExpr e(&scope, &emp);
  e.ReferencedDataSets = &used;
  e.ParseExpression("DEPT.CODE = EMP.DEPT AND EMP.PAY > 1 AND EMP.DEPT <> ''");
  EXPECT_EQ(e.MainFieldCount, 3);
  EXPECT_EQ(e.FieldRefCount, 4);
  EXPECT_EQ(e.FirstMainField, emp.FieldByName("DEPT"));
  EXPECT_EQ(e.FieldRefs[0], dept.FieldByName("CODE"));
  EXPECT_EQ(e.FieldRefs[2], emp.FieldByName("PAY"));
  EXPECT_EQ(e.ReferencedNames, (std::vector<AnsiString>{"DEPT.CODE", "EMP.DEPT", "EMP.PAY"}));
  EXPECT_EQ(used[&emp], 3);
  EXPECT_EQ(used[&dept], 1);
  EXPECT_TRUE(e.ComplexExpression);
  e.ParseExpression("EMP.PAY");
  EXPECT_FALSE(e.ComplexExpression);
  EXPECT_EQ(e.FieldRefCount, 1);
  e.ParseExpression("");  // nothing happens
  EXPECT_NE(e.Expression(), nullptr);
  EXPECT_EQ(e.FieldRefCount, 1);
}

TEST_F(MainExprTest, KeepsTheFirstTenFieldReferences) {
  AnsiString text = "EMP.BONUS";
  for (int i = 0; i < 10; ++i) text += i == 9 ? " + EMP.PAY" : " + EMP.BONUS";
  TMainExpr e(&scope, &emp);
  e.ParseExpression(text);
  EXPECT_EQ(e.FieldRefCount, 11);
  for (TField* f : e.FieldRefs) EXPECT_EQ(f, emp.FieldByName("BONUS"));
}

TEST_F(MainExprTest, CheckExpressionTellsWhetherTheOwnDatasetIsUsed) {
  TMainExpr e(&scope, &emp);
  EXPECT_TRUE(e.CheckExpression("EMP.PAY > 1"));
  EXPECT_TRUE(e.ReferencedNames.empty());
  EXPECT_FALSE(e.CheckExpression("DEPT.CODE = '01'"));
  EXPECT_FALSE(e.CheckExpression(""));
}

TEST_F(MainExprTest, ResolutionAndSyntaxErrors) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"X.PAY", "EExpression: DataSet X doesn't exists"},
      {"EMP.NOPE", "EExpression: Field Name NOPE not found"},
      // The name is resolved once the end of input has been read.
      {"FOO", "ESqlQueryError: Unknown Identifier FOO at line : 1, Column: 4, token: "},
      {"EMP.PAY + * 2", "ESqlQueryError: syntax error at line : 1, Column: 10, token: *"},
      {"1 +\n 2 +", "ESqlQueryError: syntax error at line : 2, Column: 5, token: "},
      {"NOW(1)", "EExpression: Parameter(s) invalid for function NOW"},
      {"SQLTRIM('xy', 'a', 0)", "EExpression: Length of trimmed char in TRIM function must be 1"},
      {"SQLTRIM('x', 'a')", "EExpression: Parameter(s) invalid for function SQLTRIM"},
      {"ROUNDDEC('a', 2)", "EExpression: Parameter(s) invalid for function ROUNDDEC"},
      {"TRUNCDEC(1.5, 2.0)", "EExpression: Parameter(s) invalid for function TRUNCDEC"},
      {"ISNULL(EMP.PAY)", "EExpression: Parameter(s) invalid for function ISNULL"},
      {"EMP.NAME - 1", "EExpression: Operator opMinus incompatible with String"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseError(c.text), c.error) << c.text;
}

TEST_F(MainExprTest, RoundDecAndTruncDec) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"ROUNDDEC(2.346, 2)", 2.35},   {"TRUNCDEC(2.349, 2)", 2.34}, {"ROUNDDEC(-2.346, 2)", -2.34},
      {"TRUNCDEC(-1.239, 2)", -1.23}, {"TRUNCDEC(1.15, 2)", 1.15},  {"ROUNDDEC(1.005, 2)", 1.01},
      {"ROUNDDEC(2.5, 0)", 3},        {"TRUNCDEC(2.9, 0)", 2},      {"ROUNDDEC(1250, -2)", 1300},
      {"TRUNCDEC(1299, -2)", 1200},   {"rounddec(EMP.PAY / 7, 1)", 428.6},
  };
  for (const auto& c : cases) {
    TMainExpr e(&scope, &emp);
    e.ParseExpression(c.text);
    EXPECT_DOUBLE_EQ(e.Expression()->AsFloat(), c.value) << c.text;
  }
}

TEST_F(MainExprTest, NowTrimAndIsNull) {
  TMainExpr now(&scope, &emp);
  now.ParseExpression("NOW");
  EXPECT_EQ(now.Expression()->ExprType(), ttFloat);
  EXPECT_LT(std::fabs(now.Expression()->AsFloat() - Now()), 1.0 / 24);
  EXPECT_EQ(Eval("SQLTRIM('x', 'xxabxx', 0)"), "abxx");
  EXPECT_EQ(Eval("SQLTRIM('x', 'xxabxx', 1)"), "xxab");
  EXPECT_EQ(Eval("SQLTRIM('x', 'xxabxx', 2)"), "ab");
  // Row 1 has no bonus: NULL compares false with everything.
  EXPECT_EQ(Eval("ISNULL(EMP.BONUS, TRUE)"), "TRUE");
  EXPECT_EQ(Eval("ISNULL(EMP.BONUS, FALSE)"), "FALSE");
  EXPECT_EQ(Eval("EMP.BONUS = 0"), "FALSE");
  EXPECT_EQ(Eval("EMP.BONUS <> 0"), "FALSE");
  EXPECT_EQ(Eval("ISNULL(EMP.PAY, TRUE)"), "FALSE");
}

TEST_F(MainExprTest, NullFieldsReadAsEmptyOrZeroOutsideComparisons) {
  const struct {
    const char* text;
    const char* value;
  } cases[] = {
      {"EMP.BONUS + 1", "1"},         {"UPPER(EMP.BONUS)", ""},
      {"LENGTH(EMP.BONUS)", "0"},     {"EMP.BONUS IN (0)", "TRUE"},
      {"EMP.BONUS BETWEEN 0 AND 1", "TRUE"}, {"ABS(EMP.BONUS)", "0"},
      {"CASE WHEN EMP.BONUS > 0 THEN 'y' ELSE 'n' END", "n"},
      {"EMP.BONUS >= 0 OR EMP.BONUS < 0", "FALSE"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.text), c.value) << c.text;
}

TEST_F(MainExprTest, OuterJoinMissingRowReadsEmpty) {
  scope.nullSide.insert(&emp);
  TMainExpr e(&scope, &emp);
  e.ParseExpression("EMP.PAY");
  EXPECT_TRUE(e.Expression()->IsNull());
  EXPECT_EQ(e.Expression()->AsFloat(), 0.0);
  EXPECT_EQ(Eval("EMP.NAME"), "");
  EXPECT_EQ(Eval("EMP.BONUS + 0"), "0");
  EXPECT_EQ(Eval("EMP.PAY = 0"), "FALSE");
}

TEST_F(MainExprTest, MaxWidthModeGivesTheWidestValue) {
  TMainExpr e(&scope, &emp);
  e.MaxWidthMode = true;
  e.ParseExpression("EMP.NAME");
  EXPECT_TRUE(e.Expression()->MaxWidthMode());
  EXPECT_EQ(e.Expression()->AsString(), AnsiString(std::string(20, ' ')));
  e.ParseExpression("EMP.NOTE");
  EXPECT_EQ(e.Expression()->AsString().size(), 10u);
  e.ParseExpression("IF(EMP.PAY > 0, 'ab', 'abcd')");
  EXPECT_EQ(e.Expression()->AsString(), "abcd");
}

TEST_F(MainExprTest, UserFunctionsGoThroughTheQueryEvents) {
  scope.functions["BONUS"] = {ttFloat, 8};
  scope.solve = [](const AnsiString& name, TParameterList* params) {
    return Variant(params->AsFloat(0) / 1000);
  };
  EXPECT_EQ(Eval("bonus(EMP.PAY) * 2"), "6");
  TMainExpr wide(&scope, &emp);
  wide.MaxWidthMode = true;
  wide.ParseExpression("BONUS(1)");
  EXPECT_EQ(wide.Expression()->AsString(), "        ");

  scope.solve = [](const AnsiString&, TParameterList*) { return Variant::Null(); };
  EXPECT_EQ(Eval("BONUS(1) + 1"), "1");
  scope.functions["TAG"] = {ttString, 4};
  EXPECT_EQ(Eval("TAG() + '!'"), "!");

  scope.accept = false;
  EXPECT_EQ(ParseError("BONUS(1)"), "EExpression: Parameter(s) invalid for function BONUS");
  scope.accept = true;
  scope.hasSolve = false;
  EXPECT_EQ(ParseError("BONUS(1)"), "EExpression: Parameter(s) invalid for function BONUS");
}

TEST_F(MainExprTest, JoinedRowsReadTheResultSetColumn) {
  scope.column = [](const AnsiString& name) -> TExpressionPtr {
    return name == "EMP.PAY" ? MakeFloat(99) : nullptr;
  };
  EXPECT_EQ(Eval("EMP.PAY + 1"), "100");
  EXPECT_EQ(Eval("EMP.BONUS + 1"), "1");  // not a column: the table's field (NULL reads 0)
}

// --- filter expressions -----------------------------------------------------------

TEST_F(MainExprTest, FilterExpressionsNamePlainFields) {
  TFilterExpr f(&emp);
  f.ParseExpression("PAY > 1000 AND ISNULL(BONUS, TRUE) AND dept = '01'");
  EXPECT_TRUE(f.Expression()->AsBoolean());
  emp.Next();
  EXPECT_FALSE(f.Expression()->AsBoolean());
  f.ParseExpression("NOTE");
  EXPECT_EQ(f.Expression()->ExprType(), ttInteger);
  EXPECT_EQ(ErrorOf([&] { f.ParseExpression("PAY(1)"); }),
            "EExpression: Parameter(s) invalid for function PAY");
  EXPECT_EQ(ErrorOf([&] { f.ParseExpression("ISNULL(PAY, 1)"); }),
            "EExpression: Parameter(s) invalid for function ISNULL");
  EXPECT_EQ(ErrorOf([&] { f.ParseExpression("STRTODATE(1)"); }),
            "EExpression: Parameter(s) invalid for function STRTODATE");
  EXPECT_EQ(ErrorOf([&] { f.ParseExpression("SALARY > 1"); }),
            "ESqlQueryError: Unknown Identifier SALARY at line : 1, Column: 7, token: >");
}

TEST_F(MainExprTest, StrToDateReportsAFailureOnceAndReadsZero) {
  TFilterExpr f(&emp);
  f.ParseExpression("STRTODATE('2003-01-02')");
  EXPECT_EQ(f.Expression()->AsFloat(), 37623.0);
  f.ParseExpression("STRTODATE(NAME)");
  EXPECT_EQ(f.Expression()->AsFloat(), 0.0);
  AnsiString first = f.ConversionError();
  EXPECT_NE(first.find("is not a valid date"), std::string::npos) << first;
  emp.Next();
  EXPECT_EQ(f.Expression()->AsFloat(), 0.0);
  EXPECT_EQ(f.ConversionError(), first);  // the first failure is kept
  f.ClearConversionError();
  EXPECT_TRUE(f.ConversionError().empty());
}

}  // namespace
