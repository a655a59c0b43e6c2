// Printers: TPrinter over QPrinter.
#include "platform/ui/Printers.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrintEngine>
#include <QPrinterInfo>
#include <cmath>

#include "platform/ui/QtText.h"

const char* const kVirtualPrinterName = "PDF 虚拟打印机";

namespace {

// PDF output resolution: fine enough for print, small enough for reports
// that fill pages pixel by pixel.
constexpr int kPdfResolution = 600;

// The paper codes the virtual printer offers.
const int kVirtualPapers[] = {DMPAPER_A4, DMPAPER_A3, DMPAPER_A5, DMPAPER_B4, DMPAPER_B5,
                              DMPAPER_LETTER, DMPAPER_LEGAL, DMPAPER_USER};

struct BinMapping {
  int bin;
  QPrinter::PaperSource source;
  const char* name;
};
const BinMapping kBins[] = {
    {DMBIN_AUTO, QPrinter::Auto, "自动选择"},
    {DMBIN_UPPER, QPrinter::Upper, "上纸盒"},
    {DMBIN_LOWER, QPrinter::Lower, "下纸盒"},
    {DMBIN_MIDDLE, QPrinter::Middle, "中纸盒"},
    {DMBIN_MANUAL, QPrinter::Manual, "手动进纸"},
    {DMBIN_ENVELOPE, QPrinter::Envelope, "信封"},
    {DMBIN_ENVMANUAL, QPrinter::EnvelopeManual, "手动送信封"},
    {DMBIN_TRACTOR, QPrinter::Tractor, "拖纸器"},
    {DMBIN_SMALLFMT, QPrinter::SmallFormat, "小纸盒"},
    {DMBIN_LARGEFMT, QPrinter::LargeFormat, "大纸盒"},
    {DMBIN_LARGECAPACITY, QPrinter::LargeCapacity, "大容量纸盒"},
    {DMBIN_CASSETTE, QPrinter::Cassette, "纸盒"},
    {DMBIN_FORMSOURCE, QPrinter::FormSource, "自动进纸器"},
};

const BinMapping* BinFor(int bin) {
  for (const BinMapping& m : kBins)
    if (m.bin == bin) return &m;
  return nullptr;
}

AnsiString PaperName(int code) {
  if (code == DMPAPER_USER) return "自定义";
  QPageSize size(QPageSize::id(code));
  return FromQString(size.name());
}

std::unique_ptr<TPrinter> gPrinter;

}  // namespace

TSize StandardPaperSize(int paperCode) {
  if (paperCode == DMPAPER_USER) return TSize();
  QPageSize::PageSizeId id = QPageSize::id(paperCode);
  if (id == QPageSize::Custom) return TSize();
  QSizeF mm = QPageSize(id).size(QPageSize::Millimeter);
  return TSize(static_cast<int>(std::lround(mm.width() * 10)),
               static_cast<int>(std::lround(mm.height() * 10)));
}

TPrinter::TPrinter()
    : qprinter_(std::make_unique<QPrinter>(QPrinter::HighResolution)),
      printers_(std::make_unique<TStringList>()) {
  Refresh();
}

TPrinter::~TPrinter() {
  if (printing_) {
    try {
      Abort();
    } catch (...) {
    }
  }
  canvas_.reset();
}

void TPrinter::CheckIdle() const {
  if (printing_) throw EPrinter("Printing in progress");
}

void TPrinter::CheckPrinting() const {
  if (!printing_) throw EPrinter("Printer is not currently printing");
}

void TPrinter::Refresh() {
  CheckIdle();
  AnsiString current = printers_->Count() > 0 ? printers_->Get(printerIndex_) : AnsiString();
  printers_->Clear();
  QStringList names = QPrinterInfo::availablePrinterNames();
  hasSystemPrinters_ = !names.isEmpty();
  for (const QString& n : names) printers_->Add(FromQString(n));
  if (!hasSystemPrinters_) printers_->Add(kVirtualPrinterName);
  int index = current.empty() ? -1 : printers_->IndexOf(current);
  printerIndex_ = -2;  // force SelectPrinter to apply
  SelectPrinter(index);
}

TStrings* TPrinter::Printers() { return printers_.get(); }

int TPrinter::PrinterIndex() const { return printerIndex_; }

void TPrinter::SetPrinterIndex(int index) {
  CheckIdle();
  if (index < -1 || index >= printers_->Count()) throw EPrinter("Printer index out of range");
  SelectPrinter(index);
}

bool TPrinter::IsVirtualPrinter() const { return !hasSystemPrinters_; }

void TPrinter::SelectPrinter(int index) {
  if (index == -1) {
    index = 0;
    if (hasSystemPrinters_) {
      int def = printers_->IndexOf(FromQString(QPrinterInfo::defaultPrinterName()));
      if (def >= 0) index = def;
    }
  }
  if (index == printerIndex_) return;
  printerIndex_ = index;
  if (hasSystemPrinters_) {
    QPrinterInfo info = QPrinterInfo::printerInfo(ToQString(printers_->Get(index)));
    qprinter_->setPrinterName(info.printerName());
    qprinter_->setOutputFormat(QPrinter::NativeFormat);
    QPageSize def = info.defaultPageSize();
    mode_.PaperSize = def.isValid() && def.windowsId() > 0 ? def.windowsId() : DMPAPER_A4;
  } else {
    qprinter_->setOutputFormat(QPrinter::PdfFormat);
    qprinter_->setResolution(kPdfResolution);
    mode_.PaperSize = DMPAPER_A4;
  }
  mode_.DefaultSource = DMBIN_AUTO;
  ApplyMode();
}

void TPrinter::ApplyMode() {
  QPageSize size;
  if (mode_.PaperSize == DMPAPER_USER) {
    if (mode_.PaperWidth <= 0 || mode_.PaperLength <= 0) {
      mode_.PaperSize = DMPAPER_A4;
    } else {
      size = QPageSize(QSizeF(mode_.PaperWidth / 10.0, mode_.PaperLength / 10.0), QPageSize::Millimeter,
                       QString(), QPageSize::ExactMatch);
    }
  }
  if (mode_.PaperSize != DMPAPER_USER) {
    QPageSize::PageSizeId id = QPageSize::id(mode_.PaperSize);
    if (id == QPageSize::Custom) {
      mode_.PaperSize = DMPAPER_A4;
      id = QPageSize::A4;
    }
    size = QPageSize(id);
    TSize s = StandardPaperSize(mode_.PaperSize);
    mode_.PaperWidth = s.cx;
    mode_.PaperLength = s.cy;
  }
  qprinter_->setPageSize(size);
  qprinter_->setPageOrientation(mode_.Orientation == poLandscape ? QPageLayout::Landscape
                                                                 : QPageLayout::Portrait);
  if (!hasSystemPrinters_) qprinter_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  mode_.Copies = std::max(1, mode_.Copies);
  qprinter_->setCopyCount(mode_.Copies);
  if ((mode_.DefaultSource & 0xFFFF) != kDefaultBin) {
    const BinMapping* b = BinFor(mode_.DefaultSource);
    std::vector<int> bins = Bins();
    if (!b || std::find(bins.begin(), bins.end(), mode_.DefaultSource) == bins.end()) {
      mode_.DefaultSource = DMBIN_AUTO;
    } else if (hasSystemPrinters_) {
      qprinter_->setPaperSource(b->source);
    }
  }
  if (canvas_) canvas_->Font()->SetPixelsPerInch(PixelsPerInchY());
}

TPrinterDeviceMode TPrinter::DeviceMode() const { return mode_; }

void TPrinter::SetDeviceMode(const TPrinterDeviceMode& mode) {
  CheckIdle();
  mode_ = mode;
  ApplyMode();
}

TPrinterOrientation TPrinter::Orientation() const { return mode_.Orientation; }

void TPrinter::SetOrientation(TPrinterOrientation o) {
  CheckIdle();
  mode_.Orientation = o;
  ApplyMode();
}

int TPrinter::Copies() const { return mode_.Copies; }

void TPrinter::SetCopies(int copies) {
  CheckIdle();
  mode_.Copies = copies;
  ApplyMode();
}

std::vector<int> TPrinter::PaperCodes() const {
  std::vector<int> codes;
  if (hasSystemPrinters_) {
    QPrinterInfo info = QPrinterInfo::printerInfo(qprinter_->printerName());
    for (const QPageSize& s : info.supportedPageSizes())
      if (s.windowsId() > 0 && std::find(codes.begin(), codes.end(), s.windowsId()) == codes.end())
        codes.push_back(s.windowsId());
    if (info.supportsCustomPageSizes()) codes.push_back(DMPAPER_USER);
    if (!codes.empty()) return codes;
  }
  return std::vector<int>(std::begin(kVirtualPapers), std::end(kVirtualPapers));
}

std::vector<AnsiString> TPrinter::PaperNames() const {
  std::vector<AnsiString> names;
  for (int code : PaperCodes()) names.push_back(PaperName(code));
  return names;
}

std::vector<TSize> TPrinter::PaperSizes() const {
  std::vector<TSize> sizes;
  for (int code : PaperCodes())
    sizes.push_back(code == DMPAPER_USER ? TSize(mode_.PaperWidth, mode_.PaperLength)
                                         : StandardPaperSize(code));
  return sizes;
}

std::vector<int> TPrinter::Bins() const {
  std::vector<int> bins;
  if (hasSystemPrinters_) {
    // The print engine lists the sources as integers (QPrinter::PaperSource).
    QVariant sources = qprinter_->printEngine()->property(QPrintEngine::PPK_PaperSources);
    for (const QVariant& v : sources.toList())
      for (const BinMapping& m : kBins)
        if (m.source == v.toInt() && std::find(bins.begin(), bins.end(), m.bin) == bins.end())
          bins.push_back(m.bin);
  }
  if (bins.empty()) bins.push_back(DMBIN_AUTO);
  return bins;
}

std::vector<AnsiString> TPrinter::BinNames() const {
  std::vector<AnsiString> names;
  for (int bin : Bins()) names.push_back(BinFor(bin)->name);
  return names;
}

int TPrinter::PixelsPerInchX() const { return qprinter_->resolution(); }
int TPrinter::PixelsPerInchY() const { return qprinter_->resolution(); }

// Page geometry from the layout in millimetres (the unit the standard
// sizes are defined in), so A4 at 600 DPI is 4961 pixels wide rather than
// the 4958 its rounded point size would give.
namespace {
QRect PixelRect(const QRectF& mm, int dpi) {
  auto px = [dpi](qreal v) { return static_cast<int>(std::lround(v * dpi / 25.4)); };
  return QRect(px(mm.left()), px(mm.top()), px(mm.width()), px(mm.height()));
}
}  // namespace

int TPrinter::PhysicalWidth() const {
  return PixelRect(qprinter_->pageLayout().fullRect(QPageLayout::Millimeter), PixelsPerInchX()).width();
}

int TPrinter::PhysicalHeight() const {
  return PixelRect(qprinter_->pageLayout().fullRect(QPageLayout::Millimeter), PixelsPerInchY()).height();
}

int TPrinter::PhysicalOffsetX() const {
  return PixelRect(qprinter_->pageLayout().paintRect(QPageLayout::Millimeter), PixelsPerInchX()).left();
}

int TPrinter::PhysicalOffsetY() const {
  return PixelRect(qprinter_->pageLayout().paintRect(QPageLayout::Millimeter), PixelsPerInchY()).top();
}

int TPrinter::PageWidth() const {
  return PixelRect(qprinter_->pageLayout().paintRect(QPageLayout::Millimeter), PixelsPerInchX()).width();
}

int TPrinter::PageHeight() const {
  return PixelRect(qprinter_->pageLayout().paintRect(QPageLayout::Millimeter), PixelsPerInchY()).height();
}

void TPrinter::SetTitle(const AnsiString& title) {
  CheckIdle();
  title_ = title;
}

void TPrinter::SetOutputFileName(const AnsiString& fileName) {
  CheckIdle();
  outputFileName_ = fileName;
}

TCanvas* TPrinter::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>();
    canvas_->Font()->SetPixelsPerInch(PixelsPerInchY());
  }
  return canvas_.get();
}

void TPrinter::BeginDoc() {
  CheckIdle();
  if (outputFileName_.empty() && !hasSystemPrinters_)
    throw EPrinter("The virtual printer needs an output file name");
  qprinter_->setDocName(ToQString(title_));
  if (!outputFileName_.empty()) {
    qprinter_->setOutputFormat(QPrinter::PdfFormat);
    qprinter_->setOutputFileName(ToQString(outputFileName_));
  } else {
    qprinter_->setOutputFileName(QString());
    qprinter_->setOutputFormat(QPrinter::NativeFormat);
  }
  TCanvas* c = Canvas();
  c->ResetClip();
  c->Font()->SetPixelsPerInch(PixelsPerInchY());
  c->SetDevice(qprinter_.get());
  aborted_ = false;
  try {
    c->Painter();  // opens the document
  } catch (const Exception&) {
    c->SetDevice(nullptr);
    throw EPrinter("Printer selected is not valid");
  }
  printing_ = true;
  pageNumber_ = 1;
}

void TPrinter::NewPage() {
  CheckPrinting();
  if (!qprinter_->newPage()) throw EPrinter("Cannot start a new page");
  ++pageNumber_;
  canvas_->ResetClip();
  canvas_->SetPenPos(TPoint(0, 0));
}

void TPrinter::EndDoc() {
  CheckPrinting();
  printing_ = false;
  bool ended = canvas_->Painter().end();
  canvas_->SetDevice(nullptr);
  pageNumber_ = 0;
  // A document that did not reach its file is a failure, not a silent
  // success: the operator must learn that nothing was printed.
  if (!ended) throw EPrinter("Error finishing the printed document");
  if (!outputFileName_.empty()) {
    QFile out(ToQString(outputFileName_));
    if (!out.exists() || out.size() == 0)
      throw EPrinter("Cannot write the file \"" + outputFileName_ + "\"");
  }
}

void TPrinter::Abort() {
  CheckPrinting();
  printing_ = false;
  aborted_ = true;
  if (outputFileName_.empty()) qprinter_->abort();
  canvas_->SetDevice(nullptr);
  pageNumber_ = 0;
  // An aborted document is not left behind as a truncated file.
  if (!outputFileName_.empty()) QFile::remove(ToQString(outputFileName_));
}

TPrinter* Printer() {
  if (!gPrinter) gPrinter = std::make_unique<TPrinter>();
  return gPrinter.get();
}

TPrinter* SetPrinter(TPrinter* printer) {
  gPrinter.reset(printer);
  return printer;
}
