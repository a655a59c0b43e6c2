// TFrmData: the payroll data module.  See FrmData.h.
#include "app/FrmData.h"

#include "Udb/UdbDataBase.h"
#include "Udb/UdbTable.h"
#include "app/DemoData.h"
#include "platform/core/Files.h"
#include "platform/core/Variant.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/Controls.h"

TFrmData* FrmData = nullptr;

namespace {

TUdbTable* NewTable(TFrmData* owner, TUdbDataBase* db, const char* name, const char* tableName) {
  auto* t = new TUdbTable(owner);
  t->SetName(name);
  t->SetDataBase(db);
  t->SetTableName(tableName);
  return t;
}

TDataSource* NewSource(TFrmData* owner, const char* name, TDataSet* dataSet) {
  auto* s = new TDataSource(owner);
  s->SetName(name);
  s->SetDataSet(dataSet);
  return s;
}

}  // namespace

TFrmData::TFrmData(TComponent* owner) : TFrmData(owner, ProgramFolder()) {}

TFrmData::TFrmData(TComponent* owner, const AnsiString& directory) : TDataModule(owner) {
  SetName("FrmData");
  UdbDataBase1 = new TUdbDataBase(this);
  UdbDataBase1->SetName("UdbDataBase1");
  UdbDataBase1->SetDataBaseName(payroll::kDatabaseName);
  UdbDataBase1->SetExclusive(false);
  UdbDataBase1->SetReadOnly(false);
  UdbDataBase1->SetDefaultSortOrder(soANSI);
  UdbDataBase1->SetLockRetryMaximum(10);
  UdbDataBase1->SetLockRetryInterval(200);

  TblGzk = NewTable(this, UdbDataBase1, "TblGzk", "gzk");
  TblBm = NewTable(this, UdbDataBase1, "TblBm", "bm");
  TblZgqK = NewTable(this, UdbDataBase1, "TblZgqK", "zgqk");
  TblJsGsk = NewTable(this, UdbDataBase1, "TblJsGsk", "JsGsk");
  TblRptStru = NewTable(this, UdbDataBase1, "TblRptStru", "RptStru");
  TblUser = NewTable(this, UdbDataBase1, "TblUser", "Userid");
  TblRegDw = NewTable(this, UdbDataBase1, "TblRegDw", "regdw");
  TblBm->BeforePost = [this](TDataSet* ds) { TblBmBeforePost(ds); };

  DsGzk = NewSource(this, "DsGzk", TblGzk);
  DsGzk->OnDataChange = [this](TObject* sender, TField* field) { DsGzkDataChange(sender, field); };
  DsBm = NewSource(this, "DsBm", TblBm);
  DsZgqK = NewSource(this, "DsZgqK", TblZgqK);
  DsJsGsk = NewSource(this, "DsJsGsk", TblJsGsk);
  DsRptStru = NewSource(this, "DsRptStru", TblRptStru);
  DsUser = NewSource(this, "DsUser", TblUser);
  DsRegDw = NewSource(this, "DsRegDw", TblRegDw);

  DataModuleCreate(directory);
}

TFrmData::~TFrmData() {
  // Closing the connection closes every table and releases the file and
  // its locks before the components go.
  if (UdbDataBase1) UdbDataBase1->SetConnected(false);
  if (FrmData == this) FrmData = nullptr;
}

void TFrmData::DataModuleCreate(const AnsiString& directory) {
  UdbDataBase1->SetMasterKey(payroll::kMasterKey);
  UdbDataBase1->SetDirectory(directory);
  UdbDataBase1->SetConnected(true);
  TblRegDw->Open();
  TblZgqK->Open();
  TblBm->Open();
  TblGzk->Open();
  TblJsGsk->SetIndexName("GI");
  TblJsGsk->Open();
  TblRptStru->SetIndexName("RptNo");
  TblRptStru->Open();
  TblUser->Open();
}

void TFrmData::TblBmBeforePost(TDataSet* dataSet) {
  if (TblBm->State() != dsInsert) return;
  TblBm->FieldByName("XH")->SetAsFloat(0);
  TblBm->FieldByName("rs")->SetAsFloat(0);
}

void TFrmData::DsGzkDataChange(TObject*, TField*) {
  if (!AttendancePageShown || !AttendancePageShown()) return;
  payroll::GateAttendanceByCategory(TblGzk, TblZgqK, AttendancePanel);
}

namespace payroll {

void GateAttendanceByCategory(TDataSet* gzk, TDataSet* zgqk, TControl* panel) {
  if (!panel) return;
  try {
    const AnsiString category = gzk->FieldByName("Zgqk")->AsString();
    const Variant canKq = zgqk->Lookup("Zgqk", Variant(category), "Cankq");
    if (canKq.IsNull() || canKq.IsEmpty()) return;
    panel->SetEnabled(canKq.AsBoolean());
  } catch (const Exception&) {
    // A category that cannot be looked up leaves the panel as it was.
  }
}

void GateAttendanceByCode(TDataSet* gzk, TDataSet* zgqk, TControl* panel) {
  if (!panel) return;
  try {
    if (!gzk->Active() || !zgqk->Active()) {
      panel->SetEnabled(false);
      return;
    }
    const bool canKq = zgqk->FieldByName("CanKq")->AsBoolean();
    const AnsiString code = gzk->FieldByName("zgbh")->AsString();
    panel->SetEnabled(canKq && !(code.size() >= 3 && code[2] == '9'));
  } catch (const Exception&) {
    // A missing field leaves the panel as it was.
  }
}

}  // namespace payroll

PAYROLL_PUBLISH(TFrmData) {}
