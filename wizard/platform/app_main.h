// The window part of the program's main: the back end sets up what its
// toolkit needs before the wizard application runs.
#ifndef QUILLOGEN_PLATFORM_APP_MAIN_H_
#define QUILLOGEN_PLATFORM_APP_MAIN_H_

#include <string>
#include <vector>

#include "batch.h"

namespace quillogen {

// The arguments after the program's name, in UTF-8 as the batch mode reads
// them: on Windows from the wide command line, whose ANSI copy in argv has
// only the code page's characters.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Runs the wizard as `window` asks; returns the exit status.
int RunWizardWindow(int argc, char** argv, const WindowOptions& window);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_APP_MAIN_H_
