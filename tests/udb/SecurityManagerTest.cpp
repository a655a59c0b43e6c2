// Secured databases: the first administrator, users and groups with hashed
// passwords, privilege rows turned into table and field masks, and the
// create, open, alter and delete rights they guard.
#include <gtest/gtest.h>

#include "CursorTestSupport.h"
#include "MemFileSystem.h"
#include "Udb/SecurityManager.h"
#include "Udb/Sha1Stream.h"
#include "Udb/UdbDataBase.h"
#include "Udb/UdbRowAccess.h"

namespace {

struct TSecuredDb {
  TMemFileSystem fs;
  TUdbDataBase db;
  AnsiString user = "administrator", password = "first-pass";
  TSecuredDb() {
    db.SetFileSystem(&fs);
    db.SetDataBaseName("SEC.udb");
    db.SetMasterKey("master-key");
    db.SetSecured(true);
    db.SetExclusive(true);
    db.CreateDatabase();
    db.BeforeLogin = [this](TObject*, AnsiString& u, AnsiString& p, AnsiString&) {
      u = user;
      p = password;
    };
  }
  void Connect(const AnsiString& u, const AnsiString& p) {
    user = u;
    password = p;
    db.SetMasterKey("master-key");
    db.SetConnected(true);
  }
  void Reconnect(const AnsiString& u, const AnsiString& p) {
    db.SetConnected(false);
    Connect(u, p);
  }
};

std::unique_ptr<TUdbTableCursor> NewTable(TUdbDataBase& db, const AnsiString& name, bool open = true) {
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(&db);
  t->SetTableName(name);
  TFieldDefs fields(t.get());
  fields.Add("ID", ftInteger, 0);
  fields.Add("SALARY", ftInteger, 0);
  TIndexDefs indexes(t.get());
  t->SetTableDef(&fields, &indexes);
  t->PrepareCreateTable();
  if (open) t->DataSetOpen();
  return t;
}

std::unique_ptr<TUdbTableCursor> Open(TUdbDataBase& db, const AnsiString& name) {
  auto t = std::make_unique<TUdbTableCursor>();
  t->SetDataBase(&db);
  t->SetTableName(name);
  t->DataSetOpen();
  return t;
}

// Inserts a privilege row: object id 0 = every table; fields "ALL" or
// comma-separated field numbers.
void Grant(TUdbDataBase& db, int group, int objectId, int bit, const AnsiString& fields = "ALL") {
  auto t = Open(db, udbsec::kObjectPrivileges);
  t->InitRecBuf();
  udbrow::Set(*t, "GroupID", group);
  udbrow::Set(*t, "ObjectType", 1);
  udbrow::Set(*t, "ObjectID", objectId);
  udbrow::Set(*t, "PrivilegeID", bit);
  udbrow::Set(*t, "ALL", fields == "ALL");
  udbrow::Set(*t, "FieldsShort", Variant(fields));
  t->AddRecord(true);
  t->CloseDataSet();
}

void GrantSystem(TUdbDataBase& db, int group, int bit) {
  auto t = Open(db, udbsec::kSystemPrivileges);
  t->InitRecBuf();
  udbrow::Set(*t, "GroupID", group);
  udbrow::Set(*t, "PrivilegeID", bit);
  t->AddRecord(true);
  t->CloseDataSet();
}

TEST(Security, FirstAdministratorKeepsThePasswordGiven) {
  TSecuredDb env;
  EXPECT_UDB_ERROR(env.Connect("administrator", ""), 10036);  // an empty first password is refused
  EXPECT_FALSE(env.db.Connected());
  env.Connect("administrator", "first-pass");
  EXPECT_TRUE(env.db.Secured());
  EXPECT_EQ(env.db.SecurityManager().GroupName(), "administrators");
  EXPECT_EQ(env.db.SystemRights(), 1 | 2 | 8 | 16);
  // The digest of the password, five words, is what the row holds.
  auto users = Open(env.db, udbsec::kUsers);
  ASSERT_TRUE(users->GotoFirst());
  TSha1Stream sha;
  sha.Write("first-pass", 10);
  TSha1Digest words;
  sha.GetDigest(words);
  EXPECT_EQ(udbrow::Get(*users, "Pwd0").AsInteger(), static_cast<std::int32_t>(words[0]));
  EXPECT_EQ(udbrow::Get(*users, "Pwd4").AsInteger(), static_cast<std::int32_t>(words[4]));
  users->CloseDataSet();

  for (const char* wrong : {"", "other", "First-pass"}) EXPECT_UDB_ERROR(env.Reconnect("administrator", wrong), 10036);
  EXPECT_UDB_ERROR(env.Reconnect("nobody", "first-pass"), 10036);
  env.Reconnect("administrator", "first-pass");
  EXPECT_TRUE(env.db.Connected());
}

TEST(Security, UsersAndGroups) {
  TSecuredDb env;
  env.Connect("administrator", "first-pass");
  TSecurityManager& sm = env.db.SecurityManager();
  const int clerks = sm.AddGroup("clerks");
  EXPECT_UDB_ERROR(sm.AddGroup("CLERKS"), 8580);
  sm.AddUser("li", "pw-li", "clerks");
  EXPECT_UDB_ERROR(sm.AddUser("li", "x", "clerks"), 8580);
  EXPECT_UDB_ERROR(sm.AddUser("wang", "x", "nogroup"), 8579);
  for (const AnsiString& name : {AnsiString("a"), AnsiString(31, 'u')}) EXPECT_UDB_ERROR(sm.AddUser(name, "x", "clerks"), 9605);
  EXPECT_UDB_ERROR(sm.AddGroup("g"), 9605);
  EXPECT_EQ(sm.GetGroupIDFromName("clerks"), clerks);

  env.Reconnect("li", "pw-li");
  EXPECT_EQ(env.db.SecurityManager().GroupName(), "clerks");
  EXPECT_EQ(env.db.SystemRights(), 0);
  // Without system rights a clerk adds nobody.
  EXPECT_UDB_ERROR(env.db.SecurityManager().AddUser("zhao", "x", "clerks"), 10624);
  EXPECT_UDB_ERROR(env.db.SecurityManager().AddGroup("others"), 10624);
}

TEST(Security, PrivilegesGuardCreateOpenAlterAndDelete) {
  TSecuredDb env;
  env.Connect("administrator", "first-pass");
  TSecurityManager& sm = env.db.SecurityManager();
  const int clerks = sm.AddGroup("clerks");
  sm.AddUser("li", "pw-li", "clerks");
  auto pay = NewTable(env.db, "PAY");
  pay->CloseDataSet();
  auto other = NewTable(env.db, "OTHER");
  other->CloseDataSet();
  const int payId = env.db.ObjectId("PAY");
  ASSERT_GT(payId, 0);
  Grant(env.db, clerks, payId, 8, "2");  // open PAY, field 2 (SALARY) only
  Grant(env.db, clerks, 0, 2);           // create, on every table

  env.Reconnect("li", "pw-li");
  auto open = Open(env.db, "PAY");
  EXPECT_EQ(open->TableDef().AccessMask(), 8u);
  const TInternalFields& fields = *open->TableDef().InternalFields();
  EXPECT_EQ(fields.Items(0)->AccessMask(), 0u);  // ID is not in the list
  EXPECT_EQ(fields.Items(1)->AccessMask(), 8u);
  open->CloseDataSet();
  // PAY has rows of its own, so "ALL" does not add create; OTHER has none
  // and gets create from "ALL" but no open.
  EXPECT_UDB_ERROR(Open(env.db, "OTHER"), 10624);
  NewTable(env.db, "MINE", false);  // create on "ALL"; opening it needs its own right
  EXPECT_UDB_ERROR(Open(env.db, "MINE"), 10624);
  EXPECT_UDB_ERROR(env.db.DeleteTable("PAY", false), 10624);
  EXPECT_UDB_ERROR(env.db.DeleteTable("UNKNOWN", false), 8579);

  env.Reconnect("administrator", "first-pass");
  Grant(env.db, clerks, payId, 4);  // delete PAY
  env.Reconnect("li", "pw-li");
  env.db.DeleteTable("PAY", false);
  EXPECT_EQ(env.db.ObjectId("PAY"), 0);
}

TEST(Security, SystemPrivilegesAndUnsecuredFiles) {
  TSecuredDb env;
  env.Connect("administrator", "first-pass");
  const int clerks = env.db.SecurityManager().AddGroup("clerks");
  env.db.SecurityManager().AddUser("li", "pw-li", "clerks");
  GrantSystem(env.db, clerks, 2);  // add users
  env.Reconnect("li", "pw-li");
  EXPECT_EQ(env.db.SystemRights(), 2);
  env.db.SecurityManager().AddUser("zhao", "pw", "clerks");
  EXPECT_UDB_ERROR(env.db.SecurityManager().AddGroup("others"), 10624);

  // An unsecured file has no privileges to check.
  TMemFileSystem fs;
  TUdbDataBase plain;
  plain.SetFileSystem(&fs);
  plain.SetDataBaseName("PLAIN.udb");
  plain.SetExclusive(true);
  plain.CreateDatabase();
  plain.SetConnected(true);
  auto t = NewTable(plain, "T");
  EXPECT_EQ(t->TableDef().AccessMask(), 0x7FFFFFFFu);
  t->CloseDataSet();
  plain.DeleteTable("T", false);
}

TEST(Security, LoginDialogAsksAgainInModeTwoAfterAFailure) {
  TSecuredDb env;
  env.Connect("administrator", "first-pass");
  env.db.SetConnected(false);
  env.db.BeforeLogin = nullptr;
  std::vector<int> modes;
  SetUdbLoginDialog([&](const AnsiString&, int mode, AnsiString& key, AnsiString& user, AnsiString& password) {
    modes.push_back(mode);
    if (mode == 3) key = "master-key";
    user = "administrator";
    password = modes.size() < 2 ? "wrong" : "first-pass";
    return true;
  });
  env.db.SetConnected(true);
  EXPECT_EQ(modes, (std::vector<int>{3, 2}));
  env.db.SetConnected(false);
  modes.clear();
  SetUdbLoginDialog([&](const AnsiString&, int mode, AnsiString&, AnsiString&, AnsiString&) {
    modes.push_back(mode);
    return false;
  });
  env.db.SetMasterKey("master-key");
  EXPECT_UDB_ERROR(env.db.SetConnected(true), 10015);
  EXPECT_EQ(modes, std::vector<int>{2});
  SetUdbLoginDialog(nullptr);
}

}  // namespace
