// The Chinese locale's format settings and the process default.
#include "platform/core/FormatSettings.h"

TFormatSettings::TFormatSettings()
    : ShortMonthNames{"一月", "二月", "三月", "四月", "五月", "六月",
                      "七月", "八月", "九月", "十月", "十一月", "十二月"},
      LongMonthNames{"一月", "二月", "三月", "四月", "五月", "六月",
                     "七月", "八月", "九月", "十月", "十一月", "十二月"},
      ShortDayNames{"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"},
      LongDayNames{"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"} {}

TFormatSettings ChineseFormatSettings() { return TFormatSettings(); }

TFormatSettings& DefaultFormatSettings() {
  static TFormatSettings settings;
  return settings;
}
