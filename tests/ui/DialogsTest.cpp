// Message boxes, message dialogs, input boxes and file dialogs through the
// one dialog service, answered by the test service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QPushButton>
#include <QTreeView>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "FakeDialogService.h"
#include "UiTestSupport.h"
#include "platform/core/TempFiles.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"

namespace {

std::vector<int> Results(const TMessageRequest& r) {
  std::vector<int> v;
  for (const auto& b : r.Buttons) v.push_back(b.Result);
  return v;
}

TEST(Dialogs, MessageBoxFlagsChooseButtonsIconAndDefault) {
  struct Case {
    unsigned flags;
    std::vector<int> buttons;
    TDialogIcon icon;
    int defaultIndex;
    int closeResult;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONSTOP, {IDOK}, diError, 0, IDOK},
      {MB_OKCANCEL | MB_ICONINFORMATION, {IDOK, IDCANCEL}, diInformation, 0, IDCANCEL},
      {MB_YESNO | MB_ICONWARNING, {IDYES, IDNO}, diWarning, 0, IDNO},
      {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, {IDYES, IDNO}, diQuestion, 1, IDNO},
      {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, diNone, 0, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, {IDABORT, IDRETRY, IDIGNORE}, diNone, 2, IDCANCEL},
      {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, diNone, 0, IDCANCEL},
  };
  for (const Case& c : cases) {
    TMessageRequest r = MessageBoxRequest("文本", "标题", c.flags);
    EXPECT_EQ(Results(r), c.buttons) << std::hex << c.flags;
    EXPECT_EQ(r.Icon, c.icon) << std::hex << c.flags;
    EXPECT_EQ(r.DefaultIndex, c.defaultIndex) << std::hex << c.flags;
    EXPECT_EQ(r.CloseResult, c.closeResult) << std::hex << c.flags;
  }
  EXPECT_EQ(MessageBoxRequest("", "", MB_YESNO).Buttons[0].Caption, "是(&Y)");
  EXPECT_EQ(MessageBoxRequest("", "", MB_OK).Buttons[0].Caption, "确定");
}

TEST(Dialogs, MessageDlgCaptionsAndButtonOrder) {
  TMessageRequest r = MessageDlgRequest("删除?", mtConfirmation, TMsgDlgButtons{mbNo, mbYes});
  EXPECT_EQ(r.Caption, "确认");
  EXPECT_EQ(Results(r), (std::vector<int>{mrYes, mrNo}));
  EXPECT_EQ(r.DefaultIndex, 0);
  r = MessageDlgRequest("x", mtWarning, TMsgDlgButtons{mbYes, mbNo, mbAll});
  EXPECT_EQ(r.Caption, "警告");
  EXPECT_EQ(Results(r), (std::vector<int>{mrYes, mrNo, mrAll}));
  r = MessageDlgRequest("x", mtError, TMsgDlgButtons{});
  EXPECT_EQ(Results(r), (std::vector<int>{mrOk})) << "a box always has a way out";
}

TEST(Dialogs, AnswersComeFromTheInstalledServiceInOrder) {
  TFakeDialogService fake;
  fake.Answers = {IDNO, IDYES};
  EXPECT_EQ(MessageBox("\r删除选中的用户?", "提示", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(Application->MessageBox("\r删除选中的部门?", "提示", MB_YESNO), IDYES);
  EXPECT_EQ(MessageDlg("继续?", mtConfirmation, mbOKCancel, 0), mrOk) << "no answer queued: first button";
  ASSERT_EQ(fake.Boxes.size(), 3u);
  EXPECT_EQ(fake.Boxes[0].Text, "\r删除选中的用户?");
  EXPECT_EQ(fake.Boxes[1].Caption, "提示");
}

TEST(Dialogs, InstallingAndRemovingTheFakeRestoresThePreviousService) {
  TDialogService* before = &DialogService();
  {
    TFakeDialogService outer;
    {
      TFakeDialogService inner;
      EXPECT_EQ(&DialogService(), &inner);
    }
    EXPECT_EQ(&DialogService(), &outer);
  }
  EXPECT_EQ(&DialogService(), before);
}

TEST(Dialogs, InputBoxGivesTheDefaultWhenCancelled) {
  TFakeDialogService fake;
  EXPECT_EQ(InputBox("输入", "年月:", "200612"), "200612");
  fake.InputAnswers = {"200701"};
  EXPECT_EQ(InputBox("输入", "年月:", "200612"), "200701");
  AnsiString v = "keep";
  EXPECT_FALSE(InputQuery("输入", "x", v));
  EXPECT_EQ(v, "keep");
}

// The system's own input box (no test service installed) names its
// buttons as the message boxes do, and OK hands back the typed text.
TEST(Dialogs, TheSystemInputBoxHasChineseButtons) {
  EnsureUiApp();
  QStringList captions;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (!box) return;
    for (QPushButton* b : box->findChildren<QPushButton*>()) captions << b->text();
    box->setTextValue(QStringLiteral("单位汇总"));
    box->accept();
  });
  const std::unique_ptr<TDialogService> system = CreateQtDialogService();
  AnsiString value;
  EXPECT_TRUE(system->InputQuery("请输入要输出的EXCEL文件名", "文件名(不带后缀名):", value));
  EXPECT_EQ(value, "单位汇总");
  captions.sort();
  EXPECT_EQ(captions, QStringList({ToQString("取消"), ToQString("确定")}));
}

// The system's file dialog opens in the folder a system path names, written
// with '\' and in another letter case than on disk ("BackDb\" for BackDB).
TEST(Dialogs, TheSystemFileDialogOpensInTheFolderTheSystemPathNames) {
  EnsureUiApp();
  std::string pattern = std::string(TempFolder()) + "payroll-dialogs-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string backups = pattern + "/BackDB";
  ASSERT_TRUE(std::filesystem::create_directory(backups));
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shown = dialog->directory().absolutePath();
    dialog->reject();
  });
  const std::unique_ptr<TDialogService> system = CreateQtDialogService();
  TFileRequest request;
  request.Filter = "工资管理系统专用数据库文件(*.udb)|*.udb";
  request.InitialDir = AnsiString(pattern) + "/BackDb\\";
  EXPECT_FALSE(system->OpenFile(request));
  EXPECT_EQ(shown, QString::fromStdString(backups));
  std::filesystem::remove_all(pattern);
}

// The system's save box speaks Chinese on every caption and button, and a
// filter text that already names its pattern shows it once.
TEST(Dialogs, TheSystemSaveBoxIsChineseAndNamesEachPatternOnce) {
  EnsureUiApp();
  const struct {
    const char* filter;
    QStringList shown;
  } cases[] = {
      {"PDF 文件 (*.pdf)|*.pdf", {ToQString("PDF 文件 (*.pdf)")}},
      {"工资管理系统专用数据库文件(*.udb)|*.udb", {ToQString("工资管理系统专用数据库文件(*.udb)")}},
      {"文本|*.txt;*.csv|全部|*.*", {ToQString("文本 (*.txt *.csv)"), ToQString("全部 (*.*)")}},
  };
  const std::unique_ptr<TDialogService> system = CreateQtDialogService();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    QString title;
    QStringList filters, texts;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      title = dialog->windowTitle();
      filters = dialog->nameFilters();
      for (QLabel* l : dialog->findChildren<QLabel*>())
        if (l->isVisible() && !l->text().isEmpty()) texts << l->text();
      for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->isVisible()) texts << b->text();
      for (QHeaderView* h : dialog->findChildren<QHeaderView*>())
        for (int i = 0; h->model() && i < h->model()->columnCount(); ++i)
          texts << h->model()->headerData(i, Qt::Horizontal).toString();
      dialog->reject();
    });
    TFileRequest request;
    request.Filter = c.filter;
    EXPECT_FALSE(system->SaveFile(request));
    EXPECT_EQ(title, ToQString("另存为"));
    EXPECT_EQ(filters, c.shown);
    ASSERT_FALSE(texts.isEmpty());
    // No English word on a label, button or column title.
    const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    for (const QString& t : texts) EXPECT_FALSE(word.match(t).hasMatch()) << t.toStdString();
    EXPECT_TRUE(texts.contains(ToQString("文件名:")));
    EXPECT_TRUE(texts.contains(ToQString("保存类型:")));
  }
}

// The file list of the system's file box writes its dates as a Chinese
// system does ("2026/12/11 10:41"), whatever locale the environment names.
TEST(Dialogs, TheSystemFileBoxWritesFileDatesInChinese) {
  EnsureUiApp();
  std::string folder = std::string(TempFolder()) + "payroll-filedates-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::filesystem::path file = std::filesystem::path(folder) / "gz.udb";
  { std::FILE* f = std::fopen(file.c_str(), "wb"); ASSERT_NE(f, nullptr); std::fclose(f); }
  QString shown, expected;
  int tries = 0;
  QTimer poll;
  poll.setInterval(20);
  // The list fills from another thread: look for the file's row until it is there.
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    if (auto* tree = dialog->findChild<QTreeView*>()) {
      QAbstractItemModel* m = tree->model();
      const QModelIndex root = tree->rootIndex();
      for (int row = 0; m && row < m->rowCount(root); ++row)
        if (m->index(row, 0, root).data().toString() == QStringLiteral("gz.udb"))
          shown = m->index(row, 3, root).data().toString();
    }
    if (!shown.isEmpty() || ++tries > 150) dialog->reject();
  });
  poll.start();
  const std::unique_ptr<TDialogService> system = CreateQtDialogService();
  TFileRequest request;
  request.InitialDir = AnsiString(folder.c_str());
  request.Filter = "工资管理系统专用数据库文件(*.udb)|*.udb";
  EXPECT_FALSE(system->OpenFile(request));
  poll.stop();
  const QDateTime modified = QFileInfo(QString::fromStdString(file.string())).lastModified();
  std::filesystem::remove_all(folder);
  expected = QLocale(QLocale::Chinese, QLocale::China).toString(modified, QLocale::ShortFormat);
  ASSERT_FALSE(shown.isEmpty()) << "the file never appeared in the list";
  EXPECT_EQ(shown.toStdString(), expected.toStdString());
  EXPECT_FALSE(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")).match(shown).hasMatch())
      << shown.toStdString();
}

// The system's message box stands centred on the window in front (here the
// main form) and takes the keyboard: Enter presses its default button.
TEST(Dialogs, TheSystemMessageBoxIsCentredOnTheMainFormAndEnterPressesItsDefault) {
  EnsureUiApp();
  TForm* main = nullptr;
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  main->SetBounds(0, 0, 900, 500);
  main->Show();
  Pump();
  QPoint boxCentre;
  bool hadFocus = false;
  // Looks for the shown box every 20 ms (it is placed and given the keyboard
  // once its loop runs), presses Enter where the keyboard is, and closes it
  // after three seconds whatever happened.
  int tries = 0;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    QWidget* focus = QApplication::focusWidget();
    if (++tries < 150 && !(focus && box->isAncestorOf(focus))) return;
    poll.stop();
    boxCentre = box->frameGeometry().center();
    hadFocus = focus && box->isAncestorOf(focus);
    if (!hadFocus) {
      box->done(0);
      return;
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(focus, &press);
    QApplication::sendEvent(focus, &release);
  });
  poll.start();
  const std::unique_ptr<TDialogService> system = CreateQtDialogService();
  const int result = system->ShowMessageBox(MessageBoxRequest("备份完成!", "工资", MB_OKCANCEL));
  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(hadFocus);
  const QPoint mainCentre = main->Handle()->frameGeometry().center();
  EXPECT_LE((boxCentre - mainCentre).manhattanLength(), 4) << boxCentre.x() << "," << boxCentre.y();
  delete main;
  Pump();
}

TEST(Dialogs, ShowMessageUsesTheApplicationTitle) {
  EnsureUiApp();
  TFakeDialogService fake;
  Application->SetTitle("Velmor工资软件");
  ShowMessage("\r请重新启动本程序...");
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Caption, "Velmor工资软件");
  EXPECT_EQ(Results(fake.Boxes[0]), (std::vector<int>{IDOK}));
}

TEST(Dialogs, FileAndFolderChoicesGoThroughTheService) {
  TFakeDialogService fake;
  TFileRequest r;
  r.Filter = "Report 文件 (*.rbp)|*.rbp";
  r.DefaultExt = "rbp";
  EXPECT_FALSE(DialogService().OpenFile(r)) << "cancelled";
  fake.FileAnswers = {"/tmp/a.rbp", "/tmp/backxls"};
  EXPECT_TRUE(DialogService().SaveFile(r));
  EXPECT_EQ(r.FileName, "/tmp/a.rbp");
  AnsiString dir;
  EXPECT_TRUE(SelectDirectory("选择目录", "", dir));
  EXPECT_EQ(dir, "/tmp/backxls");
  ASSERT_EQ(fake.FileRequests.size(), 2u);
  EXPECT_EQ(fake.FileRequests[0].Filter, "Report 文件 (*.rbp)|*.rbp");
}

}  // namespace
