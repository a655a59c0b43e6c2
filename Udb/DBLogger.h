// TDBLogger: the engine's in-memory debug log and named counters, one
// global instance (UdbLogger()) beside the engine-wide lock (EngineLock()).
//
// Lines have the form "<date time>; <source, right-aligned in 30> : <text>"
// with the date and time right-aligned in 10.  At most MaxLines + 1 lines
// are kept: the check runs before the append and removes one (the oldest)
// line per call.  Counters are name=value entries kept as decimal text.
// Every list operation runs under EngineLock(), so any thread may log.
// Calls only platform/core.
#pragma once

#include <deque>
#include <map>
#include <mutex>

#include "platform/core/AnsiString.h"
#include "platform/core/Component.h"

class TDBLogger : public TObject {
 public:
  TDBLogger();
  // Saves the lines to LogFileName when that is set.  Never throws.
  ~TDBLogger() override;

  void Log(const AnsiString& source, const AnsiString& message);
  // value(name) += delta; a missing or non-numeric value counts as 0.
  void IncCounter(const AnsiString& name, int delta);
  // The counter's value (0 when missing or non-numeric).
  int Counter(const AnsiString& name) const;
  // The counter's stored text ("" when missing).
  AnsiString CounterText(const AnsiString& name) const;
  // Writes the lines, one per text line; nothing when fileName is empty.
  // Returns false when the file could not be written.
  bool SaveToFile(const AnsiString& fileName) const;

  // Copies, so that callers never hold a reference across another log call.
  std::deque<AnsiString> Lines() const;
  int LineCount() const;
  void Clear();

  int MaxLines() const { return maxLines_; }
  void SetMaxLines(int n) { maxLines_ = n; }
  const AnsiString& LogFileName() const { return logFileName_; }
  void SetLogFileName(const AnsiString& name) { logFileName_ = name; }

 private:
  std::deque<AnsiString> lines_;
  std::map<AnsiString, AnsiString> counters_;
  AnsiString logFileName_;
  int maxLines_ = 500;
};

// The engine's global logger, created at first use, freed at exit.
TDBLogger& UdbLogger();
// The engine-wide critical section.
std::recursive_mutex& EngineLock();
// Local date and time as the log shows it ("2026-12-10 13:05:09").
AnsiString UdbNowText();
