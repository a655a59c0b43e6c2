// The connection: database header and its checks, connect and disconnect,
// settings, transactions across open tables, the catalogue in the master
// tables, generators and database copies.
#include <gtest/gtest.h>

#include <filesystem>

#include "../core/ScratchDir.h"
#include "CursorTestSupport.h"
#include "MemFileSystem.h"
#include "Udb/Crc32.h"
#include "Udb/UdbDataBase.h"
#include "platform/core/CodePage.h"
#include "platform/core/Strings.h"

namespace {

using udbdb::THeader;

struct TDbEnv {
  TMemFileSystem fs;
  TUdbDataBase db;
  explicit TDbEnv(bool create = true) {
    db.SetFileSystem(&fs);
    db.SetDataBaseName("GZ.udb");
    if (create) db.CreateDatabase();
  }
  THeader FileHeader() {
    THeader h{};
    std::copy_n(fs.Bytes("GZ.udb").begin(), h.size(), h.begin());
    return h;
  }
  void PutFileHeader(const THeader& h) { std::copy(h.begin(), h.end(), fs.Bytes("GZ.udb").begin()); }
};

std::unique_ptr<TUdbTableCursor> NewTable(TUdbDataBase& db, const AnsiString& name, bool memory = false) {
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(&db);
  t->SetTableName(name);
  t->SetMemory(memory);
  TFieldDefs fields(t.get());
  fields.Add("ID", ftInteger, 0);
  fields.Add("NAME", ftString, 20);
  TIndexDefs indexes(t.get());
  TIndexOptions primary;
  primary << ixPrimary;
  indexes.Add("PK", "ID", primary);
  t->SetTableDef(&fields, &indexes);
  t->PrepareCreateTable();
  t->DataSetOpen();
  return t;
}

std::unique_ptr<TUdbTableCursor> Open(TUdbDataBase& db, const AnsiString& name) {
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(&db);
  t->SetTableName(name);
  t->DataSetOpen();
  return t;
}

void Add(TUdbDataSet& t, int id, const std::string& name) {
  t.InitRecBuf();
  SetField(t, "ID", id);
  SetField(t, "NAME", AnsiString(name));
  t.AddRecord(true);
}

std::vector<std::string> Names(TUdbDataBase& db, bool memory = false) {
  TStringList list;
  db.GetTableNames(&list, memory);
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
  return out;
}

void Close(std::unique_ptr<TUdbTableCursor>& t) {
  t->CloseDataSet();
  t->SetDataBase(nullptr);
  t.reset();
}

// --- header ------------------------------------------------------------------

TEST(DatabaseHeader, CreatedFileCarriesVersionSortOrderLevelAndChecksum) {
  TDbEnv env(false);
  env.db.SetDefaultSortOrder(soASCII);
  env.db.SetMasterKey("secret-key");
  env.db.SetEncrypted(true);
  env.db.CreateDatabase();
  const THeader h = env.FileHeader();
  EXPECT_EQ(h[0], 1);
  EXPECT_EQ(udbdb::GetText(h, udbdb::kHdrVersion, udbdb::kVersionChars), "1.30.02");
  // UTF-16 text: '1' then a zero high byte.
  EXPECT_EQ(h[udbdb::kHdrVersion], '1');
  EXPECT_EQ(h[udbdb::kHdrVersion + 1], 0);
  EXPECT_EQ(udbdb::GetText(h, udbdb::kHdrName, udbdb::kNameChars), "GZ.udb");
  EXPECT_EQ(h[udbdb::kHdrSortOrder], 1);
  EXPECT_EQ(h[udbdb::kHdrSecurityLevel], 1);
  // The checksum is the CRC-32 of 0..255 followed by the header without it.
  std::vector<std::uint8_t> buf(256 + 254);
  for (int i = 0; i < 256; ++i) buf[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
  std::copy(h.begin(), h.end(), buf.begin() + 256);
  std::fill_n(buf.begin() + 256 + 250, 4, 0);
  const std::uint32_t crc = Crc32(buf.data(), buf.size());
  EXPECT_EQ(h[250] | h[251] << 8 | h[252] << 16 | static_cast<std::uint32_t>(h[253]) << 24, crc);

  env.db.SetDefaultSortOrder(soANSI);
  env.db.SetMasterKey("secret-key");
  env.db.SetConnected(true);
  EXPECT_EQ(env.db.DefaultSortOrder(), soASCII);  // the file's order wins
  EXPECT_TRUE(env.db.Encrypted());
  EXPECT_FALSE(env.db.Secured());
  EXPECT_EQ(env.db.MajorVersion(), 1);
  EXPECT_EQ(env.db.MinorVersion(), 30);
  EXPECT_EQ(env.db.DiskFormat(), 2);
}

TEST(DatabaseHeader, LongTextsAreCutToTheirField) {
  THeader h{};
  udbdb::PutText(h, udbdb::kHdrName, udbdb::kNameChars, AnsiString(40, 'x'));
  EXPECT_EQ(udbdb::GetText(h, udbdb::kHdrName, udbdb::kNameChars), std::string(29, 'x'));
  udbdb::PutText(h, udbdb::kHdrName, udbdb::kNameChars, "工资库");
  EXPECT_EQ(udbdb::GetText(h, udbdb::kHdrName, udbdb::kNameChars), "工资库");
  EXPECT_EQ(h[udbdb::kHdrName + 6], 0);  // three UTF-16 characters, then the terminator
}

TEST(DatabaseHeader, ParseVersion) {
  struct Case {
    const char* text;
    std::array<int, 3> parts;
  } cases[] = {{"1.30.02", {1, 30, 2}}, {"1.1.02", {1, 1, 2}}, {"x.30.7", {0, 30, 7}}, {"2", {2, 0, 0}}, {"", {0, 0, 0}}};
  for (const Case& c : cases) EXPECT_EQ(udbdb::ParseVersion(c.text), c.parts) << c.text;
}

TEST(DatabaseHeader, DamagedHeaderOrNewerFormatIsRefusedAndLeavesDisconnected) {
  struct Case {
    const char* what;
    std::function<void(THeader&)> damage;
    bool fixChecksum;
    int code;
  } cases[] = {
      {"flipped name byte", [](THeader& h) { h[5] ^= 0x40; }, false, 8961},
      {"security level raised", [](THeader& h) { h[udbdb::kHdrSecurityLevel] = 2; }, false, 8961},
      {"format 03",
       [](THeader& h) { udbdb::PutText(h, udbdb::kHdrVersion, udbdb::kVersionChars, "1.30.03"); }, true, 12041},
      {"format 02 of a later minor",
       [](THeader& h) { udbdb::PutText(h, udbdb::kHdrVersion, udbdb::kVersionChars, "1.31.02"); }, true, -1},
  };
  for (const Case& c : cases) {
    TDbEnv env;
    THeader h = env.FileHeader();
    c.damage(h);
    if (c.fixChecksum) {
      const std::uint32_t crc = udbdb::HeaderChecksum(h);
      for (int i = 0; i < 4; ++i) h[static_cast<size_t>(250 + i)] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    env.PutFileHeader(h);
    const TCaughtError e = CatchUdb([&] { env.db.SetConnected(true); });
    EXPECT_EQ(e.code, c.code) << c.what << ": " << e.message;
    EXPECT_EQ(env.db.Connected(), c.code == -1) << c.what;
    if (c.code != -1) {
      EXPECT_EQ(env.db.DiskMgr(), nullptr) << c.what;
    }
  }
}

// --- connecting ----------------------------------------------------------------

TEST(Connection, ConnectErrors) {
  TDbEnv env(false);
  EXPECT_UDB_ERROR(env.db.SetConnected(true), 9988);
  EXPECT_FALSE(env.db.Connected());
  TUdbDataBase unnamed;
  EXPECT_UDB_ERROR(unnamed.SetConnected(true), 10118);
  EXPECT_UDB_ERROR(unnamed.CheckConnected(true), 10113);
  EXPECT_UDB_ERROR(unnamed.CreateDatabase(), 10118);
  EXPECT_UDB_ERROR(env.db.CreateDatabase(); env.db.CreateDatabase(), 11043);  // never over an existing file
}

TEST(Connection, SettingsChangeOnlyWhileDisconnected) {
  TDbEnv env;
  env.db.SetConnected(true);
  const std::vector<std::pair<const char*, std::function<void()>>> setters = {
      {"DataBaseName", [&] { env.db.SetDataBaseName("X.udb"); }},
      {"Directory", [&] { env.db.SetDirectory("data"); }},
      {"Exclusive", [&] { env.db.SetExclusive(true); }},
      {"ReadOnly", [&] { env.db.SetReadOnly(true); }},
      {"DefaultSortOrder", [&] { env.db.SetDefaultSortOrder(soASCII); }},
      {"MasterKey", [&] { env.db.SetMasterKey("abcd"); }},
  };
  for (const auto& [what, set] : setters) EXPECT_EQ(CatchUdb(set).code, 10120) << what;
  env.db.SetLockRetryMaximum(3);  // passed on at once
  EXPECT_EQ(env.db.DiskMgr()->LockRetryMaximum(), 3);
  env.db.SetConnected(false);
  env.db.SetDataBaseName("C:\\data\\PAY.udb");
  EXPECT_EQ(env.db.Directory(), "C:\\data\\");
  EXPECT_EQ(env.db.DataBaseName(), "PAY.udb");
  env.db.SetDirectory("D:\\x");
  EXPECT_EQ(env.db.Directory(), "D:\\x\\");
}

TEST(Connection, MasterKeyLength) {
  TUdbDataBase db;
  struct Case {
    size_t length;
    int code;
  } cases[] = {{0, -1}, {3, 9602}, {4, -1}, {100, -1}, {101, 9602}};
  for (const Case& c : cases) {
    const TCaughtError e = CatchUdb([&] { db.SetMasterKey(AnsiString(c.length, 'k')); });
    EXPECT_EQ(e.code, c.code) << c.length;
    if (c.code == 9602) {
      EXPECT_NE(e.message.find("min. length 4, max. length 100"), std::string::npos) << e.message;
    }
  }
}

TEST(Connection, EncipheredDatabaseNeedsItsKey) {
  TDbEnv env(false);
  env.db.SetMasterKey("right key");
  env.db.SetEncrypted(true);
  env.db.CreateDatabase();
  EXPECT_EQ(env.db.MasterKey(), "right key");
  // No key, no dialog: the login fails.
  env.db.SetMasterKey("");
  EXPECT_UDB_ERROR(env.db.SetConnected(true), 10015);
  // The key from BeforeLogin is used and kept for the connection only.
  env.db.BeforeLogin = [](TObject*, AnsiString&, AnsiString&, AnsiString& key) { key = "right key"; };
  env.db.SetConnected(true);
  EXPECT_EQ(env.db.MasterKey(), "right key");
  env.db.SetConnected(false);
  EXPECT_EQ(env.db.MasterKey(), "");
  env.db.BeforeLogin = nullptr;
  env.db.SetMasterKey("wrong key");
  EXPECT_UDB_ERROR(env.db.SetConnected(true), 8451);
  EXPECT_FALSE(env.db.Connected());
  // The login dialog hook answers when no handler is set.
  int shownMode = 0;
  SetUdbLoginDialog([&](const AnsiString&, int mode, AnsiString& key, AnsiString&, AnsiString&) {
    shownMode = mode;
    key = "right key";
    return true;
  });
  env.db.SetConnected(true);
  SetUdbLoginDialog(nullptr);
  EXPECT_EQ(shownMode, 1);
  EXPECT_TRUE(env.db.Connected());
}

TEST(Connection, MemoryDatabase) {
  TUdbDataBase db;
  db.SetDataBaseName("MEMORY");
  db.SetConnected(true);
  EXPECT_EQ(db.SystemRights(), 0x7FFFFFFF);
  EXPECT_EQ(db.DiskMgr(), nullptr);
  EXPECT_UDB_ERROR(db.StartTransaction(), 10880);
  EXPECT_UDB_ERROR(Names(db, false), 10880);
  EXPECT_UDB_ERROR(db.DeleteTable("T", false), 10880);
  auto t = NewTable(db, "T", true);
  Add(*t, 1, "a");
  EXPECT_EQ(Names(db, true), std::vector<std::string>{"T"});
  EXPECT_UDB_ERROR(db.DeleteTable("T", true), 10053);
  Close(t);
  db.DeleteTable("T", true);
  EXPECT_TRUE(Names(db, true).empty());
}

// --- catalogue -----------------------------------------------------------------

TEST(Catalogue, TablesSurviveReconnectWithTheirData) {
  TDbEnv env;
  env.db.SetConnected(true);
  EXPECT_TRUE(Names(env.db).empty());
  {
    auto a = NewTable(env.db, "EMP");
    auto b = NewTable(env.db, "工资");
    Add(*a, 1, "one");
    Add(*b, 7, "seven");
    Close(a);
    Close(b);
  }
  env.db.SetConnected(false);
  env.db.SetConnected(true);
  EXPECT_EQ(Names(env.db), (std::vector<std::string>{"EMP", "工资"}));
  auto b = Open(env.db, "工资");
  EXPECT_EQ(Walk(*b, "NAME"), std::vector<std::string>{"seven"});
  EXPECT_EQ(b->TableDef().Version(), "1.30.02");
  // Object ids are numbered from the generator.
  EXPECT_EQ(env.db.ObjectId("EMP"), 1);
  EXPECT_EQ(env.db.ObjectId("工资"), 2);
  EXPECT_EQ(env.db.ObjectId("ALL"), 0);
}

TEST(Catalogue, CreateErrors) {
  TDbEnv env;
  env.db.SetConnected(true);
  auto a = NewTable(env.db, "EMP");
  EXPECT_UDB_ERROR(NewTable(env.db, "emp"), 13060);
  EXPECT_FALSE(env.db.HeaderLocked());  // released on failure
  TTableDef def;
  def.SetTableName(AnsiString(41, 'n'));
  EXPECT_UDB_ERROR(env.db.CreateTable(&def), 10039);
  EXPECT_UDB_ERROR(Open(env.db, "NOPE"), 10024);
}

TEST(Catalogue, DeleteAndRename) {
  TDbEnv env;
  env.db.SetExclusive(true);
  env.db.SetConnected(true);
  auto a = NewTable(env.db, "EMP");
  Add(*a, 1, "one");
  auto b = NewTable(env.db, "DEPT");
  Close(b);
  const TCaughtError inUse = CatchUdb([&] { env.db.DeleteTable("EMP", false); });
  EXPECT_EQ(inUse.code, 10053);
  EXPECT_NE(inUse.message.find("The table EMP is in use"), std::string::npos) << inUse.message;
  Close(a);
  EXPECT_UDB_ERROR(env.db.RenameTable("EMP", "DEPT"), 13060);
  env.db.RenameTable("EMP", "STAFF");
  env.db.DeleteTable("DEPT", false);
  EXPECT_EQ(Names(env.db), std::vector<std::string>{"STAFF"});
  EXPECT_EQ(env.db.ObjectId("STAFF"), 1);
  EXPECT_EQ(env.db.ObjectId("DEPT"), 0);
  auto s = Open(env.db, "STAFF");
  EXPECT_EQ(Walk(*s, "NAME"), std::vector<std::string>{"one"});
  Close(s);
  // The freed pages are reused: a new table does not grow the file.
  EXPECT_UDB_ERROR(env.db.DeleteTable("DEPT", false), 10024);
  env.db.SetConnected(false);
  env.db.SetExclusive(false);
  env.db.SetConnected(true);
  EXPECT_UDB_ERROR(env.db.DeleteTable("STAFF", false), 10121);
}

TEST(Generators, NewGeneratorCountsFromOne) {
  TDbEnv env;
  env.db.SetConnected(true);
  EXPECT_EQ(env.db.InternalGetGenerator("PAYNO", true), 1);
  EXPECT_EQ(env.db.InternalGetGenerator("PAYNO", true), 2);
  EXPECT_EQ(env.db.InternalGetGenerator("payno", false), 3);
  EXPECT_UDB_ERROR(env.db.InternalGetGenerator("OTHER", false), 8579);
  env.db.SetConnected(false);
  env.db.SetConnected(true);
  EXPECT_EQ(env.db.InternalGetGenerator("PAYNO", false), 4);
}

TEST(Generators, OldMinorVersionHasOnlyTheMasterTables) {
  TDbEnv env;
  THeader h = env.FileHeader();
  udbdb::PutText(h, udbdb::kHdrVersion, udbdb::kVersionChars, "1.1.02");
  const std::uint32_t crc = udbdb::HeaderChecksum(h);
  for (int i = 0; i < 4; ++i) h[static_cast<size_t>(250 + i)] = static_cast<std::uint8_t>(crc >> (8 * i));
  env.PutFileHeader(h);
  env.db.SetConnected(true);
  EXPECT_UDB_ERROR(env.db.InternalGetGenerator("X", true), 12041);
  auto t = NewTable(env.db, "EMP");
  EXPECT_EQ(env.db.ObjectId("EMP"), 0);
}

// --- transactions --------------------------------------------------------------

TEST(Transactions, RollbackRestoresEveryOpenTableAndCommitKeeps) {
  TDbEnv env;
  env.db.SetConnected(true);
  auto a = NewTable(env.db, "A");
  auto b = NewTable(env.db, "B");
  Add(*a, 1, "a1");
  Add(*b, 1, "b1");
  auto closed = std::make_unique<TUdbTableCursor>();
  closed->SetDataBase(&env.db);  // a client that is not open

  EXPECT_UDB_ERROR(env.db.Commit(), 10257);
  EXPECT_UDB_ERROR(env.db.Rollback(), 10257);
  env.db.StartTransaction();
  EXPECT_UDB_ERROR(env.db.StartTransaction(), 10256);
  for (int i = 2; i < 60; ++i) {
    Add(*a, i, "a" + std::to_string(i));
    Add(*b, i, "b" + std::to_string(i));
  }
  ASSERT_TRUE(FindKey(*a, {{"ID", 1}}));
  a->DeleteRecord(a->RecBuf());
  env.db.Rollback();
  EXPECT_FALSE(env.db.InTransaction());
  EXPECT_EQ(Walk(*a, "NAME"), std::vector<std::string>{"a1"});
  EXPECT_EQ(Walk(*b, "NAME"), std::vector<std::string>{"b1"});

  env.db.StartTransaction();
  Add(*a, 2, "a2");
  Add(*b, 2, "b2");
  env.db.Commit();
  Close(a);
  Close(b);
  closed->SetDataBase(nullptr);
  env.db.SetConnected(false);
  env.db.SetConnected(true);
  EXPECT_EQ(Walk(*Open(env.db, "A"), "NAME"), (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(Walk(*Open(env.db, "B"), "NAME"), (std::vector<std::string>{"b1", "b2"}));
}

TEST(Transactions, RolledBackCreateLeavesNoTable) {
  TDbEnv env;
  env.db.SetConnected(true);
  env.db.StartTransaction();
  auto t = NewTable(env.db, "TEMP");
  Close(t);
  env.db.Rollback();
  env.db.SetConnected(false);
  env.db.SetConnected(true);
  EXPECT_TRUE(Names(env.db).empty());
}

// --- copies --------------------------------------------------------------------

TEST(CopyDatabase, CopyOpensWithItsTablesAndNeverOverwritesItsSource) {
  TDbEnv env;
  env.db.SetExclusive(true);
  env.db.SetConnected(true);
  auto t = NewTable(env.db, "EMP");
  Add(*t, 1, "one");
  EXPECT_UDB_ERROR(env.db.CopyDatabase("GZ.udb", true), 9344);
  env.db.CopyDatabase("COPY.udb", false);
  EXPECT_UDB_ERROR(env.db.CopyDatabase("COPY.udb", false), 1);
  env.db.CopyDatabase("COPY.udb", true);

  TUdbDataBase copy;
  copy.SetFileSystem(&env.fs);
  copy.SetDataBaseName("COPY.udb");
  copy.SetConnected(true);
  EXPECT_EQ(Names(copy), std::vector<std::string>{"EMP"});
  EXPECT_EQ(Walk(*Open(copy, "EMP"), "NAME"), std::vector<std::string>{"one"});
  // Shared use: others may be writing, so no copy is made.
  EXPECT_UDB_ERROR(copy.CopyDatabase("THIRD.udb", false), 10121);
  EXPECT_FALSE(env.fs.Exists("THIRD.udb"));
}

TEST(CopyDatabase, AnotherSpellingOfTheSourceIsRefused) {
  ScratchDir dir;
  const AnsiString file = dir / "GZ.udb";
  const AnsiString link = dir / "LINK.udb";
  TUdbDataBase db;
  db.SetDataBaseName(file);
  db.CreateDatabase();
  std::filesystem::create_symlink(std::string(file), std::string(link));
  const auto size = std::filesystem::file_size(std::string(file));
  for (const AnsiString& target : {link, AnsiString(dir / "." + "/GZ.udb")}) {
    EXPECT_UDB_ERROR(db.CopyDatabase(target, true), 9344);  // not connected: a file copy
    db.SetConnected(true);
    EXPECT_UDB_ERROR(db.CopyDatabase(target, true), 9344);
    db.SetConnected(false);
  }
  EXPECT_EQ(std::filesystem::file_size(std::string(file)), size);
  db.SetConnected(true);  // still a database
}

}  // namespace
