// TFilterExpr: the filter expression of a query's own result dataset.  It
// parses a text in the expression language where a plain name is a field
// of the dataset, ISNULL(x, flag) tests a field for NULL and STRTODATE(s)
// reads a date in the process's short date format.
//
// STRTODATE never interrupts the filtering: a text that is no date reads
// as 0, and the first failure's message is kept in ConversionError() for
// the caller to report once.
#pragma once

#include "sql/Expression.h"

class TDataSet;
class TField;
class TExprParser;

class TFilterExpr {
 public:
  explicit TFilterExpr(TDataSet* dataSet) : dataSet_(dataSet) {}
  TFilterExpr(const TFilterExpr&) = delete;
  TFilterExpr& operator=(const TFilterExpr&) = delete;

  // Replaces the tree; raises ESqlQueryError with the position message on
  // a syntax error or an unknown name.  An empty text does nothing.
  void ParseExpression(const AnsiString& text);
  TExpression* Expression() const { return expression_.get(); }

  // The message of the first STRTODATE failure since the last clear.
  const AnsiString& ConversionError() const { return conversionError_; }
  void ClearConversionError() { conversionError_.clear(); }
  void NoteConversionError(const AnsiString& message) {
    if (conversionError_.empty()) conversionError_ = message;
  }

 private:
  void ResolveIdentifier(const AnsiString& identifier, TParameterListPtr& params,
                         TExpressionPtr& expression);
  TDataSet* dataSet_;
  TExpressionPtr expression_;
  AnsiString conversionError_;
};

// A field of the filtered dataset, read directly; memo fields are integers
// here and binary fields read as "".
class TFilterFieldExpr : public TExpression {
 public:
  explicit TFilterFieldExpr(TField* field);
  AnsiString AsString() override;
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override { return type_; }
  bool IsNull() override;

 private:
  TField* field_;
  TExprType type_;
};

// STRTODATE(s): the day number of s in the short date format, 0 when s is
// no date (the failure goes to the owning filter).
class TStrToDateExpr : public TFunction {
 public:
  TStrToDateExpr(TParameterListPtr params, TFilterExpr* owner)
      : TFunction(std::move(params)), owner_(owner) {}
  double AsFloat() override;
  TExprType ExprType() override { return ttFloat; }

 private:
  TFilterExpr* owner_;
};
