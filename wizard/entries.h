// What the Next handlers of pages 1 to 5 store and check, without any user
// interface, so that the window and the batch mode accept exactly the same
// entries.
//
// Each Store function copies the page's entries into the settings record and
// returns the entry it refuses, or kAccepted. The checks name entries, not
// controls: the pages blink the edit box that holds the entry, the batch
// mode names the option that carried it.
#ifndef QUILLOGEN_ENTRIES_H_
#define QUILLOGEN_ENTRIES_H_

#include <optional>
#include <string>
#include <vector>

#include "settings.h"

namespace quillogen {

// The entries a check can refuse; the others are taken as they come.
enum class Entry {
  kUrl,               // page 1
  kRecipients,        // page 2
  kTemplateName,      // page 4
  kSuccessDocument,   // page 5
  kErrorDocument,     // page 5
  kBadEmailDocument,  // batch mode only
  kRespondTemplate,   // batch mode only
};

// A page's check refuses at most one entry, the first it finds wrong: that is
// the edit box the page flashes.
using Refusal = std::optional<Entry>;
constexpr Refusal kAccepted = std::nullopt;

// Page 1: the address must name the CGI program's file, in any case.
Refusal StoreInstallation(const std::string& url, WizardSettings& settings);

// Page 2: recipients are required, the mail server is optional.
Refusal StoreBasicSettings(const std::string& recipients, const std::string& mail_server,
                           WizardSettings& settings);

// Page 3: always accepted.
struct OptionalEntries {
  std::string subject;
  std::string priority;
  bool strip_empty_fields = false;
  bool environment_report = false;
};
Refusal StoreOptionalSettings(const OptionalEntries& entries, WizardSettings& settings);

// Page 4: the states of the three exclusive check boxes and the template name.
struct FormatEntries {
  bool html = false;
  bool text = false;
  bool use_template = false;
  std::string template_file;
};
Refusal StoreMailFormat(const FormatEntries& entries, WizardSettings& settings);

// Page 5: the success document is checked before the error document; the
// required document may be anything, even empty.
struct DocumentEntries {
  std::string success;
  std::string error;
  std::string required;
};
Refusal StoreResultDocuments(const DocumentEntries& entries, WizardSettings& settings);

// Every entry of page 5 that its check refuses, in the order it checks them:
// the page flashes the first, the batch mode names them all.
std::vector<Entry> RefusedDocuments(const DocumentEntries& entries);

// Entries only the batch mode takes: the form can carry them, the pages have
// no controls for them. All are optional; a document or template name that
// is given must be a plain file name, as on page 5. Returns every refused
// entry, in the order above.
struct ExtraEntries {
  std::string bad_email_document;
  std::string respond_template;
  std::string respond_subject;
  std::string respond_from;
};
std::vector<Entry> StoreExtraEntries(const ExtraEntries& entries, WizardSettings& settings);

}  // namespace quillogen

#endif  // QUILLOGEN_ENTRIES_H_
