#include "wizard_app.h"

#include <QApplication>

#include "platform/desktop.h"
#include "platform/resources.h"
#include "screenshot_tour.h"
#include "steps.h"

namespace quillogen {

std::unique_ptr<PropertySheet> CreateWizardSheet(WizardSettings& settings) {
  // A bitmap that fails to load leaves its picture out, silently.
  auto sheet =
      std::make_unique<PropertySheet>(Resources::Get().String(kCaptionString), nullptr, 0,
                                      Resources::Bitmap(kWatermarkBitmap), Resources::Bitmap(kHeaderBitmap));
  sheet->setWindowIcon(Resources::Icon(kIconResource));
  sheet->AddPage(new Step1(settings));
  sheet->AddPage(new Step2(settings));
  sheet->AddPage(new Step3(settings));
  sheet->AddPage(new Step4(settings));
  sheet->AddPage(new Step5(settings));
  sheet->AddPage(new Step6(settings));
  return sheet;
}

// Runs the whole wizard and returns false, so the program ends when the
// sheet closes, by Finish or by Cancel alike.
bool WizardApp::InitInstance() {
  std::unique_ptr<PropertySheet> sheet = CreateWizardSheet(settings_);
  SetMainWindow(sheet.get());
  if (screenshot_dir_.isEmpty()) {
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
  OpenShippedFile(MainWindow(), Manual(), Desktop().open_document);
}

}  // namespace quillogen
