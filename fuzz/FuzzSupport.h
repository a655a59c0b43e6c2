// Shared pieces of the fuzz targets (FuzzTargets.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"
#include "platform/core/Exceptions.h"

class TDataSource;
class TDBGridEx;
class TMemDataSet;
class TrbReport;

// The input as a code-page-936 byte string.
inline AnsiString FuzzText(const std::uint8_t* data, std::size_t size) {
  return AnsiString(reinterpret_cast<const char*>(data), size);
}

// A folder of this process for the files a case writes (gz.ini), with its
// final '/'; removed at exit.
const std::string& FuzzFolder();

// Splits text at its first line feed: the line before it and the rest.
void FuzzSplitLine(const AnsiString& text, AnsiString& first, AnsiString& rest);

// Runs one case: an Exception is what the program shows the user, so it
// ends the case; everything else leaves (a finding).
template <class F>
int FuzzShown(F&& run) {
  try {
    run();
  } catch (const Exception&) {
  }
  return 0;
}

// What escaped a reader that lets out only its own errors.
class EFuzzEscape : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A form holding what templates name: the report dataset "DS" over three
// rows of "Mem" (Name, Amount, Grp), and the report "Report1", which stops
// itself after a bounded number of script steps.
struct TFuzzReportForm {
  TFuzzReportForm();
  ~TFuzzReportForm();
  TComponent form{nullptr};
  TMemDataSet* mem;
  TrbReport* report;
};

// A grid over a dataset of every column type an import can meet (ZGBH, XM,
// N, F01, HIRED, OK, NOTE), three rows, the first current.
struct TFuzzGrid {
  TFuzzGrid();
  ~TFuzzGrid();
  std::unique_ptr<TMemDataSet> ds;
  std::unique_ptr<TDataSource> source;
  std::unique_ptr<TDBGridEx> grid;
};

// Writes the seeds that are files the program makes (a database, a
// template, a prepared report, GRDDBIF exports) under corpusRoot/<target>/.
void FuzzWriteSeeds(const std::string& corpusRoot);
