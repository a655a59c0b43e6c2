// SysColors: colour values, the system colour table and the system metrics.
//
// A TColor is either an explicit colour 0x00BBGGRR (blue in the high byte,
// as the original platform stores it) or a system colour 0x80000000 + n,
// where n indexes the table of COLOR_xxx entries below.  ColorToRGB turns
// either into an explicit colour; every drawing call goes through it.
// The table starts with the classic 3-D scheme and is process-wide.
#pragma once

#include <cstdint>

#include "platform/ui/Geometry.h"

using TColor = std::int32_t;
// An explicit colour 0x00BBGGRR.
using TColorRef = std::uint32_t;

constexpr TColorRef RGB(int r, int g, int b) {
  return static_cast<TColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColorRef c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(TColorRef c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(TColorRef c) { return static_cast<int>((c >> 16) & 0xFF); }

// System colour indices (COLOR_xxx).
enum : int {
  COLOR_SCROLLBAR = 0, COLOR_BACKGROUND = 1, COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3, COLOR_MENU = 4, COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6, COLOR_MENUTEXT = 7, COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9, COLOR_ACTIVEBORDER = 10, COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12, COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18, COLOR_INACTIVECAPTIONTEXT = 19, COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22, COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24, COLOR_HOTLIGHT = 26, COLOR_GRADIENTACTIVECAPTION = 27,
  COLOR_GRADIENTINACTIVECAPTION = 28, COLOR_MENUHILIGHT = 29, COLOR_MENUBAR = 30,
  kSysColorCount = 31
};

constexpr TColor kSysColorBase = static_cast<TColor>(0x80000000u);
constexpr TColor SysColor(int index) { return kSysColorBase | index; }

// System colours.
constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColor(COLOR_MENU);
constexpr TColor clWindow = SysColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColor(COLOR_INFOBK);
constexpr TColor clHotLight = SysColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SysColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SysColor(COLOR_MENUBAR);

// Explicit colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
// "No colour" and "the owner's default colour"; drawing with either draws
// nothing where a colour is optional and black elsewhere.
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The current value of system colour index (0x00BBGGRR); out-of-range
// indices give black.
TColorRef GetSysColor(int index);
// Changes one entry of the system colour table (the desktop's colour
// scheme changed).  Indices outside the table are ignored.
void SetSysColor(int index, TColorRef value);
// Puts the classic defaults back into the table.
void ResetSysColors();
// An explicit colour for any TColor (system colours looked up; clNone and
// clDefault give black).
TColorRef ColorToRGB(TColor color);

// System metrics (SM_xxx) with the classic values at 96 DPI.
enum : int {
  SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
  SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7,
  SM_CYDLGFRAME = 8, SM_CYVTHUMB = 9, SM_CXHTHUMB = 10, SM_CXICON = 11,
  SM_CYICON = 12, SM_CXCURSOR = 13, SM_CYCURSOR = 14, SM_CYMENU = 15,
  SM_CXFULLSCREEN = 16, SM_CYFULLSCREEN = 17, SM_CYVSCROLL = 20,
  SM_CXHSCROLL = 21, SM_CXMIN = 28, SM_CYMIN = 29, SM_CXSIZE = 30,
  SM_CYSIZE = 31, SM_CXFRAME = 32, SM_CYFRAME = 33, SM_CXDOUBLECLK = 36,
  SM_CYDOUBLECLK = 37, SM_DBCSENABLED = 42, SM_CXEDGE = 45, SM_CYEDGE = 46,
  SM_CXSMICON = 49, SM_CYSMICON = 50, SM_CXMENUCHECK = 71, SM_CYMENUCHECK = 72
};
// The metric's value; unknown indices give 0.  Screen sizes come from the
// primary screen when a GUI application runs, else 1024 x 768.
int GetSystemMetrics(int index);
// The part of the primary screen not covered by panels (the work area).
TRect WorkArea();
// Side of the square check box DrawFrameControl draws (13 pixels).
int CheckBoxSize();

class TIntegerIdents;
// Names of the colour constants ("clBtnFace"), for colour properties in the
// text form.
const TIntegerIdents& ColorIdents();
