// TRuleLexer: the one scanner routine of the query engine's two languages,
// the SQL dialect (SqlLexer.h) and the expression language (ExprLexer.h).
// sql/; calls LexLib.
//
// Both languages share their lexical shape: names of letters (bytes 128 to
// 255 count as letters, so a double-byte character is a letter and its
// trail byte stays in the name), digits and "_"; bracketed names; numbers
// (unsigned and signed integers, decimals, ".5E+3"); "$" hexadecimal
// integers; quoted strings ('' stands for a quote); #date# literals;
// /* comments */ without a star inside; the punctuation and comparison
// operators.  What differs is written in a TLexRules table: the token
// numbers, the keyword table, whether ";", ":", "||" and "(* *)" exist,
// whether a bracketed name and a string keep their delimiters in the
// token's value; a date literal's reading is the concrete scanner's own
// (DateValue).
//
// Every rule reads as far as it could go and pushes back what lies beyond
// the token it settles on, so the column bookkeeping of TCustomLexer holds.
#pragma once

#include "sql/LexLib.h"

struct TLexRules {
  // Token numbers; 0 where the language has no such token (its character
  // is then illegal).
  int ident, uint, sint, number, string;
  int comma, lparen, rparen, dot, semicolon, colon;
  int eq, neq, gt, lt, ge, le;
  int plus, minus, star, slash, caret;
  int illegal, comment, blank, tab, newline;
  // "||": string joining, the plus token with the value "+".
  bool barBarIsPlus;
  // "(* ... *)" is a comment as "/* ... */" is ("(*)" never opens one).
  bool parenStarComments;
  // The value of "[name]" keeps its brackets; of a string its quotes, with
  // a doubled quote left doubled.
  bool keepDelimiters;
  // The keyword token of a word, 0 for a plain name.
  int (*keyword)(const AnsiString& word);
};

class TRuleLexer : public TCustomLexer {
 public:
  TRuleLexer(TStream* input, const TLexRules& rules) : TCustomLexer(input), rules_(rules) {}

 protected:
  // The next token for yylex: blanks, tabs, line feeds and comments are
  // tokens too (the parser skips them); 0 at the end of input, after which
  // the input side starts over.
  int NextToken();
  // One token: its number (yytext its text, yylval its value), 0 at the
  // end of input, -1 for text that gives no token.
  int ScanToken();
  // The value of the date literal in yytext ("#...#", delimiters
  // included): its day number as a text, or false for a literal that gives
  // no token at all.  Conversion errors pass on.
  virtual bool DateValue(AnsiString& value) = 0;

 private:
  int Identifier();
  int Bracketed();
  int Number(int first);
  int Hexadecimal();
  int Quoted(char quote);
  int DateLiteral();
  int Comment(char close);

  const TLexRules& rules_;
};
