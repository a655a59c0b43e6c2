// TDBGridExExportAsRTF: the grid as an RTF table.
//
// Output:
//   {\rtf0\ansi\ansicpg936 CR LF
//   {\colortbl\red0\green0\blue0;\red255\green255\blue255;<button face>;...} CR LF
//   {\fonttbl\f0\fnil\fcharset134 <name>;...} CR LF
//   rows ... }
// Each row:
//   \trowd\trgaph40 CR LF
//   per cell: [\clbrdrl|t|b|r\brdrs\brdrcf0 CR LF]... \clshdng10000\clcfpat<bg>\cellx<right> CR LF
//   {\trrh0 CR LF
//   per cell: \pard\intbl{\ql|\qr|\qc\sb<n>\sa<n>\fs<2*size>[\b][\i][\strike][\ul]\f<font>\cf<colour>\cb<bg> <text>\cell} CR LF
//   \pard\intbl\row} CR LF
// The colour and font tables fill while the rows are written, so the rows
// go to a memory stream first and are copied after the tables.  Texts are
// code-page-936 bytes: the document declares code page 936 and every font
// the GB2312 character set (134); bytes from 0x80 are written as \'hh.
#include <cmath>
#include <cstdio>

#include "grid/DBGridExExport.h"
#include "grid/HeadTree.h"
#include "platform/core/NumFormat.h"
#include "platform/ui/SysColors.h"

namespace {

constexpr int kPixelsPerInch = kScreenPixelsPerInch;  // the grid's screen
constexpr int kTwipsPerInch = 1440;

const char* AlignmentWord(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return "\\qr";
    case taCenter: return "\\qc";
    default: return "\\ql";
  }
}

}  // namespace

AnsiString RtfEscape(const AnsiString& text) {
  static const char kHex[] = "0123456789abcdef";
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    auto ch = static_cast<unsigned char>(text[i]);
    if (ch == '\\' || ch == '{' || ch == '}') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\line ";
    } else if (ch >= 0x80) {
      out += "\\'";
      out += kHex[ch >> 4];
      out += kHex[ch & 0xF];
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out;
}

int TDBGridExExportAsRTF::ColorIndex(TColor color) {
  TColorRef rgb = ColorToRGB(color);
  char key[16];
  std::snprintf(key, sizeof key, "%3d%3d%3d", GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
  for (size_t i = 0; i < colorList_.size(); ++i)
    if (colorList_[i] == key) return static_cast<int>(i);
  colorList_.emplace_back(key);
  return static_cast<int>(colorList_.size() - 1);
}

int TDBGridExExportAsRTF::FontIndex(const AnsiString& name) {
  for (size_t i = 0; i < fontList_.size(); ++i)
    if (fontList_[i] == name) return static_cast<int>(i);
  fontList_.push_back(name);
  return static_cast<int>(fontList_.size() - 1);
}

void TDBGridExExportAsRTF::ExportToStream(TStream* stream, bool isExportAll) {
  body_ = std::make_unique<TMemoryStream>();
  colorList_.clear();
  fontList_.clear();
  ColorIndex(clBlack);
  ColorIndex(clWhite);
  ColorIndex(clBtnFace);
  TDBGridExExport::ExportToStream(body_.get(), isExportAll);
  Stream = stream;
  // Nothing selected: nothing at all, as for the other formats.
  if (body_->Size() == 0) {
    body_.reset();
    return;
  }
  AnsiString head = "{\\rtf0\\ansi\\ansicpg936\r\n{\\colortbl";
  for (const AnsiString& key : colorList_)
    head += "\\red" + key.SubString(1, 3).Trim() + "\\green" + key.SubString(4, 3).Trim() + "\\blue" +
            key.SubString(7, 3).Trim() + ";";
  head += "}\r\n{\\fonttbl";
  for (size_t i = 0; i < fontList_.size(); ++i)
    head += "\\f" + IntToStr(static_cast<int>(i)) + "\\fnil\\fcharset134 " +
            RtfEscape(fontList_[i]) + ";";
  head += "}\r\n";
  Put(head);
  body_->SetPosition(0);
  Stream->CopyFrom(body_.get(), body_->Size());
  body_.reset();
}

void TDBGridExExportAsRTF::WriteSuffix() { Put("}"); }

void TDBGridExExportAsRTF::WriteRowStart() { Put("\\trowd\\trgaph40\r\n"); }

void TDBGridExExportAsRTF::WriteRowEnd() { Put("\\pard\\intbl\\row}\r\n"); }

void TDBGridExExportAsRTF::WriteCellDef(TColor background, int& rightEdge, TColumnEx* column,
                                        unsigned hidden) {
  AnsiString out;
  if (!(hidden & sideLeft)) out += "\\clbrdrl\\brdrs\\brdrcf0\r\n";
  if (!(hidden & sideTop)) out += "\\clbrdrt\\brdrs\\brdrcf0\r\n";
  if (!(hidden & sideBottom)) out += "\\clbrdrb\\brdrs\\brdrcf0\r\n";
  if (!(hidden & sideRight)) out += "\\clbrdrr\\brdrs\\brdrcf0\r\n";
  rightEdge += static_cast<int>(
      Round(static_cast<double>(column->Width()) / kPixelsPerInch * kTwipsPerInch));
  out += "\\clshdng10000\\clcfpat" + IntToStr(ColorIndex(background)) + "\\cellx" +
         IntToStr(rightEdge) + "\r\n";
  Put(out);
}

// spacing < 0: no \sb and \sa.
void TDBGridExExportAsRTF::WriteCell(TAlignment alignment, int spacing, TFont* font,
                                     TColor background, const AnsiString& text) {
  AnsiString out = "\\pard\\intbl{";
  out += AlignmentWord(alignment);
  if (spacing >= 0) out += "\\sb" + IntToStr(spacing) + "\\sa" + IntToStr(spacing);
  out += "\\fs" + IntToStr(font->Size() * 2);
  if (font->Style().Contains(fsBold)) out += "\\b";
  if (font->Style().Contains(fsItalic)) out += "\\i";
  if (font->Style().Contains(fsStrikeOut)) out += "\\strike";
  if (font->Style().Contains(fsUnderline)) out += "\\ul";
  out += "\\f" + IntToStr(FontIndex(font->Name()));
  out += "\\cf" + IntToStr(ColorIndex(font->Color()));
  out += "\\cb" + IntToStr(ColorIndex(background));
  out += " ";
  out += RtfEscape(text);
  out += "\\cell}\r\n";
  Put(out);
}

int TDBGridExExportAsRTF::Spacing() const { return DBGridEx->Flat() ? 12 : 24; }

void TDBGridExExportAsRTF::WriteRecord(const TColumnsExList& columns) {
  WriteRowStart();
  int right = 0;
  for (TColumnEx* column : columns) WriteCellDef(DataCellBackground(column), right, column);
  Put("{\\trrh0\r\n");
  TDBGridExExport::WriteRecord(columns);
  WriteRowEnd();
}

void TDBGridExExportAsRTF::WriteDataCell(TColumnEx*, TColCellParamsEx* params) {
  WriteCell(params->Alignment, Spacing(), params->Font, params->Background, params->Text);
}

void TDBGridExExportAsRTF::WriteFooter(const TColumnsExList& columns, int footerNo) {
  WriteRowStart();
  int right = 0;
  TFont scratch;
  for (TColumnEx* column : columns)
    WriteCellDef(FooterCell(column, footerNo, &scratch).Background, right, column);
  Put("{\\trrh0\r\n");
  TDBGridExExport::WriteFooter(columns, footerNo);
  WriteRowEnd();
}

void TDBGridExExportAsRTF::WriteFooterCell(int, int, TColumnEx*, TFont* font, TColor background,
                                           TAlignment alignment, const AnsiString& text) {
  WriteCell(alignment, Spacing(), font, background, text);
}

void TDBGridExExportAsRTF::WriteTitle(const TColumnsExList& columns) {
  if (columns.empty()) return;
  bool leavesKnown = true;
  for (TColumnEx* column : columns) {
    const auto& leaves = DBGridEx->TitleLeaves();
    leavesKnown = leavesKnown && column->Index() < static_cast<int>(leaves.size()) &&
                  leaves[column->Index()].Column == column;
  }
  if (DBGridEx->UseMultiTitle() && leavesKnown)
    WriteMultiTitle(columns);
  else
    WriteSingleTitle(columns);
}

void TDBGridExExportAsRTF::WriteSingleTitle(const TColumnsExList& columns) {
  WriteRowStart();
  int right = 0;
  for (TColumnEx* column : columns) WriteCellDef(column->Title()->Color(), right, column);
  Put("{\\trrh0\r\n");
  for (TColumnEx* column : columns) {
    TColumnTitleEx* title = column->Title();
    WriteCell(title->Alignment(), Spacing(), title->Font(), title->Color(), title->Caption());
  }
  WriteRowEnd();
}

// The title as one row per level of the header tree, the top level first.
// Phase 1 climbs from the leaves to the children of the root; phase 2
// writes the rows, merging each caption over the slots below and to the
// right that hold the same node (their shared borders are not drawn).
void TDBGridExExportAsRTF::WriteMultiTitle(const TColumnsExList& columns) {
  const size_t n = columns.size();
  const auto& leaves = DBGridEx->TitleLeaves();

  // Phase 1: levels[0] is the leaf level.
  std::vector<THeadTreeNode*> node(n);
  std::vector<int> height(n);
  for (size_t i = 0; i < n; ++i) {
    node[i] = leaves[columns[i]->Index()].Leaf;
    height[i] = node[i]->Height;
  }
  std::vector<std::vector<THeadTreeNode*>> levels;
  for (bool first = true;; first = false) {
    std::vector<THeadTreeNode*> candidate = node;
    int lowest = height[0];
    for (size_t i = 1; i < n; ++i) lowest = std::min(lowest, height[i]);
    bool moved = false;
    for (size_t i = 0; i < n; ++i)
      if (height[i] == lowest && node[i]->Host) {
        node[i] = node[i]->Host;
        height[i] += node[i]->Height;
        moved = true;
      }
    if (first || moved) levels.push_back(std::move(candidate));
    if (!moved) break;
  }
  // The root stands in no row.
  for (auto& level : levels)
    for (THeadTreeNode*& slot : level)
      if (slot && slot->Host == nullptr) slot = nullptr;

  // Phase 2.
  const int top = static_cast<int>(levels.size()) - 1;
  const int spacing = static_cast<int>(Round(std::fabs(
      static_cast<double>(DBGridEx->VTitleMargin()) / 2 / kPixelsPerInch * kTwipsPerInch - 20)));
  std::vector<std::vector<unsigned>> hidden(levels.size(), std::vector<unsigned>(n, 0));
  for (int lv = top; lv >= 0; --lv) {
    std::vector<THeadTreeNode*>& row = levels[lv];
    WriteRowStart();
    int right = 0;
    for (size_t c = 0; c < n; ++c) {
      if (THeadTreeNode* here = row[c]) {
        int down = 1;
        while (lv - down >= 0 && levels[lv - down][c] == here) ++down;
        size_t across = 1;
        while (c + across < n && row[c + across] == here) ++across;
        const int bottom = lv - down + 1;
        for (int l2 = lv; l2 >= bottom; --l2)
          for (size_t c2 = c; c2 < c + across; ++c2) {
            if (l2 != lv || c2 != c) levels[l2][c2] = nullptr;
            unsigned& h = hidden[l2][c2];
            if (c2 != c) h |= sideLeft;
            if (c2 != c + across - 1) h |= sideRight;
            if (l2 != lv) h |= sideTop;
            if (l2 != bottom) h |= sideBottom;
          }
      }
      TColor background = lv > 0 ? DBGridEx->FixedColor() : columns[c]->Title()->Color();
      WriteCellDef(background, right, columns[c], hidden[lv][c]);
    }
    Put("{\\trrh0\r\n");
    for (size_t c = 0; c < n; ++c) {
      TColumnTitleEx* title = columns[c]->Title();
      TFont* font = lv > 0 ? DBGridEx->TitleFont() : title->Font();
      TColor background = lv > 0 ? DBGridEx->FixedColor() : title->Color();
      if (row[c])
        WriteCell(taCenter, spacing, font, background, row[c]->Text);
      else
        WriteCell(taCenter, -1, font, background, AnsiString());
    }
    WriteRowEnd();
  }
}
