// The dialog functions over the one dialog service, and the Qt service.
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "platform/core/Files.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"

AnsiString (*DialogDefaultCaption)() = nullptr;

namespace {

TDialogService* gInstalled = nullptr;

AnsiString DefaultCaption() { return DialogDefaultCaption ? DialogDefaultCaption() : AnsiString(); }

// Button captions as the boxes of a Chinese system show them.
AnsiString ButtonCaption(int result) {
  switch (result) {
    case IDOK: return "确定";
    case IDCANCEL: return "取消";
    case IDABORT: return "中止(&A)";
    case IDRETRY: return "重试(&R)";
    case IDIGNORE: return "忽略(&I)";
    case IDYES: return "是(&Y)";
    case IDNO: return "否(&N)";
    case mrAll: return "全部(&A)";
    case mrNoToAll: return "全否(&O)";
    case mrYesToAll: return "全是(&S)";
    default: return "帮助(&H)";
  }
}

// The file boxes' list writes its dates through the system locale, which is
// whatever the environment names (often the C locale: "12/11/26 10:41 AM").
// This view of the list writes the modification column through the default
// locale, Chinese, as the rest of the box.
class TFileDatesInDefaultLocale : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  static constexpr int kModifiedColumn = 3;  // QFileSystemModel's "modified" column

  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.column() == kModifiedColumn)
      if (auto* files = qobject_cast<QFileSystemModel*>(sourceModel())) {
        const QDateTime when = files->lastModified(mapToSource(index));
        if (when.isValid()) return QLocale().toString(when, QLocale::ShortFormat);
      }
    return QIdentityProxyModel::data(index, role);
  }
};

void AddButton(TMessageRequest& r, int result) { r.Buttons.push_back({result, ButtonCaption(result)}); }

// The result of closing the box without pressing a button.
int CloseResultOf(const TMessageRequest& r) {
  for (const TDialogButton& b : r.Buttons)
    if (b.Result == IDCANCEL) return IDCANCEL;
  for (const TDialogButton& b : r.Buttons)
    if (b.Result == IDNO) return IDNO;
  if (r.Buttons.size() == 1) return r.Buttons[0].Result;
  return IDCANCEL;
}

// A system path name ("BackDb\" with '\' and in any letter case) as the
// file system spells it, for the file dialogs' starting folders.
QString FileSystemName(const AnsiString& path) {
  return path.IsEmpty() ? QString() : QString::fromStdString(MapPath(path));
}

QStringList QtNameFilters(const AnsiString& filter) {
  // "Text|*.a;*.b|Other|*.c" -> "Text (*.a *.b)", "Other (*.c)".  A text
  // that already names its pattern ("PDF 文件 (*.pdf)|*.pdf") is taken as
  // it is, so the pattern is not shown twice.
  QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString text = parts[i].trimmed();
    if (text.endsWith(QStringLiteral("(") + patterns + QStringLiteral(")")))
      out << text;
    else
      out << parts[i] + QStringLiteral(" (") + patterns + QStringLiteral(")");
  }
  return out;
}

// The widget a message box or file dialog is centred on: the window in
// front, else the main form (a window manager may leave none active).
QWidget* DialogParent() {
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  if (QWidget* w = QApplication::activeWindow()) return w;
  if (Application && Application->MainForm()) return Application->MainForm()->Handle();
  return nullptr;
}

class TQtDialogService : public TDialogService {
 public:
  int ShowMessageBox(const TMessageRequest& r) override {
    QMessageBox box(DialogParent());
    box.setWindowTitle(ToQString(r.Caption));
    box.setText(ToQString(r.Text));
    switch (r.Icon) {
      case diInformation: box.setIcon(QMessageBox::Information); break;
      case diWarning: box.setIcon(QMessageBox::Warning); break;
      case diError: box.setIcon(QMessageBox::Critical); break;
      case diQuestion: box.setIcon(QMessageBox::Question); break;
      default: break;
    }
    std::vector<QPushButton*> buttons;
    for (const TDialogButton& b : r.Buttons) {
      QString caption = ToQString(b.Caption);
      buttons.push_back(box.addButton(caption, QMessageBox::ActionRole));
    }
    if (r.DefaultIndex >= 0 && r.DefaultIndex < static_cast<int>(buttons.size()))
      box.setDefaultButton(buttons[r.DefaultIndex]);
    for (size_t i = 0; i < buttons.size(); ++i)
      if (r.Buttons[i].Result == r.CloseResult) box.setEscapeButton(buttons[i]);
    // The box takes the keyboard once shown, so that Enter presses its
    // default button and Esc closes it even where no window manager hands
    // the focus to a new window.
    // It stands centred on the window it belongs to (Qt's own placing
    // allows for a frame that may not be there).
    QMetaObject::invokeMethod(
        &box,
        [&box] {
          if (QWidget* owner = box.parentWidget()) {
            const QRect frame = box.frameGeometry();
            box.move(box.pos() + owner->window()->frameGeometry().center() - frame.center());
          }
          box.raise();
          box.activateWindow();
        },
        Qt::QueuedConnection);
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i)
      if (box.clickedButton() == buttons[i]) return r.Buttons[i].Result;
    return r.CloseResult;
  }

  bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) override {
    QInputDialog box(DialogParent());
    box.setWindowTitle(ToQString(caption));
    box.setLabelText(ToQString(prompt));
    box.setInputMode(QInputDialog::TextInput);
    box.setTextValue(ToQString(value));
    // Named as the message boxes name them, not by Qt's own words.
    box.setOkButtonText(ToQString(ButtonCaption(IDOK)));
    box.setCancelButtonText(ToQString(ButtonCaption(IDCANCEL)));
    if (box.exec() != QDialog::Accepted) return false;
    value = FromQString(box.textValue());
    return true;
  }

  bool OpenFile(TFileRequest& r) override { return RunFileDialog(r, QFileDialog::AcceptOpen); }
  bool SaveFile(TFileRequest& r) override { return RunFileDialog(r, QFileDialog::AcceptSave); }

  bool SelectDirectory(const AnsiString& caption, const AnsiString& root,
                       AnsiString& directory) override {
    QString start = FileSystemName(directory.IsEmpty() ? root : directory);
    QString dir = QFileDialog::getExistingDirectory(DialogParent(),
                                                    ToQString(caption), start);
    if (dir.isEmpty()) return false;
    directory = FromQString(dir);
    return true;
  }

 private:
  bool RunFileDialog(TFileRequest& r, QFileDialog::AcceptMode mode) {
    const bool save = mode == QFileDialog::AcceptSave;
    const AnsiString title = !r.Title.IsEmpty() ? r.Title : AnsiString(save ? "另存为" : "打开");
    QFileDialog dlg(DialogParent(), ToQString(title), FileSystemName(r.InitialDir));
    dlg.setAcceptMode(mode);
    dlg.setProxyModel(new TFileDatesInDefaultLocale(&dlg));
    // The captions of the system's own file boxes, whatever translation Qt
    // found for the rest of the dialog.
    dlg.setLabelText(QFileDialog::LookIn, ToQString(save ? "保存在:" : "查找范围:"));
    dlg.setLabelText(QFileDialog::FileName, ToQString("文件名:"));
    dlg.setLabelText(QFileDialog::FileType, ToQString(save ? "保存类型:" : "文件类型:"));
    dlg.setLabelText(QFileDialog::Accept, ToQString(save ? "保存(&S)" : "打开(&O)"));
    dlg.setLabelText(QFileDialog::Reject, ToQString(ButtonCaption(IDCANCEL)));
    QStringList filters = QtNameFilters(r.Filter);
    if (!filters.isEmpty()) {
      dlg.setNameFilters(filters);
      if (r.FilterIndex >= 1 && r.FilterIndex <= filters.size())
        dlg.selectNameFilter(filters[r.FilterIndex - 1]);
    }
    if (!r.DefaultExt.IsEmpty()) dlg.setDefaultSuffix(ToQString(r.DefaultExt));
    if (!r.FileName.IsEmpty()) dlg.selectFile(ToQString(r.FileName));
    dlg.setFileMode(mode == QFileDialog::AcceptOpen && r.FileMustExist ? QFileDialog::ExistingFile
                                                                       : QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !r.OverwritePrompt);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    r.FileName = FromQString(dlg.selectedFiles().front());
    r.FilterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
    if (r.FilterIndex < 1) r.FilterIndex = 1;
    return true;
  }
};

}  // namespace

std::unique_ptr<TDialogService> CreateQtDialogService() {
  return std::make_unique<TQtDialogService>();
}

TDialogService& DialogService() {
  if (gInstalled) return *gInstalled;
  static TQtDialogService qtService;
  return qtService;
}

TDialogService* SetDialogService(TDialogService* service) {
  TDialogService* previous = gInstalled;
  gInstalled = service;
  return previous;
}

TMessageRequest MessageBoxRequest(const AnsiString& text, const AnsiString& caption,
                                  unsigned flags) {
  TMessageRequest r;
  r.Text = text;
  r.Caption = caption;
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND: r.Icon = diError; break;
    case MB_ICONQUESTION: r.Icon = diQuestion; break;
    case MB_ICONEXCLAMATION: r.Icon = diWarning; break;
    case MB_ICONASTERISK: r.Icon = diInformation; break;
    default: r.Icon = diNone; break;
  }
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: AddButton(r, IDOK); AddButton(r, IDCANCEL); break;
    case MB_ABORTRETRYIGNORE: AddButton(r, IDABORT); AddButton(r, IDRETRY); AddButton(r, IDIGNORE); break;
    case MB_YESNOCANCEL: AddButton(r, IDYES); AddButton(r, IDNO); AddButton(r, IDCANCEL); break;
    case MB_YESNO: AddButton(r, IDYES); AddButton(r, IDNO); break;
    case MB_RETRYCANCEL: AddButton(r, IDRETRY); AddButton(r, IDCANCEL); break;
    default: AddButton(r, IDOK); break;
  }
  int def = static_cast<int>((flags & MB_DEFMASK) >> 8);
  r.DefaultIndex = def < static_cast<int>(r.Buttons.size()) ? def : 0;
  r.CloseResult = CloseResultOf(r);
  return r;
}

TMessageRequest MessageDlgRequest(const AnsiString& msg, TMsgDlgType type,
                                  TMsgDlgButtons buttons) {
  TMessageRequest r;
  r.Text = msg;
  switch (type) {
    case mtWarning: r.Caption = "警告"; r.Icon = diWarning; break;
    case mtError: r.Caption = "错误"; r.Icon = diError; break;
    case mtInformation: r.Caption = "信息"; r.Icon = diInformation; break;
    case mtConfirmation: r.Caption = "确认"; r.Icon = diQuestion; break;
    default: r.Caption = DefaultCaption(); break;
  }
  // Buttons in the class library's order of the set.
  static const int kResults[] = {mrYes, mrNo, mrOk, mrCancel, mrAbort, mrRetry,
                                 mrIgnore, mrAll, mrNoToAll, mrYesToAll, 0};
  for (int b = mbYes; b <= mbHelp; ++b)
    if (buttons.Contains(static_cast<TMsgDlgBtn>(b))) AddButton(r, kResults[b]);
  if (r.Buttons.empty()) AddButton(r, mrOk);  // a box without buttons could not be closed
  // The default button is OK or Yes when present, else the first.
  r.DefaultIndex = 0;
  for (size_t i = 0; i < r.Buttons.size(); ++i)
    if (r.Buttons[i].Result == mrOk || r.Buttons[i].Result == mrYes) {
      r.DefaultIndex = static_cast<int>(i);
      break;
    }
  r.CloseResult = CloseResultOf(r);
  return r;
}

int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  return DialogService().ShowMessageBox(MessageBoxRequest(text, caption, flags));
}

int MessageDlg(const AnsiString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  return DialogService().ShowMessageBox(MessageDlgRequest(msg, type, buttons));
}

void ShowMessage(const AnsiString& msg) {
  TMessageRequest r;
  r.Text = msg;
  r.Caption = DefaultCaption();
  AddButton(r, IDOK);
  r.CloseResult = IDOK;
  DialogService().ShowMessageBox(r);
}

bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) {
  return DialogService().InputQuery(caption, prompt, value);
}

AnsiString InputBox(const AnsiString& caption, const AnsiString& prompt,
                    const AnsiString& defaultValue) {
  AnsiString value = defaultValue;
  return InputQuery(caption, prompt, value) ? value : defaultValue;
}

bool SelectDirectory(const AnsiString& caption, const AnsiString& root, AnsiString& directory) {
  return DialogService().SelectDirectory(caption, root, directory);
}
