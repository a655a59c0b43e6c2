// TMainExpr and the data-bound expression nodes; see MainExpr.h.
#include "sql/MainExpr.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "sql/ExprLexer.h"
#include "sql/ExprParser.h"
#include "sql/SqlErrors.h"

namespace {

[[noreturn]] void RaiseInvalidParameters(const AnsiString& name) {
  throw EExpression(Format("Parameter(s) invalid for function %s", {name}));
}

bool IsBinaryFieldType(TFieldType t) {
  switch (t) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftCursor: case ftADT: case ftArray:
    case ftReference: case ftDataSet:
      return true;
    default:
      return false;
  }
}

}  // namespace

TExprType FieldExprType(int fieldType, bool memoAsString) {
  switch (static_cast<TFieldType>(fieldType)) {
    case ftMemo: case ftFmtMemo: return memoAsString ? ttString : ttInteger;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return ttInteger;
    case ftBoolean: return ttBoolean;
    case ftFloat: case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime:
      return ttFloat;
    default:
      return IsBinaryFieldType(static_cast<TFieldType>(fieldType)) ? ttInteger : ttString;
  }
}

AnsiString ParseErrorMessage(const AnsiString& why, const TCustomLexer& lexer) {
  int column = lexer.yycolno - static_cast<int>(lexer.yytext.size()) - 1;
  return Format(" %s at line : %d, Column: %d, token: %s",
                {why, lexer.yylineno, column, lexer.yytext});
}

// --- TMainExpr -------------------------------------------------------------------

TMainExpr::TMainExpr(TExprScope* scope, TDataSet* dataSet) : scope_(scope), dataSet_(dataSet) {}

TMainExpr::~TMainExpr() = default;

void TMainExpr::ParseExpression(const AnsiString& text) {
  if (text.empty()) return;
  Parse(text, MaxWidthMode, true);
}

bool TMainExpr::CheckExpression(const AnsiString& text) {
  if (text.empty()) return false;
  Parse(text, false, false);
  return MainFieldCount > 0;
}

void TMainExpr::Parse(const AnsiString& text, bool maxWidth, bool copyNames) {
  FirstMainField = nullptr;
  MainFieldCount = 0;
  FieldRefCount = 0;
  FieldRefs.fill(nullptr);
  ComplexExpression = false;
  expression_.reset();

  TStringStream input(text);
  TExprLexer lexer(&input);
  TExprParser parser(
      [this](TExprParser& sender, const AnsiString& group, const AnsiString& identifier,
             TParameterListPtr& params, TExpressionPtr& expression) {
        ResolveIdentifier(sender, group, identifier, params, expression);
      },
      maxWidth);
  parser.yylexer = &lexer;
  if (parser.yyparse() != 0) throw ESqlQueryError(ParseErrorMessage(parser.yyerrormsg, lexer));
  TExpressionPtr root = parser.TakeResult();
  if (!root) throw ESqlQueryError(ParseErrorMessage("syntax error", lexer));
  root->SetMaxWidthMode(maxWidth);
  if (copyNames) ReferencedNames = parser.ReferencedFields();
  ComplexExpression = ComplexExpression || parser.Composite();
  expression_ = std::move(root);
}

void TMainExpr::ResolveIdentifier(TExprParser&, const AnsiString& group,
                                  const AnsiString& identifier, TParameterListPtr& params,
                                  TExpressionPtr& expression) {
  const int count = params ? params->Count() : 0;
  if (!group.empty() && !identifier.empty() && !params) {
    if (scope_) {
      expression = scope_->ResultSetColumn(group + "." + identifier);
      if (expression) return;
    }
    TDataSet* ds = scope_ ? scope_->FindDataSet(group) : nullptr;
    if (!ds) throw EExpression(Format("DataSet %s doesn't exists", {group}));
    if (ds == dataSet_) ++MainFieldCount;
    if (ReferencedDataSets) ++(*ReferencedDataSets)[ds];
    TField* field = ds->FindField(identifier);
    if (!field) throw EExpression(Format("Field Name %s not found", {identifier}));
    expression = std::make_unique<TFieldExpr>(field, this, group, identifier);
    if (MainFieldCount == 1 && !FirstMainField && ds == dataSet_) FirstMainField = field;
    if (++FieldRefCount <= kMaxFieldRefs) FieldRefs[FieldRefCount - 1] = field;
    return;
  }
  if (identifier == "NOW") {
    if (count != 0) RaiseInvalidParameters(identifier);
    expression = std::make_unique<TNowExpr>();
  } else if (identifier == "SQLTRIM") {
    if (count != 3) RaiseInvalidParameters(identifier);
    if (params->AsString(0).size() != 1)
      throw EExpression("Length of trimmed char in TRIM function must be 1");
    expression = std::make_unique<TSQLTrimExpr>(std::move(params));
  } else if (identifier == "ROUNDDEC" || identifier == "TRUNCDEC") {
    if (count != 2) RaiseInvalidParameters(identifier);
    TExprType value = params->ExprType(0);
    if ((value != ttFloat && value != ttInteger) || params->ExprType(1) != ttInteger)
      RaiseInvalidParameters(identifier);
    expression = std::make_unique<TRoundDecExpr>(std::move(params), identifier == "ROUNDDEC");
  } else if (identifier == "ISNULL") {
    if (count != 2) RaiseInvalidParameters(identifier);
    expression = std::make_unique<TISNULLExpr>(std::move(params));
  } else {
    TExprType resultType;
    int maxWidth;
    if (!scope_ || !scope_->FindExFunction(identifier, resultType, maxWidth)) return;
    if (!scope_->CheckFunction(identifier, params.get()) || !scope_->HasFunctionSolve())
      RaiseInvalidParameters(identifier);
    expression = std::make_unique<TExfunctionsExpr>(scope_, identifier, resultType,
                                                    std::move(params), maxWidth, MaxWidthMode);
  }
  ComplexExpression = true;
}

// --- TFieldExpr ------------------------------------------------------------------

TFieldExpr::TFieldExpr(TField* field, TMainExpr* holder, const AnsiString& table,
                       const AnsiString& name)
    : TFunction(MakeParams(MakeStr(table), MakeStr(name))), field_(field), holder_(holder),
      type_(FieldExprType(field->DataType(), true)),
      floatField_(dynamic_cast<TFloatField*>(field) != nullptr) {}

bool TFieldExpr::OnNullSide() {
  return holder_->Scope() && holder_->Scope()->IsNullDataSet(field_->DataSet());
}

AnsiString TFieldExpr::AsString() {
  if (OnNullSide()) return AnsiString();
  TFieldType t = field_->DataType();
  if (IsBinaryFieldType(t)) return AnsiString();
  if (holder_->MaxWidthMode) {
    if (t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid)
      return AnsiString(std::string(static_cast<size_t>(field_->Size()), ' '));
    if (t == ftMemo || t == ftFmtMemo) return AnsiString(std::string(10, ' '));
  }
  return field_->AsString();
}

double TFieldExpr::AsFloat() { return OnNullSide() ? 0.0 : field_->AsFloat(); }
int TFieldExpr::AsInteger() { return OnNullSide() ? 0 : field_->AsInteger(); }
bool TFieldExpr::AsBoolean() { return OnNullSide() ? false : field_->AsBoolean(); }
bool TFieldExpr::IsNull() { return OnNullSide() || field_->IsNull(); }

bool TFieldExpr::FloatValue(double& v) {
  if (OnNullSide()) return false;
  if (floatField_) return field_->GetData(&v);
  if (field_->IsNull()) return false;
  v = field_->AsFloat();
  return true;
}

// --- NOW, SQLTRIM, ISNULL, ROUNDDEC ------------------------------------------------

double TNowExpr::AsFloat() { return Now(); }

AnsiString TSQLTrimExpr::AsString() {
  AnsiString c = Param(0)->AsString();
  AnsiString s = Param(1)->AsString();
  int mode = Param(2)->AsInteger();
  if (c.empty()) return s;
  size_t b = 0, e = s.size();
  if (mode == 0 || mode == 2)
    while (b < e && s[b] == c[0]) ++b;
  if (mode == 1 || mode == 2)
    while (e > b && s[e - 1] == c[0]) --e;
  return AnsiString(s.substr(b, e - b));
}

bool TISNULLExpr::AsBoolean() {
  bool isNull = Param(0)->IsNull();
  return Param(1)->AsBoolean() ? isNull : !isNull;
}

double TRoundDecExpr::AsFloat() {
  double x = Param(0)->AsFloat();
  int n = Param(1)->AsInteger();
  // Scale by a power of ten that is exact as a double (10^|n|), dividing
  // for a negative n.
  double p = std::pow(10.0, n < 0 ? -n : n);
  double v = CheckedFloat(n < 0 ? x / p : x * p);
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", v);  // drop binary noise
  v = std::strtod(text, nullptr);
  if (round_) v += 0.5;
  v = std::trunc(v);
  return CheckedFloat(n < 0 ? v * p : v / p);
}

// --- user functions ----------------------------------------------------------------

TExfunctionsExpr::TExfunctionsExpr(TExprScope* scope, const AnsiString& name,
                                   TExprType resultType, TParameterListPtr params, int maxWidth,
                                   bool maxWidthMode)
    : TFunction(std::move(params)), scope_(scope), name_(name), resultType_(resultType),
      maxWidth_(maxWidth) {
  SetMaxWidthMode(maxWidthMode);
}

AnsiString TExfunctionsExpr::AsString() {
  if (MaxWidthMode()) return AnsiString(std::string(static_cast<size_t>(std::max(maxWidth_, 0)), ' '));
  Variant v = Solve();
  return v.IsNull() ? AnsiString() : v.AsString();
}

double TExfunctionsExpr::AsFloat() {
  Variant v = Solve();
  return v.IsNull() ? 0.0 : v.AsDouble();
}

int TExfunctionsExpr::AsInteger() {
  Variant v = Solve();
  return v.IsNull() ? 0 : v.AsInteger();
}

bool TExfunctionsExpr::AsBoolean() {
  Variant v = Solve();
  return v.IsNull() ? false : v.AsBoolean();
}
