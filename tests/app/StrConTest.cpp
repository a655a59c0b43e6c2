// The string toolbox and the formula and condition evaluators.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "AppTestSupport.h"
#include "app/StrCon.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"

namespace {

TEST(TStringCollection, PaddingFittingAndFixedNumbers) {
  EXPECT_EQ(StrCon->PadText("ab", 5, '*'), "ab***");
  EXPECT_EQ(StrCon->PadText("ab", -5, '*'), "***ab");
  EXPECT_EQ(StrCon->PadText("ab", 1, '*'), "ab");
  EXPECT_EQ(StrCon->FitText("abcdef", -3, ' '), "abc");
  EXPECT_EQ(StrCon->FitText("ab", -4, '0'), "00ab");
  EXPECT_EQ(StrCon->IntToFixed(7, 2, '0'), "07");
  EXPECT_EQ(StrCon->IntToFixed(123, 2, '0'), "123");
  EXPECT_EQ(StrCon->IntToFixed(7, -3, ' '), "7  ");
  EXPECT_EQ(StrCon->IntToFixed(-7, 0, ' '), "-7");
  EXPECT_EQ(StrCon->ByteToFixed(5, 3, '0'), "005");
  EXPECT_EQ(StrCon->FloatToFixed("0.00", 1234.5, 10, ' '), "   1234.50");
  EXPECT_EQ(StrCon->RepeatChar('-', 3), "---");
  EXPECT_EQ(StrCon->RepeatChar('-', 0), "");
}

TEST(TStringCollection, TrimCharRemovesBytesNotAboveTheLimit) {
  EXPECT_EQ(StrCon->TrimChar("  ab c  ", ' '), "ab c");
  EXPECT_EQ(StrCon->TrimChar("00120", '0'), "12");
  EXPECT_EQ(StrCon->TrimChar("000", '0'), "");
  // Chinese bytes are above every ASCII limit.
  EXPECT_EQ(StrCon->TrimChar(" 工资 ", ' '), "工资");
}

TEST(TStringCollection, PosTextCountsFromTheStartAndCanIgnoreCase) {
  EXPECT_EQ(StrCon->PosText("b", "abcabc", false, 0), 2);
  EXPECT_EQ(StrCon->PosText("b", "abcabc", false, 3), 5);
  EXPECT_EQ(StrCon->PosText("B", "abcabc", false, 0), 0);
  EXPECT_EQ(StrCon->PosText("B", "abcabc", true, 0), 2);
  EXPECT_EQ(StrCon->PosText("", "abc", false, 0), 0);
  EXPECT_EQ(StrCon->PosText("c", "abc", false, 9), 0);
}

TEST(TStringCollection, ReplaceAllResumesBehindTheInsertion) {
  AnsiString r;
  StrCon->ReplaceAll("a", "aa", r, TCharSet(), true, false, "aaa");
  EXPECT_EQ(r, "aaaaaa");
  StrCon->ReplaceAll("", "x", r, TCharSet(), true, false, "abc");
  EXPECT_EQ(r, "abc");
  StrCon->ReplaceAll("AND ", "&", r, TCharSet(), false, false, "a and b And c");
  EXPECT_EQ(r, "a &b &c");
  StrCon->ReplaceText("F01", "12.5", r, "F01+F01*f01");
  EXPECT_EQ(r, "12.5+12.5*f01");
}

TEST(TStringCollection, WholeWordReplacementNeedsDelimitersOnBothSides) {
  const TCharSet delims{' ', '+', '*'};
  AnsiString r;
  StrCon->ReplaceAll("F1", "X", r, delims, true, true, "F1+F10*F1 F1");
  EXPECT_EQ(r, "X+F10*X X");
  // Without delimiters every occurrence counts as a whole word.
  StrCon->ReplaceAll("F1", "X", r, TCharSet(), true, true, "F10");
  EXPECT_EQ(r, "X0");
  int pos = 0;
  StrCon->ReplaceNext("q", "z", delims, pos, r, true, false, "abc");
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(r, "abc");
}

TEST(TStringCollection, CaseInsensitiveReplacementLeavesChineseTrailBytesAlone) {
  // The second byte of 工 is 0xA4, of some characters a letter such as 'a';
  // upper-casing for the search must not turn them into matches.
  const AnsiString text = "\x8c\x61x";  // a character whose trail byte is 'a', then x
  AnsiString r;
  StrCon->ReplaceAll("A", "#", r, TCharSet(), false, false, text);
  EXPECT_EQ(r, text);
}

TEST(TStringCollection, DelimitedFields) {
  struct Case { const char* s; int n; const char* want; };
  const Case cases[] = {
      {"a,b", 1, "a"}, {"a,b", 2, "b"}, {"a,b", 3, ""}, {"a,,c", 2, ""}, {"a,,c", 3, "c"},
      {"abc", 1, "abc"}, {"abc", 2, ""}, {"", 1, ""}, {",x", 1, ""}, {"01,基本工资", 2, "基本工资"},
  };
  for (const Case& c : cases) {
    AnsiString r = "junk";
    StrCon->GetDelimitedField(c.s, c.n, r, ',');
    EXPECT_EQ(r, c.want) << c.s << " field " << c.n;
  }
  std::unique_ptr<TStringList> list(StrCon->SplitDelimited("a,b,,d", ','));
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Strings(1), "b");
}

TEST(QuotedStr, DoublesEmbeddedQuotes) {
  EXPECT_EQ(QuotedStr("abc"), "'abc'");
  EXPECT_EQ(QuotedStr("o'neil"), "'o''neil'");
  EXPECT_EQ(QuotedStr("' or '1'='1"), "''' or ''1''=''1'");
  EXPECT_EQ(QuotedStr(""), "''");
}

// --- formula evaluator ------------------------------------------------------

struct FormulaCase {
  const char* expr;
  double value;
  bool error;
};

TEST(EvaluateFormula, PrecedenceParenthesesAndErrors) {
  const FormulaCase cases[] = {
      {"2+3*4", 14, false},     {"(2+3)*4", 20, false},  {"10-4-3", 3, false},
      {"8/2/2", 2, false},      {"-5+2", -3, false},     {"-3*2", -6, false},
      {"2*-3", 0, true},        {"2*(-3)", 0, true},     {"*3", 0, true},
      {"2++3", 0, true},        {"1.5*2", 3, false},     {" 2+ 3", 5, false},
      {"2 +3", 0, true},        {"1,5+1", 0, true},      {"((1+2)*(3+4))", 21, false},
      {"2*(3+4)-1", 13, false}, {"100", 100, false},     {"abc+1", 0, true},
      {"12.345*100/100", 12.345, false},
  };
  for (const FormulaCase& c : cases) {
    double v = -999;
    bool err = !c.error;
    StrCon->EvaluateFormula(c.expr, nullptr, v, err);
    EXPECT_EQ(err, c.error) << c.expr;
    if (!c.error) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.expr;
    }
  }
}

TEST(EvaluateFormula, EmptyGivesZeroAndLeavesTheFlag) {
  double v = 5;
  bool err = true;
  StrCon->EvaluateFormula("", nullptr, v, err);
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(err);
}

TEST(EvaluateFormula, DivisionByZeroRaises) {
  double v;
  bool err;
  EXPECT_THROW(StrCon->EvaluateFormula("1/0", nullptr, v, err), EZeroDivide);
}

TEST(EvaluateFormula, TooManyOperandsIsAnErrorNotAnOverrun) {
  AnsiString expr = "1";
  for (int i = 0; i < 400; ++i) expr += "+(1*(1";
  double v;
  bool err = false;
  StrCon->EvaluateFormula(expr, nullptr, v, err);
  EXPECT_TRUE(err);
}

class EvaluatorsOnARow : public ::testing::Test {
 protected:
  void SetUp() override {
    db = std::make_unique<TTestPayrollDb>();
    t = db->OpenTable("gzk");
    t->First();
    ASSERT_TRUE(t->Locate("ZGBH", "01010001", TLocateOptions()));
  }
  std::unique_ptr<TTestPayrollDb> db;
  TUdbTable* t = nullptr;
};

TEST_F(EvaluatorsOnARow, FieldOperands) {
  // The row: F01 1000, F02 250.5, DB_FLAG true, ZGQK 在职.
  const FormulaCase cases[] = {
      {"F01+F02", 1250.5, false}, {"f_F01*2", 2000, false}, {"F_f02-0.5", 250, false},
      {"F01*(1+F02/F01)", 1250.5, false},
  };
  for (const FormulaCase& c : cases) {
    double v = 0;
    bool err = true;
    StrCon->EvaluateFormula(c.expr, t, v, err);
    EXPECT_FALSE(err) << c.expr;
    EXPECT_DOUBLE_EQ(v, c.value) << c.expr;
  }
  double v;
  bool err = false;
  StrCon->EvaluateFormula("F01+1", nullptr, v, err);
  EXPECT_TRUE(err) << "a field operand needs a dataset";
  EXPECT_THROW(StrCon->EvaluateFormula("FXX+1", t, v, err), EDatabaseError);
}

struct ConditionCase {
  const char* cond;
  bool value;
  bool error;
};

TEST_F(EvaluatorsOnARow, Conditions) {
  const ConditionCase cases[] = {
      {"3>2 and 1=1", true, false},
      {"3>2 and not db_flag", false, false},
      {"db_flag", true, false},
      {"1=1 or 1=2 and 1=2", false, false},
      {"1=1 or (1=2 and 1=2)", true, false},
      {"zgqk='在职'", true, false},
      {"zgqk<>'在职'", false, false},
      {"zgqk='临时工'", false, false},
      {"ZGQK = '在 职'", true, false},  // blanks go, inside quotes too
      {"F01>=1000", true, false},
      {"F01<=999.99", false, false},
      {"F01+F02>1250 AND F02<>0", true, false},
      {"'b'>'a'", true, false},
      {"1=1 and and 1=1", false, true},
      {"F01=", false, true},
      {"='x'", false, true},
  };
  for (const ConditionCase& c : cases) {
    bool v = !c.value;
    bool err = !c.error;
    StrCon->EvaluateCondition(c.cond, t, v, err);
    EXPECT_EQ(err, c.error) << c.cond;
    if (!c.error) {
      EXPECT_EQ(v, c.value) << c.cond;
    }
  }
}

TEST(EvaluateCondition, WithoutADataset) {
  bool v = false, err = true;
  StrCon->EvaluateCondition("", nullptr, v, err);
  EXPECT_TRUE(v);
  EXPECT_TRUE(err) << "an empty condition leaves the flag";
  StrCon->EvaluateCondition("db_flag", nullptr, v, err);
  EXPECT_TRUE(err) << "a bare name needs a dataset";
  StrCon->EvaluateCondition("2>1 and 3<=3", nullptr, v, err);
  EXPECT_FALSE(err);
  EXPECT_TRUE(v);
}

}  // namespace
