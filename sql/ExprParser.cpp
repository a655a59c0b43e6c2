// The expression parser's rule actions; the rules are in sql/ExprGrammar.y.
#include "sql/ExprParser.h"

#include "platform/core/AnsiText.h"
#include "platform/core/NumFormat.h"
#include "sql/ExprFunctions.h"
#include "sql/ExprLexer.h"

const char* const kExprTablePrefix = "QExprYacc_";

namespace {

// The grammar's rules, in the order of sql/ExprGrammar.y (rule 1 first).
enum ExprRule {
  rInput = 1,
  rLiteral, rIdent, rQualifiedIdent, rCast, rFloatCast, rIntegerCast, rBooleanCast, rIf, rCase,
  rBetween, rNotBetween, rIn, rNotIn, rLike, rNotLike, rNegate, rPlusSign, rNot,
  rExp, rMult, rDivide, rDiv, rMod, rAnd, rShl, rShr, rPlus, rMinus, rOr, rXor,
  rEq, rNEQ, rLT, rGT, rLE, rGE, rParens,
  rUInt, rSInt, rNumber, rString, rTrue, rFalse,
  rTypeString, rTypeFloat, rTypeInteger, rTypeBoolean,
  rNoArgs, rEmptyArgs, rArgs, rLParen, rFirstArg, rNextArg,
  rFirstWhen, rNextWhen, rNoElse, rElse, rNoEscape, rEscape,
  rRuleCount = rEscape
};

struct TBuiltIn {
  const char* name;
  enum { kString, kMath, kLeft, kRight, kDatePart, kFormatDateTime, kFormatFloat, kFormat,
         kDecode, kMinMax, kLike, kAscii } kind;
  int code;
};

// In the order the names are compared.
const TBuiltIn kBuiltIns[] = {
    {"LTRIM", TBuiltIn::kString, sfLTrim},      {"RTRIM", TBuiltIn::kString, sfRTrim},
    {"TRIM", TBuiltIn::kString, sfTrim},        {"TRUNC", TBuiltIn::kMath, mfTrunc},
    {"ROUND", TBuiltIn::kMath, mfRound},        {"ABS", TBuiltIn::kMath, mfAbs},
    {"ARCTAN", TBuiltIn::kMath, mfArcTan},      {"COS", TBuiltIn::kMath, mfCos},
    {"SIN", TBuiltIn::kMath, mfSin},            {"EXP", TBuiltIn::kMath, mfExp},
    {"FRAC", TBuiltIn::kMath, mfFrac},          {"INT", TBuiltIn::kMath, mfInt},
    {"LN", TBuiltIn::kMath, mfLn},              {"PI", TBuiltIn::kMath, mfPi},
    {"SQR", TBuiltIn::kMath, mfSqr},            {"SQRT", TBuiltIn::kMath, mfSqrt},
    {"POWER", TBuiltIn::kMath, mfPower},        {"UPPER", TBuiltIn::kString, sfUpper},
    {"LOWER", TBuiltIn::kString, sfLower},      {"COPY", TBuiltIn::kString, sfCopy},
    {"SUBSTRING", TBuiltIn::kString, sfCopy},   {"POS", TBuiltIn::kString, sfPos},
    {"CHARINDEX", TBuiltIn::kString, sfPos},    {"LENGTH", TBuiltIn::kString, sfLength},
    {"LEFT", TBuiltIn::kLeft, 0},               {"RIGHT", TBuiltIn::kRight, 0},
    {"YEAR", TBuiltIn::kDatePart, dpYear},      {"MONTH", TBuiltIn::kDatePart, dpMonth},
    {"DAY", TBuiltIn::kDatePart, dpDay},        {"HOUR", TBuiltIn::kDatePart, dpHour},
    {"MIN", TBuiltIn::kDatePart, dpMin},        {"SEC", TBuiltIn::kDatePart, dpSec},
    {"MSEC", TBuiltIn::kDatePart, dpMSec},      {"FORMATDATETIME", TBuiltIn::kFormatDateTime, 0},
    {"FORMATFLOAT", TBuiltIn::kFormatFloat, 0}, {"FORMAT", TBuiltIn::kFormat, 0},
    {"DECODE", TBuiltIn::kDecode, 0},           {"MINOF", TBuiltIn::kMinMax, 1},
    {"MAXOF", TBuiltIn::kMinMax, 0},            {"SQLLIKE", TBuiltIn::kLike, 0},
    {"SQLNOTLIKE", TBuiltIn::kLike, 1},         {"ASCII", TBuiltIn::kAscii, 0},
};

TFormatSettings DotSettings() {
  TFormatSettings fs = DefaultFormatSettings();
  fs.DecimalSeparator = '.';
  fs.ThousandSeparator = ',';
  return fs;
}

}  // namespace

TExprParser::TExprParser(TExprIdentifierHook hook, bool maxWidthMode)
    : TCustomParser(kExprTablePrefix, {etComment, etBlank, etTab, etNewLine}, etIllegal),
      hook_(std::move(hook)), maxWidthMode_(maxWidthMode) {}

TExprParser::~TExprParser() = default;

const std::vector<int>& TExprParser::RuleLengths() {
  static const std::vector<int> kLengths = {
      1,                                                    // input
      1, 2, 4, 6, 2, 2, 2, 2, 4, 5, 6, 3, 4, 4, 5, 2, 2, 2,  // expr forms
      3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,                   // binary operators
      3, 3, 3, 3, 3, 3,                                     // comparisons
      3,                                                    // ( e )
      1, 1, 1, 1, 1, 1,                                     // literals
      1, 1, 1, 1,                                           // cast types
      0, 2, 3, 1, 1, 3,                                     // argument lists
      4, 5, 0, 2, 0, 2};                                    // CASE, ELSE, ESCAPE
  static_assert(rRuleCount == 60);
  return kLengths;
}

TExpressionPtr TExprParser::TakeResult() {
  if (stack_.size() != 1 || !stack_[0]) return nullptr;
  TExpressionPtr root = std::move(stack_[0]);
  stack_.clear();
  return root;
}

TExpressionPtr TExprParser::Pop() {
  TExpressionPtr e = std::move(stack_.back());
  stack_.pop_back();
  return e;
}

TParameterListPtr TExprParser::PopArguments() {
  int n = counts_.back();
  counts_.pop_back();
  if (n == 0) return nullptr;
  auto list = std::make_unique<TParameterList>();
  for (size_t i = stack_.size() - static_cast<size_t>(n); i < stack_.size(); ++i)
    list->Add(std::move(stack_[i]));
  stack_.resize(stack_.size() - static_cast<size_t>(n));
  return list;
}

void TExprParser::Binary(TOperator op) {
  TExpressionPtr right = Pop();
  TExpressionPtr left = Pop();
  Push(std::make_unique<TBinaryOp>(op, std::move(left), std::move(right)));
  composite_ = true;
}

void TExprParser::Relational(TOperator op) {
  TExpressionPtr right = Pop();
  TExpressionPtr left = Pop();
  Push(std::make_unique<TRelationalOp>(op, std::move(left), std::move(right)));
  composite_ = true;
}

TExpressionPtr TExprParser::Literal(int rule) {
  const AnsiString& text = yyv(1);
  switch (rule) {
    case rUInt:
    case rSInt: {
      int v;
      if (TryStrToInt(text, v)) return MakeInt(v);
      return MakeFloat(StrToFloat(text, DotSettings()));
    }
    case rNumber: return MakeFloat(StrToFloat(text, DotSettings()));
    case rString: return MakeStr(text);
    case rTrue: return MakeBool(true);
    default: return MakeBool(false);
  }
}

TExpressionPtr TExprParser::BuiltIn(const AnsiString& name, TParameterListPtr& params) {
  for (const auto& b : kBuiltIns) {
    if (!SameText(name, b.name)) continue;
    switch (b.kind) {
      case TBuiltIn::kString:
        return std::make_unique<TStringExpression>(std::move(params), TStringFunction(b.code));
      case TBuiltIn::kMath:
        return std::make_unique<TMathExpression>(std::move(params), TMathFunction(b.code));
      case TBuiltIn::kLeft: return std::make_unique<TLeftExpr>(std::move(params));
      case TBuiltIn::kRight: return std::make_unique<TRightExpr>(std::move(params));
      case TBuiltIn::kDatePart:
        return std::make_unique<TDecodeDateTimeExpr>(std::move(params), TDateTimePart(b.code));
      case TBuiltIn::kFormatDateTime: return std::make_unique<TFormatDateTimeExpr>(std::move(params));
      case TBuiltIn::kFormatFloat: return std::make_unique<TFormatFloatExpr>(std::move(params));
      case TBuiltIn::kFormat: return std::make_unique<TFormatExpr>(std::move(params));
      case TBuiltIn::kDecode: return std::make_unique<TDecodeExpr>(std::move(params));
      case TBuiltIn::kMinMax: return std::make_unique<TMinMaxOfExpr>(std::move(params), b.code == 1);
      case TBuiltIn::kLike: return std::make_unique<TSQLLikeExpr>(std::move(params), b.code == 1);
      case TBuiltIn::kAscii: return std::make_unique<TASCIIExpr>(std::move(params));
    }
  }
  return nullptr;
}

void TExprParser::Identifier(const AnsiString& rawGroup, const AnsiString& rawName) {
  const AnsiString group = AnsiUpperCase(rawGroup);
  const AnsiString name = AnsiUpperCase(rawName);
  TParameterListPtr params = PopArguments();
  const bool hasArguments = params != nullptr;
  if (hook_) {
    TExpressionPtr e;
    hook_(*this, group, name, params, e);
    if (e) {
      Push(std::move(e));
      if (group.empty()) {
        composite_ = true;
      } else if (!hasArguments) {
        AnsiString field = group + "." + name;
        bool listed = false;
        for (const auto& f : referencedFields_) listed = listed || f == field;
        if (!listed) referencedFields_.push_back(field);
      }
      return;
    }
  }
  if (TExpressionPtr e = BuiltIn(name, params)) {
    e->SetMaxWidthMode(maxWidthMode_);
    Push(std::move(e));
    composite_ = true;
    return;
  }
  yyerror(Format("Unknown Identifier %s", {name}));
  yyabort();
}

void TExprParser::yyaction(int rule) {
  static const TOperator kBinary[] = {opExp, opMult, opDivide, opDiv, opMod, opAnd,
                                      opShl, opShr,  opPlus,   opMinus, opOr, opXor};
  static const TOperator kRelational[] = {opEq, opNEQ, opLT, opGT, opLTE, opGTE};
  if (rule >= rExp && rule <= rXor) return Binary(kBinary[rule - rExp]);
  if (rule >= rEq && rule <= rGE) return Relational(kRelational[rule - rEq]);
  if (rule >= rUInt && rule <= rFalse) return Push(Literal(rule));
  switch (rule) {
    case rIdent: return Identifier(AnsiString(), yyv(1));
    case rQualifiedIdent: return Identifier(yyv(1), yyv(3));
    case rTypeString: case rTypeFloat: case rTypeInteger: case rTypeBoolean:
      yyval = IntToStr(rule - rTypeString);
      return;
    case rCast: {
      auto type = static_cast<TExprType>(StrToInt(yyv(5)));
      Push(std::make_unique<TTypeCast>(MakeParams(Pop()), type));
      composite_ = true;
      return;
    }
    case rFloatCast: case rIntegerCast: case rBooleanCast: {
      TExprType type = rule == rFloatCast ? ttFloat : rule == rIntegerCast ? ttInteger : ttBoolean;
      Push(std::make_unique<TTypeCast>(PopArguments(), type));
      composite_ = true;
      return;
    }
    case rIf:
      Push(std::make_unique<TConditional>(PopArguments()));
      composite_ = true;
      return;
    case rCase: {
      TExpressionPtr elseExpr = Pop();  // nullptr without ELSE
      int n = counts_.back();
      counts_.pop_back();
      auto whens = std::make_unique<TParameterList>();
      auto thens = std::make_unique<TParameterList>();
      size_t first = stack_.size() - 2 * static_cast<size_t>(n);
      for (int i = 0; i < n; ++i) {
        whens->Add(std::move(stack_[first + 2 * i]));
        thens->Add(std::move(stack_[first + 2 * i + 1]));
      }
      stack_.resize(first);
      Push(std::make_unique<TCaseWhenElseExpr>(std::move(whens), std::move(thens),
                                               std::move(elseExpr)));
      composite_ = true;
      return;
    }
    case rBetween: case rNotBetween: {
      TExpressionPtr high = Pop(), low = Pop(), value = Pop();
      Push(std::make_unique<TBetweenExpr>(MakeParams(std::move(value), std::move(low), std::move(high)),
                                          rule == rNotBetween));
      composite_ = true;
      return;
    }
    case rIn: case rNotIn: {
      TParameterListPtr candidates = PopArguments();
      auto params = MakeParams(Pop());
      for (int i = 0; candidates && i < candidates->Count(); ++i) params->Add(candidates->Release(i));
      Push(std::make_unique<TSQLInPredicateExpr>(std::move(params), rule == rNotIn));
      composite_ = true;
      return;
    }
    case rLike: case rNotLike: {
      TExpressionPtr escape = Pop(), pattern = Pop(), value = Pop();
      Push(std::make_unique<TSQLLikeExpr>(
          MakeParams(std::move(value), std::move(pattern), std::move(escape)), rule == rNotLike));
      composite_ = true;
      return;
    }
    case rNegate: case rPlusSign: case rNot: {
      TOperator op = rule == rNegate ? opMinus : rule == rPlusSign ? opPlus : opNot;
      Push(std::make_unique<TUnaryOp>(op, Pop()));
      composite_ = true;
      return;
    }
    case rParens: composite_ = true; return;
    case rNoArgs: case rLParen: counts_.push_back(0); return;
    case rFirstArg: case rNextArg: ++counts_.back(); return;
    case rFirstWhen: counts_.push_back(1); return;
    case rNextWhen: ++counts_.back(); return;
    case rNoElse: stack_.push_back(nullptr); return;
    case rNoEscape: Push(MakeStr("")); return;
    case rEscape: Push(MakeStr(yyv(2))); return;
    default: return;  // input, a literal as an expression, arguments closed, ELSE
  }
}
