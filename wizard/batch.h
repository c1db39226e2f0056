// The command line: the batch mode, which writes the same form as the
// window's Finish from options, for scripts and servers without a display,
// and everything else that needs no window (the help, the version, and
// command lines that are wrong). Needs no Qt at all, so that no command line
// but a right one for the window ever reaches the toolkit, which aborts
// without a display.
#ifndef QUILLOGEN_BATCH_H_
#define QUILLOGEN_BATCH_H_

#include <ostream>
#include <string>
#include <vector>

namespace quillogen {

// Exit statuses of the command line.
constexpr int kExitOk = 0;
constexpr int kExitUnwritable = 1;  // the form or the settings file cannot be written
constexpr int kExitRefused = 2;     // a refused entry or a malformed command line

// Not an exit status: the command line asks for the window.
constexpr int kOpenWindow = -1;

// The option list printed by --help.
std::string UsageText();

// The line printed by --version, from the version table.
std::string VersionText();

// What the command line asks of the window.
struct WindowOptions {
  std::string screenshot_dir;  // empty: wait for the user
};

// Handles the arguments after the program name. --help (or -h) and
// --version, wherever they stand as options, print to `out`; --batch writes
// the form, and with --settings the site settings file first; a wrong
// command line and refused entries are reported on `err`, every fault at
// once, entries in page order.
// Returns the exit status, or kOpenWindow when the arguments are right for
// the window (none, or --screenshot-dir DIR) and sets `window` from them.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   WindowOptions& window);

}  // namespace quillogen

#endif  // QUILLOGEN_BATCH_H_
