// The filter evaluator: null rules inside and outside a query, LIKE,
// partial and case-insensitive compares, IN, NOT, constants of every
// type, and comparisons that cannot be made.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Udb/DBLogger.h"
#include "Udb/FilterEval.h"
#include "UdbTestSupport.h"
#include "platform/core/DateTime.h"

namespace {

// Name, Age, Qty (smallint), Start (time), Note, Active, HireDate.
TFilterFieldList Fields() {
  TFilterFieldList f;
  f.Add("Name", ftString, 20);
  f.Add("Age", ftInteger);
  f.Add("Qty", ftSmallint);
  f.Add("Start", ftTime);
  f.Add("Note", ftString, 20);
  f.Add("Active", ftBoolean);
  f.Add("HireDate", ftDate);
  return f;
}

struct Row {
  Variant name = Variant::Null(), age = Variant::Null(), qty = Variant::Null(),
          start = Variant::Null(), note = Variant::Null(), active = Variant::Null(),
          hired = Variant::Null();
};

Row Named(const char* name) {
  Row r;
  r.name = Variant(name);
  return r;
}
Row Aged(Variant age) {
  Row r;
  r.age = age;
  return r;
}

bool Passes(const AnsiString& filter, const Row& row, TFilterOptions options = TFilterOptions(),
            bool inQuery = false) {
  static const TFilterFieldList fields = Fields();
  TUdbExprParser eval(&fields, filter, options);
  eval.SetKeyCompare(AnsiKeySort);
  eval.SetInQuery(inQuery);
  const Variant values[] = {row.name, row.age, row.qty, row.start, row.note, row.active, row.hired};
  eval.SetFieldValueReader([&](int i) { return values[i]; });
  eval.BuildStack();
  return eval.EvaluateTree();
}

}  // namespace

TEST(TUdbExprParser, NullFieldRulesDifferInsideAndOutsideAQuery) {
  struct Case {
    const char* filter;
    bool outside, inside;
  };
  const Case cases[] = {
      {"Age < 30", true, false},  {"Age <= 30", true, false}, {"Age > 30", false, false},
      {"Age >= 30", false, false}, {"Age = 30", false, false},  {"Age <> 30", true, true},
      {"Age is null", true, true}, {"Age is not null", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Passes(c.filter, Aged(Variant::Null())), c.outside) << c.filter;
    EXPECT_EQ(Passes(c.filter, Aged(Variant::Null()), {}, true), c.inside) << c.filter << " in a query";
  }
}

TEST(TUdbExprParser, NotRejectsExactlyWhatItsConditionAccepts) {
  for (Variant age : {Variant::Null(), Variant(29), Variant(30), Variant(31)}) {
    for (bool inQuery : {false, true}) {
      bool plain = Passes("Age > 30", Aged(age), {}, inQuery);
      EXPECT_NE(Passes("NOT (Age > 30)", Aged(age), {}, inQuery), plain) << VarToStr(age);
      bool lower = Passes("Age < 30", Aged(age), {}, inQuery);
      EXPECT_NE(Passes("not Age < 30", Aged(age), {}, inQuery), lower) << VarToStr(age);
    }
  }
}

TEST(TUdbExprParser, LikeIsCaseSensitiveWithOrWithoutTheOption) {
  const TFilterOptions ci{foCaseInsensitive};
  for (TFilterOptions options : {TFilterOptions(), ci}) {
    EXPECT_TRUE(Passes("Name LIKE 'Sm%'", Named("Smith"), options));
    EXPECT_FALSE(Passes("Name LIKE 'Sm%'", Named("smith"), options));
    EXPECT_FALSE(Passes("Name LIKE 'Sm%'", Row(), options));  // null
  }
  EXPECT_TRUE(Passes("Name like 'S_ith'", Named("Smith")));
  EXPECT_FALSE(Passes("Name like 'S_ith'", Named("Sith")));
  EXPECT_TRUE(Passes("Name like '%th'", Named("Smith")));
  EXPECT_TRUE(Passes("Name like '张%'", Named("张三")));
  EXPECT_FALSE(Passes("Name like '张%'", Named("李四")));
}

TEST(TUdbExprParser, PartialAndCaseInsensitiveCompares) {
  const TFilterOptions ci{foCaseInsensitive};
  struct Case {
    const char* filter;
    const char* name;
    bool ci, pass;
  };
  const Case cases[] = {
      {"Name = 'sm*'", "Smith", true, true},
      {"Name = 'sm*'", "Smoot", true, true},
      {"Name = 'sm*'", "Sm", true, true},
      {"Name = 'sm*'", "S", true, false},
      {"Name = 'Sm*'", "Smith", false, true},
      {"Name = 'sm*'", "Smith", false, false},  // the case flag stays the filter's
      {"Name = 'smith'", "SMITH", true, true},
      {"Name = 'smith'", "Smithson", true, false},  // a whole-value compare
      {"Name = 'smith'", "Smi", true, false},
      {"Name <> 'sm*'", "Smith", true, false},
      {"Name <> 'sm*'", "Jones", true, true},
      {"Name > 'b'", "Adam", true, false},
      {"Name > 'b'", "Carl", true, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Passes(c.filter, Named(c.name), c.ci ? ci : TFilterOptions()), c.pass)
        << c.filter << " on " << c.name << (c.ci ? " (case-insensitive)" : "");
}

TEST(TUdbExprParser, InListStopsAtTheFirstMatch) {
  EXPECT_TRUE(Passes("Age in (1, 2, 3)", Aged(3)));
  EXPECT_TRUE(Passes("Age in (1, 2, 3)", Aged(1)));
  EXPECT_FALSE(Passes("Age in (1, 2, 3)", Aged(4)));
  EXPECT_FALSE(Passes("Age in (1, 2, 3)", Aged(Variant::Null())));
  EXPECT_TRUE(Passes("Name in ('a', 'Bob')", Named("Bob")));
  // A null field matches no text of the list, not even the empty one.
  EXPECT_FALSE(Passes("Name in ('', 'x')", Row()));
  EXPECT_TRUE(Passes("Name in ('', 'x')", Named("")));
}

TEST(TUdbExprParser, ConstantsCompareWithTheirFields) {
  Row r;
  r.qty = Variant(-3);
  EXPECT_TRUE(Passes("Qty > -5", r));  // a negative smallint keeps its sign
  EXPECT_FALSE(Passes("Qty < -5", r));
  r.start = Variant(EncodeTime(10, 30, 0, 0));
  EXPECT_TRUE(Passes("Start = '10:30:00'", r));
  EXPECT_FALSE(Passes("Start = '10:30:01'", r));
  r.hired = Variant(EncodeDate(2000, 1, 1));
  EXPECT_TRUE(Passes("HireDate = 36526", r));
  EXPECT_TRUE(Passes("HireDate >= '1999-12-31'", r));
  r.active = Variant(true);
  EXPECT_TRUE(Passes("Active", r));
  EXPECT_FALSE(Passes("not Active", r));
  r.active = Variant(false);
  EXPECT_FALSE(Passes("Active", r));
  EXPECT_TRUE(Passes("Active = False and 1=1", r));
  EXPECT_FALSE(Passes("Active = False and 1=0", r));
}

TEST(TUdbExprParser, AComparisonThatCannotBeMadeIsNoMatch) {
  UdbLogger().Clear();
  Row r;
  r.age = Variant(5);
  r.note = Variant("abc");
  EXPECT_FALSE(Passes("Age > Note", r));
  EXPECT_FALSE(Passes("Age < Note", r));
  EXPECT_FALSE(Passes("Age <> Note", r));
  auto lines = UdbLogger().Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("Unexpected variant error:  5:abc"), std::string::npos) << lines.back();
  // A text that is a number compares as one.
  r.note = Variant("4");
  EXPECT_TRUE(Passes("Age > Note", r));
}

TEST(TUdbExprParser, EvaluateExprValuesTable) {
  const Variant n = Variant::Null();
  EXPECT_FALSE(EvaluateExprValues(coLT, n, Variant(1), true));
  EXPECT_TRUE(EvaluateExprValues(coLT, n, Variant(1), false));
  EXPECT_TRUE(EvaluateExprValues(coEQ, n, n, false));  // both null
  EXPECT_TRUE(EvaluateExprValues(coGT, Variant(1), n, false));
  EXPECT_TRUE(EvaluateExprValues(coISBLANK, Variant(), n, false));
  EXPECT_TRUE(EvaluateExprValues(coISBLANK, Variant(), Variant(), false));
  EXPECT_TRUE(EvaluateExprValues(coNOTBLANK, Variant(), Variant(0), false));
  EXPECT_TRUE(EvaluateExprValues(coLIKE, Variant("a"), Variant("a"), false));
  EXPECT_UDB_ERROR(EvaluateExprValues(coADD, Variant(1), Variant(2), false), 10115);
}

TEST(FilterConstValue, UnknownTypeCodeIsRefused) {
  const std::uint8_t data[8] = {};
  EXPECT_UDB_ERROR(FilterConstValue(8, data, 8), 10115);
  EXPECT_EQ(FilterConstValue(4, data, 2).AsInteger(), 0);
}

TEST(TUdbExprParser, StringCompareWithoutComparisonFunctionIsRefused) {
  TFilterFieldList fields = Fields();
  TUdbExprParser eval(&fields, "Name > 'a'", TFilterOptions());
  eval.SetFieldValueReader([](int) { return Variant("b"); });
  eval.BuildStack();
  EXPECT_UDB_ERROR(eval.EvaluateTree(), 10065);
}

TEST(TUdbExprParser, LoadedItemsMirrorTheBuffer) {
  TFilterFieldList fields = Fields();
  TUdbExprParser eval(&fields, "Name like 'Sm%th' and Age in (1, 2)", TFilterOptions());
  eval.BuildStack();
  TFilterItem* root = eval.FilterItem(0);
  EXPECT_EQ(root->Operator, coAND);
  TFilterItem* like = root->Left;
  EXPECT_EQ(like->NodeClass, nodeCOMPARE);  // a LIKE on a string field
  EXPECT_EQ(like->Right->PreparedString, "Sm");
  EXPECT_EQ(like->PatternPrefix, 2);
  EXPECT_EQ(like->W2, 5);
  TFilterItem* in = root->Right;
  EXPECT_EQ(in->Operator, coIN);
  EXPECT_EQ(in->Right->NodeClass, nodeLISTELEM);
  EXPECT_EQ(in->Right->Right->Left->Value.AsInteger(), 2);
  EXPECT_EQ(in->Right->Right->Right, nullptr);
}
