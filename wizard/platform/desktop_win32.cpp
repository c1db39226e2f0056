// The desktop on Win32: the common Save As dialog, the shell, WinExec and
// the message box.
#include <windows.h>
// The Windows headers must come first.
#include <commdlg.h>
#include <shellapi.h>

#include "desktop.h"

namespace quillogen {
namespace {

void OpenDocument(const std::string& path) {
  ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void EditTextFile(const std::string& path) {
  const std::string command = "notepad.exe \"" + path + "\"";
  WinExec(command.c_str(), SW_SHOWNORMAL);
}

// One filter, no initial name, ".htm" added to a name typed without an
// extension, and a prompt before an existing file is replaced.
std::string ChooseSaveFile(WindowHandle owner) {
  char file[MAX_PATH] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = reinterpret_cast<HWND>(owner);
  dialog.lpstrFilter = "HTML Documents (*.htm)\0*.htm\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrDefExt = "htm";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
  if (!GetSaveFileNameA(&dialog)) return std::string();
  return file;
}

std::string CurrentFolder() {
  char folder[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string();
}

std::string ProgramFolder() {
  char program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return std::string();
  const std::string path(program, length);
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The documentation folder lies where the installation put it, relative to
// the program's own folder.
SearchFolders SearchFoldersNow() {
  const std::string program = ProgramFolder();
  return {CurrentFolder(), program,
          program.empty() ? std::string() : program + "\\" QUILLOGEN_DOC_DIR_FROM_BIN};
}

void Pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

// Titled like the window it belongs to.
void ShowWarning(WindowHandle owner_handle, const std::string& text) {
  HWND owner = reinterpret_cast<HWND>(owner_handle);
  char title[256] = {};
  if (owner != nullptr) GetWindowTextA(GetAncestor(owner, GA_ROOT), title, sizeof title);
  MessageBoxA(owner, text.c_str(), title, MB_OK | MB_ICONWARNING);
}

}  // namespace

DesktopServices RealDesktop() {
  return {OpenDocument, EditTextFile, ChooseSaveFile, Pause, ShowWarning, SearchFoldersNow};
}

DesktopServices& Desktop() {
  static DesktopServices services = RealDesktop();
  return services;
}

}  // namespace quillogen
