// quillogen: the form wizard. Without options it opens the wizard window;
// --batch writes the form from the command line without a display, and
// --help, --version and a wrong command line need no display either.
#include <QApplication>
#include <QFile>
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

}  // namespace

int main(int argc, char** argv) {
  // Only a command line that is right for the window reaches the toolkit,
  // which aborts where there is no display.
  quillogen::WindowOptions window;
  const int status = quillogen::RunCommandLine(Arguments(argc, argv), std::cout, std::cerr, window);
  if (status != quillogen::kOpenWindow) return status;

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillogen"));
  QApplication::setApplicationVersion(quillogen::Resources::Get().Version("ProductVersion"));
  quillogen::WizardApp wizard(QFile::decodeName(window.screenshot_dir.c_str()));
  return wizard.Run();
}
