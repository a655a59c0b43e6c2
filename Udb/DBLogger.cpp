// TDBLogger: see DBLogger.h.
#include "Udb/DBLogger.h"

#include <cstdio>
#include <ctime>

#include "Udb/UdbErrors.h"
#include "platform/core/CodePage.h"

std::recursive_mutex& EngineLock() {
  static auto* lock = new std::recursive_mutex;  // lives as long as the logger
  return *lock;
}

// The global logger is never destroyed, so that objects freed late at exit
// may still log; a guard saves its lines to LogFileName when the program
// ends, as destroying it would.
TDBLogger& UdbLogger() {
  static TDBLogger* logger = new TDBLogger;
  static struct TSaveAtExit {
    ~TSaveAtExit() {
      if (!logger->LogFileName().empty()) logger->SaveToFile(logger->LogFileName());
    }
  } saveAtExit;
  return *logger;
}

AnsiString UdbNowText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

TDBLogger::TDBLogger() = default;

TDBLogger::~TDBLogger() {
  if (!logFileName_.empty()) SaveToFile(logFileName_);
}

void TDBLogger::Log(const AnsiString& source, const AnsiString& message) {
  AnsiString line = UdbFormat("%10s; %30s : %s", {UdbNowText(), source, message});
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  if (maxLines_ > 0 && static_cast<int>(lines_.size()) > maxLines_) lines_.pop_front();
  lines_.push_back(std::move(line));
}

namespace {
// The value a counter's decimal text reads as: 0 when it does not fit in
// an Integer (the text of -2^31 included), so that such a counter starts
// again from 0 at its next increase.
int CounterValue(long long stored) { return stored >= -0x7FFFFFFFLL && stored <= 0x7FFFFFFFLL ? static_cast<int>(stored) : 0; }
}  // namespace

// Counted at every table lock: a number per name, made text only when read.
void TDBLogger::IncCounter(const AnsiString& name, int delta) {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  long long& value = counters_[name];
  value = static_cast<long long>(CounterValue(value)) + delta;
}

int TDBLogger::Counter(const AnsiString& name) const {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  auto it = counters_.find(name);
  return it == counters_.end() ? 0 : CounterValue(it->second);
}

AnsiString TDBLogger::CounterText(const AnsiString& name) const {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  auto it = counters_.find(name);
  return it == counters_.end() ? AnsiString() : AnsiString(std::to_string(it->second));
}

bool TDBLogger::SaveToFile(const AnsiString& fileName) const {
  if (fileName.empty()) return true;
  std::deque<AnsiString> lines = Lines();
  std::FILE* f = std::fopen(AnsiToUtf8(fileName).c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (const AnsiString& line : lines) {
    ok = ok && std::fwrite(line.data(), 1, line.size(), f) == line.size();
    ok = ok && std::fputs("\r\n", f) >= 0;
  }
  return std::fclose(f) == 0 && ok;
}

std::deque<AnsiString> TDBLogger::Lines() const {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  return lines_;
}

int TDBLogger::LineCount() const {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  return static_cast<int>(lines_.size());
}

void TDBLogger::Clear() {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  lines_.clear();
  counters_.clear();
}
