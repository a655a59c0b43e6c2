// TFrmData: the payroll data module, one global instance FrmData.  It owns
// the connection to "GZ.udb" in the program's folder and the tables and
// data sources every form works on.
//
// Creation (DataModuleCreate), in this order: master key "marblequay",
// Directory := the program's folder, connect, then open regdw, zgqk, bm,
// gzk, JsGsk on its index "GI", RptStru on its index "RptNo", Userid.
// Errors of the engine pass out of the constructor unchanged.
//
// Rules it keeps:
//   - a new bm row is written with XH = 0 and RS = 0 (TblBmBeforePost);
//   - attendance gating: while the attendance page is shown, the attendance
//     panel is enabled exactly when the current employee's category may
//     take attendance (DsGzkDataChange); any failure leaves it as it was.
// The SQL queries Query and QueryTMP are not here: the query dataset over
// the engine does not exist yet.
//
// Component structure: the engine's components publish no properties, so
// the module is put together in code rather than from a text resource.
// App layer.
#pragma once

#include <functional>

#include "platform/ui/Forms.h"

class TControl;
class TDataSet;
class TDataSource;
class TField;
class TUdbDataBase;
class TUdbTable;

class TFrmData : public TDataModule {
  PAYROLL_CLASS(TFrmData, TDataModule)
 public:
  // directory: the database's folder; the program passes its own folder.
  explicit TFrmData(TComponent* owner, const AnsiString& directory);
  explicit TFrmData(TComponent* owner);
  ~TFrmData() override;

  TUdbDataBase* UdbDataBase1 = nullptr;
  TUdbTable *TblGzk = nullptr, *TblBm = nullptr, *TblZgqK = nullptr, *TblJsGsk = nullptr,
            *TblRptStru = nullptr, *TblUser = nullptr, *TblRegDw = nullptr;
  TDataSource *DsGzk = nullptr, *DsBm = nullptr, *DsZgqK = nullptr, *DsJsGsk = nullptr,
              *DsRptStru = nullptr, *DsUser = nullptr, *DsRegDw = nullptr;

  // Set by the main form: whether its notebook shows the attendance page,
  // and the attendance panel.
  std::function<bool()> AttendancePageShown;
  TControl* AttendancePanel = nullptr;

  void TblBmBeforePost(TDataSet* dataSet);
  void DsGzkDataChange(TObject* sender, TField* field);

 private:
  void DataModuleCreate(const AnsiString& directory);
};

extern TFrmData* FrmData;

namespace payroll {
// Enables panel when the zgqk row whose Zgqk equals gzk's current ZGQK has
// CanKq true, disables it when false; a missing category or null leaves it.
void GateAttendanceByCategory(TDataSet* gzk, TDataSet* zgqk, TControl* panel);
// Enables panel exactly when zgqk's current row has CanKq true and the
// current employee's code has no "9" as third character; any failure
// leaves it.
void GateAttendanceByCode(TDataSet* gzk, TDataSet* zgqk, TControl* panel);
}  // namespace payroll
