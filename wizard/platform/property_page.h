// A wizard page built on a dialog template: the stand-in for the platform's
// property page. Derived pages override the handlers the sheet calls and
// reach their controls by numeric id, through the page's window, which the
// back end provides (a page widget of the toolkit, or a dialog of the
// system). Nothing here knows which.
#ifndef QUILLOGEN_PLATFORM_PROPERTY_PAGE_H_
#define QUILLOGEN_PLATFORM_PROPERTY_PAGE_H_

#include <string>

#include "desktop.h"

namespace quillogen {

// Wizard-button flags of the set-buttons request; the values are the
// system's own, so that the Win32 sheet takes them unchanged.
constexpr int kWizardBack = 0x1;
constexpr int kWizardNext = 0x2;
constexpr int kWizardFinish = 0x4;

// The results of the Next handler.
constexpr int kMoveOn = 0;
constexpr int kStay = -1;

// What a page asks of its window. Texts are 8-bit, in the form's character
// set cp1252.
class PageWindow {
 public:
  virtual ~PageWindow() = default;

  // The text of an edit box, or of a combo box's text field.
  virtual std::string ControlText(int id) const = 0;
  virtual void SetControlText(int id, const std::string& text) = 0;
  virtual bool IsChecked(int id) const = 0;
  // Sets the mark without running the click handler.
  virtual void SetChecked(int id, bool checked) = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  // Selects entry `index` of a combo box's sorted list.
  virtual void SelectItem(int id, int index) = 0;
  // Blinks edit box `id` read-only five times, 200 ms each way: the
  // wizard's only way to refuse an entry.
  virtual void FlashField(int id) = 0;
  // Asks the sheet to set its buttons once the running handler has returned.
  virtual void PostWizardButtons(int flags) = 0;
  // The owner for dialogs the page opens.
  virtual WindowHandle Handle() const = 0;
};

class PropertyPage {
 public:
  // A page on dialog template `dialog_id`, with the caption and the header
  // title and subtitle of the string table.
  PropertyPage(int dialog_id, int caption_id, int title_id, int subtitle_id)
      : dialog_id_(dialog_id), caption_id_(caption_id), title_id_(title_id), subtitle_id_(subtitle_id) {}
  virtual ~PropertyPage() = default;
  PropertyPage(const PropertyPage&) = delete;
  PropertyPage& operator=(const PropertyPage&) = delete;

  // The page became current.
  virtual bool OnSetActive() { return true; }
  // Next was pressed: kMoveOn or kStay.
  virtual int OnWizardNext() { return kMoveOn; }
  // Finish was pressed: true lets the sheet close.
  virtual bool OnWizardFinish() { return true; }
  // A button or check box with id `id` was clicked, after it toggled itself.
  virtual void OnCommand(int id) { (void)id; }

  int DialogId() const { return dialog_id_; }
  int CaptionId() const { return caption_id_; }
  int TitleId() const { return title_id_; }
  int SubtitleId() const { return subtitle_id_; }

  // Set by the sheet's back end while the page has a window; without one the
  // control calls below read empty and change nothing.
  void SetWindow(PageWindow* window) { window_ = window; }
  PageWindow* Window() const { return window_; }

 protected:
  void PostWizardButtons(int flags);
  std::string ControlText(int id) const;
  void SetControlText(int id, const std::string& text);
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  void EnableControl(int id, bool enabled);
  void SelectItem(int id, int index);
  void FlashField(int id);
  WindowHandle Handle() const;

 private:
  int dialog_id_;
  int caption_id_;
  int title_id_;
  int subtitle_id_;
  PageWindow* window_ = nullptr;
};

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_PROPERTY_PAGE_H_
