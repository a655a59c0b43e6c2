// The in-memory global header: item range, dirty marking.
#include <gtest/gtest.h>

#include "UdbTestSupport.h"
#include "Udb/GlobalHdr.h"

TEST(TGlobalHdr, ItemsInsideTheHeaderOnly) {
  TGlobalHdr header;
  EXPECT_UDB_ERROR(header.Initialize(0, 1024), 8581);
  header.Initialize(128, 1024);
  for (int offset : {0, 125, 128, -4}) {
    TCaughtError e = CatchUdb([&] { header.GetItem(offset); });
    EXPECT_EQ(e.code, 8581) << offset;
    EXPECT_NE(e.message.find("DB Header. Item offset is out of range"), std::string::npos);
    EXPECT_UDB_ERROR(header.SetItem(offset, 1), 8581);
  }
  header.SetItem(1, 0x01020304);  // unaligned items are allowed
  EXPECT_EQ(header.GetItem(1), 0x01020304u);
  EXPECT_EQ(header.Buffer()[1], 0x04);
  header.SetItem(124, 7);
  EXPECT_EQ(header.GetItem(124), 7u);
}

TEST(TGlobalHdr, DirtyOnlyWhenAValueChanges) {
  TGlobalHdr header;
  header.Initialize(128, 1024);
  header.SetItem(20, 0);
  EXPECT_FALSE(header.Dirty());
  header.SetItem(20, 5);
  EXPECT_TRUE(header.Dirty());
  header.SetDirty(false);
  header.SetItem(20, 5);
  EXPECT_FALSE(header.Dirty());
}
