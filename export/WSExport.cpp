#include "export/WSExport.h"

#include <vector>

#include "export/WSEStat.h"
#include "platform/core/DesktopShell.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/core/TypInfo.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Cursors.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"

// ---- message table ---------------------------------------------------------------

AnsiString WSEDefaultText(int id) {
  // The other ids belong to export dialogs this program does not have.
  switch (id) {
    case kWseNotSpecified: return "Property %s wasn't specified.";
    case kWseUnsupportedGrid: return "Assigned DBGrid (%s) is not a supported type";
    case kWseGenerated: return "The %s file was successfully generated with exported data.";
    case kWseExportError: return "Error of data export.";
    case kWseExporting: return "Exporting...";
    case kWseCancelCaption: return "&Cancel";
    case kWseCanceled: return "Data export was canceled by user.";
    default: return AnsiString();
  }
}

// ---- columns ---------------------------------------------------------------------

TWSEColumnTitle::TWSEColumnTitle() : font_(std::make_unique<TFont>()) {}

void TWSEColumnTitle::Assign(TPersistent* source) {
  auto* t = dynamic_cast<TWSEColumnTitle*>(source);
  if (!t) return TPersistent::Assign(source);
  caption_ = t->caption_;
  color_ = t->color_;
  alignment_ = t->alignment_;
  font_->Assign(t->font_.get());
}

TWSEColumn::TWSEColumn(TCollection* collection)
    : TCollectionItem(collection),
      font_(std::make_unique<TFont>()),
      title_(std::make_unique<TWSEColumnTitle>()) {}

void TWSEColumn::Assign(TPersistent* source) {
  auto* c = dynamic_cast<TWSEColumn*>(source);
  if (!c) return TCollectionItem::Assign(source);
  fieldName_ = c->fieldName_;
  color_ = c->color_;
  width_ = c->width_;
  font_->Assign(c->font_.get());
  alignment_ = c->alignment_;
  visible_ = c->visible_;
  title_->Assign(c->title_.get());
}

TWSEColumns::TWSEColumns(TPersistent* owner) : TOwnedCollection(owner, ItemClassOf<TWSEColumn>()) {}

PAYROLL_PUBLISH(TWSEColumnTitle) {
  p.Property("Caption", &TWSEColumnTitle::Caption, &TWSEColumnTitle::SetCaption);
  p.Property("Color", &TWSEColumnTitle::Color, &TWSEColumnTitle::SetColor);
  p.Property("Alignment", &TWSEColumnTitle::Alignment, &TWSEColumnTitle::SetAlignment)
      .Default(taLeftJustify);
}

PAYROLL_PUBLISH(TWSEColumn) {
  p.Property("FieldName", &TWSEColumn::FieldName, &TWSEColumn::SetFieldName);
  p.Property("Color", &TWSEColumn::Color, &TWSEColumn::SetColor);
  p.Property("Width", &TWSEColumn::Width, &TWSEColumn::SetWidth);
  p.Property("Alignment", &TWSEColumn::Alignment, &TWSEColumn::SetAlignment).Default(taLeftJustify);
  p.Property("Visible", &TWSEColumn::Visible, &TWSEColumn::SetVisible).Default(true);
  p.Property("Title", &TWSEColumn::Title);
}

PAYROLL_PUBLISH(TWSEColumns) {}

// ---- the component ---------------------------------------------------------------

namespace {

// Sets the program-wide cursor for a scope.
class TCursorGuard {
 public:
  explicit TCursorGuard(TCursor cursor) { Screen->SetCursor(cursor); }
  ~TCursorGuard() { Screen->SetCursor(crDefault); }
};

// Hides the progress window when the export ends, however it ends.
class TProcessGuard {
 public:
  explicit TProcessGuard(bool shown) : shown_(shown) {}
  ~TProcessGuard() {
    if (shown_) HideProcess();
  }

 private:
  bool shown_;
};

}  // namespace

TWSExportBaseComponent::TWSExportBaseComponent(TComponent* owner)
    : TComponent(owner), columns_(std::make_unique<TWSEColumns>(this)) {}

TWSExportBaseComponent::~TWSExportBaseComponent() = default;

void TWSExportBaseComponent::SetFileName(const AnsiString& value) {
  if (value == fileName_) return;
  fileName_ = value;
  // Only the last path component decides: "backxls.2003\\gz" has no extension.
  if (!value.empty() && ExtractFileName(value).Pos(".") == 0) fileName_ += GetDefaultExt();
}

void TWSExportBaseComponent::SetDataSet(TDataSet* dataSet) {
  if (dataSet_) dataSet_->RemoveFreeNotification(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->FreeNotification(this);
}

void TWSExportBaseComponent::SetDBGrid(TCustomControl* grid) {
  int kind = 0;
  if (grid && !IsDataGrid(grid, kind))
    throw Exception(Format(GetLanguageString(kWseUnsupportedGrid), {grid->Name()}));
  if (dbGrid_) dbGrid_->RemoveFreeNotification(this);
  dbGrid_ = grid;
  if (dbGrid_) dbGrid_->FreeNotification(this);
}

void TWSExportBaseComponent::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == dataSet_) dataSet_ = nullptr;
  if (component == dbGrid_) dbGrid_ = nullptr;
}

AnsiString TWSExportBaseComponent::GetLanguageString(int id) {
  AnsiString text = WSEDefaultText(id);
  if (OnGetLanguageString) OnGetLanguageString(this, id, text);
  return text;
}

TDataSet* TWSExportBaseComponent::GetSourceDataSet() {
  if (columnSource_ == csDataSet) return dataSet_;
  auto* source = dbGrid_ ? dynamic_cast<TDataSource*>(GetObjectProp(dbGrid_, "DataSource")) : nullptr;
  return source ? source->DataSet() : nullptr;
}

int TWSExportBaseComponent::GridSelectedCount() {
  if (OnGetSelectedCount) return OnGetSelectedCount(this);
  auto* marked = dynamic_cast<TSelectedBookmarks*>(dbGrid_);
  return marked ? marked->SelectedBookmarkCount() : 0;
}

void TWSExportBaseComponent::GotoGridSelected(TDataSet* ds, int index) {
  if (OnGetNextSelected) {
    ds->GotoBookmark(OnGetNextSelected(this, index));
  } else if (auto* marked = dynamic_cast<TSelectedBookmarks*>(dbGrid_)) {
    ds->SetBookmark(marked->SelectedBookmark(index));
  }
}

bool TWSExportBaseComponent::IsZero(TField* field) const {
  switch (field->DataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
    case ftFloat: case ftCurrency: case ftBCD:
      return !field->IsNull() && field->AsFloat() == 0;
    case ftDate: case ftTime: case ftDateTime:
      return !field->IsNull() && field->AsDateTime() == 0;
    default:
      return false;
  }
}

void TWSExportBaseComponent::GetFieldText(TField* field, AnsiString& text) {
  if (!field) {
    text.clear();
    return;
  }
  text = options_.Contains(soFieldMask) ? field->DisplayText() : field->AsString();
  if (blankIfZero_ && IsZero(field)) text.clear();
}

int TWSExportBaseComponent::RecordCountToExport() {
  if (columnSource_ == csDBGrid) {
    if (!dbGrid_) throw Exception(Format(GetLanguageString(kWseNotSpecified), {"DBGrid"}));
    if (selectedRecord_) return GridSelectedCount();
    TDataSet* ds = GetSourceDataSet();
    return ds ? ds->RecordCount() : 0;
  }
  if (!dataSet_) throw Exception(Format(GetLanguageString(kWseNotSpecified), {"DataSet"}));
  return dataSet_->RecordCount();
}

// ---- grid access through published properties ------------------------------------

namespace {

const TPropInfo* ClassProp(TObject* o, const char* name) {
  const TPropInfo* p = o ? GetPropInfo(o, name) : nullptr;
  return p && p->Kind == tkClass ? p : nullptr;
}

// The grid's "Columns" when it is a collection whose items have a FieldName.
TCollection* FieldColumns(TObject* grid) {
  if (!ClassProp(grid, "Columns")) return nullptr;
  auto* columns = dynamic_cast<TCollection*>(GetObjectProp(grid, "Columns"));
  if (!columns || !columns->ItemClass().ClassInfo) return nullptr;
  return columns->ItemClass().ClassInfo()->FindProperty("FieldName") ? columns : nullptr;
}

// Copies one published property of from to the same property of to when
// from has it (any grid class serves, so any property may be missing).
void CopyOrd(TObject* from, const char* name, const std::function<void(std::int64_t)>& to) {
  const TPropInfo* p = GetPropInfo(from, name);
  if (p && p->GetOrd) to(p->GetOrd(from));
}

void CopyFont(TObject* from, const char* name, TFont* to) {
  if (ClassProp(from, name))
    if (auto* font = dynamic_cast<TFont*>(GetObjectProp(from, name))) to->Assign(font);
}

// A column of a "Columns" grid: its field, look and title.
void ReadGridColumn(TObject* gridColumn, TWSEColumn& c) {
  c.SetFieldName(GetStrProp(gridColumn, "FieldName"));
  CopyOrd(gridColumn, "Alignment", [&](std::int64_t v) { c.SetAlignment(static_cast<TAlignment>(v)); });
  CopyOrd(gridColumn, "Color", [&](std::int64_t v) { c.SetColor(static_cast<TColor>(v)); });
  CopyFont(gridColumn, "Font", c.Font());
  CopyOrd(gridColumn, "Visible", [&](std::int64_t v) { c.SetVisible(v != 0); });
  TObject* title = ClassProp(gridColumn, "Title") ? GetObjectProp(gridColumn, "Title") : nullptr;
  if (!title) return;
  TWSEColumnTitle* t = c.Title();
  if (const TPropInfo* p = GetPropInfo(title, "Caption"); p && p->GetStr) t->SetCaption(p->GetStr(title));
  CopyOrd(title, "Alignment", [&](std::int64_t v) { t->SetAlignment(static_cast<TAlignment>(v)); });
  CopyFont(title, "Font", t->Font());
  CopyOrd(title, "Color", [&](std::int64_t v) { t->SetColor(static_cast<TColor>(v)); });
}

}  // namespace

bool IsDataGrid(TComponent* control, int& kind) {
  auto* grid = dynamic_cast<TCustomControl*>(control);
  if (!grid || !ClassProp(grid, "DataSource")) return false;
  if (FieldColumns(grid)) {
    kind = 0;
    return true;
  }
  if (ClassProp(grid, "Selected")) {
    kind = 1;
    return true;
  }
  return false;
}

void TWSExportBaseComponent::PrepareColumns() {
  TDataSet* ds = GetSourceDataSet();
  if (!ds || columns_->Count() > 0) return;
  int kind = -1;
  if (columnSource_ == csDBGrid && IsDataGrid(dbGrid_, kind) && kind == 0) {
    TCollection* gridColumns = FieldColumns(dbGrid_);
    const int n = gridColumns->Count();
    for (int k = 0; k < n; ++k) {
      TWSEColumn* c = columns_->Add();
      ReadGridColumn(gridColumns->Items(rightToLeft_ ? n - 1 - k : k), *c);
      TField* f = ds->FindField(c->FieldName());
      c->SetWidth(f ? f->DisplayWidth() : 0);
    }
    return;
  }
  const int n = ds->FieldCount();
  for (int k = 0; k < n; ++k) {
    TField* f = (*ds->Fields())[rightToLeft_ ? n - 1 - k : k];
    TWSEColumn* c = columns_->Add();
    c->SetFieldName(f->FieldName());
    c->SetAlignment(f->Alignment());
    c->SetWidth(f->DisplayWidth());
    c->Title()->SetCaption(f->DisplayLabel());
    c->Title()->SetAlignment(f->Alignment());
    if (kind == 1) {  // a "Selected" grid lends its colour and fonts
      CopyOrd(dbGrid_, "Color", [&](std::int64_t v) { c->SetColor(static_cast<TColor>(v)); });
      CopyFont(dbGrid_, "Font", c->Font());
      CopyFont(dbGrid_, "TitleFont", c->Title()->Font());
      continue;
    }
    c->SetColor(0xFFFFFF);
    c->SetVisible(f->Visible());
    c->Title()->Font()->SetStyle(TFontStyles{fsBold});
    c->Title()->SetColor(clSilver);
  }
}

bool TWSExportBaseComponent::Execute() {
  if (OnBeforeExecute) OnBeforeExecute(this);
  int count = RecordCountToExport();  // raises when there is no source
  if (count < 0) count = 0;
  lastError_.clear();
  canceled_ = false;
  bool failed = false;
  AnsiString result;
  {
    TCursorGuard cursor(crHourGlass);
    TProcessGuard process(animatedStatus_);
    try {
      if (animatedStatus_)
        ShowProcess(keyGenerator_, GetLanguageString(kWseExporting),
                    GetLanguageString(kWseCancelCaption), 0, count, 0);
      const bool autoColumns = columns_->Count() == 0;
      try {
        if (autoColumns) PrepareColumns();
        InternalExport();
      } catch (...) {
        if (autoColumns) columns_->Clear();
        throw;
      }
      if (autoColumns) columns_->Clear();
      canceled_ = ProcessCanceled();
      result = canceled_ ? GetLanguageString(kWseCanceled)
                         : Format(GetLanguageString(kWseGenerated), {fileName_});
    } catch (const Exception& e) {
      failed = true;
      lastError_ = e.Message();
    } catch (const std::exception& e) {
      failed = true;
      lastError_ = e.what();
    }
    if (failed) result = GetLanguageString(kWseExportError);
    if (animatedStatus_) UpdateProcess(result, 100);
  }
  if (failed) {
    // A failure is always shown, with its reason, and reported to the caller.
    AnsiString text = result;
    if (!lastError_.empty()) text += "\r\n" + lastError_;
    MessageDlg(text, mtError, TMsgDlgButtons{mbOK}, 0);
  } else {
    if (!animatedStatus_ && options_.Contains(soShowMessage)) ShowMessage(result);
    DoActionAfterExport();
  }
  if (OnAfterExecute) OnAfterExecute(this);
  return !failed;
}

void TWSExportBaseComponent::DoActionAfterExport() {
  switch (actionAfterExport_) {
    case aeOpenView: ShellOpenFile(fileName_); break;
    case aeEMail: SendMail(); break;
    case aeNone: break;
  }
}

int TWSExportBaseComponent::SendMail(const AnsiString&) {
  const int rc = ShellMailFile(keyGenerator_, fileName_);
  if (rc != 0 && options_.Contains(soShowMessage))
    MessageDlg(IntToStr(rc) + " Error sending mail", mtError, TMsgDlgButtons{mbOK}, 0);
  return rc;
}

PAYROLL_PUBLISH(TWSExportBaseComponent) {
  p.Property("About", &TWSExportBaseComponent::About, &TWSExportBaseComponent::SetAbout).Stored(false);
  p.Property("AnimatedStatus", &TWSExportBaseComponent::AnimatedStatus,
             &TWSExportBaseComponent::SetAnimatedStatus)
      .Default(true);
  p.Property("Columns", &TWSExportBaseComponent::Columns);
  p.Property("ColumnSource", &TWSExportBaseComponent::ColumnSource,
             &TWSExportBaseComponent::SetColumnSource)
      .Default(csDBGrid);
  p.Property("KeyGenerator", &TWSExportBaseComponent::KeyGenerator,
             &TWSExportBaseComponent::SetKeyGenerator);
  p.Property("SelectedRecord", &TWSExportBaseComponent::SelectedRecord,
             &TWSExportBaseComponent::SetSelectedRecord)
      .Default(false);
  p.Property("BlankIfZero", &TWSExportBaseComponent::BlankIfZero,
             &TWSExportBaseComponent::SetBlankIfZero)
      .Default(false);
  p.Property("RightToLeft", &TWSExportBaseComponent::RightToLeft,
             &TWSExportBaseComponent::SetRightToLeft)
      .Default(false);
  p.Property("Options", &TWSExportBaseComponent::Options, &TWSExportBaseComponent::SetOptions)
      .Default(TWSOptions{soShowMessage, soBlankRowAfterCaptions});
  p.Event("OnBeforeExecute", &TWSExportBaseComponent::OnBeforeExecute);
  p.Event("OnAfterExecute", &TWSExportBaseComponent::OnAfterExecute);
}
