// TMainExpr: turns an expression text into a tree bound to data.  It runs
// the expression scanner and parser over the text and answers the parser's
// questions about names: a qualified name TABLE.FIELD becomes a field of a
// source dataset (or a column of the result being built), NOW, SQLTRIM,
// ROUNDDEC, TRUNCDEC and ISNULL become their nodes, and a name the query
// declares as a user function becomes a call of the query's events.  It
// also records which datasets and fields the text refers to, for planning
// joins and ranges.
//
// The statement around it is seen through TExprScope, which the statement
// analyser and the query implement: their tables by name, the result set's
// columns, the datasets that supply an outer join's missing row, and the
// user functions with their events.
//
//   TMainExpr e(&scope, employees);
//   e.ParseExpression("EMP.PAY * 1.1 > 3000 AND EMP.DEPT = '01'");
//   for (...each row...) if (e.Expression()->AsBoolean()) ...
//
// Errors: a syntax error or an unknown name raises ESqlQueryError
// " <why> at line : <n>, Column: <c>, token: <text>"; "DataSet %s doesn't
// exists", "Field Name %s not found", "Length of trimmed char in TRIM
// function must be 1" and "Parameter(s) invalid for function %s" are
// EExpression and reach the caller unchanged.  A tree keeps pointers to
// fields: it must not outlive the datasets it was parsed against.
#pragma once

#include <array>
#include <map>
#include <vector>

#include "platform/core/Variant.h"
#include "sql/Expression.h"

class TDataSet;
class TField;
class TExprParser;

class TExprScope {
 public:
  virtual ~TExprScope() = default;
  // The statement's table (source dataset) of this name, or nullptr.
  virtual TDataSet* FindDataSet(const AnsiString& name) = 0;
  // While joined rows are being built from the result set: a node reading
  // its column "GROUP.NAME", or nullptr to read the source table instead.
  virtual TExpressionPtr ResultSetColumn(const AnsiString& name) { return nullptr; }
  // True while `dataSet` supplies the missing side of an outer join.
  virtual bool IsNullDataSet(TDataSet* dataSet) { return false; }
  // User functions: the declared result type and width of `name`.
  virtual bool FindExFunction(const AnsiString& name, TExprType& resultType, int& maxWidth) {
    return false;
  }
  // Whether the query has a solver for user functions.
  virtual bool HasFunctionSolve() { return false; }
  // The query's check of a user-function call (Accept starts True).
  virtual bool CheckFunction(const AnsiString& name, TParameterList* params) { return true; }
  // The value of a user-function call; Null when the solver gives none.
  virtual Variant SolveFunction(const AnsiString& name, TParameterList* params) {
    return Variant::Null();
  }
};

// Field data type to expression type.  Memo fields are strings to the
// statement's expressions and integers to filters (memoAsString false).
TExprType FieldExprType(int fieldType, bool memoAsString = true);

class TMainExpr {
 public:
  static constexpr int kMaxFieldRefs = 10;

  TMainExpr(TExprScope* scope, TDataSet* dataSet);
  ~TMainExpr();
  TMainExpr(const TMainExpr&) = delete;
  TMainExpr& operator=(const TMainExpr&) = delete;

  // Builds Expression() from text; an empty text does nothing.
  void ParseExpression(const AnsiString& text);
  // Parses like ParseExpression, without MaxWidthMode and without copying
  // the referenced names; true when the text refers to a field of the
  // holder's own dataset.  An empty text gives false.
  bool CheckExpression(const AnsiString& text);

  TExpression* Expression() const { return expression_.get(); }
  TDataSet* DataSet() const { return dataSet_; }
  TExprScope* Scope() const { return scope_; }

  bool MaxWidthMode = false;
  // "QUALIFIER.NAME" of every column the last parse referred to.
  std::vector<AnsiString> ReferencedNames;
  // When set, every dataset named by a field reference is counted here.
  std::map<TDataSet*, int>* ReferencedDataSets = nullptr;
  TField* FirstMainField = nullptr;  // first field of the holder's dataset
  int MainFieldCount = 0;            // references to the holder's dataset
  int FieldRefCount = 0;             // field references in all
  std::array<TField*, kMaxFieldRefs> FieldRefs{};  // the first ten of them
  bool ComplexExpression = false;    // more than one plain column

 private:
  void Parse(const AnsiString& text, bool maxWidth, bool copyNames);
  void ResolveIdentifier(TExprParser& sender, const AnsiString& group,
                         const AnsiString& identifier, TParameterListPtr& params,
                         TExpressionPtr& expression);
  TExprScope* scope_;
  TDataSet* dataSet_;
  TExpressionPtr expression_;
};

// A field of a source dataset.  Its parameters are the table and field
// names as string literals.  While the field's dataset supplies an outer
// join's missing row every reader gives "", 0 or False and IsNull is True.
// In the holder's MaxWidthMode a string field reads as Size() spaces, a
// memo as 10; binary fields read as "".
class TFieldExpr : public TFunction {
 public:
  TFieldExpr(TField* field, TMainExpr* holder, const AnsiString& table, const AnsiString& name);
  AnsiString AsString() override;
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override { return type_; }
  bool IsNull() override;
  TField* Field() const { return field_; }
  // False for a null (IsNull), else true with v as AsFloat gives it; a
  // float field is read once for both.
  bool FloatValue(double& v);

 private:
  bool OnNullSide();
  TField* field_;
  TMainExpr* holder_;
  TExprType type_;
  bool floatField_;  // a TFloatField: AsFloat is its data, 0 for a null
};

// NOW: the current local date and time.
class TNowExpr : public TFunction {
 public:
  TNowExpr() : TFunction(nullptr) {}
  double AsFloat() override;
  TExprType ExprType() override { return ttFloat; }
};

// SQLTRIM(c, s, mode): removes the leading (mode 0), trailing (1) or both
// (2) runs of the character c from s.
class TSQLTrimExpr : public TFunction {
 public:
  using TFunction::TFunction;
  AnsiString AsString() override;
  TExprType ExprType() override { return ttString; }
};

// ISNULL(x, flag): x's IsNull when flag is True, its negation otherwise.
class TISNULLExpr : public TFunction {
 public:
  using TFunction::TFunction;
  bool AsBoolean() override;
  TExprType ExprType() override { return ttBoolean; }
};

// ROUNDDEC(x, n) and TRUNCDEC(x, n): x scaled by 10^n, 0.5 added for
// ROUNDDEC, the integer part toward zero taken and scaled back; so a half
// rounds up (ROUNDDEC(-2.346, 2) is -2.34).  n = 0 rounds or cuts to units,
// a negative n to tens, hundreds ...  The scaled value is first taken to
// 15 significant digits, so binary noise never moves a digit
// (TRUNCDEC(1.15, 2) is 1.15).
class TRoundDecExpr : public TFunction {
 public:
  TRoundDecExpr(TParameterListPtr params, bool round)
      : TFunction(std::move(params)), round_(round) {}
  double AsFloat() override;
  TExprType ExprType() override { return ttFloat; }

 private:
  bool round_;
};

// A user function: every reader asks the query's solver; a Null answer
// reads as "", 0 or False; in MaxWidthMode AsString is MaxWidth spaces.
class TExfunctionsExpr : public TFunction {
 public:
  TExfunctionsExpr(TExprScope* scope, const AnsiString& name, TExprType resultType,
                   TParameterListPtr params, int maxWidth, bool maxWidthMode);
  AnsiString AsString() override;
  double AsFloat() override;
  int AsInteger() override;
  bool AsBoolean() override;
  TExprType ExprType() override { return resultType_; }

 private:
  Variant Solve() { return scope_->SolveFunction(name_, Parameters()); }
  TExprScope* scope_;
  AnsiString name_;
  TExprType resultType_;
  int maxWidth_;
};

// Formats the message of a failed parse: " %s at line : %d, Column: %d,
// token: %s" with the column where the current token starts.
class TCustomLexer;
AnsiString ParseErrorMessage(const AnsiString& why, const TCustomLexer& lexer);
