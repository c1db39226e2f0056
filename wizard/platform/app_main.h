// The window part of the program's main: the back end sets up what its
// toolkit needs before the wizard application runs.
#ifndef QUILLOGEN_PLATFORM_APP_MAIN_H_
#define QUILLOGEN_PLATFORM_APP_MAIN_H_

#include "batch.h"

namespace quillogen {

// Runs the wizard as `window` asks; returns the exit status.
int RunWizardWindow(int argc, char** argv, const WindowOptions& window);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_APP_MAIN_H_
