// Printers: TPrinter, the class library's printer object, on Qt's print
// support, with the device-level model the report engine's printer builds
// on (paper codes and sizes, bins, resolution, physical page and offsets).
//
// The printer list holds the system's printers; when there is none it
// holds one virtual printer, kVirtualPrinterName, that writes PDF files
// (OutputFileName; needs no driver).  A system printer can also print to
// a PDF file by setting OutputFileName.
//
// Units: paper sizes in tenths of a millimetre (the original platform's
// device-mode unit); everything else in device pixels at PixelsPerInch.
// The canvas's origin is the printable area's top-left corner, which lies
// PhysicalOffsetX/Y pixels inside the paper's corner.
//
// Document states:
//   idle --BeginDoc--> printing (page 1) --NewPage--> printing (page n+1)
//   printing --EndDoc--> idle (document complete)
//   printing --Abort--> idle (Aborted(); a PDF being written is removed)
// Settings (printer, paper, orientation, bin, copies) change only while
// idle; otherwise EPrinter "Printing in progress".
#pragma once

#include <memory>
#include <vector>

#include "platform/core/Strings.h"
#include "platform/ui/Graphics.h"

class QPrinter;

enum TPrinterOrientation { poPortrait, poLandscape };

// Windows paper codes the system uses (DMPAPER_xxx).
constexpr int DMPAPER_LETTER = 1;
constexpr int DMPAPER_LEGAL = 5;
constexpr int DMPAPER_A3 = 8;
constexpr int DMPAPER_A4 = 9;
constexpr int DMPAPER_A5 = 11;
constexpr int DMPAPER_B4 = 12;
constexpr int DMPAPER_B5 = 13;
constexpr int DMPAPER_USER = 256;
// Bin codes (DMBIN_xxx); the low 16 bits 0xFFFF stand for "the default bin".
constexpr int DMBIN_UPPER = 1;
constexpr int DMBIN_LOWER = 2;
constexpr int DMBIN_MIDDLE = 3;
constexpr int DMBIN_MANUAL = 4;
constexpr int DMBIN_ENVELOPE = 5;
constexpr int DMBIN_ENVMANUAL = 6;
constexpr int DMBIN_AUTO = 7;
constexpr int DMBIN_TRACTOR = 8;
constexpr int DMBIN_SMALLFMT = 9;
constexpr int DMBIN_LARGEFMT = 10;
constexpr int DMBIN_LARGECAPACITY = 11;
constexpr int DMBIN_CASSETTE = 14;
constexpr int DMBIN_FORMSOURCE = 15;
constexpr int kDefaultBin = 0xFFFF;

// The name of the virtual PDF printer.
extern const char* const kVirtualPrinterName;

// The page settings of the chosen printer (the device mode).
struct TPrinterDeviceMode {
  int PaperSize = DMPAPER_A4;      // paper code; DMPAPER_USER: PaperWidth x PaperLength
  int PaperWidth = 2100;           // 0.1 mm, portrait width
  int PaperLength = 2970;          // 0.1 mm, portrait height
  TPrinterOrientation Orientation = poPortrait;
  int DefaultSource = DMBIN_AUTO;  // bin code
  int Copies = 1;
};

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;

  // --- printers -------------------------------------------------------------
  // The printer names (never empty; see the header comment).
  TStrings* Printers();
  // -1 or an index into Printers; -1 picks the system's default printer.
  int PrinterIndex() const;
  void SetPrinterIndex(int index);
  bool IsVirtualPrinter() const;
  // Re-reads the list of printers (the chosen one kept when still there).
  void Refresh();

  // --- page settings ----------------------------------------------------------
  TPrinterDeviceMode DeviceMode() const;
  // Applies settings; the paper size follows the code unless it is
  // DMPAPER_USER.  Unknown codes and bins are replaced by the printer's
  // defaults (read DeviceMode back to see what was taken).
  void SetDeviceMode(const TPrinterDeviceMode& mode);
  TPrinterOrientation Orientation() const;
  void SetOrientation(TPrinterOrientation o);
  int Copies() const;
  void SetCopies(int copies);
  // The paper codes the printer offers, their names and sizes (0.1 mm,
  // portrait), in the same order.
  std::vector<int> PaperCodes() const;
  std::vector<AnsiString> PaperNames() const;
  std::vector<TSize> PaperSizes() const;
  // The bins the printer offers (DMBIN_xxx) and their names.
  std::vector<int> Bins() const;
  std::vector<AnsiString> BinNames() const;

  // --- device capabilities (pixels) -------------------------------------------
  int PixelsPerInchX() const;
  int PixelsPerInchY() const;
  int PhysicalWidth() const;    // the whole paper, in the current orientation
  int PhysicalHeight() const;
  int PhysicalOffsetX() const;  // the printable area's corner on the paper
  int PhysicalOffsetY() const;
  int PageWidth() const;        // the printable area
  int PageHeight() const;

  // --- documents ----------------------------------------------------------------
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& title);
  // A PDF file to print into instead of the printer (required for the
  // virtual printer).  Empty: the printer itself.
  const AnsiString& OutputFileName() const { return outputFileName_; }
  void SetOutputFileName(const AnsiString& fileName);
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Printing() const { return printing_; }
  bool Aborted() const { return aborted_; }
  int PageNumber() const { return pageNumber_; }
  // The page's canvas while printing; before BeginDoc a canvas that only
  // measures (fonts at the printer's resolution).
  TCanvas* Canvas();

  // The Qt printer underneath, set up with the current settings.
  QPrinter* QtPrinter() const { return qprinter_.get(); }

 private:
  void CheckIdle() const;
  void CheckPrinting() const;
  void SelectPrinter(int index);
  void ApplyMode();

  std::unique_ptr<QPrinter> qprinter_;
  std::unique_ptr<TStringList> printers_;
  std::unique_ptr<TCanvas> canvas_;
  bool hasSystemPrinters_ = false;
  int printerIndex_ = 0;
  TPrinterDeviceMode mode_;
  AnsiString title_;
  AnsiString outputFileName_;
  bool printing_ = false;
  bool aborted_ = false;
  int pageNumber_ = 0;
};

// The process's printer object, created at first use.
TPrinter* Printer();
// Replaces the process's printer object (the old one is deleted) and
// returns the new one; nullptr makes the next Printer() create a fresh one.
TPrinter* SetPrinter(TPrinter* printer);
// The paper code's size in 0.1 mm (portrait), or (0, 0) for codes with no
// standard size (DMPAPER_USER, unknown codes).
TSize StandardPaperSize(int paperCode);
