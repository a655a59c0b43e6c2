#include "IndexTestSupport.h"

#include <cstring>

namespace idxtest {

namespace {
constexpr int kANull = 10;
constexpr int kA = 11;
constexpr int kBNull = 15;
constexpr int kBSizeMarker = 16;
constexpr int kB = 18;

int Sign(long long v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
}  // namespace

std::vector<std::uint8_t> RecordOf(const TRow& row) {
  std::vector<std::uint8_t> r(kRecordSize, 0);
  r[0] = 1;
  std::memcpy(&r[6], &row.id, 4);
  r[kANull] = row.aNull ? 0 : 1;
  std::memcpy(&r[kA], &row.a, 4);
  r[kBNull] = row.bNull ? 0 : 1;
  const auto len = static_cast<std::uint16_t>(row.b.size());
  r[kBSizeMarker] = static_cast<std::uint8_t>(len);
  r[kBSizeMarker + 1] = static_cast<std::uint8_t>(len >> 8);
  std::memcpy(&r[kB], row.b.data(), row.b.size());
  return r;
}

static TKeyFieldItem* AddPart(TKeyFields& fields, const char* index, const char* name, TFieldType type, int size) {
  TKeyFieldItem* f = fields.Add();
  f->SetIndexName(index);
  f->SetFieldName(name);
  f->SetDataType(type);
  f->SetFieldSize(size);
  f->SetKeyIndex(fields.CountForIndex(index) - 1);
  return f;
}

void AddIntPart(TKeyFields& fields, const char* index, int part, bool descending) {
  (void)part;
  TKeyFieldItem* f = AddPart(fields, index, "A", ftInteger, 4);
  f->SetRecBufOffset(kA);
  f->SetNullFlagOffset(kANull);
  f->SetDescending(descending);
}

void AddStringPart(TKeyFields& fields, const char* index, bool caseInsensitive) {
  TKeyFieldItem* f = AddPart(fields, index, "B", ftString, kBSize);
  f->SetRecBufOffset(kB);
  f->SetNullFlagOffset(kBNull);
  f->SetSizeMarkerOffset(kBSizeMarker);
  f->SetCaseInsensitive(caseInsensitive);
}

void AddRecordIdPart(TKeyFields& fields, const char* index, bool descending) {
  TKeyFieldItem* f = AddPart(fields, index, "", ftInteger, 4);
  f->SetRecBufOffset(6);
  f->SetNullFlagOffset(0);
  f->SetPhysicalFieldNo(-1);
  f->SetHidden(true);
  f->SetDescending(descending);
}

int ModelCompare(const TRow& s, const TRow& o, int parts, bool aDescending) {
  for (int i = 0; i < parts; ++i) {
    int r = 0;
    if (i == 0) {
      r = static_cast<int>(!s.aNull) - static_cast<int>(!o.aNull);
      if (r == 0 && !s.aNull) r = Sign(static_cast<long long>(s.a) - o.a);
      if (aDescending) r = -r;
    } else if (i == 1) {
      r = static_cast<int>(!s.bNull) - static_cast<int>(!o.bNull);
      if (r == 0 && !s.bNull) {
        const size_t n = std::min(s.b.size(), o.b.size());
        r = Sign(std::memcmp(s.b.data(), o.b.data(), n));
        if (r == 0) r = Sign(static_cast<long long>(s.b.size()) - static_cast<long long>(o.b.size()));
      }
    } else {
      r = Sign(static_cast<long long>(s.id) - o.id);
    }
    if (r != 0) return r;
  }
  return 0;
}

int ModelFind(const std::vector<TRow>& sorted, const TRow& search, int parts, int mode, bool aDescending) {
  const int n = static_cast<int>(sorted.size());
  int lower = n;
  int upper = n;
  for (int i = n - 1; i >= 0; --i) {
    const int c = ModelCompare(search, sorted[static_cast<size_t>(i)], parts, aDescending);
    if (c <= 0) lower = i;
    if (c < 0) upper = i;
  }
  switch (mode) {
    case 0: return lower > 0 ? lower - 1 : -1;
    case 1: return upper > 0 ? upper - 1 : -1;
    case 2:
      return lower < n && ModelCompare(search, sorted[static_cast<size_t>(lower)], parts, aDescending) == 0 ? lower
                                                                                                           : -1;
    case 3: return lower < n ? lower : -1;
    case 4: return upper < n ? upper : -1;
    default: return lower < n ? lower : n - 1;
  }
}

TTreeHarness::TTreeHarness(bool onDisk, int size, TKeySortFunction sortFn)
    : disk(onDisk), nodeSize(size), sort(sortFn) {
  if (disk) db = std::make_unique<TMemDatabase>();
  OpenIO();
}

TTreeHarness::~TTreeHarness() = default;

TBaseIOInterface& TTreeHarness::IO() {
  if (disk) return *diskIO;
  return *memIO;
}

void TTreeHarness::OpenIO() {
  if (disk) {
    diskIO = std::make_unique<TDiskIOInterface>();
    diskIO->SetDiskMgr(db->disk.get());
    diskIO->SetBlockSize(nodeSize);
    diskIO->SetUsage(kUsageIndex);
    diskIO->SetTableId(1);
    diskIO->SetGlobalHeaderItem(udbfmt::kItemIndexNodeFirstEmpty);
    diskIO->Open();
  } else if (!memIO) {
    memIO = std::make_unique<TMemoryIOInterface>();
    memIO->SetBlockSize(nodeSize);
    memIO->SetUsage(kUsageIndex);
    memIO->Open();
  }
}

void TTreeHarness::Define(const TKeyFields& keyFields) {
  fields.Assign(const_cast<TKeyFields*>(&keyFields));
}

void TTreeHarness::OpenTree() {
  tree = std::make_unique<TBTree>();
  tree->Init(&IO(), nodeSize, &root, &depth);
  tree->SetKeyFields(fields);
  tree->SetSortFunction(sort);
  tree->Open();
}

void TTreeHarness::CreateAndOpen() {
  tree = std::make_unique<TBTree>();
  tree->Init(&IO(), nodeSize, &root, &depth);
  tree->CreateRoot();
  OpenTree();
}

void TTreeHarness::Reopen() {
  tree->Close();
  tree.reset();
  if (disk) {
    diskIO->Close();
    diskIO.reset();
    db->Reopen();
  }
  OpenIO();
  OpenTree();
}

}  // namespace idxtest
