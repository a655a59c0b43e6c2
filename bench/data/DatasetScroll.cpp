// How fast the dataset layer moves: walking every record with a grid-sized
// link attached, scrolling back and forth inside and past the window, and
// the generic Locate scan.  The dataset here is a minimal array of
// (ID integer, PAY float) records, so the numbers are the layer's own cost.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"

namespace {

// Buffer: ID flag+4, PAY flag+8, then int32 row number, 1 byte flag.
class TArrayDataSet : public TDataSet {
 public:
  explicit TArrayDataSet(int rows) : TDataSet(nullptr), rows_(rows) {}
  ~TArrayDataSet() override {
    Destroying();
    Close();
  }

  TRecordBuffer AllocRecordBuffer() override { return new char[kSize](); }
  void FreeRecordBuffer(TRecordBuffer& b) override {
    delete[] b;
    b = nullptr;
  }
  void GetBookmarkData(TRecordBuffer b, void* d) override { std::memcpy(d, b + kInfo, 4); }
  void SetBookmarkData(TRecordBuffer b, const void* d) override { std::memcpy(b + kInfo, d, 4); }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer b) override {
    return static_cast<TBookmarkFlag>(b[kInfo + 4]);
  }
  void SetBookmarkFlag(TRecordBuffer b, TBookmarkFlag f) override { b[kInfo + 4] = char(f); }
  TGetResult GetRecord(TRecordBuffer b, TGetMode mode, bool) override {
    if (mode == gmNext) {
      if (cursor_ + 1 >= rows_) return cursor_ = rows_, grEOF;
      ++cursor_;
    } else if (mode == gmPrior) {
      if (cursor_ - 1 < 0) return cursor_ = -1, grBOF;
      --cursor_;
    } else if (cursor_ < 0 || cursor_ >= rows_) {
      return grError;
    }
    std::int32_t id = cursor_ + 1;
    double pay = cursor_ * 1.5;
    b[0] = 1;
    std::memcpy(b + 1, &id, 4);
    b[5] = 1;
    std::memcpy(b + 6, &pay, 8);
    std::int32_t row = cursor_;
    std::memcpy(b + kInfo, &row, 4);
    b[kInfo + 4] = bfCurrent;
    return grOK;
  }
  int GetRecordSize() override { return kSize; }
  void InternalAddRecord(TRecordBuffer, bool) override {}
  void InternalClose() override {
    if (DefaultFields()) DestroyFields();
    open_ = false;
  }
  void InternalDelete() override {}
  void InternalFirst() override { cursor_ = -1; }
  void InternalGotoBookmark(void* b) override { std::memcpy(&cursor_, b, 4); }
  void InternalHandleException() override {}
  void InternalInitFieldDefs() override {
    FieldDefs()->Clear();
    FieldDefs()->Add("ID", ftInteger);
    FieldDefs()->Add("PAY", ftFloat);
  }
  void InternalInitRecord(TRecordBuffer b) override { std::memset(b, 0, kSize); }
  void InternalLast() override { cursor_ = rows_; }
  void InternalOpen() override {
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    SetBookmarkSize(4);
    cursor_ = -1;
    open_ = true;
  }
  void InternalPost() override {}
  void InternalSetToRecord(TRecordBuffer b) override { std::memcpy(&cursor_, b + kInfo, 4); }
  bool IsCursorOpen() override { return open_; }
  void SetFieldData(TField*, const void*) override {}
  bool GetFieldData(TField* f, void* buffer) override {
    TRecordBuffer b = ActiveBuffer();
    if (b == nullptr || IsEmpty()) return false;
    int off = f->FieldNo() == 1 ? 0 : 5;
    if (b[off] == 0) return false;
    if (buffer != nullptr) std::memcpy(buffer, b + off + 1, f->DataSize());
    return true;
  }
  bool Locate(const AnsiString& k, const Variant& v, TLocateOptions o) override {
    return LocateByScan(k, v, o, true);
  }

 private:
  static constexpr int kInfo = 14;
  static constexpr int kSize = kInfo + 5;
  int rows_;
  int cursor_ = -1;
  bool open_ = false;
};

class TCountingLink : public TDataLink {
 public:
  int events = 0;

 protected:
  void DataSetChanged() override { ++events; }
  void DataSetScrolled(int) override { ++events; }
};

void BM_WalkAllRecordsWithAGridLink(benchmark::State& state) {
  TArrayDataSet ds(static_cast<int>(state.range(0)));
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TCountingLink link;
  link.SetBufferCount(25);
  link.SetDataSource(&src);
  ds.Open();
  TField* pay = ds.FieldByName("PAY");
  for (auto _ : state) {
    double sum = 0;
    for (ds.First(); !ds.Eof(); ds.Next()) sum += pay->AsFloat();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WalkAllRecordsWithAGridLink)->Arg(1000)->Arg(100000);

void BM_ScrollBackAndForthPastTheWindow(benchmark::State& state) {
  TArrayDataSet ds(100000);
  TDataSource src(nullptr);
  src.SetDataSet(&ds);
  TCountingLink link;
  link.SetBufferCount(25);
  link.SetDataSource(&src);
  ds.Open();
  ds.MoveBy(50000);
  for (auto _ : state) {
    ds.MoveBy(40);
    ds.MoveBy(-40);
  }
  state.SetItemsProcessed(state.iterations() * 80);
}
BENCHMARK(BM_ScrollBackAndForthPastTheWindow);

void BM_LocateByScan(benchmark::State& state) {
  TArrayDataSet ds(static_cast<int>(state.range(0)));
  ds.Open();
  for (auto _ : state) {
    ds.First();
    benchmark::DoNotOptimize(ds.Locate("ID", Variant(static_cast<int>(state.range(0))), {}));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LocateByScan)->Arg(10000);

}  // namespace
