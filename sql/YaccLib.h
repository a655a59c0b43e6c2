// TCustomParser: the table-driven LR driver shared by the query engine's
// parsers (the expression parser, ExprParser.h, and the SQL parser).  A
// concrete parser names its tables and supplies the rule actions; the
// driver does the rest.
//
// Symbols: 0 end of input, 256 the error token, 257 and above the
// scanner's tokens; nonterminals are negative (-1 the start symbol's
// wrapper, -2 the start symbol, -3 ...).
//
// Parse tables: eight resources of kind RT_RCDATA named <prefix>YYA ...
// <prefix>YYR (names compare without regard to case), each a flat array of
// little-endian signed 16-bit integers without header.  They are built
// from the grammar's yacc file when the program is built
// (tools/yacctables/ParseTables.cmake).
//
//   table  entry                                   per
//   YYA    symbol (terminal), action               action entry (4 bytes)
//            action > 0 shift to that state, < 0 reduce by rule -action,
//            0 accept (only on end of input after the start symbol)
//   YYG    symbol (nonterminal), target state      goto entry (4 bytes)
//   YYD    default action: 0 none, -r reduce by r without a look-ahead
//                                                  state (2 bytes)
//   YYAL   first YYA entry of the state (1-based)  state
//   YYAH   last YYA entry (YYAL > YYAH: none)      state
//   YYGL   first YYG entry of the state (1-based)  state
//   YYGH   last YYG entry                          state
//   YYR    length of the right side, left side     rule 1, 2 ... (4 bytes)
// Entry k of YYA, YYG and YYR lies at byte offset (k-1)*4; entry s of the
// per-state tables at s*2.  Tables that are missing or whose numbers point
// outside the tables count as missing: the parse then fails with "Parser
// resources not found" and runs no step.
//
// The driver (yyparse):
//   - reads a look-ahead only when the state has no default action and
//     none is held; skip tokens (comments, blanks) are read past; the
//     scanner's illegal-character token is a syntax error at once;
//   - searches the state's actions linearly for the look-ahead;
//   - on a reduction runs yyaction(rule): the right side's values are
//     yyv(1) .. yyv(length); yyval starts as yyv(1) ("" for an empty
//     right side) and is what the left side gets; an action may yyerror
//     and yyabort;
//   - stops at the first syntax error ("syntax error", result 1: the
//     grammars hold no error-token shifts) and when the stack of states
//     and values already holds 1048 entries ("yyparse stack overflow",
//     result 1), never overrunning anything.
// Exceptions raised by an action or the scanner leave yyparse unchanged.
// All state is per instance.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/AnsiString.h"

class TCustomLexer;

// The eight tables of one grammar, checked for consistency.
struct TParseTables {
  struct Pair {
    std::int16_t symbol, value;
  };
  std::vector<Pair> yya, yyg, yyr;  // yyr: length of right side, left side
  std::vector<std::int16_t> yyd, yyal, yyah, yygl, yygh;
  int StateCount() const { return static_cast<int>(yyd.size()); }
};

// The tables of `prefix` from the program's resources (loaded once), or
// nullptr when they are missing or inconsistent.
const TParseTables* LoadParseTables(const AnsiString& prefix);
// The same checks over tables given as resource bytes (for tests).
bool CheckParseTables(const TParseTables& tables);

class TCustomParser {
 public:
  static constexpr int kStackLimit = 1048;
  static constexpr int kErrorToken = 256;

  // tablePrefix: "QExprYacc_" and the like; skipTokens: tokens read past
  // (comments, blanks, tabs, line feeds); illegalToken: the scanner's
  // token for a character no rule takes.
  TCustomParser(AnsiString tablePrefix, std::vector<int> skipTokens, int illegalToken);
  virtual ~TCustomParser() = default;
  TCustomParser(const TCustomParser&) = delete;
  TCustomParser& operator=(const TCustomParser&) = delete;

  // 0 accepted, 1 rejected (yyerrormsg says why).
  int yyparse();
  void yyerror(const AnsiString& message) { yyerrormsg = message; }
  // Ends the parse with result 1 after the current action.
  void yyabort() { yyflag = 2; }

  TCustomLexer* yylexer = nullptr;  // set by the creator; not owned
  int yychar = -1;                  // look-ahead; -1 none
  int yynerrs = 0;
  int yyerrflag = 0;
  int yyflag = 0;
  AnsiString yyerrormsg;

  // Test hook: run over these tables instead of the resources.
  void SetTablesForTesting(const TParseTables* tables) { tables_ = tables; }

 protected:
  // Runs the action of `rule`, reading yyv(1..length) and setting yyval.
  virtual void yyaction(int rule) = 0;
  // Value of the k-th symbol of the right side being reduced (1-based).
  const AnsiString& yyv(int k) const { return values_[valueBase_ + k - 1]; }
  AnsiString yyval;

 private:
  bool IsSkipToken(int token) const;
  AnsiString prefix_;
  std::vector<int> skipTokens_;
  int illegalToken_;
  const TParseTables* tables_ = nullptr;
  std::vector<int> states_;
  std::vector<AnsiString> values_;
  size_t valueBase_ = 0;
};
