// The font of the sort-index digits drawn beside a title's sort marker
// ("Arial", as high as the sort-marker glyph allows), shared by every grid.
#pragma once

class TFont;

TFont* SortIndexFont();
