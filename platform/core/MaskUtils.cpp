// Edit masks: a mask is parsed into positions (an input position of some
// class, or a literal of one or two bytes); formatting and checking walk
// those positions.  The syntax is listed in MaskUtils.h.
#include "platform/core/MaskUtils.h"

#include <algorithm>
#include <vector>

namespace {

enum class TCase { kNone, kUpper, kLower };

struct TMaskPos {
  bool literal = false;
  AnsiString text;      // a literal's bytes
  char kind = 0;        // an input position's mask character
  TCase caseMode = TCase::kNone;
  bool Required() const { return kind == 'L' || kind == 'A' || kind == 'C' || kind == '0'; }
};

struct TMask {
  std::vector<TMaskPos> positions;
  bool reverse = false;  // '!': right-aligned fields
};

// Splits an edit mask into its three fields at unescaped ';'.  Only the
// last two separators count, so a mask may itself hold ';' when escaped.
void SplitFields(const AnsiString& editMask, AnsiString& mask, AnsiString& save,
                 AnsiString& blank) {
  std::vector<size_t> seps;
  for (size_t i = 0; i < editMask.size(); ++i) {
    char c = editMask[i];
    if (IsDBCSLeadByte(static_cast<unsigned char>(c))) { ++i; continue; }
    if (c == '\\') { ++i; continue; }
    if (c == ';') seps.push_back(i);
  }
  mask = editMask;
  save.clear();
  blank.clear();
  if (seps.empty()) return;
  size_t first = seps.size() >= 2 ? seps[seps.size() - 2] : seps.back();
  mask = editMask.substr(0, first);
  if (seps.size() >= 2) {
    size_t second = seps.back();
    save = editMask.substr(first + 1, second - first - 1);
    blank = editMask.substr(second + 1);
  } else {
    save = editMask.substr(first + 1);
  }
}

bool IsInputChar(char c) {
  switch (c) {
    case 'L': case 'l': case 'A': case 'a': case 'C': case 'c':
    case '0': case '9': case '#':
      return true;
  }
  return false;
}

TMask ParseMask(const AnsiString& editMask, const TFormatSettings& fs) {
  AnsiString text, save, blank;
  SplitFields(editMask, text, save, blank);
  TMask m;
  TCase mode = TCase::kNone;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    TMaskPos p;
    if (IsDBCSLeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      p.literal = true;
      p.text = text.substr(i++, 2);
    } else if (c == '\\' && i + 1 < text.size()) {
      p.literal = true;
      size_t n = IsDBCSLeadByte(static_cast<unsigned char>(text[i + 1])) && i + 2 < text.size() ? 2 : 1;
      p.text = text.substr(i + 1, n);
      i += n;
    } else if (c == '!') {
      m.reverse = true;
      continue;
    } else if (c == '<' && i + 1 < text.size() && text[i + 1] == '>') {
      mode = TCase::kNone;
      ++i;
      continue;
    } else if (c == '>' || c == '<') {
      mode = c == '>' ? TCase::kUpper : TCase::kLower;
      continue;
    } else if (IsInputChar(c)) {
      p.kind = c;
      p.caseMode = mode;
    } else {
      p.literal = true;
      p.text = c == ':' ? AnsiString(fs.TimeSeparator)
             : c == '/' ? AnsiString(fs.DateSeparator)
             : c == '_' ? AnsiString(" ")
                        : AnsiString(c);
    }
    m.positions.push_back(p);
  }
  return m;
}

char ApplyCase(char c, TCase mode) {
  if (mode == TCase::kUpper && c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
  if (mode == TCase::kLower && c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
  return c;
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool CharFits(char ch, char kind) {
  unsigned char c = static_cast<unsigned char>(ch);
  switch (kind) {
    case 'L': case 'l': return IsLetter(c);
    case 'A': case 'a': return IsLetter(c) || IsDigit(c);
    case '0': case '9': return IsDigit(c);
    case '#': return IsDigit(c) || c == '+' || c == '-';
    default: return true;  // C, c
  }
}

// Pads or cuts one field of typed characters to `width`, right-aligned
// when the mask says so.
AnsiString FitField(AnsiString field, size_t width, bool reverse) {
  if (field.size() > width) return reverse ? field.substr(field.size() - width) : field.substr(0, width);
  if (reverse) field.insert(0, width - field.size(), ' ');
  else field.append(width - field.size(), ' ');
  return field;
}

// The mask's input positions filled from `chars` in order.
AnsiString FillPositions(const TMask& m, const AnsiString& chars) {
  AnsiString out;
  size_t next = 0;
  for (const TMaskPos& p : m.positions) {
    if (p.literal) {
      out += p.text;
    } else {
      out += next < chars.size() ? ApplyCase(chars[next], p.caseMode) : ' ';
      ++next;
    }
  }
  return out;
}

size_t InputCount(const TMask& m) {
  size_t n = 0;
  for (const TMaskPos& p : m.positions) n += p.literal ? 0 : 1;
  return n;
}

}  // namespace

AnsiString MaskGetMaskText(const AnsiString& editMask) {
  AnsiString mask, save, blank;
  SplitFields(editMask, mask, save, blank);
  return mask;
}

bool MaskGetMaskSave(const AnsiString& editMask) {
  AnsiString mask, save, blank;
  SplitFields(editMask, mask, save, blank);
  return save.empty() || save[0] != '0';
}

char MaskGetMaskBlank(const AnsiString& editMask) {
  AnsiString mask, save, blank;
  SplitFields(editMask, mask, save, blank);
  return blank.empty() ? '_' : blank[0];
}

AnsiString FormatMaskText(const AnsiString& editMask, const AnsiString& value,
                          const TFormatSettings& fs) {
  TMask m = ParseMask(editMask, fs);
  if (!MaskGetMaskSave(editMask)) {
    // The value holds only the typed characters.
    size_t n = InputCount(m);
    return FillPositions(m, m.reverse ? FitField(value, n, true) : value);
  }
  // The value holds the literals too: each run of input positions takes
  // the value's characters up to the literal that closes the run, padded
  // or cut to the run's width.
  AnsiString typed;
  size_t v = 0, i = 0;
  while (i < m.positions.size()) {
    if (m.positions[i].literal) {
      if (value.compare(v, m.positions[i].text.size(), m.positions[i].text) == 0)
        v += m.positions[i].text.size();
      ++i;
      continue;
    }
    size_t runEnd = i;
    while (runEnd < m.positions.size() && !m.positions[runEnd].literal) ++runEnd;
    // Without its closing literal the run takes no more than its width,
    // so a value stored without literals still lands in place.
    size_t stop = std::min(value.size(), v + (runEnd - i));
    if (runEnd < m.positions.size()) {
      size_t found = value.find(m.positions[runEnd].text, v);
      if (found != std::string::npos) stop = found;
    }
    typed += FitField(value.substr(v, stop - v), runEnd - i, m.reverse);
    v = stop;
    i = runEnd;
  }
  return FillPositions(m, typed);
}

int MaskValidateText(const AnsiString& editMask, const AnsiString& text,
                     const TFormatSettings& fs) {
  TMask m = ParseMask(editMask, fs);
  char blank = MaskGetMaskBlank(editMask);
  size_t t = 0;
  for (const TMaskPos& p : m.positions) {
    if (p.literal) {
      if (text.compare(t, p.text.size(), p.text) != 0) return static_cast<int>(t + 1);
      t += p.text.size();
      continue;
    }
    char c = t < text.size() ? text[t] : ' ';
    bool empty = c == ' ' || c == blank;
    if (empty ? p.Required() : !CharFits(c, p.kind)) return static_cast<int>(t + 1);
    ++t;
  }
  if (t < text.size()) return static_cast<int>(t + 1);
  return 0;
}

AnsiString MaskGetValue(const AnsiString& editMask, const AnsiString& text,
                        const TFormatSettings& fs) {
  TMask m = ParseMask(editMask, fs);
  char blank = MaskGetMaskBlank(editMask);
  bool saveLiterals = MaskGetMaskSave(editMask);
  AnsiString out;
  size_t t = 0;
  for (const TMaskPos& p : m.positions) {
    if (p.literal) {
      if (saveLiterals) out += p.text;
      t += p.text.size();
      continue;
    }
    char c = t < text.size() ? text[t] : ' ';
    out += c == blank ? ' ' : c;
    ++t;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}
