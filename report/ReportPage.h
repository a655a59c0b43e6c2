// TrbPage, a template page with its objects, and TrbPages, the template
// (".rbf") stream of a report.  Calls the report objects, the data
// dictionary and the stream helpers.
//
// Template stream:
//   version byte (24; below 21 = no version byte, read as 21 from the start;
//   above 24 refused with "不支持的RBF格式"), keep-printer word Boolean,
//   TwoPass word Boolean, printer name (tmpl string; the virtual printer is
//   the text "\x01"), then tagged parts until the end:
//     255 page record      254 dictionary record      253 hook data (ends)
//     0..10 object entry: type byte, [class name (tmpl string) for 10],
//           page index byte, [end position int32 when V > 23], the record
//     11..252 refused
//   The writer writes every page, then every page's objects, then 254.
//
// Page record: int32 -1 (absent in older records, whose first int32 is the
//   paper code), pgSize, pgWidth, pgHeight, 4 margins (int32), pgOr byte,
//   [6 skipped bytes when V < 23], [pgBin int32 when V > 23, else -1],
//   PrintToPrevPage word, use-margins word, Columns int32, ColumnGap int32,
//   [V >= 24: Type byte, name string, BorderStyle byte (read: 0 -> 3,
//   1 -> 2), Caption string, Color int32, Left, Top, Width, Height int32,
//   Position byte (read: not 0 -> 4), page script line list when the record
//   began with -1].
//
// Reading is all or nothing: a template is parsed into a new page list and
// swapped in only when the whole stream was good, so a damaged or newer
// file leaves the current template unchanged.  Damage (a count, length,
// page index or type code that cannot be right, an object that fails to
// read) raises EReadError naming the stream offset; classes that are not
// available raise EClassNotFound naming them.
#pragma once

#include <memory>
#include <vector>

#include "report/ReportDictionary.h"
#include "report/ReportView.h"

class TrbPage : public TrbObject {
 public:
  TrbPage(int size = 9, int width = 2100, int height = 2970, int bin = 65535, int orientation = 0);
  ~TrbPage() override;

  int pgSize, pgWidth, pgHeight;  // paper code, 0.1 mm
  int LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;  // design units
  int pgOr;                       // 0 portrait, 1 landscape
  int pgBin;
  bool PrintToPrevPage = false;
  bool UseMargins = true;
  int Columns = 1, ColumnGap = 0;
  int Type = 0;  // 0 report page, 1 dialog page
  AnsiString Name;
  int BorderStyle = 3;
  AnsiString Caption = "Form";
  TColor Color = static_cast<TColor>(0x8000000F);
  int Left = 220, Top = 120, Width = 380, Height = 300;
  int Position = 4;
  TStringList Script;
  bool Visible = true;

  // Objects in list order; the page owns them.
  std::vector<std::unique_ptr<TrbView>> Objects;
  TrbView* Add(TrbView* view);
  TrbView* FindObject(const AnsiString& name) const;

  // Paper size in design units (0.1 mm x 18 / 50).
  int PageWidth() const;
  int PageHeight() const;
  // Edges of the printable part in design units.
  int LeftEdge() const { return UseMargins ? LeftMargin : 0; }
  int RightEdge() const { return UseMargins && RightMargin ? PageWidth() - RightMargin : PageWidth(); }

  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream);
  // "Page" + the smallest free number.
  void CreateUniqueName();

  void SetPropValue(const AnsiString& name, const Variant& value) override;
  Variant GetPropValue(const AnsiString& name) override;
  void DefineProperties() override;
};

class TrbPages {
 public:
  TrbPages();
  ~TrbPages();
  TrbPages(const TrbPages&) = delete;
  TrbPages& operator=(const TrbPages&) = delete;

  int Count() const { return static_cast<int>(pages_.size()); }
  TrbPage* Pages(int index) const;
  TrbPage* Add();
  void Clear();
  TrbView* FindObject(const AnsiString& name) const;

  bool KeepPrinter = false;
  bool TwoPass = false;
  AnsiString PrinterName;
  TrbDataDictionary Dictionary;

  // The whole template: version byte and the parts.  Loading raises on
  // damage and leaves this template unchanged.
  void LoadTemplate(TStream* stream);
  void SaveTemplate(TStream* stream);
  // Parts after the version byte (rbCurrentVersion decides the layout).
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream);

  void Swap(TrbPages& other);
  // Places band-aligned objects: each is drawn once off screen with its
  // page as the current page.
  void ResetBandAligned();

 private:
  void ReadObject(TStream* stream, std::uint8_t type, std::vector<AnsiString>& failures);
  std::vector<std::unique_ptr<TrbPage>> pages_;
};

// The text that stands for the virtual printer.
AnsiString rbVirtualPrinterName();
