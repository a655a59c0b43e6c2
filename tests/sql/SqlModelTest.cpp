#include "sql/SqlModel.h"

#include <gtest/gtest.h>

#include "sql/SortList.h"

TEST(TJoinOnItem, NormalizeSidesPutsTheEarlierTableLeft) {
  TTableList tables;
  TTableItem* a = tables.Add();
  a->TableName = "emp";
  a->Alias = "A";
  TTableItem* b = tables.Add();
  b->TableName = "dept";
  b->Alias = "dept";
  TJoinOnList joins;
  TJoinOnItem* j = joins.Add();
  // B.x > A.y, a.k = dept.k (already in order), dept.z < other.w (unknown table)
  j->LeftRefTables = {"DEPT", "a", "dept"};
  j->LeftRefFields = {"x", "k", "z"};
  j->RightRefTables = {"a", "dept", "other"};
  j->RightRefFields = {"y", "k", "w"};
  j->RelOperators = {roGT, roEq, roLT};
  TDataSet* left = reinterpret_cast<TDataSet*>(1);
  j->LeftDataSet = left;
  joins.NormalizeSides(tables);
  EXPECT_EQ(j->LeftRefTables, (std::vector<AnsiString>{"a", "a", "dept"}));
  EXPECT_EQ(j->LeftRefFields, (std::vector<AnsiString>{"y", "k", "z"}));
  EXPECT_EQ(j->RightRefTables, (std::vector<AnsiString>{"DEPT", "dept", "other"}));
  EXPECT_EQ(j->RightRefFields, (std::vector<AnsiString>{"x", "k", "w"}));
  EXPECT_EQ(j->RelOperators, (std::vector<int>{roLT, roEq, roLT}));
  EXPECT_EQ(j->RightDataSet, left);
  EXPECT_EQ(j->LeftDataSet, nullptr);
}

TEST(TJoinOnItem, AssignAppendsTheCodes) {
  TJoinOnItem from, to;
  from.JoinKind = 3;
  from.JoinText = "a.x=b.x";
  from.LeftRefTables = {"a"};
  from.RelOperators = {roGE};
  from.AndOr = {1};
  to.RelOperators = {roEq};
  to.LeftRefTables = {"old"};
  to.Assign(from);
  EXPECT_EQ(to.JoinKind, 3);
  EXPECT_EQ(to.JoinText, "a.x=b.x");
  EXPECT_EQ(to.LeftRefTables, std::vector<AnsiString>{"a"});
  EXPECT_EQ(to.RelOperators, (std::vector<int>{roEq, roGE}));
  EXPECT_EQ(to.AndOr, std::vector<int>{1});
}

TEST(TColumnList, DeleteAggregateRowMovesLaterRowsDown) {
  TColumnList columns;
  TAggregateItem* agg = columns.Add()->AggregateList.Add();
  for (int row = 1; row <= 5; ++row) agg->Values->SetValue(row, row * 10);
  columns.DeleteAggregateRow(3);
  EXPECT_EQ(agg->Values->GetValue(2), 20);
  EXPECT_EQ(agg->Values->GetValue(3), 40);
  EXPECT_EQ(agg->Values->GetValue(4), 50);
  EXPECT_EQ(agg->Values->GetValue(5), 0);
}

TEST(TColumnList, SortAggregateValuesFollowsTheSortList) {
  TColumnList columns;
  TAggregateItem* agg = columns.Add()->AggregateList.Add();
  for (int row = 1; row <= 3; ++row) {
    agg->Values->SetValue(row, row * 1.5);
    agg->Values->SetSecondValue(row, row * 100);
    agg->Values->SetCount(row, row);
  }
  TMemSortList sort(false);
  for (int source : {3, 1, 2}) {
    sort.Insert();
    sort.SetSourceRecNo(source);
  }
  columns.SortAggregateValues(sort);
  EXPECT_EQ(agg->Values->GetValue(1), 4.5);
  EXPECT_EQ(agg->Values->GetCount(1), 3);
  EXPECT_EQ(agg->Values->GetSecondValue(1), 300);
  EXPECT_EQ(agg->Values->GetValue(2), 1.5);
  EXPECT_EQ(agg->Values->GetValue(3), 3.0);
  EXPECT_EQ(agg->Values->GetCount(3), 2);
}

TEST(TAggregateList, AssignCopiesWithEmptyValues) {
  TAggregateList from, to;
  TAggregateItem* a = from.Add();
  a->AggregateStr = "x";
  a->Kind = akStdev;
  a->IsDistinct = true;
  a->ValueColumnIndex = 4;
  a->Values->SetValue(1, 7);
  to.Add();
  to.Add();
  to.Assign(from);
  ASSERT_EQ(to.Count(), 1);
  EXPECT_EQ(to.Items(0)->AggregateStr, "x");
  EXPECT_EQ(to.Items(0)->Kind, akStdev);
  EXPECT_TRUE(to.Items(0)->IsDistinct);
  EXPECT_EQ(to.Items(0)->ValueColumnIndex, 4);
  EXPECT_EQ(to.Items(0)->Values->GetValue(1), 0);
}

TEST(TParamsAsFields, NamesAreUnique) {
  TParamsAsFields list;
  TParamsAsFieldsItem* a = list.Add();
  a->SetName("dept");
  a->Value = "DEPTNO";
  TParamsAsFieldsItem* b = list.Add();
  b->SetName("Dept");  // names compare exactly
  EXPECT_THROW(b->SetName("dept"), ESqlQueryError);
  EXPECT_EQ(b->Name(), "Dept");
  EXPECT_THROW(a->SetName("dept"), ESqlQueryError);  // its own name is found too
  EXPECT_EQ(list.FindItem("Dept"), b);
  EXPECT_EQ(list.FindItem("x"), nullptr);
  EXPECT_EQ(a->DisplayName("item"), "DEPTNO - dept");
  EXPECT_EQ(list.Add()->DisplayName("item"), "item");
}
