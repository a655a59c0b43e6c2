// Frames3D: the classic 3-D look -- DrawEdge, DrawFrameControl and Frame3D
// -- drawn from the system colours (SysColors.h), pixel for pixel as the
// original platform's classic style:
//   raised outer: 3DLIGHT top-left, 3DDKSHADOW bottom-right
//   raised inner: BTNHIGHLIGHT top-left, BTNSHADOW bottom-right
//   sunken outer: BTNSHADOW top-left, BTNHIGHLIGHT bottom-right
//   sunken inner: 3DDKSHADOW top-left, 3DLIGHT bottom-right
// Each edge is one pixel; the outer ring is the rectangle's outermost
// pixels, the inner ring the next.  The bottom-right colour owns the
// top-right and bottom-left corner pixels.
#pragma once

#include "platform/ui/Graphics.h"

// DrawEdge edge kinds.
constexpr unsigned BDR_RAISEDOUTER = 0x0001;
constexpr unsigned BDR_SUNKENOUTER = 0x0002;
constexpr unsigned BDR_RAISEDINNER = 0x0004;
constexpr unsigned BDR_SUNKENINNER = 0x0008;
constexpr unsigned BDR_OUTER = 0x0003;
constexpr unsigned BDR_INNER = 0x000C;
constexpr unsigned BDR_RAISED = 0x0005;
constexpr unsigned BDR_SUNKEN = 0x000A;
constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr unsigned EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
// DrawEdge sides and options.
constexpr unsigned BF_LEFT = 0x0001;
constexpr unsigned BF_TOP = 0x0002;
constexpr unsigned BF_RIGHT = 0x0004;
constexpr unsigned BF_BOTTOM = 0x0008;
constexpr unsigned BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr unsigned BF_TOPRIGHT = BF_TOP | BF_RIGHT;
constexpr unsigned BF_BOTTOMLEFT = BF_BOTTOM | BF_LEFT;
constexpr unsigned BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr unsigned BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr unsigned BF_MIDDLE = 0x0800;   // fill the inside with the face colour
constexpr unsigned BF_SOFT = 0x1000;
constexpr unsigned BF_ADJUST = 0x2000;   // shrink the rectangle by the edges drawn
constexpr unsigned BF_FLAT = 0x4000;     // one BTNSHADOW frame, no 3-D
constexpr unsigned BF_MONO = 0x8000;     // one WINDOWFRAME frame

// DrawFrameControl kinds and states.
constexpr unsigned DFC_CAPTION = 1;
constexpr unsigned DFC_MENU = 2;
constexpr unsigned DFC_SCROLL = 3;
constexpr unsigned DFC_BUTTON = 4;
constexpr unsigned DFCS_BUTTONCHECK = 0x0000;
constexpr unsigned DFCS_BUTTONRADIO = 0x0004;
constexpr unsigned DFCS_BUTTON3STATE = 0x0008;
constexpr unsigned DFCS_BUTTONPUSH = 0x0010;
constexpr unsigned DFCS_SCROLLUP = 0x0000;
constexpr unsigned DFCS_SCROLLDOWN = 0x0001;
constexpr unsigned DFCS_SCROLLLEFT = 0x0002;
constexpr unsigned DFCS_SCROLLRIGHT = 0x0003;
constexpr unsigned DFCS_SCROLLCOMBOBOX = 0x0005;
constexpr unsigned DFCS_INACTIVE = 0x0100;
constexpr unsigned DFCS_PUSHED = 0x0200;
constexpr unsigned DFCS_CHECKED = 0x0400;
constexpr unsigned DFCS_TRANSPARENT = 0x0800;
constexpr unsigned DFCS_HOT = 0x1000;
constexpr unsigned DFCS_ADJUSTRECT = 0x2000;
constexpr unsigned DFCS_FLAT = 0x4000;
constexpr unsigned DFCS_MONO = 0x8000;

// Draws the edges of r on the given sides; with BF_ADJUST r becomes the
// area inside them.  Returns false for an unknown edge kind.
bool DrawEdge(TCanvas* canvas, TRect& r, unsigned edge, unsigned flags);
// Draws a check box (square, centred in r), push button or scroll/combo
// arrow button.  Returns false for kinds it does not draw (captions,
// menus, radio buttons).
bool DrawFrameControl(TCanvas* canvas, const TRect& r, unsigned type, unsigned state);
// The class library's Frame3D: width rings, top and left in topColor,
// bottom and right in bottomColor; r shrinks by width.
void Frame3D(TCanvas* canvas, TRect& r, TColor topColor, TColor bottomColor, int width);
