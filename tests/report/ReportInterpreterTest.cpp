#include "report/ReportInterpreter.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Strings.h"

namespace {

// Variables in a map (read upper-cased, as the parser asks), calls logged.
class TTestInterpreter : public TrbInterpretator {
 public:
  void GetValue(const AnsiString& name, Variant& value) override {
    auto it = vars.find(AnsiUpperCase(name));
    if (it != vars.end()) value = it->second;
  }
  void SetValue(const AnsiString& name, const Variant& value) override {
    assigned.push_back(name);
    vars[AnsiUpperCase(name)] = value;
  }
  void DoFunction(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                  Variant& value) override {
    calls.push_back(name + "(" + p1.AsString() + "|" + p2.AsString() + "|" + p3.AsString() + ")");
  }
  bool StopRequested() override { return ++backJumps >= stopAfter; }

  std::map<AnsiString, Variant> vars;
  std::vector<AnsiString> assigned;
  std::vector<AnsiString> calls;
  int backJumps = 0;
  int stopAfter = 1000000;
};

struct ScriptTest : ::testing::Test {
  // Compiles the lines; returns the errors as one text.
  AnsiString Compile(std::initializer_list<const char*> lines) {
    src.Clear();
    for (const char* l : lines) src.Add(l);
    in.PrepareScript(&src, &ops, &errs);
    return errs.Text();
  }
  void Run(std::initializer_list<const char*> lines) {
    ASSERT_EQ(Compile(lines), "");
    in.DoScript(&ops);
  }
  double Var(const char* name) { return in.vars[name].AsDouble(); }

  TTestInterpreter in;
  TStringList src, ops, errs;
};

TEST_F(ScriptTest, AssignmentsKeepTheNameAsWritten) {
  Run({"BEGIN x := 1; y := x + 2 END"});
  ASSERT_EQ(ops.Count(), 2);
  EXPECT_EQ(ops[0], "x 1 ");
  EXPECT_EQ(in.assigned, (std::vector<AnsiString>{"x", "y"}));
  EXPECT_DOUBLE_EQ(Var("Y"), 3);
}

TEST_F(ScriptTest, IfElseCompilesToFourLinesWithAddresses) {
  in.vars["A"] = 5;
  Run({"IF a > 1 THEN b := 1 ELSE b := 2"});
  ASSERT_EQ(ops.Count(), 4);
  EXPECT_EQ(ops[0].substr(0, 3), std::string("\x01\x03\x00", 3));
  EXPECT_EQ(ops[2], std::string("\x02\x04\x00", 3));
  EXPECT_DOUBLE_EQ(Var("B"), 1);
  in.vars["A"] = 0;
  in.DoScript(&ops);
  EXPECT_DOUBLE_EQ(Var("B"), 2);
}

TEST_F(ScriptTest, LoopsRunTheirBodies) {
  in.vars["S"] = 0;
  Run({"FOR i := 1 TO 3 DO s := s + i"});
  EXPECT_DOUBLE_EQ(Var("S"), 6);
  EXPECT_DOUBLE_EQ(Var("I"), 4);

  in.vars["I"] = 0;
  Run({"REPEAT i := i + 1 UNTIL i = 5"});
  EXPECT_DOUBLE_EQ(Var("I"), 5);

  in.vars["N"] = 0;
  Run({"begin", "  while n < 10 do", "  begin", "    n := n + 3;", "  end;", "end"});
  EXPECT_DOUBLE_EQ(Var("N"), 12);
}

TEST_F(ScriptTest, GotoJumpsToItsLabel) {
  Run({"BEGIN x := 1; GOTO 10; x := 2; 10: y := x END"});
  EXPECT_DOUBLE_EQ(Var("X"), 1);
  EXPECT_DOUBLE_EQ(Var("Y"), 1);
  EXPECT_EQ(Compile({"GOTO x"}), "Line 1/6: \"goto\" label must be a number\r\n");
}

TEST_F(ScriptTest, AGotoToAMissingLabelIsReported) {
  EXPECT_EQ(Compile({"BEGIN", "  GOTO 20", "END"}), "Line 2/8: Label \"20\" is not defined\r\n");
}

TEST_F(ScriptTest, ProceduresArraysAndExit) {
  Run({"BEGIN NewPage; ShowBand('Band1'); a[2] := 7; exit; x := 1 END"});
  EXPECT_EQ(in.calls, (std::vector<AnsiString>{"NEWPAGE(0||)", "SHOWBAND('Band1'||)",
                                                "SETARRAY(a| 2| 7)"}));
  EXPECT_EQ(in.vars.count("X"), 0u);
}

TEST_F(ScriptTest, CommentsAreIgnoredAndErrorsKeepTheirSourceColumn) {
  in.vars["A"] = 2;
  Run({"BEGIN { set b", "  over two lines } b := a * 2; // done", "END"});
  EXPECT_DOUBLE_EQ(Var("B"), 4);
  EXPECT_EQ(Compile({"BEGIN {c} // x", "  IF a > 1 {why} b := 1", "END"}),
            "Line 2/18: Need \"then\" here\r\n");
}

TEST_F(ScriptTest, SyntaxErrorMessages) {
  struct Case {
    std::initializer_list<const char*> script;
    const char* error;
  } cases[] = {
      {{"IF a > 1 b := 1"}, "Line 1/10: Need \"then\" here\r\n"},
      {{"BEGIN x := 1 y := 2 END"}, "Line 1/14: Need \";\" or \"end\" here\r\n"},
      {{"WHILE 1 x := 1"}, "Line 1/9: Need \"do\" here\r\n"},
      {{"FOR i := 1 DOWNTO 3 DO x := 1"}, "Line 1/12: Need \"to\" here\r\n"},
      {{"REPEAT x := 1 x := 2 UNTIL 1"}, "Line 1/15: Need \";\" or \"until\" here\r\n"},
      {{"x 1"}, "Line 1/3: Need \":=\" here\r\n"},
      {{"x := (1 + 2"}, "Line 1/12: Need \")\" here\r\n"},
      {{"x := [a + 1"}, "Line 1/6: Need \"]\" here\r\n"},
      {{"x := f(1; 2)"}, "Line 1/9: Need \",\" or \")\" here\r\n"},
      {{"x := "}, "Line 1/6: Need an expression here\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Compile(c.script), c.error) << *c.script.begin();
}

TEST_F(ScriptTest, EmptyAndTrailingSemicolons) {
  EXPECT_EQ(Compile({""}), "");
  EXPECT_EQ(ops.Count(), 0);
  EXPECT_EQ(Compile({"BEGIN x := 1; END"}), "");
  EXPECT_EQ(ops.Count(), 1);
  EXPECT_EQ(Compile({"BEGIN BEGIN x := 1 END; y := 2 END."}), "");
  EXPECT_EQ(ops.Count(), 2);
}

TEST_F(ScriptTest, SourceAndOpListMayBeOneList) {
  src.Add("BEGIN x := 1;");
  src.Add("  IF x THEN y := 1 z := 2 END");
  in.PrepareScript(&src, &src, &errs);
  EXPECT_EQ(errs.Text(), "Line 2/20: Need \";\" or \"end\" here\r\n");
}

TEST_F(ScriptTest, AnEndlessLoopCanBeStopped) {
  in.stopAfter = 50;
  in.vars["N"] = 0;
  Run({"WHILE 1 DO n := n + 1"});
  EXPECT_EQ(in.backJumps, 50);
  EXPECT_DOUBLE_EQ(Var("N"), 50);
}

TEST_F(ScriptTest, DeepNestingIsReportedNotOverflowed) {
  std::string deep(5000, '(');
  deep = "x := " + deep + "1" + std::string(5000, ')');
  src.Clear();
  src.Add(deep);
  in.PrepareScript(&src, &ops, &errs);
  ASSERT_EQ(errs.Count(), 1);
  EXPECT_NE(errs[0].find("Nesting too deep"), std::string::npos);
}

TEST_F(ScriptTest, MoreOpLinesThanAddressesReachIsReported) {
  std::string text = "BEGIN";
  for (int i = 0; i <= TrbInterpretator::kMaxOpLines; ++i) text += " x:=1;";
  text += " END";
  src.Clear();
  src.Add(text);
  in.PrepareScript(&src, &ops, &errs);
  ASSERT_EQ(errs.Count(), 1);
  EXPECT_NE(errs[0].find("more than 65536 op lines"), std::string::npos) << errs[0];
  EXPECT_EQ(ops.Count(), TrbInterpretator::kMaxOpLines);
}

TEST_F(ScriptTest, DoubleByteTextInStringsAndComments) {
  // 0x7D ('}') as a trail byte must not end the comment early.
  Run({"BEGIN { \x81\x7D still a comment } x := '\x81\x7D' END"});
  EXPECT_EQ(in.vars["X"].AsString(), "\x81\x7D");
}

TEST_F(ScriptTest, SplitExpressionsFindsAggregateCallsInOpLines) {
  ASSERT_EQ(Compile({"BEGIN IF SUM([a]) > 1 THEN t := COUNT(Band1) + 1; SHOWBAND(MAX([b])) END"}), "");
  TStringList match, found;
  for (const char* f : {"SUM", "COUNT", "MAX"}) match.Add(f);
  in.SplitExpressions(&ops, &match, &found, nullptr);
  EXPECT_EQ(found.Count(), 3);
  EXPECT_EQ(found[0], "SUM([a])");
}

TEST(ScriptWords, GetWordAndCopyFrom) {
  AnsiString t = "  ab;c  d";
  int pos = 1;
  EXPECT_EQ(GetWord(t, pos), "ab;c");
  EXPECT_EQ(CopyFrom(t, pos), "  d");
}

}  // namespace
