#include <QApplication>

#include "app_main.h"
#include "resources.h"
#include "wizard_app.h"

namespace quillogen {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

int RunWizardWindow(int argc, char** argv, const WindowOptions& window) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillogen"));
  QApplication::setApplicationVersion(QString::fromUtf8(Resources::Get().Version("ProductVersion").c_str()));
  WizardApp wizard(window.screenshot_dir);
  return wizard.Run();
}

}  // namespace quillogen
