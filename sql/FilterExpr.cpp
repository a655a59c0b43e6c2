// TFilterExpr and its nodes; see FilterExpr.h.
#include "sql/FilterExpr.h"

#include "platform/core/DateTime.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "sql/ExprLexer.h"
#include "sql/ExprParser.h"
#include "sql/MainExpr.h"
#include "sql/SqlErrors.h"

void TFilterExpr::ParseExpression(const AnsiString& text) {
  if (text.empty()) return;
  expression_.reset();
  TStringStream input(text);
  TExprLexer lexer(&input);
  TExprParser parser([this](TExprParser&, const AnsiString&, const AnsiString& identifier,
                            TParameterListPtr& params, TExpressionPtr& expression) {
    ResolveIdentifier(identifier, params, expression);
  });
  parser.yylexer = &lexer;
  if (parser.yyparse() != 0) throw ESqlQueryError(ParseErrorMessage(parser.yyerrormsg, lexer));
  expression_ = parser.TakeResult();
  if (!expression_) throw ESqlQueryError(ParseErrorMessage("syntax error", lexer));
}

void TFilterExpr::ResolveIdentifier(const AnsiString& identifier, TParameterListPtr& params,
                                    TExpressionPtr& expression) {
  const int count = params ? params->Count() : 0;
  auto invalid = [&] {
    throw EExpression(Format("Parameter(s) invalid for function %s", {identifier}));
  };
  if (identifier == "ISNULL") {
    if (count != 2 || params->ExprType(1) != ttBoolean) invalid();
    expression = std::make_unique<TISNULLExpr>(std::move(params));
  } else if (identifier == "STRTODATE") {
    if (count != 1 || params->ExprType(0) != ttString) invalid();
    expression = std::make_unique<TStrToDateExpr>(std::move(params), this);
  } else if (TField* field = dataSet_ ? dataSet_->FindField(identifier) : nullptr) {
    if (params) invalid();
    expression = std::make_unique<TFilterFieldExpr>(field);
  }
}

TFilterFieldExpr::TFilterFieldExpr(TField* field)
    : field_(field), type_(FieldExprType(field->DataType(), false)) {}

AnsiString TFilterFieldExpr::AsString() {
  switch (field_->DataType()) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftCursor: case ftADT: case ftArray:
    case ftReference: case ftDataSet:
      return AnsiString();
    default:
      return field_->AsString();
  }
}

double TFilterFieldExpr::AsFloat() { return field_->AsFloat(); }
int TFilterFieldExpr::AsInteger() { return field_->AsInteger(); }
bool TFilterFieldExpr::AsBoolean() { return field_->AsBoolean(); }
bool TFilterFieldExpr::IsNull() { return field_->IsNull(); }

double TStrToDateExpr::AsFloat() {
  TDateTime d;
  AnsiString text = Param(0)->AsString();
  if (TryStrToDate(text, d)) return d;
  try {
    StrToDate(text);  // for the conversion error's own message
  } catch (const EConvertError& e) {
    owner_->NoteConversionError(e.Message());
  }
  return 0.0;
}
