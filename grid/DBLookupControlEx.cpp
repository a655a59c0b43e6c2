// The lookup control and the lookup list box (see DBLookupControlEx.h).
#include "grid/DBLookupControlEx.h"

#include <algorithm>

#include "grid/InplaceEditEx.h"
#include "platform/core/AnsiText.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Actions.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/SysColors.h"
#include "platform/ui/VirtualKeys.h"

namespace {

constexpr int kBorder = 2;
constexpr std::uint32_t kTypeAheadMs = 2000;  // one time stamp for every lookup control
constexpr size_t kMaxSearchText = 32;
std::uint32_t gLastSearchTick = 0;

AnsiString JoinNames(const std::vector<TField*>& fields) {
  AnsiString names;
  for (TField* f : fields) names += (names.empty() ? "" : ";") + f->FieldName();
  return names;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lookup field utilities

void GetFieldsList(std::vector<TField*>& list, TDataSet* dataSet, const AnsiString& fieldNames) {
  list.clear();
  dataSet->GetFieldList(list, fieldNames);  // FieldByName: "Field '%s' not found"
}

void SetFieldsValue(TDataSet* dataSet, const AnsiString& fieldNames, const Variant& value) {
  if (value.IsNull()) {
    std::vector<TField*> fields;
    GetFieldsList(fields, dataSet, fieldNames);
    for (TField* f : fields) f->Clear();
    return;
  }
  dataSet->SetFieldValues(fieldNames, value);
}

bool VarEquals(const Variant& a, const Variant& b) {
  if (a.IsArray() || b.IsArray()) {
    if (!a.IsArray() || !b.IsArray() || a.ArrayLowBound() != b.ArrayLowBound() ||
        a.ArrayHighBound() != b.ArrayHighBound())
      return false;
    for (int i = a.ArrayLowBound(); i <= a.ArrayHighBound(); ++i)
      if (!VarEquals(a[i], b[i])) return false;
    return true;
  }
  try {
    return VarCompareValue(a, b) == vrEqual;
  } catch (const Exception&) {  // values of types that do not compare
    return false;
  }
}

// ---------------------------------------------------------------------------
// The links

void TLookupCtrlDataLinkEx::ActiveChanged() { control_->DataLinkActiveChanged(); }
void TLookupCtrlDataLinkEx::LayoutChanged() { control_->DataLinkActiveChanged(); }
void TLookupCtrlDataLinkEx::RecordChanged(TField* field) { control_->DataLinkRecordChanged(field); }
void TLookupCtrlListLinkEx::ActiveChanged() { control_->ListLinkActiveChanged(); }
void TLookupCtrlListLinkEx::LayoutChanged() { control_->ListLinkActiveChanged(); }
void TLookupCtrlListLinkEx::DataSetChanged() { control_->ListLinkDataChanged(); }

// ---------------------------------------------------------------------------
// TDBLookupControlEx

TDBLookupControlEx::TDBLookupControlEx(TComponent* owner)
    : TCustomControl(owner),
      dataLink_(std::make_unique<TLookupCtrlDataLinkEx>(this)),
      listLink_(std::make_unique<TLookupCtrlListLinkEx>(this)),
      lookupSource_(std::make_unique<TDataSource>(nullptr)),
      specRow_(std::make_unique<TSpecRowEx>()) {
  SetColor(clWindow);
  SetTabStop(true);
}

TDBLookupControlEx::~TDBLookupControlEx() {
  // The links go first: a link that still reports would reach a control
  // half destroyed.
  dataLink_->SetDataSource(nullptr);
  listLink_->SetDataSource(nullptr);
}

void TDBLookupControlEx::SetDataField(const AnsiString& value) {
  if (value == dataFieldName_) return;
  dataFieldName_ = value;
  DataLinkActiveChanged();
}

void TDBLookupControlEx::SetDataSource(TDataSource* value) {
  dataLink_->SetDataSource(value);
  if (value) value->FreeNotification(this);
  DataLinkActiveChanged();
}

void TDBLookupControlEx::CheckNotLookup() {
  if (lookupMode_) DatabaseError("Property already defined by lookup field", this);
  if (dataLink_->DataSourceFixed()) DatabaseError("Operation not allowed in a DBCtrlGrid", this);
}

void TDBLookupControlEx::SetKeyField(const AnsiString& value) {
  CheckNotLookup();
  if (value == keyFieldName_) return;
  keyFieldName_ = value;
  ListLinkActiveChanged();
}

void TDBLookupControlEx::SetListField(const AnsiString& value) {
  if (value == listFieldName_) return;
  listFieldName_ = value;
  ListLinkActiveChanged();
}

void TDBLookupControlEx::SetListFieldIndex(int value) {
  listFieldIndex_ = std::max(0, value);
  ListLinkActiveChanged();
}

void TDBLookupControlEx::SetListSource(TDataSource* value) {
  CheckNotLookup();
  listLink_->SetDataSource(value);
  if (value) value->FreeNotification(this);
  ListLinkActiveChanged();
}

void TDBLookupControlEx::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (dataLink_ && component == dataLink_->DataSource()) SetDataSource(nullptr);
  if (listLink_ && component == listLink_->DataSource()) listLink_->SetDataSource(nullptr);
}

void TDBLookupControlEx::CheckNotCircular() {
  TDataSet* list = listLink_->Active() ? listLink_->DataSet() : nullptr;
  if (list && DataSource() && list->IsLinkedTo(DataSource())) DatabaseError(dbconsts::SCircularDataLink, this);
}

// The data link opened, closed or changed its fields: the fields that
// hold the key, and lookup mode when DataField is one lookup field.
void TDBLookupControlEx::DataLinkActiveChanged() {
  masterFieldNames_.clear();
  masterFields_.clear();
  dataFields_.clear();
  bool lookup = false;
  if (dataLink_->Active() && !dataFieldName_.empty()) {
    CheckNotCircular();
    GetFieldsList(dataFields_, dataLink_->DataSet(), dataFieldName_);
    if (dataFields_.size() == 1 && dataFields_[0]->Lookup()) {
      TField* f = dataFields_[0];
      GetFieldsList(masterFields_, dataLink_->DataSet(), f->KeyFields());
      lookup = true;
      lookupSource_->SetDataSet(f->LookupDataSet());
      keyFieldName_ = f->LookupKeyFields();
      listLink_->SetDataSource(lookupSource_.get());
    } else {
      masterFields_ = dataFields_;
    }
    masterFieldNames_ = JoinNames(masterFields_);
  }
  if (lookupMode_ && !lookup) {
    listLink_->SetDataSource(nullptr);
    lookupSource_->SetDataSet(nullptr);
  }
  lookupMode_ = lookup;
  ListLinkActiveChanged();
  DataLinkRecordChanged(nullptr);
}

void TDBLookupControlEx::DataLinkRecordChanged(TField* field) {
  if (field && std::find(masterFields_.begin(), masterFields_.end(), field) == masterFields_.end()) return;
  if (!masterFields_.empty() && dataLink_->Active())
    SetKeyValue(dataLink_->DataSet()->FieldValues(masterFieldNames_));
  else
    SetKeyValue(Variant::Null());
}

void TDBLookupControlEx::SetKeyValue(const Variant& value) {
  if (VarEquals(keyValue_, value)) return;
  keyValue_ = value;
  KeyValueChanged();
}

// The special row stands for the key when its Value is the key, or when
// the list has no record of the key and it is shown for such keys.
void TDBLookupControlEx::KeyValueChanged() {
  specRowSelected_ = specRow_->Visible() && VarEquals(specRow_->Value(), keyValue_);
  if (!specRowSelected_ && specRow_->ShowIfNotInKeyList() && !selecting_ && listActive_ &&
      !keyFieldName_.empty()) {
    bool found = false;
    try {
      found = !keyValue_.IsNull() && ListDataSet()->Locate(keyFieldName_, keyValue_, TLocateOptions{});
    } catch (const Exception&) {  // a failing locate counts as not found
    }
    if (found)
      ListLinkDataChanged();
    else
      specRowSelected_ = specRow_->Visible();
  }
  Invalidate();
}

// The list link opened, closed or changed its fields: the key fields and
// the fields shown.
void TDBLookupControlEx::ListLinkActiveChanged() {
  listActive_ = false;
  listField_ = nullptr;
  listFields_.clear();
  keyFields_.clear();
  if (listLink_->Active() && !keyFieldName_.empty()) {
    CheckNotCircular();
    TDataSet* list = listLink_->DataSet();
    GetFieldsList(keyFields_, list, keyFieldName_);
    GetFieldsList(listFields_, list, listFieldName_);
    if (lookupMode_) {
      const AnsiString result = dataFields_[0]->LookupResultField();
      listField_ = list->FindField(result);
      if (!listField_) DatabaseErrorFmt(dbconsts::SFieldNotFound, {result}, this);
      if (std::find(listFields_.begin(), listFields_.end(), listField_) == listFields_.end())
        listFields_.insert(listFields_.begin(), listField_);
    } else {
      if (listFields_.empty()) listFields_ = keyFields_;
      listField_ = listFieldIndex_ < static_cast<int>(listFields_.size()) ? listFields_[listFieldIndex_]
                                                                          : listFields_.front();
    }
    listActive_ = true;
  }
  ListLinkDataChanged();
  Invalidate();
}

bool TDBLookupControlEx::CanModify() const {
  if (!listActive_ || readOnly_) return false;
  if (!dataLink_->Active()) return !dataLink_->DataSource();
  if (masterFields_.empty()) return false;
  return std::all_of(masterFields_.begin(), masterFields_.end(), [](TField* f) { return f->CanModify(); });
}

void TDBLookupControlEx::SelectKeyValue(const Variant& value) {
  if (masterFields_.empty()) {
    SetKeyValue(value);
  } else if (dataLink_->Edit()) {
    SetFieldsValue(dataLink_->DataSet(), masterFieldNames_, value);
  }
  Invalidate();
  if (OnClick) OnClick(this);
}

void TDBLookupControlEx::ChooseKey(const Variant& value) {
  selecting_ = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{selecting_};
  SelectKeyValue(value);
}

void TDBLookupControlEx::ProcessSearchKey(char key) {
  if (!listField_ || (listField_->FieldKind() != fkData && listField_->FieldKind() != fkInternalCalc) ||
      listField_->DataType() != ftString)
    return;
  const unsigned char c = static_cast<unsigned char>(key);
  if (c == VK_BACK || c == VK_ESCAPE) {
    searchText_.clear();
    return;
  }
  if (c < 32 || !CanModify()) return;
  const std::uint32_t now = PopupTickCount();
  if (now - gLastSearchTick > kTypeAheadMs) searchText_.clear();
  gLastSearchTick = now;
  if (searchText_.size() >= kMaxSearchText) return;
  const AnsiString text = searchText_ + key;
  if (IsDBCSLeadByte(c)) {  // wait for the trail byte: a character counts whole
    searchText_ = text;
    return;
  }
  TDataSet* list = ListDataSet();
  if (list->Locate(listField_->FieldName(), Variant(text), TLocateOptions{loCaseInsensitive, loPartialKey})) {
    ChooseKey(list->FieldValues(keyFieldName_));
    searchText_ = text;
  } else if (searchText_.size() > 0 && IsDBCSLeadByte(static_cast<unsigned char>(searchText_.back()))) {
    searchText_.pop_back();  // the character did not match: its lead byte goes too
  }
}

void TDBLookupControlEx::DoExit() {
  searchText_.clear();
  TCustomControl::DoExit();
}

// ---------------------------------------------------------------------------
// TDBLookupListBoxEx

TDBLookupListBoxEx::TDBLookupListBoxEx(TComponent* owner) : TDBLookupControlEx(owner) {
  SetWidth(121);
  SetRowCount(7);
}

int TDBLookupListBoxEx::RowHeight() const { return std::max(1, FontMetrics().Metrics(*Font()).Height); }

void TDBLookupListBoxEx::SetRowCount(int value) {
  rowCount_ = std::clamp(value, 1, 100);
  SetHeight(rowCount_ * RowHeight() + kBorder + SpecRowHeight());
}

// A height set by hand becomes whole rows.
void TDBLookupListBoxEx::SetBounds(int left, int top, int width, int height) {
  if (sizing_) return TDBLookupControlEx::SetBounds(left, top, width, height);
  sizing_ = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{sizing_};
  rowCount_ = std::clamp((height - kBorder - SpecRowHeight()) / RowHeight(), 1, 100);
  ListLink()->SetBufferCount(rowCount_);
  TDBLookupControlEx::SetBounds(left, top, width, rowCount_ * RowHeight() + kBorder + SpecRowHeight());
}

std::vector<AnsiString> TDBLookupListBoxEx::RowTexts() const {
  std::vector<AnsiString> rows;
  if (!ListActive() || !ListFieldObject()) return rows;
  TLookupCtrlListLinkEx* link = ListLink();
  const int active = link->ActiveRecord();
  for (int i = 0; i < link->RecordCount(); ++i) {
    link->SetActiveRecord(i);
    rows.push_back(ListFieldObject()->DisplayText());
  }
  link->SetActiveRecord(active);
  return rows;
}

int TDBLookupListBoxEx::KeyRow() const {
  if (!ListActive() || KeyValue().IsNull()) return -1;
  TLookupCtrlListLinkEx* link = ListLink();
  const int active = link->ActiveRecord();
  int found = -1;
  for (int i = 0; i < link->RecordCount() && found < 0; ++i) {
    link->SetActiveRecord(i);
    if (VarEquals(ListDataSet()->FieldValues(KeyFieldNameInUse()), KeyValue())) found = i;
  }
  link->SetActiveRecord(active);
  return found;
}

AnsiString TDBLookupListBoxEx::SelectedItem() const {
  if (SpecRow()->Visible() && SpecRowSelected()) return SpecRow()->CellText(ListFieldIndex());
  const int row = KeyRow();
  if (row < 0) return AnsiString();
  std::vector<AnsiString> rows = RowTexts();
  return rows[static_cast<size_t>(row)];
}

// The list dataset changed (moved, edited, re-read): the rows shown are
// the link's window, read again at the next paint.
void TDBLookupListBoxEx::ListLinkDataChanged() { Invalidate(); }

void TDBLookupListBoxEx::KeyValueChanged() {
  TDBLookupControlEx::KeyValueChanged();
  if (!ListActive() || Selecting() || SpecRowSelected()) return;
  TDataSet* list = ListDataSet();
  bool found = false;
  try {
    found = !KeyValue().IsNull() && list->Locate(KeyFieldNameInUse(), KeyValue(), TLocateOptions{});
  } catch (const Exception&) {
  }
  if (!found) list->First();
}

void TDBLookupListBoxEx::SelectCurrent() {
  SetSpecRowSelected(false);
  ChooseKey(ListDataSet()->FieldValues(KeyFieldNameInUse()));
}

void TDBLookupListBoxEx::SelectSpec() {
  ListDataSet()->First();
  SetSpecRowSelected(true);
  if (!VarEquals(SpecRow()->Value(), KeyValue())) SelectKeyValue(SpecRow()->Value());
  Invalidate();
}

// Up from the first record (or from the special row) is the special row,
// when it is shown; down from it is the first record.
void TDBLookupListBoxEx::MoveBy(int distance) {
  ClearSearchText();
  TDataSet* list = ListDataSet();
  if (distance < 0 && SpecRow()->Visible() && SpecRowSelected()) return SelectSpec();
  if (SpecRowSelected()) {
    list->First();
    if (distance > 0) --distance;
  } else {
    const int row = KeyRow();
    if (row >= 0) list->MoveBy(row - ListLink()->ActiveRecord());
  }
  const int moved = distance != 0 ? list->MoveBy(distance) : 0;
  if (distance < 0 && moved == 0 && SpecRow()->Visible()) return SelectSpec();
  SelectCurrent();
}

void TDBLookupListBoxEx::KeyDown(std::uint16_t& key, TShiftState shift) {
  TDBLookupControlEx::KeyDown(key, shift);
  if (!CanModify() || key == 0) return;
  TDataSet* list = ListDataSet();
  switch (key) {
    case VK_PRIOR: MoveBy(-(rowCount_ - 1)); break;
    case VK_NEXT: MoveBy(rowCount_ - 1); break;
    case VK_UP:
    case VK_LEFT: MoveBy(-1); break;
    case VK_DOWN:
    case VK_RIGHT: MoveBy(1); break;
    case VK_HOME: ClearSearchText(); list->First(); SelectCurrent(); break;
    case VK_END: ClearSearchText(); list->Last(); SelectCurrent(); break;
    default: return;
  }
  key = 0;
}

void TDBLookupListBoxEx::KeyPress(char& key) {
  TDBLookupControlEx::KeyPress(key);
  if (key != 0) ProcessSearchKey(key);
}

void TDBLookupListBoxEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && CanFocus()) SetFocus();
  TDBLookupControlEx::MouseDown(button, shift, x, y);
  if (button != mbLeft || !CanModify()) return;
  ClearSearchText();
  y -= kBorder / 2;
  if (y < SpecRowHeight()) return SelectSpec();
  const int row = (y - SpecRowHeight()) / RowHeight();
  if (row >= ListLink()->RecordCount()) return;
  ListDataSet()->MoveBy(row - ListLink()->ActiveRecord());
  SelectCurrent();
}

void TDBLookupListBoxEx::Paint() {
  TCanvas* c = Canvas();
  const TRect client = ClientRect();
  c->Brush()->SetColor(Color());
  c->FillRect(client);
  c->Font()->Assign(Font());
  const int h = RowHeight();
  int y = client.Top + kBorder / 2;
  auto row = [&](const AnsiString& text, bool selected) {
    TRect r{client.Left, y, client.Right, y + h};
    c->Brush()->SetColor(selected ? clHighlight : Color());
    c->Font()->SetColor(!Enabled() ? clGrayText : selected ? clHighlightText : Font()->Color());
    c->TextRect(r, r.Left + 2, r.Top, text);
    if (selected && Focused()) c->DrawFocusRect(r);
    y += h;
  };
  if (SpecRow()->Visible()) row(SpecRow()->CellText(ListFieldIndex()), SpecRowSelected());
  const int keyRow = SpecRowSelected() ? -1 : KeyRow();
  const std::vector<AnsiString> rows = RowTexts();
  for (size_t i = 0; i < rows.size(); ++i) row(rows[i], static_cast<int>(i) == keyRow);
}

bool TDBLookupListBoxEx::ExecuteAction(TBasicAction* action) {
  const bool result = TDBLookupControlEx::ExecuteAction(action);
  if (!result && DataSource() && action->HandlesTarget(DataSource())) action->ExecuteTarget(DataSource());
  return result;
}

bool TDBLookupListBoxEx::UpdateAction(TBasicAction* action) {
  const bool result = TDBLookupControlEx::UpdateAction(action);
  if (!result && DataSource() && action->HandlesTarget(DataSource())) action->UpdateTarget(DataSource());
  return result;
}

PAYROLL_PUBLISH(TDBLookupControlEx) {}

PAYROLL_PUBLISH(TDBLookupListBoxEx) {
  using T = TDBLookupListBoxEx;
  p.Property("DataField", &T::DataField, &T::SetDataField);
  p.Property("DataSource", &T::DataSource, &T::SetDataSource);
  p.Property("KeyField", &T::KeyField, &T::SetKeyField);
  p.Property("ListField", &T::ListField, &T::SetListField);
  p.Property("ListFieldIndex", &T::ListFieldIndex, &T::SetListFieldIndex).Default(0);
  p.Property("ListSource", &T::ListSource, &T::SetListSource);
  p.Property("ReadOnly", &T::ReadOnly, &T::SetReadOnly).Default(false);
  p.Property("RowCount", &T::RowCount, &T::SetRowCount).Default(7);
  p.Property("SpecRow", &T::SpecRow);
  p.Event("OnClick", &T::OnClick);
}
