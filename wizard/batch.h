// The command-line mode: writes the same form as the window's Finish from
// options, for scripts and servers without a display. Needs no Qt at all.
#ifndef QUILLOGEN_BATCH_H_
#define QUILLOGEN_BATCH_H_

#include <ostream>
#include <string>
#include <vector>

namespace quillogen {

// Exit statuses of the batch mode.
constexpr int kExitOk = 0;
constexpr int kExitUnwritable = 1;  // the output file cannot be written
constexpr int kExitRefused = 2;     // a refused entry or a malformed command line

// The option list printed by --help.
std::string UsageText();

// True when the command line starts with --help (or -h), which needs no
// display either; and when it asks for the batch mode.
bool WantsHelp(const std::vector<std::string>& args);
bool WantsBatch(const std::vector<std::string>& args);

// Runs the batch mode over the arguments after the program name. Entries are
// checked in page order and the first refused one is reported on `err`.
int RunBatch(const std::vector<std::string>& args, std::ostream& err);

}  // namespace quillogen

#endif  // QUILLOGEN_BATCH_H_
