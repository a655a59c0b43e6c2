// Data-aware controls over the dataset interface.
#include "platform/ui/DBCtrls.h"

#include <QImage>
#include <QLineEdit>
#include <QPainter>

#include <vector>

#include "platform/core/ScopeGuards.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

// --- TFieldDataLink ------------------------------------------------------------

void TFieldDataLink::SetFieldName(const AnsiString& name) {
  if (name == fieldName_) return;
  fieldName_ = name;
  UpdateField();
}

void TFieldDataLink::UpdateField() {
  TField* f = nullptr;
  // A data field that the dataset lacks is reported when the link is
  // active (the class library's "Field 'x' not found").
  if (Active() && !fieldName_.IsEmpty()) f = DataSet()->FieldByName(fieldName_);
  if (f != field_) {
    field_ = f;
    if (OnActiveChange) OnActiveChange(control_);
  }
  RecordChanged(nullptr);
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ && field_->CanModify();
}

void TFieldDataLink::Reset() { RecordChanged(nullptr); }

void TFieldDataLink::ActiveChanged() {
  UpdateField();
  if (OnActiveChange) OnActiveChange(control_);
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange(control_);
}

void TFieldDataLink::LayoutChanged() { UpdateField(); }

void TFieldDataLink::RecordChanged(TField* field) {
  if (field == nullptr || field == field_) {
    if (OnDataChange) OnDataChange(control_);
    modified_ = false;
  }
}

void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (field_ && OnUpdateData) OnUpdateData(control_);
  modified_ = false;
}

void TFieldDataLink::FocusControl(TField** field) {
  if (field && *field && *field == field_)
    if (auto* w = dynamic_cast<TWinControl*>(control_); w && w->CanFocus()) {
      *field = nullptr;
      w->SetFocus();
    }
}

namespace {
void LinkSource(TComponent* self, TDataLink* link, TDataSource* source) {
  link->SetDataSource(source);
  if (source) source->FreeNotification(self);
}
}  // namespace

// --- TDBEdit --------------------------------------------------------------------

TDBEdit::TDBEdit(TComponent* owner) : TCustomEdit(owner), TFieldDataControl(this) {
  link_->OnDataChange = [this](TObject*) { DataChange(); };
  link_->OnEditingChange = [this](TObject*) {
    if (LineEdit()) LineEdit()->setReadOnly(TCustomEdit::ReadOnly() || !link_->CanModify());
  };
  link_->OnActiveChange = [this](TObject*) { DataChange(); };
  link_->OnUpdateData = [this](TObject*) { Field()->SetText(Text()); };
}

TDBEdit::~TDBEdit() {
  link_->OnDataChange = nullptr;
  link_->OnActiveChange = nullptr;
  link_->SetDataSource(nullptr);
}

void TDBEdit::SetDataSource(TDataSource* source) { LinkSource(this, link_.get(), source); }

void TDBEdit::SetReadOnly(bool v) {
  link_->SetReadOnly(v);
  TCustomEdit::SetReadOnly(v);
}

void TDBEdit::Notification(TComponent* component, TOperation operation) {
  TCustomEdit::Notification(component, operation);
  if (operation == opRemove && link_ && component == link_->DataSource()) link_->SetDataSource(nullptr);
}

// The field's edit text while focused, its display text otherwise; a
// string field also limits what can be typed to its size.
void TDBEdit::DataChange() {
  TField* f = Field();
  AnsiString text;
  if (f) text = focused_ && link_->CanModify() ? f->Text() : f->DisplayText();
  if (f && MaxLength() == 0 && f->DataType() == ftString) SetMaxLength(f->Size());
  // Setting the text is not the user's change: only typing (UserEdited)
  // marks the link modified.
  if (text != Text()) TCustomEdit::SetTextValue(text);
}

void TDBEdit::KeyPress(char& key) {
  TCustomEdit::KeyPress(key);
  if (key == 0) return;
  unsigned char c = static_cast<unsigned char>(key);
  if (c == 27) {
    link_->Reset();
    SelectAll();
    key = 0;
    return;
  }
  // Typing, backspace, paste and cut change the field: the dataset must
  // go into edit state first, or the key is refused.
  if (c >= 32 || c == 8 || c == 22 || c == 24) {
    if (!Field() || !link_->CanModify() || !link_->Edit()) key = 0;
  }
}

void TDBEdit::KeyDown(std::uint16_t& key, TShiftState shift) {
  TCustomEdit::KeyDown(key, shift);
  if (key == VK_DELETE && Field()) {
    if (!link_->CanModify() || !link_->Edit()) key = 0;
  }
}

void TDBEdit::UserEdited() {
  TCustomEdit::UserEdited();
  if (link_->Editing() || (link_->CanModify() && link_->Edit())) link_->MarkModified();
}

void TDBEdit::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_ENTER:
      focused_ = true;
      DataChange();
      TCustomEdit::WndProc(m);
      return;
    case CM_EXIT:
      // The typed text goes into the field before OnExit runs; a refused
      // value keeps the focus here and is reported.
      try {
        link_->UpdateRecord();
      } catch (...) {
        SelectAll();
        SetFocus();
        throw;
      }
      focused_ = false;
      DataChange();
      TCustomEdit::WndProc(m);
      return;
    default:
      TCustomEdit::WndProc(m);
  }
}

// --- TDBText ----------------------------------------------------------------------

TDBText::TDBText(TComponent* owner) : TCustomLabel(owner), TFieldDataControl(this) {
  SetAutoSize(false);
  link_->OnDataChange = [this](TObject*) { SetCaption(Field() ? Field()->DisplayText() : AnsiString()); };
}

TDBText::~TDBText() {
  link_->OnDataChange = nullptr;
  link_->SetDataSource(nullptr);
}

void TDBText::SetDataSource(TDataSource* source) { LinkSource(this, link_.get(), source); }

void TDBText::Notification(TComponent* component, TOperation operation) {
  TCustomLabel::Notification(component, operation);
  if (operation == opRemove && link_ && component == link_->DataSource()) link_->SetDataSource(nullptr);
}

// --- TDBComboBox ----------------------------------------------------------------------

TDBComboBox::TDBComboBox(TComponent* owner)
    : TCustomComboBox(owner), TFieldDataControl(this) {
  link_->OnDataChange = [this](TObject*) {
    showing_ = true;
    SetText(Field() ? Field()->Text() : AnsiString());
    showing_ = false;
  };
  link_->OnUpdateData = [this](TObject*) { Field()->SetText(Text()); };
}

TDBComboBox::~TDBComboBox() {
  link_->OnDataChange = nullptr;
  link_->SetDataSource(nullptr);
}

void TDBComboBox::SetDataSource(TDataSource* source) { LinkSource(this, link_.get(), source); }

void TDBComboBox::Notification(TComponent* component, TOperation operation) {
  TCustomComboBox::Notification(component, operation);
  if (operation == opRemove && link_ && component == link_->DataSource()) link_->SetDataSource(nullptr);
}

void TDBComboBox::Change() {
  if (!showing_ && Field()) {
    if (link_->CanModify() && link_->Edit())
      link_->MarkModified();
    else
      link_->Reset();  // the dataset refused: show the field again
  }
  TCustomComboBox::Change();
}

void TDBComboBox::KeyPress(char& key) {
  TCustomComboBox::KeyPress(key);
  unsigned char c = static_cast<unsigned char>(key);
  if (c == 27) {
    link_->Reset();
    key = 0;
  } else if (key != 0 && (c >= 32 || c == 8) && Field() && !(link_->CanModify() && link_->Edit())) {
    key = 0;
  }
}

void TDBComboBox::WndProc(TMessage& m) {
  if (m.Msg == CM_EXIT) link_->UpdateRecord();
  TCustomComboBox::WndProc(m);
}

// --- TDBLookupComboBox ------------------------------------------------------------------

class TDBLookupComboBox::TListLink : public TDataLink {
 public:
  explicit TListLink(TDBLookupComboBox* owner) : owner_(owner) {}

 protected:
  void ActiveChanged() override { owner_->RefreshList(); }
  void LayoutChanged() override { owner_->RefreshList(); }

 private:
  TDBLookupComboBox* owner_;
};

TDBLookupComboBox::TDBLookupComboBox(TComponent* owner)
    : TCustomComboBox(owner),
      TFieldDataControl(this),
      listLink_(std::make_unique<TListLink>(this)) {
  SetStyle(csDropDownList);
  link_->OnDataChange = [this](TObject*) { DataChange(); };
  link_->OnUpdateData = [this](TObject*) {
    if (keyValue_.IsEmpty())
      Field()->Clear();
    else
      Field()->SetAsString(keyValue_);
  };
}

TDBLookupComboBox::~TDBLookupComboBox() {
  link_->OnDataChange = nullptr;
  link_->SetDataSource(nullptr);
  listLink_->SetDataSource(nullptr);
}

void TDBLookupComboBox::SetDataSource(TDataSource* source) { LinkSource(this, link_.get(), source); }

TDataSource* TDBLookupComboBox::ListSource() const { return listLink_->DataSource(); }

void TDBLookupComboBox::SetListSource(TDataSource* source) {
  LinkSource(this, listLink_.get(), source);
  RefreshList();
}

void TDBLookupComboBox::SetKeyField(const AnsiString& name) {
  keyField_ = name;
  RefreshList();
}

void TDBLookupComboBox::SetListField(const AnsiString& name) {
  listField_ = name;
  RefreshList();
}

void TDBLookupComboBox::Notification(TComponent* component, TOperation operation) {
  TCustomComboBox::Notification(component, operation);
  if (operation != opRemove) return;
  if (link_ && component == link_->DataSource()) link_->SetDataSource(nullptr);
  if (listLink_ && component == listLink_->DataSource()) {
    listLink_->SetDataSource(nullptr);
    RefreshList();
  }
}

// Reads key and list text of every list record, keeping the list
// dataset's position.
void TDBLookupComboBox::RefreshList() {
  keys_.clear();
  {
    TUpdateScope update(Items());
    Items()->Clear();
    TDataSet* ds = listLink_ ? listLink_->DataSet() : nullptr;
    if (ds && ds->Active() && !keyField_.IsEmpty()) {
      TField* key = ds->FieldByName(keyField_);
      TField* text = ds->FieldByName(listField_.IsEmpty() ? keyField_ : listField_);
      TControlsDisabler disabled(ds);
      TBookmarkKeeper position(ds);
      for (ds->First(); !ds->Eof(); ds->Next()) {
        keys_.push_back(key->AsString());
        Items()->Add(text->DisplayText());
      }
    }
  }
  DataChange();
}

void TDBLookupComboBox::DataChange() {
  if (link_ && Field()) keyValue_ = Field()->IsNull() ? AnsiString() : Field()->AsString();
  int index = -1;
  for (size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == keyValue_) index = static_cast<int>(i);
  SetItemIndex(index);
}

void TDBLookupComboBox::SetKeyValue(const AnsiString& key) {
  keyValue_ = key;
  int index = -1;
  for (size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == key) index = static_cast<int>(i);
  SetItemIndex(index);
}

void TDBLookupComboBox::Select() {
  int i = ItemIndex();
  if (i >= 0 && i < static_cast<int>(keys_.size())) {
    if (Field() && !(link_->CanModify() && link_->Edit())) {
      DataChange();  // refused: the field's value stays shown
      return;
    }
    keyValue_ = keys_[i];
    if (Field()) {
      link_->MarkModified();
      link_->UpdateRecord();
    }
  }
  TCustomComboBox::Select();
}

// --- TDBNavigator --------------------------------------------------------------------------

class TDBNavigator::TNavLink : public TDataLink {
 public:
  explicit TNavLink(TDBNavigator* nav) : nav_(nav) {}

 protected:
  void ActiveChanged() override { nav_->UpdateButtons(); }
  void DataSetChanged() override { nav_->UpdateButtons(); }
  void EditingChanged() override { nav_->UpdateButtons(); }

 private:
  TDBNavigator* nav_;
};

namespace {
const char* const kNavHints[] = {"第一条", "上一条", "下一条", "最后一条", "插入", "删除",
                                 "编辑", "保存", "取消", "刷新"};

// The buttons' glyphs, drawn once per button: two 12 x 12 cells side by
// side, enabled (black) and disabled (grey with a white shadow one pixel
// down and right, as the system's disabled glyphs look).  The background is
// fuchsia, which the bottom-left pixel makes the transparent colour.
constexpr int kGlyphSize = 12;

void DrawNavShape(QPainter& p, TNavigateBtn button, const QColor& colour, int dx, int dy) {
  p.save();
  p.translate(dx, dy);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  const auto triangle = [&](int tipX, int dir) {  // pointing left (dir -1) or right (+1)
    for (int i = 0; i <= 4; ++i) p.fillRect(tipX - dir * i, 6 - i, 1, 2 * i + 1, colour);
  };
  const auto thick = [&](const std::vector<QPoint>& points) {  // two-pixel-wide strokes
    QPen pen(colour, 1);
    pen.setCosmetic(true);
    p.setPen(pen);
    for (size_t i = 0; i + 1 < points.size(); ++i) {
      p.drawLine(points[i], points[i + 1]);
      p.drawLine(points[i] + QPoint(0, 1), points[i + 1] + QPoint(0, 1));
    }
    p.setPen(Qt::NoPen);
  };
  switch (button) {
    case nbFirst: p.fillRect(2, 2, 2, 9, colour); triangle(5, -1); break;
    case nbPrior: triangle(4, -1); break;
    case nbNext: triangle(7, 1); break;
    case nbLast: triangle(6, 1); p.fillRect(8, 2, 2, 9, colour); break;
    case nbInsert: p.fillRect(2, 5, 8, 2, colour); p.fillRect(5, 2, 2, 8, colour); break;
    case nbDelete: p.fillRect(2, 5, 8, 2, colour); break;
    case nbEdit:
      for (int i = 0; i <= 4; ++i) p.fillRect(5 - i, 3 + i, 2 * i + 2, 1, colour);
      break;
    case nbPost: thick({{1, 5}, {4, 8}, {10, 2}}); break;
    case nbCancel:
      thick({{2, 2}, {9, 9}});
      thick({{9, 2}, {2, 9}});
      break;
    case nbRefresh: {
      QPen pen(colour, 2);
      pen.setCapStyle(Qt::FlatCap);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRect(2, 2, 8, 8), 90 * 16, 270 * 16);  // open at the top right
      p.setPen(Qt::NoPen);
      for (int i = 0; i <= 2; ++i) p.fillRect(6 + i, 0 + i, 1, 5 - 2 * i, colour);  // head, pointing right
      break;
    }
  }
  p.restore();
}

void SetNavGlyph(TSpeedButton* button, TNavigateBtn which) {
  QImage image(2 * kGlyphSize, kGlyphSize, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 255));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  DrawNavShape(p, which, Qt::black, 0, 0);
  DrawNavShape(p, which, Qt::white, kGlyphSize + 1, 1);
  DrawNavShape(p, which, QColor(128, 128, 128), kGlyphSize, 0);
  p.end();
  TBitmap glyph;
  glyph.SetImage(image);
  button->SetGlyph(&glyph);
  button->SetNumGlyphs(2);
}
}  // namespace

TDBNavigator::TDBNavigator(TComponent* owner) : TCustomPanel(owner), link_(std::make_unique<TNavLink>(this)) {
  SetBevelOuter(bvNone);
  SetBounds(0, 0, 240, 25);
  for (int b = nbFirst; b <= nbRefresh; ++b) {
    auto* btn = new TSpeedButton(nullptr);
    btn->SetParent(this);
    auto which = static_cast<TNavigateBtn>(b);
    SetNavGlyph(btn, which);
    btn->SetHint(kNavHints[b]);
    btn->SetShowHint(true);
    btn->OnClick = [this, which](TObject*) { BtnClick(which); };
    buttons_[b] = btn;
  }
  Arrange();
  UpdateButtons();
}

TDBNavigator::~TDBNavigator() {
  link_->SetDataSource(nullptr);
  for (TSpeedButton*& b : buttons_) {
    delete b;
    b = nullptr;
  }
}

TDataSource* TDBNavigator::DataSource() const { return link_->DataSource(); }

void TDBNavigator::SetDataSource(TDataSource* source) {
  LinkSource(this, link_.get(), source);
  UpdateButtons();
}

void TDBNavigator::Notification(TComponent* component, TOperation operation) {
  TCustomPanel::Notification(component, operation);
  if (operation == opRemove && link_ && component == link_->DataSource()) {
    link_->SetDataSource(nullptr);
    UpdateButtons();
  }
}

void TDBNavigator::SetVisibleButtons(const TNavButtonSet& v) {
  visible_ = v;
  Arrange();
}

void TDBNavigator::Resize() {
  Arrange();
  TCustomPanel::Resize();
}

// Visible buttons share the width equally, the rest going to the last.
void TDBNavigator::Arrange() {
  int n = 0;
  for (int b = nbFirst; b <= nbRefresh; ++b)
    if (buttons_[b]) n += visible_.Contains(static_cast<TNavigateBtn>(b)) ? 1 : 0;
  if (n == 0) return;
  int w = Width() / n, x = 0, shown = 0;
  for (int b = nbFirst; b <= nbRefresh; ++b) {
    if (!buttons_[b]) continue;
    bool vis = visible_.Contains(static_cast<TNavigateBtn>(b));
    buttons_[b]->SetVisible(vis);
    if (!vis) continue;
    int bw = ++shown == n ? Width() - x : w;
    buttons_[b]->SetBounds(x, 0, bw, Height());
    x += bw;
  }
}

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const {
  TDataSet* ds = link_->DataSet();
  if (!Enabled() || !link_->Active() || !ds) return false;
  bool editing = ds->State() == dsEdit || ds->State() == dsInsert;
  bool canModify = ds->CanModify();
  switch (button) {
    case nbFirst: case nbPrior: return !ds->Bof();
    case nbNext: case nbLast: return !ds->Eof();
    case nbInsert: return canModify;
    case nbDelete: return canModify && !(ds->Bof() && ds->Eof());
    case nbEdit: return canModify && !editing;
    case nbPost: case nbCancel: return editing;
    case nbRefresh: return !editing;
  }
  return false;
}

void TDBNavigator::UpdateButtons() {
  for (int b = nbFirst; b <= nbRefresh; ++b)
    if (buttons_[b]) buttons_[b]->SetEnabled(ButtonEnabled(static_cast<TNavigateBtn>(b)));
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
  TDataSet* ds = link_->DataSet();
  if (!ds || !ButtonEnabled(button)) return;
  if (BeforeAction) BeforeAction(this, button);
  switch (button) {
    case nbFirst: ds->First(); break;
    case nbPrior: ds->Prior(); break;
    case nbNext: ds->Next(); break;
    case nbLast: ds->Last(); break;
    case nbInsert: ds->Insert(); break;
    case nbEdit: ds->Edit(); break;
    case nbCancel: ds->Cancel(); break;
    case nbPost: ds->Post(); break;
    case nbRefresh: ds->Refresh(); break;
    case nbDelete:
      if (!confirmDelete_ || MessageDlg("删除当前记录吗?", mtConfirmation, mbOKCancel, 0) == mrOk) ds->Delete();
      break;
  }
  UpdateButtons();
  if (OnClick) OnClick(this, button);
}

// --- published ---------------------------------------------------------------------------

PAYROLL_PUBLISH(TDBEdit) {
  p.Property("DataField", &TDBEdit::DataField, &TDBEdit::SetDataField);
  p.Property("DataSource", &TDBEdit::DataSource, &TDBEdit::SetDataSource);
  p.Property("ReadOnly", &TDBEdit::ReadOnly, &TDBEdit::SetReadOnly).Default(false);
}

PAYROLL_PUBLISH(TDBText) {
  p.Property("DataField", &TDBText::DataField, &TDBText::SetDataField);
  p.Property("DataSource", &TDBText::DataSource, &TDBText::SetDataSource);
}

PAYROLL_PUBLISH(TDBComboBox) {
  p.Property("DataField", &TDBComboBox::DataField, &TDBComboBox::SetDataField);
  p.Property("DataSource", &TDBComboBox::DataSource, &TDBComboBox::SetDataSource);
  p.Property("ReadOnly", &TDBComboBox::ReadOnly, &TDBComboBox::SetReadOnly).Default(false);
}

PAYROLL_PUBLISH(TDBLookupComboBox) {
  p.Property("DataField", &TDBLookupComboBox::DataField, &TDBLookupComboBox::SetDataField);
  p.Property("DataSource", &TDBLookupComboBox::DataSource, &TDBLookupComboBox::SetDataSource);
  p.Property("KeyField", &TDBLookupComboBox::KeyField, &TDBLookupComboBox::SetKeyField);
  p.Property("ListField", &TDBLookupComboBox::ListField, &TDBLookupComboBox::SetListField);
  p.Property("ListSource", &TDBLookupComboBox::ListSource, &TDBLookupComboBox::SetListSource);
}

PAYROLL_PUBLISH(TDBNavigator) {
  p.Property("DataSource", &TDBNavigator::DataSource, &TDBNavigator::SetDataSource);
  p.Property("VisibleButtons", &TDBNavigator::VisibleButtons, &TDBNavigator::SetVisibleButtons);
  p.Property("ConfirmDelete", &TDBNavigator::ConfirmDelete, &TDBNavigator::SetConfirmDelete).Default(true);
  p.Event("BeforeAction", &TDBNavigator::BeforeAction);
  p.Event("OnClick", &TDBNavigator::OnClick);
}

void RegisterDataControls() {
  RegisterClasses<TDBEdit, TDBText, TDBComboBox, TDBLookupComboBox, TDBNavigator, TDBGrid>();
}
