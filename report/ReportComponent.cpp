// TrbReport and TrbCompositeReport (contracts in ReportComponent.h).
#include "report/ReportComponent.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Files.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/data/Dataset.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Printers.h"
#include "report/ReportDatasets.h"
#include "report/ReportFormation.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

namespace {

constexpr std::int32_t kFormVersion = 24;

std::function<std::unique_ptr<TrbProgressWindow>()>& ProgressFactory() {
  static std::function<std::unique_ptr<TrbProgressWindow>()> factory;
  return factory;
}

// The class library's printer as the print target.
class TPrinterTarget : public TrbPrintTarget {
 public:
  void SetTitle(const AnsiString& title) override { Printer()->SetTitle(title); }
  void SetCopies(int copies) override { Printer()->SetCopies(copies); }
  bool IsEqual(int pgSize, int pgWidth, int pgHeight, int pgOr, int pgBin) override {
    TPrinterDeviceMode m = Printer()->DeviceMode();
    if (m.PaperSize != pgSize || static_cast<int>(m.Orientation) != pgOr) return false;
    if (pgSize == DMPAPER_USER && (m.PaperWidth != pgWidth || m.PaperLength != pgHeight)) return false;
    return (pgBin & 0xFFFF) == kDefaultBin || m.DefaultSource == pgBin;
  }
  void SetPrinterInfo(int pgSize, int pgWidth, int pgHeight, int pgOr, int pgBin) override {
    TPrinterDeviceMode m = Printer()->DeviceMode();
    m.PaperSize = pgSize;
    m.PaperWidth = pgWidth;
    m.PaperLength = pgHeight;
    m.Orientation = pgOr ? poLandscape : poPortrait;
    if ((pgBin & 0xFFFF) != kDefaultBin) m.DefaultSource = pgBin;
    Printer()->SetDeviceMode(m);
  }
  std::array<int, 12> FillPageInfo(int, int pgWidth, int pgHeight, int pgOr) override {
    return rbPaperInfo(pgWidth, pgHeight, pgOr);
  }
  int PhysicalOffsetX() override { return Printer()->PhysicalOffsetX(); }
  int PhysicalOffsetY() override { return Printer()->PhysicalOffsetY(); }
  int PhysicalWidth() override { return Printer()->PhysicalWidth(); }
  int PhysicalHeight() override { return Printer()->PhysicalHeight(); }
  int PageWidth() override { return Printer()->PageWidth(); }
  int PageHeight() override { return Printer()->PageHeight(); }
  void BeginDoc() override { Printer()->BeginDoc(); }
  void NewPage() override { Printer()->NewPage(); }
  void EndDoc() override { Printer()->EndDoc(); }
  void Abort() override {
    if (Printer()->Printing()) Printer()->Abort();
  }
  TCanvas* Canvas() override { return Printer()->Canvas(); }
};

TrbPrintTarget* gPrintTarget = nullptr;

void LetMessagesThrough() {
  if (Application) Application->ProcessMessages();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::int32_t ReadInt32(const AnsiString& bytes, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return static_cast<std::int32_t>(v);
}

void AppendInt32(AnsiString& bytes, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

void rbSetProgressWindowFactory(std::function<std::unique_ptr<TrbProgressWindow>()> factory) {
  ProgressFactory() = std::move(factory);
}

void rbSetPrintTarget(TrbPrintTarget* target) { gPrintTarget = target; }

TrbPrintTarget* rbPrintTarget() {
  static TPrinterTarget printer;
  return gPrintTarget ? gPrintTarget : &printer;
}

// ---- page lists and display formats ----

std::vector<int> rbParsePageNumbers(const AnsiString& text, int pageCount) {
  AnsiString s;
  for (char c : text)
    if (c != ' ') s += c;
  std::vector<int> pages;
  if (s.empty()) return pages;
  if (s.back() == '-') s += IntToStr(pageCount);
  size_t pos = 0;
  while (pos <= s.size()) {
    size_t end = s.find(',', pos);
    if (end == std::string::npos) end = s.size();
    AnsiString item = s.substr(pos, end - pos);
    pos = end + 1;
    if (item.empty()) continue;
    size_t dash = item.find('-');
    if (dash == std::string::npos) {
      pages.push_back(StrToInt(item));
    } else {
      // Only pages that exist: "1-2000000000" must not make a list of that size.
      int from = std::max(1, StrToInt(item.substr(0, dash)));
      int to = std::min(pageCount, StrToInt(item.substr(dash + 1)));
      for (int n = from; n <= to; ++n) pages.push_back(n);
    }
  }
  return pages;
}

AnsiString rbSplitFormatOverride(const AnsiString& name, std::int32_t& format, AnsiString& formatStr) {
  size_t mark = name.find(" #");
  if (mark == std::string::npos) return name;
  AnsiString expr = name.substr(0, mark);
  AnsiString ov = name.substr(mark + 2);
  if (ov.empty()) return expr;
  char c = ov[0];
  if (IsDigit(c) || c == 'N' || c == 'n') {
    if (IsDigit(c)) ov = "N" + ov;
    format = 0x01000000;
    bool fixedDigits = ov.size() > 1 && IsDigit(ov[1]);
    if (fixedDigits) format += 0x00010000;
    for (size_t i = ov.size() - 1; i >= 1; --i) {
      if (ov[i] == ',' || ov[i] == '-' || ov[i] == '.') {
        format += static_cast<unsigned char>(ov[i]);
        ov[i] = '.';
        if (fixedDigits) {
          AnsiString digits;
          for (size_t k = i + 1; k < ov.size() && IsDigit(ov[k]); ++k) digits += ov[k];
          format += static_cast<std::int32_t>(digits.size() & 0xFF) << 8;
        }
        break;
      }
    }
    if (!fixedDigits) {
      formatStr = ov.substr(1);
      format += 0x00040000;
    }
  } else if (c == 'D' || c == 'd' || c == 'T' || c == 't') {
    format = 0x02040000;
    formatStr = ov.substr(1);
  } else if (c == 'B' || c == 'b') {
    format = 0x04040000;
    formatStr = ov.substr(1);
  }
  return expr;
}

AnsiString rbFormatValue(const Variant& value, std::int32_t format, const AnsiString& formatStr) {
  if (value.IsEmpty() || value.IsNull()) return AnsiString();
  if (value.IsString() && value.AsString().Trim().empty()) return AnsiString();
  int category = (format >> 24) & 0x0F, type = (format >> 16) & 0xFF, decimals = (format >> 8) & 0xFF;
  char separator = static_cast<char>(format & 0xFF);
  // A copy of the settings only when the separator differs (copies are not cheap).
  std::optional<TFormatSettings> own;
  if (category == 1 && separator && separator != DefaultFormatSettings().DecimalSeparator) {
    own.emplace(DefaultFormatSettings());
    own->DecimalSeparator = separator;
  }
  const TFormatSettings& fs = own ? *own : DefaultFormatSettings();
  try {
    switch (category) {
      case 0:
        return VarToStr(value);
      case 1: {
        double d = value.AsDouble();
        switch (type) {
          case 0: return FormatFloat("##0." + AnsiString(static_cast<size_t>(decimals), '#'), d, fs);
          case 1: return FloatToStrF(d, ffFixed, 15, std::min(decimals, 18), fs);
          case 2: return FormatFloat("#,##0." + AnsiString(static_cast<size_t>(decimals), '#'), d, fs);
          case 3: return FloatToStrF(d, ffNumber, 15, std::min(decimals, 18), fs);
          case 4: return FormatFloat(formatStr, d, fs);
          default: return AnsiString();
        }
      }
      case 2: {
        TDateTime dt = value.AsDateTime();
        switch (type) {
          case 0: return FormatDateTime("yy.mm.dd", dt, fs);
          case 1: return FormatDateTime("yyyy.mm.dd", dt, fs);
          case 2: return FormatDateTime("yyyy'年'mm'月'dd'日'", dt, fs);
          case 3: return FormatDateTime(fs.LongDateFormat, dt, fs);
          case 4: return FormatDateTime(formatStr, dt, fs);
          default: return AnsiString();
        }
      }
      case 3: {
        static const char* kTimes[] = {"hh:nn:ss", "h:nn:ss", "hh:nn", "h:nn"};
        TDateTime dt = value.AsDateTime();
        if (type < 4) return FormatDateTime(kTimes[type], dt, fs);
        if (type == 4) return FormatDateTime(formatStr, dt, fs);
        return AnsiString();
      }
      case 4: {
        static const char* kPairs[] = {"0;1", "否;是", "_;x", "假;真"};
        AnsiString pair = type < 4 ? AnsiString(kPairs[type]) : type == 4 ? formatStr : AnsiString();
        if (type > 4) return AnsiString();
        size_t semi = pair.find(';');
        AnsiString no = pair.substr(0, semi), yes = semi == std::string::npos ? AnsiString() : AnsiString(pair.substr(semi + 1));
        bool truth = value.VarType() == varBoolean ? value.AsBoolean() : value.AsInteger() != 0;
        return truth ? yes : no;
      }
      default:
        return AnsiString();
    }
  } catch (const EVariantError&) {
    return VarToStr(value);  // a text where a number or date was expected shows as it is
  }
}

// ---- TrbReport ----

TrbReport::TrbReport(TComponent* owner)
    : TComponent(owner), pages_(std::make_unique<TrbPages>()), emfPages_(std::make_unique<TrbEMFPages>()) {
  pages_->Dictionary.FindDataSet = [this](const AnsiString& name) -> TDataSet* {
    TComponent* c = rbFindComponent(Owner(), name);
    if (auto* ds = dynamic_cast<TDataSet*>(c)) return ds;
    if (auto* rb = dynamic_cast<TrbDBDataSet*>(c)) {
      try {
        return rb->GetDataSet();
      } catch (const Exception&) {
        return nullptr;
      }
    }
    return nullptr;
  };
  pages_->Dictionary.DefaultDataSet = [] { return rbGetDefaultDataSet(); };
}

TrbReport::~TrbReport() {
  formers_.clear();
  auto& st = rbFormation();
  if (st.CurReport == this || st.MasterReport == this) st.Clear();
  if (rbCurrentContext() == this) rbSetCurrentContext(nullptr);
  if (rbCurrentPages() == pages_.get()) rbSetCurrentPages(nullptr);
}

void TrbReport::SetDataset(TrbDataset* v) {
  if (dataset_ == v) return;
  if (dataset_) dataset_->RemoveFreeNotification(this);
  dataset_ = v;
  if (dataset_) dataset_->FreeNotification(this);
}

void TrbReport::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == dataset_) dataset_ = nullptr;
}

AnsiString TrbReport::ReportFormData() const {
  AnsiString bytes;
  AppendInt32(bytes, kFormVersion);
  if (storeInDFM_) {
    TMemoryStream m;
    const_cast<TrbReport*>(this)->SaveToStream(&m);
    AppendInt32(bytes, static_cast<std::int32_t>(m.Size()));
    bytes.append(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
  }
  return bytes;
}

void TrbReport::SetReportFormData(const AnsiString& bytes) {
  if (bytes.size() < 4) throw EReadError("ReportForm: property data too short");
  if (!storeInDFM_) return;
  if (bytes.size() < 8) throw EReadError("ReportForm: template size missing");
  std::int32_t count = ReadInt32(bytes, 4);
  if (count < 0 || static_cast<size_t>(count) > bytes.size() - 8)
    throw EReadError("ReportForm: template size " + IntToStr(count) + " beyond the property data");
  reportForm_ = std::make_unique<TMemoryStream>();
  reportForm_->Write(bytes.data() + 8, count);
  reportForm_->SetPosition(0);
}

void TrbReport::Loaded() {
  TComponent::Loaded();
  if (reportForm_) {
    std::unique_ptr<TMemoryStream> stream = std::move(reportForm_);
    LoadFromStream(stream.get());
  }
}

bool TrbReport::LoadFromFile(const AnsiString& fileName) {
  if (!FileExists(fileName)) return false;
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  // A file of no bytes holds no template: it is as damaged as a cut one.
  if (stream.Size() == 0) {
    MessageBox("不支持的RBF格式", "错误", MB_OK | MB_ICONERROR);
    return false;
  }
  if (!LoadFromStream(&stream)) return false;
  fileName_ = fileName;
  return true;
}

// The template is read into a list of its own (TrbPages::LoadTemplate) and
// replaces the current one only when the whole stream was read: a newer,
// damaged or cut template is reported, returns false and leaves the report
// as it was, so a caller that goes on cannot print the previous template
// as if it were the new one.
bool TrbReport::LoadFromStream(TStream* stream) {
  rbSetCurrentPages(pages_.get());
  if (stream->Size() - stream->Position() <= 0) {
    pages_->Dictionary.Clear();  // an empty stream loads nothing
    return true;
  }
  std::int64_t start = stream->Position();
  int version = rbStreamReadByte(stream);
  stream->SetPosition(start);
  if (version > 24) {
    MessageBox("不支持的RBF格式", "错误", MB_OK | MB_ICONERROR);
    return false;
  }
  try {
    pages_->LoadTemplate(stream);
    return true;
  } catch (const EClassNotFound& e) {
    MessageBox("Report contains the following non-plugged components:\r" + e.Message() +
                   "You must include these components into your project.",
               "错误", MB_OK | MB_ICONERROR);
  } catch (const std::exception&) {  // EReadError, or a size no reader can hold
    MessageBox("不支持的RBF格式", "错误", MB_OK | MB_ICONERROR);
  }
  rbSetCurrentPages(pages_.get());
  return false;
}

void TrbReport::SaveToStream(TStream* stream) {
  rbSetCurrentPages(pages_.get());
  pages_->SaveTemplate(stream);
}

TrbView* TrbReport::FindObject(const AnsiString& name) { return pages_->FindObject(name); }

TrbPageFormer* TrbReport::FormerOf(TrbPage* page) {
  for (const auto& f : formers_)
    if (f->Page == page) return f.get();
  return nullptr;
}

TrbPageFormer* TrbReport::FormerOfIndex(int index) {
  if (index < 0 || index >= static_cast<int>(formers_.size())) return nullptr;
  return formers_[static_cast<size_t>(index)].get();
}

TrbEMFPages& TrbReport::TargetPages() {
  TrbReport* master = rbFormation().MasterReport;
  return master ? *master->emfPages_ : *emfPages_;
}

void TrbReport::BindField(TrbView* view, TDataSet* dataSet, const AnsiString& field) {
  bindings_[view] = {dataSet, field};
}

// ---- preparing ----

void TrbReport::SaveTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved) {
  savedVisible_.clear();  // a page's Visible is not part of its record
  for (int i = 0; i < pages_->Count(); ++i) savedVisible_.push_back(pages_->Pages(i)->Visible);
  saved.push_back(std::make_unique<TMemoryStream>());
  SaveToStream(saved.back().get());
}

// The saved template is read into a new list; when formation left the
// template's shape as it was (it changes properties, never the lists), every
// page and object takes its saved record back in place, so the objects the
// application holds stay valid; otherwise the new list replaces the old.
void TrbReport::RestoreTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved) {
  if (saved.empty()) return;
  TrbPages fresh;
  saved[0]->SetPosition(0);
  rbSetCurrentPages(&fresh);
  fresh.Dictionary.FindDataSet = pages_->Dictionary.FindDataSet;
  fresh.Dictionary.DefaultDataSet = pages_->Dictionary.DefaultDataSet;
  fresh.LoadTemplate(saved[0].get());
  bool sameShape = fresh.Count() == pages_->Count();
  for (int i = 0; sameShape && i < fresh.Count(); ++i) {
    auto& a = fresh.Pages(i)->Objects;
    auto& b = pages_->Pages(i)->Objects;
    sameShape = a.size() == b.size();
    for (size_t k = 0; sameShape && k < a.size(); ++k)
      sameShape = a[k]->Typ == b[k]->Typ && a[k]->ClassName() == b[k]->ClassName();
  }
  if (!sameShape) {
    pages_->Swap(fresh);
    rbSetCurrentPages(pages_.get());
    return;
  }
  rbSetCurrentPages(pages_.get());
  auto copyRecord = [](auto* from, auto* to) {
    TMemoryStream m;
    rbCurrentVersion = 24;
    from->SaveToStream(&m);
    m.SetPosition(0);
    rbCurrentVersion = 24;
    to->LoadFromStream(&m);
  };
  for (int i = 0; i < fresh.Count(); ++i) {
    TrbPage* from = fresh.Pages(i);
    TrbPage* to = pages_->Pages(i);
    rbSetCurrentPage(to);
    copyRecord(from, to);
    if (static_cast<size_t>(i) < savedVisible_.size()) to->Visible = savedVisible_[static_cast<size_t>(i)];
    for (size_t k = 0; k < from->Objects.size(); ++k) {
      copyRecord(from->Objects[k].get(), to->Objects[k].get());
      to->Objects[k]->AfterLoad();
    }
  }
  pages_->KeepPrinter = fresh.KeepPrinter;
  pages_->TwoPass = fresh.TwoPass;
  pages_->PrinterName = fresh.PrinterName;
  pages_->Dictionary.Variables.Swap(fresh.Dictionary.Variables);
  pages_->Dictionary.FieldAliases.Swap(fresh.Dictionary.FieldAliases);
  pages_->Dictionary.Extra.Swap(fresh.Dictionary.Extra);
}

bool TrbReport::PrepareReport() {
  auto& st = rbFormation();
  if (st.Preparing) throw Exception("A report is being prepared already");
  TrbReportContext* previousContext = rbCurrentContext();
  // 1. The printer named in the template.
  if (!pages_->KeepPrinter && !pages_->PrinterName.empty()) {
    AnsiString name = pages_->PrinterName == rbVirtualPrinterName() ? AnsiString(kVirtualPrinterName)
                                                                     : pages_->PrinterName;
    int index = Printer()->Printers()->IndexOf(name);
    if (index >= 0 && !Printer()->Printing()) Printer()->SetPrinterIndex(index);
  }
  // 2.-4. Formation state, placed objects, requests.
  st.Clear();
  st.Preparing = true;
  st.Date = Date();
  st.Time = Time();
  st.CurReport = this;
  st.MasterReport = this;
  rbSetCurrentContext(this);
  rbSetCurrentPages(pages_.get());
  rememberedTwoPass_ = TwoPass();
  bindings_.clear();
  std::vector<std::unique_ptr<TMemoryStream>> saved;
  // Whatever happens from here: the template comes back as it was, the
  // formers and the formation state go, the progress window is closed.
  struct TRestore {
    TrbReport* report;
    std::vector<std::unique_ptr<TMemoryStream>>& saved;
    TrbReportContext* previous;
    ~TRestore() {
      try {
        report->DoneFormers();
      } catch (...) {  // a dataset that fails to close must not hide the first error
      }
      try {
        report->RestoreTemplates(saved);
      } catch (...) {
      }
      report->finalPass_ = false;
      report->firstPass_ = false;
      report->progress_ = nullptr;
      report->bindings_.clear();
      rbFormation().Clear();
      rbSetCurrentView(nullptr);
      rbSetCurrentContext(previous);
    }
  } restore{this, saved, previousContext};
  try {
    pages_->ResetBandAligned();
    SaveTemplates(saved);
    if (OnBeginDoc) OnBeginDoc();
    bool result = DoPrepareReport();
    if (OnEndDoc) OnEndDoc();
    bool loadError = rbErrorFlag;
    AnsiString loadErrorText = rbErrorText;
    rbErrorFlag = false;
    if (st.DialogCancelled) result = false;
    if (loadError) {
      MessageBox(loadErrorText, "错误", MB_OK | MB_ICONERROR);
      emfPages_->Clear();
      result = false;
    } else if (st.DialogCancelled) {
      emfPages_->Clear();
    }
    return result;
  } catch (...) {
    emfPages_->Clear();  // a failed run keeps no half-formed pages
    throw;
  }
}

bool TrbReport::DoPrepareReport() {
  auto& st = rbFormation();
  bool result = true;
  terminated_ = false;
  st.Append = false;
  firstPass_ = false;
  finalPass_ = true;
  st.PageNo = 0;
  TargetPages().Clear();
  AnsiString caption = title_.empty() ? AnsiString("正在准备报表") : AnsiString("正在准备报表") + " - " + title_;
  bool windowed = showProgress_ && !OnProgress && ProgressFactory();
  auto runWindow = [&](const AnsiString& label) {
    return RunInProgressWindow(caption, label, [this] { return RunPasses(); });
  };
  if (TwoPass()) {
    firstPass_ = true;
    finalPass_ = false;
    if (windowed) result = runWindow(AnsiString("进行第一次处理:") + "  1") != 2;
    else result = RunPasses() != 2;
  } else if (!windowed || progress_) {
    if (progress_) {
      progress_->SetCaption(caption);
      progress_->SetLabel(AnsiString("正在处理页:") + "  1");
    }
    if (!progress_) SetTwoPass(rememberedTwoPass_);
    result = RunPasses() != 2;
  } else {
    st.TotalPages = 0;
    result = runWindow(AnsiString("正在处理页:") + "  1") != 2;
  }
  return result;
}

int TrbReport::RunPasses() {
  auto& st = rbFormation();
  BuildPages();
  if (finalPass_) return terminated_ ? 2 : 1;
  // The counting pass is done: form the kept pages with the total known.
  st.TotalPages = TargetPages().Count();
  SetTwoPass(false);
  struct TSetBack {
    TrbReport* r;
    ~TSetBack() { r->SetTwoPass(true); }
  } setBack{this};
  if (terminated_) {
    TargetPages().Clear();
    return 2;
  }
  return DoPrepareReport() ? 1 : 2;
}

void TrbReport::InitFormers() {
  formers_.clear();
  for (int i = 0; i < pages_->Count(); ++i)
    formers_.push_back(std::make_unique<TrbPageFormer>(this, pages_->Pages(i), i + 1));
  // Pages shown by sub-report objects are not formed on their own.
  for (const auto& f : formers_)
    for (const auto& o : f->Page->Objects)
      if (o->Typ == gtSubReport)
        if (TrbPageFormer* target = FormerOfIndex(static_cast<TrbSubReportView*>(o.get())->SubPage))
          if (target != f.get()) target->Skip = true;
}

void TrbReport::DoneFormers() {
  for (const auto& f : formers_)
    if (f->Page->Type == 0) f->DoneReport();
  for (const auto& f : formers_)
    if (f->Page->Type != 0) f->DoneReport();
  formers_.clear();
}

void TrbReport::BuildPages() { BuildPagesOf(); }

void TrbReport::BuildPagesOf() {
  auto& st = rbFormation();
  TrbReport* master = st.MasterReport ? st.MasterReport : this;
  canRebuild_ = true;
  st.Preparing = true;
  st.CurReport = this;
  rbSetCurrentContext(this);
  rbSetCurrentPages(pages_.get());
  rbErrorFlag = false;
  bool finalOfTwo = master->rememberedTwoPass_ && master->finalPass_;
  bool multiple = reportType_ == rtMultiple && dataset_;
  if (multiple) {
    dataset_->Init();
    dataset_->First();
  }
  if (!finalOfTwo || formers_.empty()) {
    st.HookList.clear();
    InitFormers();
    st.DialogCancelled = false;
  }
  for (const auto& f : formers_) {
    if (f->Page->Type != 1) continue;
    f->InitReport();
    if (st.DialogCancelled) break;
  }
  if (!st.DialogCancelled) {
    if (!finalOfTwo || formers_.empty() || !formers_.front()->Initialised) {
      for (const auto& f : formers_)
        if (f->Page->Type == 0) f->InitReport();
      for (const auto& f : formers_)
        if (f->Page->Type == 0) f->PrepareObjects();
    }
    TrbEMFPages& pages = TargetPages();
    do {
      DoProgress(st.PageNo + 1);
      for (size_t i = 0; i < formers_.size(); ++i) {
        TrbPageFormer* f = formers_[i].get();
        st.CurPage = f;
        rbSetCurrentPage(f->Page);
        f->PageNumber = static_cast<int>(i) + 1;
        if (!f->Page->Visible && f->Page->Script.Count()) {
          TStringList compiled, errors;
          rbGlobalInterpreter().PrepareScript(&f->Page->Script, &compiled, &errors);
          rbGlobalInterpreter().DoScript(&compiled);
        }
        if (!f->Skip && f->Page->Type == 0 && f->Page->Visible) {
          f->Mode = pmNormal;
          f->FormPage();
          st.Append = false;
          bool nextPrev = i + 1 < formers_.size() && formers_[i + 1]->Page->PrintToPrevPage;
          bool lastComposite = i + 1 == formers_.size() && st.Composite && (!multiple || dataset_->Eof());
          if ((nextPrev || lastComposite) && pages.Count() > 0) {
            st.PageNo = pages.Count() - 1;
            st.Append = true;
          } else {
            st.PageNo = pages.Count();
            DoProgress(st.PageNo);
          }
        }
        if (IsTerminated()) break;
      }
      DoProgress(st.PageNo);
      if (multiple) dataset_->Next();
    } while (!IsTerminated() && multiple && !dataset_->Eof());
  }
  if (!master->rememberedTwoPass_ || master->finalPass_ || IsTerminated() || st.DialogCancelled) DoneFormers();
  if (multiple) dataset_->Exit();
}

void TrbReport::ShowReport() {
  PrepareReport();
  ShowPreparedReport();
}

std::function<void(TrbReport* report)>& TrbReport::PreviewHook() {
  static std::function<void(TrbReport*)> hook;
  return hook;
}

AnsiString TrbReport::PreviewCaption() const {
  return title_.empty() ? AnsiString("预览") : AnsiString("预览") + " - " + title_;
}

void TrbReport::ShowPreparedReport() {
  if (emfPages_->Count() == 0) return;
  if (PreviewHook()) PreviewHook()(this);
}

void TrbReport::LoadPreparedReport(const AnsiString& fileName) {
  emfPages_->LoadFromFile(fileName);
  canRebuild_ = false;
}

void TrbReport::SavePreparedReport(const AnsiString& fileName) { emfPages_->SaveToFile(fileName); }

// ---- events and progress ----

void TrbReport::DoProgress(int n) {
  if (OnProgress) {
    OnProgress(n);
    return;
  }
  TrbReport* master = rbFormation().MasterReport;
  TrbProgressWindow* window = master ? master->progress_ : progress_;
  if (!showProgress_ || !window) return;
  AnsiString label = window->FirstCaption() + "  " + IntToStr(n);
  if (master && master->rememberedTwoPass_ && master->finalPass_)
    label += " " + AnsiString("从") + " " + IntToStr(rbFormation().TotalPages);
  window->SetLabel(label);
  LetMessagesThrough();
}

void TrbReport::DoBeforePrint(TStringList* memo, TrbView* view) {
  auto it = bindings_.find(view);
  if (it != bindings_.end()) {
    TDataSet* ds = it->second.first;
    TField* f = ds ? ds->FindField(it->second.second) : nullptr;
    if (IsBlobField(f)) {
      if (auto* m = dynamic_cast<TrbMemoView*>(view)) m->LoadFromBlobField(f);
      else if (auto* p = dynamic_cast<TrbPictureView*>(view)) p->LoadFromBlobField(f);
    }
  }
  if (OnBeforePrint) OnBeforePrint(memo, view);
}

void TrbReport::BeforePrint(TStrings* memo, TrbObject* view) {
  DoBeforePrint(dynamic_cast<TStringList*>(memo), dynamic_cast<TrbView*>(view));
}

void TrbReport::DoBeginColumn(TrbBand* band) {
  if (OnBeginColumn) OnBeginColumn(band);
}
void TrbReport::DoPrintColumn(int colNo, int& width) {
  if (OnPrintColumn) OnPrintColumn(colNo, width);
}
void TrbReport::DoBeginPage(int pgNo) {
  if (OnBeginPage) OnBeginPage(pgNo);
  TrbReport* master = rbFormation().MasterReport;
  if (master && master != this && master->OnBeginPage) master->OnBeginPage(pgNo);
}
void TrbReport::DoEndPage(int pgNo) {
  if (OnEndPage) OnEndPage(pgNo);
  TrbReport* master = rbFormation().MasterReport;
  if (master && master != this && master->OnEndPage) master->OnEndPage(pgNo);
}
void TrbReport::DoBeginBand(TrbBand* band) {
  if (OnBeginBand) OnBeginBand(band);
}
void TrbReport::DoEndBand(TrbBand* band) {
  if (OnEndBand) OnEndBand(band);
}

bool TrbReport::IsFirstPass() const {
  TrbReport* master = rbFormation().MasterReport;
  return master ? master->firstPass_ : firstPass_;
}

bool TrbReport::IsTerminated() const {
  TrbReport* master = rbFormation().MasterReport;
  return terminated_ || (master && master->terminated_);
}

// ---- TrbReportContext ----

bool TrbReport::Terminated() {
  LetMessagesThrough();
  return IsTerminated();
}

void TrbReport::StopReport() {
  terminated_ = true;
  if (TrbReport* master = rbFormation().MasterReport) master->terminated_ = true;
}

void TrbReport::NewPage() {
  if (TrbBand* b = rbFormation().CurBand) ++b->NewPageCount;
}

void TrbReport::NewColumn() {
  if (TrbBand* b = rbFormation().CurBand) ++b->NewColumnCount;
}

void TrbReport::ShowBand(const AnsiString& name) {
  if (TrbPageFormer* p = rbFormation().CurPage) p->ShowBandByName(name);
}

bool TrbReport::SetDictionaryVariable(const AnsiString& name, const Variant& value) {
  if (Dictionary().Variables.IndexOf(name) < 0) return false;
  Dictionary().Variables.SetVariable(name, value);
  return true;
}

bool TrbReport::SetModalResult(int result) {
  TrbPageFormer* p = rbFormation().CurPage;
  if (!p || p->Page->Type != 1) return false;
  // With its form open (or opening) the result closes it and InitDialog
  // decides; a page without a form decides here.
  if (p->DialogForm) p->DialogForm->SetModalResult(static_cast<TModalResult>(result));
  else if (result == 2) rbFormation().DialogCancelled = true;
  return true;
}

bool TrbReport::SetCurY(int y) {
  TrbPageFormer* p = rbFormation().CurPage;
  if (!p) return false;
  p->CurY = y;
  return true;
}

void TrbReport::ShowProgress(const AnsiString& text) {
  TrbReport* master = rbFormation().MasterReport;
  TrbProgressWindow* window = master ? master->progress_ : progress_;
  if (window) window->SetLabel(text);
}

TrbAggregateBand* TrbReport::CurrentBand() { return rbFormation().CurBand; }
TrbAggregateBand* TrbReport::RegisteringFor() { return rbFormation().RegisteringFor; }
int TrbReport::CrossColumn() {
  TrbPageFormer* p = rbFormation().CurPage;
  return p ? p->CrossColumn : 0;
}

void TrbReport::UserFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                             const Variant& p3, Variant& value) {
  if (OnUserFunction) OnUserFunction(name, p1, p2, p3, value);
}

void TrbReport::GetVariableValue(const AnsiString& name, Variant& value) {
  auto& st = rbFormation();
  value = Variant();
  if (OnGetValue) {
    OnGetValue(name, value);
    if (!value.IsEmpty()) return;
  }
  value = Variant(0);
  if (Dictionary().IsVariable(name)) {
    value = Dictionary().GetValue(name);
    return;
  }
  AnsiString up = AnsiUpperCase(name);
  TrbPageFormer* page = st.CurPage;
  TrbBand* band = st.CurBand;
  if (band && !band->DataSource && band->Page) {
    TrbBand* first = band->Page->Bands[static_cast<size_t>(band->BandType)];
    if (first) band = first;
  }
  if (up == "VALUE") value = st.CurValue;
  else if (up == "PAGE#") value = Variant(st.PageNo + 1);
  else if (up == "DATE") value = Variant(st.Date);
  else if (up == "TIME") value = Variant(st.Time);
  else if (up == "LINE#") value = Variant(band ? band->LineNo : 0);
  else if (up == "LINETHROUGH#") value = Variant(band ? band->LineThrough : 0);
  else if (up == "COLUMN#") value = Variant(page ? page->CrossColumn : 0);
  else if (up == "CURRENT#") value = Variant(page ? page->RecordCounter : 0);
  else if (up == "TOTALPAGES") value = Variant(st.TotalPages);
  else if (up == "CALCWIDTH") {
    TrbView* v = rbCurrentView();
    if (auto* m = dynamic_cast<TrbMemoView*>(v)) value = Variant(m->CalcWidth());
    else value = Variant(v ? v->dx : 0);
  } else if (rbGlobalVariables().IndexOf(name) < 0) {
    value = Variant();
    GetSystemValue(name, value);
    if (!value.IsEmpty()) return;
    if (AnsiSameText(name, st.Evaluating)) {
      if (st.ErrorsOff) return;
      throw EParserError("符号没定义 \"" + name + "\"");
    }
    AnsiString keep = st.Evaluating;
    st.Evaluating = name;
    struct TBack {
      AnsiString& slot;
      AnsiString value;
      ~TBack() { slot = value; }
    } back{st.Evaluating, keep};
    value = rbGlobalParser().Calc(name);
  } else {
    value = rbGlobalVariables().Variable(name);
  }
}

void TrbReport::GetSystemValue(const AnsiString& name, Variant& value) {
  auto& st = rbFormation();
  TrbPageFormer* p = st.CurPage;
  AnsiString up = AnsiUpperCase(name);
  TrbReport* master = st.MasterReport ? st.MasterReport : this;
  if (up == "CURY") value = Variant(p ? p->CurY : 0);
  else if (up == "FREESPACE") value = Variant(p ? p->CurBottomY - p->CurY : 0);
  else if (up == "FINALPASS") value = Variant(master->finalPass_);
  else if (up == "PAGEHEIGHT") value = Variant(p ? p->CurBottomY : 0);
  else if (up == "PAGEWIDTH") value = Variant(p ? p->RightEdge() : 0);
  if (!value.IsEmpty()) return;
  if (name.find('.') != std::string::npos) {
    AnsiString property;
    TrbObject* obj = rbGetObjectProperty(name, property);
    // While a page forms, its margins read as the edges in force.
    if (TrbPageFormer* f = dynamic_cast<TrbPage*>(obj) ? FormerOf(static_cast<TrbPage*>(obj)) : nullptr) {
      AnsiString prop = AnsiUpperCase(property);
      if (f->Initialised && prop == "LEFTMARGIN") value = Variant(f->LeftEdge());
      else if (f->Initialised && prop == "TOPMARGIN") value = Variant(f->TopEdge());
      else if (f->Initialised && prop == "RIGHTMARGIN") value = Variant(f->RightEdge());
      else if (f->Initialised && prop == "BOTTOMMARGIN") value = Variant(f->BottomEdge());
      if (!value.IsEmpty()) return;
    }
    if (obj && obj != rbCurrentView()) {
      rbEnsureProperties(obj);
      if (obj->FindProperty(property)) {
        value = obj->GetPropValue(property);
        return;
      }
    }
  }
  if (rbConstants().IndexOf(name) >= 0) value = rbConstants().Variable(name);
}

AnsiString TrbReport::ExpandValue(TrbObject* object, const AnsiString& expression) {
  auto& st = rbFormation();
  auto* view = dynamic_cast<TrbView*>(object);
  std::int32_t format = view ? view->Format : 0;
  AnsiString formatStr = view ? view->FormatStr : AnsiString();
  AnsiString expr = rbSplitFormatOverride(expression, format, formatStr);
  st.CurVariable = expr;
  st.CurValue = Variant(0);
  Variant value;
  GetVariableValue(expr, value);
  if (view && view->Typ == gtMemo && (view->Flags & mfHideZeros) && !value.IsString() && !value.IsEmpty() &&
      !value.IsNull()) {
    try {
      if (value.AsDouble() == 0) value = Variant("");
    } catch (const Exception&) {
    }
  }
  if (st.ErrorsOff) return AnsiString();
  return rbFormatValue(value, format, formatStr);
}

// ---- printing ----

void TrbReport::PrintPreparedReport(const AnsiString& pageNumbers, int copies, bool collate,
                                    TrbPrintPages printPages) {
  TrbPrintTarget* target = rbPrintTarget();
  int count = emfPages_->Count();
  if (count == 0) return;
  std::vector<int> list = rbParsePageNumbers(pageNumbers, count);
  if (copies < 1) copies = 1;
  TrbPageInfo& first = emfPages_->Pages(0);
  target->SetPrinterInfo(first.pgSize, first.pgWidth, first.pgHeight, first.pgOr, first.pgBin);
  target->SetTitle(title_.empty() ? AnsiString("Untitled") : title_);
  if (OnPrintReport) OnPrintReport();
  target->SetCopies(collate ? 1 : copies);
  terminated_ = false;
  target->BeginDoc();
  bool ended = false;
  struct TAbort {
    TrbPrintTarget* t;
    bool& ended;
    ~TAbort() {
      if (ended) return;
      try {
        t->Abort();
      } catch (...) {
      }
    }
  } abort{target, ended};
  bool firstSheet = true;
  int rounds = collate ? copies : 1;
  for (int c = 0; c < rounds && !terminated_; ++c) {
    for (int i = 0; i < count && !terminated_; ++i) {
      int no = i + 1;
      if (!list.empty() && std::find(list.begin(), list.end(), no) == list.end()) continue;
      if (printPages == ppOdd && no % 2 == 0) continue;
      if (printPages == ppEven && no % 2 == 1) continue;
      PrintPage(i, firstSheet);
    }
  }
  if (terminated_) return;  // the guard aborts the job
  target->EndDoc();
  ended = true;
}

void TrbReport::PrintPage(int index, bool& firstSheet) {
  TrbPrintTarget* t = rbPrintTarget();
  TrbPageInfo& p = emfPages_->Pages(index);
  if (!t->IsEqual(p.pgSize, p.pgWidth, p.pgHeight, p.pgOr, p.pgBin)) {
    t->EndDoc();
    t->SetPrinterInfo(p.pgSize, p.pgWidth, p.pgHeight, p.pgOr, p.pgBin);
    t->BeginDoc();
  } else if (!firstSheet) {
    t->NewPage();
  }
  firstSheet = false;
  p.PrnInfo = t->FillPageInfo(p.pgSize, p.pgWidth, p.pgHeight, p.pgOr);
  TRect r;
  if (p.UseMargins) {
    int ox = t->PhysicalOffsetX(), oy = t->PhysicalOffsetY();
    r = TRect(-ox, -oy, t->PhysicalWidth() - ox, t->PhysicalHeight() - oy);
  } else {
    int pw = t->PageWidth(), ph = t->PageHeight();
    double kx = p.PrnInfo[6] > 0 ? static_cast<double>(pw) / p.PrnInfo[6] : 1;
    double ky = p.PrnInfo[7] > 0 ? static_cast<double>(ph) / p.PrnInfo[7] : 1;
    auto even = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    r = TRect(even(p.pgMargins[0] * kx), even(p.pgMargins[1] * ky), pw - even(p.pgMargins[2] * kx),
              ph - even(p.pgMargins[3] * ky));
  }
  p.Visible = true;
  emfPages_->Draw(index, t->Canvas(), r);
  p.Visible = false;
  emfPages_->Draw(index, t->Canvas(), TRect(0, 0, 0, 0));
  DoProgress(index + 1);
  LetMessagesThrough();
}

int TrbReport::RunInProgressWindow(const AnsiString& caption, const AnsiString& label,
                                   const std::function<int()>& work) {
  std::unique_ptr<TrbProgressWindow> window = ProgressFactory()();
  progress_ = window.get();
  struct TClose {
    TrbReport* r;
    ~TClose() { r->progress_ = nullptr; }
  } close{this};
  return window->Run(this, caption, label, work);
}

void TrbReport::PrintPreparedReportDlg(const AnsiString& pageNumbers, int copies, bool collate,
                                       TrbPrintPages printPages) {
  if (showProgress_ && !OnProgress && ProgressFactory()) {
    AnsiString caption = AnsiString("正在准备报表") + " - " + title_;
    RunInProgressWindow(caption, "正在打印页:", [&] {
      PrintPreparedReport(pageNumbers, copies, collate, printPages);
      return terminated_ ? 2 : 1;
    });
  } else {
    PrintPreparedReport(pageNumbers, copies, collate, printPages);
  }
}

// ---- TrbCompositeReport ----

TrbCompositeReport::TrbCompositeReport(TComponent* owner) : TrbReport(owner) {}

void TrbCompositeReport::SaveTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved) {
  for (TrbReport* r : Reports) {
    saved.push_back(std::make_unique<TMemoryStream>());
    r->SaveToStream(saved.back().get());
  }
}

void TrbCompositeReport::RestoreTemplates(std::vector<std::unique_ptr<TMemoryStream>>& saved) {
  for (TrbReport* r : Reports) {
    try {
      r->DoneFormers();  // a run that ended early leaves its members' bands
    } catch (...) {
    }
  }
  for (size_t i = 0; i < Reports.size() && i < saved.size(); ++i) {
    std::vector<std::unique_ptr<TMemoryStream>> one;
    one.push_back(std::move(saved[i]));
    Reports[i]->RestoreTemplates(one);
  }
  saved.clear();
}

void TrbCompositeReport::BuildPages() {
  auto& st = rbFormation();
  canRebuild_ = true;
  st.PageNo = 0;
  if (dataset_) {
    dataset_->Init();
    dataset_->First();
  }
  do {
    for (size_t i = 0; i < Reports.size(); ++i) {
      TrbReport* r = Reports[i];
      std::unique_ptr<TMemoryStream> kept;
      if (dataset_) {
        kept = std::make_unique<TMemoryStream>();
        r->SaveToStream(kept.get());
      }
      st.Composite = false;
      if (i + 1 < Reports.size()) {
        TrbReport* next = Reports[i + 1];
        if (next->Pages().Count() > 0 && next->Pages().Pages(0)->PrintToPrevPage) {
          TrbPage* nextFirst = next->Pages().Pages(0);
          TrbEMFPages& pages = TargetPages();
          int pgOr = 0, pgSize = 0;
          if (pages.Count() > 0) {
            pgOr = pages.Pages(pages.Count() - 1).pgOr;
            pgSize = pages.Pages(pages.Count() - 1).pgSize;
          } else if (r->Pages().Count() > 0) {
            TrbPage* last = r->Pages().Pages(r->Pages().Count() - 1);
            pgOr = last->pgOr;
            pgSize = last->pgSize;
          }
          st.Composite = pgOr == nextFirst->pgOr && pgSize == nextFirst->pgSize;
        }
      }
      if (r->OnBeginDoc) r->OnBeginDoc();
      r->rememberedTwoPass_ = rememberedTwoPass_;
      r->finalPass_ = finalPass_;
      r->firstPass_ = firstPass_;
      r->BuildPagesOf();
      if (finalPass_ && r->OnEndDoc) r->OnEndDoc();
      if (kept) {
        std::vector<std::unique_ptr<TMemoryStream>> one;
        one.push_back(std::move(kept));
        r->RestoreTemplates(one);
      }
      st.Append = st.Composite;
      st.Composite = false;
      st.CurReport = this;
      rbSetCurrentContext(this);
      if (IsTerminated()) break;
    }
    if (dataset_) dataset_->Next();
  } while (dataset_ && !IsTerminated() && !dataset_->Eof());
  if (dataset_) dataset_->Exit();
}

// ---- published ----

PAYROLL_PUBLISH(TrbReport) {
  p.Property("Dataset", &TrbReport::Dataset, &TrbReport::SetDataset);
  p.Property("DefaultCollate", &TrbReport::DefaultCollate, &TrbReport::SetDefaultCollate).Default(true);
  p.Property("DefaultCopies", &TrbReport::DefaultCopies, &TrbReport::SetDefaultCopies).Default(1);
  p.Property("GrayedButtons", &TrbReport::GrayedButtons, &TrbReport::SetGrayedButtons).Default(false);
  p.Property("InitialZoom", &TrbReport::InitialZoom, &TrbReport::SetInitialZoom).Default(pzDefault);
  p.Property("MDIPreview", &TrbReport::MDIPreview, &TrbReport::SetMDIPreview).Default(false);
  p.Property("ModalPreview", &TrbReport::ModalPreview, &TrbReport::SetModalPreview).Default(true);
  p.Property("ModifyPrepared", &TrbReport::ModifyPrepared, &TrbReport::SetModifyPrepared).Default(true);
  p.Property("PreviewButtons", &TrbReport::PreviewButtons, &TrbReport::SetPreviewButtons)
      .Default(TrbPreviewButtons{pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit});
  p.Property("PrintIfEmpty", &TrbReport::PrintIfEmpty, &TrbReport::SetPrintIfEmpty).Default(true);
  p.Property("ReportType", &TrbReport::ReportType, &TrbReport::SetReportType).Default(rtSimple);
  p.Property("ShowPrintDialog", &TrbReport::ShowPrintDialog, &TrbReport::SetShowPrintDialog).Default(true);
  p.Property("ShowProgress", static_cast<bool (TrbReport::*)() const>(&TrbReport::ShowProgress), &TrbReport::SetShowProgress).Default(true);
  p.Property("StoreInDFM", &TrbReport::StoreInDFM, &TrbReport::SetStoreInDFM).Default(false);
  p.Property("Title", &TrbReport::Title, &TrbReport::SetTitle);
  p.Event("OnBeginBand", &TrbReport::OnBeginBand);
  p.Event("OnBeginColumn", &TrbReport::OnBeginColumn);
  p.Event("OnBeginDoc", &TrbReport::OnBeginDoc);
  p.Event("OnBeginPage", &TrbReport::OnBeginPage);
  p.Event("OnBeforePrint", &TrbReport::OnBeforePrint);
  p.Event("OnEndBand", &TrbReport::OnEndBand);
  p.Event("OnEndDoc", &TrbReport::OnEndDoc);
  p.Event("OnEndPage", &TrbReport::OnEndPage);
  p.Event("OnGetValue", &TrbReport::OnGetValue);
  p.Event("OnManualBuild", &TrbReport::OnManualBuild);
  p.Event("OnMouseOverObject", &TrbReport::OnMouseOverObject);
  p.Event("OnObjectClick", &TrbReport::OnObjectClick);
  p.Event("OnPrintColumn", &TrbReport::OnPrintColumn);
  p.Event("OnPrintReport", &TrbReport::OnPrintReport);
  p.Event("OnProgress", &TrbReport::OnProgress);
  p.Event("OnUserFunction", &TrbReport::OnUserFunction);
  p.Binary("ReportForm", &TrbReport::ReportFormData, &TrbReport::SetReportFormData);
}

PAYROLL_PUBLISH(TrbCompositeReport) {}
