#include "screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>

#include "page_controls.h"
#include "platform/property_page.h"
#include "platform/property_sheet.h"

namespace quillogen {
namespace {

// Lets the window system map and paint the sheet and run posted requests.
void Settle() {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void Type(PropertyPage& page, int id, const char* text) {
  if (auto* edit = page.ControlAs<QLineEdit>(id)) edit->setText(QString::fromLatin1(text));
}

// Entries that pass every page's check.
void FillSamples(PropertyPage& page) {
  Type(page, control::kProgramUrl, "/scripts/quillo/quillopro.exe");
  Type(page, control::kRecipients, "webmaster@example.com");
  if (page.Control(control::kSuccessDocument) != nullptr) {
    Type(page, control::kSuccessDocument, "success.htm");
    Type(page, control::kErrorDocument, "error.htm");
  }
}

}  // namespace

int TakeScreenshots(PropertySheet& sheet, const QString& dir) {
  QDir().mkpath(dir);
  sheet.show();
  int saved = 0;
  for (int page_number = 1; sheet.ActivePage() != nullptr; ++page_number) {
    Settle();
    const QString file = QDir(dir).filePath(QStringLiteral("page-%1.png").arg(page_number));
    if (sheet.grab().save(file)) ++saved;
    if (sheet.ActivePage()->isFinalPage()) break;
    FillSamples(*sheet.ActivePage());
    const int before = sheet.currentId();
    sheet.next();
    if (sheet.currentId() == before) break;
  }
  sheet.hide();
  return saved;
}

}  // namespace quillogen
