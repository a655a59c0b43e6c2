// Templates built in code, saved byte-exact against golden files, read
// back; older versions; damaged streams.
#include "report/ReportPage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <typeinfo>
#include <fstream>
#include <sstream>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Jpeg.h"
#include "report/ReportBuild.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"

namespace {

std::string DataDir() { return REPORT_TEST_DATA; }

std::string Bytes(TMemoryStream& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

std::string Saved(TrbPages& pages) {
  TMemoryStream m;
  pages.SaveTemplate(&m);
  return Bytes(m);
}

void Load(TrbPages& pages, const std::string& bytes) {
  TMemoryStream m;
  m.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  m.SetPosition(0);
  pages.LoadTemplate(&m);
}

// Compares with the golden file; PAYROLL_UPDATE_GOLDEN=1 rewrites it.
void ExpectGolden(const std::string& name, const std::string& bytes) {
  std::string path = DataDir() + name;
  if (std::getenv("PAYROLL_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << path;
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_TRUE(golden.str() == bytes) << name << " differs from its golden file";
}

// A pay sheet as the application builds it: title, header, data band.
void BuildPaySheet(TrbPages& pages) {
  TrbPage* page = pages.Add();
  page->Name = "Page1";
  RbCollection->AddBand(page, 0, 40, 0);
  RbCollection->AddMemo(page, "", 0, 5, 700, 30, "工资表 [DWMC]", "C", 16, 4);
  RbCollection->AddBand(page, 40, 20, 2);
  RbCollection->AddMemo(page, "LRTB", 0, 42, 80, 18, "姓名", "CM", 10, 0);
  RbCollection->AddDataBand(page, 70, 20, "rbDataSet1");
  RbCollection->AddMemo(page, "lrtb", 0, 72, 80, 18, "[rbDataSet1.\"xm\"]", "LM", 10, 0);
  RbCollection->AddMemoFormatted(page, "LRTB", 80, 72, 100, 18, "[rbDataSet1.\"F01\"]", "RM", 10,
                                 0x0104022E, "#,##0.00");
  auto* line = static_cast<TrbLineView*>(page->Add(rbCreateObject(gtLine, "")));
  line->SetBounds(0, 95, 180, 0);
  line->FrameWidth = 0.5f;
  auto* pic = static_cast<TrbPictureView*>(page->Add(rbCreateObject(gtPicture, "")));
  pic->SetBounds(600, 0, 40, 30);
  TBitmap bmp(3, 2);
  bmp.Canvas()->Brush()->SetColor(0x0000FF);
  bmp.Canvas()->FillRect(TRect(0, 0, 3, 2));
  pic->Picture().SetGraphic(&bmp);
  pages.Dictionary.Variables.SetVariable(" 工资", "");
  pages.Dictionary.Variables.SetVariable("合计", "SUM([rbDataSet1.\"F01\"])");
}

TEST(ReportTemplate, PaySheetBuiltInCodeSavesAsItsGoldenFileAndLoadsBack) {
  TrbPages pages;
  BuildPaySheet(pages);
  std::string bytes = Saved(pages);
  ExpectGolden("paysheet.rbf", bytes);
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x18\0\0\0\0", 5));

  TrbPages back;
  Load(back, bytes);
  ASSERT_EQ(back.Count(), 1);
  TrbPage* page = back.Pages(0);
  ASSERT_EQ(page->Objects.size(), 9u);
  auto* header = dynamic_cast<TrbMemoView*>(page->Objects[3].get());
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->Memo.Text(), "姓名\r\n");
  EXPECT_EQ(header->FrameTyp, 15);
  EXPECT_EQ(header->Alignment, 2 | 8);
  EXPECT_EQ(header->FontName, "宋体");
  auto* data = dynamic_cast<TrbBandView*>(page->Objects[4].get());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->BandType(), 5);
  EXPECT_EQ(data->DataSource(), "rbDataSet1");
  auto* money = dynamic_cast<TrbMemoView*>(page->Objects[6].get());
  EXPECT_EQ(money->Format, 0x0104022E);
  EXPECT_EQ(money->FormatStr, "#,##0.00");
  EXPECT_EQ(money->FontName, "Times New Roman");
  EXPECT_FLOAT_EQ(page->Objects[7]->FrameWidth, 0.5f);
  auto* pic = dynamic_cast<TrbPictureView*>(page->Objects[8].get());
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->Picture().Width(), 3);
  EXPECT_EQ(VarToStr(back.Dictionary.Variables.Variable("合计")), "SUM([rbDataSet1.\"F01\"])");
  EXPECT_EQ(Saved(back), bytes);
}

TEST(ReportTemplate, OneEmptyPageIsHeaderPageRecordAndDictionary) {
  TrbPages pages;
  pages.PrinterName = rbVirtualPrinterName();
  pages.Add()->Name = "Page1";
  std::string bytes = Saved(pages);
  EXPECT_EQ(bytes.substr(0, 9), std::string("\x18\0\0\0\0\x01\0\x01\0", 9));
  EXPECT_EQ(static_cast<unsigned char>(bytes[9]), 0xFF);
  EXPECT_EQ(bytes.substr(bytes.size() - 15), std::string("\xFE\xFE\xFF\0\0\0\0\0\0\0\0\0\0\0\0", 15));
  TrbPages back;
  Load(back, bytes);
  EXPECT_EQ(back.PrinterName, rbVirtualPrinterName());
  EXPECT_EQ(back.Pages(0)->pgBin, 65535);
}

// ---- a version-23 template written field by field ----

void WriteVersion23(TMemoryStream& m) {
  rbStreamWriteByte(&m, 23);
  rbStreamWriteWord(&m, 0);
  rbStreamWriteWord(&m, 0);
  rbStreamWriteString(&m, "");
  rbStreamWriteByte(&m, 0xFF);
  for (int v : {-1, 9, 2100, 2970, 0, 0, 0, 0}) rbStreamWriteInt(&m, v);
  rbStreamWriteByte(&m, 0);          // portrait
  rbStreamWriteWord(&m, 0);          // PrintToPrevPage
  rbStreamWriteWord(&m, 0xFFFF);     // use margins
  rbStreamWriteInt(&m, 1);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteByte(&m, gtMemo);     // object entry: no end position before 24
  rbStreamWriteByte(&m, 0);
  rbStreamWriteString(&m, "Memo7");
  for (int v : {10, 20, 100, 18}) rbStreamWriteInt(&m, v);
  rbStreamWriteWord(&m, 0x43);
  rbStreamWriteWord(&m, 15);
  rbStreamWriteInt(&m, 2);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteWord(&m, 0);
  rbStreamWriteInt(&m, kNoFill);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteString(&m, "");
  TStringList text;
  text.Add("旧版");
  rbStreamWriteMemo(&m, &text);
  TStringList none;
  rbStreamWriteMemo(&m, &none);      // script
  rbStreamWriteWord(&m, 0xFFFF);     // visible
  rbStreamWriteString(&m, "宋体");
  rbStreamWriteInt(&m, 12);
  rbStreamWriteWord(&m, rbfsBold);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteInt(&m, 2);
  rbStreamWriteWord(&m, 134);
  rbStreamWriteWord(&m, 2);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteInt(&m, 0xFFFFFF);
  rbStreamWriteString(&m, "");
  rbStreamWriteByte(&m, 0xFE);
  rbStreamWriteWord(&m, 0xFFFE);
  for (int i = 0; i < 3; ++i) rbStreamWriteInt(&m, 0);
}

TEST(ReportTemplate, Version23ReadsWithDefaultsForLaterFields) {
  TMemoryStream m;
  WriteVersion23(m);
  m.SetPosition(0);
  TrbPages pages;
  pages.LoadTemplate(&m);
  ASSERT_EQ(pages.Count(), 1);
  TrbPage* page = pages.Pages(0);
  EXPECT_EQ(page->pgBin, -1);
  EXPECT_EQ(page->Caption, "Form");
  EXPECT_EQ(page->Name, "Page1");
  ASSERT_EQ(page->Objects.size(), 1u);
  auto* memo = dynamic_cast<TrbMemoView*>(page->Objects[0].get());
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->Name, "Memo7");
  EXPECT_EQ(memo->Memo[0], "旧版");
  EXPECT_EQ(memo->LineSpacing, 2);
  EXPECT_EQ(memo->CharSpacing, 0);
  EXPECT_EQ(memo->FontCharset, 134);
  EXPECT_EQ(memo->GapX, 2);
}

TEST(ReportTemplate, NewerVersionIsRefusedAndTheTemplateStays) {
  TrbPages pages;
  pages.Add()->Name = "Mine";
  std::string bytes = Saved(pages);
  bytes[0] = 25;
  try {
    Load(pages, bytes);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "不支持的RBF格式");
  }
  ASSERT_EQ(pages.Count(), 1);
  EXPECT_EQ(pages.Pages(0)->Name, "Mine");
}

// A template of one empty page whose tagged parts end with `tail`.
std::string Head() {
  TrbPages pages;
  pages.Add()->Name = "Page1";
  std::string head = Saved(pages);
  head.resize(head.size() - 15);  // drop FE and the dictionary
  return head;
}
std::string WithEntry(const std::string& tail) { return Head() + tail; }

// An object entry placed at `at` (so its end position is absolute).
std::string MemoEntry(const char* className, const std::string& after, size_t at = Head().size()) {
  TMemoryStream m;
  m.SetSize(static_cast<std::int64_t>(at));
  m.SetPosition(static_cast<std::int64_t>(at));
  rbStreamWriteByte(&m, className ? gtAddIn : gtMemo);
  if (className) rbStreamWriteString(&m, className);
  rbStreamWriteByte(&m, 0);
  std::int64_t slot = m.Position();
  rbStreamWriteInt(&m, 0);
  TrbMemoView memo;
  memo.Name = "M1";
  memo.SaveToStream(&m);
  m.WriteBuffer(after.data(), static_cast<int>(after.size()));
  std::int64_t end = m.Position();
  m.SetPosition(slot);
  rbStreamWriteInt(&m, static_cast<std::int32_t>(end));
  return Bytes(m).substr(at);
}

TEST(ReportTemplate, OldClassNamesAndTags) {
  TrbPages pages;
  // A framed text of any letter case loads as a text; its 8 bytes are skipped.
  Load(pages, WithEntry(MemoEntry("tRbFrAmEdMeMoViEw", std::string(8, '\x77'))));
  ASSERT_EQ(pages.Pages(0)->Objects.size(), 1u);
  EXPECT_EQ(pages.Pages(0)->Objects[0]->Typ, gtMemo);

  // Tag 253 ends the reading: the object after it is not read.
  Load(pages, WithEntry("\xFD" + MemoEntry(nullptr, "", Head().size() + 1)));
  EXPECT_TRUE(pages.Pages(0)->Objects.empty());

  // An add-in class that is not available.
  try {
    Load(pages, WithEntry(MemoEntry("TrbNoSuchControl", "")));
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_NE(e.Message().find("TrbNoSuchControl"), std::string::npos);
  }
}

TEST(ReportTemplate, DamageIsReportedWithItsOffset) {
  TrbPages pages;
  struct Case {
    std::string bytes;
    const char* what;
  } cases[] = {
      {WithEntry("\x0B"), "unknown tag 11"},
      {WithEntry(std::string("\x00\x05", 2)), "object on page 5"},
      {WithEntry(std::string("\x00\x00\xFF\xFF\x00\x00", 6)), "object end position"},
  };
  for (const auto& c : cases) {
    try {
      Load(pages, c.bytes);
      ADD_FAILURE() << c.what;
    } catch (const EReadError& e) {
      EXPECT_NE(e.Message().find(c.what), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find("offset"), std::string::npos) << e.Message();
    }
  }
  // An object whose record is damaged is reported, not dropped silently.
  std::string entry = MemoEntry(nullptr, "");
  size_t font = entry.find("Arial");
  entry[font - 2] = '\x7F';  // a font name longer than the stream
  entry[font - 1] = '\x7F';
  try {
    Load(pages, WithEntry(entry));
    ADD_FAILURE();
  } catch (const EReadError& e) {
    EXPECT_NE(e.Message().find("could not be read"), std::string::npos) << e.Message();
  }
}

// Every cut and many flipped bytes of a real template give an error or a
// template, never a crash; a failed load keeps the template there was.
TEST(ReportTemplate, FuzzedTemplatesGiveErrorsNeverCrashes) {
  TrbPages source;
  BuildPaySheet(source);
  std::string good = Saved(source);
  TrbPages pages;
  pages.Add()->Name = "Kept";
  auto tryLoad = [&](const std::string& bytes) {
    std::string before = Saved(pages);
    try {
      Load(pages, bytes);
    } catch (const Exception&) {
      ASSERT_EQ(Saved(pages), before);
    }
  };
  for (size_t n = 0; n < good.size(); ++n) tryLoad(good.substr(0, n));
  for (size_t i = 0; i < good.size(); ++i)
    for (unsigned char v : {0x00, 0x7F, 0xFF}) {
      std::string bad = good;
      bad[i] = static_cast<char>(v);
      tryLoad(bad);
    }
}

// ---- objects and properties ----

TEST(ReportObjects, CreationCodesAndIds) {
  int before = rbObjectIdCounter();
  EXPECT_EQ(rbCreateObject(7, ""), nullptr);
  EXPECT_EQ(rbObjectIdCounter(), before);
  std::unique_ptr<TrbView> a(rbCreateObject(gtMemo, "")), b(rbCreateObject(gtBand, ""));
  EXPECT_EQ(b->ID, a->ID + 1);
  rbRegisterAddIn("TrbTestControl", [] { return new TrbView; });
  std::unique_ptr<TrbView> c(rbCreateObject(gtAddIn, "TrbTestControl"));
  EXPECT_EQ(c->Typ, gtAddIn);
  rbErrorFlag = false;
  rbErrorText.clear();
  EXPECT_THROW(rbCreateObject(gtAddIn, "TRBTESTCONTROL"), EClassNotFound);  // case counts
  EXPECT_TRUE(rbErrorFlag);
  EXPECT_EQ(rbErrorText, "\rTRBTESTCONTROL");
}

TEST(ReportObjects, PropertiesByName) {
  TrbMemoView memo;
  EXPECT_EQ(VarToStr(memo.GetPropValue("datafield")), "");
  memo.Memo.Add("a");
  memo.Memo.Add("b");
  EXPECT_EQ(memo.GetPropValue("memo.count").AsInteger(), 2);
  EXPECT_EQ(VarToStr(memo.GetPropValue("DataField")), "a");
  memo.Flags = 0x43;
  memo.SetPropValue("Stretched", false);
  EXPECT_EQ(memo.Flags, 0x42);
  memo.SetPropValue("WordWrap", false);
  EXPECT_EQ(memo.Flags, 0x40);
  memo.SetPropValue("FrameWidth", 0.5);
  EXPECT_FLOAT_EQ(memo.FrameWidth, 0.5f);
  EXPECT_TRUE(memo.GetPropValue("nosuch").IsNull());
  memo.DoMethod("LINES.ADD", "'c' + 'd'", "", "");
  EXPECT_EQ(memo.Memo[2], "cd");
  memo.DoMethod("HIDE", "", "", "");
  EXPECT_FALSE(memo.Visible);
  rbEnsureProperties(&memo);
  EXPECT_NE(memo.FindProperty("framewidth"), nullptr);
  EXPECT_EQ(memo.FindProperty("FrameWidth")->Type, rbpFloat | rbpUnits);

  TrbBandView band;
  band.SetBandType(130);
  EXPECT_EQ(band.BandType(), 2);
  band.DefineProperties();
  EXPECT_NE(band.FindProperty("OnFirstPage"), nullptr);
  EXPECT_EQ(band.FindProperty("Condition"), nullptr);
}

TEST(ReportObjects, PageAndObjectNames) {
  TrbPages pages;
  rbSetCurrentPages(&pages);
  TrbPage* p1 = pages.Add();
  p1->Name = "Page1";
  TrbPage* p2 = pages.Add();
  p2->Name = "Page2";
  auto* m = static_cast<TrbMemoView*>(p1->Add(rbCreateObject(gtMemo, "")));
  m->CreateUniqueName();
  EXPECT_EQ(m->Name, "Memo1");
  auto* m2 = static_cast<TrbMemoView*>(p2->Add(rbCreateObject(gtMemo, "")));
  m2->CreateUniqueName();
  EXPECT_EQ(m2->Name, "Memo2");
  AnsiString prop;
  EXPECT_EQ(rbGetObjectProperty("PAGE2.Visible", prop), p2);
  EXPECT_EQ(prop, "Visible");
  EXPECT_EQ(rbGetObjectProperty("PAGEX.Visible", prop), nullptr);
  EXPECT_EQ(rbGetObjectProperty("memo2.Lines", prop), m2);
  EXPECT_EQ(rbGetObjectProperty("Font.Size", prop, m), m);  // a property of the current view
  EXPECT_EQ(prop, "Font.Size");
  rbSetCurrentPages(nullptr);
}

TEST(ReportBuild, FrameAndAlignmentLetters) {
  struct Frame {
    const char* letters;
    int bits;
  } frames[] = {{"LRTB", 15}, {"", 0}, {"tb", 10}, {"BxL", 6}};
  for (const auto& f : frames) EXPECT_EQ(rbFrameSides(f.letters), f.bits) << f.letters;
  struct Align {
    const char* letters;
    int code;
  } aligns[] = {{"C", 2}, {"RM", 9}, {"", 0}, {"LCR", 1}, {"TB", 16}, {"cb", 18}};
  for (const auto& a : aligns) EXPECT_EQ(rbApplyAlignment(0, a.letters), a.code) << a.letters;
  EXPECT_EQ(rbApplyAlignment(4 | 1 | 16, "L"), 4);  // the turned-text bit stays

  TrbPage page;
  TrbBandView* band = RbCollection->AddBand(&page, 30, 0, 3);
  EXPECT_EQ(band->x, 0);
  EXPECT_EQ(band->dx, 0);
  EXPECT_EQ(band->y, 30);
  EXPECT_EQ(band->dy, 0);
  EXPECT_EQ(band->BandType(), 3);
}

}  // namespace

namespace {

std::string PictureRecord(TrbPictureView& pic) {
  rbCurrentVersion = 24;  // records are read as the version of their stream
  TMemoryStream m;
  pic.SaveToStream(&m);
  return Bytes(m);
}

TEST(ReportPictures, JpegAndBitmapPicturesRoundTrip) {
  TBitmap bmp(5, 4);
  bmp.Canvas()->Brush()->SetColor(0x00FF00);
  bmp.Canvas()->FillRect(TRect(0, 0, 5, 4));
  TJPEGImage jpeg;
  jpeg.Assign(&bmp);
  for (TGraphic* g : std::initializer_list<TGraphic*>{&bmp, &jpeg}) {
    TrbPictureView pic;
    pic.Picture().SetGraphic(g);
    std::string rec = PictureRecord(pic);
    TMemoryStream m;
    m.WriteBuffer(rec.data(), static_cast<int>(rec.size()));
    m.SetPosition(0);
    TrbPictureView back;
    back.LoadFromStream(&m);
    EXPECT_EQ(m.Position(), m.Size());
    ASSERT_NE(back.Picture().Graphic(), nullptr);
    EXPECT_EQ(typeid(*back.Picture().Graphic()), typeid(*g));
    EXPECT_EQ(back.Picture().Width(), 5);
  }
}

TEST(ReportPictures, EmptyAndUnknownKindsKeepTheirEndPosition) {
  TrbPictureView pic;
  std::string rec = PictureRecord(pic);
  // kind 0, BlobType, then an end position right after that int32
  size_t kind = rec.size() - 6;
  EXPECT_EQ(rec[kind], 0);
  std::int32_t end;
  std::memcpy(&end, rec.data() + kind + 2, 4);
  EXPECT_EQ(end, static_cast<std::int32_t>(rec.size()));

  // A kind 7 record with data is skipped to its end and leaves no picture.
  rec[kind] = 7;
  std::string data = "unknown graphic bytes";
  end = static_cast<std::int32_t>(rec.size() + data.size());
  std::memcpy(rec.data() + kind + 2, &end, 4);
  rec += data;
  TMemoryStream m;
  m.WriteBuffer(rec.data(), static_cast<int>(rec.size()));
  m.SetPosition(0);
  TrbPictureView back;
  back.LoadFromStream(&m);
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(back.Picture().Graphic(), nullptr);
}

}  // namespace

#include "report/ReportFunctions.h"

namespace {

TEST(ReportObjects, BandAlignedObjectsArePlacedAgainstThePageEdges) {
  TrbPages pages;
  TrbPage* page = pages.Add();  // A4 portrait: 756 units wide
  auto* right = static_cast<TrbMemoView*>(page->Add(rbCreateObject(gtMemo, "")));
  right->SetBounds(5, 5, 100, 20);
  right->BandAlign = 2;
  auto* centre = static_cast<TrbMemoView*>(page->Add(rbCreateObject(gtMemo, "")));
  centre->SetBounds(5, 5, 56, 20);
  centre->BandAlign = 3;
  auto* wide = static_cast<TrbMemoView*>(page->Add(rbCreateObject(gtMemo, "")));
  wide->SetBounds(5, 5, 10, 20);
  wide->BandAlign = 4;
  page->RightMargin = 6;
  pages.ResetBandAligned();
  EXPECT_EQ(right->x, 650);
  EXPECT_EQ(centre->x, 347);
  EXPECT_EQ(wide->x, 0);
  EXPECT_EQ(wide->dx, 750);
  rbSetCurrentPage(nullptr);
}

class TNamedReport : public TrbReportContext {
 public:
  void GetVariableValue(const AnsiString&, Variant&) override {}
  AnsiString ReportName() override { return "frReport1"; }
  void StopReport() override { stopped = true; }
  bool stopped = false;
};

TEST(ReportObjects, FormationErrorsNameTheObjectAndTheReport) {
  TNamedReport report;
  rbSetCurrentContext(&report);
  TrbMemoView memo;
  memo.Name = "Memo3";
  memo.Memo.Add("[Pay] / 0");
  memo.BeginDraw(nullptr);
  rbReportFormationError(EParserError("Missing operand"));
  EXPECT_TRUE(rbErrorFlag);
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(rbErrorText, "计算时发生错误\r\n[Pay] / 0\r\n对象: Memo3\r\n报表: frReport1\r\n\r\nMissing operand");
  rbSetCurrentContext(nullptr);
  rbSetCurrentView(nullptr);
  rbErrorFlag = false;
}

}  // namespace

#include "report/ReportDatasets.h"

namespace {

TEST(ReportObjects, ClipRectsIncludeTheFrame) {
  TrbMemoView m;
  m.SetBounds(10, 20, 100, 50);
  EXPECT_EQ(m.ClipRect(false), TRect(10, 20, 110, 70));
  m.FrameTyp = 15;
  m.FrameWidth = 3;
  EXPECT_EQ(m.ClipRect(false), TRect(8, 18, 112, 72));
  m.FrameStyle = 5;  // double lines reach further out
  EXPECT_EQ(m.ClipRect(true), TRect(-4, 6, 125, 85));
}

TEST(ReportObjects, BandMethodsMoveTheRunDataset) {
  TrbBandView band;
  EXPECT_TRUE(band.DoMethod("NEXT", "", "", "").IsNull());  // no dataset: nothing happens
  TrbUserDataset ds(nullptr);
  band.RunDataset = &ds;
  band.DoMethod("next", "", "", "");
  band.DoMethod("NEXT", "", "", "");
  EXPECT_EQ(ds.RecNo(), 2);
  band.DoMethod("Prior", "", "", "");
  EXPECT_EQ(ds.RecNo(), 1);
  band.DoMethod("FIRST", "", "", "");
  EXPECT_EQ(ds.RecNo(), 0);
}

}  // namespace

namespace {

// A template from before version bytes: it starts with the keep-printer
// flag, strings end with a zero byte, and text objects get word wrap.
TEST(ReportTemplate, Version21WithoutAVersionByte) {
  TMemoryStream m;
  auto oldString = [&](const char* s) { m.WriteBuffer(s, static_cast<int>(std::strlen(s)) + 1); };
  rbStreamWriteWord(&m, 0);
  rbStreamWriteWord(&m, 0xFFFF);  // TwoPass
  oldString("HP");
  rbStreamWriteByte(&m, 0xFF);
  for (int v : {9, 2100, 2970, 0, 0, 0, 0}) rbStreamWriteInt(&m, v);  // no -1 marker
  rbStreamWriteByte(&m, 1);                                           // landscape
  m.WriteBuffer("\0\0\0\0\0\0", 6);                                  // skipped before 23
  rbStreamWriteWord(&m, 0);
  rbStreamWriteWord(&m, 0xFFFF);
  rbStreamWriteInt(&m, 1);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteByte(&m, gtMemo);
  rbStreamWriteByte(&m, 0);
  for (int v : {10, 20, 100, 18}) rbStreamWriteInt(&m, v);
  rbStreamWriteWord(&m, 0x41);  // no word-wrap bit stored
  rbStreamWriteWord(&m, 0);
  rbStreamWriteInt(&m, 1);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteWord(&m, 0);
  rbStreamWriteInt(&m, kNoFill);
  rbStreamWriteInt(&m, 0);
  oldString("");
  oldString("一\r二");
  oldString("宋体");
  rbStreamWriteInt(&m, 9);
  rbStreamWriteWord(&m, 0);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteInt(&m, 0);
  rbStreamWriteWord(&m, 0);
  m.WriteBuffer("\2\0\0\0\0\0\xFF\xFF\xFF\0", 10);
  oldString("");
  rbStreamWriteByte(&m, 0xFE);
  rbStreamWriteWord(&m, 0xFFFE);
  for (int i = 0; i < 3; ++i) rbStreamWriteInt(&m, 0);
  m.SetPosition(0);
  TrbPages pages;
  rbSetCurrentPages(&pages);
  pages.LoadTemplate(&m);
  rbSetCurrentPages(nullptr);
  EXPECT_TRUE(pages.TwoPass);
  EXPECT_EQ(pages.PrinterName, "HP");
  ASSERT_EQ(pages.Count(), 1);
  EXPECT_EQ(pages.Pages(0)->pgOr, 1);
  EXPECT_EQ(pages.Pages(0)->Name, "Page1");
  ASSERT_EQ(pages.Pages(0)->Objects.size(), 1u);
  auto* memo = static_cast<TrbMemoView*>(pages.Pages(0)->Objects[0].get());
  EXPECT_EQ(memo->Flags, 0x43);
  EXPECT_EQ(memo->Name, "Memo1");
  EXPECT_EQ(memo->Memo.Text(), "一\r\n二\r\n");
  EXPECT_EQ(memo->FontSize, 9);
}

}  // namespace

namespace {

TEST(ReportObjects, PagePropertiesForScripts) {
  TrbPage page;  // A4 portrait
  EXPECT_EQ(page.GetPropValue("Width").AsInteger(), 756);
  EXPECT_EQ(page.GetPropValue("height").AsInteger(), 1069);
  page.SetPropValue("Orientation", 1);
  EXPECT_EQ(page.GetPropValue("WIDTH").AsInteger(), 1069);
  page.SetPropValue("StretchToPrintable", true);
  EXPECT_FALSE(page.UseMargins);
  page.SetPropValue("Type", 1);
  page.SetPropValue("Width", 500);
  EXPECT_EQ(page.GetPropValue("Width").AsInteger(), 500);  // a dialog page: its form
  rbEnsureProperties(&page);
  ASSERT_NE(page.FindProperty("Position"), nullptr);
  EXPECT_EQ(page.FindProperty("Position")->EnumNames.size(), 2u);
}

}  // namespace
