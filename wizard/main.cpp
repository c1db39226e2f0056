// quillogen: the form wizard. Without options it opens the wizard window;
// --batch writes the form from the command line without a display, and
// --help, --version and a wrong command line need no display either.
#include <iostream>
#include <string>
#include <vector>

#include "batch.h"
#include "platform/app_main.h"

int main(int argc, char** argv) {
  // Only a command line that is right for the window reaches the back end,
  // whose toolkit aborts where there is no display.
  quillogen::WindowOptions window;
  const int status =
      quillogen::RunCommandLine(quillogen::CommandLineArguments(argc, argv), std::cout, std::cerr, window);
  if (status != quillogen::kOpenWindow) return status;
  return quillogen::RunWizardWindow(argc, argv, window);
}
