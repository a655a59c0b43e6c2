#include "platform/core/Collections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TColumn : public TCollectionItem {
  PAYROLL_CLASS(TColumn, TCollectionItem)
 public:
  explicit TColumn(TCollection* c) : TCollectionItem(c) {}
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v) {
    fieldName_ = v;
    Changed(false);
  }
  AnsiString DisplayName() const override { return fieldName_.empty() ? TCollectionItem::DisplayName() : fieldName_; }
  void Assign(TPersistent* source) override {
    if (auto* c = dynamic_cast<TColumn*>(source)) {
      fieldName_ = c->fieldName_;
      Changed(false);
      return;
    }
    TCollectionItem::Assign(source);
  }

 private:
  AnsiString fieldName_;
};

class TOtherItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
};

// Logs Update and Notify calls as "U:<field or *>" and "N<action>:<id>".
class TLoggingColumns : public TOwnedCollection {
 public:
  explicit TLoggingColumns(TPersistent* owner) : TOwnedCollection(owner, ItemClassOf<TColumn>()) {}
  std::vector<std::string> log;

 protected:
  void Update(TCollectionItem* item) override {
    log.push_back("U:" + (item ? static_cast<TColumn*>(item)->FieldName() : AnsiString("*")));
  }
  void Notify(TCollectionItem* item, TCollectionNotification action) override {
    TOwnedCollection::Notify(item, action);
    log.push_back("N" + std::to_string(action) + ":" + std::to_string(item->ID()));
  }
};

class TGrid : public TComponent {
  PAYROLL_CLASS(TGrid, TComponent)
 public:
  explicit TGrid(TComponent* owner) : TComponent(owner), columns_(this) {}
  TLoggingColumns* Columns() { return &columns_; }

 private:
  TLoggingColumns columns_;
};

PAYROLL_PUBLISH(TColumn) { p.Property("FieldName", &TColumn::FieldName, &TColumn::SetFieldName); }
PAYROLL_PUBLISH(TGrid) { p.Property("Columns", &TGrid::Columns); }

std::vector<AnsiString> Names(TCollection* c) {
  std::vector<AnsiString> r;
  for (int i = 0; i < c->Count(); ++i) r.push_back(static_cast<TColumn*>(c->Items(i))->FieldName());
  return r;
}

TColumn* AddColumn(TCollection* c, const char* name) {
  auto* col = static_cast<TColumn*>(c->Add());
  col->SetFieldName(name);
  return col;
}

}  // namespace

TEST(TCollection, ChangesAreReportedPerItemOrForTheWholeList) {
  TGrid grid(nullptr);
  TLoggingColumns* cols = grid.Columns();
  TColumn* a = AddColumn(cols, "F01");
  AddColumn(cols, "F02");
  EXPECT_EQ(cols->log, (std::vector<std::string>{"N0:0", "U:*", "U:F01", "N0:1", "U:*", "U:F02"}));
  cols->log.clear();
  a->SetIndex(1);
  cols->Delete(0);
  EXPECT_EQ(cols->log, (std::vector<std::string>{"U:*", "N2:1", "N1:1", "U:*"}));
}

TEST(TCollection, UpdateBracketSendsOneWholeListUpdateAtTheEnd) {
  TGrid grid(nullptr);
  TLoggingColumns* cols = grid.Columns();
  cols->BeginUpdate();
  cols->BeginUpdate();
  AddColumn(cols, "F01");
  AddColumn(cols, "F02");
  cols->EndUpdate();
  EXPECT_EQ(cols->log, (std::vector<std::string>{"N0:0", "N0:1"}));
  cols->EndUpdate();
  EXPECT_EQ(cols->log.back(), "U:*");
  EXPECT_EQ(cols->log.size(), 3u);
  cols->log.clear();
  cols->Clear();  // one update for the whole clear
  EXPECT_EQ(cols->log, (std::vector<std::string>{"N1:1", "N1:0", "U:*"}));
}

TEST(TCollection, IndexMovesAndInsertKeepIdsAndBounds) {
  TGrid grid(nullptr);
  TLoggingColumns* cols = grid.Columns();
  TColumn* a = AddColumn(cols, "A");
  AddColumn(cols, "B");
  TColumn* c = AddColumn(cols, "C");
  c->SetIndex(0);
  EXPECT_EQ(Names(cols), (std::vector<AnsiString>{"C", "A", "B"}));
  EXPECT_EQ(a->Index(), 1);
  auto* d = static_cast<TColumn*>(cols->Insert(1));
  d->SetFieldName("D");
  EXPECT_EQ(Names(cols), (std::vector<AnsiString>{"C", "D", "A", "B"}));
  EXPECT_EQ(d->ID(), 3);
  EXPECT_EQ(cols->FindItemID(2), c);
  EXPECT_EQ(cols->FindItemID(9), nullptr);
  EXPECT_THROW(a->SetIndex(4), EListError);
  EXPECT_THROW(cols->Insert(5), EListError);
  EXPECT_THROW(cols->Items(4), EListError);
  EXPECT_EQ(cols->Count(), 4);  // a refused Insert adds nothing
  // IDs are never reused after a delete.
  cols->Delete(0);
  EXPECT_EQ(AddColumn(cols, "E")->ID(), 4);
}

TEST(TCollection, AssignCopiesItemsInOneUpdate) {
  TGrid source(nullptr), target(nullptr);
  AddColumn(source.Columns(), "F01");
  AddColumn(source.Columns(), "工资");
  AddColumn(target.Columns(), "old");
  target.Columns()->log.clear();
  target.Columns()->Assign(source.Columns());
  EXPECT_EQ(Names(target.Columns()), (std::vector<AnsiString>{"F01", "工资"}));
  int updates = 0;
  for (auto& e : target.Columns()->log) updates += e[0] == 'U';
  EXPECT_EQ(updates, 1);
  target.Columns()->Assign(target.Columns());  // assigning itself keeps the items
  EXPECT_EQ(target.Columns()->Count(), 2);
  TGrid other(nullptr);
  EXPECT_THROW(target.Columns()->Assign(&other), EConvertError);
}

TEST(TCollection, ItemsLeaveWhenDeletedAndMoveBetweenCollections) {
  TGrid g1(nullptr), g2(nullptr);
  TColumn* a = AddColumn(g1.Columns(), "A");
  AddColumn(g1.Columns(), "B");
  a->SetCollection(g2.Columns());
  EXPECT_EQ(Names(g1.Columns()), (std::vector<AnsiString>{"B"}));
  EXPECT_EQ(Names(g2.Columns()), (std::vector<AnsiString>{"A"}));
  delete a;
  EXPECT_EQ(g2.Columns()->Count(), 0);
  TCollection plain(ItemClassOf<TOtherItem>());
  auto* other = new TOtherItem(&plain);
  EXPECT_THROW(other->SetCollection(g1.Columns()), EListError);
  EXPECT_EQ(other->Collection(), &plain);  // a refused move leaves it where it was
}

TEST(TCollection, NamesAndDisplayNames) {
  TGrid grid(nullptr);
  grid.SetName("DBGridEx1");
  TColumn* a = AddColumn(grid.Columns(), "");
  AddColumn(grid.Columns(), "F02");
  EXPECT_EQ(grid.Columns()->GetNamePath(), "DBGridEx1.Columns");
  EXPECT_EQ(grid.Columns()->Items(1)->GetNamePath(), "DBGridEx1.Columns[1]");
  EXPECT_EQ(a->DisplayName(), "TColumn");
  EXPECT_EQ(grid.Columns()->Items(1)->DisplayName(), "F02");
  EXPECT_EQ(grid.Columns()->Owner(), &grid);
  TCollection plain(ItemClassOf<TColumn>());
  EXPECT_EQ(plain.GetNamePath(), "TCollection");
  // The item class's properties are known without any item.
  EXPECT_NE(plain.ItemClass().ClassInfo()->FindProperty("FieldName"), nullptr);
}
