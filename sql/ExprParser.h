// TExprParser: the parser of the expression language.  It runs the LR
// driver over the tables built from sql/ExprGrammar.y and builds the
// expression tree bottom-up while it reduces: every node built is pushed
// onto the expression stack and operands are taken off its top.
//
// Names.  An identifier (IDENT, IDENT.IDENT, either with an argument list)
// is handed, qualifier and name in upper case, to the identifier hook
// first; a node it returns is used as it stands.  Otherwise the name is
// looked up among the built-in functions (no regard to case); a name
// neither knows ends the parse with "Unknown Identifier <NAME>".
//
// After a successful parse TakeResult() gives the root when exactly one
// node was left (else nothing); ReferencedFields() lists "QUALIFIER.NAME"
// of every qualified name the hook resolved without arguments (each once);
// Composite() tells whether the text is more than one qualified column or
// literal (any operator, function or parenthesis makes it so).
//
//   TStringStream text("1 + 2 * 3");
//   TExprLexer lexer(&text);
//   TExprParser parser;
//   parser.yylexer = &lexer;
//   if (parser.yyparse() == 0) root = parser.TakeResult();
#pragma once

#include <functional>
#include <vector>

#include "sql/Expression.h"
#include "sql/YaccLib.h"

class TExprParser;

// The identifier hook: group is the qualifier ("" for a plain name),
// params the argument list (nullptr without arguments; the hook may take
// it into the node it returns).  Leaving expression empty means unknown.
using TExprIdentifierHook =
    std::function<void(TExprParser& sender, const AnsiString& group, const AnsiString& identifier,
                       TParameterListPtr& params, TExpressionPtr& expression)>;

// Resource-name prefix of the expression parser's tables.
extern const char* const kExprTablePrefix;  // "QExprYacc_"

class TExprParser : public TCustomParser {
 public:
  explicit TExprParser(TExprIdentifierHook hook = {}, bool maxWidthMode = false);
  ~TExprParser() override;

  TExpressionPtr TakeResult();
  const std::vector<AnsiString>& ReferencedFields() const { return referencedFields_; }
  bool Composite() const { return composite_; }
  // Right-side lengths of the grammar's rules, in rule order, as the
  // actions expect them (a test holds them against the tables).
  static const std::vector<int>& RuleLengths();

 protected:
  void yyaction(int rule) override;

 private:
  TExpressionPtr Pop();
  void Push(TExpressionPtr e) { stack_.push_back(std::move(e)); }
  TParameterListPtr PopArguments();  // pops the top count and that many nodes
  void Binary(TOperator op);
  void Relational(TOperator op);
  void Identifier(const AnsiString& group, const AnsiString& name);
  TExpressionPtr BuiltIn(const AnsiString& name, TParameterListPtr& params);
  TExpressionPtr Literal(int rule);

  TExprIdentifierHook hook_;
  bool maxWidthMode_;
  std::vector<TExpressionPtr> stack_;  // may hold nullptr: CASE without ELSE
  std::vector<int> counts_;            // argument counts of open lists
  std::vector<AnsiString> referencedFields_;
  bool composite_ = false;
};
