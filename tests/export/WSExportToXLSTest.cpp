// The worksheet writer: golden bytes, cell typing, limits, failure and
// cancel, file names, and read-back by an independent reader.
#include "export/WSExportToXLS.h"

#include <stdio.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "../core/ScratchDir.h"
#include "ExportTestSupport.h"
#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "export/WSEStat.h"
#include "export/XlsFormat.h"
#include "platform/core/CodePage.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "platform/data/Fields.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

namespace {

class XlsExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUiApp();
    MakePayTable(ds);
    x.SetColumnSource(csDataSet);
    x.SetDataSet(&ds);
    x.SetAnimatedStatus(false);
    x.SetOptions({});
    x.SetFileName(file);
  }
  std::string Written() { return ReadWholeFile(file); }
  std::vector<XlsRecord> Records() { return ReadXlsRecords(Written()); }
  // The first record with that opcode (an empty one when there is none).
  XlsRecord First(std::uint16_t opcode) {
    for (auto& r : Records())
      if (r.opcode == opcode) return r;
    return XlsRecord{};
  }
  // The cell records (opcodes 1..4) of the file, in order.
  std::vector<XlsRecord> Cells() {
    std::vector<XlsRecord> out;
    for (auto& r : Records())
      if (r.opcode >= 1 && r.opcode <= 4) out.push_back(r);
    return out;
  }

  ScratchDir dir;
  AnsiString file = dir / "pay.XLS";
  TFakeDialogService dialogs;
  TMemDataSet ds;
  TWSExportToXLS x{nullptr};
};

TEST_F(XlsExportTest, FileIsByteExact) {
  x.SetAddTitle(true);
  ds.FieldByName("DAY")->SetDisplayWidth(10);
  ASSERT_TRUE(x.Execute()) << x.LastError();
  ds.First();  // date texts as the field gives them
  const std::string d1 = ds.FieldByName("DAY")->AsString();
  ds.Next();
  const std::string d2 = ds.FieldByName("DAY")->AsString();
  ds.Next();
  const std::string d3 = ds.FieldByName("DAY")->AsString();
  // Number fields are right-aligned, and so are their titles.
  auto label = [](unsigned row, unsigned col, const std::string& text, unsigned align = 1) {
    return XlsRec(xls::kLabel, CellHead(row, col, align) + static_cast<char>(text.size()) + text);
  };
  const int idWidth = ds.FieldByName("ID")->DisplayWidth();
  const int payWidth = ds.FieldByName("PAY")->DisplayWidth();
  const std::string expected =
      XlsRec(xls::kBof, U16(0) + U16(0x10) + U16(0)) + XlsRec(xls::kCodePage, U16(936)) +
      XlsRec(xls::kDimensions, U16(0) + U16(3) + U16(0) + U16(4) + U16(0)) +
      XlsRec(xls::kColWidth, std::string{0, 0} + U16(idWidth * 256)) +
      XlsRec(xls::kColWidth, std::string{1, 1} + U16(payWidth * 256)) +
      XlsRec(xls::kColWidth, std::string{2, 2} + U16(20 * 256)) +
      XlsRec(xls::kColWidth, std::string{3, 3} + U16(10 * 256)) +
      label(0, 0, "ID", 3) + label(0, 1, "PAY", 3) + label(0, 2, "NAME") + label(0, 3, "DAY") +
      XlsRec(xls::kInteger, CellHead(1, 0, 3) + U16(7)) +
      XlsRec(xls::kNumber, CellHead(1, 1, 3) + F64(2.5)) + label(1, 2, "张三") + label(1, 3, d1) +
      XlsRec(xls::kNumber, CellHead(2, 0, 3) + F64(300)) +
      XlsRec(xls::kNumber, CellHead(2, 1, 3) + F64(0)) + label(2, 2, "0") + label(2, 3, d2) +
      XlsRec(xls::kNumber, CellHead(3, 0, 3) + F64(-1)) +
      XlsRec(xls::kNumber, CellHead(3, 1, 3) + F64(-12.75)) + label(3, 2, "Li") + label(3, 3, d3) +
      XlsRec(xls::kEof, "");
  EXPECT_EQ(Written(), expected);
  EXPECT_FALSE(d1.empty());
}

TEST_F(XlsExportTest, HeaderTitleBlankRowAndFooterTakeTheirRows) {
  x.SetAddTitle(true);
  x.SetOptions({soBlankRowAfterCaptions});
  x.Header()->Add("工资表");
  x.Header()->Add("2003");
  x.Footer()->Add("end");
  ASSERT_TRUE(x.Execute());
  EXPECT_EQ(First(xls::kDimensions).body, U16(0) + U16(2 + 2 + 3 + 1 - 1) + U16(0) + U16(4) + U16(0));
  auto cells = Cells();
  EXPECT_EQ(cells[0].body, CellHead(0, 1) + '\x06' + "工资表");  // header lines: column 1
  EXPECT_EQ(cells[2].body.substr(0, 7), CellHead(2, 0, 3));      // title row
  EXPECT_EQ(cells[6].opcode, xls::kBlank);                       // blank row, centred
  EXPECT_EQ(cells[6].body, CellHead(3, 0, 2));
  EXPECT_EQ(cells[10].body.substr(0, 4), U16(4) + U16(0));       // first record
  EXPECT_EQ(cells.back().body, CellHead(7, 1) + '\x03' + "end");
}

TEST_F(XlsExportTest, CellTypesFollowOptionsAndBlankIfZero) {
  x.SetBlankIfZero(true);
  ASSERT_TRUE(x.Execute());
  auto cells = Cells();
  ASSERT_EQ(cells.size(), 12u);
  EXPECT_EQ(cells[5].opcode, xls::kBlank);  // PAY 0.0
  EXPECT_EQ(cells[6].opcode, xls::kLabel);  // NAME "0" stays
  EXPECT_EQ(cells[6].body.substr(7), std::string("\x01") + "0");

  x.SetBlankIfZero(false);
  x.SetOptions({soFieldMask});
  ASSERT_TRUE(x.Execute());
  for (auto& c : Cells()) EXPECT_EQ(c.opcode, xls::kLabel);
}

TEST_F(XlsExportTest, NumericTextThatDoesNotConvertBecomesALabel) {
  x.OnGetCellParams = [](TObject*, TField* f, AnsiString& text, TFont*, TAlignment&, TColor&) {
    if (f && f->FieldName() == "ID" && text == "7") text = "n/a";
    if (f && f->FieldName() == "PAY" && text == "2.5") text = "2,5x";
  };
  ASSERT_TRUE(x.Execute());
  auto cells = Cells();
  EXPECT_EQ(cells[0].opcode, xls::kLabel);
  EXPECT_EQ(cells[0].body.substr(7), std::string("\x03") + "n/a");
  EXPECT_EQ(cells[1].opcode, xls::kLabel);
  EXPECT_EQ(cells[1].body.substr(7), std::string("\x04") + "2,5x");
}

TEST_F(XlsExportTest, LabelsAreCutAt255BytesOnACharacterBoundary) {
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += "工";
  const struct {
    std::string text;
    size_t kept;
  } cases[] = {{std::string(300, 'x'), 255}, {chinese, 254}, {"a" + chinese, 255}};
  for (const auto& c : cases) {
    x.OnGetCellParams = [&](TObject*, TField* f, AnsiString& text, TFont*, TAlignment&, TColor&) {
      if (f && f->FieldName() == "NAME") text = c.text;
    };
    ASSERT_TRUE(x.Execute());
    const XlsRecord cell = Cells()[2];
    ASSERT_EQ(cell.opcode, xls::kLabel);
    EXPECT_EQ(static_cast<unsigned char>(cell.body[7]), c.kept);
    EXPECT_EQ(cell.body.substr(8), c.text.substr(0, c.kept));
  }
}

TEST_F(XlsExportTest, WidthsAreWrittenTimes256AndClampedAt255) {
  const struct {
    int width;
    unsigned written;
  } cases[] = {{20, 0x1400}, {255, 0xFF00}, {300, 0xFF00}};
  for (const auto& c : cases) {
    x.Columns()->Clear();
    TWSEColumn* col = x.Columns()->Add();
    col->SetFieldName("ID");
    col->SetWidth(c.width);
    ASSERT_TRUE(x.Execute());
    EXPECT_EQ(First(xls::kColWidth).body, std::string(2, 0) + U16(c.written)) << c.width;
  }
}

TEST_F(XlsExportTest, SheetsBeyondTheFormatAreRefusedBeforeTheFileIsTouched) {
  WriteFileAtomically(file, "old");
  for (int i = 0; i < 65534; ++i) x.Footer()->Add("x");  // 3 records + 65534 = 65537 rows
  EXPECT_FALSE(x.Execute());
  EXPECT_NE(x.LastError().Pos("65536"), 0) << x.LastError();
  EXPECT_EQ(Written(), "old");
  x.Footer()->Clear();
  for (int i = 0; i < 257; ++i) x.Columns()->Add()->SetFieldName("ID");
  EXPECT_FALSE(x.Execute());
  EXPECT_NE(x.LastError().Pos("256"), 0) << x.LastError();
  EXPECT_EQ(Written(), "old");
  x.Columns()->Clear();
  for (int i = 0; i < 65533; ++i) x.Footer()->Add("x");  // exactly 65536 rows fit
  EXPECT_TRUE(x.Execute()) << x.LastError();
  EXPECT_EQ(First(xls::kDimensions).body.substr(2, 2), U16(65535));
}

TEST_F(XlsExportTest, FailureIsReportedShownAndLeavesTheOldFileAndTheDataset) {
  WriteFileAtomically(file, "old");
  ds.First();
  ds.Next();  // on record 2
  x.OnGetCellParams = [this](TObject*, TField* f, AnsiString& text, TFont*, TAlignment&, TColor&) {
    if (f && f->FieldName() == "NAME" && text == "Li") {
      EXPECT_TRUE(ds.ControlsDisabled());
      throw EConvertError("disk full");
    }
  };
  EXPECT_FALSE(x.Execute());
  EXPECT_EQ(x.LastError(), "disk full");
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_NE(dialogs.Boxes[0].Text.Pos("Error of data export."), 0);
  EXPECT_NE(dialogs.Boxes[0].Text.Pos("disk full"), 0);
  EXPECT_EQ(Written(), "old");
  EXPECT_FALSE(FileExists(file + ".part"));
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 300);
  EXPECT_EQ(x.Columns()->Count(), 0);  // automatic columns go, failure or not
}

TEST_F(XlsExportTest, ASuccessfulExportReplacesTheOldFileAndKeepsThePosition) {
  WriteFileAtomically(file, "old");
  ds.Last();
  ASSERT_TRUE(x.Execute());
  EXPECT_EQ(Records().front().opcode, xls::kBof);
  EXPECT_EQ(Records().back().opcode, xls::kEof);
  EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), -1);
  EXPECT_FALSE(FileExists(file + ".part"));
  // The result text only with soShowMessage (no progress window here).
  EXPECT_TRUE(dialogs.Boxes.empty());
  x.SetOptions({soShowMessage});
  ASSERT_TRUE(x.Execute());
  ASSERT_EQ(dialogs.Boxes.size(), 1u);
  EXPECT_EQ(dialogs.Boxes[0].Text,
            "The " + file + " file was successfully generated with exported data.");
}

TEST_F(XlsExportTest, AutomaticColumnsCoverEveryFieldAndGoAfterwards) {
  x.SetAddTitle(true);
  x.SetRightToLeft(true);
  ds.FieldByName("NAME")->SetDisplayLabel("姓名");
  ASSERT_TRUE(x.Execute());
  EXPECT_EQ(x.Columns()->Count(), 0);
  auto cells = Cells();
  EXPECT_EQ(cells[0].body.substr(8), "DAY");
  EXPECT_EQ(cells[1].body.substr(8), "姓名");
  EXPECT_EQ(cells[3].body.substr(8), "ID");
}

TEST_F(XlsExportTest, HiddenColumnsAreSkippedButCountInTheDimensions) {
  x.Columns()->Add()->SetFieldName("NAME");
  TWSEColumn* hidden = x.Columns()->Add();
  hidden->SetFieldName("ID");
  hidden->SetVisible(false);
  x.Columns()->Add()->SetFieldName("NOSUCH");
  ASSERT_TRUE(x.Execute());
  EXPECT_EQ(First(xls::kDimensions).body.substr(6, 2), U16(3));
  auto cells = Cells();
  ASSERT_EQ(cells.size(), 6u);
  EXPECT_EQ(cells[1].opcode, xls::kBlank);  // no such field: blank
  EXPECT_EQ(cells[1].body, CellHead(0, 1));
  EXPECT_EQ(x.Columns()->Count(), 3);  // the caller's columns stay
}

TEST_F(XlsExportTest, CancelStopsAfterTheCurrentRecordAndStillEndsTheFile) {
  x.SetAnimatedStatus(true);
  bool sawBar = false;
  x.OnGetCellParams = [&](TObject*, TField* f, AnsiString& text, TFont*, TAlignment&, TColor&) {
    if (f && f->FieldName() == "ID" && text == "300") {
      ASSERT_NE(ProcessForm(), nullptr);
      sawBar = ProcessForm()->Caption() == "WSExport 3.80";
      ProcessForm()->btnCancel->Click();
    }
  };
  ASSERT_TRUE(x.Execute());
  EXPECT_TRUE(sawBar);
  EXPECT_TRUE(x.Canceled());
  EXPECT_EQ(ProcessForm(), nullptr);
  EXPECT_EQ(Cells().size(), 8u);  // records 1 and 2
  EXPECT_EQ(Records().back().opcode, xls::kEof);
}

TEST(TWSExportToXLS, DefaultsAndFileNames) {
  EnsureUiApp();
  TWSExportToXLS x(nullptr);
  EXPECT_EQ(x.KeyGenerator(), "WSExport 3.80");
  EXPECT_EQ(x.ColumnSource(), csDBGrid);
  EXPECT_TRUE(x.AnimatedStatus());
  EXPECT_TRUE(x.Options() == (TWSOptions{soShowMessage, soBlankRowAfterCaptions}));
  EXPECT_EQ(ExtractFileName(x.FileName()), "WSExport.XLS");
  const struct {
    const char* given;
    const char* stored;
  } names[] = {{"backxls\\gz200301", "backxls\\gz200301.XLS"},
               {"backxls.2003\\gz200301", "backxls.2003\\gz200301.XLS"},
               {"out/v1.2/pay", "out/v1.2/pay.XLS"},
               {"backxls\\gz.xls", "backxls\\gz.xls"},
               {"", ""}};
  for (const auto& n : names) {
    x.SetFileName(n.given);
    EXPECT_EQ(x.FileName(), n.stored) << n.given;
  }
}

TEST(TWSExportToXLS, MissingSourceRaisesBeforeWriting) {
  EnsureUiApp();
  TWSExportToXLS x(nullptr);
  try {
    x.Execute();
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Property DBGrid wasn't specified.");
  }
  x.SetColumnSource(csDataSet);
  EXPECT_THROW(x.Execute(), Exception);
  TPanel panel(nullptr);
  panel.SetName("Panel1");
  try {
    x.SetDBGrid(&panel);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Assigned DBGrid (Panel1) is not a supported type");
  }
  EXPECT_EQ(x.DBGrid(), nullptr);
}

// ---- an independent reader -------------------------------------------------------

// Runs python3 with xlrd over the file and returns what it printed: one
// line per cell "row,col,type,value".
std::string ReadWithXlrd(const ScratchDir& dir, const AnsiString& file) {
  const std::string script =
      "import sys, xlrd\n"
      "b = xlrd.open_workbook(sys.argv[1], encoding_override='gbk')\n"
      "s = b.sheet_by_index(0)\n"
      "for r in range(s.nrows):\n"
      "  for c in range(s.ncols):\n"
      "    cell = s.cell(r, c)\n"
      "    v = cell.value\n"
      "    if isinstance(v, float) and v == int(v): v = int(v)\n"
      "    sys.stdout.buffer.write(('%d,%d,%d,%s\\n' % (r, c, cell.ctype, v)).encode('utf-8'))\n";
  WriteFileAtomically(dir / "read.py", script);
  const std::string cmd = "/usr/bin/python3 '" + dir.Native() + "/read.py' '" + MapPath(file) + "' 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return "popen failed";
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

TEST_F(XlsExportTest, AnIndependentReaderSeesTitlesValuesAndTypes) {
  x.SetAddTitle(true);
  x.Columns()->Add()->SetFieldName("ID");
  x.Columns()->Items(0)->Title()->SetCaption("编号");
  x.Columns()->Add()->SetFieldName("PAY");
  x.Columns()->Items(1)->Title()->SetCaption("工资");
  x.Columns()->Add()->SetFieldName("NAME");
  x.Columns()->Items(2)->Title()->SetCaption("姓名");
  x.SetBlankIfZero(true);
  ASSERT_TRUE(x.Execute());
  // xlrd cell types: 0 empty (a BLANK record too), 1 text, 2 number.
  const std::string expected =
      "0,0,1,编号\n0,1,1,工资\n0,2,1,姓名\n"
      "1,0,2,7\n1,1,2,2.5\n1,2,1,张三\n"
      "2,0,2,300\n2,1,0,\n2,2,1,0\n"
      "3,0,2,-1\n3,1,2,-12.75\n3,2,1,Li\n";
  // The expected text is UTF-8 in the source; the literal became GBK bytes.
  EXPECT_EQ(ReadWithXlrd(dir, file), AnsiToUtf8(expected));
}

TEST_F(XlsExportTest, LibreOfficeConvertsTheFileToTheSameCsv) {
  if (system("command -v soffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "LibreOffice is not installed";
  x.SetAddTitle(true);
  ASSERT_TRUE(x.Execute());
  const std::string cmd = "cd '" + dir.Native() +
                          "' && soffice --headless --convert-to csv:\"Text - txt - csv (StarCalc)\":44,34,76 pay.XLS "
                          "--infilter=\"MS Excel 95\" >/dev/null 2>&1";
  ASSERT_EQ(system(cmd.c_str()), 0);
  const std::string csv = ReadWholeFile(dir / "pay.csv");
  EXPECT_NE(csv.find("ID,PAY,NAME,DAY"), std::string::npos) << csv;
  EXPECT_NE(csv.find("300,0,0,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(AnsiToUtf8("张三")), std::string::npos) << csv;
}

}  // namespace
