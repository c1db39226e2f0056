// The Win32 back end of the sheet: the system's property sheet in its
// Wizard 97 style, with pages made from in-memory dialog templates. Only the
// Win32 back end's own files include this header.
#ifndef QUILLOGEN_PLATFORM_SHEET_WIN32_H_
#define QUILLOGEN_PLATFORM_SHEET_WIN32_H_

#include <windows.h>
// The Windows headers must come first.
#include <commctrl.h>
// The system names its function after the class this layer stands in for;
// below, PropertySheet is the class and ::PropertySheetA the function.
#undef PropertySheet

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "property_page.h"
#include "property_sheet.h"

namespace quillogen {

// One page's dialog; it is the page's PageWindow.
class DialogPage : public PageWindow {
 public:
  DialogPage(PropertyPage& page, int index);
  ~DialogPage() override;
  DialogPage(const DialogPage&) = delete;
  DialogPage& operator=(const DialogPage&) = delete;

  PropertyPage& Page() const { return page_; }
  int Index() const { return index_; }
  HWND Hwnd() const { return hwnd_; }
  // The page's entry of the sheet's header.
  const PROPSHEETPAGEA& SheetPage() const { return sheet_page_; }

  std::string ControlText(int id) const override;
  void SetControlText(int id, const std::string& text) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  void EnableControl(int id, bool enabled) override;
  void SelectItem(int id, int index) override;
  void FlashField(int id) override;
  void PostWizardButtons(int flags) override;
  WindowHandle Handle() const override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void Open(HWND hwnd);
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnNotify(const NMHDR& header);
  void FlashTick();
  void Answer(LONG_PTR result);

  PropertyPage& page_;
  int index_;
  HWND hwnd_ = nullptr;
  std::vector<std::uint8_t> template_;  // read by the sheet when it makes the page
  std::string caption_;
  std::string title_;
  std::string subtitle_;
  PROPSHEETPAGEA sheet_page_{};
  int flash_id_ = 0;
  int flash_toggles_left_ = 0;
};

// The system's property sheet of a PropertySheet.
class PropertySheet::Window {
 public:
  explicit Window(const SheetLook& look);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  void AddPage(PropertyPage& page);
  bool DoModal();
  // Null while the sheet is not showing.
  HWND Hwnd() const { return hwnd_; }
  DialogPage* ActiveDialogPage() const;
  int PageCount() const { return static_cast<int>(pages_.size()); }

  // Called by a page that becomes current.
  void Activated(int index) { active_ = index; }

 private:
  static int CALLBACK SheetCallback(HWND hwnd, UINT message, LPARAM lparam);

  SheetLook look_;
  std::string caption_;
  HBITMAP header_ = nullptr;
  HBITMAP watermark_ = nullptr;
  HICON icon_ = nullptr;
  std::vector<std::unique_ptr<DialogPage>> pages_;
  HWND hwnd_ = nullptr;
  int active_ = -1;
};

// Hooks of the scripted runs (sheet_steps_win32.cpp): called with each
// sheet as it starts, and with each event worth a line in a transcript
// ("activate 2", "flash 1000", "closed finish").
void SetSheetStartHook(std::function<void(PropertySheet::Window& sheet)> hook);
void SetTrace(std::function<void(const std::string& event)> trace);
void Trace(const std::string& event);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_SHEET_WIN32_H_
