#include "platform/core/Streams.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/Files.h"
#include "ScratchDir.h"

namespace {

TEST(TMemoryStream, WritesReadsAndFillsGapsWithZeros) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.Seek(2, soFromEnd);  // past the end
  m.WriteBuffer("z", 1);
  ASSERT_EQ(m.Size(), 6);
  EXPECT_EQ(std::memcmp(m.Memory(), "abc\0\0z", 6), 0);
  m.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 5) << "Read returns what is there";
  EXPECT_EQ(m.Read(buf, 8), 0);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2) << "position clipped to the new size";
  m.SetSize(4);
  EXPECT_EQ(std::memcmp(m.Memory(), "ab\0\0", 4), 0) << "regrown bytes are zero";
}

TEST(TStream, ShortReadOrWriteRaisesStreamErrors) {
  TMemoryStream m;
  m.WriteBuffer("12", 2);
  m.SetPosition(0);
  char buf[4];
  try {
    m.ReadBuffer(buf, 3);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
  ScratchDir dir;
  {
    TFileStream f(dir / "r.bin", fmCreate);
    f.WriteBuffer("data", 4);
  }
  TFileStream ro(dir / "r.bin", fmOpenRead | fmShareDenyNone);
  try {
    ro.WriteBuffer("x", 1);
    FAIL() << "no exception";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
  EXPECT_THROW(m.Seek(-5, soFromCurrent), EStreamError);
}

TEST(TFileStream, OpenAndCreateFailuresNameTheFileAndTheReason) {
  ScratchDir dir;
  try {
    TFileStream f(dir / "missing.rbf", fmOpenRead);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file " + dir / "missing.rbf" + ". ", 0), 0u)
        << e.Message();
    EXPECT_GT(e.Message().size(), ("Cannot open file " + dir / "missing.rbf" + ". ").size());
  }
  try {
    TFileStream f(dir / "no\\such\\dir\\x.rbf", fmCreate);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file ", 0), 0u) << e.Message();
  }
}

TEST(TFileStream, ReadWriteSeekAndSize) {
  ScratchDir dir;
  TFileStream f(dir / "t.bin", fmCreate);
  f.WriteBuffer("hello world", 11);
  EXPECT_EQ(f.Size(), 11);
  EXPECT_EQ(f.Seek(-5, soFromEnd), 6);
  char buf[5];
  f.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  f.SetSize(5);
  EXPECT_EQ(f.Position(), 5);
  EXPECT_EQ(f.Read(buf, 5), 0);
  // 64-bit positions: a sparse write beyond 4 GiB.
  const std::int64_t far = (std::int64_t{1} << 32) + 7;
  f.SetPosition(far);
  f.WriteBuffer("!", 1);
  EXPECT_EQ(f.Size(), far + 1);
}

TEST(TFileStream, CreateTruncatesAnExistingFile) {
  ScratchDir dir;
  {
    TFileStream f(dir / "t.bin", fmCreate);
    f.WriteBuffer("long old contents", 17);
  }
  TFileStream f(dir / "t.bin", fmCreate);
  EXPECT_EQ(f.Size(), 0);
}

TEST(TStream, CopyFromZeroCopiesTheWholeSource) {
  TStringStream src("0123456789");
  src.SetPosition(7);
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(&src, 0), 10);
  EXPECT_EQ(std::string(static_cast<char*>(dst.Memory()), 10), "0123456789");
  src.SetPosition(2);
  TStringStream part;
  EXPECT_EQ(part.CopyFrom(&src, 3), 3);
  EXPECT_EQ(part.DataString(), "234");
  src.SetPosition(8);
  EXPECT_THROW(part.CopyFrom(&src, 5), EReadError);
}

TEST(TStringStream, OverwritesInPlaceAndGrows) {
  TStringStream s("工资表");
  s.SetPosition(2);
  s.WriteString("XX");
  EXPECT_EQ(s.DataString(), AnsiString("工") + "XX" + AnsiString("表"));
  s.Seek(0, soFromEnd);
  s.WriteString("!");
  EXPECT_EQ(s.Size(), 7);
  s.SetPosition(0);
  EXPECT_EQ(s.ReadString(2), "工");
}

TEST(TMemoryStream, LoadAndSaveFiles) {
  ScratchDir dir;
  TMemoryStream m;
  m.WriteBuffer("\x00\xFF\x01", 3);
  m.SaveToFile(dir / "m.bin");
  TMemoryStream back;
  back.LoadFromFile(dir / "m.bin");
  ASSERT_EQ(back.Size(), 3);
  EXPECT_EQ(std::memcmp(back.Memory(), "\x00\xFF\x01", 3), 0);
  EXPECT_EQ(back.Position(), 0);
}

}  // namespace
