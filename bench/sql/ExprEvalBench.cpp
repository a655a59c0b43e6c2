// Evaluation of a typical WHERE tree per row:
//   SALARY * 1.1 > 3000 AND DEPT = '01' AND NAME LIKE '%王%'
//     AND AGE BETWEEN 20 AND 60 OR UPPER(CODE) IN ('A1', 'B2')
// over an in-memory table of rows; the leaves read the current row the way
// field nodes read a dataset's current record.  Reports rows per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "sql/ExprFunctions.h"
#include "sql/Expression.h"

namespace {

struct Row {
  double salary;
  AnsiString dept, name, code;
  int age;
};

const Row* gRow = nullptr;

class TColumn : public TExpression {
 public:
  enum Which { cSalary, cDept, cName, cCode, cAge };
  explicit TColumn(Which w) : which_(w) {}
  AnsiString AsString() override {
    switch (which_) {
      case cDept: return gRow->dept;
      case cName: return gRow->name;
      case cCode: return gRow->code;
      default: return TExpression::AsString();
    }
  }
  double AsFloat() override { return which_ == cSalary ? gRow->salary : TExpression::AsFloat(); }
  int AsInteger() override { return which_ == cAge ? gRow->age : TExpression::AsInteger(); }
  TExprType ExprType() override {
    return which_ == cSalary ? ttFloat : which_ == cAge ? ttInteger : ttString;
  }

 private:
  Which which_;
};

TExpressionPtr Col(TColumn::Which w) { return std::make_unique<TColumn>(w); }

TExpressionPtr BuildWhere() {
  auto salary = std::make_unique<TRelationalOp>(
      opGT, std::make_unique<TBinaryOp>(opMult, Col(TColumn::cSalary), MakeFloat(1.1)),
      MakeInt(3000));
  auto dept = std::make_unique<TRelationalOp>(opEq, Col(TColumn::cDept), MakeStr("01"));
  auto name = std::make_unique<TSQLLikeExpr>(
      MakeParams(Col(TColumn::cName), MakeStr("%王%"), MakeStr("")), false);
  auto age = std::make_unique<TBetweenExpr>(MakeParams(Col(TColumn::cAge), MakeInt(20), MakeInt(60)),
                                            false);
  auto code = std::make_unique<TSQLInPredicateExpr>(
      MakeParams(std::make_unique<TStringExpression>(MakeParams(Col(TColumn::cCode)), sfUpper),
                 MakeStr("A1"), MakeStr("B2")),
      false);
  TExpressionPtr e = std::make_unique<TBinaryOp>(opAnd, std::move(salary), std::move(dept));
  e = std::make_unique<TBinaryOp>(opAnd, std::move(e), std::move(name));
  e = std::make_unique<TBinaryOp>(opAnd, std::move(e), std::move(age));
  return std::make_unique<TBinaryOp>(opOr, std::move(e), std::move(code));
}

std::vector<Row> MakeRows() {
  std::vector<Row> rows;
  const char* names[] = {"王小明", "李四", "张王五", "赵六"};
  for (int i = 0; i < 1024; ++i)
    rows.push_back({2000.0 + (i * 37) % 3000, i % 3 ? "01" : "02", names[i % 4],
                    i % 5 ? "a1" : "c3", 18 + i % 50});
  return rows;
}

void BM_EvaluateWhereTree(benchmark::State& state) {
  auto rows = MakeRows();
  auto where = BuildWhere();
  size_t i = 0;
  int hits = 0;
  for (auto _ : state) {
    gRow = &rows[i++ & 1023];
    hits += where->AsBoolean();
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations());
  state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateWhereTree);

}  // namespace
