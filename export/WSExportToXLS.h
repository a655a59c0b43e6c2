// TWSExportToCellFile: the row-and-cell export loop (header lines, a title
// row, one row per record, footer lines) over a set of virtual writer
// operations; TWSExportToXLS: those operations for worksheet files
// (XlsFormat.h).  export/; calls platform/ui and platform/data.
//
// The file is written under a temporary name beside FileName and renamed
// over it only when the export has ended well (a cancelled export ends
// well with the rows written so far); a failed export leaves an existing
// file untouched and no partial one.  The source dataset's controls are
// off and its position is kept for the duration, whatever happens.
//
//   TWSExportToXLS x(nullptr);
//   x.SetColumnSource(csDataSet); x.SetDataSet(query); x.SetAddTitle(true);
//   x.SetFileName("backxls\\gz200301"); x.SetAnimatedStatus(false);
//   bool ok = x.Execute();
#pragma once

#include <memory>

#include "export/WSExport.h"

class TStrings;
class TStream;

using TGetCellParamsEvent = std::function<void(TObject* sender, TField* field, AnsiString& text,
                                               TFont* font, TAlignment& alignment,
                                               TColor& background)>;

// Cell kinds from the field type.
enum TWSECellKind : int { ckBlank = 0, ckInteger = 1, ckNumber = 2, ckText = 3, ckDate = 4 };

class TWSExportToCellFile : public TWSExportBaseComponent {
  PAYROLL_CLASS(TWSExportToCellFile, TWSExportBaseComponent)

 public:
  explicit TWSExportToCellFile(TComponent* owner);
  ~TWSExportToCellFile() override;

  TActionAfterExport ActionAfterExport() const { return ActionAfterExportValue(); }
  void SetActionAfterExport(TActionAfterExport v) { SetActionAfterExportValue(v); }
  bool AddTitle() const { return addTitle_; }
  void SetAddTitle(bool v) { addTitle_ = v; }
  TCharacterSet CharacterSet() const { return characterSet_; }
  void SetCharacterSet(TCharacterSet v) { characterSet_ = v; }
  TStrings* Header() const { return header_.get(); }
  TStrings* Footer() const { return footer_.get(); }
  TGetCellParamsEvent OnGetCellParams;

  // Blank for no field or a zero value under BlankIfZero; else by type.
  TWSECellKind GetCellKind(TField* field);

 protected:
  void InternalExport() override;
  // Refuses a sheet the format cannot hold, before the file is created.
  virtual void CheckSheetSize(int rows, int columns) {}

  virtual void WriteFileBegin(TStream& stream) {}
  virtual void WriteFileEnd(TStream& stream) {}
  virtual void WriteDimensions(TStream& stream, int lastRow, int columnCount) {}
  virtual void WriteColWidth(TStream& stream, int column, int width) {}
  virtual void WriteRowStart(TStream& stream, bool isTitle) {}
  virtual void WriteRowEnd(TStream& stream, bool isTitle) {}
  virtual void WriteCell(TStream& stream, TField* field, TWSECellKind kind, int row, int column,
                         const AnsiString& text, TAlignment alignment, TFont* font, TColor color) {}

 private:
  void WriteLines(TStream& stream, TStrings* lines, int firstRow, TFont* font);
  AnsiString Converted(const AnsiString& text) const;

  bool addTitle_ = false;
  TCharacterSet characterSet_ = csANSI_WINDOWS;
  std::unique_ptr<TStrings> header_;
  std::unique_ptr<TStrings> footer_;
};

class TWSExportToXLS : public TWSExportToCellFile {
  PAYROLL_CLASS(TWSExportToXLS, TWSExportToCellFile)

 public:
  explicit TWSExportToXLS(TComponent* owner);
  AnsiString GetDefaultExt() const override { return ".XLS"; }

 protected:
  // X1: at most 65,536 rows and 256 columns.
  void CheckSheetSize(int rows, int columns) override;
  void WriteFileBegin(TStream& stream) override;
  void WriteFileEnd(TStream& stream) override;
  void WriteDimensions(TStream& stream, int lastRow, int columnCount) override;
  // Widths beyond 255 characters are written as 255.
  void WriteColWidth(TStream& stream, int column, int width) override;
  // With soFieldMask every cell is a LABEL.  An integer outside 0..255
  // becomes a NUMBER; a number text that does not convert becomes a LABEL
  // (an empty one is 0); LABEL texts are cut to 255 bytes on a character
  // boundary.
  void WriteCell(TStream& stream, TField* field, TWSECellKind kind, int row, int column,
                 const AnsiString& text, TAlignment alignment, TFont* font, TColor color) override;
  void WriteRecordHeader(TStream& stream, std::uint16_t opcode, std::uint16_t length);
};
