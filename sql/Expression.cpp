// Expression tree: base readers, literals, operators, casts, IF, CASE, IN,
// BETWEEN and LIKE.  See Expression.h for the contract.
#include "sql/Expression.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "platform/core/NumFormat.h"

const char* const kMsgDivByZero = "Division by zero";
const char* const kMsgFloatDivByZero = "Floating point division by zero";
const char* const kMsgInvalidFloatOp = "Invalid floating point operation";
const char* const kMsgFloatOverflow = "Floating point overflow";
const char* const kMsgIntOverflow = "Integer overflow";

const char* ExprTypeName(TExprType type) {
  static const char* const kNames[] = {"String", "Float", "Integer", "Boolean"};
  return kNames[type];
}

const char* OperatorName(TOperator op) {
  static const char* const kNames[] = {
      "opNot", "opExp", "opMult", "opDivide", "opDiv", "opMod", "opAnd",
      "opShl", "opShr", "opPlus", "opMinus", "opOr", "opXor", "opEq",
      "opNEQ", "opLT", "opGT", "opLTE", "opGTE"};
  return kNames[op];
}

namespace {

bool IsRelational(TOperator op) { return op >= opEq && op <= opGTE; }

[[noreturn]] void RaiseCannotRead(TExprType type, const char* reader) {
  throw EExpression(Format("Cannot read %s as %s", {ExprTypeName(type), reader}));
}

// 32-bit two's-complement arithmetic done in unsigned, where wrapping is
// defined.
int Wrap(std::uint32_t v) { return static_cast<int>(v); }
std::uint32_t U(int v) { return static_cast<std::uint32_t>(v); }

TExprType Lower(TExprType a, TExprType b) { return a < b ? a : b; }

template <class T>
int Compare(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

bool TestOrder(TOperator op, int c) {
  switch (op) {
    case opEq: return c == 0;
    case opNEQ: return c != 0;
    case opLT: return c < 0;
    case opGT: return c > 0;
    case opLTE: return c <= 0;
    case opGTE: return c >= 0;
    default: RaiseInternalError(13);
  }
}

}  // namespace

void RaiseInternalError(int code) {
  throw EExpression(Format("Internal parser error. Code %d", {code}));
}

TExprType ResultTypeOf(TOperator op, TExprType operand) {
  if (IsRelational(op)) {
    if (operand != ttBoolean || op == opEq || op == opNEQ) return ttBoolean;
  } else {
    switch (operand) {
      case ttString:
        if (op == opPlus) return ttString;
        break;
      case ttFloat:
        if (op == opExp || op == opMult || op == opDivide || op == opPlus || op == opMinus)
          return ttFloat;
        break;
      case ttInteger:
        if (op == opExp || op == opDivide) return ttFloat;
        if (op == opNot || op == opMult || op == opDiv || op == opMod || op == opAnd ||
            op == opShl || op == opShr || op == opPlus || op == opMinus || op == opOr ||
            op == opXor)
          return ttInteger;
        break;
      case ttBoolean:
        if (op == opNot || op == opAnd || op == opOr || op == opXor) return ttBoolean;
        break;
    }
  }
  throw EExpression(Format("Operator %s incompatible with %s",
                           {OperatorName(op), ExprTypeName(operand)}));
}

double CheckedFloat(double value) {
  if (std::isnan(value)) throw EExpression(kMsgInvalidFloatOp);
  if (std::isinf(value)) throw EExpression(kMsgFloatOverflow);
  return value;
}

int TruncToInt32(double value) {
  double t = std::trunc(value);
  if (!(t >= INT_MIN && t <= INT_MAX)) throw EExpression(kMsgIntOverflow);
  return static_cast<int>(t);
}

int RoundToInt32(double value) {
  double r = std::nearbyint(value);  // the default rounding mode: halves to even
  if (!(r >= INT_MIN && r <= INT_MAX)) throw EExpression(kMsgIntOverflow);
  return static_cast<int>(r);
}

// --- TExpression: the base widenings ---------------------------------------

AnsiString TExpression::AsString() {
  switch (ExprType()) {
    case ttFloat: return FloatToStr(AsFloat());
    case ttInteger: return IntToStr(AsInteger());
    case ttBoolean: return AsBoolean() ? "TRUE" : "FALSE";
    case ttString: break;
  }
  RaiseCannotRead(ttString, "String");
}

double TExpression::AsFloat() {
  TExprType t = ExprType();
  if (t == ttInteger || t == ttBoolean) return AsInteger();
  RaiseCannotRead(t, "Float");
}

int TExpression::AsInteger() {
  TExprType t = ExprType();
  if (t == ttBoolean) return AsBoolean() ? 1 : 0;
  RaiseCannotRead(t, "Integer");
}

bool TExpression::AsBoolean() { RaiseCannotRead(ExprType(), "boolean"); }

// --- TParameterList ----------------------------------------------------------

TExpression* TParameterList::Param(int i) const {
  if (i < 0 || i >= Count() || !items_[i]) ListIndexError(i);
  return items_[i].get();
}

TExpressionPtr TParameterList::Release(int i) {
  Param(i);
  return std::move(items_[i]);
}

TExpression* TFunction::Param(int i) const {
  if (!params_) ListIndexError(i);
  return params_->Param(i);
}

// --- TUnaryOp ------------------------------------------------------------------

TUnaryOp::TUnaryOp(TOperator op, TExpressionPtr operand)
    : op_(op), operand_(std::move(operand)) {
  if (op != opNot && op != opPlus && op != opMinus)
    throw EExpression(Format("%s is not simple unary operator", {OperatorName(op)}));
  operandType_ = operand_->ExprType();
  type_ = ResultTypeOf(op, operandType_);
}

AnsiString TUnaryOp::AsString() {
  if (type_ == ttString) return operand_->AsString();
  return TExpression::AsString();
}

double TUnaryOp::AsFloat() {
  switch (op_) {
    case opPlus: return operand_->AsFloat();
    case opMinus: return -operand_->AsFloat();
    default: return TExpression::AsFloat();
  }
}

int TUnaryOp::AsInteger() {
  switch (op_) {
    case opPlus: return operand_->AsInteger();
    case opMinus: return Wrap(0u - U(operand_->AsInteger()));
    default:
      if (operandType_ == ttInteger) return ~operand_->AsInteger();
      if (operandType_ == ttBoolean) return AsBoolean() ? 1 : 0;
      RaiseInternalError(6);
  }
}

bool TUnaryOp::AsBoolean() {
  if (op_ == opNot) return !operand_->AsBoolean();
  return TExpression::AsBoolean();
}

// --- TBinaryOp -----------------------------------------------------------------

TBinaryOp::TBinaryOp(TOperator op, TExpressionPtr left, TExpressionPtr right)
    : op_(op), left_(std::move(left)), right_(std::move(right)) {
  if (op < opExp || op > opXor)
    throw EExpression(Format("%s is not a simple binary operator", {OperatorName(op)}));
  operandType_ = Lower(left_->ExprType(), right_->ExprType());
  type_ = ResultTypeOf(op, operandType_);
}

AnsiString TBinaryOp::AsString() {
  if (type_ != ttString) return TExpression::AsString();
  if (op_ != opPlus) RaiseInternalError(10);
  AnsiString s = left_->AsString();
  s += right_->AsString();
  return s;
}

double TBinaryOp::AsFloat() {
  if (type_ != ttFloat) return TExpression::AsFloat();
  double l = left_->AsFloat();
  double r = right_->AsFloat();
  switch (op_) {
    case opPlus: return CheckedFloat(l + r);
    case opMinus: return CheckedFloat(l - r);
    case opMult: return CheckedFloat(l * r);
    case opDivide:
      if (r == 0) throw EExpression(kMsgFloatDivByZero);
      return CheckedFloat(l / r);
    case opExp:
      // pow is exact where the result is representable (2 ^ 3 is 8, not
      // exp(3 ln 2)); a negative base needs an integral exponent.
      if (l == 0 && r < 0) throw EExpression(kMsgFloatDivByZero);
      return CheckedFloat(std::pow(l, r));
    default: RaiseInternalError(11);
  }
}

int TBinaryOp::AsInteger() {
  if (type_ != ttInteger) return TExpression::AsInteger();
  int l = left_->AsInteger();
  int r = right_->AsInteger();
  switch (op_) {
    case opPlus: return Wrap(U(l) + U(r));
    case opMinus: return Wrap(U(l) - U(r));
    case opMult: return Wrap(U(l) * U(r));
    case opDiv:
      if (r == 0) throw EExpression(kMsgDivByZero);
      if (r == -1) return Wrap(0u - U(l));  // INT_MIN DIV -1 wraps to INT_MIN
      return l / r;                        // truncates toward zero
    case opMod:
      if (r == 0) throw EExpression(kMsgDivByZero);
      if (r == -1) return 0;
      return l % r;  // sign of the dividend
    case opAnd: return l & r;
    case opOr: return l | r;
    case opXor: return l ^ r;
    case opShl: return Wrap(U(l) << (U(r) & 31u));
    case opShr: return Wrap(U(l) >> (U(r) & 31u));
    default: RaiseInternalError(12);
  }
}

bool TBinaryOp::AsBoolean() {
  if (type_ != ttBoolean) return TExpression::AsBoolean();
  switch (op_) {
    case opAnd: return left_->AsBoolean() && right_->AsBoolean();
    case opOr: return left_->AsBoolean() || right_->AsBoolean();
    case opXor: {
      bool l = left_->AsBoolean();
      return l != right_->AsBoolean();
    }
    default: RaiseInternalError(13);
  }
}

// --- TRelationalOp -------------------------------------------------------------

TRelationalOp::TRelationalOp(TOperator op, TExpressionPtr left, TExpressionPtr right)
    : op_(op), left_(std::move(left)), right_(std::move(right)) {
  if (!IsRelational(op))
    throw EExpression(Format("%s is not relational operator", {OperatorName(op)}));
  operandType_ = Lower(left_->ExprType(), right_->ExprType());
  if (operandType_ == ttBoolean && op != opEq && op != opNEQ)
    throw EExpression(Format("cannot apply %s to boolean operands", {OperatorName(op)}));
}

bool TRelationalOp::AsBoolean() {
  if (left_->IsNull() || right_->IsNull()) return false;
  int c;
  switch (operandType_) {
    case ttString: c = left_->AsString().compare(right_->AsString()); break;
    case ttFloat: c = Compare(left_->AsFloat(), right_->AsFloat()); break;
    case ttInteger: c = Compare(left_->AsInteger(), right_->AsInteger()); break;
    default: c = Compare(left_->AsBoolean(), right_->AsBoolean()); break;
  }
  return TestOrder(op_, c);
}

// --- TTypeCast -----------------------------------------------------------------

double TTypeCast::AsFloat() {
  TExpression* p = Param(0);
  if (p->ExprType() == ttString) return StrToFloat(p->AsString());
  return p->AsFloat();
}

int TTypeCast::AsInteger() {
  TExpression* p = Param(0);
  switch (p->ExprType()) {
    case ttString: return StrToInt(p->AsString());
    case ttFloat: return TruncToInt32(p->AsFloat());
    default: return p->AsInteger();
  }
}

// --- TConditional --------------------------------------------------------------

void TConditional::Check() {
  if (checked_) return;
  if (ParameterCount() != 3 || Param(0)->ExprType() != ttBoolean)
    throw EExpression("IF: Invalid parameters");
  checked_ = true;
}

TExpression* TConditional::Branch() {
  Check();
  return Param(0)->AsBoolean() ? Param(1) : Param(2);
}

AnsiString TConditional::AsString() {
  if (!MaxWidthMode()) return Branch()->AsString();
  Check();
  AnsiString a = Param(1)->AsString();
  AnsiString b = Param(2)->AsString();
  return a.size() > b.size() ? a : b;
}

// --- TCaseWhenElseExpr ---------------------------------------------------------

TCaseWhenElseExpr::TCaseWhenElseExpr(TParameterListPtr whenList, TParameterListPtr thenList,
                                     TExpressionPtr elseExpr)
    : TFunction(std::move(whenList)), thenList_(std::move(thenList)), else_(std::move(elseExpr)) {}

void TCaseWhenElseExpr::Check() {
  if (checked_) return;
  int n = ParameterCount();
  for (int i = 0; i < n; ++i)
    if (Param(i)->ExprType() != ttBoolean) throw EExpression("Expression in Case must be boolean");
  if (!thenList_ || thenList_->Count() != n || n == 0)
    throw EExpression("Expression in Case must be boolean");
  TExprType first = thenList_->ExprType(0);
  const char* kMixed = "Expressions in THEN section must be all of same type";
  for (int i = 1; i < n; ++i)
    if (!thenList_->Param(i)->CanReadAs(first)) throw EExpression(kMixed);
  if (else_ && !else_->CanReadAs(first)) throw EExpression(kMixed);
  checked_ = true;
}

TExpression* TCaseWhenElseExpr::Pick() {
  Check();
  int n = ParameterCount();
  for (int i = 0; i < n; ++i)
    if (Param(i)->AsBoolean()) return thenList_->Param(i);
  return else_.get();
}

AnsiString TCaseWhenElseExpr::AsString() {
  if (MaxWidthMode()) {
    Check();
    AnsiString longest;
    for (int i = 0; i < thenList_->Count(); ++i) {
      AnsiString s = thenList_->AsString(i);
      if (i == 0 || s.size() > longest.size()) longest = std::move(s);
    }
    if (else_) {
      AnsiString s = else_->AsString();
      if (s.size() > longest.size()) longest = std::move(s);
    }
    return longest;
  }
  TExpression* e = Pick();
  return e ? e->AsString() : AnsiString();
}

double TCaseWhenElseExpr::AsFloat() {
  TExpression* e = Pick();
  return e ? e->AsFloat() : 0.0;
}

int TCaseWhenElseExpr::AsInteger() {
  TExpression* e = Pick();
  return e ? e->AsInteger() : 0;
}

bool TCaseWhenElseExpr::AsBoolean() {
  TExpression* e = Pick();
  return e ? e->AsBoolean() : false;
}

TExprType TCaseWhenElseExpr::ExprType() {
  Check();
  return thenList_->ExprType(0);
}

// --- IN, BETWEEN ---------------------------------------------------------------

bool TSQLInPredicateExpr::AsBoolean() {
  TExpression* x = Param(0);
  int n = ParameterCount();
  bool found = false;
  switch (x->ExprType()) {
    case ttString: {
      AnsiString v = x->AsString();
      for (int i = 1; i < n && !found; ++i) found = Param(i)->AsString() == v;
      break;
    }
    case ttFloat: {
      double v = x->AsFloat();
      for (int i = 1; i < n && !found; ++i) found = Param(i)->AsFloat() == v;
      break;
    }
    case ttInteger: {
      int v = x->AsInteger();
      for (int i = 1; i < n && !found; ++i) found = Param(i)->AsInteger() == v;
      break;
    }
    case ttBoolean: {
      bool v = x->AsBoolean();
      for (int i = 1; i < n && !found; ++i) found = Param(i)->AsBoolean() == v;
      break;
    }
  }
  return found != not_;
}

bool TBetweenExpr::AsBoolean() {
  TExpression* x = Param(0);
  bool inside;
  switch (x->ExprType()) {
    case ttString: {
      AnsiString v = x->AsString();
      inside = v.compare(Param(1)->AsString()) >= 0 && v.compare(Param(2)->AsString()) <= 0;
      break;
    }
    case ttFloat: {
      double v = x->AsFloat();
      inside = v >= Param(1)->AsFloat() && v <= Param(2)->AsFloat();
      break;
    }
    case ttInteger: {
      int v = x->AsInteger();
      inside = v >= Param(1)->AsInteger() && v <= Param(2)->AsInteger();
      break;
    }
    default: {
      int v = x->AsBoolean();
      inside = v >= int(Param(1)->AsBoolean()) && v <= int(Param(2)->AsBoolean());
      break;
    }
  }
  return inside != not_;
}

// --- LIKE ----------------------------------------------------------------------

TLikeList::TLikeList(const AnsiString& pattern, const AnsiString& escape) {
  std::string_view p = pattern;
  AnsiString literal;
  auto flush = [&] {
    if (!literal.empty()) items_.push_back({std::move(literal), TLikeItem::wcNone});
    literal.clear();
  };
  for (size_t i = 0; i < p.size();) {
    size_t len = AnsiCharLength(p, i);
    std::string_view ch = p.substr(i, len);
    i += len;
    if (!escape.empty() && ch == std::string_view(escape)) {
      if (i < p.size()) {  // the escaped character stands for itself
        size_t next = AnsiCharLength(p, i);
        literal.append(p.substr(i, next));
        i += next;
      } else {
        literal.append(ch);
      }
      continue;
    }
    if (ch == "%" || ch == "_") {
      flush();
      auto wc = ch == "%" ? TLikeItem::wcAny : TLikeItem::wcOne;
      if (wc == TLikeItem::wcAny && !items_.empty() && items_.back().Wildcard == TLikeItem::wcAny)
        continue;  // "%%" is "%"
      items_.push_back({AnsiString(), wc});
      continue;
    }
    literal.append(ch);
  }
  flush();
}

// Greedy match with one back-track point: the last "%" seen.  Literal runs
// hold whole characters and the value is walked character by character, so
// every comparison starts on a character boundary of the value.
bool TLikeList::Matches(std::string_view v) const {
  const size_t m = items_.size();
  size_t p = 0, s = 0;
  size_t starItem = SIZE_MAX, starPos = 0;
  while (s < v.size()) {
    if (p < m) {
      const TLikeItem& it = items_[p];
      if (it.Wildcard == TLikeItem::wcAny) {
        starItem = p++;
        starPos = s;
        continue;
      }
      if (it.Wildcard == TLikeItem::wcOne) {
        s += AnsiCharLength(v, s);
        ++p;
        continue;
      }
      if (v.substr(s, it.Literal.size()) == std::string_view(it.Literal)) {
        s += it.Literal.size();
        ++p;
        continue;
      }
    }
    if (starItem == SIZE_MAX) return false;
    p = starItem + 1;
    starPos += AnsiCharLength(v, starPos);
    s = starPos;
  }
  while (p < m && items_[p].Wildcard == TLikeItem::wcAny) ++p;
  return p == m;
}

TSQLLikeExpr::TSQLLikeExpr(TParameterListPtr params, bool isNot)
    : TFunction(std::move(params)), not_(isNot) {
  AnsiString escape;
  if (ParameterCount() > 2) {
    AnsiString e = Param(2)->AsString();
    if (!e.empty()) escape = e.substr(0, AnsiCharLength(e, 0));
  }
  likeList_ = std::make_unique<TLikeList>(Param(1)->AsString(), escape);
}

bool TSQLLikeExpr::AsBoolean() { return likeList_->Matches(Param(0)->AsString()) != not_; }
