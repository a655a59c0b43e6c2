// The class library's exception hierarchy.  Every failure of the system is
// an exception derived from Exception; its Message() is code-page-936 text.
// Catch by reference (catch (const Exception& e)).
#pragma once

#include <exception>

#include "platform/core/AnsiString.h"

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message = AnsiString()) : message_(std::move(message)) {}
  ~Exception() override = default;
  const AnsiString& Message() const { return message_; }
  void SetMessage(AnsiString m) { message_ = std::move(m); }
  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int h) { helpContext_ = h; }
  const char* what() const noexcept override { return message_.c_str(); }
  // Name of the most derived class, as the error box and logs show it.
  virtual AnsiString ClassName() const;

 private:
  AnsiString message_;
  int helpContext_ = 0;
};

#define PAYROLL_DECLARE_EXCEPTION(Name, Base)                     \
  class Name : public Base {                                      \
   public:                                                        \
    using Base::Base;                                             \
  };

// EAbort is the silent exception: the application's handler shows nothing.
PAYROLL_DECLARE_EXCEPTION(EAbort, Exception)
PAYROLL_DECLARE_EXCEPTION(EConvertError, Exception)
PAYROLL_DECLARE_EXCEPTION(EListError, Exception)
PAYROLL_DECLARE_EXCEPTION(EStringListError, EListError)
PAYROLL_DECLARE_EXCEPTION(EDatabaseError, Exception)
PAYROLL_DECLARE_EXCEPTION(EAssertionFailed, Exception)
PAYROLL_DECLARE_EXCEPTION(EOutOfResources, Exception)
PAYROLL_DECLARE_EXCEPTION(EOutOfMemory, Exception)
PAYROLL_DECLARE_EXCEPTION(EInOutError, Exception)
PAYROLL_DECLARE_EXCEPTION(EIntError, Exception)
PAYROLL_DECLARE_EXCEPTION(EDivByZero, EIntError)
PAYROLL_DECLARE_EXCEPTION(ERangeError, EIntError)
PAYROLL_DECLARE_EXCEPTION(EIntOverflow, EIntError)
PAYROLL_DECLARE_EXCEPTION(EMathError, Exception)
PAYROLL_DECLARE_EXCEPTION(EZeroDivide, EMathError)
PAYROLL_DECLARE_EXCEPTION(EInvalidOp, EMathError)
PAYROLL_DECLARE_EXCEPTION(EOverflow, EMathError)
PAYROLL_DECLARE_EXCEPTION(EUnderflow, EMathError)
PAYROLL_DECLARE_EXCEPTION(EClassNotFound, Exception)
PAYROLL_DECLARE_EXCEPTION(EParserError, Exception)
PAYROLL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
PAYROLL_DECLARE_EXCEPTION(EInvalidPointer, Exception)
PAYROLL_DECLARE_EXCEPTION(EInvalidCast, Exception)
PAYROLL_DECLARE_EXCEPTION(EComponentError, Exception)
PAYROLL_DECLARE_EXCEPTION(EPropertyError, Exception)
PAYROLL_DECLARE_EXCEPTION(EStreamError, Exception)
PAYROLL_DECLARE_EXCEPTION(EReadError, EStreamError)
PAYROLL_DECLARE_EXCEPTION(EWriteError, EStreamError)
PAYROLL_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
PAYROLL_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
PAYROLL_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
PAYROLL_DECLARE_EXCEPTION(EResNotFound, Exception)
PAYROLL_DECLARE_EXCEPTION(EOSError, Exception)
PAYROLL_DECLARE_EXCEPTION(EVariantError, Exception)
PAYROLL_DECLARE_EXCEPTION(EPrinter, Exception)
PAYROLL_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
PAYROLL_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)

// Raises the silent EAbort ("Operation aborted").
[[noreturn]] void Abort();
// Raises EDatabaseError with the message (the class library's DatabaseError).
[[noreturn]] void DatabaseError(const AnsiString& message);
// Raises EListError "List index out of bounds (%d)".
[[noreturn]] void ListIndexError(int index);
// Raises EAssertionFailed "<text> (<unit>, line <n>)" as a failed Assert does.
[[noreturn]] void AssertionFailed(const AnsiString& text, const char* unit, int line);

// Assert(cond, text): the class library's Assert; checks our own invariants.
#define PAYROLL_ASSERT(cond, text) \
  do { if (!(cond)) ::AssertionFailed((text), __FILE__, __LINE__); } while (0)
