// TrbInterpretator: the script compiler (recursive descent over the script
// text) and the op-list runner.  Format of the op list in the header.
#include "report/ReportInterpreter.h"

#include <cstring>

#include "platform/core/AnsiText.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumFormat.h"
#include "platform/core/Strings.h"

namespace {

using uchar = unsigned char;
constexpr char kCondJump = 1, kJump = 2, kCall = 3;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '.'; }

AnsiString Address(size_t index) {
  AnsiString a(2, '\0');
  a[0] = static_cast<char>(index & 0xFF);
  a[1] = static_cast<char>((index >> 8) & 0xFF);
  return a;
}

size_t AddressOf(const AnsiString& line) {
  return static_cast<uchar>(line[1]) | (static_cast<size_t>(static_cast<uchar>(line[2])) << 8);
}

// A condition is false when it is 0; Null and Unassigned count as 0.
bool IsZero(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return true;
  return v.AsDouble() == 0;
}

// One PrepareScript: the text, the position, the emitted lines and labels.
class TScriptCompiler {
 public:
  TScriptCompiler(std::vector<AnsiString> source, const TrbParser& parser)
      : source_(std::move(source)), parser_(parser) {
    for (const AnsiString& line : source_) {
      for (char c : line) buf_ += c == '\t' ? ' ' : c;
      buf_ += '\r';
    }
  }

  void Compile() {
    Statement();
    FinalPass();
  }
  const std::vector<AnsiString>& Lines() const { return lines_; }
  const std::vector<AnsiString>& Errors() const { return errors_; }

 private:
  // ---- reading ----
  char Ch(size_t p) const { return p < buf_.size() ? buf_[p] : '\0'; }
  bool IsPair(size_t p) const { return IsDBCSLeadByte(static_cast<uchar>(Ch(p))) && p + 1 < buf_.size(); }

  // Cuts a comment that starts at p ("{...}" or "//..." through the line
  // end) out of the buffer; false when none starts there.
  bool CutComment(size_t p) {
    size_t end;
    if (Ch(p) == '{') {
      end = p + 1;
      while (end < buf_.size() && buf_[end] != '}') end += IsPair(end) ? 2 : 1;
      end = end < buf_.size() ? end + 1 : buf_.size();
    } else if (Ch(p) == '/' && Ch(p + 1) == '/') {
      end = buf_.find('\r', p);
      end = end == std::string::npos ? buf_.size() : end + 1;
    } else {
      return false;
    }
    comments_.emplace_back(p, end - p);
    buf_.erase(p, end - p);
    return true;
  }

  void SkipSpace() {
    while (pos_ < buf_.size()) {
      if (static_cast<uchar>(buf_[pos_]) <= ' ') ++pos_;
      else if (!CutComment(pos_)) break;
    }
  }

  // The next run of non-blank bytes, upper-cased; " " at the end.
  AnsiString NextWord() {
    SkipSpace();
    wordStart_ = pos_;
    bool quoted = Ch(pos_) == '\'';
    while (pos_ < buf_.size() && static_cast<uchar>(buf_[pos_]) > ' ') {
      if (IsPair(pos_)) {
        pos_ += 2;
        continue;
      }
      if (!quoted && CutComment(pos_)) continue;
      ++pos_;
    }
    AnsiString w = AnsiUpperCase(buf_.substr(wordStart_, pos_ - wordStart_));
    return w.empty() ? AnsiString(" ") : w;
  }

  // True when word begins with keyword kw standing alone ("END", "END;").
  static bool IsKeyword(const AnsiString& word, const char* kw) {
    size_t n = std::strlen(kw);
    char after = word.size() > n ? word[n] : '\0';
    return word.compare(0, n, kw) == 0 && !IsLetter(after) && !IsDigit(after) && after != '_';
  }

  // Consumes keyword kw when it is the next word; otherwise the position
  // is restored (the word stays the one an error names).
  bool Take(const char* kw) {
    size_t save = pos_;
    AnsiString w = NextWord();
    if (IsKeyword(w, kw)) {
      pos_ = wordStart_ + std::strlen(kw);
      return true;
    }
    pos_ = save;
    return false;
  }

  AnsiString Text(size_t from, size_t to) const { return AnsiString(buf_.substr(from, to - from)).Trim(); }

  // ---- errors ----
  void Error(const AnsiString& message) { ErrorAt(wordStart_, message); }

  void ErrorAt(size_t bufPos, const AnsiString& message) {
    if (error_) return;
    error_ = true;
    if (message.empty()) return;
    size_t p = bufPos;
    for (const auto& [start, length] : comments_)
      if (start <= bufPos) p += length;
    size_t total = 0;
    for (const AnsiString& s : source_) total += s.size() + 1;
    if (total > 0 && p >= total) p = total - 1;  // at the end: the last line's end
    int line = 1;
    size_t col = p + 1;
    for (const AnsiString& s : source_) {
      if (col <= s.size() + 1) break;
      col -= s.size() + 1;
      ++line;
    }
    errors_.push_back("Line " + IntToStr(line) + "/" + IntToStr(static_cast<long long>(col)) + ": " + message);
  }

  // ---- emitting ----
  size_t Emit(const AnsiString& line) {
    if (lines_.size() >= static_cast<size_t>(TrbInterpretator::kMaxOpLines)) {
      Error("Script too long: more than " + IntToStr(TrbInterpretator::kMaxOpLines) + " op lines");
      return lines_.size();
    }
    lines_.push_back(line);
    return lines_.size() - 1;
  }
  void Patch(size_t line, size_t address) {
    if (line < lines_.size()) lines_[line].replace(1, 2, Address(address));
  }

  struct TDepth {
    explicit TDepth(TScriptCompiler& c) : c_(c) {
      if (++c_.depth_ > TrbInterpretator::kMaxNesting) c_.Error("Nesting too deep here");
    }
    ~TDepth() { --c_.depth_; }
    TScriptCompiler& c_;
  };

  // ---- statements ----
  void Statement() {
    TDepth depth(*this);
    if (error_) return;
    size_t start = pos_;
    if (Label()) return;
    AnsiString w = NextWord();
    if (IsKeyword(w, "BEGIN")) {
      pos_ = wordStart_ + 5;
      Block();
    } else if (IsKeyword(w, "IF")) {
      pos_ = wordStart_ + 2;
      If();
    } else if (IsKeyword(w, "WHILE")) {
      pos_ = wordStart_ + 5;
      While();
    } else if (IsKeyword(w, "REPEAT")) {
      pos_ = wordStart_ + 6;
      Repeat();
    } else if (IsKeyword(w, "FOR")) {
      pos_ = wordStart_ + 3;
      For();
    } else if (IsKeyword(w, "GOTO")) {
      pos_ = wordStart_ + 4;
      Goto();
    } else if (w == " " || w[0] == ';' || IsKeyword(w, "END") || IsKeyword(w, "UNTIL") ||
               IsKeyword(w, "ELSE")) {
      pos_ = start;  // empty statement
    } else {
      pos_ = start;
      AssignmentOrCall();
    }
  }

  // "digits :" before a statement (not ":=").
  bool Label() {
    SkipSpace();
    size_t p = pos_;
    while (IsDigit(Ch(p))) ++p;
    if (p == pos_) return false;
    AnsiString digits = buf_.substr(pos_, p - pos_);
    while (Ch(p) == ' ' || Ch(p) == '\r') ++p;
    if (Ch(p) != ':' || Ch(p + 1) == '=') return false;
    AnsiString name = digits + ":";
    bool known = false;
    for (const auto& l : labels_) known = known || l.first == name;
    if (!known) labels_.emplace_back(name, lines_.size());
    pos_ = p + 1;
    Statement();
    return true;
  }

  void Block() {
    while (!error_) {
      Statement();
      if (error_) return;
      AnsiString w = NextWord();
      if (w[0] == ';') {
        pos_ = wordStart_ + 1;
      } else if (IsKeyword(w, "END")) {
        pos_ = wordStart_ + 3;
        return;
      } else {
        Error("Need \";\" or \"end\" here");
      }
    }
  }

  void If() {
    size_t from = pos_;
    Expression();
    if (error_) return;
    AnsiString cond = Text(from, pos_);
    if (!Take("THEN")) return Error("Need \"then\" here");
    size_t cj = Emit(AnsiString(1, kCondJump) + "  " + cond);
    Statement();
    if (error_) return;
    if (Take("ELSE")) {
      size_t j = Emit(AnsiString(1, kJump) + "  ");
      Patch(cj, lines_.size());
      Statement();
      Patch(j, lines_.size());
    } else {
      Patch(cj, lines_.size());
    }
  }

  void While() {
    size_t from = pos_;
    Expression();
    if (error_) return;
    AnsiString cond = Text(from, pos_);
    if (!Take("DO")) return Error("Need \"do\" here");
    size_t cj = Emit(AnsiString(1, kCondJump) + "  " + cond);
    Statement();
    if (error_) return;
    Emit(AnsiString(1, kJump) + Address(cj));
    Patch(cj, lines_.size());
  }

  void Repeat() {
    size_t start = lines_.size();
    while (!error_) {
      Statement();
      if (error_) return;
      AnsiString w = NextWord();
      if (w[0] == ';') {
        pos_ = wordStart_ + 1;
      } else if (IsKeyword(w, "UNTIL")) {
        pos_ = wordStart_ + 5;
        size_t from = pos_;
        Expression();
        if (error_) return;
        Emit(AnsiString(1, kCondJump) + Address(start) + Text(from, pos_));
        return;
      } else {
        Error("Need \";\" or \"until\" here");
      }
    }
  }

  void For() {
    SkipSpace();
    size_t from = pos_;
    if (!Designator()) return Error("Need \":=\" here");
    AnsiString var = Text(from, pos_);
    AnsiString w = NextWord();
    if (w.compare(0, 2, ":=") != 0) return Error("Need \":=\" here");
    pos_ = wordStart_ + 2;
    from = pos_;
    Expression();
    if (error_) return;
    Emit(var + " " + Text(from, pos_));
    if (!Take("TO")) return Error("Need \"to\" here");
    from = pos_;
    Expression();
    if (error_) return;
    AnsiString bound = Text(from, pos_);
    if (!Take("DO")) return Error("Need \"do\" here");
    size_t cj = Emit(AnsiString(1, kCondJump) + "  " + var + "<=" + bound);
    Statement();
    if (error_) return;
    Emit(var + " " + var + "+1");
    Emit(AnsiString(1, kJump) + Address(cj));
    Patch(cj, lines_.size());
  }

  void Goto() {
    SkipSpace();
    wordStart_ = pos_;
    size_t p = pos_;
    while (IsDigit(Ch(p))) ++p;
    if (p == pos_) return Error("\"goto\" label must be a number");
    size_t line = Emit(AnsiString(1, kJump) + buf_.substr(pos_, p - pos_));
    if (line < lines_.size()) gotos_.emplace_back(line, pos_);
    pos_ = p;
  }

  void AssignmentOrCall() {
    SkipSpace();
    size_t from = pos_;
    AnsiString index;
    size_t nameEnd = 0;
    if (Designator(&nameEnd, &index)) {
      AnsiString target = Text(from, pos_);
      AnsiString w = NextWord();
      if (w.compare(0, 2, ":=") == 0) {
        pos_ = wordStart_ + 2;
        size_t exprFrom = pos_;
        Expression();
        if (error_) return;
        AnsiString e = Text(exprFrom, pos_);
        if (nameEnd) {
          AnsiString name = Text(from, nameEnd);
          Emit(AnsiString(1, kCall) + "SETARRAY(" + name + ", " + index + ", " + e + ")");
        } else {
          Emit(target + " " + e);
        }
        return;
      }
      if (w == " " || w[0] == ';' || IsKeyword(w, "END") || IsKeyword(w, "ELSE") ||
          IsKeyword(w, "UNTIL")) {
        pos_ = wordStart_;
        Emit(AnsiString(1, kCall) + target + "(0)");
        return;
      }
      return Error("Need \":=\" here");
    }
    pos_ = from;
    Expression();
    if (error_) return;
    Emit(AnsiString(1, kCall) + Text(from, pos_));
  }

  // letter {letter | digit | . | _} ["[" expression "]"]; not followed by
  // "(".  nameEnd/index report an element designator a[i].
  bool Designator(size_t* nameEnd = nullptr, AnsiString* index = nullptr) {
    size_t p = pos_;
    if (!IsLetter(Ch(p))) return false;
    while (IsIdentChar(Ch(p))) ++p;
    if (Ch(p) == '(') return false;
    pos_ = p;
    if (Ch(p) == '[') {
      size_t end = pos_;
      ++pos_;
      size_t from = pos_;
      Expression();
      if (error_) return true;
      SkipSpace();
      if (Ch(pos_) != ']') {
        wordStart_ = pos_;
        Error("Need \"]\" here");
        return true;
      }
      if (nameEnd) *nameEnd = end;
      if (index) *index = Text(from, pos_);
      ++pos_;
    }
    return true;
  }

  // ---- expressions (syntax only; the text is kept as written) ----
  void Expression() {
    Simple();
    if (error_) return;
    SkipSpace();
    char c = Ch(pos_);
    if (c == '=' || c == '<' || c == '>') {
      ++pos_;
      if ((c == '<' && (Ch(pos_) == '=' || Ch(pos_) == '>')) || (c == '>' && Ch(pos_) == '='))
        ++pos_;
      Simple();
    }
  }

  bool WordOperator(const char* kw) {
    SkipSpace();
    size_t n = std::strlen(kw);
    for (size_t k = 0; k < n; ++k)
      if ((Ch(pos_ + k) & ~0x20) != kw[k]) return false;
    if (IsIdentChar(Ch(pos_ + n))) return false;
    pos_ += n;
    return true;
  }

  void Simple() {
    Term();
    if (error_) return;
    SkipSpace();
    if (Ch(pos_) == '+' || Ch(pos_) == '-') {
      ++pos_;
      Simple();
    } else if (WordOperator("OR")) {
      Simple();
    }
  }

  void Term() {
    Factor();
    if (error_) return;
    SkipSpace();
    if (Ch(pos_) == '*' || Ch(pos_) == '/') {
      ++pos_;
      Term();
    } else if (WordOperator("AND") || WordOperator("MOD")) {
      Term();
    }
  }

  void Factor() {
    TDepth depth(*this);
    if (error_) return;
    SkipSpace();
    wordStart_ = pos_;
    char c = Ch(pos_);
    if (c == '(') {
      ++pos_;
      Expression();
      if (error_) return;
      SkipSpace();
      wordStart_ = pos_;
      if (Ch(pos_) != ')') return Error("Need \")\" here");
      ++pos_;
    } else if (c == '[') {
      Bracketed();
    } else if (c == '+' || c == '-') {
      ++pos_;
      Factor();
    } else if (WordOperator("NOT")) {
      Factor();
    } else if (c == '\'') {
      ++pos_;
      while (true) {
        if (pos_ >= buf_.size()) return Error("Need \"'\" here");
        if (IsPair(pos_)) {
          pos_ += 2;
          continue;
        }
        if (buf_[pos_++] != '\'') continue;
        if (Ch(pos_) != '\'') break;
        ++pos_;
      }
    } else if (IsDigit(c)) {
      while (IsDigit(Ch(pos_))) ++pos_;
      if (Ch(pos_) == '.' && IsDigit(Ch(pos_ + 1))) {
        ++pos_;
        while (IsDigit(Ch(pos_))) ++pos_;
      }
    } else if (IsLetter(c)) {
      if (Designator()) return;
      while (IsIdentChar(Ch(pos_))) ++pos_;
      Arguments();
    } else {
      Error("Need an expression here");
    }
  }

  void Arguments() {  // pos on "(" after a function name
    ++pos_;
    SkipSpace();
    if (Ch(pos_) == ')') {
      ++pos_;
      return;
    }
    while (!error_) {
      Expression();
      if (error_) return;
      SkipSpace();
      wordStart_ = pos_;
      if (Ch(pos_) == ')') {
        ++pos_;
        return;
      }
      if (Ch(pos_) != ',') return Error("Need \",\" or \")\" here");
      ++pos_;
    }
  }

  // "[...]" with brackets balanced outside quotes.
  void Bracketed() {
    int depth = 0;
    bool single = false, dbl = false;
    for (size_t p = pos_; p < buf_.size(); ++p) {
      if (IsPair(p)) {
        ++p;
        continue;
      }
      char c = buf_[p];
      if (c == '\'' && !dbl) single = !single;
      else if (c == '"' && !single) dbl = !dbl;
      else if (!single && !dbl && c == '[') ++depth;
      else if (!single && !dbl && c == ']' && --depth == 0) {
        pos_ = p + 1;
        return;
      }
    }
    Error("Need \"]\" here");
  }

  // ---- after the statements ----
  void FinalPass() {
    buf_.clear();
    for (const auto& [line, at] : gotos_) {
      AnsiString name = lines_[line].substr(1) + ":";
      bool found = false;
      for (const auto& [label, index] : labels_) {
        if (label == name) {
          lines_[line] = AnsiString(1, kJump) + Address(index);
          found = true;
          break;
        }
      }
      if (!found) {
        bool wasError = error_;
        error_ = false;
        ErrorAt(at, "Label \"" + name.substr(0, name.size() - 1) + "\" is not defined");
        error_ = error_ || wasError;
      }
    }
    for (AnsiString& line : lines_) {
      try {
        switch (line[0]) {
          case kJump: break;
          case kCondJump: line = line.substr(0, 3) + parser_.ToPostfix(line.substr(3)); break;
          case kCall: line = line.substr(0, 1) + parser_.ToPostfix(line.substr(1)); break;
          default: {
            size_t blank = line.find(' ');
            line = line.substr(0, blank + 1) + parser_.ToPostfix(line.substr(blank + 1));
          }
        }
      } catch (const EParserError& e) {
        errors_.push_back(e.Message());
        error_ = true;
      }
    }
  }

  std::vector<AnsiString> source_;
  const TrbParser& parser_;
  std::string buf_;
  size_t pos_ = 0;
  size_t wordStart_ = 0;
  bool error_ = false;
  int depth_ = 0;
  std::vector<std::pair<size_t, size_t>> comments_;  // buffer start, byte count
  std::vector<std::pair<AnsiString, size_t>> labels_;  // "10:", op line
  std::vector<std::pair<size_t, size_t>> gotos_;       // op line, buffer position
  std::vector<AnsiString> lines_;
  std::vector<AnsiString> errors_;
};

}  // namespace

TrbInterpretator::TrbInterpretator() {
  parser_.OnGetValue = [this](const AnsiString& name, Variant& value) { GetValue(name, value); };
  parser_.OnFunction = [this](const AnsiString& name, const Variant& p1, const Variant& p2,
                              const Variant& p3, Variant& value) { DoFunction(name, p1, p2, p3, value); };
}

void TrbInterpretator::PrepareScript(TStrings* memoFrom, TStrings* memoTo, TStrings* memoErr) {
  std::vector<AnsiString> source;
  for (int i = 0; i < memoFrom->Count(); ++i) source.push_back(memoFrom->Get(i));
  memoTo->Clear();
  memoErr->Clear();
  TScriptCompiler compiler(std::move(source), parser_);
  compiler.Compile();
  for (const AnsiString& line : compiler.Lines()) memoTo->Add(line);
  for (const AnsiString& e : compiler.Errors()) memoErr->Add(e);
}

void TrbInterpretator::DoScript(TStrings* memo) {
  size_t i = 0;
  while (i < static_cast<size_t>(memo->Count())) {
    AnsiString line = memo->Get(static_cast<int>(i));
    size_t next = i + 1;
    if (line.empty()) {
      i = next;
      continue;
    }
    switch (line[0]) {
      case kCondJump:
      case kJump:
        if (line.size() < 3) throw EParserError("Broken jump in script line " + IntToStr(static_cast<long long>(i)));
        if (line[0] == kJump || IsZero(parser_.CalcPostfix(line.substr(3)))) next = AddressOf(line);
        break;
      case kCall: {
        AnsiString call = line.substr(1);
        if (AnsiUpperCase(call) == "EXIT(0)") return;
        parser_.CalcPostfix(call);
        break;
      }
      default: {
        size_t blank = line.find(' ');
        AnsiString name = line.substr(0, blank);
        AnsiString expr = blank == std::string::npos ? AnsiString() : AnsiString(line.substr(blank + 1));
        SetValue(name, parser_.CalcPostfix(expr));
      }
    }
    if (next <= i && StopRequested()) return;
    i = next;
  }
}

void TrbInterpretator::SplitExpressions(TStrings* memo, TStrings* matchFuncs, TStrings* splitTo,
                                        TrbVariables* variables) {
  TrbFunctionSplitter splitter(matchFuncs, splitTo, variables);
  for (int i = 0; i < memo->Count(); ++i) {
    AnsiString line = memo->Get(i);
    if (line.empty()) continue;
    switch (line[0]) {
      case kCondJump: splitter.Split(line.substr(std::min<size_t>(3, line.size()))); break;
      case kJump: break;
      case kCall: splitter.Split(line.substr(1)); break;
      default: {
        size_t blank = line.find(' ');
        if (blank != std::string::npos) splitter.Split(line.substr(blank + 1));
      }
    }
  }
}

AnsiString GetWord(const AnsiString& text, int& pos) {
  int n = text.Length();
  while (pos <= n && static_cast<uchar>(text[static_cast<size_t>(pos - 1)]) <= ' ') ++pos;
  int start = pos;
  while (pos <= n && static_cast<uchar>(text[static_cast<size_t>(pos - 1)]) > ' ') ++pos;
  return text.SubString(start, pos - start);
}

AnsiString CopyFrom(const AnsiString& text, int pos) { return text.SubString(pos, text.Length() - pos + 1); }
