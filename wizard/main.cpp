// quillogen: the form wizard. Without options it opens the wizard window;
// --batch writes the form from the command line without a display, and
// --help, --version and a wrong command line need no display either.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "batch.h"
#include "platform/resources.h"
#include "wizard_app.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

QString ScreenshotDir(const QStringList& args) {
  const qsizetype at = args.indexOf(QStringLiteral("--screenshot-dir"));
  return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
}

}  // namespace

int main(int argc, char** argv) {
  // Only a command line that is right for the window reaches the toolkit,
  // which aborts where there is no display.
  const int status = quillogen::RunCommandLine(Arguments(argc, argv), std::cout, std::cerr);
  if (status != quillogen::kOpenWindow) return status;

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillogen"));
  QApplication::setApplicationVersion(quillogen::Resources::Get().Version("ProductVersion"));
  quillogen::WizardApp wizard(ScreenshotDir(QApplication::arguments()));
  return wizard.Run();
}
