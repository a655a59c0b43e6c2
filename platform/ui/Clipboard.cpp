// Clipboard: TClipboard over QClipboard (formats and sessions in
// Clipboard.h).
#include "platform/ui/Clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <map>

#include "platform/core/CodePage.h"
#include "platform/ui/BmpFormat.h"
#include "platform/ui/QtText.h"

namespace {

constexpr TClipFormat kFirstRegistered = 0xC000;

std::vector<AnsiString>& Registered() {
  static std::vector<AnsiString> names;
  return names;
}

QString PrivateMime(TClipFormat format) {
  AnsiString name = format == CF_TEXT ? AnsiString("CF_TEXT")
                  : format == CF_BITMAP ? AnsiString("CF_BITMAP")
                                        : ClipboardFormatName(format);
  // Names are ASCII in practice; anything else is hex-encoded to keep the
  // MIME type valid.
  QString safe;
  for (unsigned char ch : name) {
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_')
      safe += QChar(ch);
    else
      safe += QString::asprintf("%%%02X", ch);
  }
  return QStringLiteral("application/x-payroll-") + safe;
}

bool SameName(const AnsiString& a, const AnsiString& b) { return a.UpperCase() == b.UpperCase(); }

bool IsCsv(TClipFormat f) { return SameName(ClipboardFormatName(f), "Csv"); }
bool IsRtf(TClipFormat f) { return SameName(ClipboardFormatName(f), "Rich Text Format"); }

// Text bytes up to the first zero byte.
AnsiString UpToZero(const TBytes& b) {
  auto end = std::find(b.begin(), b.end(), 0);
  return AnsiString(b.begin(), end);
}

// Text from other programs ends its lines with LF alone; the system's
// text format ends them with CR LF, which the readers of CF_TEXT expect.
AnsiString WithCrLf(const AnsiString& s) {
  AnsiString out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
    out += s[i];
  }
  return out;
}

TBytes WithZero(const AnsiString& s) {
  TBytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

QClipboard* SystemClipboard() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    throw EOSError("Cannot open clipboard: no display");
  return QGuiApplication::clipboard();
}

std::unique_ptr<TClipboard> gClipboard;

}  // namespace

TClipFormat RegisterClipboardFormat(const AnsiString& name) {
  if (name.empty()) throw EConvertError("Invalid clipboard format name");
  auto& names = Registered();
  for (size_t i = 0; i < names.size(); ++i)
    if (SameName(names[i], name)) return kFirstRegistered + static_cast<TClipFormat>(i);
  names.push_back(name);
  return kFirstRegistered + static_cast<TClipFormat>(names.size() - 1);
}

AnsiString ClipboardFormatName(TClipFormat format) {
  auto& names = Registered();
  if (format < kFirstRegistered || format - kFirstRegistered >= names.size()) return AnsiString();
  return names[format - kFirstRegistered];
}

TClipboard::TClipboard() = default;
TClipboard::~TClipboard() = default;

void TClipboard::Open() {
  if (openCount_++ == 0) emptied_ = false;
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0) Publish();
}

void TClipboard::Publish() {
  if (!emptied_) return;
  emptied_ = false;
  SystemClipboard()->setMimeData(pending_.release());
}

void TClipboard::Clear() {
  Open();
  pending_ = std::make_unique<QMimeData>();
  emptied_ = true;
  Close();
}

const QMimeData* TClipboard::Current() const {
  if (pending_ && emptied_) return pending_.get();
  return SystemClipboard()->mimeData();
}

void TClipboard::SetAsHandle(TClipFormat format, const TBytes& block) {
  Open();
  if (!emptied_) {
    pending_ = std::make_unique<QMimeData>();
    emptied_ = true;
  }
  QByteArray raw(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size()));
  pending_->setData(PrivateMime(format), raw);
  if (format == CF_TEXT) {
    pending_->setText(QString::fromStdString(AnsiToUtf8(UpToZero(block))));
  } else if (IsCsv(format)) {
    pending_->setData("text/csv", QByteArray::fromStdString(AnsiToUtf8(UpToZero(block))));
  } else if (IsRtf(format)) {
    QByteArray rtf = QByteArray::fromStdString(UpToZero(block));
    pending_->setData("text/rtf", rtf);
    pending_->setData("application/rtf", rtf);
  } else if (format == CF_BITMAP) {
    try {
      pending_->setImageData(DecodeBmp(block.data(), block.size()));
    } catch (const EInvalidGraphic&) {
      // Not a bitmap after all: other programs get nothing for it.
    }
  }
  Close();
}

bool TClipboard::HasFormat(TClipFormat format) const {
  const QMimeData* m = Current();
  if (!m) return false;
  if (m->hasFormat(PrivateMime(format))) return true;
  if (format == CF_TEXT || format == CF_UNICODETEXT) return m->hasText();
  if (format == CF_BITMAP) return m->hasImage();
  if (IsCsv(format)) return m->hasFormat("text/csv");
  if (IsRtf(format)) return m->hasFormat("text/rtf") || m->hasFormat("application/rtf");
  return false;
}

TBytes TClipboard::GetAsHandle(TClipFormat format) const {
  const QMimeData* m = Current();
  if (!m) return {};
  if (m->hasFormat(PrivateMime(format))) {
    QByteArray raw = m->data(PrivateMime(format));
    return TBytes(raw.begin(), raw.end());
  }
  if ((format == CF_TEXT || format == CF_UNICODETEXT) && m->hasText())
    return WithZero(WithCrLf(Utf8ToAnsi(m->text().toStdString())));
  if (IsCsv(format) && m->hasFormat("text/csv"))
    return WithZero(Utf8ToAnsi(m->data("text/csv").toStdString()));
  if (IsRtf(format)) {
    QByteArray rtf = m->hasFormat("text/rtf") ? m->data("text/rtf") : m->data("application/rtf");
    if (!rtf.isEmpty()) {
      TBytes b(rtf.begin(), rtf.end());
      b.push_back(0);
      return b;
    }
  }
  if (format == CF_BITMAP && m->hasImage()) return EncodeBmp(qvariant_cast<QImage>(m->imageData()), 24);
  return {};
}

AnsiString TClipboard::AsText() const { return UpToZero(GetAsHandle(CF_TEXT)); }

void TClipboard::SetAsText(const AnsiString& text) { SetAsHandle(CF_TEXT, WithZero(text)); }

void TClipboard::Assign(TPersistent* source) {
  if (auto* g = dynamic_cast<TGraphic*>(source)) {
    SetAsHandle(CF_BITMAP, EncodeBmp(g->ToImage(), 24));
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(source)) {
    if (p->Graphic()) Assign(p->Graphic());
    return;
  }
  TPersistent::Assign(source);
}

std::vector<TClipFormat> TClipboard::Formats() const {
  std::vector<TClipFormat> out;
  if (HasFormat(CF_TEXT)) out.push_back(CF_TEXT);
  if (HasFormat(CF_BITMAP)) out.push_back(CF_BITMAP);
  for (size_t i = 0; i < Registered().size(); ++i) {
    TClipFormat f = kFirstRegistered + static_cast<TClipFormat>(i);
    if (HasFormat(f)) out.push_back(f);
  }
  return out;
}

TClipboard* Clipboard() {
  if (!gClipboard) gClipboard = std::make_unique<TClipboard>();
  return gClipboard.get();
}
