#include <windows.h>

#include "page_controls.h"
#include "property_sheet.h"
#include "screenshot_tour.h"
#include "sheet_steps_win32.h"

namespace quillogen {
namespace {

constexpr int kPages = 6;

// Entries that pass each page's check, by page: ids repeat across pages, so
// each page gets only its own.
std::vector<SheetStep> SampleEntries(int page) {
  switch (page) {
    case 1:
      return {{"", "type", control::kProgramUrl, "/scripts/quillo/quillopro.exe"}};
    case 2:
      return {{"", "type", control::kRecipients, "webmaster@example.com"}};
    case 5:
      return {{"", "type", control::kSuccessDocument, "success.htm"},
              {"", "type", control::kErrorDocument, "error.htm"}};
    default:
      return {};
  }
}

}  // namespace

int TakeScreenshots(PropertySheet& sheet, const std::string& dir) {
  CreateDirectoryA(dir.c_str(), nullptr);
  std::vector<SheetStep> steps;
  for (int page = 1; page <= kPages; ++page) {
    steps.push_back({"", "shot", 0, dir + "\\page-" + std::to_string(page) + ".bmp"});
    if (page == kPages) break;
    for (SheetStep& entry : SampleEntries(page)) steps.push_back(std::move(entry));
    steps.push_back({"", "next", 0, ""});
  }
  steps.push_back({"", "cancel", 0, ""});
  RunSheetSteps(std::move(steps), nullptr);
  sheet.DoModal();
  return SheetShotsSaved();
}

}  // namespace quillogen
