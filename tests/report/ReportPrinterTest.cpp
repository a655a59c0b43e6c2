// The report engine's printer model: the paper table, the virtual printer,
// page geometry, IsEqual and SetPrinterInfo.
#include "report/ReportPrinter.h"

#include <gtest/gtest.h>

#include "ReportTestSupport.h"
#include "platform/core/Exceptions.h"
#include "tests/core/ScratchDir.h"

namespace {

struct GuiApp {
  GuiApp() { RequireGuiApp(); }
};

struct ReportPrinterTest : ::testing::Test {
  ReportPrinterTest() { printer.SetPrinter(&device); }
  GuiApp app;
  TPrinter device;
  TrbPrinter printer;
};

TEST(PaperTable, HoldsTheSixtySevenRowsInOrderWithNames) {
  const auto& t = rbPaperTable();
  ASSERT_EQ(t.size(), 67u);
  EXPECT_EQ(t[0].Typ, 1);
  EXPECT_EQ(t[46].Typ, 47);
  EXPECT_EQ(t[47].Typ, 50);
  EXPECT_EQ(t[65].Typ, 68);
  EXPECT_EQ(t[66].Typ, 256);
  EXPECT_EQ(t[66].X, 0);
  int a4 = rbPaperIndex(9);
  ASSERT_EQ(a4, 8);
  EXPECT_EQ(t[8].X, 2100);
  EXPECT_EQ(t[8].Y, 2970);
  EXPECT_EQ(t[25].X, 8636);  // E size
  EXPECT_EQ(t[25].Y, 11176);
  EXPECT_EQ(t[8].Name, "A4 210 × 297 毫米");
  EXPECT_EQ(rbPaperIndex(48), -1);
}

TEST_F(ReportPrinterTest, WithoutSystemPrintersTheVirtualPrinterIsTheOnlyOne) {
  if (printer.HasSystemPrinters()) GTEST_SKIP() << "a system printer is installed";
  ASSERT_EQ(printer.Printers()->Count(), 1);
  EXPECT_EQ(printer.Printers()->Get(0), "虚拟打印机");
  EXPECT_EQ(printer.DefaultPrinter(), 0);
  EXPECT_TRUE(printer.IsVirtual());
  EXPECT_EQ(printer.PaperSize(), 9);
  EXPECT_EQ(printer.PaperWidth(), 2100);
  EXPECT_EQ(printer.PaperHeight(), 2970);
  EXPECT_EQ(printer.PaperSizesNum(), 67);
  EXPECT_EQ(printer.PaperNames()->Count(), 67);
  ASSERT_EQ(printer.BinsNum(), 1);
  EXPECT_EQ(printer.Bins()[0], 0xFFFF);
  EXPECT_EQ(printer.BinNames()->Count(), 1);

  printer.SetPrinterInfo(9, 0, 0, 0xFFFF, poLandscape, false);
  EXPECT_EQ(printer.PaperWidth(), 2970);
  EXPECT_EQ(printer.PaperHeight(), 2100);
  EXPECT_EQ(device.Orientation(), poLandscape);  // the PDF printer follows
}

TEST_F(ReportPrinterTest, VirtualA4IsAScreenPageOf758By1071WithOffsetsOf18) {
  printer.SetPrinterIndex(printer.DefaultPrinter());
  printer.SetPrinterInfo(9, 2100, 2970, 0xFFFF, poPortrait, true);
  TrbPageGeometry g{};
  printer.FillPageInfo(g);
  EXPECT_EQ(g[2], 758);
  EXPECT_EQ(g[3], 1071);
  EXPECT_EQ(g[6], 18);
  EXPECT_EQ(g[7], 18);
  EXPECT_EQ(g[10], 758 - 36);
  EXPECT_EQ(g[11], 1071 - 36);
  printer.SetPrinterInfo(8, 0, 0, 0xFFFF, poLandscape, false);  // A3 landscape
  printer.FillPageInfo(g);
  EXPECT_EQ(g[2], 1515);
  EXPECT_EQ(g[3], 1071);
}

TEST_F(ReportPrinterTest, VirtualPrinterHandsItsPaperToThePdfPrinter) {
  if (printer.HasSystemPrinters()) GTEST_SKIP() << "a system printer is installed";
  printer.SetPrinterInfo(11, 0, 0, 0xFFFF, poPortrait, true);  // A5
  EXPECT_EQ(printer.PaperWidth(), 1480);
  TrbPageGeometry g{};
  printer.FillPageInfo(g);
  EXPECT_NEAR(g[0], 1480 * 600 / 254, 2);  // 600 DPI PDF device pixels
  EXPECT_NEAR(g[1], 2100 * 600 / 254, 2);
  EXPECT_EQ(g[4], 0);
  EXPECT_EQ(g[8], g[0]);
  // A code the PDF printer does not know keeps the table's size.
  printer.SetPrinterInfo(24, 0, 0, 0xFFFF, poPortrait, true);  // C size sheet
  EXPECT_EQ(printer.PaperWidth(), 4318);
  EXPECT_EQ(device.DeviceMode().PaperWidth, 4318);
  EXPECT_EQ(device.DeviceMode().PaperLength, 5588);
  // The user size keeps the page's own size.
  printer.SetPrinterInfo(256, 1000, 1500, 0xFFFF, poPortrait, true);
  EXPECT_EQ(printer.PaperWidth(), 1000);
  EXPECT_EQ(printer.PaperHeight(), 1500);
  EXPECT_EQ(device.DeviceMode().PaperWidth, 1000);
}

TEST_F(ReportPrinterTest, IsEqualRules) {
  printer.SetPrinterIndex(printer.DefaultPrinter());
  printer.SetPrinterInfo(256, 2100, 2970, 0xFFFF, poPortrait, true);
  struct Case {
    int size, w, h, bin;
    TPrinterOrientation o;
    bool equal;
  } cases[] = {
      {256, 2100, 2970, 0xFFFF, poPortrait, true},
      {256, 2101, 2969, 7, poPortrait, true},    // within 1, bin not looked at
      {256, 2102, 2970, 0xFFFF, poPortrait, false},
      {256, 2100, 2970, 0xFFFF, poLandscape, false},
      {9, 2100, 2970, 0xFFFF, poPortrait, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(printer.IsEqual(c.size, c.w, c.h, c.bin, c.o), c.equal) << c.size << " " << c.w << "x" << c.h;

  printer.SetPrinterInfo(9, 0, 0, 0xFFFF, poPortrait, true);
  EXPECT_TRUE(printer.IsEqual(9, 0, 0, 0xFFFF, poPortrait));
  EXPECT_TRUE(printer.IsEqual(9, 0, 0, 0x1FFFF, poPortrait));  // low 16 bits 0xFFFF: any bin
  EXPECT_FALSE(printer.IsEqual(9, 0, 0, 3, poPortrait));      // a given bin must match
  EXPECT_FALSE(printer.IsEqual(9, 0, 0, 0xFFFF, poLandscape));
  EXPECT_FALSE(printer.IsEqual(8, 0, 0, 0xFFFF, poPortrait));
}

TEST_F(ReportPrinterTest, ForceRecomputesEvenWhenNothingChanged) {
  printer.SetPrinterIndex(printer.DefaultPrinter());
  printer.SetPrinterInfo(9, 0, 0, 0xFFFF, poPortrait, true);
  // Without force an equal page changes nothing, not even a stale size.
  printer.SetPrinterInfo(9, 1, 1, 0xFFFF, poPortrait, false);
  EXPECT_EQ(printer.PaperWidth(), 2100);
  printer.SetPrinterInfo(9, 1, 1, 0xFFFF, poPortrait, true);
  EXPECT_EQ(printer.PaperWidth(), 2100);  // recomputed from the table
}

TEST_F(ReportPrinterTest, SettingsStayWhilePrintingAndIndexesAreChecked) {
  EXPECT_THROW(printer.SetPrinterIndex(printer.Printers()->Count()), EPrinter);
  EXPECT_THROW(printer.SetPrinterIndex(-1), EPrinter);
  if (printer.HasSystemPrinters()) GTEST_SKIP() << "printing would reach a real printer";
  ScratchDir dir;
  device.SetOutputFileName(dir / "busy.pdf");
  device.BeginDoc();
  printer.SetPrinterInfo(8, 0, 0, 0xFFFF, poLandscape, true);
  EXPECT_EQ(printer.PaperSize(), 9);
  device.Abort();
}

TEST_F(ReportPrinterTest, PropertiesDialogChangesOnlyWhenConfirmed) {
  printer.SetPrinterIndex(printer.DefaultPrinter());
  printer.SetPrinterInfo(9, 0, 0, 0xFFFF, poPortrait, true);
  int calls = 0;
  TrbPrinterDialog old = rbSetPrinterDialog([&](TPrinter*, TrbPageSetup& s, bool withMargins) {
    EXPECT_FALSE(withMargins);
    s.Mode.PaperSize = 8;
    s.Mode.Orientation = poLandscape;
    s.Mode.PaperWidth = 2970;
    s.Mode.PaperLength = 4200;
    return ++calls == 1 ? false : calls == 2 ? throw EPrinter("driver failed") : true;
  });
  EXPECT_FALSE(printer.PrinterProperties());
  EXPECT_FALSE(printer.PrinterProperties());
  EXPECT_EQ(printer.PaperSize(), 9);
  EXPECT_TRUE(printer.PrinterProperties());
  EXPECT_EQ(printer.PaperSize(), 8);
  EXPECT_EQ(printer.PaperWidth(), 4200);  // landscape A3
  rbSetPrinterDialog(old);
}

TEST_F(ReportPrinterTest, TheGlobalPrinterRemembersTheDefaultPaper) {
  rbResetPrinterForTesting();
  EXPECT_EQ(rbPrinter()->Printer(), Printer());
  EXPECT_EQ(rbDefaultPaperSize(), rbPrinter()->PaperSize());
  rbResetPrinterForTesting();
}

}  // namespace

#include "report/ReportBuild.h"
#include "report/ReportPrepared.h"
#include "report/ReportViews.h"

namespace {

// A page stretched into the printable area: a click in screen units is
// mapped through the geometry's screen offsets and printable size.
TEST_F(ReportPrinterTest, ClicksOnAStretchedPageUseTheScreenOffsetsAndPrintableSize) {
  printer.SetPrinterIndex(printer.DefaultPrinter());
  printer.SetPrinterInfo(9, 0, 0, 0xFFFF, poPortrait, true);
  TrbEMFPages pages;
  TrbPage paper;
  paper.UseMargins = false;
  pages.Add(&paper);
  TrbPage* page = pages.ObjectsToPage(0);
  RbCollection->AddMemo(page, "", 0, 0, 100, 100, "x", "L", 10, 0);
  pages.PageToObjects(0);
  TrbPageInfo& info = pages.Pages(0);
  EXPECT_EQ(info.PrnInfo[10], info.PrnInfo[2]);  // the stand-in: the whole page
  printer.FillPageInfo(info.PrnInfo);
  int clicks = 0;
  pages.OnObjectClick = [&](TrbView*) { ++clicks; };
  int cursor = 0;
  EXPECT_FALSE(pages.DoClick(0, TPoint(10, 10), true, cursor));  // inside the 18-pixel offset
  EXPECT_TRUE(pages.DoClick(0, TPoint(20, 20), true, cursor));
  // 100 design units of 758 scale to 100 * 722 / 758 = 95 of the printable width.
  EXPECT_TRUE(pages.DoClick(0, TPoint(18 + 94, 40), true, cursor));
  EXPECT_FALSE(pages.DoClick(0, TPoint(18 + 97, 40), true, cursor));
  EXPECT_EQ(clicks, 2);
}

}  // namespace

namespace {

TEST_F(ReportPrinterTest, TheGlobalPrinterFollowsAReplacedPrinterObject) {
  TrbPrinter* model = rbPrinter();
  TPrinter* fresh = SetPrinter(new TPrinter);
  EXPECT_EQ(rbPrinter(), model);
  EXPECT_EQ(rbPrinter()->Printer(), fresh);
  EXPECT_GE(rbPrinter()->Printers()->Count(), 1);
  rbResetPrinterForTesting();
}

}  // namespace
