// The plain data-aware grid over a Qt table widget.
#include "platform/ui/DBGrids.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QGuiApplication>
#include <QTableWidget>
#include <algorithm>

#include "platform/core/ScopeGuards.h"
#include "platform/data/Fields.h"
#include "platform/ui/ControlsInt.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtText.h"

// --- columns -------------------------------------------------------------------

void TColumnTitle::SetCaption(const AnsiString& c) {
  caption_ = c;
  if (OnChange) OnChange();
}

TColumn::TColumn(TCollection* collection)
    : TCollectionItem(collection), title_(std::make_unique<TColumnTitle>()) {
  title_->OnChange = [this] { Changed(true); };
  if (auto* cols = dynamic_cast<TDBGridColumns*>(collection)) {
    cols->ready_.push_back(this);
    Changed(true);
  }
}

void TColumn::SetFieldName(const AnsiString& n) { fieldName_ = n; Changed(true); }
void TColumn::SetWidth(int w) { width_ = w; Changed(true); }
void TColumn::SetReadOnly(bool v) { readOnly_ = v; Changed(true); }
void TColumn::SetVisible(bool v) { visible_ = v; Changed(true); }
void TColumn::SetAlignment(TAlignment a) { alignment_ = a; Changed(true); }

TField* TColumn::Field() const {
  auto* cols = dynamic_cast<TDBGridColumns*>(Collection());
  if (!cols || !cols->Grid()->DataSource() || !cols->Grid()->DataSource()->DataSet()) return nullptr;
  return cols->Grid()->DataSource()->DataSet()->FindField(fieldName_);
}

void TColumn::Assign(TPersistent* source) {
  if (auto* c = dynamic_cast<TColumn*>(source)) {
    fieldName_ = c->fieldName_;
    title_->SetCaption(c->title_->Caption());
    title_->SetAlignment(c->title_->Alignment());
    width_ = c->width_;
    readOnly_ = c->readOnly_;
    visible_ = c->visible_;
    alignment_ = c->alignment_;
    Changed(true);
    return;
  }
  TCollectionItem::Assign(source);
}

TDBGridColumns::TDBGridColumns(TDBGrid* grid) : TOwnedCollection(grid, ItemClassOf<TColumn>()), grid_(grid) {}

void TDBGridColumns::Update(TCollectionItem*) { grid_->LayoutChanged(); }

bool TDBGridColumns::IsReady(const TCollectionItem* item) const {
  return std::find(ready_.begin(), ready_.end(), item) != ready_.end();
}

void TDBGridColumns::Deleting(TCollectionItem* item) {
  ready_.erase(std::remove(ready_.begin(), ready_.end(), item), ready_.end());
}

// --- the data link ---------------------------------------------------------------

class TDBGrid::TGridLink : public TDataLink {
 public:
  explicit TGridLink(TDBGrid* grid) : grid_(grid) {}
  bool reading = false;

 protected:
  void ActiveChanged() override {
    grid_->selectedRows_->Clear();  // bookmarks of another opening mean nothing
    if (!reading) grid_->LayoutChanged();
  }
  void LayoutChanged() override { if (!reading) grid_->LayoutChanged(); }
  void DataSetChanged() override { if (!reading) grid_->DataChanged(); }
  void DataSetScrolled(int) override { if (!reading) grid_->CursorMoved(); }
  void RecordChanged(TField*) override { if (!reading) grid_->RecordChanged(); }
  void UpdateData() override { if (!reading) grid_->CommitEditor(); }

 private:
  TDBGrid* grid_;
};

// --- TDBGrid -----------------------------------------------------------------------

TDBGrid::TDBGrid(TComponent* owner)
    : TCustomControl(owner, new QTableWidget), link_(std::make_unique<TGridLink>(this)),
      columns_(std::make_unique<TDBGridColumns>(this)),
      selectedRows_(std::make_unique<TBookmarkList>(this)) {
  table_ = static_cast<QTableWidget*>(Surface());
  SetColor(clWindow);
  SetBounds(0, 0, 320, 120);
  table_->setFocusPolicy(Qt::StrongFocus);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  BridgeInnerWidget(table_->viewport());
  QObject::connect(table_, &QTableWidget::currentCellChanged, SignalContext(),
                   Guarded([this](int row, int column, int oldRow, int oldColumn) {
                     if (syncing_) return;
                     if (row != oldRow && row >= 0) RowChosen(row);
                     if (column != oldColumn && OnColEnter) OnColEnter(this);
                   }));
  QObject::connect(table_, &QTableWidget::itemChanged, SignalContext(), Guarded([this](QTableWidgetItem* item) {
                     if (!syncing_) CellEdited(item->row(), item->column());
                   }));
  QObject::connect(table_, &QTableWidget::cellClicked, SignalContext(), Guarded([this](int row, int column) {
                     if (options_.Contains(dgMultiSelect) && row == CurrentRow() &&
                         (QGuiApplication::keyboardModifiers() & Qt::ControlModifier))
                       selectedRows_->SetCurrentRowSelected(!selectedRows_->CurrentRowSelected());
                     if (OnCellClick) OnCellClick(this, column < static_cast<int>(shown_.size()) ? shown_[column].field : nullptr);
                   }));
  SetOptions(options_);
}

TDBGrid::~TDBGrid() {
  DetachSurface();
  table_ = nullptr;
  link_->SetDataSource(nullptr);
  FreeBookmarks();
}

TDataSource* TDBGrid::DataSource() const { return link_->DataSource(); }

void TDBGrid::SetDataSource(TDataSource* source) {
  link_->SetDataSource(source);
  if (source) source->FreeNotification(this);
  LayoutChanged();
}

void TDBGrid::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && link_ && component == link_->DataSource()) {
    link_->SetDataSource(nullptr);
    LayoutChanged();
  }
}

void TDBGrid::Loaded() {
  TWinControl::Loaded();
  LayoutChanged();
}

void TDBGrid::SetOptions(const TDBGridOptions& o) {
  options_ = o;
  if (options_.Contains(dgRowSelect)) options_ >> dgEditing >> dgAlwaysShowEditor;
  if (!table_) return;
  table_->horizontalHeader()->setVisible(options_.Contains(dgTitles));
  table_->verticalHeader()->setVisible(options_.Contains(dgIndicator));
  table_->setShowGrid(options_.Contains(dgColLines) || options_.Contains(dgRowLines));
  table_->setSelectionBehavior(options_.Contains(dgRowSelect) ? QAbstractItemView::SelectRows
                                                              : QAbstractItemView::SelectItems);
  table_->horizontalHeader()->setSectionResizeMode(
      options_.Contains(dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
  table_->setTabKeyNavigation(options_.Contains(dgTabs));
  SetReadOnly(readOnly_);
}

void TDBGrid::SetReadOnly(bool v) {
  readOnly_ = v;
  if (!table_) return;
  bool editing = options_.Contains(dgEditing) && !readOnly_;
  table_->setEditTriggers(editing ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                        QAbstractItemView::AnyKeyPressed
                                  : QAbstractItemView::NoEditTriggers);
}

bool TDBGrid::WantsKey(std::uint16_t vk, TShiftState) const {
  return vk == VK_TAB && options_.Contains(dgTabs);
}

TDataSet* TDBGrid::GridDataSet() const { return link_->Active() ? link_->DataSet() : nullptr; }

// ---- marked records ----

size_t TBookmarkList::Find(const TBookmarkStr& bookmark, bool& found) const {
  TDataSet* ds = grid_->GridDataSet();
  auto less = [ds](const TBookmarkStr& a, const TBookmarkStr& b) {
    return ds->CompareBookmarks(const_cast<char*>(a.data()), const_cast<char*>(b.data())) < 0;
  };
  auto at = std::lower_bound(list_.begin(), list_.end(), bookmark, less);
  found = at != list_.end() && !less(bookmark, *at);
  return static_cast<size_t>(at - list_.begin());
}

bool TBookmarkList::Contains(const TBookmarkStr& bookmark) const {
  bool found = false;
  if (!list_.empty() && grid_->GridDataSet()) Find(bookmark, found);
  return found;
}

bool TBookmarkList::CurrentRowSelected() const {
  TDataSet* ds = grid_->GridDataSet();
  if (!ds || ds->IsEmpty() || list_.empty()) return false;
  bool found = false;
  Find(ds->Bookmark(), found);
  return found;
}

void TBookmarkList::SetCurrentRowSelected(bool value) {
  TDataSet* ds = grid_->GridDataSet();
  if (!ds || ds->IsEmpty() || ds->State() == dsInsert) return;
  const TBookmarkStr current = ds->Bookmark();
  bool found = false;
  size_t at = Find(current, found);
  if (found == value) return;
  if (value)
    list_.insert(list_.begin() + static_cast<std::ptrdiff_t>(at), current);
  else
    list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(at));
  grid_->MarkRow(grid_->CurrentRow(), value);
}

void TBookmarkList::Clear() {
  if (list_.empty()) return;
  list_.clear();
  if (grid_->table_)
    for (int r = 0; r < grid_->table_->rowCount(); ++r) grid_->MarkRow(r, false);
}

// A marked row shows in the selection colours, whichever row is current.
void TDBGrid::MarkRow(int row, bool marked) {
  if (!table_ || row < 0 || row >= table_->rowCount()) return;
  // Colouring an item is a change of it: not one the user made.
  const bool wasSyncing = syncing_;
  syncing_ = true;
  TScopeExit done([&] { syncing_ = wasSyncing; });
  const QPalette& palette = table_->palette();
  for (int c = 0; c < table_->columnCount(); ++c) {
    QTableWidgetItem* item = table_->item(row, c);
    if (!item) continue;
    item->setBackground(marked ? palette.highlight() : QBrush());
    item->setForeground(marked ? palette.highlightedText() : QBrush());
  }
}

void TDBGrid::FreeBookmarks() {
  for (TBookmark b : bookmarks_) TDataSet::FreeBookmark(b);
  bookmarks_.clear();
}

// The columns shown: the Columns items, or every visible field.
void TDBGrid::BuildColumns() {
  shown_.clear();
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (columns_->Count() > 0) {
    for (int i = 0; i < columns_->Count(); ++i) {
      if (!columns_->IsReady(columns_->TCollection::Items(i))) continue;
      TColumn* c = columns_->Items(i);
      if (!c->Visible()) continue;
      TField* f = ds ? ds->FindField(c->FieldName()) : nullptr;
      AnsiString title = c->Title()->Caption();
      if (title.IsEmpty()) title = f ? f->DisplayLabel() : c->FieldName();
      shown_.push_back({f, title, c->Width(), c->ReadOnly(), c->Alignment()});
    }
  } else if (ds) {
    for (int i = 0; i < ds->FieldCount(); ++i) {
      TField* f = ds->Fields()->Fields(i);
      if (f->Visible()) shown_.push_back({f, f->DisplayLabel(), 64, false, taLeftJustify});
    }
  }
}

void TDBGrid::LayoutChanged() {
  if (!table_ || ComponentState().Contains(csLoading)) return;
  BuildColumns();
  syncing_ = true;
  table_->setColumnCount(static_cast<int>(shown_.size()));
  QStringList titles;
  for (size_t i = 0; i < shown_.size(); ++i) {
    titles << ToQString(shown_[i].title);
    table_->setColumnWidth(static_cast<int>(i), shown_[i].width);
  }
  table_->setHorizontalHeaderLabels(titles);
  syncing_ = false;
  DataChanged();
}

void TDBGrid::FillRow(int row) {
  if (row < 0 || row >= table_->rowCount()) return;
  syncing_ = true;
  for (size_t c = 0; c < shown_.size(); ++c) {
    TField* f = shown_[c].field;
    auto* item = new QTableWidgetItem(f ? ToQString(f->DisplayText()) : QString());
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (f && !shown_[c].readOnly && f->CanModify()) flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    Qt::Alignment align = shown_[c].alignment == taRightJustify ? Qt::AlignRight
                          : shown_[c].alignment == taCenter    ? Qt::AlignHCenter
                                                               : Qt::AlignLeft;
    item->setTextAlignment(align | Qt::AlignVCenter);
    table_->setItem(row, static_cast<int>(c), item);
  }
  const TBookmark mark = row < static_cast<int>(bookmarks_.size()) ? bookmarks_[row] : nullptr;
  if (mark && selectedRows_->Count() > 0)
    MarkRow(row, selectedRows_->Contains(TBookmarkStr(mark, static_cast<size_t>(link_->DataSet()->BookmarkSize()))));
  syncing_ = false;
}

// Reads every record, keeping the cursor where it was.
void TDBGrid::ReadRows() {
  FreeBookmarks();
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  syncing_ = true;
  table_->setRowCount(0);
  syncing_ = false;
  if (!ds) return;
  link_->reading = true;
  TScopeExit readingDone([this] {
    link_->reading = false;
    syncing_ = false;
  });
  TControlsDisabler disabled(ds);
  TBookmarkKeeper position(ds);
  int row = 0;
  for (ds->First(); !ds->Eof(); ds->Next(), ++row) {
    syncing_ = true;
    table_->setRowCount(row + 1);
    syncing_ = false;
    bookmarks_.push_back(ds->GetBookmark());
    FillRow(row);
  }
}

void TDBGrid::DataChanged() {
  if (!table_) return;
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (ds && ds->State() == dsInsert) {
    // The new record is not in the table yet: it gets a row of its own
    // before the current one (at the end for an append).
    if (CurrentRow() < 0 || bookmarks_.empty() || bookmarks_[CurrentRow()] != nullptr) {
      int at = CurrentRow() < 0 ? table_->rowCount() : CurrentRow();
      if (ds->Eof()) at = table_->rowCount();
      syncing_ = true;
      table_->insertRow(at);
      bookmarks_.insert(bookmarks_.begin() + at, nullptr);
      table_->setCurrentCell(at, std::max(table_->currentColumn(), 0));
      syncing_ = false;
      FillRow(at);
    } else {
      FillRow(CurrentRow());
    }
    return;
  }
  if (ds && ds->State() == dsEdit) {
    FillRow(CurrentRow());
    return;
  }
  ReadRows();
  SelectCurrentRow();
}

void TDBGrid::SelectCurrentRow() {
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (!ds || ds->IsEmpty()) return;
  int found = -1;
  {
    TBookmarkKeeper here(ds);
    here.KeepPosition();
    for (size_t i = 0; i < bookmarks_.size() && found < 0; ++i)
      if (bookmarks_[i] && ds->CompareBookmarks(bookmarks_[i], here.Bookmark()) == 0)
        found = static_cast<int>(i);
  }
  syncing_ = true;
  if (found >= 0) table_->setCurrentCell(found, std::max(table_->currentColumn(), 0));
  syncing_ = false;
}

void TDBGrid::CursorMoved() {
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (!ds) return;
  int before = CurrentRow();
  SelectCurrentRow();
  if (CurrentRow() == before && before >= 0 && bookmarks_[before] == nullptr) DataChanged();
}

void TDBGrid::RecordChanged() { FillRow(CurrentRow()); }

// The record is about to be posted: a cell editor still open (the operator
// typed and then clicked something that takes no focus) hands its text to
// the item, which writes the field (CellEdited), and closes.
void TDBGrid::CommitEditor() {
  if (!table_ || syncing_) return;
  const QModelIndex at = table_->currentIndex();
  QWidget* editor = at.isValid() ? table_->indexWidget(at) : nullptr;
  if (!editor) return;
  QAbstractItemDelegate* delegate = table_->itemDelegateForIndex(at);
  emit delegate->commitData(editor);
  emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

int TDBGrid::CurrentRow() const { return table_ ? table_->currentRow() : -1; }
int TDBGrid::RowCount() const { return table_ ? table_->rowCount() : 0; }

AnsiString TDBGrid::CellText(int row, int column) const {
  QTableWidgetItem* item = table_ ? table_->item(row, column) : nullptr;
  return item ? FromQString(item->text()) : AnsiString();
}

TField* TDBGrid::SelectedField() const {
  int c = SelectedIndex();
  return c >= 0 && c < static_cast<int>(shown_.size()) ? shown_[c].field : nullptr;
}

int TDBGrid::SelectedIndex() const { return table_ ? table_->currentColumn() : -1; }

void TDBGrid::SetSelectedIndex(int column) {
  if (table_ && column >= 0 && column < table_->columnCount())
    table_->setCurrentCell(std::max(table_->currentRow(), 0), column);
}

// The user chose another row: the cursor follows (posting the record it
// leaves; a refused post keeps the highlight on that record).
void TDBGrid::RowChosen(int row) {
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (!ds || row < 0 || row >= static_cast<int>(bookmarks_.size())) return;
  try {
    // Post the record being left first: posting re-reads the rows (and
    // their bookmarks), so the target is looked up afterwards.
    if (ds->State() == dsEdit || ds->State() == dsInsert) ds->CheckBrowseMode();
    if (row >= static_cast<int>(bookmarks_.size()) || !bookmarks_[row]) return;
    ds->GotoBookmark(bookmarks_[row]);
  } catch (...) {
    DataChanged();
    SelectCurrentRow();
    throw;
  }
}

void TDBGrid::CellEdited(int row, int column) {
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (!ds || column < 0 || column >= static_cast<int>(shown_.size())) return;
  TField* f = shown_[column].field;
  if (!f) return;
  if (row != CurrentRow()) RowChosen(row);
  AnsiString text = CellText(row, column);
  if (!link_->Edit()) {
    FillRow(row);  // the dataset refused editing: the cell shows the field
    return;
  }
  try {
    f->SetText(text);
  } catch (...) {
    FillRow(row);
    throw;
  }
}

void TDBGrid::EditCell(int column, const AnsiString& text) {
  int row = CurrentRow();
  if (!table_ || row < 0 || column < 0 || column >= table_->columnCount()) return;
  QTableWidgetItem* item = table_->item(row, column);
  if (!item || !(item->flags() & Qt::ItemIsEditable) || !options_.Contains(dgEditing) || readOnly_) return;
  item->setText(ToQString(text));
}

void TDBGrid::KeyDown(std::uint16_t& key, TShiftState shift) {
  TWinControl::KeyDown(key, shift);
  TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
  if (!ds || key == 0) return;
  bool canEdit = options_.Contains(dgEditing) && !readOnly_ && ds->CanModify();
  switch (key) {
    case VK_INSERT:
      if (canEdit && shift.Empty()) {
        ds->Insert();
        key = 0;
      }
      break;
    case VK_DELETE:
      if (canEdit && shift == TShiftState{ssCtrl} && !ds->IsEmpty()) {
        if (!options_.Contains(dgConfirmDelete) ||
            MessageDlg("删除记录吗?", mtConfirmation, mbOKCancel, 0) == mrOk)
          ds->Delete();
        key = 0;
      }
      break;
    case VK_ESCAPE:
      if (ds->State() == dsEdit || ds->State() == dsInsert) {
        ds->Cancel();
        key = 0;
      }
      break;
    default:
      break;
  }
}

PAYROLL_PUBLISH(TColumnTitle) {
  p.Property("Alignment", &TColumnTitle::Alignment, &TColumnTitle::SetAlignment).Default(taLeftJustify);
  p.Property("Caption", &TColumnTitle::Caption, &TColumnTitle::SetCaption);
}

PAYROLL_PUBLISH(TColumn) {
  p.Property("Alignment", &TColumn::Alignment, &TColumn::SetAlignment).Default(taLeftJustify);
  p.Property("FieldName", &TColumn::FieldName, &TColumn::SetFieldName);
  p.Property("ReadOnly", &TColumn::ReadOnly, &TColumn::SetReadOnly).Default(false);
  p.Property("Title", &TColumn::Title);
  p.Property("Visible", &TColumn::Visible, &TColumn::SetVisible).Default(true);
  p.Property("Width", &TColumn::Width, &TColumn::SetWidth);
}

PAYROLL_PUBLISH(TDBGridColumns) {}

PAYROLL_PUBLISH(TDBGrid) {
  p.Property("Columns", &TDBGrid::Columns);
  p.Property("DataSource", &TDBGrid::DataSource, &TDBGrid::SetDataSource);
  p.Property("Options", &TDBGrid::Options, &TDBGrid::SetOptions)
      .Default(TDBGridOptions{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines,
                              dgTabs, dgConfirmDelete, dgCancelOnExit});
  p.Property("ReadOnly", &TDBGrid::ReadOnly, &TDBGrid::SetReadOnly).Default(false);
  p.Event("OnColEnter", &TDBGrid::OnColEnter);
  p.Event("OnCellClick", &TDBGrid::OnCellClick);
}
