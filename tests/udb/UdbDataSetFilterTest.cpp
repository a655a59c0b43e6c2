// The cursor's filter hooks, driven by a stand-in filter manager that
// accepts the records with an even ID: navigation over the accepted list,
// record numbers and counts, rebuilding after changes and range changes.
#include <gtest/gtest.h>

#include <algorithm>

#include "CursorTestSupport.h"
#include "Udb/UdbDataSetInt.h"

namespace {

class TEvenIds : public TUdbFilterHooks {
 public:
  bool Active() const override { return active_; }
  void SetActive(bool active) override { active_ = active; }
  const AnsiString& FilterText() const override { return text_; }
  TFilterOptions FilterOptions() const override { return options_; }
  void SetDataSet(TUdbDataSet* ds) override { ds_ = ds; }
  void SetRecBufSize(int size) override { size_ = size; }
  void SetRecordBuffer(std::uint8_t* buffer) override { buffer_ = buffer; }
  void SetFilterText(const AnsiString& text) override { text_ = text; }
  void SetFilterOptions(TFilterOptions options) override { options_ = options; }
  void SetIndexManager(TIndexManager*) override {}
  void SetInQuery(bool) override {}
  void Refresh(bool) override {}
  bool FindPrepared() override { return false; }
  void SetMasterList(std::vector<TScanMatch>&& records, int) override { master_ = std::move(records); }
  void MergeRecordLists() override {
    ++merges;
    list_.clear();
    const int id = ds_->FieldIndexOf("ID");
    for (const TScanMatch& m : master_) {
      ds_->ReadRecordAt(m.Address, buffer_);
      Variant v;
      ds_->DataSetGetFieldDataFromRecBufAsVariant(buffer_, id, v);
      if (v.AsInteger() % 2 == 0) list_.push_back(m.Address);
    }
  }
  TUdbAddr First(bool forward) override {
    if (list_.empty()) return 0;
    return forward ? list_.front() : list_.back();
  }
  TUdbAddr MoveBy(TUdbAddr address, int count) override {
    const int p = Pos(address) + count;
    return Pos(address) < 0 || p < 0 || p >= static_cast<int>(list_.size()) ? 0 : list_[static_cast<size_t>(p)];
  }
  TUdbAddr FindNearest(TUdbAddr address, int mode) override {
    auto at = std::find_if(master_.begin(), master_.end(), [&](const TScanMatch& m) { return m.Address == address; });
    if (at == master_.end()) return 0;
    if (mode != 0 && mode != 4 && Pos(address) >= 0) return address;
    if (mode == 2) return 0;
    if (mode <= 1) {
      for (auto it = std::make_reverse_iterator(at); it != master_.rend(); ++it)
        if (Pos(it->Address) >= 0) return it->Address;
      return 0;
    }
    for (auto it = at + 1; it != master_.end(); ++it)
      if (Pos(it->Address) >= 0) return it->Address;
    return 0;
  }
  bool Contains(TUdbAddr address) override { return Pos(address) >= 0; }
  int Count() override { return static_cast<int>(list_.size()); }
  int RecordNumberOf(TUdbAddr address) override { return Pos(address) + 1; }

  int merges = 0;

 private:
  int Pos(TUdbAddr address) const {
    auto it = std::find(list_.begin(), list_.end(), address);
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
  }
  bool active_ = false;
  AnsiString text_;
  TFilterOptions options_;
  TUdbDataSet* ds_ = nullptr;
  int size_ = 0;
  std::uint8_t* buffer_ = nullptr;
  std::vector<TScanMatch> master_;
  std::vector<TUdbAddr> list_;
};

class Filter : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    t = CreateEmp(env.db, GetParam());
    for (int id = 1; id <= 9; ++id) AddEmp(*t, id, "N" + std::to_string(10 - id), id < 5 ? "A" : "B");
    auto hooks = std::make_unique<TEvenIds>();
    even = hooks.get();
    t->SetFilterMgr(std::move(hooks));
    t->ActivateFilter("ID mod 2 = 0", {}, false);
  }
  TCursorDb env;
  std::unique_ptr<TUdbTableCursor> t;
  TEvenIds* even = nullptr;
};

std::vector<std::string> Names(std::initializer_list<const char*> v) { return {v.begin(), v.end()}; }

TEST_P(Filter, NavigationRecordNumbersAndCountFollowTheAcceptedRecords) {
  EXPECT_FALSE(t->IsSequenced());
  EXPECT_EQ(Walk(*t, "ID"), Names({"2", "4", "6", "8"}));
  EXPECT_EQ(WalkBack(*t, "ID"), Names({"8", "6", "4", "2"}));
  EXPECT_EQ(t->GetRecordCount(), 4);
  ASSERT_TRUE(t->GotoFirst());
  ASSERT_TRUE(t->GotoNext());
  EXPECT_EQ(t->GetRecNo(t->RecBuf()), 2);
  // An exact search fails on a record the filter leaves out; the others
  // land on the nearest accepted record in their direction.
  EXPECT_FALSE(FindKey(*t, {{"ID", 5}}));
  ASSERT_TRUE(FindKey(*t, {{"ID", 5}}, udbcur::kGreaterOrEqual));
  EXPECT_EQ(Int(*t, "ID"), 6);
  ASSERT_TRUE(FindKey(*t, {{"ID", 5}}, udbcur::kLessOrEqual));
  EXPECT_EQ(Int(*t, "ID"), 4);
  EXPECT_FALSE(FindKey(*t, {{"ID", 9}}, udbcur::kGreaterOrEqual));
}

TEST_P(Filter, TheListIsRebuiltAfterChangesAndInTheCurrentIndexOrder) {
  AddEmp(*t, 10, "A0", "A");
  EXPECT_EQ(Walk(*t, "ID"), Names({"2", "4", "6", "8", "10"}));
  ASSERT_TRUE(FindKey(*t, {{"ID", 4}}));
  ASSERT_EQ(t->DeleteRecord(nullptr), 0);
  EXPECT_EQ(t->GetRecordCount(), 4);
  t->SetIndexName("ByName");
  t->ActivateFilter("ID mod 2 = 0", {}, false);
  EXPECT_EQ(Walk(*t, "NAME"), Names({"A0", "N2", "N4", "N8"}));
  // A range narrows the master list.
  t->SetIndexName("ByDept");
  t->DataSetSetFieldDataToRecBufAsVariant(t->GetRangeBuffer(false), t->FieldIndexOf("DEPT"), "B");
  t->DataSetSetFieldDataToRecBufAsVariant(t->GetRangeBuffer(true), t->FieldIndexOf("DEPT"), "B");
  const int before = even->merges;
  t->ApplyRange(true);
  EXPECT_GT(even->merges, before);
  EXPECT_EQ(Walk(*t, "ID"), Names({"6", "8"}));
}

INSTANTIATE_TEST_SUITE_P(Tables, Filter, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

}  // namespace
