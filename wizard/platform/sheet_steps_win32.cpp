#include "sheet_steps_win32.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "desktop.h"
#include "sheet_win32.h"

namespace quillogen {
namespace {

// How often a step is tried. Steps wait for nothing but each other: a
// posted button press is handled before the next timer message arrives.
constexpr UINT kStepMilliseconds = 20;

// Control ids of the common file dialogs: the file name (combo box in the
// explorer style, edit box in the old one).
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

struct Runner {
  std::vector<SheetStep> steps;
  std::size_t next = 0;
  std::function<void(const std::string&)> transcript;
  PropertySheet::Window* sheet = nullptr;
  int shots = 0;
  bool busy = false;
};

Runner& TheRunner() {
  static Runner runner;
  return runner;
}

void Write(const std::string& line) {
  if (TheRunner().transcript) TheRunner().transcript(line);
}

bool NeedsId(const std::string& verb) { return verb == "type" || verb == "click" || verb == "state"; }

bool NeedsText(const std::string& verb) { return verb == "save" || verb == "shot"; }

bool TakesNothing(const std::string& verb) {
  for (const char* known : {"next", "back", "finish", "cancel", "help", "cancel-save"})
    if (verb == known) return true;
  return false;
}

// The dialog of this thread that is neither the sheet nor one of its pages.
HWND OtherDialog(HWND sheet) {
  struct Search {
    HWND sheet;
    HWND found;
  } search{sheet, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (window == s.sheet || !IsWindowVisible(window) || lstrcmpA(name, "#32770") != 0) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string ControlState(HWND page, int id) {
  HWND control = GetDlgItem(page, id);
  if (control == nullptr) return std::to_string(id) + " missing";
  char name[16] = {};
  GetClassNameA(control, name, sizeof name);
  std::string state = std::to_string(id);
  if (lstrcmpiA(name, "Button") == 0)
    state += IsDlgButtonChecked(page, id) == BST_CHECKED ? " checked" : " unchecked";
  state += IsWindowEnabled(control) ? " enabled" : " disabled";
  if (lstrcmpiA(name, "Button") != 0) {
    if ((GetWindowLongA(control, GWL_STYLE) & ES_READONLY) != 0 && lstrcmpiA(name, "Edit") == 0)
      state += " read-only";
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    state += " \"" + text + "\"";
  }
  return state;
}

// A bottom-up 24-bit BMP of the window as the screen shows it, frame and all.
bool SaveWindowPicture(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  GdiFlush();
  RECT bounds;
  GetWindowRect(window, &bounds);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0) return false;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ before = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
  GdiFlush();

  const DWORD row = static_cast<DWORD>((width * 3 + 3) & ~3);
  const DWORD image_size = row * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + image_size;
  info.bmiHeader.biSizeImage = image_size;
  bool saved = false;
  if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
    saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
            std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
            std::fwrite(bits, 1, image_size, out) == image_size;
    saved = std::fclose(out) == 0 && saved;
  }
  SelectObject(memory, before);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

void Press(HWND sheet, int button) { PostMessageA(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0); }

// Runs one step; false when it must wait, to be tried again.
bool Execute(const SheetStep& step, Runner& runner) {
  HWND sheet = runner.sheet->Hwnd();
  DialogPage* page = runner.sheet->ActiveDialogPage();
  HWND page_window = page != nullptr ? page->Hwnd() : nullptr;
  if (step.verb == "save" || step.verb == "cancel-save") {
    HWND dialog = OtherDialog(sheet);
    if (dialog == nullptr) return false;
    Write(step.line);
    if (step.verb == "save") {
      HWND name = GetDlgItem(dialog, kFileNameCombo);
      if (name == nullptr) name = GetDlgItem(dialog, kFileNameEdit);
      SetWindowTextA(name, step.text.c_str());
    }
    const int button = step.verb == "save" ? IDOK : IDCANCEL;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    return true;
  }
  if (page_window == nullptr) return false;
  if (step.verb == "shot") {
    if (SaveWindowPicture(sheet, step.text)) ++runner.shots;
    return true;
  }
  Write(step.line);
  if (step.verb == "type") {
    SetDlgItemTextA(page_window, step.id, step.text.c_str());
  } else if (step.verb == "click") {
    SendMessageA(GetDlgItem(page_window, step.id), BM_CLICK, 0, 0);
  } else if (step.verb == "state") {
    Write(ControlState(page_window, step.id));
  } else if (step.verb == "next") {
    Press(sheet, PSBTN_NEXT);
  } else if (step.verb == "back") {
    Press(sheet, PSBTN_BACK);
  } else if (step.verb == "finish") {
    Press(sheet, PSBTN_FINISH);
  } else if (step.verb == "cancel") {
    Press(sheet, PSBTN_CANCEL);
  } else if (step.verb == "help") {
    Press(sheet, PSBTN_HELP);
  }
  return true;
}

// Runs in whichever message loop is running: the sheet's or a dialog's.
void CALLBACK Tick(HWND window, UINT message, UINT_PTR timer, DWORD time) {
  (void)window;
  (void)message;
  (void)time;
  Runner& runner = TheRunner();
  if (runner.busy || runner.sheet == nullptr || runner.sheet->Hwnd() == nullptr) return;
  if (runner.next >= runner.steps.size()) {
    KillTimer(nullptr, timer);
    return;
  }
  runner.busy = true;
  if (Execute(runner.steps[runner.next], runner)) ++runner.next;
  runner.busy = false;
}

}  // namespace

std::vector<SheetStep> ParseSheetSteps(const std::string& script) {
  std::vector<SheetStep> steps;
  std::istringstream lines(script);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    SheetStep step;
    step.line = line;
    std::istringstream words(line);
    words >> step.verb;
    bool ok = true;
    if (NeedsId(step.verb)) ok = static_cast<bool>(words >> step.id);
    if (NeedsId(step.verb) || NeedsText(step.verb)) {
      words >> std::ws;
      std::getline(words, step.text);
      if (NeedsText(step.verb) && step.text.empty()) ok = false;
    } else if (!TakesNothing(step.verb)) {
      ok = false;
    }
    if (!ok) throw std::runtime_error("step line " + std::to_string(number) + ": cannot read " + line);
    steps.push_back(std::move(step));
  }
  return steps;
}

void RunSheetSteps(std::vector<SheetStep> steps, std::function<void(const std::string&)> transcript) {
  Runner& runner = TheRunner();
  runner.steps = std::move(steps);
  runner.next = 0;
  runner.transcript = std::move(transcript);
  SetTrace(runner.transcript);
  SetSheetStartHook([](PropertySheet::Window& sheet) {
    TheRunner().sheet = &sheet;
    SetTimer(nullptr, 0, kStepMilliseconds, Tick);
  });
}

int SheetShotsSaved() { return TheRunner().shots; }

void StartTestStepsFromEnvironment() {
  const char* script_path = std::getenv("QUILLOGEN_TEST_STEPS");
  if (script_path == nullptr || *script_path == '\0') return;
  std::ifstream script(script_path, std::ios::binary);
  std::ostringstream text;
  text << script.rdbuf();
  const char* transcript_path = std::getenv("QUILLOGEN_TEST_TRANSCRIPT");
  std::FILE* transcript = transcript_path != nullptr ? std::fopen(transcript_path, "wb") : nullptr;
  auto write = [transcript](const std::string& line) {
    if (transcript == nullptr) return;
    std::fputs((line + "\n").c_str(), transcript);
    std::fflush(transcript);
  };
  Desktop().open_document = [write](const std::string& path) { write("open " + path); };
  Desktop().edit_text_file = [write](const std::string& path) { write("edit " + path); };
  Desktop().show_warning = [write](WindowHandle, const std::string& warning) { write("warning " + warning); };
  RunSheetSteps(ParseSheetSteps(text.str()), write);
}

}  // namespace quillogen
