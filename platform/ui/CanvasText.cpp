// CanvasText: the text calls of TCanvas -- TextOut, TextRect, ExtTextOut,
// measuring, and DrawText's layout (prefixes, line breaks, word breaking,
// ellipsis, alignment).  Widths come from the metrics source
// (FontMetrics.h) so layouts can be tested with fixed metrics.
#include <QImage>
#include <QRegion>
#include <cmath>

#include "platform/ui/Canvas.h"
#include "platform/ui/CanvasInt.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/QtText.h"

namespace {

// Byte length of the character starting at i (2 for a lead byte with its
// trail byte, else 1).
size_t CharLen(const AnsiString& s, size_t i) {
  return (IsDBCSLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// Characters (not bytes) in text.
int CharCount(const AnsiString& s) {
  int n = 0;
  for (size_t i = 0; i < s.size(); i += CharLen(s, i)) ++n;
  return n;
}

// Width of one line with extra pixels after every character.
int MeasureLine(TFont& font, const AnsiString& s, int extra) {
  int w = FontMetrics().TextWidth(font, s);
  return extra ? w + extra * CharCount(s) : w;
}

// Advance of every byte (a double-byte character's on its lead byte).
std::vector<int> Advances(TFont& font, const AnsiString& s, int extra) {
  std::vector<int> dx(s.size(), 0);
  for (size_t i = 0; i < s.size();) {
    size_t n = CharLen(s, i);
    dx[i] = FontMetrics().TextWidth(font, s.substr(i, n)) + extra;
    i += n;
  }
  return dx;
}

// One line of laid-out text; marks[k] says the byte k of text is a
// character to underline (it followed a '&' prefix).
struct Line {
  AnsiString text;
  std::vector<bool> marks;
};

// Takes out '&' prefixes: "&x" marks x, "&&" is a literal '&'.
void StripPrefixes(const AnsiString& in, AnsiString& out, std::vector<bool>& marks) {
  for (size_t i = 0; i < in.size();) {
    size_t n = CharLen(in, i);
    if (in[i] == '&' && i + 1 < in.size()) {
      ++i;
      n = CharLen(in, i);
      bool literal = in[i] == '&';
      for (size_t k = 0; k < n; ++k) {
        out += in[i + k];
        marks.push_back(!literal && k == 0);
      }
      i += n;
      continue;
    }
    if (in[i] == '&') { ++i; continue; }  // a trailing '&' shows nothing
    for (size_t k = 0; k < n; ++k) {
      out += in[i + k];
      marks.push_back(false);
    }
    i += n;
  }
}

Line Slice(const AnsiString& text, const std::vector<bool>& marks, size_t from, size_t to) {
  Line l;
  l.text = text.substr(from, to - from);
  l.marks.assign(marks.begin() + static_cast<long>(from), marks.begin() + static_cast<long>(to));
  return l;
}

class Layout {
 public:
  Layout(TFont& font, unsigned flags, int maxWidth, int extra)
      : font_(font), flags_(flags), maxWidth_(maxWidth), extra_(extra) {}

  int Width(const AnsiString& s) { return MeasureLine(font_, s, extra_); }

  std::vector<Line> Run(const AnsiString& source) {
    AnsiString text;
    std::vector<bool> marks;
    if (flags_ & DT_NOPREFIX) {
      text = source;
      marks.assign(text.size(), false);
    } else {
      StripPrefixes(source, text, marks);
    }
    ExpandTabs(text, marks);
    std::vector<Line> lines;
    if (flags_ & DT_SINGLELINE) {
      // Line ends do not break a single line; they show as nothing.
      Line l;
      for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' && text[i] != '\n') { l.text += text[i]; l.marks.push_back(marks[i]); }
      lines.push_back(std::move(l));
    } else {
      size_t start = 0;
      for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
          Line para = Slice(text, marks, start, i);
          if (flags_ & DT_WORDBREAK)
            Wrap(para, lines);
          else
            lines.push_back(std::move(para));
          if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
          start = i + 1;
        }
      }
    }
    return lines;
  }

 private:
  void ExpandTabs(AnsiString& text, std::vector<bool>& marks) {
    if (text.find('\t') == std::string::npos) return;
    AnsiString out;
    std::vector<bool> m;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\t') {
        int n = (flags_ & DT_EXPANDTABS) ? 8 - static_cast<int>(out.size() % 8) : 1;
        out.append(static_cast<size_t>(n), ' ');
        m.insert(m.end(), static_cast<size_t>(n), false);
      } else {
        out += text[i];
        m.push_back(marks[i]);
      }
    }
    text = out;
    marks = m;
  }

  // Greedy word breaking of one paragraph: a line breaks after blanks and
  // before or after a double-byte character (Chinese text breaks between
  // any two characters); the blanks at a break are dropped.  A word wider
  // than the rectangle stays whole (it is clipped), except with
  // DT_EDITCONTROL, which breaks it between characters.
  void Wrap(const Line& para, std::vector<Line>& out) {
    const AnsiString& s = para.text;
    size_t lineStart = 0;
    while (true) {
      while (lineStart < s.size() && s[lineStart] == ' ' && lineStart > 0) ++lineStart;
      if (lineStart >= s.size()) {
        if (lineStart == 0 || out.empty()) out.push_back(Slice(s, para.marks, lineStart, lineStart));
        return;
      }
      size_t i = lineStart, lastBreak = std::string::npos;
      int width = 0;
      bool broke = false;
      while (i < s.size()) {
        size_t n = CharLen(s, i);
        bool dbcs = n == 2;
        if (i > lineStart && (dbcs || s[i - 1] == ' ' || (i >= 2 && IsDBCSLeadByte(static_cast<unsigned char>(s[i - 2])) && ByteTypeAt(s, i - 1) == mbTrailByte)))
          if (s[i] != ' ') lastBreak = i;
        int w = Width(s.substr(i, n));
        if (width + w > maxWidth_ && i > lineStart && s[i] != ' ') {
          size_t cut = lastBreak != std::string::npos && lastBreak > lineStart ? lastBreak
                       : (flags_ & DT_EDITCONTROL) ? i : std::string::npos;
          if (cut != std::string::npos) {
            size_t end = cut;
            while (end > lineStart && s[end - 1] == ' ') --end;
            out.push_back(Slice(s, para.marks, lineStart, end));
            lineStart = cut;
            broke = true;
            break;
          }
        }
        width += w;
        i += n;
      }
      if (!broke) {
        size_t end = s.size();
        while (end > lineStart && s[end - 1] == ' ') --end;
        out.push_back(Slice(s, para.marks, lineStart, end));
        return;
      }
      // Blanks at the start of the next line are dropped.
      while (lineStart < s.size() && s[lineStart] == ' ') ++lineStart;
      if (lineStart >= s.size()) return;
    }
  }

  TFont& font_;
  unsigned flags_;
  int maxWidth_;
  int extra_;
};

// Shortens line to fit maxWidth with "..." at its end.
void EndEllipsis(Line& line, int maxWidth, TFont& font, int extra) {
  if (MeasureLine(font, line.text, extra) <= maxWidth) return;
  const AnsiString dots = "...";
  int budget = maxWidth - MeasureLine(font, dots, extra);
  size_t keep = 0;
  for (size_t i = 0; i < line.text.size();) {
    size_t n = CharLen(line.text, i);
    if (MeasureLine(font, line.text.substr(0, i + n), extra) > budget) break;
    i += n;
    keep = i;
  }
  line.text = line.text.substr(0, keep) + dots;
  line.marks.resize(keep);
  line.marks.resize(line.text.size(), false);
}

}  // namespace

int TCanvas::TextWidth(const AnsiString& text) { return MeasureLine(*font_, text, charExtra_); }

int TCanvas::TextHeight(const AnsiString& text) { return FontMetrics().Metrics(*font_).Height; }

TSize TCanvas::TextExtent(const AnsiString& text) { return {TextWidth(text), TextHeight(text)}; }

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  ExtTextOut(x, y, 0, nullptr, text, nullptr);
  penPos_ = TPoint(x + TextWidth(text), y);
}

void TCanvas::TextRect(const TRect& r, int x, int y, const AnsiString& text) {
  unsigned options = ETO_CLIPPED;
  if (brush_->Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOut(x, y, options, &r, text, nullptr);
}

void TCanvas::ExtTextOut(int x, int y, unsigned options, const TRect* r, const AnsiString& text,
                         const int* dx) {
  QPainter& p = Painter();
  ApplyClip(p);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (r && (options & ETO_CLIPPED)) p.setClipRect(QRect(r->Left, r->Top, r->Width(), r->Height()), hasClip_ ? Qt::IntersectClip : Qt::ReplaceClip);
  TTextMetric tm = FontMetrics().Metrics(*font_);
  std::vector<int> spaced;
  if (!dx && charExtra_ != 0 && !text.empty()) {
    spaced = Advances(*font_, text, charExtra_);
    dx = spaced.data();
  }
  int width = 0;
  if (dx) {
    for (size_t i = 0; i < text.size(); ++i) width += dx[i];
  } else {
    width = TextWidth(text);
  }
  p.save();
  const QTransform base = p.transform();  // a paint event's own offset, if any
  p.translate(x, y);
  if (font_->Orientation() != 0) p.rotate(-font_->Orientation() / 10.0);
  QColor bk = ToQColor(brush_->Color());
  if (r && (options & ETO_OPAQUE)) {
    // The rectangle is in unrotated coordinates.
    p.save();
    p.setTransform(base);
    p.fillRect(QRect(r->Left, r->Top, r->Width(), r->Height()), bk);
    p.restore();
  } else if (brush_->Style() != bsClear) {
    p.fillRect(QRect(0, 0, width, tm.Height), bk);
  }
  p.setFont(ToQFont(*font_));
  p.setPen(ToQColor(font_->Color()));
  if (!dx) {
    p.drawText(QPoint(0, tm.Ascent), ToQString(text));
  } else {
    int cx = 0;
    for (size_t i = 0; i < text.size();) {
      size_t n = CharLen(text, i);
      p.drawText(QPoint(cx, tm.Ascent), ToQString(text.substr(i, n)));
      for (size_t k = 0; k < n; ++k) cx += dx[i + k];
      i += n;
    }
  }
  p.restore();
  if (OnTextOut) OnTextOut(TRect(x, y, x + width, y + tm.Height), text);
  Changed();
}

int TCanvas::DrawText(const AnsiString& text, TRect& r, unsigned flags) {
  AnsiString copy = text;
  return DrawText(copy, r, flags & ~DT_MODIFYSTRING);
}

int TCanvas::DrawText(AnsiString& text, TRect& r, unsigned flags) {
  TTextMetric tm = FontMetrics().Metrics(*font_);
  int lineHeight = tm.Height + ((flags & DT_EXTERNALLEADING) ? tm.ExternalLeading : 0);
  Layout layout(*font_, flags, r.Width(), charExtra_);
  std::vector<Line> lines = layout.Run(text);
  const bool calc = (flags & DT_CALCRECT) != 0;
  if (!calc && (flags & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS))) {
    for (Line& l : lines) EndEllipsis(l, r.Width(), *font_, charExtra_);
    if ((flags & DT_MODIFYSTRING) && lines.size() == 1) text = lines[0].text;
  }
  int height = static_cast<int>(lines.size()) * lineHeight;
  if (calc) {
    int maxWidth = 0;
    for (const Line& l : lines) maxWidth = std::max(maxWidth, layout.Width(l.text));
    r.Right = r.Left + maxWidth;
    r.Bottom = r.Top + height;
    return height;
  }
  int y = r.Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = r.Top + (r.Height() - lineHeight) / 2;
    else if (flags & DT_BOTTOM) y = r.Bottom - lineHeight;
  }
  QPainter& p = Painter();
  QRegion savedClip = *clip_;
  bool savedHasClip = hasClip_;
  if (!(flags & DT_NOCLIP)) IntersectClipRect(r);
  const bool opaque = brush_->Style() != bsClear;
  QFont qfont = ToQFont(*font_);
  for (const Line& l : lines) {
    int w = layout.Width(l.text);
    int x = r.Left;
    if (flags & DT_CENTER) x = r.Left + (r.Width() - w) / 2;
    else if (flags & DT_RIGHT) x = r.Right - w;
    ApplyClip(p);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (opaque) p.fillRect(QRect(x, y, w, lineHeight), ToQColor(brush_->Color()));
    p.setFont(qfont);
    p.setPen(ToQColor(font_->Color()));
    if (!(flags & DT_PREFIXONLY)) {
      if (charExtra_ == 0) {
        p.drawText(QPoint(x, y + tm.Ascent), ToQString(l.text));
      } else {
        std::vector<int> dx = Advances(*font_, l.text, charExtra_);
        int cx = x;
        for (size_t i = 0; i < l.text.size();) {
          size_t n = CharLen(l.text, i);
          p.drawText(QPoint(cx, y + tm.Ascent), ToQString(l.text.substr(i, n)));
          cx += dx[i];
          i += n;
        }
      }
    }
    if (!(flags & DT_HIDEPREFIX)) {
      for (size_t i = 0; i < l.marks.size(); ++i) {
        if (!l.marks[i]) continue;
        int ux = x + layout.Width(l.text.substr(0, i));
        int uw = layout.Width(l.text.substr(i, CharLen(l.text, i)));
        p.fillRect(QRect(ux, y + tm.Ascent + 1, uw, 1), ToQColor(font_->Color()));
      }
    }
    if (OnTextOut && !(flags & DT_PREFIXONLY)) OnTextOut(TRect(x, y, x + w, y + lineHeight), l.text);
    y += lineHeight;
  }
  *clip_ = savedClip;
  hasClip_ = savedHasClip;
  ApplyClip(p);
  Changed();
  return height;
}

int DrawText(TCanvas* canvas, const AnsiString& text, int count, TRect* r, unsigned flags) {
  if (!canvas || !r) return 0;
  AnsiString t = count < 0 ? text : AnsiString(text.substr(0, static_cast<size_t>(std::min<int>(count, text.Length()))));
  int h = canvas->DrawText(t, *r, flags);
  return h;
}

int DrawTextEx(TCanvas* canvas, AnsiString& text, TRect* r, unsigned flags, TDrawTextParams* params) {
  if (!canvas || !r) return 0;
  int left = params ? params->LeftMargin : 0, right = params ? params->RightMargin : 0;
  TRect inner(r->Left + left, r->Top, r->Right - right, r->Bottom);
  int h = canvas->DrawText(text, inner, flags);
  if (flags & DT_CALCRECT) {
    r->Right = inner.Right + right;
    r->Bottom = inner.Bottom;
  }
  if (params) params->LengthDrawn = text.Length();
  return h;
}
