#include "steps.h"

#include <sys/stat.h>

#include "entries.h"
#include "form_writer.h"
#include "page_controls.h"
#include "platform/desktop.h"
#include "resource_tables.h"
#include "text.h"

namespace quillogen {
namespace {
constexpr int kBackAndNext = kWizardBack | kWizardNext;

// The edit box that holds each entry the checks can refuse. Control ids are
// unique only within a page, which is enough: a page's check refuses only
// the entries of that page.
int EditBoxOf(Entry entry) {
  switch (entry) {
    case Entry::kUrl:
      return control::kProgramUrl;
    case Entry::kRecipients:
      return control::kRecipients;
    case Entry::kTemplateName:
      return control::kTemplateFile;
    case Entry::kSuccessDocument:
      return control::kSuccessDocument;
    case Entry::kErrorDocument:
      return control::kErrorDocument;
    case Entry::kBadEmailDocument:
    case Entry::kRespondTemplate:
      break;  // batch mode only: no page has a box for them
  }
  return kNoId;
}

// A plain file, or a link to one.
bool IsFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

void OpenShippedFile(WindowHandle owner, const ShippedFile& file,
                     const std::function<void(const std::string&)>& open) {
  const SearchFolders folders = Desktop().search_folders();
  const std::string found = FindShippedFile(file, folders, IsFile);
  if (found.empty()) {
    Desktop().show_warning(owner, NotFoundText(file, folders));
    return;
  }
  open(found);
}

int SettingsPage::MoveOnUnlessRefused(const Refusal& refused) {
  if (!refused) return kMoveOn;
  FlashField(EditBoxOf(*refused));
  return kStay;
}

// Page 1 asks for Back too, although it has no page before it.
bool Step1::OnSetActive() {
  PostWizardButtons(kBackAndNext);
  return true;
}

int Step1::OnWizardNext() {
  return MoveOnUnlessRefused(StoreInstallation(ControlText(control::kProgramUrl), settings_));
}

bool Step2::OnSetActive() {
  PostWizardButtons(kBackAndNext);
  return true;
}

int Step2::OnWizardNext() {
  return MoveOnUnlessRefused(
      StoreBasicSettings(ControlText(control::kRecipients), ControlText(control::kMailServer), settings_));
}

bool Step3::OnSetActive() {
  PostWizardButtons(kBackAndNext);
  if (first_activation_) {
    first_activation_ = false;
    // The sorted list shows "High" first, so entry 1 is "Normal".
    SelectItem(control::kPriority, 1);
  }
  return true;
}

int Step3::OnWizardNext() {
  OptionalEntries entries;
  entries.subject = ControlText(control::kSubject);
  entries.priority = ControlText(control::kPriority);
  entries.strip_empty_fields = IsChecked(control::kStripEmpty);
  entries.environment_report = IsChecked(control::kEnvironmentReport);
  return MoveOnUnlessRefused(StoreOptionalSettings(entries, settings_));
}

bool Step4::OnSetActive() {
  PostWizardButtons(kBackAndNext);
  if (first_activation_) {
    first_activation_ = false;
    SetChecked(control::kHtmlFormat, true);
    SetChecked(control::kTextFormat, false);
    SetChecked(control::kUseTemplate, false);
    EnableControl(control::kTemplateFile, false);
  }
  return true;
}

void Step4::OnCommand(int id) {
  switch (id) {
    case control::kHtmlFormat:
    case control::kTextFormat:
    case control::kUseTemplate:
      ChooseFormat(id);
      break;
    case control::kTemplateFormat:
      OpenShippedFile(Handle(), SampleTemplate(), Desktop().edit_text_file);
      break;
    default:
      break;
  }
}

// The clicked box stays chosen even when it was chosen already; only the
// template choice keeps a name in the edit box.
void Step4::ChooseFormat(int chosen_id) {
  for (int id : {control::kHtmlFormat, control::kTextFormat, control::kUseTemplate})
    SetChecked(id, id == chosen_id);
  const bool use_template = chosen_id == control::kUseTemplate;
  if (!use_template) SetControlText(control::kTemplateFile, std::string());
  EnableControl(control::kTemplateFile, use_template);
}

int Step4::OnWizardNext() {
  FormatEntries entries;
  entries.html = IsChecked(control::kHtmlFormat);
  entries.text = IsChecked(control::kTextFormat);
  entries.use_template = IsChecked(control::kUseTemplate);
  entries.template_file = ControlText(control::kTemplateFile);
  return MoveOnUnlessRefused(StoreMailFormat(entries, settings_));
}

bool Step5::OnSetActive() {
  PostWizardButtons(kBackAndNext);
  return true;
}

int Step5::OnWizardNext() {
  DocumentEntries entries;
  entries.error = ControlText(control::kErrorDocument);
  entries.success = ControlText(control::kSuccessDocument);
  entries.required = ControlText(control::kRequiredDocument);
  return MoveOnUnlessRefused(StoreResultDocuments(entries, settings_));
}

namespace {

// The modern page is UTF-8: the texts the pages stored in cp1252, converted.
WizardSettings InUtf8(WizardSettings settings) {
  for (std::string* text : {&settings.program_url, &settings.recipients, &settings.subject,
                            &settings.template_file, &settings.success_document, &settings.required_document,
                            &settings.error_document, &settings.mail_server})
    *text = Cp1252ToUtf8(*text);
  settings.charset = "utf-8";
  return settings;
}

}  // namespace

bool Step6::OnSetActive() {
  PostWizardButtons(kWizardBack | kWizardFinish);
  if (first_activation_) {
    first_activation_ = false;
    SetChecked(control::kEmail, true);
    SetChecked(control::kEmailFrom, true);
  }
  return true;
}

// The two e-mail options keep their marks while they are greyed out.
void Step6::OnCommand(int id) {
  if (id != control::kEmail) return;
  const bool email = IsChecked(control::kEmail);
  EnableControl(control::kEmailFrom, email);
  EnableControl(control::kEmailVerify, email);
}

FormSections Step6::Sections() const {
  FormSections sections;
  sections.email = IsChecked(control::kEmail);
  sections.email_verify = IsChecked(control::kEmailVerify);
  sections.email_from = IsChecked(control::kEmailFrom);
  sections.address = IsChecked(control::kAddress);
  sections.misc = IsChecked(control::kMisc);
  sections.comments = IsChecked(control::kComments);
  sections.sample_fields = IsChecked(control::kSampleFields);
  sections.html5 = IsChecked(control::kHtml5Page);
  return sections;
}

// A cancelled dialog or a file that cannot be written keeps the wizard open
// on this page, with everything as it was, so that another file may be
// chosen; a failed write says why.
bool Step6::OnWizardFinish() {
  const std::string path = Desktop().choose_save_file(Handle());
  if (path.empty()) return false;
  const FormSections sections = Sections();
  const WriteFailure failure =
      WriteFormFile(path, RenderHtmlForm(sections.html5 ? InUtf8(settings_) : settings_, sections));
  if (failure) {
    Desktop().show_warning(Handle(), "Cannot write " + path + ": " + *failure);
    return false;
  }
  Desktop().open_document(path);
  return true;
}

}  // namespace quillogen
