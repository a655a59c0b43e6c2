// Page and band formation over the in-memory dataset: bands, data levels,
// groups, columns, page breaks, texts split across pages, sub-reports,
// cross-tabs and the page header and footer rules.
#include "report/ReportFormation.h"

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "ReportTestSupport.h"
#include "platform/core/NumFormat.h"
#include "report/ReportComponent.h"
#include "report/ReportDatasets.h"
#include "report/ReportViews.h"

namespace {

struct Formation : ::testing::Test, TReportBench {
  std::vector<AnsiString> Page0() { return TextsOfPage(Report->EMFPages(), 0); }
  int Pages() { return Report->EMFPages().Count(); }
  // y of the first text on a page that equals the text.
  int YOf(const AnsiString& text, int page = -1) {
    for (const TFormedText& t : FormedTexts(Report->EMFPages()))
      if (t.text == text && (page < 0 || t.page == page)) return t.y;
    return -1;
  }
  int PageOf(const AnsiString& text) {
    for (const TFormedText& t : FormedTexts(Report->EMFPages()))
      if (t.text == text) return t.page;
    return -1;
  }
};

TEST_F(Formation, AnA4PortraitPageIs756By1069DesignUnits) {
  EXPECT_EQ(Page->PageWidth(), 756);
  EXPECT_EQ(Page->PageHeight(), 1069);
}

TEST_F(Formation, TitleHeaderRecordsAndSummaryFlowDownThePage) {
  AddRows(3);
  Band(btReportTitle, 0, 30);
  Text(10, 0, 200, 20, "Title");
  Band(btPageHeader, 40, 20);
  Text(10, 40, 200, 20, "Header");
  Band(btMasterData, 80, 20, "DS");
  Text(10, 80, 200, 20, "[DS.\"Name\"] [DS.\"Amount\"]");
  Band(btReportSummary, 120, 20);
  Text(10, 120, 200, 20, "Total [SUM([DS.\"Amount\"])]");
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 1);
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"Title", "Header", "R1 1", "R2 2", "R3 3", "Total 6"}));
  EXPECT_EQ(YOf("Title"), 0);
  EXPECT_EQ(YOf("Header"), 30);
  EXPECT_EQ(YOf("R1 1"), 50);
  EXPECT_EQ(YOf("R3 3"), 90);
  EXPECT_EQ(YOf("Total 6"), 110);
}

TEST_F(Formation, ObjectOnTheBoundaryBelongsToTheBandFirstInTypeOrder) {
  AddRows(2);
  Band(btPageHeader, 0, 20);
  Band(btMasterData, 20, 20, "DS");
  Text(10, 20, 100, 10, "edge");  // Top = header bottom = data Top
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"edge"}));  // once: the page header's
}

TEST_F(Formation, ObjectOnNoBandPrintsOncePerPageAtItsPlace) {
  AddRows(120);
  Band(btMasterData, 0, 20, "DS");
  Text(10, 0, 100, 20, "[DS.\"Name\"]");
  Text(500, 700, 100, 20, "loose");
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 3);  // 53 records of 20 units fit on 1069
  for (int p = 0; p < 3; ++p) EXPECT_EQ(YOf("loose", p), 700) << p;
}

TEST_F(Formation, TwoMasterBandsRunInTheOrderOfTheirTops) {
  AddRows(1);
  Band(btMasterData, 100, 20, "DS");
  Text(0, 100, 100, 20, "second");
  Band(btMasterData, 40, 20, "DS");
  Text(0, 40, 100, 20, "first");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"first", "second"}));
}

TEST_F(Formation, PagesBreakWithHeadersAndTheFooterFollowsItsFlags) {
  AddRows(100);
  auto* header = Band(btPageHeader, 0, 20);
  header->Flags = 16;  // also on the first page
  Text(0, 0, 100, 20, "H[PAGE#]");
  Band(btMasterData, 30, 20, "DS");
  Text(0, 30, 100, 20, "[DS.\"Name\"]");
  auto* footer = Band(btPageFooter, 1000, 30);
  footer->Flags = 16;  // not on the last page
  Text(0, 1000, 100, 20, "F[PAGE#]");
  ASSERT_TRUE(Report->PrepareReport());
  // Room per page: 1069 - 30 (footer) - 20 (header) = 1019 -> 50 records.
  ASSERT_EQ(Pages(), 2);
  EXPECT_EQ(YOf("H2"), 0);
  EXPECT_EQ(YOf("R51"), 20);
  EXPECT_EQ(PageOf("R51"), 1);
  EXPECT_EQ(PageOf("R50"), 0);
  EXPECT_EQ(YOf("F1"), 1069 - 30);
  EXPECT_EQ(PageOf("F2"), -1);  // no last-page bit

  // Preparing reloads the template: objects are found again by name.
  Report->FindObject(footer->Name)->Flags = 16 | 32;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(PageOf("F2"), 1);
}

// The bands a page change shows itself ignore "new page after": a page
// footer with it started a page, whose end showed the footer again, until
// the stack ran out (a damaged template found by fuzzing).
struct BandShownByThePageChange : ::testing::TestWithParam<int>, TReportBench {};

TEST_P(BandShownByThePageChange, StartsNoPageAfterItself) {
  const int type = GetParam();
  const int top = type == btPageFooter || type == btColumnFooter ? 1000 : 0;
  AddRows(100);
  auto* band = Band(type, top, 20);
  band->Flags = bfNewPageAfter | bfOnFirstPage | bfOnLastPage;
  Text(0, top, 100, 20, "B");
  Band(btMasterData, 30, 20, "DS");
  Text(0, 30, 100, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Report->EMFPages().Count(), 2);
}

INSTANTIATE_TEST_SUITE_P(Formation, BandShownByThePageChange,
                         ::testing::Values(btPageHeader, btPageFooter, btColumnHeader, btColumnFooter, btOverlay));

TEST_F(Formation, ABandThatFitsExactlyStaysOnThePage) {
  AddRows(2);
  Page->TopMargin = 0;
  Band(btMasterData, 0, 1069 / 2, "DS");  // 534 + 534 = 1068 <= 1069
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Pages(), 1);
}

TEST_F(Formation, TwoPassesKnowTheTotalPageCount) {
  AddRows(120);
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  auto* footer = Band(btPageFooter, 1000, 30);
  footer->Flags = 16 | 32;
  Text(0, 1000, 200, 20, "[PAGE#]/[TOTALPAGES]");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(PageOf("1/0"), 0);  // one pass: TOTALPAGES is 0

  Report->SetTwoPass(true);
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 3);
  EXPECT_EQ(PageOf("1/3"), 0);
  EXPECT_EQ(PageOf("3/3"), 2);
  EXPECT_TRUE(Report->TwoPass());  // the template keeps its setting
}

TEST_F(Formation, GroupFootersPrintBeforeTheNextHeaderInnerFirst) {
  AddRows(4, 2);  // G1: R1 R2, G2: R3 R4
  Band(btGroupHeader, 0, 20, "[DS.\"Grp\"]");
  Text(0, 0, 100, 20, "GH [DS.\"Grp\"]");
  Band(btMasterData, 30, 20, "DS");
  Text(0, 30, 100, 20, "[DS.\"Name\"]");
  Band(btGroupFooter, 60, 20);
  Text(0, 60, 200, 20, "GF [SUM([DS.\"Amount\"])]");
  Band(btReportSummary, 90, 20);
  Text(0, 90, 200, 20, "ALL [SUM([DS.\"Amount\"])]");
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<AnsiString> want = {"GH G1", "R1", "R2", "GF 3", "GH G2", "R3", "R4", "GF 7", "ALL 10"};
  EXPECT_EQ(Page0(), want);
  // The counting pass leaves no totals or group values behind.
  Report->SetTwoPass(true);
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), want);
}

TEST_F(Formation, NestedGroupsCloseInnerBeforeOuter) {
  AddRows(8, 4);
  Band(btGroupHeader, 0, 20, "[DS.\"Grp\"]");
  Text(0, 0, 100, 20, "OH [DS.\"Grp\"]");
  Band(btGroupHeader, 30, 20, "INT(([DS.\"Amount\"] - 1) / 2)");
  Text(0, 30, 100, 20, "IH");
  Band(btMasterData, 60, 20, "DS");
  Text(0, 60, 100, 20, "[DS.\"Name\"]");
  Band(btGroupFooter, 90, 20);
  Text(0, 90, 100, 20, "IF [SUM([DS.\"Amount\"])]");
  Band(btGroupFooter, 120, 20);
  Text(0, 120, 100, 20, "OF [SUM([DS.\"Amount\"])]");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{
                         "OH G1", "IH", "R1", "R2", "IF 3", "IH", "R3", "R4", "IF 7", "OF 10",
                         "OH G2", "IH", "R5", "R6", "IF 11", "IH", "R7", "R8", "IF 15", "OF 26"}));
}

TEST_F(Formation, DetailWithoutRecordsSuppressesItsMasterUnlessAsked) {
  AddRows(2);
  TMemDataSet detail(&Form);
  detail.SetName("DMem");
  detail.AddColumn("X", ftInteger);
  TrbDBDataSet dds(&Form);
  dds.SetName("DDS");
  dds.SetDataSet(&detail);
  auto* master = Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  Band(btDetailData, 30, 20, "DDS");
  Text(0, 30, 100, 20, "d");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_TRUE(Page0().empty());

  Report->FindObject(master->Name)->Flags |= 4;  // print if subset empty
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"R1", "R2"}));
}

TEST_F(Formation, DataBandsWithoutASourcePrintAsPartsOfTheRecordAbove) {
  AddRows(2);
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  auto* part = Band(btMasterData, 30, 20);
  part->Flags = 1;
  auto* memo = Text(0, 30, 100, 16, "a\r\nb");
  memo->Flags = mfStretched;
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<std::pair<AnsiString, int>> at;
  for (const TFormedText& t : FormedTexts(Report->EMFPages())) at.push_back({t.text, t.y});
  // The part stretches to its two lines: 2 x 14 + 2 = 30.
  EXPECT_EQ(at, (std::vector<std::pair<AnsiString, int>>{{"R1", 0}, {"a|b", 20}, {"R2", 50}, {"a|b", 70}}));
}

TEST_F(Formation, TwoColumnsFillLeftThenRightThenANewPage) {
  AddRows(110);
  Page->Columns = 2;
  Page->ColumnGap = 20;
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  // 53 records per column, column width (756 - 20) / 2 = 368.
  EXPECT_EQ(PageOf("R53"), 0);
  auto texts = FormedTexts(Report->EMFPages());
  for (const TFormedText& t : texts) {
    if (t.text == "R54") {
      EXPECT_EQ(t.page, 0);
      EXPECT_EQ(t.x, 368 + 20);
      EXPECT_EQ(t.y, 0);
    }
    if (t.text == "R107") {
      EXPECT_EQ(t.page, 1);
      EXPECT_EQ(t.x, 0);
    }
  }
}

TEST_F(Formation, PrintIfEmptyOffFormsNoPageForAnEmptyMaster) {
  Band(btPageHeader, 0, 20);
  Text(0, 0, 100, 20, "H");
  Band(btMasterData, 30, 20, "DS");
  Report->SetPrintIfEmpty(false);
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Pages(), 0);
  Report->SetPrintIfEmpty(true);
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Pages(), 1);
}

TEST_F(Formation, ASourceThatFailsToMoveReachesTheCallerWhateverPrintIfEmptySays) {
  AddRows(3);
  Band(btPageHeader, 0, 20);
  Text(0, 0, 100, 20, "H");
  Band(btMasterData, 30, 20, "DS");
  Text(0, 30, 100, 20, "[DS.\"Name\"]");
  struct Case {
    const char* what;
    bool printIfEmpty;
    bool failFirst;
  } cases[] = {{"First, PrintIfEmpty off", false, true},
               {"First, PrintIfEmpty on", true, true},
               {"Next, PrintIfEmpty off", false, false},
               {"Next, PrintIfEmpty on", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Report->SetPrintIfEmpty(c.printIfEmpty);
    auto fail = [](TObject*) { throw EDatabaseError("连接已断开"); };
    DS->OnFirst = c.failFirst ? TNotifyEvent(fail) : TNotifyEvent();
    DS->OnNext = c.failFirst ? TNotifyEvent() : TNotifyEvent(fail);
    try {
      Report->PrepareReport();
      ADD_FAILURE() << "formation reported success";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "连接已断开");
    }
    EXPECT_EQ(Pages(), 0);
  }
  DS->OnFirst = nullptr;
  DS->OnNext = nullptr;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"H", "R1", "R2", "R3"}));
}

TEST_F(Formation, ALongTextSplitsAcrossPagesAndObjectsBelowMoveDown) {
  AddRows(1);
  Band(btPageHeader, 0, 20);
  Text(0, 0, 100, 20, "H");
  auto* band = Band(btMasterData, 30, 20, "DS");
  band->Flags = 1 | 8;  // stretched, may break
  AnsiString lines;
  for (int i = 1; i <= 100; ++i) lines += "L" + IntToStr(i) + "\r\n";
  auto* memo = Text(0, 30, 200, 16, lines);
  memo->Flags = mfStretched;
  Text(0, 48, 100, 10, "below");  // under the text, same column
  ASSERT_TRUE(Report->PrepareReport());
  // Lines are 14 high: page 1 has 1069 - 20 - 2 gap = 1047 -> 74 lines.
  ASSERT_EQ(Pages(), 2);
  auto texts = FormedTexts(Report->EMFPages());
  AnsiString first, second;
  int secondY = -1;
  for (const TFormedText& t : texts) {
    if (t.text.find("L1|") == 0) first = t.text;
    if (t.page == 1 && t.text.find("L") == 0 && t.text != "H") {
      second = t.text;
      secondY = t.y;
    }
  }
  EXPECT_EQ(first.substr(first.rfind('|') + 1), "L74");
  EXPECT_EQ(second.substr(0, 4), "L75|");
  EXPECT_EQ(secondY, 20);  // below the page header
  EXPECT_EQ(PageOf("below"), 1);
  EXPECT_GT(YOf("below"), secondY + 26 * 14 - 14);
}

TEST_F(Formation, ALineTallerThanTheRoomStillMovesOnOneClippedLineAPage) {
  AddRows(1);
  Page->TopMargin = 0;
  Page->BottomMargin = 1069 - 10;  // 10 units of room, a line needs 14
  auto* band = Band(btMasterData, 0, 5, "DS");
  band->Flags = 1 | 8;
  auto* memo = Text(0, 0, 200, 5, "a\r\nb\r\nc\r\nd\r\ne");
  memo->Flags = mfStretched;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Pages(), 5);
  for (int p = 0; p < 5; ++p)
    EXPECT_EQ(TextsOfPage(Report->EMFPages(), p), (std::vector<AnsiString>{AnsiString(1, 'a' + p)})) << p;
}

// Small pages, tall texts, breaking and stretching bands, columns: every
// combination ends, with a bounded number of pages, and prints every line.
TEST(FormationSweep, EveryLayoutEndsWithEveryLinePrinted) {
  for (int room : {1000, 40, 10, 1})
    for (int flags : {0, 1, 8, 9})
      for (int lines : {1, 5, 40})
        for (int columns : {1, 3}) {
          TReportBench b;
          b.AddRows(3);
          b.Page->TopMargin = 0;
          b.Page->BottomMargin = 1069 - room;
          b.Page->Columns = columns;
          b.Band(btPageHeader, 0, 5);
          b.Text(0, 0, 50, 5, "H");
          auto* band = b.Band(btMasterData, 10, 20, "DS");
          band->Flags = static_cast<std::uint16_t>(flags);
          AnsiString text;
          for (int i = 1; i <= lines; ++i) text += "L" + IntToStr(i) + "\r\n";
          b.Text(0, 10, 100, 16, text)->Flags = mfStretched;
          b.Text(120, 25, 50, 40, "box");
          b.Band(btPageFooter, 900, 5);
          ASSERT_NO_THROW(b.Report->PrepareReport()) << room << " " << flags << " " << lines;
          int pages = b.Report->EMFPages().Count();
          EXPECT_GE(pages, 1);
          EXPECT_LE(pages, 3 * (lines + 2)) << room << " " << flags << " " << lines << " " << columns;
          int boxes = 0, lastLines = 0;
          AnsiString last = "L" + IntToStr(lines);
          for (const TFormedText& t : FormedTexts(b.Report->EMFPages())) {
            if (t.text == "box") ++boxes;
            size_t from = 0;
            while (from <= t.text.size()) {
              size_t bar = t.text.find('|', from);
              if (bar == std::string::npos) bar = t.text.size();
              if (t.text.substr(from, bar - from) == last) ++lastLines;
              from = bar + 1;
            }
          }
          EXPECT_EQ(boxes, 3) << room << " " << flags << " " << lines << " " << columns;
          EXPECT_EQ(lastLines, 3) << room << " " << flags << " " << lines << " " << columns;
        }
}

TEST_F(Formation, HeadersAndBandsTallerThanThePageMakeOnePageEach) {
  AddRows(3);
  Band(btReportTitle, 0, 1500);
  Text(0, 0, 50, 20, "T");
  Band(btPageHeader, 1500, 1200);
  Text(0, 1500, 50, 20, "H");
  Band(btMasterData, 2800, 1100, "DS");
  Text(0, 2800, 50, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  // Title; then each record on a page of its own below the header.
  EXPECT_EQ(Pages(), 4);
  EXPECT_EQ(PageOf("R1"), 1);
  EXPECT_EQ(PageOf("R3"), 3);
}

TEST_F(Formation, ANonStretchingObjectThatDoesNotFitGoesWholeToTheNextPage) {
  AddRows(1);
  Page->TopMargin = 0;
  auto* band = Band(btMasterData, 0, 1065, "DS");
  band->Flags = 1 | 8;
  AnsiString lines;
  for (int i = 1; i <= 80; ++i) lines += "L" + IntToStr(i) + "\r\n";
  Text(0, 0, 100, 16, lines)->Flags = mfStretched;
  Text(300, 1060, 100, 30, "box");  // crosses the page end
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(PageOf("box"), 1);
  EXPECT_EQ(YOf("box"), 0);  // at the next page's top
}

TEST_F(Formation, SubReportPrintsItsPageAtTheObjectsPlace) {
  AddRows(2);
  TrbPage* sub = Report->Pages().Add();
  Band(btMasterData, 0, 40, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  auto* object = static_cast<TrbSubReportView*>(rbCreateObject(gtSubReport, ""));
  object->SetBounds(200, 20, 100, 20);
  object->SubPage = 1;
  Page->Add(object);
  TMemDataSet inner(&Form);
  inner.SetName("IMem");
  inner.AddColumn("X", ftInteger);
  inner.AddRow({1});
  inner.AddRow({2});
  TrbDBDataSet ids(&Form);
  ids.SetName("IDS");
  ids.SetDataSet(&inner);
  Band(btMasterData, 0, 15, "IDS", sub);
  Text(0, 0, 50, 15, "x[IDS.\"X\"]", sub);
  Band(btMasterData, 100, 20, "DS");
  Text(0, 100, 100, 20, "after");
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 1);  // the sub-report page is not formed on its own
  auto texts = FormedTexts(Report->EMFPages());
  std::vector<std::pair<AnsiString, std::pair<int, int>>> placed;
  for (const TFormedText& t : texts) placed.push_back({t.text, {t.x, t.y}});
  ASSERT_GE(placed.size(), 4u);
  EXPECT_EQ(placed[0].first, "R1");
  EXPECT_EQ(placed[1], (std::pair<AnsiString, std::pair<int, int>>{"x1", {200, 20}}));
  EXPECT_EQ(placed[2], (std::pair<AnsiString, std::pair<int, int>>{"x2", {200, 35}}));
  EXPECT_EQ(placed[3].first, "R2");
  EXPECT_EQ(placed[3].second.second, 50);  // below the sub-report (20 + 30)
}

TEST_F(Formation, SubReportThatRunsOutOfRoomContinuesOnTheNextPage) {
  AddRows(1);
  TrbPage* sub = Report->Pages().Add();
  Band(btPageHeader, 0, 20);
  Text(0, 0, 50, 20, "H");
  Band(btMasterData, 30, 40, "DS");
  auto* object = static_cast<TrbSubReportView*>(rbCreateObject(gtSubReport, ""));
  object->SetBounds(100, 30, 100, 20);
  object->SubPage = 1;
  Page->Add(object);
  Band(btMasterData, 0, 20, "100", sub);
  Text(0, 0, 50, 20, "[LINE#]", sub);
  ASSERT_TRUE(Report->PrepareReport());
  // 20 (header) + 52 rows of 20 = 1060; row 53 starts page 2 below its header.
  ASSERT_EQ(Pages(), 2);
  EXPECT_EQ(PageOf("52"), 0);
  EXPECT_EQ(PageOf("53"), 1);
  EXPECT_EQ(YOf("53"), 20);
  EXPECT_EQ(PageOf("100"), 1);
}

TEST_F(Formation, ASubReportInsideASubReportContinuesAcrossPages) {
  AddRows(1);
  TrbPage* middle = Report->Pages().Add();
  TrbPage* inner = Report->Pages().Add();
  Band(btPageHeader, 0, 20);
  Text(0, 0, 50, 20, "H");
  Band(btMasterData, 30, 40, "DS");
  auto* outerSub = static_cast<TrbSubReportView*>(rbCreateObject(gtSubReport, ""));
  outerSub->SetBounds(100, 30, 100, 20);
  outerSub->SubPage = 1;
  Page->Add(outerSub);
  Band(btMasterData, 0, 20, "1", middle);
  Text(0, 0, 50, 20, "mid", middle);
  auto* innerSub = static_cast<TrbSubReportView*>(rbCreateObject(gtSubReport, ""));
  innerSub->SetBounds(50, 0, 100, 20);
  innerSub->SubPage = 2;
  middle->Add(innerSub);
  Band(btMasterData, 0, 20, "100", inner);
  Text(0, 0, 50, 20, "[LINE#]", inner);
  Band(btReportSummary, 100, 20);
  Text(0, 100, 50, 20, "end");
  ASSERT_TRUE(Report->PrepareReport());
  // 20 (header) + 52 rows of 20 = 1060; rows 53..100 go to page 2 below its header.
  ASSERT_EQ(Pages(), 2);
  EXPECT_EQ(PageOf("mid"), 0);
  EXPECT_EQ(PageOf("52"), 0);
  EXPECT_EQ(PageOf("53"), 1);
  EXPECT_EQ(YOf("53"), 20);
  auto texts = FormedTexts(Report->EMFPages());
  for (const TFormedText& t : texts) {
    if (t.text == "53") {
      EXPECT_EQ(t.x, 150);  // shifted by both sub-report objects
    }
  }
  EXPECT_EQ(PageOf("100"), 1);
  EXPECT_EQ(YOf("end"), 20 + 48 * 20);  // below the last row
}

TEST_F(Formation, ChildBandsFollowTheirBandAndScriptsShowBandsByName) {
  AddRows(2);
  auto* data = Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  auto* child = Band(btChild, 30, 10);
  Text(0, 30, 100, 10, "child");
  data->ChildBand = child->Name;
  auto* extra = Band(btChild, 50, 10);
  extra->Name = "Extra";
  Text(0, 50, 100, 10, "extra");
  auto* summary = Band(btReportSummary, 70, 20);
  summary->Script.Add("SHOWBAND('Extra')");
  Text(0, 70, 100, 20, "sum");
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<std::pair<AnsiString, int>> at;
  for (const TFormedText& t : FormedTexts(Report->EMFPages())) at.push_back({t.text, t.y});
  EXPECT_EQ(at, (std::vector<std::pair<AnsiString, int>>{
                    {"R1", 0}, {"child", 20}, {"R2", 30}, {"child", 50}, {"extra", 60}, {"sum", 70}}));
}

TEST_F(Formation, AggregatesOfTheSummaryAndCountsOfInvisibleRecords) {
  Mem->AddRow({Variant("a"), Variant(1.0), Variant("G")});
  Mem->AddRow({Variant("b"), Variant(2.0), Variant("G")});
  Mem->AddRow({Variant("c"), Variant(6.0), Variant("G")});
  auto* data = Band(btMasterData, 0, 20, "DS");
  data->Visible = false;
  data->Name = "MD";
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  Band(btReportSummary, 40, 20);
  Text(0, 40, 300, 20,
       "[AVG([DS.\"Amount\"], MD, 1)] [COUNT(MD, 1)] [SUM([DS.\"Amount\"], MD, 1)] [SUM([DS.\"Amount\"])]");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"3 3 9 0"}));
}

TEST_F(Formation, LineNumbersRestartInEachGroupAndRunThroughTheLoop) {
  AddRows(4, 2);
  Band(btGroupHeader, 0, 20, "[DS.\"Grp\"]");
  Band(btMasterData, 30, 20, "DS");
  Text(0, 30, 100, 20, "[LINE#]/[LINETHROUGH#]/[CURRENT#]");
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"1/1/1", "2/2/2", "1/3/3", "2/4/4"}));
}

TEST_F(Formation, RepeatedHeadersComeBackAfterAPageBreak) {
  AddRows(60, 60);
  auto* gh = Band(btGroupHeader, 0, 20, "[DS.\"Grp\"]");
  gh->Flags = 64;
  Text(0, 0, 100, 20, "GH");
  auto* mh = Band(btMasterHeader, 30, 20);
  mh->Flags = 64;
  Text(0, 30, 100, 20, "MH");
  Band(btMasterData, 60, 20, "DS");
  Text(0, 60, 100, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 2);
  std::vector<AnsiString> second = TextsOfPage(Report->EMFPages(), 1);
  ASSERT_GE(second.size(), 3u);
  EXPECT_EQ(second[0], "GH");
  EXPECT_EQ(second[1], "MH");
  EXPECT_EQ(second[2], "R52");  // 1069 / 20 = 53 bands: GH, MH and 51 records
}

TEST_F(Formation, RecordsSideBySideFillTheBandColumnsFirst) {
  AddRows(5);
  auto* band = Band(btMasterData, 0, 20, "DS");
  band->Columns = 3;
  band->ColumnWidth = 100;
  band->ColumnGap = 10;
  band->NewColumnAfter = 1;
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  Band(btReportSummary, 30, 20);
  Text(0, 30, 100, 20, "end");
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<std::pair<int, int>> at;
  for (const TFormedText& t : FormedTexts(Report->EMFPages())) at.push_back({t.x, t.y});
  EXPECT_EQ(at, (std::vector<std::pair<int, int>>{{0, 0}, {110, 0}, {220, 0}, {0, 20}, {110, 20}, {0, 40}}));
}

TEST_F(Formation, AScriptAsksForANewPage) {
  AddRows(3);
  auto* band = Band(btMasterData, 0, 20, "DS");
  band->Script.Add("IF [LINE#] = 2 THEN NEWPAGE");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 2);
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"R1"}));
  EXPECT_EQ(TextsOfPage(Report->EMFPages(), 1), (std::vector<AnsiString>{"R2", "R3"}));
}

TEST_F(Formation, ManualBuildFormsThePageInsteadOfTheLoops) {
  AddRows(3);
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  int calls = 0;
  Report->OnManualBuild = [&](TrbPage*) { ++calls; };
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Pages(), 1);
  EXPECT_TRUE(Page0().empty());
}

TEST_F(Formation, APageWithPrintToPrevPageContinuesOnThePreviousPage) {
  AddRows(2);
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  TrbPage* second = Report->Pages().Add();
  second->PrintToPrevPage = true;
  Band(btReportTitle, 0, 20, "", second);
  Text(0, 0, 100, 20, "next", second);
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 1);
  EXPECT_EQ(YOf("next"), 40);
}

TEST_F(Formation, AMultipleReportFormsOncePerRecordOfItsDataset) {
  AddRows(2);
  Report->SetReportType(rtMultiple);
  Report->SetDataset(DS);
  Band(btReportTitle, 0, 20);
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 2);
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"R1"}));
  EXPECT_EQ(TextsOfPage(Report->EMFPages(), 1), (std::vector<AnsiString>{"R2"}));
}

TEST_F(Formation, ACompositeReportFormsItsReportsIntoOnePageList) {
  AddRows(2);
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "[DS.\"Name\"]");
  TrbReport second(&Form);
  TrbPage* p2 = second.Pages().Add();
  p2->PrintToPrevPage = true;
  Band(btReportTitle, 0, 20, "", p2);
  Text(0, 0, 100, 20, "second", p2);
  TrbCompositeReport composite(&Form);
  composite.Reports = {Report, &second};
  ASSERT_TRUE(composite.PrepareReport());
  ASSERT_EQ(composite.EMFPages().Count(), 1);
  EXPECT_EQ(TextsOfPage(composite.EMFPages(), 0), (std::vector<AnsiString>{"R1", "R2", "second"}));
  EXPECT_EQ(Report->EMFPages().Count(), 0);  // the members keep no pages of their own
}

TEST_F(Formation, HiddenZerosAndACancelledDialogPage) {
  Mem->AddRow({Variant("z"), Variant(0.0), Variant("G")});
  Band(btMasterData, 0, 20, "DS");
  Text(0, 0, 100, 20, "<[DS.\"Amount\"]>")->Flags = mfHideZeros;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(Page0(), (std::vector<AnsiString>{"<>"}));

  TrbPage* dialog = Report->Pages().Add();
  dialog->Type = 1;
  dialog->Script.Add("ModalResult := 2");
  EXPECT_FALSE(Report->PrepareReport());
  EXPECT_EQ(Pages(), 0);
}

struct CrossTab : Formation {
  CrossTab() {
    AddRows(2);
    cols.SetName("CMem");
    cols.AddColumn("C", ftString, 5);
    for (const char* c : {"a", "b", "c"}) cols.AddRow({c});
    cds.SetName("CDS");
    cds.SetDataSet(&cols);
    Band(btMasterData, 100, 20, "DS");
    auto* h = Band(btCrossHeader, 0, 300, "");
    h->SetBounds(0, 0, 60, 300);
    auto* d = Band(btCrossData, 0, 300, "CDS");
    d->SetBounds(100, 0, 50, 300);
    auto* f = Band(btCrossFooter, 0, 300, "");
    f->SetBounds(400, 0, 60, 300);
    Text(0, 100, 60, 20, "[DS.\"Name\"]");
    Text(100, 100, 50, 20, "[COLUMN#][CDS.\"C\"]");
    Text(400, 100, 60, 20, "end[COLUMN#]");
  }
  TMemDataSet cols{nullptr};
  TrbDBDataSet cds{&Form};
};

TEST_F(CrossTab, RowsDrawHeaderColumnsAndFooterLeftToRight) {
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<std::pair<AnsiString, int>> got;
  for (const TFormedText& t : FormedTexts(Report->EMFPages())) got.push_back({t.text, t.x});
  std::vector<std::pair<AnsiString, int>> want = {
      {"R1", 0}, {"1a", 60}, {"2b", 110}, {"3c", 160}, {"end4", 210},
      {"R2", 0}, {"1a", 60}, {"2b", 110}, {"3c", 160}, {"end4", 210}};
  EXPECT_EQ(got, want);
}

TEST_F(CrossTab, AWidthSetForAColumnStaysForTheColumnsAfterIt) {
  Report->OnPrintColumn = [](int col, int& width) {
    if (col == 2) width = 80;
  };
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<int> xs;
  for (const TFormedText& t : FormedTexts(Report->EMFPages()))
    if (t.page == 0 && xs.size() < 5) xs.push_back(t.x);
  EXPECT_EQ(xs, (std::vector<int>{0, 60, 110, 190, 270}));
}

TEST_F(CrossTab, ColumnsPastTheRightEdgeGoToAContinuationPage) {
  Report->OnPrintColumn = [](int, int& width) { width = 300; };
  ASSERT_TRUE(Report->PrepareReport());
  // 60 + 300 + 300 fits 756; the third column wraps, then the footer.
  ASSERT_EQ(Pages(), 2);
  std::vector<AnsiString> second = TextsOfPage(Report->EMFPages(), 1);
  EXPECT_EQ(second, (std::vector<AnsiString>{"3c", "end4", "3c", "end4"}));
}

TEST_F(CrossTab, AFooterRowTotalsEachColumnAndDrawsAsManyColumnsAsTheWidestRow) {
  Band(btMasterFooter, 150, 20);
  Text(0, 150, 60, 20, "total");
  Text(100, 150, 50, 20, "[SUM([DS.\"Amount\"] * [COLUMN#])]");
  ASSERT_TRUE(Report->PrepareReport());
  std::vector<AnsiString> texts = Page0();
  ASSERT_EQ(texts.size(), 14u);
  EXPECT_EQ(std::vector<AnsiString>(texts.begin() + 10, texts.end()),
            (std::vector<AnsiString>{"total", "3", "6", "9"}));
}

TEST_F(CrossTab, AContinuationOfTheFirstPageGetsAPageHeaderOnlyWithTheFirstPageFlag) {
  auto* header = Band(btPageHeader, 60, 20);
  header->Flags = 0;
  Text(600, 60, 50, 20, "PH");  // outside the cross bands
  Report->OnPrintColumn = [](int, int& width) { width = 300; };
  ASSERT_TRUE(Report->PrepareReport());
  ASSERT_EQ(Pages(), 2);
  EXPECT_EQ(PageOf("PH"), -1);

  header->Flags = 16;
  ASSERT_TRUE(Report->PrepareReport());
  EXPECT_EQ(TextsOfPage(Report->EMFPages(), 0).front(), "PH");
  EXPECT_EQ(TextsOfPage(Report->EMFPages(), 1).front(), "PH");
}

}  // namespace
