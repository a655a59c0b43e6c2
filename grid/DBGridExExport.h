// Grid exporters: write what a data grid shows -- its selection, or all
// of it -- to a stream in one of four formats.
//
//   TDBGridExExportAsText     TAB between cells, CR LF between lines, no
//                             line break after the last line; TAB, CR and
//                             LF inside a cell become a space
//   TDBGridExExportAsCSV      as text with ';' and every text quoted
//                             ("a""b" for a"b)
//   TDBGridExExportAsRTF      an RTF table (code page 936, GB2312 fonts),
//                             colours, fonts, borders, multi-level titles
//   TDBGridExExportAsGRDDBIF  typed field values (GrdDbifFormat.h), read
//                             back by TDBGridExImportAsGRDDBIF
//
// The base class walks the selection (every kind: bookmarked rows, the
// rectangle, columns, the whole grid) and the records and calls the
// virtual writers: prefix, title, records, footer rows, suffix.  Footer
// sums and counts are accumulated over the exported records only.
//
// Use: create, set DBGridEx, ExportToStream or ExportToFile, free.
// ExportToFile writes a temporary file beside the target and renames it
// over the old file only when the export succeeded.
//
// Layer: grid (platform/ui beneath).  User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "grid/DBGridEx.h"
#include "grid/DBGridExColumns.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"

class TCustomDBGridEx;
class THeadTreeNode;

// The separator of CSV exports.
extern char DBGridExCSVSeparator;

class TDBGridExExport {
 public:
  TDBGridExExport();
  virtual ~TDBGridExExport();
  TDBGridExExport(const TDBGridExExport&) = delete;
  TDBGridExExport& operator=(const TDBGridExExport&) = delete;

  TCustomDBGridEx* DBGridEx = nullptr;  // not owned

  // isExportAll: the whole grid whatever is selected.  Writes nothing at
  // all when nothing is selected and isExportAll is false.
  virtual void ExportToStream(TStream* stream, bool isExportAll);
  virtual void ExportToFile(const AnsiString& fileName, bool isExportAll);

 protected:
  virtual void WritePrefix() {}
  virtual void WriteSuffix() {}
  virtual void WriteTitle(const TColumnsExList&) {}
  // Fills the cell parameters of each column (the grid's and the
  // column's OnGetCellParams may change them) and calls WriteDataCell.
  virtual void WriteRecord(const TColumnsExList& columns);
  virtual void WriteDataCell(TColumnEx*, TColCellParamsEx*) {}
  // Computes each footer cell of footer row footerNo and calls
  // WriteFooterCell.
  virtual void WriteFooter(const TColumnsExList& columns, int footerNo);
  virtual void WriteFooterCell(int, int, TColumnEx*, TFont*, TColor, TAlignment,
                               const AnsiString&) {}

  // Writes bytes to Stream.
  void Put(const AnsiString& bytes);
  // The background of a data cell as WriteRecord will give it (the
  // column's colour after the grid's OnGetCellParams).
  TColor DataCellBackground(TColumnEx* column);
  // The footer cell's parameters (after OnGetFooterParams).
  struct TFooterCell {
    TColor Background;
    TAlignment Alignment;
    AnsiString Text;
  };
  TFooterCell FooterCell(TColumnEx* column, int footerNo, TFont* font);

  TColCellParamsEx* ColCellParams() const { return colCellParams_.get(); }
  const TColumnsExList& ExpCols() const { return expCols_; }
  TStream* Stream = nullptr;  // not owned

 private:
  void AccumulateFooters();
  AnsiString FooterValueText(int footerNo, int col, TColumnEx* column);
  void ExportRows(TDBGridExSelectionType kind);

  std::unique_ptr<TColCellParamsEx> colCellParams_;
  std::unique_ptr<TFont> cellFont_;  // the scratch font of the cell parameters
  TColumnsExList expCols_;
  // FooterRowCount x ExpCols entries, f * ExpCols + c, decimals x 10000.
  std::vector<std::int64_t> footerValues_;
};

class TDBGridExExportAsText : public TDBGridExExport {
 public:
  void ExportToStream(TStream* stream, bool isExportAll) override;

 protected:
  void WriteTitle(const TColumnsExList& columns) override;
  void WriteRecord(const TColumnsExList& columns) override;
  void WriteDataCell(TColumnEx* column, TColCellParamsEx* params) override;
  void WriteFooter(const TColumnsExList& columns, int footerNo) override;
  void WriteFooterCell(int dataCol, int row, TColumnEx* column, TFont* font, TColor background,
                       TAlignment alignment, const AnsiString& text) override;
  void CheckFirstRec();
  virtual void CheckFirstCell();
  // A cell's text as written: TAB, CR and LF become a space, so that a
  // cell can neither start a new cell nor a new line.
  virtual AnsiString CellText(const AnsiString& text) const;

  bool FirstRec = true;
  bool FirstCell = true;
};

class TDBGridExExportAsCSV : public TDBGridExExportAsText {
 public:
  TDBGridExExportAsCSV();

 protected:
  void CheckFirstCell() override;
  // Quoted: wrapped in double quotes, inner double quotes doubled.
  AnsiString CellText(const AnsiString& text) const override;

  char Separator;
};

class TDBGridExExportAsRTF : public TDBGridExExport {
 public:
  void ExportToStream(TStream* stream, bool isExportAll) override;

 protected:
  void WriteSuffix() override;
  void WriteTitle(const TColumnsExList& columns) override;
  void WriteRecord(const TColumnsExList& columns) override;
  void WriteDataCell(TColumnEx* column, TColCellParamsEx* params) override;
  void WriteFooter(const TColumnsExList& columns, int footerNo) override;
  void WriteFooterCell(int dataCol, int row, TColumnEx* column, TFont* font, TColor background,
                       TAlignment alignment, const AnsiString& text) override;

 private:
  enum TSide { sideLeft = 1, sideTop = 2, sideBottom = 4, sideRight = 8 };
  int ColorIndex(TColor color);
  int FontIndex(const AnsiString& name);
  void WriteRowStart();
  void WriteRowEnd();
  // One cell definition; hidden: the sides (TSide bits) not drawn.
  void WriteCellDef(TColor background, int& rightEdge, TColumnEx* column, unsigned hidden = 0);
  void WriteCell(TAlignment alignment, int spacing, TFont* font, TColor background,
                 const AnsiString& text);
  int Spacing() const;
  void WriteSingleTitle(const TColumnsExList& columns);
  void WriteMultiTitle(const TColumnsExList& columns);

  std::unique_ptr<TMemoryStream> body_;
  std::vector<AnsiString> colorList_;
  std::vector<AnsiString> fontList_;
};

class TDBGridExExportAsGRDDBIF : public TDBGridExExport {
 protected:
  void WritePrefix() override;
  void WriteSuffix() override;
  void WriteDataCell(TColumnEx* column, TColCellParamsEx* params) override;
};

// RTF text of a code-page-936 string: '\', '{' and '}' escaped, bytes from
// 0x80 as \'hh, every line break (CR LF, CR or LF) as \line.
AnsiString RtfEscape(const AnsiString& text);
