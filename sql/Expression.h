// Expression trees of the query engine: the node contract, literals,
// operators, casts and the predicate and choice nodes (IF, CASE, IN,
// BETWEEN, LIKE).  The built-in functions are in ExprFunctions.h; nodes
// bound to data are built by the expression parser's identifier hook.
//
// A tree is built bottom-up by the expression grammar (children exist before
// their parent; every node owns its children) and evaluated by calling one
// of the typed readers of its root once per row.  A node implements the
// reader of its own type; the base supplies the widenings
//   boolean -> integer (1/0) -> float, and every non-string type -> string
// and raises "Cannot read <type> as <reader>" for the rest.
//
// Typing is settled when a tree is built: TBinaryOp and TRelationalOp fix
// their operand type (the lower ordinal of the operands' types) and check
// the operator against it at creation, so a badly typed expression fails
// while it is parsed, not on some later row.  Function nodes check their
// arguments on first evaluation and remember a passed check.
//
// Arithmetic never leaves C++'s defined ground: integer operations wrap in
// 32-bit two's complement (the smallest integer DIV -1 is itself), and a
// division by zero, a logarithm or root of a negative number, an infinite
// result or a value that does not fit the integer it is read into raises
// EExpression instead.
//
//   auto e = std::make_unique<TBinaryOp>(opPlus, MakeInt(7), MakeInt(2));
//   e->AsInteger();   // 9
#pragma once

#include <memory>
#include <vector>

#include "platform/core/Exceptions.h"
#include "sql/ExprType.h"

// Errors of building and evaluating expressions (message only).
PAYROLL_DECLARE_EXCEPTION(EExpression, Exception)

// Operators, in this order; the names are the texts placed in messages.
// Unary: opNot, opPlus, opMinus.  Binary: opExp .. opXor.  Relational:
// opEq .. opGTE.
enum TOperator : unsigned char {
  opNot, opExp, opMult, opDivide, opDiv, opMod, opAnd, opShl, opShr, opPlus,
  opMinus, opOr, opXor, opEq, opNEQ, opLT, opGT, opLTE, opGTE
};
const char* OperatorName(TOperator op);

// Result type of `op` applied in operand type `operand`; raises
// "Operator %s incompatible with %s" for a pair the language lacks.
TExprType ResultTypeOf(TOperator op, TExprType operand);

// Messages of arithmetic failures, one text each.
extern const char* const kMsgDivByZero;       // "Division by zero"
extern const char* const kMsgFloatDivByZero;  // "Floating point division by zero"
extern const char* const kMsgInvalidFloatOp;  // "Invalid floating point operation"
extern const char* const kMsgFloatOverflow;   // "Floating point overflow"
extern const char* const kMsgIntOverflow;     // "Integer overflow"

// Checks a float result computed from finite operands: NaN raises
// kMsgInvalidFloatOp, an infinity kMsgFloatOverflow.
double CheckedFloat(double value);
// A float read as a 32-bit integer: truncated or rounded (halves to even);
// a value outside the 32-bit range, or not finite, raises kMsgIntOverflow.
int TruncToInt32(double value);
int RoundToInt32(double value);

[[noreturn]] void RaiseInternalError(int code);  // "Internal parser error. Code %d"

class TExpression {
 public:
  TExpression() = default;
  virtual ~TExpression() = default;
  TExpression(const TExpression&) = delete;
  TExpression& operator=(const TExpression&) = delete;

  virtual AnsiString AsString();
  virtual double AsFloat();
  virtual int AsInteger();
  virtual bool AsBoolean();
  virtual TExprType ExprType() = 0;
  // True only for data nodes whose value is absent (fields).
  virtual bool IsNull() { return false; }

  // True when ExprType's ordinal >= type's: the node can be read with the
  // reader of `type` through the base widenings.
  bool CanReadAs(TExprType type) { return ExprType() >= type; }

  // When set, string nodes that can say so deliver a value of the greatest
  // length they can produce instead of the current row's (sizes columns).
  bool MaxWidthMode() const { return maxWidthMode_; }
  void SetMaxWidthMode(bool on) { maxWidthMode_ = on; }

 private:
  bool maxWidthMode_ = false;
};

using TExpressionPtr = std::unique_ptr<TExpression>;

// An owning list of argument expressions with readers by index.  An index
// outside the list raises the class library's list-index error.
class TParameterList {
 public:
  TParameterList() = default;
  TParameterList(const TParameterList&) = delete;
  TParameterList& operator=(const TParameterList&) = delete;

  void Add(TExpressionPtr e) { items_.push_back(std::move(e)); }
  int Count() const { return static_cast<int>(items_.size()); }
  TExpression* Param(int i) const;
  // Takes the item out of the list, leaving the slot empty (for nodes that
  // re-home their arguments).
  TExpressionPtr Release(int i);

  AnsiString AsString(int i) const { return Param(i)->AsString(); }
  double AsFloat(int i) const { return Param(i)->AsFloat(); }
  int AsInteger(int i) const { return Param(i)->AsInteger(); }
  bool AsBoolean(int i) const { return Param(i)->AsBoolean(); }
  TExprType ExprType(int i) const { return Param(i)->ExprType(); }

 private:
  std::vector<TExpressionPtr> items_;
};

using TParameterListPtr = std::unique_ptr<TParameterList>;

// --- literals ----------------------------------------------------------------

class TStringLiteral : public TExpression {
 public:
  explicit TStringLiteral(AnsiString v) : value_(std::move(v)) {}
  AnsiString AsString() override { return value_; }
  TExprType ExprType() override { return ttString; }
  const AnsiString& Value() const { return value_; }

 private:
  AnsiString value_;
};

class TFloatLiteral : public TExpression {
 public:
  explicit TFloatLiteral(double v) : value_(v) {}
  double AsFloat() override { return value_; }
  TExprType ExprType() override { return ttFloat; }

 private:
  double value_;
};

class TIntegerLiteral : public TExpression {
 public:
  explicit TIntegerLiteral(int v) : value_(v) {}
  int AsInteger() override { return value_; }
  double AsFloat() override { return value_; }
  TExprType ExprType() override { return ttInteger; }

 private:
  int value_;
};

class TBooleanLiteral : public TExpression {
 public:
  explicit TBooleanLiteral(bool v) : value_(v) {}
  bool AsBoolean() override { return value_; }
  TExprType ExprType() override { return ttBoolean; }

 private:
  bool value_;
};

// --- operators ---------------------------------------------------------------

class TUnaryOp : public TExpression {
 public:
  // Raises "%s is not simple unary operator" for anything but opNot,
  // opPlus, opMinus, and the typing error for an operand the operator
  // does not take (-TRUE, NOT 'a').
  TUnaryOp(TOperator op, TExpressionPtr operand);
  AnsiString AsString() override;  // +'text' is the text
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override { return type_; }

 private:
  TOperator op_;
  TExpressionPtr operand_;
  TExprType operandType_;
  TExprType type_;
};

class TBinaryOp : public TExpression {
 public:
  // Raises "%s is not a simple binary operator" outside opExp .. opXor and
  // the typing error for an operator the operand type lacks.
  TBinaryOp(TOperator op, TExpressionPtr left, TExpressionPtr right);
  AnsiString AsString() override;
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override { return type_; }
  TOperator Operator() const { return op_; }

 private:
  TOperator op_;
  TExpressionPtr left_, right_;
  TExprType operandType_;
  TExprType type_;
};

// Comparison in the operand type.  A NULL operand makes every comparison
// False (NULL = NULL and NULL <> x included).  Strings compare byte by byte
// (a proper prefix first); booleans allow only = and <>.
class TRelationalOp : public TExpression {
 public:
  // Raises "%s is not relational operator" outside opEq .. opGTE and
  // "cannot apply %s to boolean operands" for an order test on booleans.
  TRelationalOp(TOperator op, TExpressionPtr left, TExpressionPtr right);
  bool AsBoolean() override;
  TExprType ExprType() override { return ttBoolean; }

 private:
  TOperator op_;
  TExpressionPtr left_, right_;
  TExprType operandType_;
};

// --- function-like nodes -----------------------------------------------------

// Base of every node with an argument list (which may be absent: 0
// parameters).  Param(i) beyond the list raises the list-index error.
class TFunction : public TExpression {
 public:
  explicit TFunction(TParameterListPtr params) : params_(std::move(params)) {}
  int ParameterCount() const { return params_ ? params_->Count() : 0; }
  TExpression* Param(int i) const;
  TParameterList* Parameters() const { return params_.get(); }

 protected:
  TParameterListPtr params_;
};

// CAST(x AS type) and the FLOAT(), INTEGER(), BOOLEAN() forms.  A string
// read as a number goes through the class library's conversions (with
// their EConvertError); a float read as an integer is truncated toward
// zero and must fit 32 bits.
class TTypeCast : public TFunction {
 public:
  TTypeCast(TParameterListPtr params, TExprType target)
      : TFunction(std::move(params)), target_(target) {}
  AnsiString AsString() override { return Param(0)->AsString(); }
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override { return Param(0)->AsBoolean(); }
  TExprType ExprType() override { return target_; }

 private:
  TExprType target_;
};

// IF(condition, then, else): every reader, ExprType included, forwards to
// the branch the condition picks.  Needs exactly 3 parameters with a
// boolean condition, else "IF: Invalid parameters".
class TConditional : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  double AsFloat() override { return Branch()->AsFloat(); }
  int AsInteger() override { return Branch()->AsInteger(); }
  bool AsBoolean() override { return Branch()->AsBoolean(); }
  TExprType ExprType() override { return Branch()->ExprType(); }

 private:
  void Check();
  TExpression* Branch();
  bool checked_ = false;
};

// CASE WHEN c1 THEN r1 ... [ELSE e] END.  The parameter list holds the
// WHEN conditions, a second list the THEN results.  Without a true WHEN
// and without ELSE the value is "", 0.0, 0 or False.
class TCaseWhenElseExpr : public TFunction {
 public:
  TCaseWhenElseExpr(TParameterListPtr whenList, TParameterListPtr thenList,
                    TExpressionPtr elseExpr);
  AnsiString AsString() override;
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override;

 private:
  void Check();
  // The THEN picked for this row, the ELSE, or nullptr.
  TExpression* Pick();
  TParameterListPtr thenList_;
  TExpressionPtr else_;
  bool checked_ = false;
};

// x [NOT] IN (c1, c2, ...): parameter 0 is x, the rest the candidates,
// compared in x's type (strings byte-exact).  NULL is not special.
class TSQLInPredicateExpr : public TFunction {
 public:
  TSQLInPredicateExpr(TParameterListPtr params, bool isNot)
      : TFunction(std::move(params)), not_(isNot) {}
  bool AsBoolean() override;
  TExprType ExprType() override { return ttBoolean; }

 private:
  bool not_;
};

// x [NOT] BETWEEN low AND high, both bounds inclusive, in x's type; the
// high bound is read only when x is not below the low one.
class TBetweenExpr : public TFunction {
 public:
  TBetweenExpr(TParameterListPtr params, bool isNot)
      : TFunction(std::move(params)), not_(isNot) {}
  bool AsBoolean() override;
  TExprType ExprType() override { return ttBoolean; }

 private:
  bool not_;
};

// One piece of a compiled LIKE pattern: either a literal run of whole
// characters (Wildcard wcNone) or one wildcard (Literal empty).  Runs of "%"
// are kept as one item.
struct TLikeItem {
  enum TWildcard : unsigned char { wcNone, wcOne /* "_" */, wcAny /* "%" */ };
  AnsiString Literal;
  TWildcard Wildcard = wcNone;
};

// A compiled LIKE pattern.  "%" matches any run of characters (the empty
// one included), "_" exactly one code-page-936 character (a lead byte and
// its trail byte together), every other character itself, byte-exact.
// With an escape character E, E% and E_ are the literal characters and EE
// is E itself; an E at the very end stands for itself.  Pattern and value
// are walked character by character, so a trail byte that looks like "_"
// or "%" is never a wildcard and a match never starts on a trail byte.
class TLikeList {
 public:
  // escape: the escape character (1 or 2 bytes), or empty for none.
  TLikeList(const AnsiString& pattern, const AnsiString& escape);
  bool Matches(std::string_view value) const;
  const std::vector<TLikeItem>& Items() const { return items_; }

 private:
  std::vector<TLikeItem> items_;
};

// value [NOT] LIKE pattern [ESCAPE e]: parameters value, pattern and an
// optional escape text (its first character is the escape; an empty text
// means none).  The pattern is compiled once, at creation.
class TSQLLikeExpr : public TFunction {
 public:
  TSQLLikeExpr(TParameterListPtr params, bool isNot);
  bool AsBoolean() override;
  TExprType ExprType() override { return ttBoolean; }
  const TLikeList& LikeList() const { return *likeList_; }

 private:
  bool not_;
  std::unique_ptr<TLikeList> likeList_;
};

// Length in bytes of the code-page-936 character at s[i] (1 or 2).
inline size_t AnsiCharLength(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  return (c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
}

// Small helpers for building trees in code.
inline TExpressionPtr MakeStr(AnsiString v) { return std::make_unique<TStringLiteral>(std::move(v)); }
inline TExpressionPtr MakeFloat(double v) { return std::make_unique<TFloatLiteral>(v); }
inline TExpressionPtr MakeInt(int v) { return std::make_unique<TIntegerLiteral>(v); }
inline TExpressionPtr MakeBool(bool v) { return std::make_unique<TBooleanLiteral>(v); }
template <class... T>
TParameterListPtr MakeParams(T&&... items) {
  auto list = std::make_unique<TParameterList>();
  (list->Add(std::forward<T>(items)), ...);
  return list;
}
