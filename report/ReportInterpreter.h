// TrbInterpretator: compiles report scripts (BEGIN..END, IF, WHILE, REPEAT,
// FOR, GOTO with numeric labels, assignments, procedure calls) into an op
// list and runs it.  Names, assignments and calls go to three virtual
// operations that the report's subclass overrides.  Calls platform/core and
// the expression parser.
//
// Op list: one byte string per line; an address is two bytes, low first.
//
//   first byte  rest of the line                 when run
//   1           address, condition (postfix)     condition = 0: jump, else next line
//   2           address                          jump
//   3           call (postfix)                   "EXIT(0)" (any case) ends the run;
//                                                otherwise evaluate and drop the value
//   other       name, one blank, expression      SetValue(name, value)
//
// Errors go to MemoErr as "Line <line>/<column>: <message>" with the source
// position of the word where compiling stopped (comments counted back in).
// Besides the syntax errors, a GOTO to a label that is never defined, more
// op lines than two address bytes reach and nesting deeper than kMaxNesting
// are reported; a running script stops when StopRequested says so, checked
// at every backward jump, so an endless loop can be ended.
//
//   TMyInterpreter in;            // overrides GetValue/SetValue/DoFunction
//   in.PrepareScript(&src, &ops, &errs);
//   if (errs.Count() == 0) in.DoScript(&ops);
#pragma once

#include <utility>
#include <vector>

#include "report/ReportParser.h"

class TStrings;

class TrbInterpretator {
 public:
  static constexpr int kMaxNesting = 200;
  static constexpr int kMaxOpLines = 65536;

  TrbInterpretator();
  virtual ~TrbInterpretator() = default;
  TrbInterpretator(const TrbInterpretator&) = delete;
  TrbInterpretator& operator=(const TrbInterpretator&) = delete;

  virtual void GetValue(const AnsiString& name, Variant& value) {}
  virtual void SetValue(const AnsiString& name, const Variant& value) {}
  virtual void DoFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                          const Variant& p3, Variant& value) {}
  // memoFrom and memoTo may be one list.
  virtual void PrepareScript(TStrings* memoFrom, TStrings* memoTo, TStrings* memoErr);
  virtual void DoScript(TStrings* memo);
  // Asked at every backward jump of a running script; true ends the run.
  virtual bool StopRequested() { return false; }

  // Runs a function splitter over the expression part of every op line.
  void SplitExpressions(TStrings* memo, TStrings* matchFuncs, TStrings* splitTo,
                        TrbVariables* variables);

  TrbParser& Parser() { return parser_; }

 private:
  TrbParser parser_;
};

// Skips bytes up to 32 and returns the following run of bytes above 32;
// pos (1-based) is left after it.
AnsiString GetWord(const AnsiString& text, int& pos);
AnsiString CopyFrom(const AnsiString& text, int pos);
