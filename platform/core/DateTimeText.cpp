// FormatDateTime and the date/time parsers (the picture language is listed
// in DateTime.h).
#include <cmath>
#include <cstring>

#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Case-insensitive for ASCII letters only: a double-byte character (whose
// trail byte may look like a letter) must match exactly.
bool StartsWithNoCase(const AnsiString& s, size_t i, const char* word) {
  size_t n = std::strlen(word);
  if (i + n > s.size()) return false;
  for (size_t k = 0; k < n; ++k) {
    if (IsDBCSLeadByte(static_cast<unsigned char>(word[k])) && k + 1 < n) {
      if (s[i + k] != word[k] || s[i + k + 1] != word[k + 1]) return false;
      ++k;
    } else if (Upper(s[i + k]) != Upper(word[k])) {
      return false;
    }
  }
  return true;
}

AnsiString Padded(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return AnsiString(s);
}

class TDateWriter {
 public:
  TDateWriter(TDateTime value, const TFormatSettings& fs) : value_(value), fs_(fs) {
    DecodeDate(value, year_, month_, day_);
    DecodeTime(value, hour_, min_, sec_, msec_);
  }

  AnsiString Write(const AnsiString& picture) {
    Append(picture.empty() ? AnsiString("c") : picture, 0);
    return out_;
  }

 private:
  // Hours are on the 12-hour clock when an am/pm directive follows in the
  // picture: the scan stops at the first unquoted 'a' (a directive or not)
  // or at the next 'h'.
  static bool HasAmPm(const AnsiString& p, size_t from) {
    for (size_t i = from; i < p.size(); ++i) {
      char c = p[i];
      if (IsDBCSLeadByte(static_cast<unsigned char>(c))) { ++i; continue; }
      if (c == '\'' || c == '"') {
        size_t end = p.find(c, i + 1);
        if (end == std::string::npos) return false;
        i = end;
        continue;
      }
      if (c == 'a' || c == 'A')
        return StartsWithNoCase(p, i, "am/pm") || StartsWithNoCase(p, i, "a/p") ||
               StartsWithNoCase(p, i, "ampm");
      if (c == 'h' || c == 'H') return false;
    }
    return false;
  }

  void Append(const AnsiString& p, int level) {
    if (level >= 2) return;  // pictures that name pictures stop here
    char lastToken = ' ';
    size_t i = 0;
    while (i < p.size()) {
      char c = p[i];
      if (IsDBCSLeadByte(static_cast<unsigned char>(c)) && i + 1 < p.size()) {
        out_ += c;
        out_ += p[i + 1];
        i += 2;
        lastToken = ' ';
        continue;
      }
      char token = Upper(c);
      size_t count = 1;
      while (i + count < p.size() && Upper(p[i + count]) == token) ++count;
      if (token >= 'A' && token <= 'Z') {
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      switch (token) {
        case 'Y':
          out_ += count <= 2 ? Padded(year_ % 100, 2) : Padded(year_, 4);
          break;
        case 'M':
          if (count == 1) out_ += std::to_string(month_);
          else if (count == 2) out_ += Padded(month_, 2);
          else if (month_ >= 1) out_ += count == 3 ? fs_.ShortMonthNames[month_ - 1]
                                                   : fs_.LongMonthNames[month_ - 1];
          break;
        case 'D':
          if (count == 1) out_ += std::to_string(day_);
          else if (count == 2) out_ += Padded(day_, 2);
          else if (count == 3) out_ += fs_.ShortDayNames[DayOfWeek(value_) - 1];
          else if (count == 4) out_ += fs_.LongDayNames[DayOfWeek(value_) - 1];
          else if (count == 5) Append(fs_.ShortDateFormat, level + 1);
          else Append(fs_.LongDateFormat, level + 1);
          break;
        case 'H': {
          int h = hour_;
          if (HasAmPm(p, i + count)) {
            h %= 12;
            if (h == 0) h = 12;
          }
          out_ += count == 1 ? AnsiString(std::to_string(h)) : Padded(h, 2);
          break;
        }
        case 'N':
          out_ += count == 1 ? AnsiString(std::to_string(min_)) : Padded(min_, 2);
          break;
        case 'S':
          out_ += count == 1 ? AnsiString(std::to_string(sec_)) : Padded(sec_, 2);
          break;
        case 'Z':
          out_ += count < 3 ? AnsiString(std::to_string(msec_)) : Padded(msec_, 3);
          break;
        case 'T':
          Append(count == 1 ? fs_.ShortTimeFormat : fs_.LongTimeFormat, level + 1);
          break;
        case 'C':
          Append(fs_.ShortDateFormat, level + 1);
          if (hour_ != 0 || min_ != 0 || sec_ != 0 || msec_ != 0) {
            out_ += ' ';
            Append(fs_.LongTimeFormat, level + 1);
          }
          break;
        case 'A':
          count = AmPm(p, i);
          break;
        case '/':
          count = 1;
          out_ += fs_.DateSeparator;
          break;
        case ':':
          count = 1;
          out_ += fs_.TimeSeparator;
          break;
        case '\'':
        case '"': {
          size_t end = p.find(c, i + 1);
          if (end == std::string::npos) end = p.size();
          out_.append(p, i + 1, end - i - 1);
          count = end - i + 1;
          break;
        }
        default:
          count = 1;
          out_ += c;
      }
      i += count;
    }
  }

  // An am/pm directive at p[i]; returns its length.  "am/pm" and "a/p"
  // copy the picture's own letters (so their case); "ampm" gives the
  // settings' texts.  Any other 'a' is a literal.
  size_t AmPm(const AnsiString& p, size_t i) {
    bool pm = hour_ >= 12;
    if (StartsWithNoCase(p, i, "am/pm")) {
      out_.append(p, pm ? i + 3 : i, 2);
      return 5;
    }
    if (StartsWithNoCase(p, i, "a/p")) {
      out_ += p[pm ? i + 2 : i];
      return 3;
    }
    if (StartsWithNoCase(p, i, "ampm")) {
      out_ += pm ? fs_.TimePMString : fs_.TimeAMString;
      return 4;
    }
    out_ += p[i];
    return 1;
  }

  TDateTime value_;
  const TFormatSettings& fs_;
  unsigned short year_, month_, day_, hour_, min_, sec_, msec_;
  AnsiString out_;
};

// --- parsing ---------------------------------------------------------------

class TScanner {
 public:
  explicit TScanner(const AnsiString& s) : s_(s) {}

  void Blanks() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  bool Char(char c) {
    Blanks();
    if (pos_ < s_.size() && s_[pos_] == c) { ++pos_; return true; }
    return false;
  }
  // Up to five digits; digitCount tells two-digit years from four.
  bool Number(int& value, int& digitCount) {
    Blanks();
    size_t start = pos_;
    value = 0;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && pos_ - start < 5)
      value = value * 10 + (s_[pos_++] - '0');
    digitCount = static_cast<int>(pos_ - start);
    return digitCount > 0;
  }
  bool Word(const AnsiString& w) {
    Blanks();
    if (w.empty() || !StartsWithNoCase(s_, pos_, w.c_str())) return false;
    pos_ += w.size();
    return true;
  }
  bool AtEnd() {
    Blanks();
    return pos_ >= s_.size();
  }
  size_t Pos() const { return pos_; }
  void SetPos(size_t p) { pos_ = p; }

 private:
  const AnsiString& s_;
  size_t pos_ = 0;
};

enum TDateOrder { doMDY, doDMY, doYMD };

TDateOrder DateOrder(const AnsiString& shortDateFormat) {
  for (char c : shortDateFormat) {
    switch (Upper(c)) {
      case 'D': return doDMY;
      case 'M': return doMDY;
      case 'Y': return doYMD;
    }
  }
  return doMDY;
}

int CurrentYear() {
  unsigned short y, m, d;
  DecodeDate(Date(), y, m, d);
  return y;
}

bool ScanDate(TScanner& sc, TDateTime& out, const TFormatSettings& fs) {
  TDateOrder order = DateOrder(fs.ShortDateFormat);
  int n1, n2, n3, l1, l2, l3;
  if (!sc.Number(n1, l1) || !sc.Char(fs.DateSeparator) || !sc.Number(n2, l2)) return false;
  int y, m, d, yearLen;
  size_t save = sc.Pos();
  if (sc.Char(fs.DateSeparator) && sc.Number(n3, l3)) {
    switch (order) {
      case doMDY: y = n3; yearLen = l3; m = n1; d = n2; break;
      case doDMY: y = n3; yearLen = l3; m = n2; d = n1; break;
      default: y = n1; yearLen = l1; m = n2; d = n3; break;
    }
  } else {
    sc.SetPos(save);
    y = CurrentYear();
    yearLen = 4;
    if (order == doDMY) { d = n1; m = n2; } else { m = n1; d = n2; }
  }
  if (yearLen <= 2) {
    // The century starts TwoDigitYearCenturyWindow years before this one:
    // with 50 in 2026, "80" is 1980 and "26" is 2026.
    int base = CurrentYear() - fs.TwoDigitYearCenturyWindow;
    y += base / 100 * 100;
    if (fs.TwoDigitYearCenturyWindow > 0 && y < base) y += 100;
  }
  return TryEncodeDate(y, m, d, out);
}

bool ScanTime(TScanner& sc, TDateTime& out, const TFormatSettings& fs) {
  int baseHour = -1;
  if (sc.Word(fs.TimeAMString) || sc.Word("AM")) baseHour = 0;
  else if (sc.Word(fs.TimePMString) || sc.Word("PM")) baseHour = 12;
  int hour, min = 0, sec = 0, msec = 0, len;
  if (!sc.Number(hour, len)) return false;
  if (sc.Char(fs.TimeSeparator)) {
    if (!sc.Number(min, len)) return false;
    if (sc.Char(fs.TimeSeparator)) {
      if (!sc.Number(sec, len)) return false;
      if (sc.Char(fs.DecimalSeparator) && !sc.Number(msec, len)) return false;
    }
  }
  if (baseHour < 0) {
    if (sc.Word(fs.TimeAMString) || sc.Word("AM")) baseHour = 0;
    else if (sc.Word(fs.TimePMString) || sc.Word("PM")) baseHour = 12;
  }
  if (baseHour >= 0) {
    if (hour == 0 || hour > 12) return false;
    if (hour == 12) hour = 0;
    hour += baseHour;
  }
  return TryEncodeTime(hour, min, sec, msec, out);
}

}  // namespace

AnsiString FormatDateTime(const AnsiString& picture, TDateTime value, const TFormatSettings& fs) {
  return TDateWriter(value, fs).Write(picture);
}

AnsiString DateToStr(TDateTime value, const TFormatSettings& fs) {
  return FormatDateTime(fs.ShortDateFormat, value, fs);
}

AnsiString TimeToStr(TDateTime value, const TFormatSettings& fs) {
  return FormatDateTime(fs.LongTimeFormat, value, fs);
}

AnsiString DateTimeToStr(TDateTime value, const TFormatSettings& fs) {
  return FormatDateTime("c", value, fs);
}

bool TryStrToDate(const AnsiString& s, TDateTime& value, const TFormatSettings& fs) {
  TScanner sc(s);
  TDateTime d;
  if (!ScanDate(sc, d, fs) || !sc.AtEnd()) return false;
  value = d;
  return true;
}

bool TryStrToTime(const AnsiString& s, TDateTime& value, const TFormatSettings& fs) {
  TScanner sc(s);
  TDateTime t;
  if (!ScanTime(sc, t, fs) || !sc.AtEnd()) return false;
  value = t;
  return true;
}

bool TryStrToDateTime(const AnsiString& s, TDateTime& value, const TFormatSettings& fs) {
  TScanner sc(s);
  TDateTime d, t = 0.0;
  if (ScanDate(sc, d, fs) && (sc.AtEnd() || (ScanTime(sc, t, fs) && sc.AtEnd()))) {
    value = ComposeDateTime(d, t);
    return true;
  }
  return TryStrToTime(s, value, fs);
}

TDateTime StrToDate(const AnsiString& s, const TFormatSettings& fs) {
  TDateTime v;
  if (!TryStrToDate(s, v, fs)) throw EConvertError("'" + s + "' is not a valid date");
  return v;
}

TDateTime StrToTime(const AnsiString& s, const TFormatSettings& fs) {
  TDateTime v;
  if (!TryStrToTime(s, v, fs)) throw EConvertError("'" + s + "' is not a valid time");
  return v;
}

TDateTime StrToDateTime(const AnsiString& s, const TFormatSettings& fs) {
  TDateTime v;
  if (!TryStrToDateTime(s, v, fs)) throw EConvertError("'" + s + "' is not a valid date and time");
  return v;
}
