// The report component: templates and the form property, preparing in one
// or two passes, the value request, display formats, page lists and
// printing, and preparation that fails part way.
#include "report/ReportComponent.h"

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "ReportTestSupport.h"
#include "../core/ScratchDir.h"
#include "platform/core/Files.h"
#include "platform/ui/Printers.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Streams.h"
#include "platform/core/TextForm.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"

#include <QImage>
#include <QString>
#include "report/ReportBand.h"
#include "report/ReportDatasets.h"
#include "report/ReportFormation.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

namespace {

// ---- display formats ----

TEST(ReportFormats, OverridesAndCodesFormatAsTheirCategory) {
  struct Case {
    const char* expression;
    Variant value;
    const char* text;
  };
  const Case cases[] = {
      {"X #N0.00", Variant(1234.5), "1234.50"},
      {"X #0.00", Variant(1234.5), "1234.50"},
      {"X #N0,0", Variant(2.25), "2,3"},       // ',' is the decimal separator
      {"X #N#,##0.00", Variant(1234.5), "1,234.50"},  // custom pattern
      {"X #Dyyyy-mm-dd", Variant(TDateTime(45000)), "2023-03-15"},
      {"X #B否;是", Variant(true), "是"},
      {"X #B否;是", Variant(0), "否"},
      {"X", Variant(12), "12"},
      {"X", Variant("  "), ""},
      {"X", Variant::Null(), ""},
  };
  for (const Case& c : cases) {
    std::int32_t format = 0;
    AnsiString pattern;
    AnsiString expr = rbSplitFormatOverride(c.expression, format, pattern);
    EXPECT_EQ(expr, "X") << c.expression;
    EXPECT_EQ(rbFormatValue(c.value, format, pattern), c.text) << c.expression;
  }
  std::int32_t format = 0;
  AnsiString pattern;
  rbSplitFormatOverride("X #N0.00", format, pattern);
  EXPECT_EQ(format, 0x01010000 | (2 << 8) | '.');
}

TEST(ReportFormats, TheFormatTableByCode) {
  EXPECT_EQ(rbFormatValue(Variant(1234.5), 0x01000100 | '.', ""), "1234.5");
  EXPECT_EQ(rbFormatValue(Variant(1234.5), 0x01020200 | '.', ""), "1,234.5");
  EXPECT_EQ(rbFormatValue(Variant(1234.5), 0x01030200 | '.', ""), "1,234.50");
  EXPECT_EQ(rbFormatValue(Variant(TDateTime(45000)), 0x02010000, ""), "2023.03.15");
  EXPECT_EQ(rbFormatValue(Variant(TDateTime(45000)), 0x02020000, ""), "2023年03月15日");
  EXPECT_EQ(rbFormatValue(Variant(TDateTime(0.5)), 0x03020000, ""), "12:00");
  EXPECT_EQ(rbFormatValue(Variant(1), 0x04030000, ""), "真");
  EXPECT_EQ(rbFormatValue(Variant(1.0), 0x01050000, ""), "");  // no such number type
  EXPECT_EQ(rbFormatValue(Variant(1.0), 0x05000000, ""), "");  // no such category
}

TEST(ReportPageLists, ItemsAndRangesNameThePagesToPrint) {
  EXPECT_EQ(rbParsePageNumbers("1,3,5-7", 10), (std::vector<int>{1, 3, 5, 6, 7}));
  EXPECT_EQ(rbParsePageNumbers(" 4- ", 6), (std::vector<int>{4, 5, 6}));
  EXPECT_TRUE(rbParsePageNumbers("", 6).empty());
  EXPECT_THROW(rbParsePageNumbers("1,x", 6), EConvertError);
  EXPECT_EQ(rbParsePageNumbers("5-2000000000", 6), (std::vector<int>{5, 6}));  // no list of 2e9
  EXPECT_EQ(rbParsePageNumbers("0-2", 6), (std::vector<int>{1, 2}));
}

// ---- preparing ----

struct Component : ::testing::Test, TReportBench {
  Component() {
    AddRows(3);
    Band(btMasterData, 0, 20, "DS");
    Text(0, 0, 200, 20, "[DS.\"Name\"]");
  }
  std::vector<AnsiString> Texts(int page = 0) { return TextsOfPage(Report->EMFPages(), page); }
  // The first text with a '|' in it.
  AnsiString Piped() {
    for (const AnsiString& t : Texts())
      if (t.find('|') != std::string::npos) return t;
    return AnsiString();
  }
};

TEST_F(Component, ValueRequestsAskTheApplicationFirst) {
  Report->Dictionary().Variables.SetVariable("DWMC", Variant("'字典'"));
  Text(0, 100, 200, 20, "[DWMC]|[ZBR]|[PAGE#]|[TOTALPAGES]|[1+2]");
  std::vector<AnsiString> asked;
  Report->OnGetValue = [&](const AnsiString& name, Variant& value) {
    asked.push_back(name);
    if (name == "ZBR") value = Variant("张三");
  };
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Piped(), "字典|张三|1|0|3");

  // A handler that answers 0 hides the dictionary's value.
  Report->OnGetValue = [](const AnsiString& name, Variant& value) {
    if (name == "DWMC") value = Variant(0);
    if (name == "ZBR") value = Variant("");
  };
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Piped().substr(0, 2), "0|");
}

TEST_F(Component, CalcWidthIsTheWidthTheTextNeeds) {
  Text(0, 100, 300, 20, "[CALCWIDTH]|ab");  // 14 characters of 6 units, gaps 2 x 2, frame 1
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Piped(), "89|ab");
}

TEST_F(Component, PageMarginsReadAsTheEdgesWhileThePageForms) {
  Page->Name = "Page1";
  Page->RightMargin = 56;
  Text(0, 100, 300, 20, "[Page1.LeftMargin]|[Page1.RightMargin]|[Page1.BottomMargin]");
  Band(btPageFooter, 1000, 30);
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Piped(), "0|700|1039");  // 756 - 56; 1069 less the footer's 30
}

TEST_F(Component, ANameThatRefersToItselfIsAnErrorNotARecursion) {
  Text(0, 100, 200, 20, "[Unknown]");
  EXPECT_THROW(Report->PrepareReport(), EParserError);
  EXPECT_EQ(Report->EMFPages().Count(), 0);
}

TEST_F(Component, AFailedRunLeavesNoPagesAndTheTemplateAsItWas) {
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Report->EMFPages().Count(), 1);
  TMemoryStream before;
  Report->SaveToStream(&before);
  int calls = 0;
  Report->OnBeforePrint = [&](TStringList*, TrbView*) {
    if (++calls == 2) throw EDatabaseError("the query went away");
  };
  EXPECT_THROW(Report->PrepareReport(), EDatabaseError);
  EXPECT_EQ(Report->EMFPages().Count(), 0);
  EXPECT_FALSE(rbFormation().Preparing);
  EXPECT_EQ(rbFormation().CurReport, nullptr);
  TMemoryStream after;
  Report->SaveToStream(&after);
  ASSERT_EQ(before.Size(), after.Size());
  EXPECT_EQ(0, std::memcmp(before.Memory(), after.Memory(), static_cast<size_t>(before.Size())));
  // The dataset went back to where it was and the next run forms again.
  Report->OnBeforePrint = nullptr;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Texts(), (std::vector<AnsiString>{"R1", "R2", "R3"}));
}

TEST_F(Component, ScriptChangesAreUndoneAndTheApplicationsObjectsStayValid) {
  TrbMemoView* memo = Text(0, 100, 200, 20, "x");
  memo->Script.Add("Width := 50");
  TrbPage* page = Page;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Report->Pages().Pages(0), page);
  EXPECT_EQ(Report->FindObject(memo->Name), memo);
  EXPECT_EQ(memo->dx, 200);
  ASSERT_EQ(memo->Script.Count(), 1);
  EXPECT_EQ(memo->Script[0], "Width := 50");
}

TEST_F(Component, ThePreviewIsShownOnlyWhenPagesWereFormed) {
  int shown = 0;
  TrbReport::PreviewHook() = [&](TrbReport*) { ++shown; };
  struct TUnhook {
    ~TUnhook() { TrbReport::PreviewHook() = nullptr; }
  } unhook;
  Report->ShowReport();
  EXPECT_EQ(shown, 1);
  Report->SetPrintIfEmpty(false);
  Mem->Close();
  TMemDataSet empty(&Form);
  empty.AddColumn("Name", ftString, 20);
  DS->SetDataSet(&empty);
  Report->ShowReport();
  EXPECT_EQ(Report->EMFPages().Count(), 0);
  EXPECT_EQ(shown, 1);
}

// A progress window that runs the work directly and records what it was shown.
struct TRecordingProgress : TrbProgressWindow {
  static inline std::vector<AnsiString> log;
  static inline int open = 0;
  AnsiString first;
  int Run(TrbReport*, const AnsiString& caption, const AnsiString& label,
          const std::function<int()>& work) override {
    ++open;
    struct TClose {
      ~TClose() { --open; }
    } close;
    log.push_back("run " + caption + " " + label);
    first = label.substr(0, label.find(' '));
    return work();
  }
  void SetCaption(const AnsiString& c) override { log.push_back("caption " + c); }
  void SetLabel(const AnsiString& l) override {
    log.push_back("label " + l);
    first = l.substr(0, l.find(' '));
  }
  AnsiString FirstCaption() const override { return first; }
  void SetVisible(bool) override {}
  bool Visible() const override { return true; }
};

TEST_F(Component, TwoPassesRunInsideTheProgressWindowWhichClosesOnError) {
  rbSetProgressWindowFactory([] { return std::make_unique<TRecordingProgress>(); });
  struct TUninstall {
    ~TUninstall() { rbSetProgressWindowFactory(nullptr); }
  } uninstall;
  TRecordingProgress::log.clear();
  Report->SetTitle("工资");
  Report->SetTwoPass(true);
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_FALSE(TRecordingProgress::log.empty());
  EXPECT_EQ(TRecordingProgress::log.front(), "run 正在准备报表 - 工资 进行第一次处理:  1");
  EXPECT_EQ(TRecordingProgress::open, 0);

  Report->OnBeforePrint = [](TStringList*, TrbView*) { throw EAbort("stop"); };
  EXPECT_THROW(Report->PrepareReport(), EAbort);
  EXPECT_EQ(TRecordingProgress::open, 0);
  EXPECT_EQ(Report->EMFPages().Count(), 0);
}

TEST(ReportComponentWithoutPages, PreparesInOneOrTwoPassesToNoPage) {
  TReportBench bench;
  bench.Report->Pages().Clear();
  for (bool twoPass : {false, true}) {
    bench.Report->SetTwoPass(twoPass);
    bench.Report->PrepareReport();
    EXPECT_EQ(bench.Report->EMFPages().Count(), 0) << twoPass;
  }
}

TEST_F(Component, StoppingInTheCountingPassKeepsNoPage) {
  Report->SetTwoPass(true);
  Report->OnBeginBand = [&](TrbBand*) { Report->StopReport(); };
  EXPECT_FALSE(Report->PrepareReport());
  EXPECT_EQ(Report->EMFPages().Count(), 0);
}

TEST_F(Component, StopReportInAScriptEndsAOnePassRunKeepingWhatWasFormed) {
  Report->FindObject(Page->Objects[0]->Name)->Script.Add("IF [LINE#] = 2 THEN STOPREPORT");
  EXPECT_FALSE(Report->PrepareReport());
  EXPECT_EQ(Texts(), (std::vector<AnsiString>{"R1"}));  // the band that stopped prints nothing
}

TEST_F(Component, EventsComeInDocumentPageAndBandOrder) {
  std::vector<AnsiString> log;
  Report->OnBeginDoc = [&] { log.push_back("doc"); };
  Report->OnEndDoc = [&] { log.push_back("/doc"); };
  Report->OnBeginPage = [&](int n) { log.push_back("page" + IntToStr(n)); };
  Report->OnEndPage = [&](int n) { log.push_back("/page" + IntToStr(n)); };
  Report->OnBeginBand = [&](TrbBand* b) { log.push_back("band" + IntToStr(b->Type())); };
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(log, (std::vector<AnsiString>{"doc", "page0", "band5", "band5", "band5", "/page0", "/doc"}));
}

TEST_F(Component, EveryPreparedPageEndsWithOnEndPageWhateverTheFooterFlags) {
  Mem->Close();
  for (int i = 4; i <= 60; ++i) Mem->AddRow({Variant("R" + IntToStr(i)), Variant(1.0), Variant("G")});
  auto* footer = Band(btPageFooter, 1040, 20);
  footer->Flags = 32;  // not on the first page
  std::vector<int> ended;
  Report->OnEndPage = [&](int n) { ended.push_back(n); };
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Report->EMFPages().Count(), 2);
  EXPECT_EQ(ended, (std::vector<int>{0, 1}));
}

// ---- templates ----

TEST_F(Component, TemplatesLoadAndSaveAndBadOnesAreReportedAndKeepTheCurrentTemplate) {
  TMemoryStream saved;
  Report->SaveToStream(&saved);
  TrbReport other(&Form);
  saved.SetPosition(0);
  ASSERT_TRUE(other.LoadFromStream(&saved));
  ASSERT_EQ(other.Pages().Count(), 1);
  const size_t objects = Page->Objects.size();
  ASSERT_GT(objects, 0u);
  EXPECT_EQ(other.Pages().Pages(0)->Objects.size(), objects);
  other.Pages().Dictionary.Variables.SetVariable("ZBR", Variant("张三"));

  TMemoryStream newer;
  rbStreamWriteByte(&newer, 25);
  rbStreamWriteInt(&newer, 0);
  TMemoryStream damaged;  // a valid start, then a tag no reader knows
  rbStreamWriteByte(&damaged, 24);
  rbStreamWriteWord(&damaged, 0);
  rbStreamWriteWord(&damaged, 0);
  rbStreamWriteByte(&damaged, 0);
  rbStreamWriteByte(&damaged, 200);
  TMemoryStream cut;  // the saved template without its last bytes
  cut.Write(saved.Memory(), static_cast<int>(saved.Size()) - 3);
  TMemoryStream unknownClass;  // an add-in object of a class nobody registered
  rbStreamWriteByte(&unknownClass, 24);
  rbStreamWriteWord(&unknownClass, 0);
  rbStreamWriteWord(&unknownClass, 0);
  rbStreamWriteByte(&unknownClass, 0);
  rbStreamWriteByte(&unknownClass, gtAddIn);
  rbStreamWriteString(&unknownClass, "TNoSuchView");
  struct Case {
    const char* what;
    TMemoryStream* stream;
  } cases[] = {{"newer", &newer}, {"damaged", &damaged}, {"cut", &cut}, {"unknown class", &unknownClass}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRecordingDialogs dialogs;
    c.stream->SetPosition(0);
    EXPECT_FALSE(other.LoadFromStream(c.stream));
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].Caption, "错误");
    ASSERT_EQ(other.Pages().Count(), 1);
    EXPECT_EQ(other.Pages().Pages(0)->Objects.size(), objects);  // kept
    EXPECT_EQ(other.Pages().Dictionary.Variables.Variable("ZBR").AsString(), "张三");
  }
  EXPECT_FALSE(other.LoadFromFile("/nonexistent/none.rbf"));
}

TEST_F(Component, LoadFromFileOfADamagedOrEmptyFileReturnsFalseAndKeepsTheNameAndTemplate) {
  ScratchDir dir;
  TMemoryStream saved;
  Report->SaveToStream(&saved);
  const AnsiString good = dir / "good.rbf";
  const AnsiString bad = dir / "bad.rbf";
  const AnsiString empty = dir / "empty.rbf";
  {
    TFileStream f(good, fmCreate);
    f.Write(saved.Memory(), static_cast<int>(saved.Size()));
    TFileStream b(bad, fmCreate);
    b.Write(saved.Memory(), static_cast<int>(saved.Size()) / 2);
    TFileStream e(empty, fmCreate);
  }
  TrbReport other(&Form);
  ASSERT_TRUE(other.LoadFromFile(good));
  const size_t objects = other.Pages().Pages(0)->Objects.size();
  for (const AnsiString& path : {bad, empty}) {
    SCOPED_TRACE(path);
    TRecordingDialogs dialogs;
    EXPECT_FALSE(other.LoadFromFile(path));
    EXPECT_EQ(dialogs.Boxes.size(), 1u);
    ASSERT_EQ(other.Pages().Count(), 1);
    EXPECT_EQ(other.Pages().Pages(0)->Objects.size(), objects);
    EXPECT_EQ(other.FileName(), good);
  }
}

TEST_F(Component, TheFormPropertyCarriesTheTemplateOnlyWhenAsked) {
  AnsiString text = ComponentToObjectText(Report);
  EXPECT_NE(text.find("ReportForm = {"), std::string::npos);
  EXPECT_EQ(Report->ReportFormData().size(), 4u);  // the version alone

  EXPECT_EQ(text.find("PreviewButtons"), std::string::npos);  // the default is not written
  Report->SetStoreInDFM(true);
  Report->SetTitle("月报");
  Report->SetPreviewButtons({pbZoom, pbPrint});
  Report->SetInitialZoom(pzOnePage);
  text = ComponentToObjectText(Report);
  EXPECT_NE(text.find("PreviewButtons = [pbZoom, pbPrint]"), std::string::npos) << text;
  TrbReport back(&Form);
  ObjectTextToComponent(text, &back);
  EXPECT_TRUE(back.StoreInDFM());
  EXPECT_EQ(back.Title(), "月报");
  EXPECT_EQ(back.InitialZoom(), pzOnePage);
  EXPECT_TRUE(back.PreviewButtons().Contains(pbPrint));
  EXPECT_FALSE(back.PreviewButtons().Contains(pbExit));
  ASSERT_EQ(back.Pages().Count(), 1);
  EXPECT_EQ(back.Pages().Pages(0)->Objects.size(), Page->Objects.size());

  AnsiString bytes = Report->ReportFormData();
  bytes.resize(bytes.size() - 1);  // the count says more than there is
  EXPECT_THROW(back.SetReportFormData(bytes), EReadError);
}

// ---- printing ----

struct TRecordingTarget : TrbPrintTarget {
  std::vector<AnsiString> log;
  TBitmap sheet{200, 300};
  int copies = 0;
  void SetTitle(const AnsiString& t) override { log.push_back("title " + t); }
  void SetCopies(int c) override { copies = c; }
  int orientation = 0;
  bool IsEqual(int, int, int, int o, int) override { return o == orientation; }
  void SetPrinterInfo(int, int, int, int o, int) override {
    if (o != orientation) log.push_back("paper " + IntToStr(o));
    orientation = o;
  }
  std::array<int, 12> FillPageInfo(int, int w, int h, int o) override { return rbPaperInfo(w, h, o); }
  int PhysicalOffsetX() override { return 0; }
  int PhysicalOffsetY() override { return 0; }
  int PhysicalWidth() override { return 200; }
  int PhysicalHeight() override { return 300; }
  int PageWidth() override { return 200; }
  int PageHeight() override { return 300; }
  void BeginDoc() override { log.push_back("begin"); }
  void NewPage() override { log.push_back("new"); }
  void EndDoc() override { log.push_back("end"); }
  void Abort() override { log.push_back("abort"); }
  TCanvas* Canvas() override { return sheet.Canvas(); }
};

struct Printing : Component {
  Printing() {
    Report->FindObject(Page->Objects[0]->Name)->Flags = 2 | 48;  // a new page after each record
    Mem->AddRow({Variant("R4"), Variant(4.0), Variant("G")});
    Mem->AddRow({Variant("R5"), Variant(5.0), Variant("G")});
    rbSetPrintTarget(&target);
    Report->OnProgress = [this](int n) { printed.push_back(n); };
  }
  ~Printing() override { rbSetPrintTarget(nullptr); }
  TRecordingTarget target;
  std::vector<int> printed;
};

TEST_F(Printing, PageListsCopiesAndCollation) {
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Report->EMFPages().Count(), 5);
  printed.clear();
  Report->PrintPreparedReport("1,3-4", 2, true, ppAll);
  EXPECT_EQ(printed, (std::vector<int>{1, 3, 4, 1, 3, 4}));
  EXPECT_EQ(target.copies, 1);
  EXPECT_EQ(target.log, (std::vector<AnsiString>{"title Untitled", "begin", "new", "new", "new", "new", "new", "end"}));

  printed.clear();
  target.log.clear();
  Report->PrintPreparedReport("", 3, false, ppEven);
  EXPECT_EQ(printed, (std::vector<int>{2, 4}));
  EXPECT_EQ(target.copies, 3);

  printed.clear();
  Report->PrintPreparedReport("4-", 1, true, ppAll);
  EXPECT_EQ(printed, (std::vector<int>{4, 5}));
}

TEST_F(Printing, StoppingAbortsTheJob) {
  ASSERT_TRUE(Report->PrepareReport());
  target.log.clear();
  Report->OnProgress = [this](int n) {
    if (n == 2) Report->StopReport();
  };
  Report->PrintPreparedReport("", 1, true, ppAll);
  EXPECT_EQ(target.log.back(), "abort");
}

TEST_F(Component, PrintingWithoutATargetGoesToTheClassLibrarysPrinter) {
  ScratchDir dir;
  AnsiString pdf = dir / "report.pdf";
  Printer()->SetOutputFileName(pdf);
  struct TBack {
    ~TBack() { Printer()->SetOutputFileName(AnsiString()); }
  } back;
  ASSERT_TRUE(Report->PrepareReport());
  Report->PrintPreparedReport("", 1, true, ppAll);
  EXPECT_FALSE(Printer()->Printing());
  ASSERT_TRUE(FileExists(pdf));
  TFileStream file(pdf, fmOpenRead | fmShareDenyNone);
  EXPECT_GT(file.Size(), 500);
}

TEST_F(Component, AFormedPageDrawsItsFramedTextsWhereTheyWereFormed) {
  auto* framed = Report->FindObject(Page->Objects[1]->Name);
  framed->FrameTyp = 15;
  ASSERT_TRUE(Report->PrepareReport());
  TBitmap sheet(756, 1069);
  sheet.Canvas()->Brush()->SetColor(0xFFFFFF);
  sheet.Canvas()->FillRect(TRect(0, 0, 756, 1069));
  TrbEMFPages& pages = Report->EMFPages();
  pages.Pages(0).Visible = true;
  pages.Draw(0, sheet.Canvas(), TRect(0, 0, 756, 1069));
  sheet.Canvas()->ReleasePainter();
  if (const char* dir = std::getenv("PAYROLL_SHOT_DIR")) sheet.Image().save(QString(dir) + "/report-formed-page.png");
  EXPECT_EQ(PixelAt(sheet, 0, 10), 0);        // left frame of the first record's text
  EXPECT_EQ(PixelAt(sheet, 100, 40), 0);      // top frame of the third record (y 40)
  EXPECT_EQ(PixelAt(sheet, 300, 100), 0xFFFFFF);  // nothing below the records
}

TEST_F(Printing, APageOnOtherPaperStartsAJobOfItsOwn) {
  TrbPage* wide = Report->Pages().Add();
  wide->pgOr = 1;
  Band(btReportTitle, 0, 20, "", wide);
  Text(0, 0, 100, 20, "wide", wide);
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Report->EMFPages().Count(), 6);
  target.log.clear();
  Report->PrintPreparedReport("4-6", 1, true, ppAll);
  EXPECT_EQ(target.log, (std::vector<AnsiString>{"title Untitled", "begin", "new", "end", "paper 1", "begin", "end"}));
}

TEST_F(Component, ATemplateFileLoadsAndNamesTheReport) {
  ScratchDir dir;
  AnsiString path = dir / "jjff.rbf";
  {
    TFileStream file(path, fmCreate);
    Report->SaveToStream(&file);
  }
  TrbReport other(&Form);
  ASSERT_TRUE(other.LoadFromFile(path));
  EXPECT_EQ(other.FileName(), path);
  EXPECT_EQ(other.Pages().Pages(0)->Objects.size(), Page->Objects.size());
}

}  // namespace
