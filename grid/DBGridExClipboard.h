// The data grid's clipboard actions: copy, cut, paste and delete of the
// selection (or, with forWholeGrid, of the whole grid), and the two small
// runners that export or import a grid with an exporter or importer class.
//
// Copy puts four formats on the clipboard in one session:
//   CF_TEXT             tab-separated text, ended by a zero byte
//   "Csv"               CSV with ';', ended by a zero byte
//   "Rich Text Format"  RTF, ended by a zero byte
//   "GRDDBIF"           the grid's binary format, no zero byte
// Paste takes "GRDDBIF" when the clipboard has it, else the text (up to
// its first zero byte: what follows the terminator is not data).
// Delete asks first when the grid's Options hold dgConfirmDelete:
//   bookmarked rows  "请确认删除记录?" (one row) / "确认删除所有记录?"
//   rectangle        "Clear selected cells?"
//   columns          "Clear selected cells?"
//   whole grid       "确认删除所有记录?"
// with OK and Cancel; Cancel changes nothing.
//
// Layer: grid (platform/ui beneath).  User-interface thread only.
#pragma once

#include <memory>

#include "grid/DBGridExExport.h"
#include "grid/DBGridExImport.h"
#include "platform/ui/Clipboard.h"

// The grid's clipboard formats, registered on first use.
TClipFormat CF_GRDDBIF();
TClipFormat CF_CSV();
TClipFormat CF_RICHTEXT();

void CopySelectionToClipboard(TCustomDBGridEx* grid, bool forWholeGrid);
void CutSelectionToClipboard(TCustomDBGridEx* grid, bool forWholeGrid);
void PasteFromClipboard(TCustomDBGridEx* grid, bool forWholeGrid);
void DeleteSelection(TCustomDBGridEx* grid, bool forWholeGrid);

// Creates an exporter of class Exporter, runs it over grid into stream,
// frees it.
template <class Exporter>
void ExportGridToStream(TCustomDBGridEx* grid, TStream* stream, bool isExportAll) {
  auto exporter = std::make_unique<Exporter>();
  exporter->DBGridEx = grid;
  exporter->ExportToStream(stream, isExportAll);
}

template <class Importer>
void ImportGridFromStream(TCustomDBGridEx* grid, TStream* stream, bool isImportAll) {
  auto importer = std::make_unique<Importer>();
  importer->DBGridEx = grid;
  importer->ImportFromStream(stream, isImportAll);
}
