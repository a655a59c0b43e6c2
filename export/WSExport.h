// TWSExportBaseComponent and its column model: exports the records of a
// dataset, given directly or found behind a data grid, into a file.
// export/; calls platform/ui and platform/data.
//
// Execute counts the records, shows the progress window, builds the
// columns from the source when none are set, runs the format's
// InternalExport and then the action after export.  A failed export is
// shown ("Error of data export." and the reason) and reported to the
// caller: Execute returns false and LastError() tells why.  A missing
// source raises before anything is written.
//
//   TWSExportToXLS x(form);
//   x.SetColumnSource(csDataSet); x.SetDataSet(query);
//   x.SetFileName("backxls\\gz200301");        // -> "backxls\\gz200301.XLS"
//   if (!x.Execute()) ...x.LastError()...
#pragma once

#include <functional>
#include <memory>

#include "platform/core/Collections.h"
#include "platform/core/Component.h"
#include "platform/core/Sets.h"
#include "platform/data/DBTypes.h"
#include "platform/ui/Graphics.h"
#include "platform/ui/SysColors.h"

class TCustomControl;
class TDataSet;
class TField;
class TWSEColumn;

enum TColumnSource { csDBGrid, csDataSet };
PAYROLL_ENUM_NAMES(TColumnSource, csDBGrid, csDataSet)
enum TWSOption { soFieldMask, soShowMessage, soBlankRowAfterCaptions, soMergeData };
PAYROLL_ENUM_NAMES(TWSOption, soFieldMask, soShowMessage, soBlankRowAfterCaptions, soMergeData)
using TWSOptions = TSet<TWSOption, 4>;
enum TActionAfterExport { aeNone, aeOpenView, aeEMail };
PAYROLL_ENUM_NAMES(TActionAfterExport, aeNone, aeOpenView, aeEMail)
enum TCharacterSet { csANSI_WINDOWS, csASCII_MSDOS };
PAYROLL_ENUM_NAMES(TCharacterSet, csANSI_WINDOWS, csASCII_MSDOS)

// Ids of the message table (WSExportTexts.cpp).
enum : int {
  kWseNotSpecified = 0,      // "Property %s wasn't specified."
  kWseUnsupportedGrid = 1,   // "Assigned DBGrid (%s) is not a supported type"
  kWseGenerated = 2,         // "The %s file was successfully generated with exported data."
  kWseExportError = 3,       // "Error of data export."
  kWseExporting = 8,         // "Exporting..."
  kWseCancelCaption = 12,    // "&Cancel"
  kWseCanceled = 16,         // "Data export was canceled by user."
  kWseMessageCount = 84,
};
// The table's own text of an id ("" for an id it does not hold).
AnsiString WSEDefaultText(int id);

class TWSEColumnTitle : public TPersistent {
  PAYROLL_CLASS(TWSEColumnTitle, TPersistent)
 public:
  TWSEColumnTitle();
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& v) { caption_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v) { alignment_ = v; }
  TFont* Font() const { return font_.get(); }
  void Assign(TPersistent* source) override;

 private:
  AnsiString caption_;
  TColor color_ = 0;
  TAlignment alignment_ = taLeftJustify;
  std::unique_ptr<TFont> font_;
};

class TWSEColumn : public TCollectionItem {
  PAYROLL_CLASS(TWSEColumn, TCollectionItem)
 public:
  explicit TWSEColumn(TCollection* collection);
  const AnsiString& FieldName() const { return fieldName_; }
  void SetFieldName(const AnsiString& v) { fieldName_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  // In characters.
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  TFont* Font() const { return font_.get(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v) { alignment_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  TWSEColumnTitle* Title() const { return title_.get(); }
  void Assign(TPersistent* source) override;

 private:
  AnsiString fieldName_;
  TColor color_ = 0;
  int width_ = 0;
  std::unique_ptr<TFont> font_;
  TAlignment alignment_ = taLeftJustify;
  bool visible_ = true;
  std::unique_ptr<TWSEColumnTitle> title_;
};

class TWSEColumns : public TOwnedCollection {
  PAYROLL_CLASS(TWSEColumns, TOwnedCollection)
 public:
  explicit TWSEColumns(TPersistent* owner);
  TWSEColumn* Add() { return static_cast<TWSEColumn*>(TCollection::Add()); }
  TWSEColumn* Items(int index) const { return static_cast<TWSEColumn*>(TCollection::Items(index)); }
};

// Whether control can be the exporter's grid, found through its published
// properties alone, so that any grid class serves: a TCustomControl with a
// class-typed "DataSource" and either a class-typed "Columns" collection
// whose items publish "FieldName" (kind 0: one exported column per grid
// column) or else a class-typed "Selected" (kind 1: one per field).
bool IsDataGrid(TComponent* control, int& kind);

// The descriptive text of the About property.
using TWSEAbout = AnsiString;

using TWSEGetLanguageStringEvent = std::function<void(TObject* sender, int id, AnsiString& text)>;
using TWSEGetNextSelected = std::function<TBookmark(TObject* sender, int index)>;
using TWSEGetSelectedCount = std::function<int(TObject* sender)>;

class TWSExportBaseComponent : public TComponent {
  PAYROLL_CLASS(TWSExportBaseComponent, TComponent)

 public:
  explicit TWSExportBaseComponent(TComponent* owner);
  ~TWSExportBaseComponent() override;

  // Runs one export; false when it failed (shown already; LastError()).
  // Raises before writing anything when the source is not set.
  bool Execute();
  const AnsiString& LastError() const { return lastError_; }
  // True when the last Execute was cancelled in the progress window.
  bool Canceled() const { return canceled_; }

  // Descriptive only: setting it changes nothing.
  const TWSEAbout& About() const { return about_; }
  void SetAbout(const TWSEAbout&) {}
  bool AnimatedStatus() const { return animatedStatus_; }
  void SetAnimatedStatus(bool v) { animatedStatus_ = v; }
  TWSEColumns* Columns() const { return columns_.get(); }
  TCustomControl* DBGrid() const { return dbGrid_; }
  // Raises (text id 1) for a control that IsDataGrid rejects.
  void SetDBGrid(TCustomControl* grid);
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);
  TColumnSource ColumnSource() const { return columnSource_; }
  void SetColumnSource(TColumnSource v) { columnSource_ = v; }
  const AnsiString& KeyGenerator() const { return keyGenerator_; }
  void SetKeyGenerator(const AnsiString& v) { keyGenerator_ = v; }
  bool SelectedRecord() const { return selectedRecord_; }
  void SetSelectedRecord(bool v) { selectedRecord_ = v; }
  bool BlankIfZero() const { return blankIfZero_; }
  void SetBlankIfZero(bool v) { blankIfZero_ = v; }
  const TWSOptions& Options() const { return options_; }
  void SetOptions(const TWSOptions& v) { options_ = v; }
  bool RightToLeft() const { return rightToLeft_; }
  void SetRightToLeft(bool v) { rightToLeft_ = v; }
  const AnsiString& FileName() const { return fileName_; }
  // Adds GetDefaultExt() to a name whose last path component holds no ".".
  virtual void SetFileName(const AnsiString& value);

  TWSEGetLanguageStringEvent OnGetLanguageString;
  TWSEGetNextSelected OnGetNextSelected;
  TWSEGetSelectedCount OnGetSelectedCount;
  TNotifyEvent OnBeforeExecute;
  TNotifyEvent OnAfterExecute;

  // The text of a message id, after OnGetLanguageString.
  AnsiString GetLanguageString(int id);
  // The dataset the records come from: DataSet, or the grid's.
  TDataSet* GetSourceDataSet();
  // The field's text: display text with soFieldMask, else its value; ""
  // with BlankIfZero for a zero number, date or time.
  virtual void GetFieldText(TField* field, AnsiString& text);
  virtual AnsiString GetDefaultExt() const { return ".EXP"; }
  // Opens the file or mails it, by ActionAfterExport.
  virtual void DoActionAfterExport();
  // Hands FileName to the desktop's mail helper with KeyGenerator as the
  // subject: 0 on success, the helper's error otherwise, -1 without one.
  int SendMail(const AnsiString& text = AnsiString());

  void Notification(TComponent* component, TOperation operation) override;

 protected:
  virtual void InternalExport() {}
  TActionAfterExport ActionAfterExportValue() const { return actionAfterExport_; }
  void SetActionAfterExportValue(TActionAfterExport v) { actionAfterExport_ = v; }
  // The number of records to export from the grid's selection:
  // OnGetSelectedCount, else the grid's selected-bookmark list.
  int GridSelectedCount();
  // Makes the index-th selected record of the grid current.
  void GotoGridSelected(TDataSet* ds, int index);
  bool IsZero(TField* field) const;
  void StoreFileName(const AnsiString& v) { fileName_ = v; }

 private:
  int RecordCountToExport();
  void PrepareColumns();

  TWSEAbout about_ = "WSExport";
  bool animatedStatus_ = true;
  std::unique_ptr<TWSEColumns> columns_;
  TCustomControl* dbGrid_ = nullptr;
  TDataSet* dataSet_ = nullptr;
  TColumnSource columnSource_ = csDBGrid;
  AnsiString keyGenerator_ = "WSExport 3.80";
  bool selectedRecord_ = false;
  bool blankIfZero_ = false;
  TWSOptions options_{soShowMessage, soBlankRowAfterCaptions};
  bool rightToLeft_ = false;
  AnsiString fileName_;
  TActionAfterExport actionAfterExport_ = aeNone;
  AnsiString lastError_;
  bool canceled_ = false;
};
