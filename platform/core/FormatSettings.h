// TFormatSettings: the separators, pictures and names that every number and
// date conversion of platform/core uses.  One record holds the Chinese
// locale's values (code-page-936 text).  DefaultFormatSettings() is the
// process default; every formatting and parsing function takes an optional
// const TFormatSettings& and falls back to the default only when none is
// given, so a caller that needs fixed separators (the query engine wants
// "." and ",") passes its own record and never touches the process state.
// Standard library only.
#pragma once

#include <array>

#include "platform/core/AnsiString.h"

struct TFormatSettings {
  // Currency pictures, the class library's encoding:
  //   CurrencyFormat 0 "￥1", 1 "1￥", 2 "￥ 1", 3 "1 ￥";
  //   NegCurrFormat 0 "(￥1)" 1 "-￥1" 2 "￥-1" 3 "￥1-" 4 "(1￥)" 5 "-1￥"
  //   6 "1-￥" 7 "1￥-" 8 "-1 ￥" 9 "-￥ 1" 10 "1 ￥-" 11 "￥ 1-"
  //   12 "￥ -1" 13 "1- ￥" 14 "(￥ 1)" 15 "(1 ￥)".
  unsigned char CurrencyFormat = 0;
  unsigned char NegCurrFormat = 2;
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  unsigned char CurrencyDecimals = 2;
  char DateSeparator = '-';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  AnsiString CurrencyString = "￥";
  AnsiString ShortDateFormat = "yyyy-mm-dd";
  AnsiString LongDateFormat = "yyyy'年'm'月'd'日'";
  AnsiString TimeAMString = "上午";
  AnsiString TimePMString = "下午";
  AnsiString ShortTimeFormat = "hh:nn";
  AnsiString LongTimeFormat = "hh:nn:ss";
  std::array<AnsiString, 12> ShortMonthNames;
  std::array<AnsiString, 12> LongMonthNames;
  std::array<AnsiString, 7> ShortDayNames;  // [0] is Sunday
  std::array<AnsiString, 7> LongDayNames;
  // Two-digit years when parsing: n > 0 takes them within the hundred
  // years that start n years before the current one; 0 takes them in the
  // current century.
  unsigned short TwoDigitYearCenturyWindow = 50;

  TFormatSettings();
};

// The Chinese locale's values (what a default-constructed record holds).
TFormatSettings ChineseFormatSettings();

// The process default: what every conversion uses when no record is
// passed.  Changing it changes every later conversion in the process; it
// is meant for the user-interface thread only.
TFormatSettings& DefaultFormatSettings();
