#include "export/WSExport.h"

#include <vector>

#include "export/WSEStat.h"
#include "platform/core/DesktopShell.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/NumFormat.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Cursors.h"
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
  if (grid && !dynamic_cast<TWSEGridSource*>(grid))
    throw Exception(Format(GetLanguageString(kWseUnsupportedGrid), {grid->Name()}));
  if (dbGrid_) dbGrid_->RemoveFreeNotification(this);
  dbGrid_ = grid;
  if (dbGrid_) dbGrid_->FreeNotification(this);
}

TWSEGridSource* TWSExportBaseComponent::Grid() const {
  return dynamic_cast<TWSEGridSource*>(dbGrid_);
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
  TWSEGridSource* grid = Grid();
  return grid ? grid->ExportDataSet() : nullptr;
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
    TWSEGridSource* grid = Grid();
    if (!grid) throw Exception(Format(GetLanguageString(kWseNotSpecified), {"DBGrid"}));
    if (selectedRecord_)
      return OnGetSelectedCount ? OnGetSelectedCount(this) : grid->ExportSelectedCount();
    TDataSet* ds = grid->ExportDataSet();
    return ds ? ds->RecordCount() : 0;
  }
  if (!dataSet_) throw Exception(Format(GetLanguageString(kWseNotSpecified), {"DataSet"}));
  return dataSet_->RecordCount();
}

void TWSExportBaseComponent::PrepareColumns() {
  TDataSet* ds = GetSourceDataSet();
  if (!ds || columns_->Count() > 0) return;
  TWSEGridSource* grid = columnSource_ == csDBGrid ? Grid() : nullptr;
  if (grid) {
    const int n = grid->ExportColumnCount();
    for (int k = 0; k < n; ++k) {
      TWSEColumn* c = columns_->Add();
      grid->ExportColumn(rightToLeft_ ? n - 1 - k : k, *c);
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
    c->SetColor(0xFFFFFF);
    c->SetWidth(f->DisplayWidth());
    c->SetVisible(f->Visible());
    c->Title()->SetCaption(f->DisplayLabel());
    c->Title()->SetAlignment(f->Alignment());
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
