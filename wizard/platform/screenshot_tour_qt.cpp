#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>

#include "page_controls.h"
#include "screenshot_tour.h"
#include "sheet_qt.h"

namespace quillogen {
namespace {

// Lets the window system map and paint the sheet and run posted requests.
void Settle() {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void Type(PageWidget& page, int id, const char* text) {
  if (auto* edit = page.ControlAs<QLineEdit>(id)) edit->setText(QString::fromLatin1(text));
}

// Entries that pass every page's check.
void FillSamples(PageWidget& page) {
  Type(page, control::kProgramUrl, "/scripts/quillo/quillopro.exe");
  Type(page, control::kRecipients, "webmaster@example.com");
  if (page.Control(control::kSuccessDocument) != nullptr) {
    Type(page, control::kSuccessDocument, "success.htm");
    Type(page, control::kErrorDocument, "error.htm");
  }
}

}  // namespace

int TakeScreenshots(PropertySheet& property_sheet, const std::string& dir_name) {
  const QString dir = QFile::decodeName(dir_name.c_str());
  PropertySheet::Window& sheet = property_sheet.BackEnd();
  QDir().mkpath(dir);
  sheet.show();
  int saved = 0;
  for (int page_number = 1; sheet.ActivePageWidget() != nullptr; ++page_number) {
    Settle();
    const QString file = QDir(dir).filePath(QStringLiteral("page-%1.png").arg(page_number));
    if (sheet.grab().save(file)) ++saved;
    if (sheet.ActivePageWidget()->isFinalPage()) break;
    FillSamples(*sheet.ActivePageWidget());
    const int before = sheet.currentId();
    sheet.next();
    if (sheet.currentId() == before) break;
  }
  sheet.hide();
  return saved;
}

}  // namespace quillogen
