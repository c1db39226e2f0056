#include "batch.h"

#include <algorithm>
#include <functional>
#include <map>

#include "entries.h"
#include "form_writer.h"
#include "text.h"

namespace quillogen {
namespace {

struct BatchEntries {
  std::string output;
  std::string url;
  std::string recipients;
  std::string mail_server;
  OptionalEntries optional{"", "Normal", false, false};
  std::string format = "html";
  bool format_given = false;
  bool template_given = false;
  std::string template_file;
  DocumentEntries documents;
  FormSections sections;
};

using ValueSetter = std::function<void(BatchEntries&, const std::string&)>;
using FlagSetter = std::function<void(BatchEntries&)>;

const std::map<std::string, ValueSetter>& ValueOptions() {
  static const std::map<std::string, ValueSetter> options = {
      {"-o", [](BatchEntries& e, const std::string& v) { e.output = v; }},
      {"--url", [](BatchEntries& e, const std::string& v) { e.url = v; }},
      {"--to", [](BatchEntries& e, const std::string& v) { e.recipients = v; }},
      {"--server", [](BatchEntries& e, const std::string& v) { e.mail_server = v; }},
      {"--subject", [](BatchEntries& e, const std::string& v) { e.optional.subject = v; }},
      {"--priority", [](BatchEntries& e, const std::string& v) { e.optional.priority = v; }},
      {"--format",
       [](BatchEntries& e, const std::string& v) {
         e.format = v;
         e.format_given = true;
       }},
      {"--template",
       [](BatchEntries& e, const std::string& v) {
         e.template_file = v;
         e.template_given = true;
       }},
      {"--success", [](BatchEntries& e, const std::string& v) { e.documents.success = v; }},
      {"--error", [](BatchEntries& e, const std::string& v) { e.documents.error = v; }},
      {"--required", [](BatchEntries& e, const std::string& v) { e.documents.required = v; }},
  };
  return options;
}

const std::map<std::string, FlagSetter>& FlagOptions() {
  static const std::map<std::string, FlagSetter> options = {
      {"--batch", [](BatchEntries&) {}},
      {"--strip-empty", [](BatchEntries& e) { e.optional.strip_empty_fields = true; }},
      {"--env-report", [](BatchEntries& e) { e.optional.environment_report = true; }},
      {"--no-email", [](BatchEntries& e) { e.sections.email = false; }},
      {"--email-verify", [](BatchEntries& e) { e.sections.email_verify = true; }},
      {"--no-email-from", [](BatchEntries& e) { e.sections.email_from = false; }},
      {"--address", [](BatchEntries& e) { e.sections.address = true; }},
      {"--misc", [](BatchEntries& e) { e.sections.misc = true; }},
      {"--comments", [](BatchEntries& e) { e.sections.comments = true; }},
      {"--sample-fields", [](BatchEntries& e) { e.sections.sample_fields = true; }},
  };
  return options;
}

// Parses the command line into `entries`; returns an error text or "".
std::string ParseArguments(const std::vector<std::string>& args, BatchEntries& entries) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_inline_value = false;
    const std::size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
      has_inline_value = true;
    }
    const auto flag = FlagOptions().find(name);
    if (flag != FlagOptions().end() && !has_inline_value) {
      flag->second(entries);
      continue;
    }
    const auto option = ValueOptions().find(name);
    if (option == ValueOptions().end()) return "unknown option " + args[i];
    if (!has_inline_value) {
      if (i + 1 >= args.size()) return name + " needs a value";
      value = args[++i];
    }
    // Command lines arrive in UTF-8; the form holds cp1252 like the window.
    // The output path names a file of this system and is kept as given.
    option->second(entries, name == "-o" ? value : Utf8ToCp1252(value));
  }
  if (entries.output.empty()) return "-o FILE is required";
  if (entries.format_given && entries.template_given) return "--format and --template exclude each other";
  const std::string format = ToUpper(entries.format);
  if (!entries.template_given && format != "HTML" && format != "TEXT") return "--format must be html or text";
  return "";
}

// Stores the entries page by page, as the window's Next handlers do, and
// returns the first refused entry.
Refusal StoreAll(const BatchEntries& e, WizardSettings& settings) {
  Refusal refused = StoreInstallation(e.url, settings);
  if (refused == kAccepted) refused = StoreBasicSettings(e.recipients, e.mail_server, settings);
  if (refused == kAccepted) refused = StoreOptionalSettings(e.optional, settings);
  if (refused == kAccepted) {
    const std::string format = ToUpper(e.format);
    FormatEntries choice;
    choice.html = !e.template_given && format == "HTML";
    choice.text = !e.template_given && format == "TEXT";
    choice.use_template = e.template_given;
    choice.template_file = e.template_file;
    refused = StoreMailFormat(choice, settings);
  }
  if (refused == kAccepted) refused = StoreResultDocuments(e.documents, settings);
  return refused;
}

// Names the option that carried the refused entry, and what it needs.
std::string RefusalText(Entry refused) {
  switch (refused) {
    case Entry::kUrl:
      return "--url: the address must contain the program's file name quillopro.exe";
    case Entry::kRecipients:
      return "--to: at least one recipient address is needed";
    case Entry::kTemplateName:
      return "--template: give a plain file name, without | / \\ or :";
    case Entry::kSuccessDocument:
      return "--success: give a plain file name, without | / \\ or :";
    case Entry::kErrorDocument:
      return "--error: give a plain file name, without | / \\ or :";
  }
  return "entry refused";
}

}  // namespace

std::string UsageText() {
  return "Usage: quillogen                 open the form wizard\n"
         "       quillogen --batch -o FILE [OPTION]...\n"
         "                                 write the HTML form without a window\n"
         "       quillogen --help          show this list\n"
         "\n"
         "Window:\n"
         "  --screenshot-dir DIR    save a picture of every page to DIR and quit\n"
         "\n"
         "Batch mode (the wizard's pages; every entry is checked as its page does):\n"
         "  -o FILE                 the form file to create or replace\n"
         "  --url TEXT              page 1: address of quillopro.exe on the web server\n"
         "  --to TEXT               page 2: recipients, separated by commas\n"
         "  --server TEXT           page 2: optional external mail server\n"
         "  --subject TEXT          page 3: mail subject, may hold ##FIELD## placeholders\n"
         "  --priority TEXT         page 3: mail priority (default Normal; High marks the mail)\n"
         "  --strip-empty           page 3: leave empty user fields out of the mail\n"
         "  --env-report            page 3: include the environment report\n"
         "  --format html|text      page 4: built-in mail format (default html)\n"
         "  --template NAME         page 4: use the mail template file NAME instead\n"
         "  --success NAME          page 5: success document\n"
         "  --error NAME            page 5: error document\n"
         "  --required NAME         page 5: required-field document (optional)\n"
         "  --no-email              page 6: leave out the Email field\n"
         "  --email-verify          page 6: check the Email field's address\n"
         "  --no-email-from         page 6: do not use the Email field as the sender\n"
         "  --address               page 6: add the address form\n"
         "  --misc                  page 6: add the misc customer information\n"
         "  --comments              page 6: add the comments box\n"
         "  --sample-fields         page 6: add the sample input fields\n"
         "\n"
         "Exit status: 0 written, 1 the file cannot be created, 2 an entry or option refused.\n";
}

bool WantsHelp(const std::vector<std::string>& args) {
  return !args.empty() && (args[0] == "--help" || args[0] == "-h");
}

bool WantsBatch(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--batch") != args.end();
}

int RunBatch(const std::vector<std::string>& args, std::ostream& err) {
  BatchEntries entries;
  const std::string problem = ParseArguments(args, entries);
  if (!problem.empty()) {
    err << "quillogen: " << problem << "\n"
        << "Try 'quillogen --help'.\n";
    return kExitRefused;
  }
  WizardSettings settings;
  const Refusal refused = StoreAll(entries, settings);
  if (refused) {
    err << "quillogen: refused " << RefusalText(*refused) << "\n";
    return kExitRefused;
  }
  if (const WriteFailure failure =
          WriteFormFile(entries.output, RenderHtmlForm(settings, entries.sections))) {
    err << "quillogen: cannot write " << entries.output << ": " << *failure << "\n";
    return kExitUnwritable;
  }
  return kExitOk;
}

}  // namespace quillogen
