// The connection's catalogue under plain use: many tables made one after
// another on a new database (in memory and in a real file, plain and both
// ciphers), each filled as it is made, and read again after reconnecting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../core/ScratchDir.h"
#include "MemFileSystem.h"
#include "UdbTestSupport.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"

namespace {

struct TCase {
  const char* name;
  bool realFile;
  TEncryptionLevel level;
};

std::ostream& operator<<(std::ostream& os, const TCase& c) { return os << c.name; }

const TCase kCases[] = {
    {"MemFilePlain", false, encNone},  {"MemFileXor", false, encWeak},  {"MemFileBlowfish", false, encStrong},
    {"RealFilePlain", true, encNone},  {"RealFileXor", true, encWeak},  {"RealFileBlowfish", true, encStrong},
};

class ManyTables : public ::testing::TestWithParam<TCase> {
 protected:
  void SetUp() override {
    if (GetParam().realFile) {
      db.SetDirectory(dir.Native().c_str());
    } else {
      db.SetFileSystem(&fs);
    }
    db.SetDataBaseName("check.udb");
    if (Enciphered()) {
      db.SetEncrypted(true);
      db.SetMasterKey("catalogue-key");
    }
    db.CreateDatabase();
    Connect();
  }
  bool Enciphered() const { return GetParam().level != encNone; }
  void Connect() {
    if (Enciphered()) db.SetMasterKey("catalogue-key");
    db.SetConnected(true);
  }
  void Reconnect() {
    db.SetConnected(false);
    Connect();
  }
  void Create(const std::string& name, bool withMemo) {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName(name.c_str());
    t.SetEncryptionLevel(GetParam().level);
    t.FieldDefs()->Add("A", ftInteger);
    if (withMemo) t.FieldDefs()->Add("P", ftMemo);
    t.CreateTable();
  }
  // n rows: A = 1..n, P = a text long enough to take several blob blocks.
  void Fill(const std::string& name, int n) {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName(name.c_str());
    t.Open();
    for (int i = 1; i <= n; ++i) {
      t.Append();
      t.FieldByName("A")->SetAsInteger(i);
      t.FieldByName("P")->SetAsString(AnsiString(std::string(3000 + i, static_cast<char>('a' + i % 26))));
      t.Post();
    }
  }
  std::vector<int> Values(const std::string& name) {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName(name.c_str());
    t.Open();
    std::vector<int> out;
    for (t.First(); !t.Eof(); t.Next()) {
      out.push_back(t.FieldByName("A")->AsInteger());
      EXPECT_EQ(t.FieldByName("P")->AsString().size(), static_cast<size_t>(3000 + out.back())) << name;
    }
    return out;
  }
  int TableCount() {
    TStringList names;
    db.GetTableNames(&names, false);
    return names.Count();
  }

  ScratchDir dir;
  TMemFileSystem fs;
  TUdbDataBase db;
};

TEST_P(ManyTables, SixOneFieldTablesAreCreatedAndListedAfterReconnecting) {
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    Create("P" + std::to_string(i), false);
  }
  EXPECT_EQ(TableCount(), 6);
  Reconnect();
  EXPECT_EQ(TableCount(), 6);
  Create("P6", false);
  EXPECT_EQ(TableCount(), 7);
}

// A table header handed out twice would carry the newer table's counters
// and roots: the older table's rows would be gone after reconnecting.
TEST_P(ManyTables, TablesFilledAsTheyAreMadeKeepTheirRowsAndBlobs) {
  const int kTables = 12;
  for (int i = 0; i < kTables; ++i) {
    SCOPED_TRACE(i);
    Create("T" + std::to_string(i), true);
    Fill("T" + std::to_string(i), i % 4 + 1);
  }
  Reconnect();
  for (int i = 0; i < kTables; ++i) {
    std::vector<int> expected;
    for (int k = 1; k <= i % 4 + 1; ++k) expected.push_back(k);
    EXPECT_EQ(Values("T" + std::to_string(i)), expected) << "T" << i;
  }
}

// A table renamed right after it was made (never opened under its first
// name) opens, takes rows and closes under the new one, enciphered too.
TEST_P(ManyTables, ATableRenamedBeforeItsFirstOpenWorksUnderItsNewName) {
  Create("FIRST", true);
  db.RenameTable("FIRST", "SECOND");
  Fill("SECOND", 2);
  Create("THIRD", true);
  Fill("THIRD", 1);
  Reconnect();
  EXPECT_EQ(Values("SECOND"), (std::vector<int>{1, 2}));
  EXPECT_EQ(Values("THIRD"), (std::vector<int>{1}));
}

// An encryption level is asked only of an enciphered database; a memory
// table takes none anyway.
TEST(EncryptionLevel, IsRefusedWhereTheDatabaseCannotEncipher) {
  struct TLevelCase {
    const char* what;
    bool encipheredFile;
    bool memoryTable;
    TEncryptionLevel level;
    int error;  // -1: created
  };
  const TLevelCase cases[] = {
      {"plain file, XOR", false, false, encWeak, udberr::kWrongTableType},
      {"plain file, Blowfish", false, false, encStrong, udberr::kWrongTableType},
      {"plain file, memory table with a level", false, true, encWeak, udberr::kWrongTableType},
      {"plain file, no level", false, false, encNone, -1},
      {"enciphered file, Blowfish", true, false, encStrong, -1},
      {"enciphered file, memory table with a level", true, true, encStrong, udberr::kNotForMemory},
  };
  for (const TLevelCase& c : cases) {
    SCOPED_TRACE(c.what);
    TMemFileSystem fs;
    TUdbDataBase db;
    db.SetFileSystem(&fs);
    db.SetDataBaseName("levels.udb");
    db.SetEncrypted(c.encipheredFile);
    if (c.encipheredFile) db.SetMasterKey("level-key");
    db.CreateDatabase();
    if (c.encipheredFile) db.SetMasterKey("level-key");
    db.SetConnected(true);
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("T");
    t.SetMemory(c.memoryTable);
    t.SetEncryptionLevel(c.level);
    t.FieldDefs()->Add("A", ftInteger);
    const TCaughtError e = CatchUdb([&] { t.CreateTable(); });
    EXPECT_EQ(e.code, c.error) << e.message;
    TStringList names;
    db.GetTableNames(&names, c.memoryTable);
    EXPECT_EQ(names.Count(), c.error == -1 ? 1 : 0) << "a refused table is not made";
  }
}

// Files written before the fix: the head of the user tables' header list
// was left on a header in use.  Connecting drops that head (the blocks
// behind it stay unused) and the tables made afterwards leave the old
// table's rows alone.
TEST(DamagedFile, AHeaderListHeadOnAHeaderInUseIsDroppedAtConnect) {
  TMemFileSystem fs;
  TUdbDataBase db;
  db.SetFileSystem(&fs);
  db.SetDataBaseName("old.udb");
  db.CreateDatabase();
  db.SetConnected(true);
  {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName("OLD");
    t.FieldDefs()->Add("A", ftInteger);
    t.CreateTable();
    t.Open();
    for (int i = 1; i <= 3; ++i) {
      t.Append();
      t.FieldByName("A")->SetAsInteger(i);
      t.Post();
    }
  }
  db.SetConnected(false);
  std::vector<std::uint8_t>& file = fs.Bytes("old.udb");
  const std::uint32_t oldHeader = udbfmt::GetU32(file.data() + 3 * udbtest::P + 4);  // user map, slot 0
  udbfmt::PutU32(file.data() + udbfmt::kGlobalHeaderOffset + udbfmt::kItemUserTableHdrFirstEmpty, oldHeader);

  db.SetConnected(true);
  EXPECT_NE(udbfmt::GetU32(file.data() + udbfmt::kGlobalHeaderOffset + udbfmt::kItemUserTableHdrFirstEmpty), oldHeader);
  for (int i = 0; i < 5; ++i) {
    TUdbTable t;
    t.SetDataBase(&db);
    t.SetTableName(("NEW" + std::to_string(i)).c_str());
    t.FieldDefs()->Add("A", ftInteger);
    t.CreateTable();
  }
  db.SetConnected(false);
  db.SetConnected(true);
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName("OLD");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(Files, ManyTables, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TCase>& info) { return std::string(info.param.name); });

}  // namespace
