// Pictures of the wizard's pages for the documentation and for checking the
// layout on a desktop without a person at it.
#ifndef QUILLOGEN_PLATFORM_SCREENSHOT_TOUR_H_
#define QUILLOGEN_PLATFORM_SCREENSHOT_TOUR_H_

#include <string>

namespace quillogen {

class PropertySheet;

// Shows the sheet, saves each page as it is first displayed to
// DIR/page-N (a PNG from the toolkit, a BMP from the Win32 back end), fills
// it with sample entries and goes on with Next. Returns the number of
// pictures saved.
int TakeScreenshots(PropertySheet& sheet, const std::string& dir);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_SCREENSHOT_TOUR_H_
