// Everything the wizard asks of the desktop, behind one replaceable seam:
// opening a document with its default handler, opening a text file in the
// text editor, the Save As dialog, the blocking pause of the field flash,
// the warning box and the folders where the wizard's own files may lie.
// Tests replace the members so that no desktop program is ever started.
//
// Paths are 8-bit texts as the system names files (UTF-8 on Linux, the ANSI
// code page on Windows); windows are opaque handles of the back end.
#ifndef QUILLOGEN_PLATFORM_DESKTOP_H_
#define QUILLOGEN_PLATFORM_DESKTOP_H_

#include <functional>
#include <string>

#include "shipped_files.h"

namespace quillogen {

// A window of the back end, the owner of the desktop's dialogs: a widget of
// the toolkit or a window handle of the system, never looked into here.
struct NativeWindow;
using WindowHandle = NativeWindow*;

struct DesktopServices {
  // Opens a file with the desktop's default handler; a relative path is taken
  // from the current folder. Failures are ignored.
  std::function<void(const std::string& path)> open_document;
  // Opens a file in the desktop's text editor. Failures are ignored.
  std::function<void(const std::string& path)> edit_text_file;
  // Runs the Save As dialog for an HTML form, owned by `owner`; returns the
  // chosen full path, or an empty text when the dialog was cancelled.
  std::function<std::string(WindowHandle owner)> choose_save_file;
  // Blocks the user-interface thread for `milliseconds`.
  std::function<void(int milliseconds)> pause;
  // Tells the user, in a warning box owned by `owner`, what could not be
  // done; returns when the box is closed.
  std::function<void(WindowHandle owner, const std::string& text)> show_warning;
  // The current folder, the program's folder and the installed
  // documentation folder, as they are when asked.
  std::function<SearchFolders()> search_folders;
};

// The process-wide services, set to the real desktop at start.
DesktopServices& Desktop();

// The real implementations, for tests that restore them.
DesktopServices RealDesktop();

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_DESKTOP_H_
