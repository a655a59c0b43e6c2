// TCustomLexer: the input side shared by the query engine's scanners (the
// expression scanner, ExprLexer.h, and the SQL scanner).  A concrete
// scanner implements yylex() as a hand-written longest-match scanner over
// get_char/unget_char; this class reads the source line by line and keeps
// the position that error messages report.
//
// Input.  A line is the bytes up to a line feed or a carriage return and
// line feed (both dropped); a carriage return before any other byte stays
// in the line; the last line may end without a line break.  Reading a line
// adds 1 to yylineno, sets yycolno to 1 and puts the line, followed by a
// line feed, into the push-back buffer; get_char takes the next byte
// (yycolno + 1), or 0 at the end of input (yycolno unchanged); unget_char
// pushes one back (yycolno - 1).  The buffer grows as needed, so a line of
// any length scans (and a scanner may read ahead over several lines and
// push them all back).
//
// Position of a token in messages: line yylineno, column
// yycolno - length(yytext) - 1, i.e. the 0-based column where the current
// token starts, provided the scanner pushes back every byte it read past
// the token.
//
// All state is per instance: several scanners may run side by side.
#pragma once

#include <string>

#include "platform/core/AnsiString.h"

class TStream;

class TCustomLexer {
 public:
  // input: the source text (not owned), read from its current position.
  explicit TCustomLexer(TStream* input);
  virtual ~TCustomLexer() = default;
  TCustomLexer(const TCustomLexer&) = delete;
  TCustomLexer& operator=(const TCustomLexer&) = delete;

  // The next token number, 0 at the end of input (after which the scanner
  // has reset itself: a further call starts over on the rest of the input).
  virtual int yylex() = 0;

  TStream* yyinput;
  AnsiString yyline;    // the source line last read
  int yylineno = 0;     // lines read so far
  int yycolno = 0;      // column of the next byte
  AnsiString yytext;    // text of the current token
  AnsiString yylval;    // value of the current token (what the parser shifts)

 protected:
  int get_char();
  void unget_char(int c);
  // Takes the next byte and appends it to yytext; returns it.
  int Take();
  // Pushes the last n bytes of yytext back into the input.
  void Back(size_t n);
  // Resets the input side at the end of input.
  void ResetInput() { buf_.clear(); }

 private:
  bool ReadLine();
  bool FillPending();
  std::string buf_;      // push-back buffer; the next byte is at the back
  std::string pending_;  // bytes read from the stream, not yet split into lines
  size_t pendingPos_ = 0;
  bool streamEnd_ = false;
};
