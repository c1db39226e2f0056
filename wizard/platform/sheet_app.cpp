#include "sheet_app.h"

namespace quillogen {
namespace {
SheetApp* current_app = nullptr;
}  // namespace

SheetApp::SheetApp() { current_app = this; }

SheetApp::~SheetApp() {
  if (current_app == this) current_app = nullptr;
}

SheetApp* SheetApp::Current() { return current_app; }

int SheetApp::Run() {
  if (!InitInstance()) return 0;
  return RunEventLoop();
}

bool SheetApp::OnCommand(int id) {
  if (id != kIdHelp) return false;
  WinHelp(0, kHelpContents);
  return true;
}

}  // namespace quillogen
