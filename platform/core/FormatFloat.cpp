// FormatFloat: the float picture language.
//
// A picture has up to three sections separated by ';' (outside quotes):
// positive; negative; zero.  An empty or missing negative section means the
// positive one with a leading '-'; an empty or missing zero section means
// the positive one.  An empty positive section, when it is the one taken,
// formats the value in general format (FloatToStr): FormatFloat(";;", 0.5)
// is "0.5".  A value that rounds to zero under its section's
// decimals is formatted by the zero section (when there is one) and never
// shows a minus sign.
//
// Inside a section:
//   0    a digit, shown even when it is a leading or trailing zero
//   #    a digit, shown only when significant
//   .    the first one is the decimal point (settings' DecimalSeparator);
//        any later one in the section is ignored
//   ,    anywhere before the exponent: group thousands
//   E+ E- e+ e-  scientific; the '0's after it give the minimum exponent
//        digits (at most 4); "+" always shows the sign, "-" only a minus
//   '..' ".."    literal text; any other byte (and every code-page-936
//        character, lead and trail byte together) is copied as it stands.
// Integer digits beyond the placeholders are shown before the first one;
// a value with more than 18 integer digits and no exponent in the picture
// is shown as FloatToStr shows it.
#include <string>
#include <vector>

#include "platform/core/NumFormat.h"
#include "platform/core/NumFormatInt.h"

using numfmt::TDecimal;

namespace {

bool IsLead(char c) { return IsDBCSLeadByte(static_cast<unsigned char>(c)); }

std::vector<std::string> SplitSections(const std::string& picture) {
  std::vector<std::string> sections(1);
  for (size_t i = 0; i < picture.size(); ++i) {
    char c = picture[i];
    if (IsLead(c) && i + 1 < picture.size()) {
      sections.back() += c;
      sections.back() += picture[++i];
    } else if (c == '\'' || c == '"') {
      size_t end = picture.find(c, i + 1);
      if (end == std::string::npos) end = picture.size() - 1;
      sections.back().append(picture, i, end - i + 1);
      i = end;
    } else if (c == ';') {
      if (sections.size() == 3) break;  // a fourth section is ignored
      sections.emplace_back();
    } else {
      sections.back() += c;
    }
  }
  return sections;
}

struct TSectionLayout {
  int intPlaces = 0;     // '0'/'#' before the point
  int firstZero = -1;    // index of the first '0' among them
  int decPlaces = 0;     // '0'/'#' after the point
  int lastZero = 0;      // 1-based index of the last '0' after the point
  bool hasPoint = false;
  bool thousands = false;
  bool scientific = false;
};

// Length of the exponent directive at s[i] ("E+00" is 4), 0 if none.
size_t ExponentLength(const std::string& s, size_t i) {
  if ((s[i] != 'E' && s[i] != 'e') || i + 1 >= s.size() || (s[i + 1] != '+' && s[i + 1] != '-'))
    return 0;
  size_t j = i + 2;
  while (j < s.size() && s[j] == '0') ++j;
  return j - i;
}

TSectionLayout Analyse(const std::string& s) {
  TSectionLayout l;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (IsLead(c) && i + 1 < s.size()) { ++i; continue; }
    if (c == '\'' || c == '"') {
      size_t end = s.find(c, i + 1);
      i = end == std::string::npos ? s.size() : end;
      continue;
    }
    if (l.scientific) continue;  // after the exponent everything is literal
    if (c == '0' || c == '#') {
      if (!l.hasPoint) {
        if (c == '0' && l.firstZero < 0) l.firstZero = l.intPlaces;
        ++l.intPlaces;
      } else {
        ++l.decPlaces;
        if (c == '0') l.lastZero = l.decPlaces;
      }
    } else if (c == '.') {
      l.hasPoint = true;
    } else if (c == ',') {
      l.thousands = true;
    } else if (size_t n = ExponentLength(s, i)) {
      l.scientific = true;
      i += n - 1;
    }
  }
  return l;
}

// The digits a section shows, ready for the walk over its characters.
struct TSectionDigits {
  std::string intDigits;   // zero-padded to the minimum integer digits
  std::string fracDigits;  // exactly the decimals to show
  int exponent = 0;        // scientific only
  bool negative = false;
};

TSectionDigits RoundFor(const TSectionLayout& l, const TDecimal& value) {
  TSectionDigits out;
  TDecimal d = value;
  if (l.scientific) {
    d.RoundToSignificant(std::max(1, l.intPlaces + l.decPlaces));
    if (!d.digits.empty()) {
      out.exponent = d.exponent - l.intPlaces;
      d.exponent = l.intPlaces;  // the mantissa: intPlaces digits before the point
    }
  } else {
    d.RoundToDecimals(l.decPlaces);
  }
  out.negative = d.negative;
  out.intDigits = d.IntegerDigits();
  size_t minInt = l.firstZero < 0 ? 0 : static_cast<size_t>(l.intPlaces - l.firstZero);
  if (l.scientific && l.intPlaces > 0) minInt = std::max<size_t>(minInt, 1);  // zero under "#.#E-0" is 0E0
  if (out.intDigits.size() < minInt) out.intDigits.insert(0, minInt - out.intDigits.size(), '0');
  out.fracDigits = d.FractionDigits();
  size_t shown = std::max<size_t>(l.lastZero, out.fracDigits.size());
  out.fracDigits.resize(shown, '0');
  return out;
}

class TSectionWriter {
 public:
  TSectionWriter(const TSectionLayout& l, const TSectionDigits& d, const TFormatSettings& fs)
      : l_(l), d_(d), fs_(fs) {}

  AnsiString Write(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
      char c = s[i];
      if (IsLead(c) && i + 1 < s.size()) {
        out_ += c;
        out_ += s[++i];
      } else if (c == '\'' || c == '"') {
        size_t end = s.find(c, i + 1);
        if (end == std::string::npos) end = s.size();
        out_.append(s, i + 1, end - i - 1);
        i = end;
      } else if (afterExponent_) {
        out_ += c;
      } else if (c == '0' || c == '#') {
        if (!pointSeen_) IntegerPlace(); else DecimalPlace();
      } else if (c == '.') {
        if (pointSeen_) continue;  // a second point is ignored
        pointSeen_ = true;
        if (l_.intPlaces == 0) PutIntegerDigits(0, d_.intDigits.size());
        if (!d_.fracDigits.empty()) out_ += fs_.DecimalSeparator;
      } else if (c == ',') {
        // the thousands flag; not shown where it stands
      } else if (size_t n = ExponentLength(s, i)) {
        out_ += c;
        out_ += numfmt::ExponentText(d_.exponent, s[i + 1] == '+',
                                     std::min<int>(static_cast<int>(n) - 2, 4));
        afterExponent_ = true;
        i += n - 1;
      } else {
        out_ += c;
      }
    }
    return out_;
  }

 private:
  void PutIntegerDigits(size_t from, size_t to) {
    size_t total = d_.intDigits.size();
    for (size_t i = from; i < to; ++i) {
      if (l_.thousands && i > 0 && (total - i) % 3 == 0) out_ += fs_.ThousandSeparator;
      out_ += d_.intDigits[i];
    }
  }

  void IntegerPlace() {
    int total = static_cast<int>(d_.intDigits.size());
    int offset = total - l_.intPlaces;  // digits without a place of their own
    if (intPlace_ == 0 && offset > 0) PutIntegerDigits(0, offset);
    int index = intPlace_ + offset;
    if (index >= 0) PutIntegerDigits(index, index + 1);
    ++intPlace_;
  }

  void DecimalPlace() {
    if (decPlace_ < static_cast<int>(d_.fracDigits.size())) out_ += d_.fracDigits[decPlace_];
    ++decPlace_;
  }

  const TSectionLayout& l_;
  const TSectionDigits& d_;
  const TFormatSettings& fs_;
  AnsiString out_;
  int intPlace_ = 0;
  int decPlace_ = 0;
  bool pointSeen_ = false;
  bool afterExponent_ = false;
};

}  // namespace

AnsiString FormatFloat(const AnsiString& picture, double value, const TFormatSettings& fs) {
  TDecimal dec = numfmt::ToDecimal(value);
  if (dec.special) return numfmt::SpecialText(dec);
  if (picture.empty()) return numfmt::FormatDecimal(dec, ffGeneral, 15, 0, fs);

  std::vector<std::string> sections = SplitSections(picture);
  auto usable = [&](size_t i) { return sections.size() > i && !sections[i].empty(); };
  size_t index = 0;
  if (dec.digits.empty() && usable(2)) index = 2;
  else if (dec.negative && usable(1)) index = 1;

  if (sections[index].empty()) return numfmt::FormatDecimal(dec, ffGeneral, 15, 0, fs);
  TSectionLayout layout = Analyse(sections[index]);
  if (!layout.scientific && dec.exponent > 18) return numfmt::FormatDecimal(dec, ffGeneral, 15, 0, fs);
  TSectionDigits digits = RoundFor(layout, dec);
  bool roundedToZero = !dec.digits.empty() &&
                       digits.intDigits.find_first_not_of('0') == std::string::npos &&
                       digits.fracDigits.find_first_not_of('0') == std::string::npos;
  if (roundedToZero) {
    // A value shown as zero takes the zero section, else the positive one:
    // never "(0.00)" or "-0.00".
    size_t zeroIndex = usable(2) ? 2 : 0;
    if (zeroIndex != index) {
      index = zeroIndex;
      if (sections[index].empty()) return numfmt::FormatDecimal(dec, ffGeneral, 15, 0, fs);
      layout = Analyse(sections[index]);
      digits = RoundFor(layout, TDecimal());
    }
  }
  AnsiString out = TSectionWriter(layout, digits, fs).Write(sections[index]);
  if (index == 0 && digits.negative && !roundedToZero) out.insert(0, 1, '-');
  return out;
}
