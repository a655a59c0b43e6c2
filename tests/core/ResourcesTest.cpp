#include "platform/core/Resources.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/ResourceTable.h"
#include "resources/PayrollResources.h"

const TEmbeddedResourceTable& CoreTestResources();

namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { SetResourceTableForTesting(&CoreTestResources()); }
  void TearDown() override { SetResourceTableForTesting(nullptr); }
};

TEST_F(ResourcesTest, RawDataIsFoundByNameWithoutRegardToCase) {
  for (const char* name : {"SQYACC_YYA", "sqyacc_YYA", "Sqyacc_yya"}) {
    TResourceBlock b = FindResource(name, RT_RCDATA);
    ASSERT_NE(b.data, nullptr) << name;
    ASSERT_EQ(b.size, 13u);
    EXPECT_EQ(std::memcmp(b.data, "table-bytes\x00\x01", 13), 0);
    EXPECT_EQ(b.data[13], 0) << "a zero byte follows the data";
  }
}

TEST_F(ResourcesTest, KindIsPartOfTheKey) {
  EXPECT_NE(FindResource("Logo", RT_BITMAP).data, nullptr);
  EXPECT_EQ(FindResource("Logo", RT_RCDATA).data, nullptr);
  EXPECT_EQ(FindResource("SQYACC_YYA", RT_BITMAP).data, nullptr);
  // Form definitions are raw data found under their class name.
  EXPECT_NE(FindResource("TFRMTEST", RT_RCDATA).data, nullptr);
}

TEST_F(ResourcesTest, MissingResourceRaisesResNotFound) {
  try {
    LoadResource("NOSUCH", RT_RCDATA);
    FAIL() << "no exception";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource NOSUCH not found");
  }
  EXPECT_THROW(TResourceStream("NOSUCH", RT_RCDATA), EResNotFound);
}

TEST_F(ResourcesTest, ResourceStreamReadsTheBytesAndRefusesWrites) {
  TResourceStream s("TFrmTest", RT_RCDATA);
  AnsiString text(static_cast<size_t>(s.Size()), '\0');
  s.ReadBuffer(text.data(), text.Length());
  EXPECT_EQ(text, "object FrmTest: TFrmTest\nend\n");
  EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
}

TEST_F(ResourcesTest, StringTablesAreCodePage936WithEscapesAndLaterFilesWin) {
  EXPECT_EQ(LoadStr(55200), "计算时发生错误");  // the literal is code-page-936 bytes
  EXPECT_EQ(LoadStr(55201), "报表:");
  EXPECT_EQ(LoadStr(65073), " %s at line : %d, Column: %d, token: %s") << "leading blank kept";
  EXPECT_EQ(LoadStr(101), "line one\nline two\\end");
  EXPECT_EQ(LoadStr(100), "second");
  EXPECT_EQ(LoadStr(4711), "") << "an id no table holds";
}

// The core links no resources of its own: lookups see the registered table,
// and the testing table while one is set.
TEST(Resources, LookupsSeeTheRegisteredTableUnderTheTestingOne) {
  const TEmbeddedResourceTable none = {nullptr, 0};
  RegisterResources(&none);
  EXPECT_EQ(FindResource("SQYACC_YYA", RT_RCDATA).data, nullptr);
  RegisterResources(&CoreTestResources());
  EXPECT_NE(FindResource("SQYACC_YYA", RT_RCDATA).data, nullptr);
  EXPECT_EQ(LoadStr(55201), "报表:");
  SetResourceTableForTesting(&none);
  EXPECT_EQ(FindResource("SQYACC_YYA", RT_RCDATA).data, nullptr);
  EXPECT_EQ(LoadStr(55201), "");
  SetResourceTableForTesting(nullptr);
  EXPECT_EQ(LoadStr(55201), "报表:") << "the registered strings are read again";
  RegisterResources(nullptr);
  EXPECT_EQ(FindResource("SQYACC_YYA", RT_RCDATA).data, nullptr);
}

TEST(Resources, ProgramTableLinksAndListsNoStrayEntries) {
  const TEmbeddedResourceTable& t = PayrollEmbeddedResources();
  for (size_t i = 0; i < t.count; ++i) {
    ASSERT_NE(t.items[i].name, nullptr);
    EXPECT_EQ(t.items[i].data[t.items[i].size], 0);
  }
}

}  // namespace
