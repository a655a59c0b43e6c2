// Prepared pages: object streams, drawing at any scale, ".rbp" files.
#include "report/ReportPrepared.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <QImage>
#include <QString>

#include "ReportTestSupport.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/ui/Bitmaps.h"
#include "platform/ui/Canvas.h"
#include "report/ReportBuild.h"
#include "report/ReportStream.h"
#include "report/ReportViews.h"
#include "tests/core/ScratchDir.h"

namespace {

std::string DataDir() { return REPORT_TEST_DATA; }

std::string Bytes(TMemoryStream& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

std::string Saved(TrbEMFPages& pages) {
  TMemoryStream m;
  pages.SaveToStream(&m);
  return Bytes(m);
}

void Load(TrbEMFPages& pages, const std::string& bytes) {
  TMemoryStream m;
  m.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  m.SetPosition(0);
  pages.LoadFromStream(&m);
}

// Three formed pages of a small list: a framed heading and one line each.
void Prepare(TrbEMFPages& pages) {
  TrbPage paper;  // A4 portrait
  for (int n = 1; n <= 3; ++n) {
    pages.Add(&paper);
    TrbPage* page = pages.ObjectsToPage(n - 1);
    TrbMemoView* m = RbCollection->AddMemo(page, "LRTB", 10, 10, 100, 20, "第" + std::to_string(n) + "页", "C", 10, 0);
    m->Memo.Add(AnsiString(1, kParagraphEndMark));
    auto* line = static_cast<TrbLineView*>(page->Add(rbCreateObject(gtLine, "")));
    line->SetBounds(10, 40, 200, 0);
    pages.PageToObjects(n - 1);
  }
}

TEST(PreparedPages, ThreePagesSaveAsTheirGoldenFileAndLoadBack) {
  TrbEMFPages pages;
  Prepare(pages);
  std::string bytes = Saved(pages);
  std::string path = DataDir() + "list.rbp";
  if (std::getenv("PAYROLL_UPDATE_GOLDEN")) std::ofstream(path, std::ios::binary) << bytes;
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << path;
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_TRUE(golden.str() == bytes) << "list.rbp differs from its golden file";

  TrbEMFPages back;
  Load(back, bytes);
  ASSERT_EQ(back.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    TrbPageInfo& a = pages.Pages(i);
    TrbPageInfo& b = back.Pages(i);
    EXPECT_EQ(Bytes(*a.Stream), Bytes(*b.Stream));
    EXPECT_EQ(b.pgSize, a.pgSize);
    EXPECT_EQ(b.pgWidth, 2100);
    EXPECT_EQ(b.pgHeight, 2970);
    EXPECT_EQ(b.pgBin, a.pgBin);
    EXPECT_EQ(b.UseMargins, a.UseMargins);
  }
  TrbPage* page = back.ObjectsToPage(1);
  ASSERT_EQ(page->Objects.size(), 2u);
  EXPECT_EQ(page->Objects[0]->Memo[0], "第2页");
  EXPECT_EQ(Saved(back), bytes);
}

TEST(PreparedPages, NoPagesIsACountOfZero) {
  TrbEMFPages pages;
  std::string bytes = Saved(pages);
  EXPECT_EQ(bytes, std::string("\x18\0\0\0\0\0\0\0\0", 9));
  Prepare(pages);
  Load(pages, bytes);
  EXPECT_EQ(pages.Count(), 0);
}

TEST(PreparedPages, FilesAreReplacedWholeAndABadFileKeepsThePages) {
  ScratchDir dir;
  AnsiString file = (dir / "report.rbp");
  TrbEMFPages pages;
  Prepare(pages);
  pages.SaveToFile(file);
  pages.Delete(2);
  pages.SaveToFile(file);  // over the old file
  TrbEMFPages back;
  back.LoadFromFile(file);
  EXPECT_EQ(back.Count(), 2);

  std::ofstream(std::string((dir / "bad.rbp")), std::ios::binary) << std::string("\x18\0\0\0\0\x05\0\0\0", 9);
  EXPECT_THROW(back.LoadFromFile((dir / "bad.rbp")), EReadError);
  EXPECT_EQ(back.Count(), 2);
  EXPECT_THROW(back.LoadFromFile((dir / "missing.rbp")), Exception);
  EXPECT_EQ(back.Count(), 2);
}

TEST(PreparedPages, OlderFormatsAreReportedNotMisread) {
  TrbEMFPages pages;
  Prepare(pages);
  for (const char* head : {"\x17", "\x20", "\x18\x02"}) {
    try {
      Load(pages, std::string(head) + std::string(20, '\0'));
      ADD_FAILURE();
    } catch (const EReadError& e) {
      EXPECT_NE(e.Message().find("older"), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(pages.Count(), 3);
}

struct PreparedDrawTest : ::testing::Test {
  PreparedDrawTest() { RequireGuiApp(); }
  TFixedMetricsGuard metrics;
};

TEST_F(PreparedDrawTest, PagesDrawAtAnyScale) {
  TrbEMFPages pages;
  Prepare(pages);
  TrbPageInfo& info = pages.Pages(0);
  info.Visible = true;
  for (int scale : {1, 2}) {
    TBitmap bmp(info.PrnInfo[2] * scale, info.PrnInfo[3] * scale);
    bmp.Canvas()->Brush()->SetColor(0xFFFFFF);
    bmp.Canvas()->FillRect(TRect(0, 0, bmp.Width(), bmp.Height()));
    pages.Draw(0, bmp.Canvas(), TRect(0, 0, bmp.Width(), bmp.Height()));
    bmp.Canvas()->ReleasePainter();
    if (std::getenv("PAYROLL_SHOTS")) bmp.Image().save(QString::fromStdString("/tmp/prepared-" + std::to_string(scale) + ".png"));
    EXPECT_EQ(PixelAt(bmp, 10 * scale, 20 * scale), 0) << "left frame at scale " << scale;
    EXPECT_EQ(PixelAt(bmp, 60 * scale, 10 * scale), 0) << "top frame at scale " << scale;
    EXPECT_EQ(PixelAt(bmp, 100 * scale, 40 * scale), 0) << "line at scale " << scale;
    EXPECT_EQ(PixelAt(bmp, 300 * scale, 300 * scale), 0xFFFFFF);
    EXPECT_EQ(PixelAt(bmp, 100 * scale, 50 * scale), 0xFFFFFF);
  }
}

TEST_F(PreparedDrawTest, PagesOutsideTheClipDrawNothingButKeepTheirObjects) {
  TrbEMFPages pages;
  Prepare(pages);
  TrbPageInfo& info = pages.Pages(0);
  info.Visible = true;
  TBitmap bmp(400, 400);
  bmp.Canvas()->Brush()->SetColor(0xFFFFFF);
  bmp.Canvas()->FillRect(TRect(0, 0, 400, 400));
  pages.Draw(0, bmp.Canvas(), TRect(1000, 1000, 1000 + info.PrnInfo[2], 1000 + info.PrnInfo[3]));
  bmp.Canvas()->ReleasePainter();
  EXPECT_NE(info.Page, nullptr);
  for (int y = 0; y < 400; y += 7)
    for (int x = 0; x < 400; x += 7) ASSERT_EQ(PixelAt(bmp, x, y), 0xFFFFFF);
  info.Visible = false;
  pages.Draw(0, bmp.Canvas(), TRect(0, 0, 0, 0));  // an invisible page lets its objects go
  EXPECT_EQ(info.Page, nullptr);
}

// Every cut and many flipped bytes of a prepared file give an error or
// pages that draw (or fail) with errors, never a crash.
TEST_F(PreparedDrawTest, FuzzedPreparedFilesGiveErrorsNeverCrashes) {
  TrbEMFPages source;
  Prepare(source);
  std::string good = Saved(source);
  TBitmap bmp(200, 280);
  // Drawing is the slow part: every fifteenth damaged file is drawn too.
  auto tryLoad = [&](const std::string& bytes, bool draw) {
    TrbEMFPages pages;
    try {
      Load(pages, bytes);
      for (int i = 0; draw && i < pages.Count(); ++i) {
        pages.Pages(i).Visible = true;
        pages.Draw(i, bmp.Canvas(), TRect(0, 0, 200, 280));
      }
    } catch (const Exception&) {
    }
  };
  for (size_t n = 0; n < good.size(); ++n) tryLoad(good.substr(0, n), false);
  int k = 0;
  for (size_t i = 0; i < good.size(); ++i)
    for (unsigned char v : {0x00, 0x80, 0xFF}) {
      std::string bad = good;
      bad[i] = static_cast<char>(v);
      tryLoad(bad, ++k % 15 == 0);
    }
  bmp.Canvas()->ReleasePainter();
}

}  // namespace

#include "report/ReportFunctions.h"

namespace {

class TValues : public TrbReportContext {
 public:
  void GetVariableValue(const AnsiString& name, Variant& value) override {
    if (name == "A" || name == "a") value = a;
    else if (name == "Name") value = Variant("工资\r\n表");
  }
  void BeforePrint(TStrings* memo, TrbObject*) override { ++beforePrint; }
  double a = 5;
  int beforePrint = 0;
};

struct FormingTest : ::testing::Test {
  FormingTest() {
    rbSetCurrentContext(&values);
    pages.Add(&paper);
  }
  ~FormingTest() override { rbSetCurrentContext(nullptr); }
  TrbPage& Formed() { return *pages.ObjectsToPage(0); }
  TStream* Out() { return pages.Pages(0).Stream.get(); }
  TValues values;
  TrbPage paper;
  TrbEMFPages pages;
};

TEST_F(FormingTest, TextsAreExpandedHighlightedAndSuppressed) {
  TrbMemoView m;
  m.Memo.Add("合计: [A]");
  m.Memo.Add("");
  m.Memo.Add("[Name]");
  m.HighlightStr = "[a] > 1";
  m.HighlightStyle = rbfsItalic;
  m.HighlightFill = 0x00FFFF;
  m.Tag = "t[A]";
  m.PrintToStream(Out());
  EXPECT_EQ(m.FontStyle, 0);  // the template keeps its own values
  EXPECT_EQ(m.FillColor, kNoFill);
  EXPECT_EQ(m.Tag, "t[A]");
  values.a = 0;
  m.PrintToStream(Out());

  TrbPage& page = Formed();
  ASSERT_EQ(page.Objects.size(), 2u);
  auto* first = static_cast<TrbMemoView*>(page.Objects[0].get());
  EXPECT_EQ(first->Memo.Text(), "合计: 5\r\n\r\n工资\r\n表\r\n");
  EXPECT_EQ(first->FontStyle, rbfsItalic);
  EXPECT_EQ(first->FillColor, 0x00FFFF);
  EXPECT_EQ(first->Tag, "t5");
  auto* second = static_cast<TrbMemoView*>(page.Objects[1].get());
  EXPECT_EQ(second->FontStyle, 0);
  EXPECT_EQ(values.beforePrint, 2);
}

TEST_F(FormingTest, SuppressTextOnlyAndInvisible) {
  TrbMemoView same;
  same.Memo.Add("[A]");
  same.Flags |= mfSuppress;
  same.PrintToStream(Out());
  same.PrintToStream(Out());  // the same text again: not written
  TrbMemoView literal;
  literal.Memo.Add("[A]");
  literal.Flags |= mfTextOnly;
  literal.PrintToStream(Out());
  TrbMemoView hidden;
  hidden.Visible = false;
  hidden.PrintToStream(Out());
  TrbPage& page = Formed();
  ASSERT_EQ(page.Objects.size(), 2u);
  EXPECT_EQ(page.Objects[1]->Memo[0], "[A]");
}

}  // namespace

namespace {

TEST_F(FormingTest, ATextMeasuresItselfAndSplitsAcrossPages) {
  RequireGuiApp();
  TFixedMetricsGuard metrics;
  TrbMemoView m;
  m.SetBounds(0, 0, 34, 100);  // 30 pixels for text: two characters a line
  m.Memo.Add("工资表工资[A]");
  values.a = 7;
  EXPECT_EQ(m.CalcHeight(), 3 * 14 + 2 * m.GapY);
  EXPECT_EQ(m.Memo1.Count(), 3);
  m.dy = 30;  // room for two lines on this page
  m.DrawMode = 2;
  m.PrintToStream(Out());
  EXPECT_EQ(m.RemainHeight(), 14);
  EXPECT_EQ(m.Memo1[0], "资7\x01");
  EXPECT_EQ(m.DrawMode, 0);
  TrbPage& page = Formed();
  ASSERT_EQ(page.Objects.size(), 1u);
  EXPECT_EQ(page.Objects[0]->Memo.Text(), "工资\r\n表工\r\n\x01\r\n");
}

}  // namespace

namespace {

TEST(PreparedPages, ClicksFindTheTopmostObjectUnderThePoint) {
  TrbEMFPages pages;
  Prepare(pages);
  std::vector<AnsiString> clicked;
  int cursor = 0;
  EXPECT_FALSE(pages.DoClick(0, TPoint(50, 20), true, cursor));  // no handler
  pages.OnObjectClick = [&](TrbView* v) { clicked.push_back(v->Memo.Count() ? v->Memo[0] : "line"); };
  pages.OnMouseOverObject = [&](TrbView*, int& c) { c = 5; };
  EXPECT_TRUE(pages.DoClick(0, TPoint(50, 20), true, cursor));
  EXPECT_TRUE(pages.DoClick(0, TPoint(150, 40), true, cursor));
  EXPECT_FALSE(pages.DoClick(0, TPoint(500, 500), true, cursor));
  EXPECT_EQ(clicked, (std::vector<AnsiString>{"第1页", "line"}));
  EXPECT_TRUE(pages.DoClick(1, TPoint(50, 20), false, cursor));
  EXPECT_EQ(cursor, 5);
}

}  // namespace
