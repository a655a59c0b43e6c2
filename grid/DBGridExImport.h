// Grid importers: read tab-separated text or GRDDBIF (GrdDbifFormat.h)
// back into a grid's dataset, into the selected part of the grid.
//
// Modes (decided by the walk, ImportFromStream):
//   overwrite  the dataset is browsing: the rows overwrite the records of
//              the selection -- from the current record and column on
//              when nothing is selected, continuing with appended records
//              when the data is longer than the dataset and the grid
//              allows appending (alopAppendEx)
//   insert     the dataset is inserting a record: every row becomes a new
//              record inserted before the current one
//   append     the dataset is inserting at its end: every row is appended
//
// The text reader's state machine (TDBGridExImportAsText::CheckState),
// one byte at a time:
//
//   byte              State
//   (none)            3 end of data (and Eof)
//   TAB               1 end of cell
//   CR LF             2 end of line
//   CR + other/none   error "Invalid text format"
//   any other byte    0 part of the cell (LF and zero included)
//
// ReadRecord reads one line: its cells fill the columns in order (cells
// beyond the last column are dropped; a TAB at the end of a line fills
// nothing more; an empty line fills nothing).
//
// Failures:
//   - malformed text stops the import; rows before stay stored;
//   - a GRDDBIF stream is checked whole before anything is touched:
//     "Invalid GRDDBIF format" and nothing changed;
//   - a value the field refuses asks "Ignore error?" (Yes, No, All);
//     No ends the import silently;
//   - whenever an import ends in an error, the record it was filling is
//     cancelled, not left half-filled in edit state.
//
// Layer: grid (platform/ui beneath).  User-interface thread only.
#pragma once

#include <vector>

#include "grid/DBGridEx.h"
#include "grid/DBGridExColumns.h"
#include "platform/core/Streams.h"
#include "platform/core/Variant.h"

class TDBGridExImport {
 public:
  TDBGridExImport() = default;
  virtual ~TDBGridExImport() = default;
  TDBGridExImport(const TDBGridExImport&) = delete;
  TDBGridExImport& operator=(const TDBGridExImport&) = delete;

  TCustomDBGridEx* DBGridEx = nullptr;  // not owned

  // isImportAll: from the first record and the first visible column,
  // whatever was selected (the selection is cleared).
  virtual void ImportFromStream(TStream* stream, bool isImportAll);
  void ImportFromFile(const AnsiString& fileName, bool isImportAll);

 protected:
  virtual void ReadPrefix() {}
  virtual void ReadSuffix() {}
  virtual void ReadRecord(const TColumnsExList& columns);
  virtual void ReadValue(TColumnEx*) {}

  // The field a value of column goes to (the key field of a lookup
  // field), or null when the cell cannot take it.  Puts the dataset into
  // edit state; null when it does not get there.
  TField* EditTarget(TColumnEx* column);
  // A value the field refused: the question, unless ignoring all.  No
  // raises EAbort.
  void AskIgnoreError(const Exception& error);

  TStream* Stream = nullptr;  // not owned
  TColumnsExList ImpCols;
  bool Eof = false;
  bool IgnoreAllErrors = false;

 private:
  void InsertRemainingRows(bool appendMode);
};

class TDBGridExImportAsText : public TDBGridExImport {
 public:
  void ImportFromStream(TStream* stream, bool isImportAll) override;

 protected:
  void ReadPrefix() override { CheckState(); }
  void ReadRecord(const TColumnsExList& columns) override;
  void ReadValue(TColumnEx* column) override;

 private:
  enum TState : unsigned char { stChar = 0, stTab = 1, stEol = 2, stEnd = 3 };
  void CheckState();
  void ReadCell();

  char Char = 0;
  TState State = stChar;
  AnsiString CellText;
};

class TDBGridExImportAsGRDDBIF : public TDBGridExImport {
 public:
  void ImportFromStream(TStream* stream, bool isImportAll) override;

 protected:
  void ReadPrefix() override;
  void ReadRecord(const TColumnsExList& columns) override;
  void ReadValue(TColumnEx* column) override;

 private:
  void ReadNextValue();
  [[noreturn]] void Invalid(const char* where) const;
  void ReadExact(void* buffer, int count, const char* where);

  int ColumnCount = 0;
  Variant Value;
  std::vector<std::pair<AnsiString, bool>> ColumnNames;  // name, visible
  bool HasColumnNames = false;
};

// Checks a whole GRDDBIF stream from its position (invariants G1-G5 of
// GrdDbifFormat.h) and puts the position back; raises EConvertError
// "Invalid GRDDBIF format" otherwise.
void ValidateGrdDbif(TStream* stream);
