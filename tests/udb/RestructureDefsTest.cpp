// Restructure definitions: type conversions, field and index change
// classification with its log, key limits, and assignment to and from the
// dataset's definitions.
#include <gtest/gtest.h>

#include "Udb/KeyFields.h"
#include "Udb/RestructureDefs.h"
#include "platform/core/Strings.h"

namespace {

TEST(ConversionLosesData, FollowsTheTypeRules) {
  struct Case { TFieldType to, from; bool loses; };
  const Case cases[] = {
      {ftSmallint, ftBoolean, false}, {ftSmallint, ftInteger, true}, {ftWord, ftSmallint, false},
      {ftInteger, ftFloat, true},     {ftInteger, ftSmallint, false}, {ftAutoInc, ftDateTime, true},
      {ftFloat, ftInteger, false},    {ftBoolean, ftInteger, true},   {ftCurrency, ftFloat, true},
      {ftCurrency, ftInteger, false}, {ftMemo, ftBlob, false},        {ftMemo, ftString, true},
      {ftString, ftMemo, true},       {ftString, ftInteger, true},    {ftInteger, ftString, true},
      {ftString, ftWideString, false}, {ftDate, ftDateTime, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ConversionLosesData(c.to, c.from), c.loses) << FieldTypeName(c.to) << " <- " << FieldTypeName(c.from);
}

TEST(CoreDataSize, SizesAndTheRefusal) {
  EXPECT_EQ(CoreDataSize(ftString), 2);
  EXPECT_EQ(CoreDataSize(ftAutoInc), 4);
  EXPECT_EQ(CoreDataSize(ftBoolean), 1);
  EXPECT_EQ(CoreDataSize(ftBCD), 8);
  try {
    CoreDataSize(ftMemo);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Error in setting CoreDataSize - field type not found: " + FieldTypeName(ftMemo));
  }
}

struct FieldChanges : ::testing::Test {
  TFieldDefs source{nullptr};
  TRestructureFieldDefs defs;
  TStringList log;
  void SetUp() override {
    source.Add("ID", ftInteger);
    source.Add("NAME", ftString, 20);
    source.Add("PAY", ftFloat);
    defs.Assign(&source);
    defs.SetLog(&log);
  }
};

TEST_F(FieldChanges, AssignedDefinitionsAreUnchanged) {
  EXPECT_EQ(defs.Items(1)->SourceName(), "NAME");
  EXPECT_EQ(defs.Items(1)->Size(), 20);
  defs.MarkChanges(&source);
  EXPECT_EQ(defs.Status(), rsUnchanged);
  ASSERT_EQ(log.Count(), 4);
  EXPECT_EQ(log[0], "Field Def: ID status: Unchanged Item");
  EXPECT_EQ(log[3], "FieldDefs: Change status is - Unchanged Item");
}

TEST_F(FieldChanges, EachKindOfChangeGetsItsStatus) {
  struct Case { const char* what; std::function<void()> edit; int item; TRestructureStatus item_, all; };
  const Case cases[] = {
      {"integer to float", [&] { defs.Items(0)->SetDataType(ftFloat); }, 0, rsDataRequirementsChanged, rsDataRequirementsChanged},
      {"float to integer", [&] { defs.Items(2)->SetDataType(ftInteger); }, 2, rsDataLossPossible, rsDataLossPossible},
      {"string 20 to 10", [&] { defs.Items(1)->SetSize(10); }, 1, rsDataLossPossible, rsDataLossPossible},
      {"string 20 to 30", [&] { defs.Items(1)->SetSize(30); }, 1, rsDataRequirementsChanged, rsDataRequirementsChanged},
      {"rename", [&] { defs.Items(1)->SetName("XM"); }, 1, rsDefinitionOnly, rsDefinitionOnly},
      {"required", [&] { defs.Items(0)->SetRequired(true); }, 0, rsDefinitionOnly, rsDefinitionOnly},
      {"moved", [&] { defs.Items(2)->SetIndex(0); }, 0, rsDefinitionOnly, rsDefinitionOnly},
      {"new field", [&] { defs.AddFieldDef("F01", ftFloat, 0); }, 3, rsNewItem, rsNewItem},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    defs.Assign(&source);
    c.edit();
    defs.MarkChanges(&source);
    EXPECT_EQ(defs.Items(c.item)->Status(), c.item_);
    EXPECT_EQ(defs.Status(), c.all);
  }
}

TEST_F(FieldChanges, DeletingAFieldNeedsACopyButNeverLowersTheStatus) {
  defs.Delete(2);
  defs.MarkChanges(&source);
  EXPECT_EQ(defs.Status(), rsDataRequirementsChanged);
  EXPECT_EQ(log[log.Count() - 2], "Prior Field Def: PAY status: Deleted Item");
  defs.Assign(&source);
  defs.Items(1)->SetSize(5);  // may lose data
  defs.Delete(2);
  defs.MarkChanges(&source);
  EXPECT_EQ(defs.Status(), rsDataLossPossible);
}

TEST_F(FieldChanges, WithoutSourceEverythingIsNewAndUnknownSourcesAreRefused) {
  TRestructureFieldDefs fresh;
  fresh.AddFieldDef("A", ftInteger, 0);
  fresh.MarkChanges(nullptr);
  EXPECT_EQ(fresh.Status(), rsNewItem);
  EXPECT_EQ(fresh.Items(0)->Status(), rsNewItem);
  defs.Items(0)->SetSourceName("GONE");
  EXPECT_THROW(defs.MarkChanges(&source), Exception);
}

TEST_F(FieldChanges, AssignToFieldDefsWritesTheNewDefinitions) {
  defs.Items(1)->SetName("XM");
  defs.Items(1)->SetRequired(true);
  TFieldDefs out(nullptr);
  out.Assign(&defs);
  ASSERT_EQ(out.Count(), 3);
  EXPECT_EQ(out[1]->Name(), "XM");
  EXPECT_EQ(out[1]->Size(), 20);
  EXPECT_TRUE(out[1]->Required());
}

struct IndexChanges : ::testing::Test {
  TFieldDefs fieldSource{nullptr};
  TIndexDefs source{nullptr};
  TRestructureFieldDefs fields;
  TRestructureIndexDefs indexes;
  TStringList log;
  void SetUp() override {
    fieldSource.Add("A", ftString, 250);
    fieldSource.Add("B", ftString, 250);
    fieldSource.Add("C", ftInteger);
    source.Add("ixA", "A", {ixPrimary});
    source.Add("ixBC", "B;C", {ixCaseInsensitive});
    source[1]->SetCaseInsFields("B");
    fields.Assign(&fieldSource);
    fields.MarkChanges(&fieldSource);
    indexes.Assign(&source);
    indexes.SetLog(&log);
  }
};

TEST_F(IndexChanges, UnchangedIndexesValidateAndStayUnchanged) {
  indexes.MarkChanges(&source, &fields);
  EXPECT_EQ(indexes.Status(), rsUnchanged);
  EXPECT_EQ(log[0], "IndexDefs: Validation OK");
  EXPECT_EQ(log[1], "Index Def: 'ixA' status: Unchanged Item");
  EXPECT_EQ(log[log.Count() - 1], "IndexDefs: Change status is - Unchanged Item");
}

TEST_F(IndexChanges, EachKindOfChangeGetsItsStatus) {
  struct Case { const char* what; std::function<void()> edit; int item; TRestructureStatus status; };
  const Case cases[] = {
      {"renamed", [&] { indexes.Items(0)->SetName("IXA"); }, 0, rsUnchanged},  // case only
      {"renamed for real", [&] { indexes.Items(0)->SetName("ixAA"); }, 0, rsDefinitionOnly},
      {"options", [&] { indexes.Items(0)->SetOptions({ixUnique}); }, 0, rsDataRequirementsChanged},
      {"fields", [&] { indexes.Items(1)->SetFields("C;B"); }, 1, rsDataRequirementsChanged},
      {"case fields", [&] { indexes.Items(1)->SetCaseInsFields("B;C"); }, 1, rsDataRequirementsChanged},
      {"new", [&] { indexes.AddIndexDef("ixC", "C", {}); }, 2, rsNewItem},
      {"changed field", [&] { fields.Items(2)->SetDataType(ftFloat); fields.MarkChanges(&fieldSource); }, 1,
       rsDataRequirementsChanged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fields.Assign(&fieldSource);
    fields.MarkChanges(&fieldSource);
    indexes.Assign(&source);
    c.edit();
    indexes.MarkChanges(&source, &fields);
    EXPECT_EQ(indexes.Items(c.item)->Status(), c.status);
  }
}

TEST_F(IndexChanges, RenamedFieldsAreComparedByTheirSourceNames) {
  fields.Items(1)->SetName("BB");
  fields.MarkChanges(&fieldSource);
  indexes.Items(1)->SetFields("BB;C");
  indexes.Items(1)->SetCaseInsFields("BB");
  indexes.MarkChanges(&source, &fields);
  EXPECT_EQ(indexes.Items(1)->Status(), rsUnchanged);
}

TEST_F(IndexChanges, ADroppedIndexNeedsACopyWithoutLoweringTheStatus) {
  indexes.Items(0)->SetOptions({ixUnique});
  indexes.Delete(1);
  indexes.MarkChanges(&source, &fields);
  EXPECT_EQ(indexes.Status(), rsDataRequirementsChanged);
  EXPECT_EQ(log[log.Count() - 2], "Prior Index Def: ixBC status: Deleted Item");
}

TEST_F(IndexChanges, KeyLimitsAndUnknownFieldsAreRefused) {
  indexes.AddIndexDef("wide", "A;B", {});
  try {
    indexes.ValidateIndexDefs(&fields);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The Index 'wide' with fields 'A;B' has exceeded the maximum key size of 500");
  }
  indexes.Assign(&source);
  indexes.AddIndexDef("bad", "C;Z", {});
  try {
    indexes.ValidateIndexDefs(&fields);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The field 'Z' in index 'bad' was not found in the table field definitions.");
  }
  indexes.Assign(&source);
  indexes.SetMaxKeyFieldCount(1);
  EXPECT_THROW(indexes.ValidateIndexDefs(&fields), Exception);
}

TEST(RestructureIndexDefs, AddIndexDefFillsCaseAndDescendingFields) {
  TRestructureIndexDefs defs;
  auto* a = defs.AddIndexDef("a", "X;Y", {ixCaseInsensitive});
  auto* b = defs.AddIndexDef("b", "X", {ixDescending});
  EXPECT_EQ(a->CaseInsFields(), "X;Y");
  EXPECT_EQ(a->DescFields(), "");
  EXPECT_EQ(b->DescFields(), "X");
  EXPECT_EQ(defs.Find("b"), b);
  EXPECT_EQ(defs.Find("B"), nullptr);
  TIndexDefs out(nullptr);
  out.Assign(&defs);
  EXPECT_EQ(out[0]->CaseInsFields(), "X;Y");
  EXPECT_TRUE(out[1]->Options().Contains(ixDescending));
  EXPECT_EQ(SplitFieldList("a b;c").size(), 2u);
  EXPECT_TRUE(SplitFieldList("").empty());
}

}  // namespace
