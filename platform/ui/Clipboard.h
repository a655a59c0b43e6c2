// Clipboard: TClipboard, the class library's clipboard object, over Qt's
// clipboard, with the original platform's formats.
//
// A format is a number: CF_TEXT for code-page-936 text, or a number from
// RegisterClipboardFormat for a named format ("Csv", "Rich Text Format",
// "GRDDBIF", ...).  The data of a format is a block of bytes, given and
// returned whole (SetAsHandle/GetAsHandle), like a global memory block:
// a text block carries its terminating zero byte.
//
// Exchange with other programs goes through MIME types:
//   CF_TEXT             text/plain, UTF-8 (converted from and to code page 936)
//   "Csv"               text/csv, UTF-8
//   "Rich Text Format"  text/rtf and application/rtf, the bytes as they are
//   any named format    application/x-payroll-<name>, the bytes as they are
// The exact block is always also published under application/x-payroll-
// <name> (CF_TEXT: "CF_TEXT"), so this program gets back what it put,
// byte for byte, while other programs see the converted text.  Text
// from other programs comes back as CF_TEXT with its lines ended by CR LF.
//
// Sessions: Open/Close nest.  The first block set in a session empties the
// clipboard; the blocks set in the session are published together when the
// outermost Close runs (a call outside any session is its own session).
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Bitmaps.h"

using TClipFormat = unsigned;
constexpr TClipFormat CF_TEXT = 1;
constexpr TClipFormat CF_BITMAP = 2;
constexpr TClipFormat CF_UNICODETEXT = 13;

// The number of the named format, the same for the same name (compared
// ASCII case-insensitively); numbers start at 0xC000.  Raises EConvertError
// for an empty name.
TClipFormat RegisterClipboardFormat(const AnsiString& name);
// The name a format was registered with; empty for unknown numbers.
AnsiString ClipboardFormatName(TClipFormat format);

class QMimeData;

class TClipboard : public TPersistent {
 public:
  TClipboard();
  ~TClipboard() override;

  void Open();
  void Close();
  // Empties the clipboard.
  void Clear();
  bool HasFormat(TClipFormat format) const;
  // Puts block on the clipboard under format.
  void SetAsHandle(TClipFormat format, const TBytes& block);
  // The whole block of format; empty when the clipboard lacks it.
  TBytes GetAsHandle(TClipFormat format) const;
  // Text up to its first zero byte; empty when there is none.
  AnsiString AsText() const;
  void SetAsText(const AnsiString& text);
  // Pictures: a bitmap as CF_BITMAP (an image for other programs).
  void Assign(TPersistent* source) override;
  // The formats on the clipboard.
  std::vector<TClipFormat> Formats() const;

 private:
  const QMimeData* Current() const;
  void Publish();

  int openCount_ = 0;
  bool emptied_ = false;
  std::unique_ptr<QMimeData> pending_;
};

// The process's clipboard object.
TClipboard* Clipboard();
