// The wizard sheet: the stand-in for the platform's property sheet in its
// wizard style, with a header bitmap behind each page's title and subtitle.
// It owns its pages; its window is the back end's (a wizard widget of the
// toolkit, or the system's property sheet), made here and reached by the
// back end's own code alone.
#ifndef QUILLOGEN_PLATFORM_PROPERTY_SHEET_H_
#define QUILLOGEN_PLATFORM_PROPERTY_SHEET_H_

#include <memory>
#include <vector>

#include "desktop.h"
#include "property_page.h"

namespace quillogen {

// The sheet's resources, by id.
struct SheetLook {
  int caption_string = 0;
  int start_page = 0;
  int watermark_bitmap = 0;  // a bitmap that fails to load is left out
  int header_bitmap = 0;
  int icon = 0;
};

class PropertySheet {
 public:
  explicit PropertySheet(const SheetLook& look);
  ~PropertySheet();
  PropertySheet(const PropertySheet&) = delete;
  PropertySheet& operator=(const PropertySheet&) = delete;

  void AddPage(std::unique_ptr<PropertyPage> page);
  // Runs the sheet modally until Finish or Cancel; returns true for Finish.
  bool DoModal();
  // The current page, or null when the sheet is not showing.
  PropertyPage* ActivePage() const;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  PropertyPage& Page(int index) const { return *pages_.at(static_cast<std::size_t>(index)); }
  const SheetLook& Look() const { return look_; }
  // The owner for dialogs the application opens.
  WindowHandle Handle() const;

  // The back end's window, defined by the back end.
  class Window;
  Window& BackEnd() const { return *window_; }

 private:
  SheetLook look_;
  std::vector<std::unique_ptr<PropertyPage>> pages_;
  // Declared after the pages, so it goes first: the window may still call
  // into them while it is taken down.
  std::unique_ptr<Window> window_;
};

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_PROPERTY_SHEET_H_
