#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include "desktop.h"
#include "sheet_qt.h"

namespace quillogen {
namespace {

QString Decoded(const std::string& path) { return QFile::decodeName(path.c_str()); }

QUrl LocalFileUrl(const std::string& path) {
  return QUrl::fromLocalFile(QDir::current().absoluteFilePath(Decoded(path)));
}

void OpenDocument(const std::string& path) { QDesktopServices::openUrl(LocalFileUrl(path)); }

void EditTextFile(const std::string& path) {
#ifdef Q_OS_WIN
  QProcess::startDetached(QStringLiteral("notepad.exe"), {Decoded(path)});
#else
  // Desktops pick the handler by content type; a template is plain text, so
  // it opens in the text editor.
  QDesktopServices::openUrl(LocalFileUrl(path));
#endif
}

// One filter, no initial name, ".htm" added to a name typed without an
// extension, and a prompt before an existing file is replaced.
std::string ChooseSaveFile(WindowHandle owner) {
  QFileDialog dialog(WidgetOf(owner), QStringLiteral("Save As"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QStringLiteral("HTML Documents (*.htm)"));
  dialog.setDefaultSuffix(QStringLiteral("htm"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setSizeGripEnabled(true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

// The documentation folder lies where the installation put it, relative to
// the program's own folder.
SearchFolders SearchFoldersNow() {
  const QString program = QCoreApplication::applicationDirPath();
  const QString docs = QDir::cleanPath(program + QStringLiteral("/" QUILLOGEN_DOC_DIR_FROM_BIN));
  return {QFile::encodeName(QDir::currentPath()).toStdString(), QFile::encodeName(program).toStdString(),
          QFile::encodeName(docs).toStdString()};
}

void Pause(int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }

// Titled like the window it belongs to.
void ShowWarning(WindowHandle owner_handle, const std::string& text) {
  QWidget* owner = WidgetOf(owner_handle);
  QMessageBox::warning(owner, owner != nullptr ? owner->window()->windowTitle() : QString(),
                       QString::fromLocal8Bit(text.c_str()));
}

}  // namespace

DesktopServices RealDesktop() {
  return {OpenDocument, EditTextFile, ChooseSaveFile, Pause, ShowWarning, SearchFoldersNow};
}

DesktopServices& Desktop() {
  static DesktopServices services = RealDesktop();
  return services;
}

}  // namespace quillogen
