// Coverage-guided fuzz targets: one entry function per reader of outside
// data.  An entry takes the bytes it is given, feeds them to the reader the
// way the program does, and returns 0.  What the program shows the user as
// an error (an Exception, or for the database reader only the engine's own
// EUdbDatabaseError) ends the case quietly; anything else - another
// exception, a sanitizer report, a hang - is a finding.
//
//   name            input                           reader
//   sql_query       SQL text                        TUdbQuery over a small database:
//                                                   parse, execute, read the result
//   udb_filter      1 option byte, filter text      the engine's filter language on a table
//   udb_file        a database file                 open, every table, index and field
//   report_template a report template               load, prepare, draw the first page
//   report_prepared a prepared-report file          load, draw every page (up to 4)
//   report_script   expression line, script lines   report expressions and scripts
//   grid_text       tab-separated text              the grid's text import
//   grid_grddbif    a GRDDBIF stream                the grid's typed import
//   text_form       a component text form           the form reader, program classes
//   pay_formula     formula line, condition line    the pay formulas and conditions
//   gz_ini          a "gz.ini"                      settings, field descriptions, page panels
//
// In the normal build the corpus replay test (tests/fuzz) feeds every file
// of fuzz/corpus/<name>/ to its entry; with clang (scripts/fuzz.sh) each
// entry becomes the libFuzzer program fuzz_<name> (FuzzMain.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using TFuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

struct TFuzzTarget {
  const char* Name;
  TFuzzEntry Entry;
};

// Every target, in the order of the table above.
const std::vector<TFuzzTarget>& FuzzTargets();
// The entry of a target by name; null when there is none.
TFuzzEntry FuzzEntry(const std::string& name);

// Once per process: the program's resources, the form classes, a headless
// Qt application (QT_QPA_PLATFORM=offscreen unless set) and a dialog service
// that answers every question with its first button.
void FuzzStartUp();

int FuzzSqlQuery(const std::uint8_t* data, std::size_t size);
int FuzzUdbFilter(const std::uint8_t* data, std::size_t size);
int FuzzUdbFile(const std::uint8_t* data, std::size_t size);
int FuzzReportTemplate(const std::uint8_t* data, std::size_t size);
int FuzzReportPrepared(const std::uint8_t* data, std::size_t size);
int FuzzReportScript(const std::uint8_t* data, std::size_t size);
int FuzzGridText(const std::uint8_t* data, std::size_t size);
int FuzzGridGrddbif(const std::uint8_t* data, std::size_t size);
int FuzzTextForm(const std::uint8_t* data, std::size_t size);
int FuzzPayFormula(const std::uint8_t* data, std::size_t size);
int FuzzGzIni(const std::uint8_t* data, std::size_t size);
