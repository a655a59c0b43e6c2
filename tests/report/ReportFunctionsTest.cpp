#include "report/ReportFunctions.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Strings.h"
#include "report/ReportObject.h"

namespace {

// An object with one property and one method, for object.x names.
class TFakeObject : public TrbObject {
 public:
  void SetPropValue(const AnsiString& name, const Variant& value) override { props[name] = value; }
  Variant DoMethod(const AnsiString& name, const Variant& p1, const Variant& p2,
                   const Variant& p3) override {
    methods.push_back(name + "|" + VarToStr(p1) + "|" + VarToStr(p2) + "|" + VarToStr(p3));
    return Variant("done");
  }
  std::map<AnsiString, Variant> props;
  std::vector<AnsiString> methods;
};

// A report seen through the narrow context: fields, dictionary expressions
// (evaluated with the cycle guard), global variables, constants.
class TFakeReport : public TrbReportContext {
 public:
  void GetVariableValue(const AnsiString& name, Variant& value) override {
    AnsiString up = AnsiUpperCase(name);
    if (fields.count(up)) value = fields[up];
    else if (dictionary.count(up)) value = rbCalcNamed(up, dictionary[up]);
    else if (rbGlobalVariables().IndexOf(name) >= 0) value = rbGlobalVariables().Variable(name);
    else if (rbConstants().IndexOf(name) >= 0) value = rbConstants().Variable(name);
  }
  void UserFunction(const AnsiString& name, const Variant&, const Variant&, const Variant&,
                    Variant& value) override {
    userCalls.push_back(name + "=" + VarToStr(value));
  }
  void StopReport() override { stopped = true; }
  void NewPage() override { ++newPages; }
  void ShowBand(const AnsiString& name) override { shown.push_back(name); }
  TrbObject* FindObject(const AnsiString& name) override {
    return AnsiSameText(name, "Memo1") ? &memo : nullptr;
  }
  bool SetCurY(int y) override {
    curY = y;
    return true;
  }
  TrbAggregateBand* CurrentBand() override { return current; }
  TrbAggregateBand* RegisteringFor() override { return registering; }
  int CrossColumn() override { return column; }

  std::map<AnsiString, Variant> fields;
  std::map<AnsiString, AnsiString> dictionary;
  std::vector<AnsiString> userCalls, shown;
  bool stopped = false;
  int newPages = 0, curY = -1, column = 0;
  TFakeObject memo;
  TrbAggregateBand* current = nullptr;
  TrbAggregateBand* registering = nullptr;
};

struct FunctionsTest : ::testing::Test {
  FunctionsTest() {
    rbSetCurrentContext(&report);
    rbGlobalVariables().Clear();
  }
  ~FunctionsTest() override { rbSetCurrentContext(nullptr); }
  Variant Calc(const AnsiString& e) { return rbGlobalParser().Calc(e); }
  AnsiString Text(const AnsiString& e) { return VarToStr(Calc(e)); }
  void Run(const char* script) {
    TStringList src, ops, errs;
    src.Add(script);
    rbGlobalInterpreter().PrepareScript(&src, &ops, &errs);
    ASSERT_EQ(errs.Count(), 0) << errs.Text();
    rbGlobalInterpreter().DoScript(&ops);
  }
  TFakeReport report;
};

TEST_F(FunctionsTest, StandardFunctions) {
  struct Case {
    const char* expr;
    const char* result;
  } cases[] = {
      {"NAMECASE('hELLO wORLD')", "Hello world"},
      {"NAMECASE('')", ""},
      {"POS('c', 'abc')", "3"},
      {"POS('x', 'abc')", "0"},
      {"LENGTH('工资')", "4"},
      {"MAXNUM(2, 2)", "2"},
      {"MINNUM(1, 3)", "1"},
      {"MAXNUM(1, 3)", "3"},
      {"UPPERCASE('ab工资')", "AB工资"},
      {"LOWERCASE('AB')", "ab"},
      {"TRIM('  a b  ')", "a b"},
      {"DAYOF(STRTODATE('2024-03-15'))", "15"},
      {"MONTHOF(STRTODATE('2024-03-15'))", "3"},
      {"YEAROF(STRTODATE('2024-03-15'))", "2024"},
      {"FORMATFLOAT('0.00', 1.5)", "1.50"},
      {"FORMATDATETIME('dd.mm.yyyy', STRTODATE('2024-03-05'))", "05.03.2024"},
      {"NOSUCHFUNCTION(1)", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.expr), c.result) << c.expr;
  EXPECT_EQ(report.userCalls.back(), "NOSUCHFUNCTION=0");
}

TEST_F(FunctionsTest, CaseMappingLeavesTrailBytesAlone) {
  // 0x81 0x61: a double-byte character whose trail byte is 'a'.
  EXPECT_EQ(Text("UPPERCASE('\x81\x61x')"), "\x81\x61X");
  EXPECT_EQ(Text("LOWERCASE('\x81\x41X')"), "\x81\x41x");
}

TEST_F(FunctionsTest, ArraysThroughScriptsAndExpressions) {
  Run("BEGIN A[1] := 'x'; B['k'] := 2 END");
  EXPECT_EQ(VarToStr(rbGlobalVariables().Variable("Arr_A_1")), "x");
  EXPECT_EQ(Text("GETARRAY(A, 1)"), "x");
  EXPECT_EQ(Text("A[1]"), "x");
  EXPECT_EQ(Text("B['k'] + 1"), "3");
  EXPECT_TRUE(Calc("GETARRAY(A, 9)").IsNull());
}

TEST_F(FunctionsTest, ArraysOfAnObjectGoThroughItsIndexMethods) {
  Run("Memo1.Lines[2] := 'z'");
  EXPECT_EQ(report.memo.methods.back(), "SETINDEXPROPERTY|Lines|2|z");
  EXPECT_EQ(Text("GETARRAY(Memo1.Lines, 0)"), "done");
  EXPECT_TRUE(Calc("GETARRAY(NoObject.Lines, 0)").IsEmpty());
}

TEST_F(FunctionsTest, ProceduresReachTheReport) {
  Run("BEGIN NewPage; NEWPAGE; ShowBand('Footer' + '1'); StopReport END");
  EXPECT_EQ(report.newPages, 2);
  EXPECT_EQ(report.shown, (std::vector<AnsiString>{"Footer1"}));
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(Text("Memo1.Lines.Add('q', 2)"), "done");
  EXPECT_EQ(report.memo.methods.back(), "LINES.ADD|'q'| 2|");
}

TEST_F(FunctionsTest, ScriptWritesGoToTheirTargets) {
  rbGlobalVariables().SetVariable("Total", 1);
  Run("BEGIN total := 5; CurY := 120; Memo1.Visible := 0; fresh := 'n'; INC(fresh2); INC(total) END");
  EXPECT_EQ(rbGlobalVariables().Variable("Total").AsInteger(), 6);
  EXPECT_EQ(report.curY, 120);
  EXPECT_EQ(report.memo.props["Visible"].AsInteger(), 0);
  EXPECT_EQ(VarToStr(rbGlobalVariables().Variable("fresh")), "n");
  EXPECT_EQ(rbGlobalVariables().Variable("fresh2").AsInteger(), 1);
}

TEST_F(FunctionsTest, ConstantsTable) {
  EXPECT_EQ(rbConstants().Variable("mrYes").AsInteger(), 6);
  EXPECT_EQ(rbConstants().Variable("clInfoBk").AsInt64(), 0x80000018LL);
  EXPECT_EQ(rbConstants().Variable("clScrollBar").AsInt64(), 0x80000000LL);
  EXPECT_EQ(rbConstants().Variable("CRLF").AsString(), "\r\n");
  EXPECT_TRUE(rbConstants().Variable("Null").IsNull());
  EXPECT_EQ(Text("clRed + fsBold"), "257");
}

TEST_F(FunctionsTest, NamesThatLeadBackToThemselvesRaiseAnErrorNamingThem) {
  report.dictionary["A"] = "[B] + 1";
  report.dictionary["B"] = "[A] * 2";
  report.dictionary["C"] = "[C]";
  report.dictionary["D"] = "[E] + [E]";
  report.dictionary["E"] = "2";
  for (const char* name : {"[A]", "[C]"}) {
    try {
      Calc(name);
      ADD_FAILURE() << name;
    } catch (const EParserError& e) {
      EXPECT_EQ(e.Message().find("符号没定义 \""), 0u) << e.Message();
    }
  }
  try {
    Calc("[A]");
  } catch (const EParserError& e) {
    EXPECT_EQ(e.Message(), "符号没定义 \"A\" (A -> B -> A)");
  }
  EXPECT_EQ(Text("[D]"), "4");  // a name used twice is no cycle; the guard was left clean
}

class TOtherLibrary : public TrbFunctionLibrary {
 public:
  TOtherLibrary() { list_ = {"TWICE", "LENGTH"}; }
  void DoFunction(int index, const Variant& p1, const Variant&, const Variant&,
                  Variant& value) override {
    value = index == 0 ? rbGlobalParser().Calc(VarToStr(p1)) * Variant(2) : Variant(-1);
  }
  const char* ClassName() const override { return "TOtherLibrary"; }
};

TEST_F(FunctionsTest, LibrariesAnswerInRegistrationOrder) {
  rbRegisterFunctionLibrary(std::make_unique<TOtherLibrary>());
  rbRegisterFunctionLibrary(std::make_unique<TOtherLibrary>());  // one per class
  EXPECT_EQ(rbFunctionLibraries().size(), 2u);
  EXPECT_EQ(Text("TWICE(4)"), "8");
  EXPECT_EQ(Text("LENGTH('abc')"), "3");  // the standard library came first
  rbUnregisterFunctionLibrary("TOtherLibrary");
  EXPECT_EQ(Text("TWICE(4)"), "0");
}

// ---- aggregates ----

struct AggregatesTest : FunctionsTest {
  AggregatesTest() {
    data.Name = "MasterData1";
    data.BandType = 5;
    summary.Name = "ReportSummary1";
    summary.BandType = 1;
    group.Name = "GroupFooter1";
    group.BandType = 17;
    column.Name = "ColumnFooter1";
    column.BandType = 15;
  }
  // Registration: each call evaluated once in the band it stands in.
  void Register(TrbAggregateBand& in, std::initializer_list<const char*> calls) {
    report.registering = &data;
    report.current = &in;
    for (const char* c : calls) Calc(c);
    report.registering = nullptr;
  }
  void Record(double amount, bool visible = true) {
    report.fields["AMOUNT"] = amount;
    data.Aggregates.Accumulate(visible, -1, [this](const AnsiString& e) { return Calc(e); });
  }
  Variant Read(TrbAggregateBand& in, const char* call) {
    report.current = &in;
    return Calc(call);
  }
  TrbAggregateBand data, summary, group, column;
};

TEST_F(AggregatesTest, SummaryTotalsEveryRecordAndTheGroupFooterRestarts) {
  Register(summary, {"SUM([Amount])", "COUNT()"});
  Register(group, {"SUM([Amount])"});
  EXPECT_EQ(data.Aggregates.Count(), 3);
  EXPECT_EQ(summary.AggregateSource, &data);
  for (double a : {1.0, 2.0, 3.0}) Record(a);
  EXPECT_DOUBLE_EQ(Read(group, "SUM([Amount])").AsDouble(), 6);
  data.Aggregates.Reset(group.Name);  // after the group footer printed
  Record(10);
  EXPECT_DOUBLE_EQ(Read(group, "SUM([Amount])").AsDouble(), 10);
  EXPECT_DOUBLE_EQ(Read(summary, "SUM([Amount])").AsDouble(), 16);
  EXPECT_EQ(Read(summary, "COUNT()").AsInteger(), 4);
}

TEST_F(AggregatesTest, MinMaxStartFromTheFirstValueAndNoValuesAreNull) {
  Register(summary, {"MAX([Amount])", "MIN([Amount])", "AVG([Amount])"});
  EXPECT_TRUE(Read(summary, "MAX([Amount])").IsNull());
  EXPECT_TRUE(Read(summary, "MIN([Amount])").IsNull());
  EXPECT_TRUE(Read(summary, "AVG([Amount])").IsNull());  // no division by zero
  for (double a : {-5.0, -2.0, -9.0}) Record(a);
  EXPECT_DOUBLE_EQ(Read(summary, "MAX([Amount])").AsDouble(), -2);
  EXPECT_DOUBLE_EQ(Read(summary, "MIN([Amount])").AsDouble(), -9);
  EXPECT_DOUBLE_EQ(Read(summary, "AVG([Amount])").AsDouble(), -16.0 / 3);
}

TEST_F(AggregatesTest, EachAccumulatorKeepsItsOwnCount) {
  // COUNT with flag 1 counts invisible records; AVG without it must not
  // divide by them.
  Register(summary, {"AVG([Amount])", "COUNT(MasterData1, 1)"});
  Record(4);
  Record(100, false);
  Record(8);
  EXPECT_DOUBLE_EQ(Read(summary, "AVG([Amount])").AsDouble(), 6);
  EXPECT_EQ(Read(summary, "COUNT(MasterData1, 1)").AsInteger(), 3);
}

TEST_F(AggregatesTest, LevelsAndBandNames) {
  // A column footer names no level of its own: only an explicit band counts.
  Register(column, {"SUM([Amount])", "SUM([Amount], MasterData1)", "SUM([Amount], Other)"});
  EXPECT_EQ(data.Aggregates.Count(), 1);
  Record(3);
  EXPECT_DOUBLE_EQ(Read(column, "SUM([Amount], MasterData1)").AsDouble(), 3);
  TrbAggregateBand stray;
  stray.Name = "Stray";
  EXPECT_TRUE(Read(stray, "SUM([Amount])").IsEmpty());  // no aggregate source
}

TEST_F(AggregatesTest, PerColumnTotalsOfACrossTab) {
  TrbAggregateBand cross;
  cross.Name = "CrossData1";
  cross.BandType = 19;
  data.HasCrossObjects = true;
  summary.HasCrossObjects = true;
  Register(summary, {"SUM([Amount])"});
  auto eval = [this](const AnsiString& e) { return Calc(e); };
  for (int col : {1, 2}) {
    report.fields["AMOUNT"] = 10.0 * col;
    data.Aggregates.Accumulate(true, col, eval);
  }
  report.fields["AMOUNT"] = 5.0;
  data.Aggregates.Accumulate(true, 2, eval);
  // A cell of the cross-data band reads the row band's per-column total.
  cross.AggregateSource = &summary;
  report.column = 2;
  EXPECT_DOUBLE_EQ(Read(cross, "SUM([Amount])").AsDouble(), 25);
  report.column = 1;
  EXPECT_DOUBLE_EQ(Read(cross, "SUM([Amount])").AsDouble(), 10);
}

}  // namespace
