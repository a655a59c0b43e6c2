// The RTF exporter: table layout, colour and font tables, escaping of
// code-page-936 text, multi-level titles, and a document another program
// reads (LibreOffice, when installed).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "TransferTestSupport.h"
#include "grid/DBGridExExport.h"
#include "platform/core/CodePage.h"
#include "platform/core/Streams.h"
#include "platform/ui/SysColors.h"

namespace {

AnsiString Rtf(TCustomDBGridEx* grid, bool all = true) {
  TMemoryStream out;
  TDBGridExExportAsRTF e;
  e.DBGridEx = grid;
  e.ExportToStream(&out, all);
  return StreamText(out);
}

// One table row of an export: per cell the borders it draws ("ltbr"
// letters) and its text as written.
struct TRow {
  std::vector<std::string> Borders;
  std::vector<std::string> Texts;
};

std::vector<TRow> RtfRows(const std::string& rtf) {
  std::vector<TRow> rows;
  size_t at = 0;
  const std::string start = "\\trowd\\trgaph40\r\n";
  while ((at = rtf.find(start, at)) != std::string::npos) {
    at += start.size();
    size_t end = rtf.find("\\pard\\intbl\\row}", at);
    std::string row = rtf.substr(at, end - at);
    TRow r;
    std::string defs = row.substr(0, row.find("{\\trrh0"));
    std::regex def(R"(((?:\\clbrdr[ltbr]\\brdrs\\brdrcf0\r\n)*)\\clshdng10000)");
    for (std::sregex_iterator i(defs.begin(), defs.end(), def), e; i != e; ++i) {
      std::string sides;
      std::string s = (*i)[1];
      for (size_t p = 0; (p = s.find("\\clbrdr", p)) != std::string::npos; p += 7) sides += s[p + 7];
      r.Borders.push_back(sides);
    }
    std::regex cell(R"(\\pard\\intbl\{[^ ]* (.*?)\\cell\}\r\n)");
    for (std::sregex_iterator i(row.begin(), row.end(), cell), e; i != e; ++i)
      r.Texts.push_back((*i)[1]);
    rows.push_back(r);
    at = end;
  }
  return rows;
}

class RtfTest : public TransferFixture {};

TEST_F(RtfTest, DocumentBytes) {
  Make({{"A", ftString, 20}, {"N", ftInteger}}, {{"a\\{}工\r\nb", 7}});
  grid->SetFlat(true);
  Col(0)->Title()->SetCaption("名称");
  Col(1)->SetWidth(48);
  Col(1)->SetColor(clYellow);
  TFont bold;
  bold.Assign(Col(1)->Font());
  bold.SetName("Arial");
  bold.SetStyle(TFontStyles{fsBold, fsItalic, fsUnderline, fsStrikeOut});
  bold.SetColor(clRed);
  Col(1)->SetFont(&bold);
  const char* border = "\\clbrdrl\\brdrs\\brdrcf0\r\n\\clbrdrt\\brdrs\\brdrcf0\r\n"
                       "\\clbrdrb\\brdrs\\brdrcf0\r\n\\clbrdrr\\brdrs\\brdrcf0\r\n";
  std::string expected =
      std::string("{\\rtf0\\ansi\\ansicpg936\r\n") +
      "{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;\\red212\\green208\\blue200;"
      "\\red255\\green255\\blue0;\\red255\\green0\\blue0;}\r\n"
      "{\\fonttbl\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;\\f1\\fnil\\fcharset134 Arial;}\r\n"
      // title row
      "\\trowd\\trgaph40\r\n" + border + "\\clshdng10000\\clcfpat2\\cellx2160\r\n" + border +
      "\\clshdng10000\\clcfpat2\\cellx2880\r\n{\\trrh0\r\n"
      "\\pard\\intbl{\\ql\\sb12\\sa12\\fs18\\f0\\cf0\\cb2 \\'c3\\'fb\\'b3\\'c6\\cell}\r\n"
      "\\pard\\intbl{\\ql\\sb12\\sa12\\fs18\\f0\\cf0\\cb2 N\\cell}\r\n"
      "\\pard\\intbl\\row}\r\n"
      // record row
      "\\trowd\\trgaph40\r\n" + border + "\\clshdng10000\\clcfpat1\\cellx2160\r\n" + border +
      "\\clshdng10000\\clcfpat3\\cellx2880\r\n{\\trrh0\r\n"
      "\\pard\\intbl{\\ql\\sb12\\sa12\\fs18\\f0\\cf0\\cb1 a\\\\\\{\\}\\'b9\\'a4\\line b\\cell}\r\n"
      "\\pard\\intbl{\\qr\\sb12\\sa12\\fs18\\b\\i\\strike\\ul\\f1\\cf4\\cb3 7\\cell}\r\n"
      "\\pard\\intbl\\row}\r\n"
      "}";
  EXPECT_EQ(std::string(Rtf(grid)), expected);
}

TEST_F(RtfTest, ColourTableStartsWithBlackWhiteAndButtonFace) {
  Make({{"A", ftString, 5}}, {{"x"}});
  std::string rtf = Rtf(grid);
  EXPECT_NE(rtf.find("{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;\\red212\\green208\\blue200;}"),
            std::string::npos);
  // Not flat: spacing 24 everywhere.
  EXPECT_EQ(rtf.find("\\sb12"), std::string::npos);
  EXPECT_NE(rtf.find("\\sb24\\sa24"), std::string::npos);
}

TEST_F(RtfTest, FooterRowsTakeTheirColoursFromTheFooterEvent) {
  Make({{"A", ftString, 5}, {"N", ftInteger}}, {{"x", 2}, {"y", 3}, {"z", 4}});
  grid->SetFooterRowCount(1);
  Col(0)->Footers()->Add()->SetValueType(fvtStaticText);
  Col(0)->Footers()->Items(0)->SetValue("合计");
  Col(1)->Footers()->Add()->SetValueType(fvtSum);
  grid->OnGetFooterParams = [](TObject*, int dataCol, int, TColumnEx*, TFont*, TColor& background,
                               TAlignment&, const TGridDrawState&, AnsiString&) {
    if (dataCol == 1) background = clYellow;
  };
  for (int r : {0, 2}) {
    GoTo(r);
    grid->SelectedRows()->SetCurrentRowSelected(true);
  }
  std::string rtf = Rtf(grid, false);
  std::vector<TRow> rows = RtfRows(rtf);
  ASSERT_EQ(rows.size(), 4u);  // title, two records, footer
  EXPECT_EQ(rows[3].Texts, (std::vector<std::string>{"\\'ba\\'cf\\'bc\\'c6", "6"}));
  // Yellow is the fourth colour: the footer cell's pattern and background.
  EXPECT_NE(rtf.find("\\red255\\green255\\blue0;}"), std::string::npos);
  EXPECT_NE(rtf.find("\\clcfpat3\\cellx"), std::string::npos);
  EXPECT_NE(rtf.find("\\cb3 6\\cell}"), std::string::npos);
}

TEST_F(RtfTest, EscapesSpecialCharactersAndHighBytes) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},           {"a\\b", "a\\\\b"},           {"{x}", "\\{x\\}"},
      {"工资", "\\'b9\\'a4\\'d7\\'ca"}, {"1\r\n2", "1\\line 2"},      {"1\n2\r3", "1\\line 2\\line 3"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RtfEscape(c.in), AnsiString(c.out)) << c.in;
}

TEST_F(RtfTest, MultiLevelTitleMergesGroupCaptions) {
  Make({{"B", ftFloat}, {"X", ftFloat}, {"N", ftString, 10}}, {{1.0, 2.0, "n"}});
  Col(0)->Title()->SetCaption("Pay|Base");
  Col(1)->Title()->SetCaption("Pay|Bonus");
  Col(2)->Title()->SetCaption("Name");
  grid->SetUseMultiTitle(true);
  grid->LayoutChanged();
  std::vector<TRow> rows = RtfRows(Rtf(grid));
  ASSERT_EQ(rows.size(), 3u);  // two title rows, one record
  // Upper row: Pay over the first two columns, Name over both rows.
  EXPECT_EQ(rows[0].Texts, (std::vector<std::string>{"Pay", "", "Name"}));
  EXPECT_EQ(rows[0].Borders, (std::vector<std::string>{"ltb", "tbr", "ltr"}));
  // Lower row: the leaves; the third slot is Name's lower half.
  EXPECT_EQ(rows[1].Texts, (std::vector<std::string>{"Base", "Bonus", ""}));
  EXPECT_EQ(rows[1].Borders, (std::vector<std::string>{"ltbr", "ltbr", "lbr"}));
  EXPECT_EQ(rows[2].Texts, (std::vector<std::string>{"1", "2", "n"}));
  // Spacing |10 / 2 / 96 * 1440 - 20| = 55 on captions, none on empty slots.
  std::string rtf = Rtf(grid);
  EXPECT_NE(rtf.find("{\\qc\\sb55\\sa55"), std::string::npos);
  EXPECT_NE(rtf.find("\\pard\\intbl{\\qc\\fs"), std::string::npos);
  EXPECT_EQ(rtf.find("Root"), std::string::npos);
}

TEST_F(RtfTest, MultiLevelTitleWithoutGroupsIsOneRow) {
  Make({{"A", ftString, 5}, {"B", ftString, 5}}, {{"x", "y"}});
  grid->SetUseMultiTitle(true);
  grid->LayoutChanged();
  std::vector<TRow> rows = RtfRows(Rtf(grid));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Texts, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(rows[0].Borders, (std::vector<std::string>{"ltbr", "ltbr"}));
}

// Runs soffice in dir to turn t.rtf into t.txt (UTF-8); its exit status.
int ConvertRtfToText(const std::filesystem::path& dir) {
  std::string command = "cd '" + dir.string() + "' && timeout 120 soffice --headless " +
                        "-env:UserInstallation=file://" + dir.string() + "/profile " +
                        "--convert-to 'txt:Text (encoded):UTF8' t.rtf >/dev/null 2>&1";
  return std::system(command.c_str());
}

// Whether this machine's soffice reads RTF at all: a LibreOffice with Calc
// but no Writer starts, and then converts nothing.
bool SofficeReadsRtf() {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) return false;
  auto dir = std::filesystem::temp_directory_path() / ("grid-rtf-probe-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  {
    std::ofstream(dir / "t.rtf", std::ios::binary) << "{\\rtf1\\ansi probe\\par}";
  }
  ConvertRtfToText(dir);
  std::ifstream in(dir / "t.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove_all(dir);
  return text.find("probe") != std::string::npos;
}

// Another program reads the document: LibreOffice converts it to text and
// the Chinese cells come out right.  Skipped where LibreOffice is missing
// or cannot read RTF (installed without Writer).
TEST_F(RtfTest, LibreOfficeReadsChineseCells) {
  if (!SofficeReadsRtf()) GTEST_SKIP() << "no soffice that reads RTF (LibreOffice Writer) here";
  Make({{"XM", ftString, 20}, {"GZ", ftFloat}}, {{"张三", 1234.5}, {"李四{1}\\", 99.0}});
  Col(0)->Title()->SetCaption("姓名");
  Col(1)->Title()->SetCaption("工资");
  auto dir = std::filesystem::temp_directory_path() / ("grid-rtf-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  {
    std::ofstream(dir / "t.rtf", std::ios::binary) << std::string(Rtf(grid));
  }
  ASSERT_EQ(ConvertRtfToText(dir), 0);
  std::ifstream in(dir / "t.txt", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove_all(dir);
  for (const char* cell : {"姓名", "工资", "张三", "1234.5", "李四{1}\\", "99"})
    EXPECT_NE(text.find(AnsiToUtf8(cell)), std::string::npos) << AnsiToUtf8(cell) << "\n" << text;
}

}  // namespace
