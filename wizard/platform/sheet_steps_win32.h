// Scripted runs of the Win32 sheet: the screenshot tour, and the test hook
// by which a test walks the pages of the real program under wine.
//
// A script has one step a line, run one at a time from a timer while the
// sheet (or a dialog over it) runs its own message loop:
//   type ID TEXT    sets the text of control ID on the current page
//   click ID        clicks button or check box ID as the mouse would
//   next, back, finish, cancel, help
//                   presses the sheet's button (posted, as a click is)
//   save PATH       answers the Save As dialog with PATH, once it is open
//   cancel-save     cancels the Save As dialog, once it is open
//   state ID        writes control ID's state to the transcript
//   shot PATH       saves a picture of the sheet as a BMP file
// Blank lines and lines that start with "#" are skipped.
//
// With QUILLOGEN_TEST_STEPS naming a script, the program runs it and writes
// a transcript to the file QUILLOGEN_TEST_TRANSCRIPT names: every step as
// it runs, and what the sheet did ("activate 2", "flash 1000", "closed
// finish"), and in place of the shell, the editor and the warning box the
// lines "open PATH", "edit PATH" and "warning TEXT", so that nothing is
// started and no box waits for a person.
#ifndef QUILLOGEN_PLATFORM_SHEET_STEPS_WIN32_H_
#define QUILLOGEN_PLATFORM_SHEET_STEPS_WIN32_H_

#include <functional>
#include <string>
#include <vector>

namespace quillogen {

struct SheetStep {
  std::string line;  // as written, for the transcript
  std::string verb;
  int id = 0;
  std::string text;
};

// Throws std::runtime_error naming the first line it cannot read.
std::vector<SheetStep> ParseSheetSteps(const std::string& script);

// Runs `steps` on the next sheet that starts, writing each step and event
// to `transcript` when it is set.
void RunSheetSteps(std::vector<SheetStep> steps, std::function<void(const std::string&)> transcript);

// The number of pictures saved by "shot" steps so far.
int SheetShotsSaved();

// Starts the test hook when QUILLOGEN_TEST_STEPS is set.
void StartTestStepsFromEnvironment();

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_SHEET_STEPS_WIN32_H_
