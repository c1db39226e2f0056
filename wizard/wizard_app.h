// The form wizard application: one modal sheet of six pages, and help that
// opens the manual.
#ifndef QUILLOGEN_WIZARD_APP_H_
#define QUILLOGEN_WIZARD_APP_H_

#include <memory>
#include <string>

#include "platform/property_sheet.h"
#include "platform/sheet_app.h"
#include "settings.h"

namespace quillogen {

// Resource ids of the sheet.
constexpr int kHeaderBitmap = 129;
constexpr int kWatermarkBitmap = 137;
constexpr int kIconResource = 128;

// The sheet with its six pages in their fixed order, writing into `settings`.
std::unique_ptr<PropertySheet> CreateWizardSheet(WizardSettings& settings);

class WizardApp : public SheetApp {
 public:
  // With a folder, the wizard takes a picture of every page into it and quits
  // instead of waiting for the user.
  explicit WizardApp(std::string screenshot_dir = std::string())
      : screenshot_dir_(std::move(screenshot_dir)) {}

  bool InitInstance() override;
  // Opens the manual, whatever help was asked for: the first copy found in
  // the current folder, next to the program or in the documentation folder.
  void WinHelp(unsigned long data, unsigned command) override;

 private:
  // Lives as long as the program, so every run starts from the defaults.
  WizardSettings settings_;
  std::string screenshot_dir_;
};

}  // namespace quillogen

#endif  // QUILLOGEN_WIZARD_APP_H_
