// The six pages of the form wizard. Pages 1 to 5 store their entries into
// the settings record on Next; page 6 chooses the form's sections and writes
// the form on Finish.
#ifndef QUILLOGEN_STEPS_H_
#define QUILLOGEN_STEPS_H_

#include <functional>
#include <string>

#include "entries.h"
#include "platform/desktop.h"
#include "platform/property_page.h"
#include "settings.h"
#include "shipped_files.h"

namespace quillogen {

// Opens the first copy of `file` that exists with `open`; when there is
// none, tells the user, in a warning owned by `owner`, where it was looked
// for, instead of opening nothing without a word.
void OpenShippedFile(WindowHandle owner, const ShippedFile& file,
                     const std::function<void(const std::string&)>& open);

// Resource ids of the pages.
constexpr int kCaptionString = 1;

// A page that writes into the settings record.
class SettingsPage : public PropertyPage {
 public:
  SettingsPage(int dialog_id, int title_id, WizardSettings& settings)
      : PropertyPage(dialog_id, kCaptionString, title_id, title_id + 1), settings_(settings) {}

 protected:
  // Flashes the refused edit box, if any, and tells the sheet where to go.
  int MoveOnUnlessRefused(const Refusal& refused);
  WizardSettings& settings_;
};

// Installation: the address of the CGI program.
class Step1 : public SettingsPage {
 public:
  explicit Step1(WizardSettings& settings) : SettingsPage(107, 2, settings) {}
  bool OnSetActive() override;
  int OnWizardNext() override;
};

// Basic settings: recipients and an optional mail server.
class Step2 : public SettingsPage {
 public:
  explicit Step2(WizardSettings& settings) : SettingsPage(108, 4, settings) {}
  bool OnSetActive() override;
  int OnWizardNext() override;
};

// Optional settings: subject, priority, empty fields, environment report.
class Step3 : public SettingsPage {
 public:
  explicit Step3(WizardSettings& settings) : SettingsPage(109, 6, settings) {}
  bool OnSetActive() override;
  int OnWizardNext() override;

 private:
  bool first_activation_ = true;
};

// Mail format: built-in HTML or text, or a template file; one choice of three.
class Step4 : public SettingsPage {
 public:
  explicit Step4(WizardSettings& settings) : SettingsPage(110, 8, settings) {}
  bool OnSetActive() override;
  int OnWizardNext() override;
  void OnCommand(int id) override;

 private:
  void ChooseFormat(int chosen_id);
  bool first_activation_ = true;
};

// Result documents: success, error and required pages.
class Step5 : public SettingsPage {
 public:
  explicit Step5(WizardSettings& settings) : SettingsPage(111, 10, settings) {}
  bool OnSetActive() override;
  int OnWizardNext() override;
};

// Form fields: the sections of the form; Finish saves and opens it.
class Step6 : public SettingsPage {
 public:
  explicit Step6(WizardSettings& settings) : SettingsPage(112, 12, settings) {}
  bool OnSetActive() override;
  bool OnWizardFinish() override;
  void OnCommand(int id) override;
  FormSections Sections() const;

 private:
  bool first_activation_ = true;
};

}  // namespace quillogen

#endif  // QUILLOGEN_STEPS_H_
