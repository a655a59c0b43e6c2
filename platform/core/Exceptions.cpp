#include "platform/core/Exceptions.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/core/Component.h"

AnsiString Exception::ClassName() const { return DemangledClassName(typeid(*this)); }

void Abort() { throw EAbort("Operation aborted"); }

void DatabaseError(const AnsiString& message) { throw EDatabaseError(message); }

void ListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void AssertionFailed(const AnsiString& text, const char* unit, int line) {
  std::string u = unit ? unit : "";
  size_t slash = u.find_last_of('/');
  if (slash != std::string::npos) u = u.substr(slash + 1);
  throw EAssertionFailed(text + " (" + u + ", line " + std::to_string(line) + ")");
}
