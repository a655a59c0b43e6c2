// Cursors: the class library's cursor numbers (TCursor, crXxx), their Qt
// shapes, and cursors loaded from the program's resources.
//
// Negative numbers are the stock cursors; programs register their own
// (loaded from resources) under positive numbers with SetCursorShape, as
// they would fill the screen object's cursor table.
#pragma once

#include <QCursor>

#include "platform/ui/Bitmaps.h"

using TCursor = short;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
constexpr TCursor crSize = crSizeAll;

// The Qt shape of a cursor number; unknown numbers give the arrow.
QCursor CursorShape(TCursor cursor);
// Registers (or replaces) the shape of a program cursor number.
void SetCursorShape(TCursor cursor, const QCursor& shape);

// A cursor from its file or resource bytes: a .cur file (type 2 icon
// directory; the first image is taken), or the data of a single cursor
// resource (hot spot x, y as two u16, then the DIB with an AND mask).
// Raises EInvalidGraphic for malformed bytes.
QCursor DecodeCursor(const TBytes& bytes);
// The named cursor of the program's resources.  Raises EOutOfResources
// "Cannot load cursor resource" when it is missing or unreadable.
QCursor LoadCursorFromResource(const AnsiString& name);

class TIntegerIdents;
// Names of the cursor constants ("crHandPoint"), for cursor properties in
// the text form.
const TIntegerIdents& CursorIdents();
