// The error table, EUdbDatabaseError's message forms and the raiser's log
// line.
#include <gtest/gtest.h>

#include <set>

#include "UdbTestSupport.h"
#include "Udb/DBLogger.h"
#include "platform/core/Component.h"

TEST(UdbErrorTable, RowsCategoriesAndFixedTexts) {
  EXPECT_EQ(UdbErrorRow(0).code, 65535);
  EXPECT_STREQ(UdbErrorRow(0).message, "Error code unknown");
  std::set<int> codes;
  for (int i = 1; i < kUdbErrorRows; ++i) EXPECT_TRUE(codes.insert(UdbErrorRow(i).code).second) << i;
  struct Case {
    int row, code;
  };
  const Case rows[] = {{1, 8449},   {14, 8582},   {15, 8705},   {34, 8969},   {41, 9344},  {78, 9606},
                       {101, 9751}, {185, 10113}, {186, 130},   {197, 10125}, {198, 10241}, {218, 10263},
                       {227, 10624}, {248, 10880}, {284, 11114}, {298, 11278}, {307, 12041}, {313, 13062}};
  for (const Case& c : rows) EXPECT_EQ(UdbErrorRow(c.row).code, c.code) << c.row;
  EXPECT_EQ(UdbErrorRowOf(130), 186);
  EXPECT_EQ(UdbErrorMessage(130), "Alter table operation failed (exact cause unknown)");
  EXPECT_EQ(UdbErrorMessage(13062), "Update operation aborted");
  EXPECT_EQ(UdbErrorMessage(9486), "Too many clients ");
  EXPECT_EQ(UdbErrorMessage(9729), "Key violation ");
  EXPECT_EQ(UdbErrorMessage(10241), "");
  EXPECT_EQ(UdbErrorMessage(13060), "Table already exsits");
  EXPECT_EQ(UdbErrorMessage(10114), "Error code unknown");
}

// A mistyped name would raise a code the table does not know and the user
// would read "Error code unknown".
TEST(UdbErrorTable, EveryNamedCodeHasItsRow) {
  using namespace udberr;
  for (int code : {kAlterFailed, kCannotOpen, kSystemFileIO, kCorrupt, kNotInitialized,
                   kInvalidOperation, kObjectInUse, kObjectNotFound, kObjectExists, kInternal,
                   kCannotCreate, kReadFailure, kTooManyClients, kFileSizeLimit, kTableLimit,
                   kKeyTooLarge, kFieldCountLimit, kIndexMissing, kInvalidFieldType,
                   kInvalidProcedure, kNeedsLock, kLockTimeout, kTransactionActive,
                   kNoTransaction, kWrongTableType, kNoSuchFile, kFileExists})
    EXPECT_NE(UdbErrorRowOf(code), 0) << code;
  EXPECT_EQ(UdbErrorMessage(kCorrupt), "Data structure corruption");
  EXPECT_EQ(UdbErrorMessage(kInternal),
            "There was an unexpected internal error in the database engine");
}

TEST(EUdbDatabaseError, MessageFormsWithAndWithoutCustomText) {
  TCaughtError plain = CatchUdb([] { UdbDatabaseError(8577, "TUdbTable.Open"); });
  EXPECT_EQ(plain.code, 8577);
  EXPECT_EQ(plain.errorText, "Operation is not valid on this object");
  EXPECT_EQ(plain.message,
            "The ZodAZ database engine raised an error\r\n (error code #8577). Operation is not valid on this object");
  TCaughtError custom = CatchUdb([] { UdbDatabaseError(11010, "TDiskMgr.Open", "gz.udb"); });
  EXPECT_EQ(custom.message,
            "The ZodAZ database engine raised an error\r\n No such file or directory (error code #11010) - gz.udb");
  TCaughtError fmt = CatchUdb([] {
    UdbDatabaseErrorFmt(8581, "X.Y", "%s has %d pages (%5d|%-3s|)", nullptr, {AnsiString("a.udb"), 7, 42, "z"});
  });
  EXPECT_NE(fmt.message.find("- a.udb has 7 pages (   42|z  |)"), std::string::npos) << fmt.message;
  EUdbDatabaseError* asBase = nullptr;
  try {
    UdbDatabaseError(8581, "X");
  } catch (EDatabaseError& e) {
    asBase = dynamic_cast<EUdbDatabaseError*>(&e);
  }
  EXPECT_NE(asBase, nullptr);
}

TEST(UdbDatabaseError, UnknownCodeKeepsItsCodeAndLogs65535) {
  TCaughtError e = CatchUdb([] { UdbDatabaseError(10114, "TUdbQuery.ExecSQL", "custom"); });
  EXPECT_EQ(e.code, 10114);
  EXPECT_EQ(e.errorText, "Error code unknown");
  AnsiString line = UdbLogger().Lines().back();
  EXPECT_NE(line.find("TUdbQuery.ExecSQL : Exception:  Caller"), std::string::npos) << line;
  EXPECT_NE(line.find("ErrCode 65535 [ErrContext Error code unknown]. CustomMsg custom"), std::string::npos)
      << line;
}

TEST(UdbDatabaseError, CallerIsTheComponentNameOrTheClassName) {
  TComponent named(nullptr);
  named.SetName("UdbTable1");
  TComponent unnamed(nullptr);
  struct Case {
    const TObject* sender;
    const char* caller;
  };
  const Case cases[] = {{nullptr, "Caller                      ErrCode"},
                        {&named, "Caller            UdbTable1 ErrCode"},
                        {&unnamed, "Caller           TComponent ErrCode"}};
  for (const Case& c : cases) {
    CatchUdb([&] { UdbDatabaseError(8449, "T.M", "", c.sender); });
    AnsiString line = UdbLogger().Lines().back();
    EXPECT_NE(line.find(c.caller), std::string::npos) << line;
    EXPECT_NE(line.find("ErrCode  8449 [ErrContext Cannot open the requested file]"), std::string::npos) << line;
  }
}
