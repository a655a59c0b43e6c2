// Record layout, field descriptions, the record manager and the blob cache
// of a record, over memory blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "Udb/BlobInterface.h"
#include "Udb/BlobMgr.h"
#include "Udb/InternalFields.h"
#include "Udb/RecordMgr.h"
#include "UdbTestSupport.h"
#include "platform/core/Streams.h"

namespace {

using udbfmt::GetU16;
using udbfmt::GetU32;
using udbfmt::PutU16;
using udbfmt::PutU32;

struct FieldSpec {
  const char* name;
  TFieldType type;
  int declaredSize;
};

void Define(TInternalFields& fields, std::initializer_list<FieldSpec> specs) {
  int i = 0;
  for (const FieldSpec& s : specs) {
    TInternalFieldItem* f = fields.Add();
    f->SetFieldName(s.name);
    f->SetDataType(s.type);
    if (s.type == ftString) f->SetFieldSize(s.declaredSize + 1);
    f->SetFieldIndex(i);
    f->SetFieldNo(++i);
  }
  fields.SetDefaultOffsets();
}

TEST(InternalFields, IntegerStringBooleanLayout) {
  TInternalFields fields;
  Define(fields, {{"ID", ftInteger, 0}, {"NAME", ftString, 10}, {"OK", ftBoolean, 0}});
  struct Expect { int nullFlag, sizeMarker, data, size; };
  const Expect expect[] = {{14, 0, 17, 4}, {15, 21, 23, 11}, {16, 0, 34, 1}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(fields.Items(i)->NullFlagOffset(), expect[i].nullFlag);
    EXPECT_EQ(fields.Items(i)->SizeMarkerOffset(), expect[i].sizeMarker);
    EXPECT_EQ(fields.Items(i)->DataOffset(), expect[i].data);
    EXPECT_EQ(fields.Items(i)->FieldSize(), expect[i].size);
  }
  EXPECT_EQ(fields.Items(1)->UserFieldSize(), 10);
  EXPECT_EQ(fields.RecordSize(), 35);
}

TEST(InternalFields, EveryStoredTypeHasItsFixedSize) {
  const std::pair<TFieldType, int> sizes[] = {
      {ftSmallint, 2}, {ftInteger, 4}, {ftWord, 2}, {ftBoolean, 1}, {ftFloat, 8}, {ftCurrency, 8},
      {ftDate, 8},     {ftTime, 8},    {ftDateTime, 8}, {ftAutoInc, 4}, {ftBlob, 8}, {ftMemo, 8},
      {ftGraphic, 8},  {ftFmtMemo, 8}};
  for (auto [type, size] : sizes) {
    TInternalFields fields;
    fields.Add()->SetDataType(type);
    fields.SetDefaultOffsets();
    EXPECT_EQ(fields.RecordSize(), 15 + size) << FieldTypeName(type);
  }
  TInternalFields none;
  none.SetDefaultOffsets();
  EXPECT_EQ(none.RecordSize(), 14);
}

TEST(InternalFields, UnsupportedTypesAreRefusedWith10000) {
  for (TFieldType type : {ftBCD, ftBytes, ftLargeint, ftWideString, ftUnknown, ftVarBytes}) {
    TInternalFields fields;
    TCaughtError e = CatchUdb([&] { fields.Add()->SetDataType(type); });
    EXPECT_EQ(e.code, 10000) << FieldTypeName(type);
    EXPECT_NE(e.message.find(FieldTypeName(type)), std::string::npos) << e.message;
  }
}

TEST(InternalFields, MoreThan255FieldsAreRefused) {
  TInternalFields fields;
  for (int i = 0; i < 255; ++i) {
    auto* f = fields.Add();
    f->SetDataType(ftBoolean);
    f->SetFieldIndex(i);
  }
  fields.SetDefaultOffsets();
  fields.BuildFieldIndex();
  EXPECT_EQ(fields.GetField(254), fields.Items(254));
  fields.Add()->SetDataType(ftBoolean);
  EXPECT_UDB_ERROR(fields.SetDefaultOffsets(), 9604);
  EXPECT_UDB_ERROR(fields.BuildFieldIndex(), 9604);
}

TEST(InternalFields, FieldIndexMapFollowsFieldIndexNotPosition) {
  TInternalFields fields;
  const int order[] = {2, 0, 1};
  for (int fi : order) {
    auto* f = fields.Add();
    f->SetDataType(fi == 1 ? ftAutoInc : ftMemo);
    f->SetFieldIndex(fi);
    f->SetFieldName(AnsiString("字段") + char('A' + fi));
  }
  fields.BuildFieldIndex();
  EXPECT_EQ(fields.GetField(0), fields.Items(1));
  EXPECT_EQ(fields.GetField(2), fields.Items(0));
  EXPECT_EQ(fields.AutoIncFieldIndex(), 1);
  EXPECT_TRUE(fields.UsesBlobs());
  EXPECT_EQ(fields.FindField("字段b"), fields.Items(2));
  EXPECT_EQ(fields.FindField("none"), nullptr);
  EXPECT_THROW(fields.GetField(3), EAssertionFailed);

  fields.Items(2)->SetFieldIndex(0);  // two fields claim index 0
  EXPECT_THROW(fields.BuildFieldIndex(), EAssertionFailed);
}

TEST(InternalFields, AssignCopiesItemsAndResetsTheLayoutSummary) {
  TInternalFields a;
  Define(a, {{"X", ftAutoInc, 0}, {"M", ftMemo, 0}});
  a.BuildFieldIndex();
  a.Items(0)->SetExtra("carried");
  TInternalFields b;
  b.Assign(&a);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b.Items(1)->DataOffset(), a.Items(1)->DataOffset());
  EXPECT_EQ(b.Items(0)->FieldGeneratorID(), a.Items(0)->FieldGeneratorID());
  EXPECT_EQ(b.Items(0)->Extra(), "carried");
  EXPECT_EQ(b.RecordSize(), 0);
  EXPECT_FALSE(b.UsesBlobs());
  EXPECT_EQ(b.AutoIncFieldIndex(), -1);
}

// --- the record manager ------------------------------------------------------------

struct RecordFixture : ::testing::Test {
  TMemoryIOInterface recordIO, blobIO;
  TBlobInterface blobs;
  TRecordMgr mgr;
  static constexpr std::uint16_t kTableId = 5;
  const std::uint32_t tag = kTableId * 16 + 9;

  void SetUp() override {
    Define(mgr.Fields(), {{"ID", ftInteger, 0}, {"NAME", ftString, 10}, {"NOTE", ftMemo, 0}, {"PIC", ftGraphic, 0}});
    recordIO.SetTableId(kTableId);
    recordIO.SetUsage(9);
    recordIO.SetBlockSize(mgr.Fields().RecordSize());
    recordIO.Open();
    blobIO.SetBlockSize(64);
    blobIO.Open();
    blobs.SetIOInterface(&blobIO);
    blobs.SetBlockSize(64);
    blobs.Open();
    mgr.SetRecordSize(mgr.Fields().RecordSize());
    mgr.SetBlobInterface(&blobs);
    mgr.Open(&recordIO);
  }

  std::vector<std::uint8_t> Record(int id, const std::string& name) {
    std::vector<std::uint8_t> r(static_cast<size_t>(mgr.RecordSize()), 0);
    r[0] = 1;
    PutU32(r.data() + 2, tag);
    PutU32(r.data() + 6, static_cast<std::uint32_t>(id));
    r[14] = 1;
    PutU32(r.data() + 18, static_cast<std::uint32_t>(id));
    r[15] = 1;
    PutU16(r.data() + 22, static_cast<std::uint16_t>(name.size()));
    std::memcpy(r.data() + 24, name.data(), name.size());
    return r;
  }
  static std::string Text(TMemoryStream& s) {
    return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
  }
  static void Fill(TMemoryStream& s, const std::string& text) {
    s.Clear();
    s.WriteBuffer(text.data(), static_cast<int>(text.size()));
  }
};

TEST_F(RecordFixture, LayoutWithBlobsAndRecordRoundTrip) {
  EXPECT_EQ(mgr.Fields().Items(2)->DataOffset(), 35);
  EXPECT_EQ(mgr.Fields().Items(3)->DataOffset(), 43);
  EXPECT_EQ(mgr.RecordSize(), 51);
  EXPECT_EQ(mgr.Blobs().Count(), 2);
  EXPECT_EQ(mgr.Blobs().Items(1)->FieldIndex(), 3);

  auto r = Record(1, "张三");
  TUdbAddr a = mgr.AppendRecord(r.data());
  std::vector<std::uint8_t> back(r.size());
  mgr.ReadRecord(a, back.data(), true);
  EXPECT_EQ(back, r);
  r[14 + 0] = 0;  // ID becomes null
  mgr.WriteRecord(a, r.data());
  mgr.ReadRecord(a, back.data(), false);
  EXPECT_EQ(back, r);
  mgr.GetLastRecord(back.data());
  EXPECT_EQ(back, r);
  mgr.DeleteRecord(a);
  EXPECT_FALSE(recordIO.AddressInUse(a));
}

TEST_F(RecordFixture, OpenWithoutRecordSizeFails) {
  TRecordMgr empty;
  EXPECT_UDB_ERROR(empty.Open(&recordIO), 8576);
  EXPECT_THROW(mgr.SetRecordSize(10), EAssertionFailed);
}

TEST_F(RecordFixture, DamagedRecordsAreRefusedAndNothingIsKept) {
  auto good = Record(1, "ok");
  TUdbAddr a = mgr.AppendRecord(good.data());
  auto bad = Record(2, "x");
  PutU16(bad.data() + 22, 11);  // the size marker is longer than the 10-byte field
  recordIO.WriteBlock(a, static_cast<int>(bad.size()), bad.data());
  std::vector<std::uint8_t> back(good.size(), 0xEE);
  EXPECT_UDB_ERROR(mgr.ReadRecord(a, back.data(), true), 8451);
  EXPECT_EQ(back[0], 0xEE);
  EXPECT_EQ(std::memcmp(mgr.LastRecord(), good.data(), good.size()), 0);
  bad = Record(2, "x");
  bad[16] = 7;  // a null flag that is neither 0 nor 1
  recordIO.WriteBlock(a, static_cast<int>(bad.size()), bad.data());
  EXPECT_UDB_ERROR(mgr.ReadRecord(a, back.data(), true), 8451);
  // A free block of another owner is not checked: the dataset skips it.
  bad[0] = 0;
  recordIO.WriteBlock(a, static_cast<int>(bad.size()), bad.data());
  mgr.ReadRecord(a, back.data(), false);
  EXPECT_EQ(back, bad);
}

// Null flags of a wide record are checked a word at a time: a bad flag
// is caught wherever it stands (in a whole word or in the tail), by a
// single read and by a run read, and any mix of 0 and 1 passes.
TEST(RecordMgrLayout, EveryNullFlagOfAWideRecordIsChecked) {
  for (int count : {1, 7, 8, 9, 19, 38}) {
    TMemoryIOInterface io;
    TRecordMgr mgr;
    for (int i = 0; i < count; ++i) {
      TInternalFieldItem* f = mgr.Fields().Add();
      f->SetFieldName(("F" + std::to_string(i)).c_str());
      f->SetDataType(ftFloat);
      f->SetFieldIndex(i);
      f->SetFieldNo(i + 1);
    }
    mgr.Fields().SetDefaultOffsets();
    io.SetTableId(3);
    io.SetUsage(9);
    io.SetBlockSize(mgr.Fields().RecordSize());
    io.Open();
    mgr.SetRecordSize(mgr.Fields().RecordSize());
    mgr.Open(&io);
    std::vector<std::uint8_t> r(static_cast<size_t>(mgr.RecordSize()), 0);
    r[0] = 1;
    PutU32(r.data() + 2, 3 * 16 + 9);
    for (int i = 0; i < count; ++i) r[static_cast<size_t>(14 + i)] = static_cast<std::uint8_t>(i % 3 == 0);
    const TUdbAddr a = mgr.AppendRecord(r.data());
    const TUdbAddr b = mgr.AppendRecord(r.data());
    std::vector<std::uint8_t> back(r.size()), run(r.size());
    mgr.ReadRecord(a, back.data(), false);
    EXPECT_EQ(back, r);
    mgr.ReadRun(b, 1, run.data());
    EXPECT_EQ(run, r);
    for (int i = 0; i < count; ++i) {
      for (std::uint8_t badValue : {2, 0x80, 0xFF}) {
        auto bad = r;
        bad[static_cast<size_t>(14 + i)] = badValue;
        io.WriteBlock(b, static_cast<int>(bad.size()), bad.data());
        SCOPED_TRACE(std::to_string(count) + " fields, flag " + std::to_string(i));
        EXPECT_UDB_ERROR(mgr.ReadRecord(b, back.data(), false), 8451);
        EXPECT_UDB_ERROR(mgr.ReadRun(b, 1, run.data()), 8451);
      }
    }
  }
}

TEST_F(RecordFixture, BlobsAreReadFromDiskUntilSetAndWrittenAtPost) {
  auto r = Record(1, "a");
  TMemoryStream in, out;
  Fill(in, std::string(150, 'n'));
  mgr.SetBlobField(r.data(), 2, &in);
  EXPECT_EQ(mgr.Blobs().FindByField(2)->State(), bsModified);
  TUdbAddr a = mgr.PostRecord(0, r.data());
  EXPECT_EQ(mgr.Blobs().FindByField(2)->State(), bsNotLoaded);
  EXPECT_EQ(r[16], 1);
  EXPECT_EQ(GetU32(r.data() + 39), 150u);
  EXPECT_EQ(blobIO.BlockCount(), 3);  // 56 + 56 + 38

  std::vector<std::uint8_t> back(r.size());
  mgr.ReadRecord(a, back.data(), true);
  EXPECT_TRUE(mgr.ReadBlobField(back.data(), 2, &out));
  EXPECT_EQ(Text(out), std::string(150, 'n'));
  out.Clear();
  EXPECT_FALSE(mgr.ReadBlobField(back.data(), 3, &out));

  // Replacing the value frees the old chain only once the record is written.
  Fill(in, "short");
  mgr.SetBlobField(back.data(), 2, &in);
  out.Clear();
  EXPECT_TRUE(mgr.ReadBlobField(back.data(), 2, &out));
  EXPECT_EQ(Text(out), "short");
  mgr.PostRecord(a, back.data());
  EXPECT_EQ(blobIO.BlockCount(), 1);
  mgr.ReadRecord(a, back.data(), true);
  out.Clear();
  mgr.ReadBlobField(back.data(), 2, &out);
  EXPECT_EQ(Text(out), "short");

  // An empty stream clears a stored value.
  in.Clear();
  mgr.SetBlobField(back.data(), 2, &in);
  out.Clear();
  EXPECT_FALSE(mgr.ReadBlobField(back.data(), 2, &out));
  mgr.PostRecord(a, back.data());
  EXPECT_EQ(back[16], 0);
  EXPECT_EQ(blobIO.BlockCount(), 0);
}

TEST_F(RecordFixture, EmptyStreamOnARecordWithoutBlobStaysNotLoaded) {
  auto r = Record(1, "a");
  TMemoryStream in;
  Fill(in, "draft");
  mgr.SetBlobField(r.data(), 3, &in);
  in.Clear();
  mgr.SetBlobField(r.data(), 3, &in);  // the unsaved draft is forgotten too
  EXPECT_EQ(mgr.Blobs().FindByField(3)->State(), bsNotLoaded);
  mgr.PostRecord(0, r.data());
  EXPECT_EQ(blobIO.BlockCount(), 0);
}

TEST_F(RecordFixture, KeptReadsAndDeletesPutBlobsBackToNotLoaded) {
  auto r = Record(1, "a");
  TUdbAddr a = mgr.AppendRecord(r.data());
  TMemoryStream in;
  for (bool viaDelete : {false, true}) {
    Fill(in, "x");
    mgr.SetBlobField(r.data(), 2, &in);
    if (viaDelete)
      mgr.DeleteRecord(a);
    else
      mgr.ReadRecord(a, r.data(), true);
    EXPECT_EQ(mgr.Blobs().FindByField(2)->State(), bsNotLoaded);
    EXPECT_EQ(mgr.Blobs().FindByField(2)->Stream().Size(), 0);
  }
}

TEST_F(RecordFixture, BlobAccessToOtherFieldsIsRefused) {
  auto r = Record(1, "a");
  TMemoryStream s;
  EXPECT_UDB_ERROR(mgr.ReadBlobField(r.data(), 0, &s), 8581);
  EXPECT_UDB_ERROR(mgr.SetBlobField(r.data(), 1, &s), 8581);
  EXPECT_UDB_ERROR(mgr.ReadBlobField(r.data(), 9, &s), 8581);
  // A reference whose length disagrees with its chain is damage.
  Fill(s, "abc");
  mgr.SetBlobField(r.data(), 2, &s);
  TUdbAddr a = mgr.PostRecord(0, r.data());
  PutU32(r.data() + 39, 4);
  recordIO.WriteBlock(a, mgr.RecordSize(), r.data());
  mgr.ReadRecord(a, r.data(), true);
  EXPECT_UDB_ERROR(mgr.ReadBlobField(r.data(), 2, &s), 8451);
}

// A memory interface whose writes fail from a chosen one on.
class TFailingIO : public TMemoryIOInterface {
 public:
  int writesLeft = 1 << 30;
  void WriteBlock(TUdbAddr address, int size, const void* buffer) override {
    if (writesLeft-- <= 0) UdbDatabaseError(8581, "TFailingIO.WriteBlock", "injected");
    TMemoryIOInterface::WriteBlock(address, size, buffer);
  }
};

TEST(RecordMgrFaults, FailedRecordWriteKeepsOldBlobAndUnsavedValue) {
  TFailingIO recordIO;
  TMemoryIOInterface blobIO;
  TBlobInterface blobs;
  TRecordMgr mgr;
  Define(mgr.Fields(), {{"NOTE", ftMemo, 0}});
  recordIO.SetTableId(2);
  recordIO.SetUsage(9);
  recordIO.Open();
  blobIO.Open();
  blobs.SetIOInterface(&blobIO);
  blobs.SetBlockSize(32);
  blobs.Open();
  mgr.SetRecordSize(mgr.Fields().RecordSize());
  mgr.SetBlobInterface(&blobs);
  mgr.Open(&recordIO);

  std::vector<std::uint8_t> r(static_cast<size_t>(mgr.RecordSize()), 0);
  TMemoryStream in, out;
  in.WriteBuffer("old value", 9);
  mgr.SetBlobField(r.data(), 0, &in);
  TUdbAddr a = mgr.PostRecord(0, r.data());
  const auto stored = r;
  const int blocksBefore = blobIO.BlockCount();

  in.Clear();
  in.WriteBuffer("new value", 9);
  mgr.SetBlobField(r.data(), 0, &in);
  recordIO.writesLeft = 0;
  EXPECT_UDB_ERROR(mgr.PostRecord(a, r.data()), 8581);
  EXPECT_EQ(r, stored);                            // the caller's record is as it was
  EXPECT_EQ(blobIO.BlockCount(), blocksBefore);    // the new chain is gone, the old kept
  EXPECT_EQ(mgr.Blobs().Items(0)->State(), bsModified);
  recordIO.writesLeft = 1 << 30;
  mgr.PostRecord(a, r.data());
  mgr.ReadRecord(a, r.data(), true);
  mgr.ReadBlobField(r.data(), 0, &out);
  EXPECT_EQ(std::string(static_cast<const char*>(out.Memory()), 9), "new value");
  mgr.DeleteRecordAndBlobs(a);
  EXPECT_EQ(blobIO.BlockCount(), 0);
  EXPECT_EQ(recordIO.BlockCount(), 0);
}

}  // namespace
