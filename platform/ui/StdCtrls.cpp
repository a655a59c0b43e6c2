// The standard controls over Qt widgets.
#include "platform/ui/StdCtrls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "platform/core/AnsiText.h"
#include "platform/ui/ControlsInt.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"

namespace {

// The longest prefix of text that fits in maxBytes without splitting a
// double-byte character.
AnsiString ClipToBytes(const AnsiString& text, int maxBytes) {
  if (maxBytes <= 0 || text.Length() <= maxBytes) return text;
  int n = maxBytes;
  if (ByteTypeAt(text, static_cast<size_t>(n - 1)) == mbLeadByte) --n;
  return text.substr(0, static_cast<size_t>(n));
}

}  // namespace

// --- TCustomLabel -------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }
void TCustomLabel::SetAutoSize(bool v) { autoSize_ = v; AdjustBounds(); }
void TCustomLabel::SetTransparent(bool v) { transparent_ = v; Invalidate(); }
void TCustomLabel::SetWordWrap(bool v) { wordWrap_ = v; AdjustBounds(); Invalidate(); }
void TCustomLabel::SetLayout(TTextLayout l) { layout_ = l; Invalidate(); }
void TCustomLabel::SetShowAccelChar(bool v) { showAccelChar_ = v; AdjustBounds(); Invalidate(); }

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

unsigned TCustomLabel::DrawFlags() const {
  unsigned f = DT_EXPANDTABS;
  if (wordWrap_) f |= DT_WORDBREAK;
  if (!showAccelChar_) f |= DT_NOPREFIX;
  if (alignment_ == taRightJustify) f |= DT_RIGHT;
  if (alignment_ == taCenter) f |= DT_CENTER;
  return f;
}

void TCustomLabel::TextChanged() {
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::FontChanged() {
  TGraphicControl::FontChanged();
  AdjustBounds();
}

// AutoSize: the label takes the size of its text (keeping its width when
// it wraps); a right-aligned label keeps its right edge.
void TCustomLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  TRect r(0, 0, wordWrap_ ? Width() : 0, 0);
  AnsiString text = Caption();
  if (text.IsEmpty()) text = " ";
  try {
    c->DrawText(text, r, DrawFlags() | DT_CALCRECT);
  } catch (const Exception&) {
    return;  // no metrics yet
  }
  int left = Left();
  if (alignment_ == taRightJustify) left = Left() + Width() - r.Width();
  SetBounds(left, Top(), r.Width(), r.Height());
}

void TCustomLabel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (!transparent_) {
    c->Brush()->SetColor(Color());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  c->Brush()->SetStyle(bsClear);
  c->Font()->Assign(Font());
  AnsiString text = Caption();
  unsigned flags = DrawFlags();
  if (layout_ != tlTop) {
    TRect calc = r;
    c->DrawText(text, calc, flags | DT_CALCRECT);
    int dy = layout_ == tlCenter ? (r.Height() - calc.Height()) / 2 : r.Height() - calc.Height();
    r.Top += dy;
  }
  if (!Enabled()) {
    c->Font()->SetColor(clBtnHighlight);
    TRect shadow = r;
    OffsetRect(shadow, 1, 1);
    c->DrawText(text, shadow, flags);
    c->Font()->SetColor(clBtnShadow);
  }
  c->DrawText(text, r, flags);
}

// --- TCustomEdit -------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
  if (dynamic_cast<TCustomMemo*>(this)) return;  // memos install their own widget
  edit_ = new QLineEdit;
  edit_->setFocusPolicy(Qt::StrongFocus);
  SetWidget(edit_);
  QObject::connect(edit_, &QLineEdit::textEdited, SignalContext(),
                   Guarded([this](const QString&) { UserEdited(); }));
  QObject::connect(edit_, &QLineEdit::textChanged, SignalContext(), Guarded([this](const QString&) {
                     if (!settingText_) Change();
                   }));
}

TCustomEdit::~TCustomEdit() { DetachSurface(); }

AnsiString TCustomEdit::Conform(const AnsiString& text) const {
  AnsiString s = text;
  if (charCase_ == ecUpperCase) s = AnsiUpperCase(s);
  if (charCase_ == ecLowerCase) s = AnsiLowerCase(s);
  return ClipToBytes(s, maxLength_);
}

void TCustomEdit::UserEdited() {
  AnsiString typed = FromQString(edit_->text());
  AnsiString conformed = Conform(typed);
  if (conformed != typed) {
    int cursor = edit_->cursorPosition();
    settingText_ = true;
    edit_->setText(ToQString(conformed));
    settingText_ = false;
    edit_->setCursorPosition(std::min(cursor, static_cast<int>(edit_->text().size())));
    Change();
  }
  modified_ = true;
}

void TCustomEdit::Change() {
  Perform(CM_TEXTCHANGED);
  if (OnChange) OnChange(this);
}

AnsiString TCustomEdit::GetText() const { return edit_ ? FromQString(edit_->text()) : AnsiString(); }

void TCustomEdit::SetTextValue(const AnsiString& text) {
  if (!edit_) return;
  // Text set by the program is not limited by MaxLength, as in the class
  // library; only typing and pasting are.
  AnsiString s = text;
  if (charCase_ == ecUpperCase) s = AnsiUpperCase(s);
  if (charCase_ == ecLowerCase) s = AnsiLowerCase(s);
  if (s == GetText()) return;
  settingText_ = true;
  edit_->setText(ToQString(s));
  settingText_ = false;
  modified_ = false;
  Change();
}

void TCustomEdit::SetMaxLength(int n) {
  maxLength_ = std::max(n, 0);
}

void TCustomEdit::SetPasswordChar(char c) {
  passwordChar_ = c;
  if (!edit_) return;
  edit_->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
  if (c)
    edit_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                             .arg(static_cast<int>(static_cast<unsigned char>(c))));
  else
    edit_->setStyleSheet(QString());
}

void TCustomEdit::SetCharCase(TEditCharCase c) {
  charCase_ = c;
  if (c != ecNormal) SetTextValue(GetText());
}

void TCustomEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  if (edit_) edit_->setReadOnly(v);
}

void TCustomEdit::SetBorderStyle(TBorderStyle s) {
  borderStyle_ = s;
  if (edit_) edit_->setFrame(s != bsNone);
}

int TCustomEdit::SelStart() const {
  if (!edit_) return 0;
  QString t = edit_->text();
  int start = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
  return CharIndexToByteOffset(t, start);
}

void TCustomEdit::SetSelStart(int bytes) {
  if (!edit_) return;
  edit_->deselect();
  edit_->setCursorPosition(ByteOffsetToCharIndex(edit_->text(), bytes));
}

int TCustomEdit::SelLength() const {
  if (!edit_ || !edit_->hasSelectedText()) return 0;
  QString t = edit_->text();
  int s = edit_->selectionStart();
  return CharIndexToByteOffset(t, s + edit_->selectionLength()) - CharIndexToByteOffset(t, s);
}

void TCustomEdit::SetSelLength(int bytes) {
  if (!edit_) return;
  QString t = edit_->text();
  int start = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
  int startBytes = CharIndexToByteOffset(t, start);
  int end = ByteOffsetToCharIndex(t, startBytes + std::max(bytes, 0));
  edit_->setSelection(start, end - start);
}

AnsiString TCustomEdit::SelText() const { return edit_ ? FromQString(edit_->selectedText()) : AnsiString(); }

void TCustomEdit::SetSelText(const AnsiString& text) {
  if (!edit_) return;
  edit_->insert(ToQString(text));
}

void TCustomEdit::SelectAll() {
  if (edit_) edit_->selectAll();
}

void TCustomEdit::SetTextMargins(int left, int top, int right, int bottom) {
  textMargins_ = TRect(left, top, right, bottom);
  if (edit_) edit_->setTextMargins(left, top, right, bottom);
}

void TCustomEdit::ClearSelection() {
  if (edit_ && edit_->hasSelectedText()) edit_->del();
}

void TCustomEdit::CopyToClipboard() { if (edit_) edit_->copy(); }
void TCustomEdit::CutToClipboard() { if (edit_) edit_->cut(); }
void TCustomEdit::PasteFromClipboard() {
  if (!edit_) return;
  edit_->paste();
  UserEdited();
}
bool TCustomEdit::CanUndo() const { return edit_ && edit_->isUndoAvailable(); }
void TCustomEdit::Undo() { if (edit_) edit_->undo(); }

void TCustomEdit::DoEnter() {
  if (autoSelect_ && edit_) edit_->selectAll();
  TWinControl::DoEnter();
}

bool TCustomEdit::WantsKey(std::uint16_t, TShiftState) const { return false; }

// --- TCustomMemo --------------------------------------------------------------------------

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner), lines_(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 185, 89);
  SetAutoSelect(false);
  memo_ = new QPlainTextEdit;
  memo_->setFocusPolicy(Qt::StrongFocus);
  memo_->setTabChangesFocus(true);
  SetWidget(memo_);
  SetWordWrap(true);
  lines_->OnChange = [this](TObject*) { LinesChanged(); };
  QObject::connect(memo_, &QPlainTextEdit::textChanged, SignalContext(), Guarded([this] {
                     if (syncing_) return;
                     syncing_ = true;
                     lines_->SetText(FromQString(memo_->toPlainText()));
                     syncing_ = false;
                     SetModified(true);
                     Change();
                   }));
}

TCustomMemo::~TCustomMemo() {
  lines_->OnChange = nullptr;
  DetachSurface();
}

void TCustomMemo::LinesChanged() {
  if (syncing_) return;
  syncing_ = true;
  AnsiString text = lines_->Text();
  // Text ends every line with CR LF; the memo shows no empty last line.
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  QString q = ToQString(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  memo_->setPlainText(q);
  syncing_ = false;
  Change();
}

AnsiString TCustomMemo::GetText() const {
  QString q = memo_ ? memo_->toPlainText() : QString();
  q.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return FromQString(q);
}

void TCustomMemo::SetTextValue(const AnsiString& text) { lines_->SetText(text); }

void TCustomMemo::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  memo_->setHorizontalScrollBarPolicy(s == ssHorizontal || s == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                        : Qt::ScrollBarAlwaysOff);
  memo_->setVerticalScrollBarPolicy(s == ssVertical || s == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                    : Qt::ScrollBarAlwaysOff);
}

void TCustomMemo::SetWordWrap(bool v) {
  wordWrap_ = v;
  memo_->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

bool TCustomMemo::WantsKey(std::uint16_t vk, TShiftState) const {
  if (vk == VK_RETURN) return wantReturns_;
  if (vk == VK_TAB) return wantTabs_;
  return false;
}

void TCustomMemo::SetSelText(const AnsiString& text) { memo_->insertPlainText(ToQString(text)); }

void TCustomMemo::ClearSelection() { memo_->textCursor().removeSelectedText(); }

void TCustomMemo::CopyToClipboard() { memo_->copy(); }

void TCustomMemo::CutToClipboard() {
  memo_->cut();
  UserEdited();
}

void TCustomMemo::PasteFromClipboard() {
  memo_->paste();
  UserEdited();
}

int TCustomMemo::SelStart() const {
  QTextCursor c = memo_->textCursor();
  QString t = memo_->toPlainText();
  // Bytes as the text with CR LF line ends counts them.
  int pos = c.selectionStart();
  return CharIndexToByteOffset(t, pos) + static_cast<int>(t.left(pos).count(QLatin1Char('\n')));
}

void TCustomMemo::SetSelStart(int bytes) {
  QString t = memo_->toPlainText();
  int b = 0, i = 0;
  for (; i < t.size() && b < bytes; ++i) b += t[i] == QLatin1Char('\n') ? 2 : (t[i].unicode() < 0x80 ? 1 : 2);
  QTextCursor c = memo_->textCursor();
  c.setPosition(i);
  memo_->setTextCursor(c);
}

int TCustomMemo::SelLength() const {
  QTextCursor c = memo_->textCursor();
  QString sel = c.selectedText();
  sel.replace(QChar(0x2029), QStringLiteral("\r\n"));
  return FromQString(sel).Length();
}

void TCustomMemo::SetSelLength(int bytes) {
  QString t = memo_->toPlainText();
  QTextCursor c = memo_->textCursor();
  int start = c.selectionStart();
  int b = 0, i = start;
  for (; i < t.size() && b < bytes; ++i) b += t[i] == QLatin1Char('\n') ? 2 : (t[i].unicode() < 0x80 ? 1 : 2);
  c.setPosition(start);
  c.setPosition(i, QTextCursor::KeepAnchor);
  memo_->setTextCursor(c);
}

// --- buttons -------------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

bool TButtonControl::WantsKey(std::uint16_t vk, TShiftState) const { return false; }

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 75, 25);
  button_ = new QPushButton;
  button_->setFocusPolicy(Qt::StrongFocus);
  button_->setAutoDefault(false);
  SetWidget(button_);
  QObject::connect(button_, &QPushButton::clicked, SignalContext(), Guarded([this](bool) { Click(); }));
}

TButton::~TButton() { DetachSurface(); }

AnsiString TButton::GetText() const { return FromQString(button_->text()); }

void TButton::SetTextValue(const AnsiString& text) {
  if (text == GetText()) return;
  button_->setText(ToQString(text));
  Perform(CM_TEXTCHANGED);
}

void TButton::SetDefault(bool v) {
  default_ = v;
  button_->setDefault(v);
}

void TButton::Click() {
  if (modalResult_ != mrNone)
    if (TCustomForm* form = GetParentForm()) form->SetModalResult(modalResult_);
  TButtonControl::Click();
}

// --- check boxes and radio buttons ---------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 97, 17);
  box_ = new QCheckBox;
  box_->setFocusPolicy(Qt::StrongFocus);
  SetWidget(box_);
  // The user's click cycles the state (through grayed when allowed) and
  // then runs OnClick, as a click on the class library's check box does.
  QObject::connect(box_, &QCheckBox::clicked, SignalContext(), Guarded([this](bool) {
                     TCheckBoxState next = state_ == cbUnchecked ? cbChecked
                                           : state_ == cbChecked && allowGrayed_ ? cbGrayed
                                                                                 : cbUnchecked;
                     SetState(next);
                   }));
}

TCustomCheckBox::~TCustomCheckBox() { DetachSurface(); }

AnsiString TCustomCheckBox::GetText() const { return FromQString(box_->text()); }

void TCustomCheckBox::SetTextValue(const AnsiString& text) {
  if (text == GetText()) return;
  box_->setText(ToQString(text));
  Perform(CM_TEXTCHANGED);
}

void TCustomCheckBox::SetState(TCheckBoxState s) {
  if (s == cbGrayed && !allowGrayed_ && state_ != cbGrayed) allowGrayed_ = true;
  bool changed = s != state_;
  state_ = s;
  box_->setTristate(allowGrayed_);
  box_->setCheckState(s == cbChecked ? Qt::Checked : s == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
  // Changing the state runs OnClick, also when the program does it.
  if (changed) Click();
}

void TCustomCheckBox::SetAllowGrayed(bool v) {
  allowGrayed_ = v;
  if (!v && state_ == cbGrayed) SetState(cbUnchecked);
  box_->setTristate(v);
}

void TCustomCheckBox::SetAlignment(TAlignment a) {
  alignment_ = a;
  box_->setLayoutDirection(a == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 113, 17);
  radio_ = new QRadioButton;
  radio_->setAutoExclusive(false);  // grouping is the parent's, done below
  radio_->setFocusPolicy(Qt::StrongFocus);
  SetWidget(radio_);
  QObject::connect(radio_, &QRadioButton::clicked, SignalContext(), Guarded([this](bool) {
                     if (checked_) {
                       radio_->setChecked(true);  // a second click does not uncheck
                       return;
                     }
                     SetChecked(true);
                   }));
}

TRadioButton::~TRadioButton() { DetachSurface(); }

AnsiString TRadioButton::GetText() const { return FromQString(radio_->text()); }

void TRadioButton::SetTextValue(const AnsiString& text) {
  if (text == GetText()) return;
  radio_->setText(ToQString(text));
  Perform(CM_TEXTCHANGED);
}

void TRadioButton::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  radio_->setChecked(v);
  if (v) {
    if (TWinControl* p = Parent())
      for (int i = 0; i < p->ControlCount(); ++i)
        if (auto* r = dynamic_cast<TRadioButton*>(p->Controls(i)); r && r != this) r->SetChecked(false);
    Click();
  }
}

// --- TCustomComboBox --------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TStringList>()) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
  combo_ = new QComboBox;
  combo_->setFocusPolicy(Qt::StrongFocus);
  combo_->setInsertPolicy(QComboBox::NoInsert);
  SetWidget(combo_);
  RebuildWidget();
  items_->OnChange = [this](TObject*) { ItemsChanged(); };
  QObject::connect(combo_, qOverload<int>(&QComboBox::activated), SignalContext(),
                   Guarded([this](int) {
                     if (syncing_) return;
                     Change();
                     Select();
                   }));
}

TCustomComboBox::~TCustomComboBox() {
  items_->OnChange = nullptr;
  DetachSurface();
}

void TCustomComboBox::RebuildWidget() {
  syncing_ = true;
  bool editable = style_ == csDropDown || style_ == csSimple;
  combo_->setEditable(editable);
  // A line edit is wired once (setEditable keeps it while editable).
  if (editable && combo_->lineEdit() && combo_->lineEdit() != wiredEdit_) {
    wiredEdit_ = combo_->lineEdit();
    BridgeInnerWidget(combo_->lineEdit());
    QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, SignalContext(),
                     Guarded([this](const QString& q) {
                       AnsiString s = FromQString(q);
                       AnsiString c = s;
                       if (charCase_ == ecUpperCase) c = AnsiUpperCase(c);
                       if (charCase_ == ecLowerCase) c = AnsiLowerCase(c);
                       c = ClipToBytes(c, maxLength_);
                       if (c != s) combo_->lineEdit()->setText(ToQString(c));
                       Change();
                     }));
  }
  syncing_ = false;
}

void TCustomComboBox::ItemsChanged() {
  AnsiString text = GetText();
  int index = combo_->currentIndex();
  syncing_ = true;
  combo_->clear();
  for (int i = 0; i < items_->Count(); ++i) combo_->addItem(ToQString(items_->Get(i)));
  if (style_ == csDropDownList) {
    combo_->setCurrentIndex(index < items_->Count() ? index : -1);
  } else {
    combo_->setCurrentIndex(-1);
    combo_->setEditText(ToQString(text));
  }
  syncing_ = false;
}

int TCustomComboBox::ItemIndex() const {
  if (style_ != csDropDownList) {
    // An edited text that is no item leaves no item selected.
    int i = combo_->currentIndex();
    if (i >= 0 && combo_->itemText(i) != combo_->currentText()) return -1;
    return i;
  }
  return combo_->currentIndex();
}

void TCustomComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= items_->Count()) index = -1;
  syncing_ = true;
  combo_->setCurrentIndex(index);
  if (index < 0 && combo_->isEditable()) combo_->setEditText(QString());
  syncing_ = false;
}

void TCustomComboBox::SetStyle(TComboBoxStyle s) {
  AnsiString text = GetText();
  style_ = s;
  RebuildWidget();
  ItemsChanged();
  if (s != csDropDownList) SetTextValue(text);
}

void TCustomComboBox::SetDropDownCount(int n) {
  dropDownCount_ = n;
  combo_->setMaxVisibleItems(std::max(n, 1));
}

bool TCustomComboBox::DroppedDown() const { return combo_->view() && combo_->view()->isVisible(); }

void TCustomComboBox::SetDroppedDown(bool v) {
  if (v) {
    if (OnDropDown) OnDropDown(this);
    combo_->showPopup();
  } else {
    combo_->hidePopup();
    if (OnCloseUp) OnCloseUp(this);
  }
}

void TCustomComboBox::Clear() {
  items_->Clear();
  SetTextValue(AnsiString());
}

AnsiString TCustomComboBox::GetText() const { return FromQString(combo_->currentText()); }

void TCustomComboBox::SetTextValue(const AnsiString& text) {
  syncing_ = true;
  if (combo_->isEditable()) {
    int i = items_->IndexOf(text);
    combo_->setCurrentIndex(i);
    combo_->setEditText(ToQString(text));
  } else {
    combo_->setCurrentIndex(items_->IndexOf(text));
  }
  syncing_ = false;
  Perform(CM_TEXTCHANGED);
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
  else if (OnClick) OnClick(this);
}

bool TCustomComboBox::WantsKey(std::uint16_t vk, TShiftState) const {
  // An open list takes Enter and Esc itself.
  return (vk == VK_RETURN || vk == VK_ESCAPE) && DroppedDown();
}

// --- TCustomListBox -------------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TStringList>()) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
  list_ = new QListWidget;
  list_->setFocusPolicy(Qt::StrongFocus);
  SetWidget(list_);
  BridgeInnerWidget(list_->viewport());
  items_->OnChange = [this](TObject*) { ItemsChanged(); };
  QObject::connect(list_, &QListWidget::itemClicked, SignalContext(),
                   Guarded([this](QListWidgetItem*) { Click(); }));
  QObject::connect(list_, &QListWidget::currentRowChanged, SignalContext(), Guarded([this](int) {
                     // Keyboard moves click too, as in the class library.
                     if (!syncing_ && !(QApplication::mouseButtons() & Qt::LeftButton)) Click();
                   }));
}

TCustomListBox::~TCustomListBox() {
  items_->OnChange = nullptr;
  DetachSurface();
}

void TCustomListBox::ItemsChanged() {
  int index = list_->currentRow();
  syncing_ = true;
  list_->clear();
  for (int i = 0; i < items_->Count(); ++i) list_->addItem(ToQString(items_->Get(i)));
  list_->setCurrentRow(index < items_->Count() ? index : -1);
  syncing_ = false;
}

int TCustomListBox::ItemIndex() const { return list_->currentRow(); }

void TCustomListBox::SetItemIndex(int index) {
  if (index < -1 || index >= items_->Count()) index = -1;
  syncing_ = true;
  list_->setCurrentRow(index);
  if (index < 0) list_->clearSelection();
  syncing_ = false;
}

void TCustomListBox::SetMultiSelect(bool v) {
  multiSelect_ = v;
  list_->setSelectionMode(v ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

bool TCustomListBox::Selected(int index) const {
  if (index < 0 || index >= items_->Count()) ListIndexError(index);
  return list_->item(index)->isSelected();
}

void TCustomListBox::SetSelected(int index, bool v) {
  if (index < 0 || index >= items_->Count()) ListIndexError(index);
  syncing_ = true;
  list_->item(index)->setSelected(v);
  syncing_ = false;
}

int TCustomListBox::SelCount() const {
  return multiSelect_ ? static_cast<int>(list_->selectedItems().size()) : -1;
}

void TCustomListBox::SetItemHeight(int h) {
  itemHeight_ = h;
}

int TCustomListBox::TopIndex() const {
  QListWidgetItem* it = list_->itemAt(2, 2);
  return it ? list_->row(it) : 0;
}

void TCustomListBox::SetTopIndex(int index) {
  if (index >= 0 && index < items_->Count())
    list_->scrollToItem(list_->item(index), QAbstractItemView::PositionAtTop);
}

int TCustomListBox::ItemAtPos(const TPoint& p, bool existing) const {
  QPoint vp = list_->viewport()->mapFrom(list_, QPoint(p.x, p.y));
  QListWidgetItem* it = list_->itemAt(vp);
  if (it) return list_->row(it);
  return existing ? -1 : items_->Count();
}

TRect TCustomListBox::ItemRect(int index) const {
  if (index < 0 || index >= items_->Count()) return TRect();
  QRect r = list_->visualItemRect(list_->item(index));
  QPoint tl = list_->viewport()->mapTo(list_, r.topLeft());
  return Bounds(tl.x(), tl.y(), r.width(), r.height());
}

bool TCustomListBox::WantsKey(std::uint16_t, TShiftState) const { return false; }

// --- TCustomGroupBox ---------------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 105);
  box_ = new QGroupBox;
  box_->setFocusPolicy(Qt::NoFocus);
  // An etched frame whose top edge runs through the middle of the caption
  // line, as the forms' layouts expect (the first controls sit 16 to 20
  // pixels down); the style's own group box puts the frame below the
  // caption, across those controls.
  box_->setStyleSheet(QStringLiteral("QGroupBox { border: 2px groove palette(mid); margin-top: 0.5em; }"
                                     "QGroupBox::title { subcontrol-origin: margin; left: 7px; padding: 0px 2px; }"));
  SetWidget(box_);
}

void TCustomGroupBox::AdjustClientRect(TRect& rect) const {
  // The caption takes a line at the top; the frame two pixels around.
  int captionHeight = box_ ? box_->fontMetrics().height() : 13;
  rect.Top += captionHeight;
  InflateRect(rect, -2, -2);
}

AnsiString TCustomGroupBox::GetText() const { return FromQString(box_->title()); }

void TCustomGroupBox::SetTextValue(const AnsiString& text) {
  if (text == GetText()) return;
  box_->setTitle(ToQString(text));
  Perform(CM_TEXTCHANGED);
}

// --- TScrollBar ------------------------------------------------------------------------------------------

TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetBounds(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL));
  bar_ = new QScrollBar(Qt::Horizontal);
  SetWidget(bar_);
  bar_->setRange(min_, max_);
  QObject::connect(bar_, &QScrollBar::actionTriggered, SignalContext(), Guarded([this](int action) {
                     if (syncing_) return;
                     TScrollCode code = scEndScroll;
                     switch (action) {
                       case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
                       case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
                       case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
                       case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
                       case QAbstractSlider::SliderToMinimum: code = scTop; break;
                       case QAbstractSlider::SliderToMaximum: code = scBottom; break;
                       case QAbstractSlider::SliderMove: code = scTrack; break;
                       default: break;
                     }
                     int pos = bar_->sliderPosition();
                     if (OnScroll) OnScroll(this, code, pos);
                     SetPosition(pos);
                   }));
}

TScrollBar::~TScrollBar() { DetachSurface(); }

void TScrollBar::SetKind(TScrollBarKind k) {
  if (k == kind_) return;
  kind_ = k;
  bar_->setOrientation(k == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
  SetBounds(Left(), Top(), Height(), Width());
}

void TScrollBar::SetSmallChange(int v) { smallChange_ = v; bar_->setSingleStep(v); }
void TScrollBar::SetLargeChange(int v) { largeChange_ = v; bar_->setPageStep(v); }
void TScrollBar::SetPageSize(int v) { pageSize_ = v; }

void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) throw EInvalidOperation("Scroll bar property out of range");
  position = std::clamp(position, min, max);
  bool changed = position != position_;
  min_ = min;
  max_ = max;
  position_ = position;
  syncing_ = true;
  bar_->setRange(min, max);
  bar_->setValue(position);
  syncing_ = false;
  if (changed && OnChange) OnChange(this);
}
