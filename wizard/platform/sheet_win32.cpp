#include "sheet_win32.h"

#include <algorithm>

#include "resources.h"
#include "sheet_app.h"
#include "win32_dialog_template.h"

namespace quillogen {
namespace {

// The Wizard 97 flag of the first common controls that had it: with it the
// sheet paints the header bitmap from the top left corner across the whole
// header, behind the title and the subtitle. The later value of
// PSH_WIZARD97 shows only a 49 x 49 corner of it at the right.
constexpr DWORD kWizard97FullHeader = 0x00002000;

// The field flash: read-only and editable in turn, ten states of 200 ms.
constexpr UINT_PTR kFlashTimer = 1;
constexpr UINT kFlashMilliseconds = 200;
constexpr int kFlashToggles = 9;

std::function<void(PropertySheet::Window&)> start_hook;
std::function<void(const std::string&)> trace;

// The sheet being started, for its callback, which gets no context of its own.
PropertySheet::Window* starting_sheet = nullptr;

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// A bitmap at its stored size, as a section, or null when it cannot be loaded.
HBITMAP LoadBitmapResource(int id) {
  return static_cast<HBITMAP>(
      LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void RedrawNow(HWND control) {
  RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void AskForHelp() {
  if (SheetApp* app = SheetApp::Current()) app->OnCommand(kIdHelp);
}

// A child's rectangle in its dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The system's substitute for the templates' font may be wider than the one
// they were laid out for, so texts are given the room they need where the
// page has it: a static text grows downwards, up to the next control below
// it or the end of its group box; a check box grows to the right, up to
// the page's edge, as in the Qt back end.
void FitTexts(HWND dialog, const DialogTemplate& layout) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  if (children.size() != layout.controls.size()) return;
  RECT page;
  GetClientRect(dialog, &page);
  HDC dc = GetDC(dialog);
  HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  for (std::size_t i = 0; i < children.size(); ++i) {
    const ControlKind kind = layout.controls[i].kind;
    const RECT rect = ChildRect(dialog, children[i]);
    const std::string text = WindowText(children[i]);
    if (kind == ControlKind::kStatic) {
      RECT needed = rect;
      DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
      if (needed.bottom <= rect.bottom) continue;
      LONG limit = page.bottom;
      for (std::size_t j = 0; j < children.size(); ++j) {
        const RECT other = ChildRect(dialog, children[j]);
        const bool overlaps = other.left < rect.right && rect.left < other.right;
        if (j == i || !overlaps) continue;
        if (layout.controls[j].kind == ControlKind::kGroup && other.top < rect.top &&
            other.bottom > rect.bottom)
          limit = std::min(limit, other.bottom - 1);
        else if (other.top > rect.top)
          limit = std::min(limit, other.top);
      }
      const LONG height = std::min(needed.bottom, limit) - rect.top;
      SetWindowPos(children[i], nullptr, 0, 0, rect.right - rect.left, height, SWP_NOMOVE | SWP_NOZORDER);
    } else if (kind == ControlKind::kCheck) {
      SIZE extent{};
      GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      // The box, and the gap between box and text.
      const LONG width = extent.cx + GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE);
      if (width <= rect.right - rect.left) continue;
      SetWindowPos(children[i], nullptr, 0, 0, std::min(width, page.right - rect.left),
                   rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
    }
  }
  SelectObject(dc, before);
  ReleaseDC(dialog, dc);
}

bool IsButton(HWND control) {
  char name[16] = {};
  GetClassNameA(control, name, sizeof name);
  return lstrcmpiA(name, "Button") == 0;
}

}  // namespace

void SetSheetStartHook(std::function<void(PropertySheet::Window&)> hook) { start_hook = std::move(hook); }

void SetTrace(std::function<void(const std::string&)> events) { trace = std::move(events); }

void Trace(const std::string& event) {
  if (trace) trace(event);
}

DialogPage::DialogPage(PropertyPage& page, int index) : page_(page), index_(index) {
  const Resources& resources = Resources::Get();
  template_ = Win32DialogTemplate(resources.Dialog(page.DialogId()), DialogFontName());
  caption_ = resources.String(page.CaptionId());
  title_ = resources.String(page.TitleId());
  subtitle_ = resources.String(page.SubtitleId());

  sheet_page_.dwSize = sizeof sheet_page_;
  // Every page offers help, because the application handles the help command.
  sheet_page_.dwFlags =
      PSP_DLGINDIRECT | PSP_USETITLE | PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE | PSP_HASHELP;
  sheet_page_.hInstance = Module();
  sheet_page_.pResource = reinterpret_cast<const DLGTEMPLATE*>(template_.data());
  sheet_page_.pszTitle = caption_.c_str();
  sheet_page_.pszHeaderTitle = title_.c_str();
  sheet_page_.pszHeaderSubTitle = subtitle_.c_str();
  sheet_page_.pfnDlgProc = DialogProc;
  sheet_page_.lParam = reinterpret_cast<LPARAM>(this);
  page_.SetWindow(this);
}

DialogPage::~DialogPage() { page_.SetWindow(nullptr); }

INT_PTR CALLBACK DialogPage::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<DialogPage*>(reinterpret_cast<const PROPSHEETPAGEA*>(lparam)->lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->Open(hwnd);
    return TRUE;
  }
  auto* self = reinterpret_cast<DialogPage*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  return self != nullptr ? self->OnMessage(message, wparam, lparam) : FALSE;
}

// The sheet makes a page's dialog when the page is first shown. Combo boxes
// get their list from the template here, sorted by the box itself.
void DialogPage::Open(HWND hwnd) {
  hwnd_ = hwnd;
  const DialogTemplate& layout = Resources::Get().Dialog(page_.DialogId());
  FitTexts(hwnd_, layout);
  for (const ControlTemplate& control : layout.controls) {
    if (control.kind != ControlKind::kCombo) continue;
    for (const std::string& item : SplitItems(control.text)) {
      const std::u16string text = Utf8ToUtf16(item);
      SendDlgItemMessageW(hwnd_, control.id, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(reinterpret_cast<const wchar_t*>(text.c_str())));
    }
  }
}

void DialogPage::Answer(LONG_PTR result) { SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result); }

INT_PTR DialogPage::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND:
      // Clicks on buttons and check boxes; edit and combo boxes tell of
      // other things.
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0 && IsButton(reinterpret_cast<HWND>(lparam))) {
        page_.OnCommand(LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    case WM_HELP:
      AskForHelp();
      return TRUE;
    case WM_TIMER:
      if (wparam != kFlashTimer) return FALSE;
      FlashTick();
      return TRUE;
    case WM_DESTROY:
      KillTimer(hwnd_, kFlashTimer);
      hwnd_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR DialogPage::OnNotify(const NMHDR& header) {
  switch (header.code) {
    case PSN_SETACTIVE:
      if (auto* sheet = starting_sheet) sheet->Activated(index_);
      Trace("activate " + std::to_string(index_ + 1));
      page_.OnSetActive();
      Answer(0);
      return TRUE;
    case PSN_WIZNEXT:
      Answer(page_.OnWizardNext() == kMoveOn ? 0 : -1);
      return TRUE;
    case PSN_WIZFINISH:
      // Anything but zero keeps the sheet open.
      Answer(page_.OnWizardFinish() ? 0 : 1);
      return TRUE;
    case PSN_HELP:
      AskForHelp();
      return TRUE;
    default:
      return FALSE;
  }
}

std::string DialogPage::ControlText(int id) const {
  HWND control = GetDlgItem(hwnd_, id);
  if (control == nullptr) return std::string();
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

void DialogPage::SetControlText(int id, const std::string& text) { SetDlgItemTextA(hwnd_, id, text.c_str()); }

bool DialogPage::IsChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

void DialogPage::SetChecked(int id, bool checked) {
  CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void DialogPage::EnableControl(int id, bool enabled) { EnableWindow(GetDlgItem(hwnd_, id), enabled); }

void DialogPage::SelectItem(int id, int index) {
  SendDlgItemMessageA(hwnd_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// With a timer rather than a blocking wait, so that the sheet keeps
// painting; the page stays all the same, because Next has already said so.
// A flash that is still running on another box ends at once.
void DialogPage::FlashField(int id) {
  HWND edit = GetDlgItem(hwnd_, id);
  if (edit == nullptr) return;
  if (flash_toggles_left_ > 0 && flash_id_ != id) {
    SendDlgItemMessageA(hwnd_, flash_id_, EM_SETREADONLY, FALSE, 0);
    RedrawNow(GetDlgItem(hwnd_, flash_id_));
  }
  Trace("flash " + std::to_string(id));
  flash_id_ = id;
  flash_toggles_left_ = kFlashToggles;
  SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
  RedrawNow(edit);
  SetTimer(hwnd_, kFlashTimer, kFlashMilliseconds, nullptr);
}

void DialogPage::FlashTick() {
  HWND edit = GetDlgItem(hwnd_, flash_id_);
  --flash_toggles_left_;
  // Read-only again after every second toggle: while an odd number is left.
  SendMessageA(edit, EM_SETREADONLY, flash_toggles_left_ % 2 == 1, 0);
  RedrawNow(edit);
  if (flash_toggles_left_ <= 0) KillTimer(hwnd_, kFlashTimer);
}

// The request takes effect once the running handler has returned.
void DialogPage::PostWizardButtons(int flags) {
  PostMessageA(GetParent(hwnd_), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(flags));
}

WindowHandle DialogPage::Handle() const { return reinterpret_cast<WindowHandle>(hwnd_); }

PropertySheet::Window::Window(const SheetLook& look)
    : look_(look),
      caption_(Resources::Get().String(look.caption_string)),
      header_(LoadBitmapResource(look.header_bitmap)),
      watermark_(LoadBitmapResource(look.watermark_bitmap)),
      icon_(static_cast<HICON>(
          LoadImageA(Module(), MAKEINTRESOURCEA(look.icon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED))) {}

PropertySheet::Window::~Window() {
  pages_.clear();
  if (header_ != nullptr) DeleteObject(header_);
  if (watermark_ != nullptr) DeleteObject(watermark_);
}

void PropertySheet::Window::AddPage(PropertyPage& page) {
  pages_.push_back(std::make_unique<DialogPage>(page, PageCount()));
}

int CALLBACK PropertySheet::Window::SheetCallback(HWND hwnd, UINT message, LPARAM lparam) {
  (void)lparam;
  if (message == PSCB_INITIALIZED && starting_sheet != nullptr) {
    starting_sheet->hwnd_ = hwnd;
    if (start_hook) start_hook(*starting_sheet);
  }
  return 0;
}

bool PropertySheet::Window::DoModal() {
  std::vector<PROPSHEETPAGEA> sheet_pages;
  for (const auto& page : pages_) sheet_pages.push_back(page->SheetPage());

  PROPSHEETHEADERA header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | kWizard97FullHeader | PSH_WATERMARK | PSH_HEADER |
                   PSH_USEHBMWATERMARK | PSH_USEHBMHEADER | PSH_USEHICON | PSH_HASHELP | PSH_USECALLBACK;
  header.hwndParent = nullptr;
  header.hInstance = Module();
  header.hIcon = icon_;
  header.pszCaption = caption_.c_str();
  header.nPages = static_cast<UINT>(sheet_pages.size());
  header.nStartPage = static_cast<UINT>(look_.start_page);
  header.ppsp = sheet_pages.data();
  header.hbmWatermark = watermark_;
  header.hbmHeader = header_;
  header.pfnCallback = SheetCallback;

  starting_sheet = this;
  const INT_PTR result = ::PropertySheetA(&header);
  starting_sheet = nullptr;
  hwnd_ = nullptr;
  active_ = -1;
  Trace(result > 0 ? "closed finish" : "closed cancel");
  return result > 0;
}

DialogPage* PropertySheet::Window::ActiveDialogPage() const {
  if (hwnd_ == nullptr || active_ < 0 || active_ >= PageCount()) return nullptr;
  return pages_[static_cast<std::size_t>(active_)].get();
}

PropertySheet::PropertySheet(const SheetLook& look) : look_(look), window_(std::make_unique<Window>(look)) {}

PropertySheet::~PropertySheet() { window_.reset(); }

void PropertySheet::AddPage(std::unique_ptr<PropertyPage> page) {
  window_->AddPage(*page);
  pages_.push_back(std::move(page));
}

bool PropertySheet::DoModal() { return window_->DoModal(); }

PropertyPage* PropertySheet::ActivePage() const {
  DialogPage* active = window_->ActiveDialogPage();
  return active != nullptr ? &active->Page() : nullptr;
}

WindowHandle PropertySheet::Handle() const { return reinterpret_cast<WindowHandle>(window_->Hwnd()); }

int RunEventLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace quillogen
