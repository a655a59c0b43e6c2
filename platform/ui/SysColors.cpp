// SysColors: the system colour table with the classic 3-D defaults, and the
// system metrics.
#include "platform/ui/SysColors.h"

#include "platform/core/TypInfo.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

// The classic "Windows Standard" scheme.
constexpr TColorRef kClassicColors[kSysColorCount] = {
    RGB(212, 208, 200),  // COLOR_SCROLLBAR
    RGB(58, 110, 165),   // COLOR_BACKGROUND
    RGB(10, 36, 106),    // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(212, 208, 200),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(212, 208, 200),  // COLOR_ACTIVEBORDER
    RGB(212, 208, 200),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(10, 36, 106),    // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(212, 208, 200),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),     // COLOR_3DDKSHADOW
    RGB(212, 208, 200),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(181, 181, 181),  // 25: unused
    RGB(0, 0, 128),      // COLOR_HOTLIGHT
    RGB(166, 202, 240),  // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(10, 36, 106),    // COLOR_MENUHILIGHT
    RGB(212, 208, 200),  // COLOR_MENUBAR
};

TColorRef gSysColors[kSysColorCount] = {};
bool gSysColorsInitialised = false;

TColorRef* Table() {
  if (!gSysColorsInitialised) {
    for (int i = 0; i < kSysColorCount; ++i) gSysColors[i] = kClassicColors[i];
    gSysColorsInitialised = true;
  }
  return gSysColors;
}

QScreen* PrimaryScreen() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  return app ? QGuiApplication::primaryScreen() : nullptr;
}

}  // namespace

TColorRef GetSysColor(int index) {
  if (index < 0 || index >= kSysColorCount) return 0;
  return Table()[index];
}

void SetSysColor(int index, TColorRef value) {
  if (index < 0 || index >= kSysColorCount) return;
  Table()[index] = value & 0xFFFFFF;
}

void ResetSysColors() {
  gSysColorsInitialised = false;
  Table();
}

TColorRef ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  if (color == clNone || color == clDefault) return 0;
  return static_cast<TColorRef>(color) & 0xFFFFFF;
}

TRect WorkArea() {
  if (QScreen* s = PrimaryScreen()) {
    QRect g = s->availableGeometry();
    return Bounds(g.x(), g.y(), g.width(), g.height());
  }
  return Rect(0, 0, 1024, 768 - 30);
}

int CheckBoxSize() { return 13; }

int GetSystemMetrics(int index) {
  int screenW = 1024, screenH = 768;
  if (QScreen* s = PrimaryScreen()) {
    screenW = s->geometry().width();
    screenH = s->geometry().height();
  }
  switch (index) {
    case SM_CXSCREEN: return screenW;
    case SM_CYSCREEN: return screenH;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL:
    case SM_CYVTHUMB: case SM_CXHTHUMB:
      return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CYMENU: return 19;
    case SM_CXFULLSCREEN: return WorkArea().Width();
    case SM_CYFULLSCREEN: return WorkArea().Height() - 19;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_DBCSENABLED: return 1;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return CheckBoxSize();
    default: return 0;
  }
}

const TIntegerIdents& ColorIdents() {
  static const TIntegerIdents idents{
      {"clScrollBar", clScrollBar},
      {"clBackground", clBackground},
      {"clActiveCaption", clActiveCaption},
      {"clInactiveCaption", clInactiveCaption},
      {"clMenu", clMenu},
      {"clWindow", clWindow},
      {"clWindowFrame", clWindowFrame},
      {"clMenuText", clMenuText},
      {"clWindowText", clWindowText},
      {"clCaptionText", clCaptionText},
      {"clActiveBorder", clActiveBorder},
      {"clInactiveBorder", clInactiveBorder},
      {"clAppWorkSpace", clAppWorkSpace},
      {"clHighlight", clHighlight},
      {"clHighlightText", clHighlightText},
      {"clBtnFace", clBtnFace},
      {"clBtnShadow", clBtnShadow},
      {"clGrayText", clGrayText},
      {"clBtnText", clBtnText},
      {"clInactiveCaptionText", clInactiveCaptionText},
      {"clBtnHighlight", clBtnHighlight},
      {"cl3DDkShadow", cl3DDkShadow},
      {"cl3DLight", cl3DLight},
      {"clInfoText", clInfoText},
      {"clInfoBk", clInfoBk},
      {"clHotLight", clHotLight},
      {"clGradientActiveCaption", clGradientActiveCaption},
      {"clGradientInactiveCaption", clGradientInactiveCaption},
      {"clMenuHighlight", clMenuHighlight},
      {"clMenuBar", clMenuBar},
      {"clBlack", clBlack},
      {"clMaroon", clMaroon},
      {"clGreen", clGreen},
      {"clOlive", clOlive},
      {"clNavy", clNavy},
      {"clPurple", clPurple},
      {"clTeal", clTeal},
      {"clGray", clGray},
      {"clSilver", clSilver},
      {"clRed", clRed},
      {"clLime", clLime},
      {"clYellow", clYellow},
      {"clBlue", clBlue},
      {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},
      {"clLtGray", clLtGray},
      {"clDkGray", clDkGray},
      {"clWhite", clWhite},
      {"clMoneyGreen", clMoneyGreen},
      {"clSkyBlue", clSkyBlue},
      {"clCream", clCream},
      {"clMedGray", clMedGray},
      {"clNone", clNone},
      {"clDefault", clDefault},
  };
  return idents;
}
