// DBCtrls: data-aware controls -- the field data link, TDBEdit, TDBText,
// TDBComboBox, TDBLookupComboBox and TDBNavigator.
//
// A data-aware control shows one field of its data source's current record
// and follows the cursor through a TFieldDataLink.  Editing cycle of an
// edit: a typed character first puts the dataset into edit state (when it
// cannot, the key is refused); the typed text is written into the field
// when the control is left (UpdateRecord) or the record is posted; Esc
// puts the field's text back.  A field that refuses the text raises from
// the exit, and the focus stays in the control (nothing is lost silently).
// String fields limit typing to their size in bytes.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/TypInfo.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

class TFieldDataLink : public TDataLink {
 public:
  explicit TFieldDataLink(TComponent* control) : control_(control) {}
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& name);
  TField* Field() const { return field_; }
  TComponent* Control() const { return control_; }
  // The text was changed by the user (written back by UpdateData).
  bool Modified() const { return modified_; }
  void MarkModified() { modified_ = true; }
  // Field present, data link not read-only, field and dataset modifiable.
  bool CanModify() const;
  // Shows the field's value again, dropping the user's change.
  void Reset();

  TNotifyEvent OnDataChange;
  TNotifyEvent OnEditingChange;
  TNotifyEvent OnUpdateData;
  TNotifyEvent OnActiveChange;

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;
  void UpdateData() override;
  void FocusControl(TField** field) override;

 private:
  void UpdateField();
  TComponent* control_;
  AnsiString fieldName_;
  TField* field_ = nullptr;
  bool modified_ = false;
};

// What every control showing one field of a data source has: the link and
// its DataSource, DataField and Field properties (the control's own
// SetDataSource also asks for the source's free notification).
class TFieldDataControl {
 public:
  explicit TFieldDataControl(TComponent* control)
      : link_(std::make_unique<TFieldDataLink>(control)) {}
  TDataSource* DataSource() const { return link_->DataSource(); }
  const AnsiString& DataField() const { return link_->FieldName(); }
  void SetDataField(const AnsiString& name) { link_->SetFieldName(name); }
  TField* Field() const { return link_->Field(); }

 protected:
  std::unique_ptr<TFieldDataLink> link_;
};

class TDBEdit : public TCustomEdit, public TFieldDataControl {
  PAYROLL_CLASS(TDBEdit, TCustomEdit)
 public:
  explicit TDBEdit(TComponent* owner);
  ~TDBEdit() override;
  void SetDataSource(TDataSource* source);
  bool ReadOnly() const { return link_->ReadOnly(); }
  void SetReadOnly(bool v);
  void Notification(TComponent* component, TOperation operation) override;
  TFieldDataLink* DataLink() const { return link_.get(); }

 protected:
  void KeyPress(char& key) override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void UserEdited() override;
  void WndProc(TMessage& message) override;
  void DataChange();

 private:
  bool focused_ = false;
};

class TDBText : public TCustomLabel, public TFieldDataControl {
  PAYROLL_CLASS(TDBText, TCustomLabel)
 public:
  explicit TDBText(TComponent* owner);
  ~TDBText() override;
  void SetDataSource(TDataSource* source);
  void Notification(TComponent* component, TOperation operation) override;

 private:
};

class TDBComboBox : public TCustomComboBox, public TFieldDataControl {
  PAYROLL_CLASS(TDBComboBox, TCustomComboBox)
 public:
  explicit TDBComboBox(TComponent* owner);
  ~TDBComboBox() override;
  void SetDataSource(TDataSource* source);
  bool ReadOnly() const { return link_->ReadOnly(); }
  void SetReadOnly(bool v) { link_->SetReadOnly(v); }
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void Change() override;
  void KeyPress(char& key) override;
  void WndProc(TMessage& message) override;

 private:
  bool showing_ = false;
};

// A combo box whose list comes from another dataset (ListSource): it shows
// the ListField of the list record whose KeyField equals the data field,
// and choosing a line writes that line's key into the data field.
class TDBLookupComboBox : public TCustomComboBox, public TFieldDataControl {
  PAYROLL_CLASS(TDBLookupComboBox, TCustomComboBox)
 public:
  explicit TDBLookupComboBox(TComponent* owner);
  ~TDBLookupComboBox() override;
  void SetDataSource(TDataSource* source);
  TDataSource* ListSource() const;
  void SetListSource(TDataSource* source);
  const AnsiString& KeyField() const { return keyField_; }
  void SetKeyField(const AnsiString& name);
  const AnsiString& ListField() const { return listField_; }
  void SetListField(const AnsiString& name);
  // The key of the shown line ("" when none).
  const AnsiString& KeyValue() const { return keyValue_; }
  void SetKeyValue(const AnsiString& key);
  // Re-reads the list dataset (the list is read when it becomes active).
  void RefreshList();
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void Select() override;

 private:
  class TListLink;
  void DataChange();
  std::unique_ptr<TListLink> listLink_;
  AnsiString keyField_, listField_, keyValue_;
  std::vector<AnsiString> keys_;
};

enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
PAYROLL_ENUM_NAMES(TNavigateBtn, nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost,
                   nbCancel, nbRefresh)
using TNavButtonSet = TSet<TNavigateBtn, 16>;
using TNavClickEvent = std::function<void(TObject* sender, TNavigateBtn button)>;

class TSpeedButton;

// Buttons that move through and edit the data source's dataset; each is
// enabled only when its action makes sense in the dataset's state.
class TDBNavigator : public TCustomPanel {
  PAYROLL_CLASS(TDBNavigator, TCustomPanel)
 public:
  explicit TDBNavigator(TComponent* owner);
  ~TDBNavigator() override;
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  const TNavButtonSet& VisibleButtons() const { return visible_; }
  void SetVisibleButtons(const TNavButtonSet& v);
  // Deleting asks first ("删除当前记录吗?", OK/Cancel) when set.
  bool ConfirmDelete() const { return confirmDelete_; }
  void SetConfirmDelete(bool v) { confirmDelete_ = v; }
  // Runs a button's action as a click does (also when it is disabled:
  // nothing happens then).
  void BtnClick(TNavigateBtn button);
  bool ButtonEnabled(TNavigateBtn button) const;
  TSpeedButton* Button(TNavigateBtn button) const { return buttons_[button]; }
  void Notification(TComponent* component, TOperation operation) override;
  TNavClickEvent BeforeAction;
  TNavClickEvent OnClick;

 protected:
  void Resize() override;

 private:
  class TNavLink;
  void UpdateButtons();
  void Arrange();
  std::unique_ptr<TNavLink> link_;
  TSpeedButton* buttons_[10] = {};
  TNavButtonSet visible_{nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh};
  bool confirmDelete_ = true;
};

// Registers the data-aware classes for the text form.
void RegisterDataControls();
