#include <windows.h>
// The Windows headers must come first.
#include <commctrl.h>
#include <shellapi.h>

#include "app_main.h"
#include "sheet_steps_win32.h"
#include "wizard_app.h"

namespace quillogen {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? static_cast<std::size_t>(bytes) : 1, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);  // the terminating NUL
    arguments.push_back(std::move(utf8));
  }
  LocalFree(wide);
  return arguments;
}

int RunWizardWindow(int argc, char** argv, const WindowOptions& window) {
  (void)argc;
  (void)argv;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  StartTestStepsFromEnvironment();
  WizardApp wizard(window.screenshot_dir);
  return wizard.Run();
}

}  // namespace quillogen
