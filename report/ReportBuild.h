// TRbCollection: places bands and text objects on a report page in code,
// as the application's pay sheets do.  Each call makes one object and
// appends it to the page, which owns it from then on.
//
// Frame letters (case ignored, any order, others ignored): L 4, R 1, T 8,
// B 2 ("LRTB" is 15).  Alignment letters: horizontal L 0, C 2, R 1 and
// vertical T 0, M 8, B 16, each group tested in that order, the last
// present winning ("RM" is 9, "LCR" is right).
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"

class TrbPage;
class TrbBandView;
class TrbMemoView;

class TRbCollection {
 public:
  TrbBandView* AddBand(TrbPage* page, int top, int height, std::uint8_t bandType);
  TrbBandView* AddDataBand(TrbPage* page, int top, int height, const AnsiString& dataSetName);
  TrbMemoView* AddMemo(TrbPage* page, const AnsiString& frameSides, int left, int top, int width,
                       int height, const AnsiString& text, const AnsiString& align, int fontSize,
                       std::uint8_t bandAlign);
  TrbMemoView* AddMemoFormatted(TrbPage* page, const AnsiString& frameSides, int left, int top,
                                int width, int height, const AnsiString& text,
                                const AnsiString& align, int fontSize, int format,
                                const AnsiString& formatStr);
};

extern TRbCollection* RbCollection;

std::uint16_t rbFrameSides(const AnsiString& letters);
// The alignment with its two groups replaced by the letters' codes.
std::int32_t rbApplyAlignment(std::int32_t alignment, const AnsiString& letters);
