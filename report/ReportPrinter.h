// TrbPrinter: the report engine's model of the output device, over the
// class library's printer object (platform/ui TPrinter).  It lists the
// system's printers and, always last, the virtual printer "虚拟打印机"
// (resource string 55007), which needs no driver: on it the page settings
// come from the built-in paper table, so reports are designed, formed and
// previewed on a machine without a printer.  Calls platform/ui only.
//
//   TrbPrinter* p = rbPrinter();          // the one global instance
//   p->SetPrinterInfo(9, 0, 0, kDefaultBin, poPortrait, true);  // A4
//   std::array<int, 12> g;
//   p->FillPageInfo(g);                   // virtual A4: g[2] 758, g[3] 1071
//
// Units: paper sizes in tenths of a millimetre (swapped in landscape);
// device units are the printer's pixels; screen units are pixels at
// kDesignPixelsPerInch (93 / 1.015), the report's design resolution.
//
// Page geometry record (FillPageInfo), twelve values in this order:
//   [0] [1]   page width, height                  device units
//   [2] [3]   page width, height                  screen units
//   [4] [5]   left, top physical offset           device units
//   [6] [7]   left, top offset                    screen units
//   [8] [9]   printable width, height             device units
//   [10] [11] printable width, height             screen units
//
// The virtual printer prints nowhere by itself.  When the system has no
// printer at all, the class library's printer is its PDF printer: the
// virtual printer's paper is then handed to it, so pages print into a PDF
// file (TPrinter::SetOutputFileName) with the device values of that file.
//
// Invariants:
//   P1  Printers() is never empty and its last entry is the virtual
//       printer; DefaultPrinter() is that entry's index.
//   P2  PaperSizes()/PaperNames() and Bins()/BinNames() have equal counts;
//       Bins()[0] is kDefaultBin (0xFFFF), the driver's default bin.
//   P3  Page settings never change while the printer object is printing.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Strings.h"
#include "platform/ui/Printers.h"

// Pixels per inch of the report's screen units.
constexpr double kDesignPixelsPerInch = 93 / 1.015;

// One row of the built-in paper table.
struct TrbPaperInfo {
  int Typ;          // paper code (the Windows device mode's)
  AnsiString Name;  // resource string 55008 + row
  int X, Y;         // portrait size, 0.1 mm; 0 x 0 for the user size 256
};

// The 67 rows: codes 1 to 47, 50 to 68 and 256, in that order.
constexpr int kPaperTableCount = 67;
const std::vector<TrbPaperInfo>& rbPaperTable();
// The row of a paper code, or -1.
int rbPaperIndex(int paperCode);

using TrbPageGeometry = std::array<int, 12>;

// The system's own printer dialogs, replaceable for tests.  The printer
// properties dialog edits the device mode; the page-setup dialog edits the
// device mode and the margins (hundredths of a millimetre, left, top,
// right, bottom).  Both return false when cancelled or failing.
struct TrbPageSetup {
  TPrinterDeviceMode Mode;
  std::array<int, 4> Margins{};
};
using TrbPrinterDialog = std::function<bool(TPrinter* printer, TrbPageSetup& setup, bool withMargins)>;
// Installs a dialog (null restores the Qt dialog); returns the previous one.
TrbPrinterDialog rbSetPrinterDialog(TrbPrinterDialog dialog);
// Runs the installed dialog.
bool rbRunPrinterDialog(TPrinter* printer, TrbPageSetup& setup, bool withMargins);

class TrbPrinter {
 public:
  TrbPrinter();
  ~TrbPrinter();
  TrbPrinter(const TrbPrinter&) = delete;
  TrbPrinter& operator=(const TrbPrinter&) = delete;

  // Binds the model to a printer object (not owned) and reads the printer
  // list: the system's printers (the printer object's current one chosen),
  // then the virtual printer.
  void SetPrinter(TPrinter* printer);
  TPrinter* Printer() const { return printer_; }
  // True when the system has printers (the printer object is not its own
  // PDF stand-in).
  bool HasSystemPrinters() const;

  TStrings* Printers() const { return printers_.get(); }
  int PrinterIndex() const { return printerIndex_; }
  // Selects a printer: a system one is chosen in the printer object and
  // its settings read; the virtual one takes the paper table.  Raises
  // EPrinter while printing (P3) or for an index outside the list.
  void SetPrinterIndex(int index);
  int DefaultPrinter() const { return defaultPrinter_; }
  bool IsVirtual() const { return printerIndex_ == defaultPrinter_; }

  // --- page settings ---------------------------------------------------
  TPrinterOrientation Orientation() const { return orientation_; }
  int PaperSize() const { return paperSize_; }
  int PaperWidth() const { return paperWidth_; }
  int PaperHeight() const { return paperHeight_; }
  int Bin() const { return bin_; }
  // The paper codes and bin codes the printer offers, sized to what it
  // reports (no fixed buffers), with their names.
  const std::vector<int>& PaperSizes() const { return paperSizes_; }
  int PaperSizesNum() const { return static_cast<int>(paperSizes_.size()); }
  TStrings* PaperNames() const { return paperNames_.get(); }
  const std::vector<int>& Bins() const { return bins_; }
  int BinsNum() const { return static_cast<int>(bins_.size()); }
  TStrings* BinNames() const { return binNames_.get(); }

  // Stores the page settings and hands them to the printer, unless the
  // printer object is printing or (without force) IsEqual holds.  The
  // driver may adjust them; read the properties back.
  void SetPrinterInfo(int pgSize, int pgWidth, int pgHeight, int pgBin, TPrinterOrientation pgOr,
                      bool force);
  // Whether a page of these settings prints with the current ones: for the
  // user size 256 (both sides) width and height within 1 and the same
  // orientation; else the same code and orientation, and the same bin or
  // a given bin whose low 16 bits are 0xFFFF (any bin).
  bool IsEqual(int pgSize, int pgWidth, int pgHeight, int pgBin, TPrinterOrientation pgOr) const;
  void FillPageInfo(TrbPageGeometry& info) const;
  // Reads the printer's settings again.
  void Update();
  // The printer's properties dialog; a confirmed change becomes the
  // printer's settings.  False (nothing changed) when cancelled or failing.
  bool PrinterProperties();

 private:
  void ReadPrinterSettings();
  void FillFromPaperTable();
  void HandPaperToPdfPrinter();

  TPrinter* printer_ = nullptr;
  std::unique_ptr<TStringList> printers_, paperNames_, binNames_;
  int printerIndex_ = 0;
  int defaultPrinter_ = 0;
  TPrinterOrientation orientation_ = poPortrait;
  int paperSize_ = DMPAPER_A4;
  int paperWidth_ = 2100, paperHeight_ = 2970;
  int bin_ = kDefaultBin;
  std::vector<int> paperSizes_;
  std::vector<int> bins_;
};

// The global instance, created at first use and bound to Printer() (bound
// again when the printer object was replaced); the paper code current at
// creation is remembered as the default paper size.
TrbPrinter* rbPrinter();
int rbDefaultPaperSize();
// Test hook: drops the global instance (the next rbPrinter() makes a new
// one over the printer object in force then).
void rbResetPrinterForTesting();
