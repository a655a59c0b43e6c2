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
// Decimal value of a counter's text; 0 when it is not a plain integer.
int CounterValue(const AnsiString& text) {
  if (text.empty()) return 0;
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return 0;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    v = v * 10 + (text[i] - '0');
    if (v > 0x7FFFFFFF) return 0;
  }
  return static_cast<int>(text[0] == '-' ? -v : v);
}
}  // namespace

namespace {
// One up, in place, for the text of a plain count (digits only, no leading
// zero, at most 2147483647): the same text as writing the value plus one
// afresh.  False, untouched, for any other text.
bool CountUpInPlace(AnsiString& text) {
  const size_t n = text.size();
  if (n == 0 || n > 10 || (n > 1 && text[0] == '0')) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  if (n == 10 && text > AnsiString("2147483647")) return false;
  size_t i = n;
  while (i > 0 && text[i - 1] == '9') text[--i] = '0';
  if (i == 0)
    text.insert(text.begin(), '1');
  else
    ++text[i - 1];
  return true;
}
}  // namespace

void TDBLogger::IncCounter(const AnsiString& name, int delta) {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  AnsiString& text = counters_[name];
  // Every table lock counts one: the usual step costs no conversion.
  if (delta == 1 && CountUpInPlace(text)) return;
  text = AnsiString(std::to_string(static_cast<long long>(CounterValue(text)) + delta));
}

int TDBLogger::Counter(const AnsiString& name) const { return CounterValue(CounterText(name)); }

AnsiString TDBLogger::CounterText(const AnsiString& name) const {
  std::lock_guard<std::recursive_mutex> guard(EngineLock());
  auto it = counters_.find(name);
  return it == counters_.end() ? AnsiString() : it->second;
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
