#include "wizard_app.h"

#include "platform/desktop.h"
#include "platform/screenshot_tour.h"
#include "steps.h"

namespace quillogen {

std::unique_ptr<PropertySheet> CreateWizardSheet(WizardSettings& settings) {
  // A bitmap that fails to load leaves its picture out, silently.
  SheetLook look;
  look.caption_string = kCaptionString;
  look.start_page = 0;
  look.watermark_bitmap = kWatermarkBitmap;
  look.header_bitmap = kHeaderBitmap;
  look.icon = kIconResource;
  auto sheet = std::make_unique<PropertySheet>(look);
  sheet->AddPage(std::make_unique<Step1>(settings));
  sheet->AddPage(std::make_unique<Step2>(settings));
  sheet->AddPage(std::make_unique<Step3>(settings));
  sheet->AddPage(std::make_unique<Step4>(settings));
  sheet->AddPage(std::make_unique<Step5>(settings));
  sheet->AddPage(std::make_unique<Step6>(settings));
  return sheet;
}

// Runs the whole wizard and returns false, so the program ends when the
// sheet closes, by Finish or by Cancel alike.
bool WizardApp::InitInstance() {
  std::unique_ptr<PropertySheet> sheet = CreateWizardSheet(settings_);
  SetMainWindow(sheet.get());
  if (screenshot_dir_.empty()) {
    sheet->DoModal();
  } else {
    TakeScreenshots(*sheet, screenshot_dir_);
  }
  SetMainWindow(nullptr);
  return false;
}

void WizardApp::WinHelp(unsigned long data, unsigned command) {
  (void)data;
  (void)command;
  OpenShippedFile(MainWindow() != nullptr ? MainWindow()->Handle() : nullptr, Manual(),
                  Desktop().open_document);
}

}  // namespace quillogen
