// TrbPrinter (see ReportPrinter.h).
#include "report/ReportPrinter.h"

#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrinter>

#include <cmath>

#include "platform/core/Exceptions.h"
#include "report/ReportFunctions.h"

namespace {

constexpr int kPrinterNameId = 55007;   // "虚拟打印机"
constexpr int kFirstPaperNameId = 55008;
constexpr int kDefaultBinNameId = 55435;

// Paper code and portrait size (0.1 mm) of every row, in table order.
constexpr int kPapers[kPaperTableCount][3] = {
    {1, 2159, 2794},   {2, 2159, 2794},   {3, 2794, 4318},   {4, 4318, 2794},    {5, 2159, 3556},
    {6, 1397, 2159},   {7, 1842, 2667},   {8, 2970, 4200},   {9, 2100, 2970},    {10, 2100, 2970},
    {11, 1480, 2100},  {12, 2500, 3540},  {13, 1820, 2570},  {14, 2159, 3302},   {15, 2150, 2750},
    {16, 2540, 3556},  {17, 2794, 4318},  {18, 2159, 2794},  {19, 984, 2254},    {20, 1048, 2413},
    {21, 1143, 2635},  {22, 1207, 2794},  {23, 1270, 2921},  {24, 4318, 5588},   {25, 5588, 8636},
    {26, 8636, 11176}, {27, 1100, 2200},  {28, 1620, 2290},  {29, 3240, 4580},   {30, 2290, 3240},
    {31, 1140, 1620},  {32, 1140, 2290},  {33, 2500, 3530},  {34, 1760, 2500},   {35, 1760, 1250},
    {36, 1100, 2300},  {37, 984, 1905},   {38, 920, 1651},   {39, 3778, 2794},   {40, 2159, 3048},
    {41, 2159, 3302},  {42, 2500, 3530},  {43, 1000, 1480},  {44, 2286, 2794},   {45, 2540, 2794},
    {46, 3810, 2794},  {47, 2200, 2200},  {50, 2355, 3048},  {51, 2355, 3810},   {52, 2969, 4572},
    {53, 2354, 3223},  {54, 2101, 2794},  {55, 2100, 2970},  {56, 2355, 3048},   {57, 2270, 3560},
    {58, 3050, 4870},  {59, 2159, 3223},  {60, 2100, 3300},  {61, 1480, 2100},   {62, 1820, 2570},
    {63, 3220, 4450},  {64, 1740, 2350},  {65, 2010, 2760},  {66, 4200, 5940},   {67, 2970, 4200},
    {68, 3220, 4450},  {256, 0, 0}};

int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

// The Qt page-setup dialog over the printer's own Qt printer.
bool QtPrinterDialog(TPrinter* printer, TrbPageSetup& setup, bool withMargins) {
  QPrinter* qp = printer->QtPrinter();
  if (!qp) return false;
  if (withMargins) {
    const auto& m = setup.Margins;
    qp->setPageMargins(QMarginsF(m[0] / 100.0, m[1] / 100.0, m[2] / 100.0, m[3] / 100.0),
                       QPageLayout::Millimeter);
  }
  QPageSetupDialog dialog(qp);
  if (dialog.exec() != QDialog::Accepted) return false;
  QPageLayout layout = qp->pageLayout();
  TPrinterDeviceMode mode = setup.Mode;
  int code = layout.pageSize().windowsId();
  QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
  mode.PaperSize = code > 0 ? code : DMPAPER_USER;
  mode.PaperWidth = static_cast<int>(std::lround(mm.width() * 10));
  mode.PaperLength = static_cast<int>(std::lround(mm.height() * 10));
  mode.Orientation = layout.orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
  setup.Mode = mode;
  if (withMargins) {
    QMarginsF m = layout.margins(QPageLayout::Millimeter);
    setup.Margins = {static_cast<int>(std::lround(m.left() * 100)), static_cast<int>(std::lround(m.top() * 100)),
                     static_cast<int>(std::lround(m.right() * 100)),
                     static_cast<int>(std::lround(m.bottom() * 100))};
  }
  return true;
}

TrbPrinterDialog& InstalledDialog() {
  static TrbPrinterDialog dialog;
  return dialog;
}

std::unique_ptr<TrbPrinter>& GlobalPrinter() {
  static std::unique_ptr<TrbPrinter> printer;
  return printer;
}
int gDefaultPaperSize = DMPAPER_A4;

}  // namespace

const std::vector<TrbPaperInfo>& rbPaperTable() {
  static const std::vector<TrbPaperInfo> table = [] {
    std::vector<TrbPaperInfo> rows;
    for (int i = 0; i < kPaperTableCount; ++i)
      rows.push_back({kPapers[i][0], rbLoadStr(kFirstPaperNameId + i), kPapers[i][1], kPapers[i][2]});
    return rows;
  }();
  return table;
}

int rbPaperIndex(int paperCode) {
  for (int i = 0; i < kPaperTableCount; ++i)
    if (kPapers[i][0] == paperCode) return i;
  return -1;
}

TrbPrinterDialog rbSetPrinterDialog(TrbPrinterDialog dialog) {
  TrbPrinterDialog old = std::move(InstalledDialog());
  InstalledDialog() = std::move(dialog);
  return old;
}

bool rbRunPrinterDialog(TPrinter* printer, TrbPageSetup& setup, bool withMargins) {
  if (InstalledDialog()) return InstalledDialog()(printer, setup, withMargins);
  return QtPrinterDialog(printer, setup, withMargins);
}

// ---- TrbPrinter ----

TrbPrinter::TrbPrinter()
    : printers_(std::make_unique<TStringList>()),
      paperNames_(std::make_unique<TStringList>()),
      binNames_(std::make_unique<TStringList>()) {}

TrbPrinter::~TrbPrinter() = default;

bool TrbPrinter::HasSystemPrinters() const { return printer_ && !printer_->IsVirtualPrinter(); }

void TrbPrinter::SetPrinter(TPrinter* printer) {
  printer_ = printer;
  printers_->Clear();
  printerIndex_ = 0;
  if (HasSystemPrinters()) {
    printers_->Assign(printer_->Printers());
    printerIndex_ = std::max(0, printer_->PrinterIndex());
  }
  defaultPrinter_ = printers_->Add(rbLoadStr(kPrinterNameId));  // P1
  if (!HasSystemPrinters()) {
    printerIndex_ = defaultPrinter_;
    FillFromPaperTable();
  } else {
    ReadPrinterSettings();
  }
}

void TrbPrinter::SetPrinterIndex(int index) {
  if (index == printerIndex_) return;
  if (index < 0 || index >= printers_->Count()) throw EPrinter("Printer index out of range");
  if (printer_ && printer_->Printing()) throw EPrinter("Printing in progress");  // P3
  printerIndex_ = index;
  if (HasSystemPrinters() && index != defaultPrinter_) {
    printer_->SetPrinterIndex(index);
    ReadPrinterSettings();
  } else {
    FillFromPaperTable();
  }
}

// A system printer's settings, as its driver reports them.
void TrbPrinter::ReadPrinterSettings() {
  TPrinterDeviceMode mode = printer_->DeviceMode();
  paperSize_ = mode.PaperSize;
  paperWidth_ = RoundHalfEven(static_cast<double>(printer_->PhysicalWidth()) / printer_->PixelsPerInchX() * 254);
  paperHeight_ = RoundHalfEven(static_cast<double>(printer_->PhysicalHeight()) / printer_->PixelsPerInchY() * 254);
  paperSizes_ = printer_->PaperCodes();
  paperNames_->Clear();
  for (const AnsiString& n : printer_->PaperNames()) paperNames_->Add(n);
  bin_ = mode.DefaultSource;
  bins_.assign(1, kDefaultBin);  // P2
  binNames_->Clear();
  binNames_->Add(rbLoadStr(kDefaultBinNameId));
  std::vector<int> bins = printer_->Bins();
  std::vector<AnsiString> names = printer_->BinNames();
  for (size_t i = 0; i < bins.size(); ++i) {
    bins_.push_back(bins[i]);
    binNames_->Add(i < names.size() ? names[i] : AnsiString());
  }
  orientation_ = mode.Orientation;
}

// The virtual printer: paper names and codes from the table; a code of the
// table (not the user size) takes its size, swapped in landscape.
void TrbPrinter::FillFromPaperTable() {
  const auto& table = rbPaperTable();
  paperNames_->Clear();
  paperSizes_.clear();
  for (const TrbPaperInfo& row : table) {
    paperNames_->Add(row.Name);
    paperSizes_.push_back(row.Typ);
  }
  bins_.assign(1, kDefaultBin);
  binNames_->Clear();
  binNames_->Add(rbLoadStr(kDefaultBinNameId));
  int row = rbPaperIndex(paperSize_);
  if (paperSize_ != DMPAPER_USER && row >= 0) {
    paperWidth_ = table[static_cast<size_t>(row)].X;
    paperHeight_ = table[static_cast<size_t>(row)].Y;
    if (orientation_ == poLandscape) std::swap(paperWidth_, paperHeight_);
  }
  HandPaperToPdfPrinter();
}

// With no system printer the printer object is a PDF printer: it takes the
// virtual printer's paper, so what prints has the page's size.
void TrbPrinter::HandPaperToPdfPrinter() {
  if (!printer_ || HasSystemPrinters() || printer_->Printing()) return;
  TPrinterDeviceMode mode = printer_->DeviceMode();
  mode.Orientation = orientation_;
  mode.PaperSize = paperSize_;
  bool landscape = orientation_ == poLandscape;
  mode.PaperWidth = landscape ? paperHeight_ : paperWidth_;
  mode.PaperLength = landscape ? paperWidth_ : paperHeight_;
  if (mode.PaperWidth <= 0 || mode.PaperLength <= 0) return;
  mode.DefaultSource = kDefaultBin;
  printer_->SetDeviceMode(mode);
  TPrinterDeviceMode taken = printer_->DeviceMode();
  TSize standard = StandardPaperSize(paperSize_);
  // A code the PDF printer does not know, or knows with another size,
  // goes over as the user size with the table's size.
  if (taken.PaperSize != paperSize_ || standard.cx != mode.PaperWidth || standard.cy != mode.PaperLength) {
    mode.PaperSize = DMPAPER_USER;
    printer_->SetDeviceMode(mode);
  }
}

void TrbPrinter::SetPrinterInfo(int pgSize, int pgWidth, int pgHeight, int pgBin, TPrinterOrientation pgOr,
                                bool force) {
  if (printer_ && printer_->Printing()) return;  // P3
  if (!force && IsEqual(pgSize, pgWidth, pgHeight, pgBin, pgOr)) return;
  paperSize_ = pgSize;
  paperWidth_ = pgWidth;
  paperHeight_ = pgHeight;
  bin_ = pgBin;
  orientation_ = pgOr;
  if (!HasSystemPrinters() || IsVirtual()) {
    FillFromPaperTable();
    return;
  }
  TPrinterDeviceMode mode = printer_->DeviceMode();
  mode.PaperSize = paperSize_;
  if (paperSize_ == DMPAPER_USER) {
    // The device mode holds the portrait size.
    bool landscape = orientation_ == poLandscape;
    mode.PaperWidth = landscape ? paperHeight_ : paperWidth_;
    mode.PaperLength = landscape ? paperWidth_ : paperHeight_;
  }
  mode.Orientation = orientation_;
  mode.Copies = 1;
  if ((bin_ & 0xFFFF) != kDefaultBin) mode.DefaultSource = bin_;
  printer_->SetDeviceMode(mode);
  ReadPrinterSettings();  // the driver may have adjusted them
}

bool TrbPrinter::IsEqual(int pgSize, int pgWidth, int pgHeight, int pgBin, TPrinterOrientation pgOr) const {
  if (paperSize_ == DMPAPER_USER && pgSize == DMPAPER_USER)
    return std::abs(paperWidth_ - pgWidth) <= 1 && std::abs(paperHeight_ - pgHeight) <= 1 && orientation_ == pgOr;
  return paperSize_ == pgSize && orientation_ == pgOr && (bin_ == pgBin || (pgBin & 0xFFFF) == kDefaultBin);
}

void TrbPrinter::FillPageInfo(TrbPageGeometry& info) const {
  if (IsVirtual()) {
    auto screen = [](int tenthsMm) { return RoundHalfEven(tenthsMm * kDesignPixelsPerInch / 254); };
    info[2] = screen(paperWidth_);
    info[3] = screen(paperHeight_);
    info[6] = info[7] = screen(50);  // a 5 mm margin
    info[10] = info[2] - 2 * info[6];
    info[11] = info[3] - 2 * info[7];
    // The device values are the PDF printer's when it stands for the
    // printer; otherwise they stay as they were.
    if (printer_ && !HasSystemPrinters()) {
      info[0] = printer_->PhysicalWidth();
      info[1] = printer_->PhysicalHeight();
      info[4] = printer_->PhysicalOffsetX();
      info[5] = printer_->PhysicalOffsetY();
      info[8] = printer_->PageWidth();
      info[9] = printer_->PageHeight();
    }
    return;
  }
  double kx = kDesignPixelsPerInch / printer_->PixelsPerInchX();
  double ky = kDesignPixelsPerInch / printer_->PixelsPerInchY();
  info[0] = printer_->PhysicalWidth();
  info[1] = printer_->PhysicalHeight();
  info[4] = printer_->PhysicalOffsetX();
  info[5] = printer_->PhysicalOffsetY();
  info[8] = printer_->PageWidth();
  info[9] = printer_->PageHeight();
  info[2] = RoundHalfEven(info[0] * kx);
  info[3] = RoundHalfEven(info[1] * ky);
  info[6] = RoundHalfEven(info[4] * kx);
  info[7] = RoundHalfEven(info[5] * ky);
  info[10] = RoundHalfEven(info[8] * kx);
  info[11] = RoundHalfEven(info[9] * ky);
}

void TrbPrinter::Update() {
  if (!printer_ || printer_->Printing()) return;
  if (HasSystemPrinters() && !IsVirtual()) ReadPrinterSettings();
  else FillFromPaperTable();
}

bool TrbPrinter::PrinterProperties() {
  if (!printer_ || printer_->Printing()) return false;
  TrbPageSetup setup;
  setup.Mode = printer_->DeviceMode();
  bool ok = false;
  try {
    ok = rbRunPrinterDialog(printer_, setup, false);
  } catch (const Exception&) {
    ok = false;  // a failing dialog changes nothing
  }
  if (!ok) return false;
  if (HasSystemPrinters() && !IsVirtual()) {
    printer_->SetDeviceMode(setup.Mode);
    ReadPrinterSettings();
  } else {
    SetPrinterInfo(setup.Mode.PaperSize,
                   setup.Mode.Orientation == poLandscape ? setup.Mode.PaperLength : setup.Mode.PaperWidth,
                   setup.Mode.Orientation == poLandscape ? setup.Mode.PaperWidth : setup.Mode.PaperLength,
                   kDefaultBin, setup.Mode.Orientation, true);
  }
  return true;
}

TrbPrinter* rbPrinter() {
  auto& p = GlobalPrinter();
  if (!p) {
    p = std::make_unique<TrbPrinter>();
    p->SetPrinter(Printer());
    gDefaultPaperSize = p->PaperSize();
  } else if (p->Printer() != Printer()) {
    p->SetPrinter(Printer());  // the printer object was replaced (SetPrinter)
  }
  return p.get();
}

int rbDefaultPaperSize() {
  rbPrinter();
  return gDefaultPaperSize;
}

void rbResetPrinterForTesting() { GlobalPrinter().reset(); }
