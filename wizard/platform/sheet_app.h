// The application object: the stand-in for the platform's application
// class. A derived class runs its whole user interface in InitInstance and
// receives every help request through its command map.
#ifndef QUILLOGEN_PLATFORM_SHEET_APP_H_
#define QUILLOGEN_PLATFORM_SHEET_APP_H_

namespace quillogen {

class PropertySheet;

// The standard Help command, however it is raised.
constexpr int kIdHelp = 57670;
constexpr unsigned kHelpContents = 0x3;

class SheetApp {
 public:
  SheetApp();
  virtual ~SheetApp();
  SheetApp(const SheetApp&) = delete;
  SheetApp& operator=(const SheetApp&) = delete;

  // The one application object of the process, or null.
  static SheetApp* Current();

  // Runs InitInstance; when it returns false the program ends without an
  // event loop of its own. Returns the exit status.
  int Run();

  virtual bool InitInstance() = 0;
  // Shows help; the base shows none.
  virtual void WinHelp(unsigned long data, unsigned command) {
    (void)data;
    (void)command;
  }
  // The command map: returns true when the command was handled.
  virtual bool OnCommand(int id);

  void SetMainWindow(PropertySheet* window) { main_window_ = window; }
  PropertySheet* MainWindow() const { return main_window_; }

 private:
  PropertySheet* main_window_ = nullptr;
};

// The back end's event loop, for an application that keeps running after
// InitInstance; returns the exit status.
int RunEventLoop();

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_SHEET_APP_H_
