// TCustomLexer: line reading and the push-back buffer; see LexLib.h.
#include "sql/LexLib.h"

#include <algorithm>

#include "platform/core/Streams.h"

TCustomLexer::TCustomLexer(TStream* input) : yyinput(input) {}

bool TCustomLexer::FillPending() {
  if (streamEnd_ || !yyinput) return false;
  if (pendingPos_ > 0) {
    pending_.erase(0, pendingPos_);
    pendingPos_ = 0;
  }
  char chunk[16384];
  int n = yyinput->Read(chunk, sizeof chunk);
  if (n <= 0) {
    streamEnd_ = true;
    return false;
  }
  pending_.append(chunk, static_cast<size_t>(n));
  return true;
}

bool TCustomLexer::ReadLine() {
  if (pendingPos_ >= pending_.size() && !FillPending()) return false;
  std::string line;
  for (;;) {
    size_t lf = pending_.find('\n', pendingPos_);
    if (lf != std::string::npos) {
      line.append(pending_, pendingPos_, lf - pendingPos_);
      pendingPos_ = lf + 1;
      break;
    }
    line.append(pending_, pendingPos_, std::string::npos);
    pendingPos_ = pending_.size();
    if (!FillPending()) break;  // the last line ends at the end of the input
  }
  if (!line.empty() && line.back() == '\r' ) {
    // A carriage return ends the line only before a line feed; at the very
    // end of the input it stays.
    if (pendingPos_ > 0 && pending_[pendingPos_ - 1] == '\n') line.pop_back();
  }
  yyline = line;
  ++yylineno;
  yycolno = 1;
  buf_.assign(line.rbegin(), line.rend());
  buf_.insert(buf_.begin(), '\n');
  return true;
}

int TCustomLexer::get_char() {
  if (buf_.empty() && !ReadLine()) return 0;
  unsigned char c = static_cast<unsigned char>(buf_.back());
  buf_.pop_back();
  ++yycolno;
  return c;
}

void TCustomLexer::unget_char(int c) {
  buf_.push_back(static_cast<char>(c));
  --yycolno;
}

int TCustomLexer::Take() {
  int c = get_char();
  yytext.push_back(static_cast<char>(c));
  return c;
}

void TCustomLexer::Back(size_t n) {
  n = std::min(n, yytext.size());
  for (size_t i = 0; i < n; ++i) {
    unget_char(static_cast<unsigned char>(yytext.back()));
    yytext.pop_back();
  }
}
