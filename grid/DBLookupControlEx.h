// TDBLookupControlEx and TDBLookupListBoxEx: a key chosen from the records
// of a list dataset (ListSource; KeyField the key, ListField the fields
// shown) and written to the fields of an edited dataset (DataSource,
// DataField).  Two data links keep the control current: the data link
// follows the edited record (KeyValue = its DataField values), the list
// link follows the list dataset (the list box shows the link's window of
// records, so it shows what the list dataset holds now, never a copy).
//
// When DataField names one lookup field, the control is in lookup mode:
// the list is that field's LookupDataSet, the key its LookupKeyFields, the
// shown field its LookupResultField, and the chosen key goes to the
// field's KeyFields.  A list dataset linked to the control's own
// DataSource is refused ("Circular datalinks are not allowed").
//
//   TDBLookupListBoxEx box(form);
//   box.SetDataSource(employees); box.SetDataField("BMBH");
//   box.SetListSource(departments); box.SetKeyField("BMBH"); box.SetListField("BMMC");
//
// Layer: grid (platform/ui beneath).
#pragma once

#include <memory>
#include <vector>

#include "grid/DBLookupEx.h"
#include "platform/core/Variant.h"
#include "platform/data/DataSource.h"
#include "platform/ui/Controls.h"

class TField;
class TDBLookupControlEx;

// The fields of dataSet named by the ";"-separated fieldNames, in order;
// a name without a field raises "Field '%s' not found".
void GetFieldsList(std::vector<TField*>& list, TDataSet* dataSet, const AnsiString& fieldNames);
// Clears every named field when value is Null, else sets them to value
// (an array for several names) at once.
void SetFieldsValue(TDataSet* dataSet, const AnsiString& fieldNames, const Variant& value);
// Two keys are equal: element by element for arrays of equal bounds.
bool VarEquals(const Variant& a, const Variant& b);

class TLookupCtrlDataLinkEx : public TDataLink {
 public:
  explicit TLookupCtrlDataLinkEx(TDBLookupControlEx* control) : control_(control) {}

 protected:
  void ActiveChanged() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;

 private:
  TDBLookupControlEx* control_;
};

class TLookupCtrlListLinkEx : public TDataLink {
 public:
  explicit TLookupCtrlListLinkEx(TDBLookupControlEx* control) : control_(control) {}

 protected:
  void ActiveChanged() override;
  void LayoutChanged() override;
  void DataSetChanged() override;

 private:
  TDBLookupControlEx* control_;
};

class TDBLookupControlEx : public TCustomControl {
  PAYROLL_CLASS(TDBLookupControlEx, TCustomControl)
 public:
  explicit TDBLookupControlEx(TComponent* owner);
  ~TDBLookupControlEx() override;

  const AnsiString& DataField() const { return dataFieldName_; }
  void SetDataField(const AnsiString& value);
  TDataSource* DataSource() const { return dataLink_->DataSource(); }
  void SetDataSource(TDataSource* value);
  const AnsiString& KeyField() const { return keyFieldName_; }
  // Refused in lookup mode ("Property already defined by lookup field").
  void SetKeyField(const AnsiString& value);
  const AnsiString& ListField() const { return listFieldName_; }
  void SetListField(const AnsiString& value);
  int ListFieldIndex() const { return listFieldIndex_; }
  void SetListFieldIndex(int value);
  TDataSource* ListSource() const { return listLink_->DataSource(); }
  // Refused in lookup mode, as KeyField.
  void SetListSource(TDataSource* value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  TSpecRowEx* SpecRow() const { return specRow_.get(); }

  // The key: the edited record's DataField values (Null without one).
  const Variant& KeyValue() const { return keyValue_; }
  void SetKeyValue(const Variant& value);
  bool ListActive() const { return listActive_; }
  bool LookupMode() const { return lookupMode_; }
  // The list field shown (ListFields[ListFieldIndex]) and all of them.
  TField* ListFieldObject() const { return listField_; }
  const std::vector<TField*>& ListFields() const { return listFields_; }
  const AnsiString& MasterFieldNames() const { return masterFieldNames_; }
  const AnsiString& SearchText() const { return searchText_; }
  // The special row stands for the current key.
  bool SpecRowSelected() const { return specRowSelected_; }
  // The list is active, the control not read-only, and every master field
  // can change (or there is no data source).
  virtual bool CanModify() const;
  // Chooses value as the user does: into the edited record's master
  // fields (KeyValue follows through the data link), or KeyValue itself
  // without master fields; then OnClick.
  void SelectKeyValue(const Variant& value);
  // A typed character of the incremental search on the shown field.
  void ProcessSearchKey(char key);

  TNotifyEvent OnClick;
  void Notification(TComponent* component, TOperation operation) override;

  // Called by the links.
  void DataLinkActiveChanged();
  void DataLinkRecordChanged(TField* field);
  void ListLinkActiveChanged();
  virtual void ListLinkDataChanged() {}

 protected:
  virtual void KeyValueChanged();
  TLookupCtrlDataLinkEx* DataLink() const { return dataLink_.get(); }
  TLookupCtrlListLinkEx* ListLink() const { return listLink_.get(); }
  TDataSet* ListDataSet() const { return listLink_->DataSet(); }
  const AnsiString& KeyFieldNameInUse() const { return keyFieldName_; }
  bool Selecting() const { return selecting_; }
  // SelectKeyValue for a key the control chose from its own list: the
  // list stays where it is.
  void ChooseKey(const Variant& value);
  void SetSpecRowSelected(bool value) { specRowSelected_ = value; }
  void ClearSearchText() { searchText_.clear(); }
  void DoExit() override;

 private:
  void CheckNotCircular();
  void CheckNotLookup();
  void UpdateDataFields();

  AnsiString dataFieldName_;
  std::vector<TField*> dataFields_;
  std::unique_ptr<TLookupCtrlDataLinkEx> dataLink_;
  AnsiString keyFieldName_;
  std::vector<TField*> keyFields_;
  Variant keyValue_ = Variant::Null();
  bool listActive_ = false;
  TField* listField_ = nullptr;
  int listFieldIndex_ = 0;
  AnsiString listFieldName_;
  std::vector<TField*> listFields_;
  std::unique_ptr<TLookupCtrlListLinkEx> listLink_;
  bool selecting_ = false;
  bool lookupMode_ = false;
  std::unique_ptr<TDataSource> lookupSource_;
  AnsiString masterFieldNames_;
  std::vector<TField*> masterFields_;
  AnsiString searchText_;
  std::unique_ptr<TSpecRowEx> specRow_;
  bool specRowSelected_ = false;
  bool readOnly_ = false;
};

// A list of the list dataset's records (RowCount rows, kept within
// 1 ... 100; the height snaps to whole rows), the current key's row
// highlighted, an optional special row on top.  Keys and clicks choose a
// key; typing searches.
class TDBLookupListBoxEx : public TDBLookupControlEx {
  PAYROLL_CLASS(TDBLookupListBoxEx, TDBLookupControlEx)
 public:
  explicit TDBLookupListBoxEx(TComponent* owner);
  int RowCount() const { return rowCount_; }
  void SetRowCount(int value);
  int RowHeight() const;
  int SpecRowHeight() const { return SpecRow()->Visible() ? RowHeight() : 0; }
  // The text of the chosen row (the special row's cell when it is chosen).
  AnsiString SelectedItem() const;
  // The rows shown now: the shown field's text of each buffered record.
  std::vector<AnsiString> RowTexts() const;
  // The buffered row holding the current key, -1 when none.
  int KeyRow() const;

  // The inherited answer first; when the action did not take the control
  // and DataSource is set, an action that handles the data source runs on
  // it (or updates from it).  The answer stays the inherited one.
  bool ExecuteAction(TBasicAction* action) override;
  bool UpdateAction(TBasicAction* action) override;

  void ListLinkDataChanged() override;
  void Paint() override;
  void SetBounds(int left, int top, int width, int height) override;

 protected:
  void KeyValueChanged() override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  void SelectCurrent();  // the list's active record becomes the key
  void SelectSpec();
  void MoveBy(int distance);
  int rowCount_ = 7;
  bool sizing_ = false;
};
