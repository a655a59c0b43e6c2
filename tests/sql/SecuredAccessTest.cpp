// Who may do what on a secured database, through the table dataset and
// through SQL alike: user tables follow the group's privilege rows, the
// system tables ("$..." names: catalogue, users, groups, privileges) are
// the administrators' and the engine's own, and a privilege given to a
// group counts from its members' next logon.
#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include "Udb/SecurityManager.h"
#include "Udb/UdbDataBase.h"
#include "Udb/RestructureDefs.h"
#include "Udb/UdbErrors.h"
#include "Udb/UdbTable.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "sql/UdbQuery.h"
#include "tests/udb/MemFileSystem.h"

namespace {

constexpr const char* kMasterKey = "master-key";
constexpr const char* kAdmin = "administrator";
constexpr const char* kAdminPassword = "admin-pass";
constexpr const char* kClerk = "li";
constexpr const char* kClerkPassword = "clerk-pass";

// One connection to the shared in-memory file, logged on as a given user.
struct TSession {
  TUdbDataBase db;
  AnsiString user, password;
  TSession(TMemFileSystem& fs, const AnsiString& u, const AnsiString& p) : user(u), password(p) {
    db.SetFileSystem(&fs);
    db.SetDataBaseName("SEC.udb");
    db.BeforeLogin = [this](TObject*, AnsiString& name, AnsiString& pass, AnsiString&) {
      name = user;
      pass = password;
    };
    Logon();
  }
  void Logon() {
    db.SetMasterKey(kMasterKey);
    db.SetConnected(true);
  }
  void Relogon() {
    db.SetConnected(false);
    Logon();
  }
};

void CreatePay(TUdbDataBase& db, const char* name) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(name);
  t.FieldDefs()->Add("ID", ftInteger, 0);
  t.FieldDefs()->Add("SALARY", ftFloat, 0);
  t.IndexDefs()->Add("PK", "ID", TIndexOptions{ixPrimary});
  t.CreateTable();
  t.Open();
  for (int id = 1; id <= 3; ++id) {
    t.Append();
    t.FieldByName("ID")->SetAsInteger(id);
    t.FieldByName("SALARY")->SetAsFloat(1000.0 * id);
    t.Post();
  }
  t.Close();
}

void GrantRow(TUdbDataBase& db, int group, int objectId, int bit) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(udbsec::kObjectPrivileges);
  t.Open();
  t.Append();
  t.FieldByName("GroupID")->SetAsInteger(group);
  t.FieldByName("ObjectType")->SetAsInteger(1);
  t.FieldByName("ObjectID")->SetAsInteger(objectId);
  t.FieldByName("PrivilegeID")->SetAsInteger(bit);
  t.FieldByName("ALL")->SetAsBoolean(true);
  t.Post();
  t.Close();
}

// A secured file with the tables PAY (the clerks may open, read and
// update it) and OTHER (no rows for the clerks), the group "clerks" (who
// may also create tables) and its member "li".
struct TSecuredFile {
  TMemFileSystem fs;
  int clerks = 0;
  TSecuredFile() {
    TUdbDataBase maker;
    maker.SetFileSystem(&fs);
    maker.SetDataBaseName("SEC.udb");
    maker.SetMasterKey(kMasterKey);
    maker.SetSecured(true);
    maker.CreateDatabase();
    TSession admin(fs, kAdmin, kAdminPassword);
    TSecurityManager& sm = admin.db.SecurityManager();
    clerks = sm.AddGroup("clerks");
    sm.AddUser(kClerk, kClerkPassword, "clerks");
    CreatePay(admin.db, "PAY");
    CreatePay(admin.db, "OTHER");
    const int pay = admin.db.ObjectId("PAY");
    for (int bit : {8, 2048, 4096}) GrantRow(admin.db, clerks, pay, bit);
    GrantRow(admin.db, clerks, 0, 2);  // create tables
  }
};

// --- the operations --------------------------------------------------------

using TOperation = std::function<void(TUdbDataBase&, const AnsiString& table)>;

void OpenTable(TUdbTable& t, TUdbDataBase& db, const AnsiString& name) {
  t.SetDataBase(&db);
  t.SetTableName(name);
  t.Open();
}

void RunSql(TUdbDataBase& db, const AnsiString& sql, bool select) {
  TUdbQuery q;
  q.SetDataBase(&db);
  q.SQL()->SetText(sql);
  if (select) {
    q.Open();
    q.First();
    q.Close();
  } else {
    q.ExecSQL();
  }
}

const TOperation kOpenAndRead = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  OpenTable(t, db, name);
  t.First();
  (void)t.Fields()->Fields(0)->AsString();
};
const TOperation kEditFirst = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  OpenTable(t, db, name);
  t.First();
  t.Edit();
  t.Fields()->Fields(t.FieldCount() - 1)->SetAsString(t.Fields()->Fields(t.FieldCount() - 1)->AsString());
  t.Post();
};
const TOperation kInsert = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  OpenTable(t, db, name);
  t.Append();
  t.Fields()->Fields(0)->SetAsInteger(99);
  t.Post();
};
const TOperation kInsertGroup = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  OpenTable(t, db, name);
  t.Append();
  t.FieldByName("GroupName")->SetAsString("auditors");
  t.Post();
};
const TOperation kEmpty = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  OpenTable(t, db, name);
  t.EmptyTable();
};
const TOperation kCopyOut = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable source;
  OpenTable(source, db, name);
  TUdbTable copy;
  copy.SetDataBase(&db);
  copy.SetTableName("COPY");
  copy.SetMemory(true);
  copy.FieldDefs()->Assign(source.FieldDefs());
  copy.CreateTable();
  copy.Open();
  source.CopyRawTableData(&copy);
  copy.Close();
  db.DeleteTable("COPY", true);
};
const TOperation kRename = [](TUdbDataBase& db, const AnsiString& name) {
  db.RenameTable(name, "RENAMED");
  db.RenameTable("RENAMED", name);
};
// A new index, through the table's restructure.
const TOperation kRestructure = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  OpenTable(t, db, name);
  TRestructureFieldDefs fields;
  TRestructureIndexDefs indexes;
  fields.Assign(t.GetRestructureFieldDefs());
  indexes.Assign(t.GetRestructureIndexDefs());
  t.Close();
  indexes.AddIndexDef("ByExtra", t.FieldDefs()->Items(1)->Name(), TIndexOptions{ixCaseInsensitive});
  indexes.MarkChanges(t.IndexDefs(), &fields);
  t.GetRestructureFieldDefs()->Assign(&fields);
  t.GetRestructureIndexDefs()->Assign(&indexes);
  t.RestructureTable();
};
const TOperation kSqlCreateIndex = [](TUdbDataBase& db, const AnsiString& name) {
  RunSql(db, "CREATE INDEX ByExtra ON '" + name + "' (" + (name[0] == '$' ? "GroupID" : "SALARY") + ")", false);
};
const TOperation kDropTable = [](TUdbDataBase& db, const AnsiString& name) { db.DeleteTable(name, false); };
const TOperation kCreateNamed = [](TUdbDataBase& db, const AnsiString& name) {
  TUdbTable t;
  t.SetDataBase(&db);
  t.SetTableName(name);
  t.FieldDefs()->Add("ID", ftInteger, 0);
  t.CreateTable();
};
const TOperation kSqlSelect = [](TUdbDataBase& db, const AnsiString& name) {
  RunSql(db, "SELECT * FROM [" + name + "]", true);
};
const TOperation kSqlUpdate = [](TUdbDataBase& db, const AnsiString& name) {
  RunSql(db, "UPDATE [" + name + "] SET " + (name[0] == '$' ? "GroupID = GroupID" : "SALARY = SALARY"), false);
};
const TOperation kSqlDelete = [](TUdbDataBase& db, const AnsiString& name) {
  RunSql(db, "DELETE FROM [" + name + "]", false);
};
const TOperation kSqlDrop = [](TUdbDataBase& db, const AnsiString& name) {
  RunSql(db, "DROP TABLE '" + name + "'", false);
};

struct TCase {
  const char* user;
  const char* table;
  const char* operation;
  TOperation run;
  int expected;  // 0 = allowed, else the engine error
};

constexpr int kAllowed = 0;
constexpr int kDenied = udberr::kNoPrivilege;

std::vector<TCase> Cases() {
  const char* sys[] = {udbsec::kUsers, udbsec::kObjectPrivileges, udbsec::kGroups, udbsec::kSystemPrivileges,
                       "$MSTRTBLUSER", "$MSTRTBLSYSTEM", "$SYSTBL_OBJECTIDREF", "$SYSTBL_INTGENERATOR"};
  std::vector<TCase> cases = {
      // user tables: the clerks' rows on PAY decide; OTHER has none
      {kClerk, "PAY", "open and read", kOpenAndRead, kAllowed},
      {kClerk, "PAY", "edit", kEditFirst, kAllowed},
      {kClerk, "PAY", "insert", kInsert, kDenied},
      {kClerk, "PAY", "empty", kEmpty, kDenied},
      {kClerk, "PAY", "copy out", kCopyOut, kAllowed},
      {kClerk, "PAY", "rename", kRename, kDenied},
      {kClerk, "PAY", "restructure", kRestructure, kDenied},
      {kClerk, "PAY", "delete table", kDropTable, kDenied},
      {kClerk, "PAY", "SQL select", kSqlSelect, kAllowed},
      {kClerk, "PAY", "SQL update", kSqlUpdate, kAllowed},
      {kClerk, "PAY", "SQL delete", kSqlDelete, kDenied},
      {kClerk, "PAY", "SQL create index", kSqlCreateIndex, kDenied},
      {kClerk, "PAY", "SQL drop", kSqlDrop, kDenied},
      {kClerk, "OTHER", "open and read", kOpenAndRead, kDenied},
      {kClerk, "OTHER", "SQL select", kSqlSelect, kDenied},
      {kClerk, "NEWT", "create", kCreateNamed, kAllowed},
      {kClerk, "$SYSTBL_NEW", "create", kCreateNamed, kDenied},
      {kAdmin, "$SYSTBL_NEW", "create", kCreateNamed, kAllowed},
      // the administrators hold every right
      {kAdmin, "OTHER", "insert", kInsert, kAllowed},
      {kAdmin, "OTHER", "rename", kRename, kAllowed},
      {kAdmin, "OTHER", "restructure", kRestructure, kAllowed},
      {kAdmin, "OTHER", "empty", kEmpty, kAllowed},
      {kAdmin, "OTHER", "SQL drop", kSqlDrop, kAllowed},
      {kAdmin, "PAY", "SQL create index", kSqlCreateIndex, kAllowed},
      {kAdmin, udbsec::kUsers, "open and read", kOpenAndRead, kAllowed},
      {kAdmin, udbsec::kObjectPrivileges, "edit", kEditFirst, kAllowed},
      {kAdmin, udbsec::kGroups, "insert", kInsertGroup, kAllowed},
      // Statements name user tables only: the engine's tables are not
      // among them, even for an administrator.
      {kAdmin, udbsec::kUsers, "SQL select", kSqlSelect, udberr::kNoSuchTable},
      {kAdmin, udbsec::kGroups, "SQL update", kSqlUpdate, udberr::kNoSuchTable},
  };
  // Every path into every system table is closed to the clerk; the
  // security tables are tried with the writing paths as well.
  using TNamed = std::pair<const char*, TOperation>;
  const TNamed anyTable[] = {{"open and read", kOpenAndRead}, {"SQL select", kSqlSelect}, {"copy out", kCopyOut},
                             {"empty", kEmpty},   {"rename", kRename},   {"delete table", kDropTable},
                             {"SQL drop", kSqlDrop}};
  const TNamed writing[] = {{"edit", kEditFirst},       {"insert", kInsert},         {"restructure", kRestructure},
                            {"SQL create index", kSqlCreateIndex}, {"SQL update", kSqlUpdate}, {"SQL delete", kSqlDelete}};
  for (const char* table : sys)
    for (const auto& [what, run] : anyTable) cases.push_back({kClerk, table, what, run, kDenied});
  for (const char* table : {udbsec::kUsers, udbsec::kObjectPrivileges, udbsec::kGroups})
    for (const auto& [what, run] : writing) cases.push_back({kClerk, table, what, run, kDenied});
  return cases;
}

TEST(SecuredAccess, EachUserReachesWhatItsGroupMayAndTheSystemTablesOnlyAsAdministrator) {
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(std::string(c.user) + " / " + c.table + " / " + c.operation);
    TSecuredFile file;  // afresh: an allowed operation may change the file
    TSession session(file.fs, c.user, c.user == AnsiString(kAdmin) ? kAdminPassword : kClerkPassword);
    session.db.SetConnected(false);
    session.db.SetExclusive(true);  // restructure and delete need the file alone
    session.Logon();
    int got = kAllowed;
    try {
      c.run(session.db, c.table);
    } catch (const EUdbDatabaseError& e) {
      got = e.ErrorCode();
    }
    EXPECT_EQ(got, c.expected);
    // A refusal leaves the connection usable and the security manager
    // able to log on again.
    session.Relogon();
    EXPECT_TRUE(session.db.Connected());
  }
}

TEST(SecuredAccess, AGrantCountsFromTheNextLogon) {
  TSecuredFile file;
  TSession clerk(file.fs, kClerk, kClerkPassword);
  EXPECT_THROW(kInsert(clerk.db, "PAY"), EUdbDatabaseError);
  EXPECT_THROW(kSqlSelect(clerk.db, "OTHER"), EUdbDatabaseError);
  {
    TSession admin(file.fs, kAdmin, kAdminPassword);
    GrantRow(admin.db, file.clerks, admin.db.ObjectId("PAY"), 256);    // insert into PAY
    GrantRow(admin.db, file.clerks, admin.db.ObjectId("OTHER"), 8);    // open OTHER
    GrantRow(admin.db, file.clerks, admin.db.ObjectId("OTHER"), 2048); // read OTHER
  }
  // The live connection keeps the rights it logged on with.
  EXPECT_THROW(kInsert(clerk.db, "PAY"), EUdbDatabaseError);
  EXPECT_THROW(kSqlSelect(clerk.db, "OTHER"), EUdbDatabaseError);
  clerk.Relogon();
  kInsert(clerk.db, "PAY");
  kSqlSelect(clerk.db, "OTHER");
  EXPECT_THROW(kOpenAndRead(clerk.db, udbsec::kUsers), EUdbDatabaseError);
}

}  // namespace
