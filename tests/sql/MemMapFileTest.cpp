// Mapped files read and written like streams: bounds, growth, open modes.
#include "sql/MemMapFile.h"

#include <gtest/gtest.h>

#include "../core/ScratchDir.h"
#include "platform/core/Files.h"
#include "sql/SqlMessages.h"

namespace {

std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const ESqlQueryError& e) {
    return e.Message();
  }
  return "(no ESqlQueryError)";
}

TEST(TMemMapFile, CreateMapsTheRequestedSizeAndReadsStopThere) {
  ScratchDir dir;
  TMemMapFile map(dir / "a.tmp", TMemMapFile::kMapCreate, 16, true);
  EXPECT_EQ(map.Size(), 16);
  EXPECT_EQ(map.FileSize(), 0);  // read when opened
  char buf[16] = {};
  map.Seek(8);
  map.Read(buf, 8);
  EXPECT_EQ(map.Position(), 16);
  map.Seek(9);
  EXPECT_EQ(MessageOf([&] { map.Read(buf, 8); }), "Position beyond EOF");
  EXPECT_EQ(MessageOf([&] { map.View(-1, 1); }), "Position beyond EOF");
}

TEST(TMemMapFile, WritesPastTheSizeGrowTheViewAndKeepTheData) {
  ScratchDir dir;
  TMemMapFile map(dir / "a.tmp", TMemMapFile::kMapCreate, 16, true);
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  map.Write(data.data(), 10);
  map.Write(data.data() + 10, 990);
  EXPECT_EQ(map.HighWater(), 1000);
  EXPECT_GE(map.Size(), 1000);
  EXPECT_GE(FileSizeOf(dir / "a.tmp"), 1000);
  std::string back(1000, '\0');
  map.Seek(0);
  map.Read(back.data(), 1000);
  EXPECT_EQ(back, data);
  map.Seek(4);
  map.Write("XY", 2);
  EXPECT_EQ(map.HighWater(), 1000);  // a write below the mark leaves it
}

TEST(TMemMapFile, OpenModesOfAnExistingFile) {
  ScratchDir dir;
  WriteFileAtomically(dir / "b.bin", "0123456789");
  {
    TMemMapFile ro(dir / "b.bin", TMemMapFile::kMapReadOnly, 0, false);
    EXPECT_EQ(ro.Size(), 10);  // 0: the whole file
    EXPECT_EQ(std::string(ro.View(3, 4), 4), "3456");
    EXPECT_THROW(ro.Write("x", 1), EWriteError);
  }
  {
    TMemMapFile rw(dir / "b.bin", fmOpenReadWrite, 0, true);
    rw.Seek(0);
    rw.Write("AB", 2);
  }
  EXPECT_EQ(ReadWholeFile(dir / "b.bin"), "AB23456789");
}

TEST(TMemMapFile, MissingFileIsReported) {
  ScratchDir dir;
  EXPECT_EQ(MessageOf([&] { TMemMapFile m(dir / "none.bin", TMemMapFile::kMapReadOnly, 0, true); }),
            "Failed to open or create file");
  EXPECT_EQ(MessageOf([&] { TMemMapFile m(dir / "no/dir.bin", TMemMapFile::kMapCreate, 8, true); }),
            "Failed to open or create file");
  WriteFileAtomically(dir / "c.bin", "abc");
  // A read-only file cannot be made longer to cover the requested view.
  EXPECT_EQ(MessageOf([&] { TMemMapFile m(dir / "c.bin", TMemMapFile::kMapReadOnly, 100, true); }),
            "Failed to create file mapping");
}

}  // namespace
