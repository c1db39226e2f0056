#include <windows.h>
// The Windows headers must come first.
#include <commctrl.h>

#include "app_main.h"
#include "sheet_steps_win32.h"
#include "wizard_app.h"

namespace quillogen {

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
