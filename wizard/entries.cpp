#include "entries.h"

#include "text.h"

namespace quillogen {

Refusal StoreInstallation(const std::string& url, WizardSettings& settings) {
  settings.program_url = Trim(url);
  // Only the program's file name is looked for, so absolute addresses and
  // server-relative paths pass alike.
  const std::string upper = ToUpper(settings.program_url);
  if (upper.empty() || !ContainsText(upper, "QUILLOPRO.EXE")) return Entry::kUrl;
  return kAccepted;
}

Refusal StoreBasicSettings(const std::string& recipients, const std::string& mail_server,
                           WizardSettings& settings) {
  settings.recipients = Trim(recipients);
  settings.mail_server = Trim(mail_server);
  // The list is passed on as typed; the CGI program splits and checks it.
  return settings.recipients.empty() ? Entry::kRecipients : kAccepted;
}

Refusal StoreOptionalSettings(const OptionalEntries& entries, WizardSettings& settings) {
  settings.subject = entries.subject;
  settings.priority = ToUpper(entries.priority);
  settings.strip_empty_fields = entries.strip_empty_fields;
  settings.environment_report = entries.environment_report;
  return kAccepted;
}

Refusal StoreMailFormat(const FormatEntries& entries, WizardSettings& settings) {
  if (entries.html) {
    settings.mail_format = "HTML";
    settings.template_file.clear();
  }
  if (entries.text) {
    settings.mail_format = "TEXT";
    settings.template_file.clear();
  }
  if (!entries.use_template) return kAccepted;
  settings.mail_format.clear();
  settings.template_file = entries.template_file;
  return IsPlainFileName(settings.template_file) ? kAccepted : Entry::kTemplateName;
}

Refusal StoreResultDocuments(const DocumentEntries& entries, WizardSettings& settings) {
  settings.error_document = entries.error;
  settings.success_document = entries.success;
  settings.required_document = entries.required;
  const std::vector<Entry> refused = RefusedDocuments(entries);
  return refused.empty() ? kAccepted : Refusal(refused.front());
}

std::vector<Entry> RefusedDocuments(const DocumentEntries& entries) {
  std::vector<Entry> refused;
  if (!IsPlainFileName(entries.success)) refused.push_back(Entry::kSuccessDocument);
  if (!IsPlainFileName(entries.error)) refused.push_back(Entry::kErrorDocument);
  return refused;
}

std::vector<Entry> StoreExtraEntries(const ExtraEntries& entries, WizardSettings& settings) {
  settings.bad_email_document = entries.bad_email_document;
  settings.respond_template = entries.respond_template;
  settings.respond_subject = entries.respond_subject;
  // Trimmed like the recipients, its neighbours in the mail's header.
  settings.respond_from = Trim(entries.respond_from);
  std::vector<Entry> refused;
  if (!entries.bad_email_document.empty() && !IsPlainFileName(entries.bad_email_document))
    refused.push_back(Entry::kBadEmailDocument);
  if (!entries.respond_template.empty() && !IsPlainFileName(entries.respond_template))
    refused.push_back(Entry::kRespondTemplate);
  return refused;
}

}  // namespace quillogen
