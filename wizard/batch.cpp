#include "batch.h"

#include <functional>

#include "entries.h"
#include "form_writer.h"
#include "resource_tables.h"
#include "site_settings.h"
#include "text.h"
#include "version_table.h"

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
  ExtraEntries extra;
  FormSections sections;
  bool charset_given = false;
  std::string charset;
  bool settings_given = false;
  std::string settings_file;
  std::string captcha;
  std::string captcha_site_key;
  std::string style;
  bool uploads = false;
};

// What an option does, and so where it may be used.
enum class Role {
  kHelp,     // anywhere
  kVersion,  // anywhere
  kBatch,    // --batch itself
  kEntry,    // an entry of the batch mode, only with --batch
  kWindow,   // only when the window opens
};

// What follows an option.
enum class Value {
  kNone,
  kText,  // goes into the form: converted from the command line's UTF-8 to
          // cp1252, as the window converts what is typed, unless the form
          // is written in UTF-8
  kPath,  // names a file of this system: kept as given
};

using Setter = std::function<void(BatchEntries&, const std::string&)>;

struct Option {
  const char* name;
  Role role;
  Value value;
  Setter set;  // for entries
};

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      {"--help", Role::kHelp, Value::kNone, nullptr},
      {"-h", Role::kHelp, Value::kNone, nullptr},
      {"--version", Role::kVersion, Value::kNone, nullptr},
      {"--batch", Role::kBatch, Value::kNone, nullptr},
      {"--screenshot-dir", Role::kWindow, Value::kPath, nullptr},
      {"-o", Role::kEntry, Value::kPath, [](BatchEntries& e, const std::string& v) { e.output = v; }},
      {"--url", Role::kEntry, Value::kText, [](BatchEntries& e, const std::string& v) { e.url = v; }},
      {"--to", Role::kEntry, Value::kText, [](BatchEntries& e, const std::string& v) { e.recipients = v; }},
      {"--server", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.mail_server = v; }},
      {"--subject", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.optional.subject = v; }},
      {"--priority", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.optional.priority = v; }},
      {"--strip-empty", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.optional.strip_empty_fields = true; }},
      {"--env-report", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.optional.environment_report = true; }},
      {"--format", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) {
         e.format = v;
         e.format_given = true;
       }},
      {"--template", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) {
         e.template_file = v;
         e.template_given = true;
       }},
      {"--success", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.documents.success = v; }},
      {"--error", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.documents.error = v; }},
      {"--required", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.documents.required = v; }},
      {"--bademail", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.extra.bad_email_document = v; }},
      {"--respond-template", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.extra.respond_template = v; }},
      {"--respond-subject", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.extra.respond_subject = v; }},
      {"--respond-from", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.extra.respond_from = v; }},
      {"--no-email", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.email = false; }},
      {"--email-verify", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.email_verify = true; }},
      {"--no-email-from", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.email_from = false; }},
      {"--address", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.address = true; }},
      {"--misc", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.misc = true; }},
      {"--comments", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.comments = true; }},
      {"--sample-fields", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.sections.sample_fields = true; }},
      {"--charset", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) {
         e.charset = v;
         e.charset_given = true;
       }},
      {"--captcha", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) {
         e.captcha = v;
         for (char& c : e.captcha) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
       }},
      {"--captcha-site-key", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) { e.captcha_site_key = v; }},
      {"--style", Role::kEntry, Value::kText,
       [](BatchEntries& e, const std::string& v) {
         e.style = v;
         for (char& c : e.style) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
       }},
      {"--uploads", Role::kEntry, Value::kNone,
       [](BatchEntries& e, const std::string&) { e.uploads = true; }},
      {"--settings", Role::kEntry, Value::kPath,
       [](BatchEntries& e, const std::string& v) {
         e.settings_file = v;
         e.settings_given = true;
       }},
  };
  return options;
}

const Option* FindOption(const std::string& name) {
  for (const Option& option : Options()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// One argument, or an option with its value, as read: the option, or what
// is wrong with it.
struct Argument {
  const Option* option = nullptr;
  std::string name;
  std::string value;
  std::string problem;
};

// Reads the arguments in order. A value is the next argument, whatever it
// looks like, or follows "=" in "--name=value"; so "--subject --help" sets a
// subject and asks for no help.
std::vector<Argument> ReadArguments(const std::vector<std::string>& args) {
  std::vector<Argument> read;
  for (std::size_t i = 0; i < args.size(); ++i) {
    Argument argument;
    argument.name = args[i];
    bool has_inline_value = false;
    const std::size_t equals = argument.name.find('=');
    if (argument.name.rfind("--", 0) == 0 && equals != std::string::npos) {
      argument.value = argument.name.substr(equals + 1);
      argument.name.erase(equals);
      has_inline_value = true;
    }
    argument.option = FindOption(argument.name);
    if (argument.option == nullptr) {
      const bool looks_like_option = args[i].size() > 1 && args[i][0] == '-';
      argument.problem = (looks_like_option ? "unknown option " : "unexpected argument ") + args[i];
    } else if (argument.option->value == Value::kNone) {
      if (has_inline_value) argument.problem = argument.name + " takes no value";
    } else if (!has_inline_value) {
      if (i + 1 < args.size()) {
        argument.value = args[++i];
      } else {
        argument.problem = argument.name + " needs a value";
      }
    }
    read.push_back(std::move(argument));
  }
  return read;
}

// The faults of the command line as a whole, in argument order: options
// that do not fit the mode that --batch chooses or leaves.
std::vector<std::string> CommandLineProblems(const std::vector<Argument>& read, bool batch) {
  std::vector<std::string> problems;
  for (const Argument& argument : read) {
    if (!argument.problem.empty()) {
      problems.push_back(argument.problem);
    } else if (argument.option->role == Role::kEntry && !batch) {
      problems.push_back(argument.name + " works only with --batch");
    } else if (argument.option->role == Role::kWindow && batch) {
      problems.push_back(argument.name + " works only without --batch");
    }
  }
  return problems;
}

// The one charset a form can be written in besides the window's cp1252.
bool IsUtf8(const std::string& charset) { return ToUpper(charset) == "UTF-8"; }

// Sets the entries and adds what is wrong with them as a whole.
BatchEntries TakeEntries(const std::vector<Argument>& read, std::vector<std::string>& problems) {
  BatchEntries entries;
  // The charset decides how every text is stored, wherever it stands; the
  // modern page is always UTF-8.
  for (const Argument& argument : read) {
    if (argument.problem.empty() && (argument.name == "--charset" || argument.name == "--style"))
      argument.option->set(entries, argument.value);
  }
  const bool keep_utf8 = IsUtf8(entries.charset) || entries.style == "html5";
  for (const Argument& argument : read) {
    if (!argument.problem.empty() || !argument.option->set) continue;
    const bool convert = argument.option->value == Value::kText && !keep_utf8;
    argument.option->set(entries, convert ? Utf8ToCp1252(argument.value) : argument.value);
  }
  if (entries.output.empty()) problems.push_back("-o FILE is required");
  if (entries.settings_given && entries.settings_file.empty()) problems.push_back("--settings needs a value");
  if (entries.format_given && entries.template_given)
    problems.push_back("--format and --template exclude each other");
  const std::string format = ToUpper(entries.format);
  if (!entries.template_given && format != "HTML" && format != "TEXT")
    problems.push_back("--format must be html or text");
  if (entries.charset_given && !IsUtf8(entries.charset)) problems.push_back("--charset must be utf-8");
  if (!entries.style.empty() && entries.style != "classic" && entries.style != "html5")
    problems.push_back("--style must be classic or html5");
  const std::string& captcha = entries.captcha;
  const bool hosted = captcha == "turnstile" || captcha == "hcaptcha" || captcha == "recaptcha";
  if (!captcha.empty() && !hosted && captcha != "altcha")
    problems.push_back("--captcha must be altcha, turnstile, hcaptcha or recaptcha");
  if (hosted && entries.captcha_site_key.empty())
    problems.push_back("--captcha " + captcha + " needs --captcha-site-key");
  if (!hosted && !entries.captcha_site_key.empty())
    problems.push_back("--captcha-site-key goes with --captcha turnstile, hcaptcha or recaptcha");
  return entries;
}

// Stores the entries page by page, as the window's Next handlers do, and
// returns every refused entry in page order: unlike a person at the window,
// a script gets to hear of all its faults in one run.
std::vector<Entry> StoreAll(const BatchEntries& e, WizardSettings& settings) {
  std::vector<Entry> refused;
  const auto note = [&refused](const Refusal& refusal) {
    if (refusal) refused.push_back(*refusal);
  };
  note(StoreInstallation(e.url, settings));
  note(StoreBasicSettings(e.recipients, e.mail_server, settings));
  note(StoreOptionalSettings(e.optional, settings));
  const std::string format = ToUpper(e.format);
  FormatEntries choice;
  choice.html = !e.template_given && format == "HTML";
  choice.text = !e.template_given && format == "TEXT";
  choice.use_template = e.template_given;
  choice.template_file = e.template_file;
  note(StoreMailFormat(choice, settings));
  StoreResultDocuments(e.documents, settings);
  for (Entry entry : RefusedDocuments(e.documents)) refused.push_back(entry);
  for (Entry entry : StoreExtraEntries(e.extra, settings)) refused.push_back(entry);
  const bool html5 = e.style == "html5";
  if (IsUtf8(e.charset) || html5) settings.charset = "utf-8";
  if (e.settings_given) settings.recipients_alias = RecipientsAliasName(e.output);
  settings.uploads = e.uploads;
  // The modern page and its settings file go together: a honeypot robots
  // fill, and JSON answers for the page's script.
  if (html5 && e.settings_given) {
    settings.honeypot = kHoneypotField;
    settings.json = true;
  }
  settings.captcha = e.captcha;
  settings.captcha_site_key = e.captcha_site_key;
  return refused;
}

// The option that carries each entry the checks can refuse.
const char* OptionOf(Entry entry) {
  switch (entry) {
    case Entry::kUrl:
      return "--url";
    case Entry::kRecipients:
      return "--to";
    case Entry::kTemplateName:
      return "--template";
    case Entry::kSuccessDocument:
      return "--success";
    case Entry::kErrorDocument:
      return "--error";
    case Entry::kBadEmailDocument:
      return "--bademail";
    case Entry::kRespondTemplate:
      return "--respond-template";
  }
  return "an option";
}

// Names the option that carried the refused entry, and what it needs: every
// entry but the two of pages 1 and 2 is a file name.
std::string RefusalText(Entry refused) {
  std::string need = "give a plain file name, without | / \\ or :";
  if (refused == Entry::kUrl) need = "the address must contain the program's file name quillopro.exe";
  if (refused == Entry::kRecipients) need = "at least one recipient address is needed";
  return std::string(OptionOf(refused)) + ": " + need;
}

// Writes one line for each fault, and a pointer to the help after faults
// of the command line itself.
void Report(const std::vector<std::string>& problems, const std::vector<Entry>& refused, std::ostream& err) {
  for (const std::string& problem : problems) err << "quillogen: " << problem << "\n";
  for (Entry entry : refused) err << "quillogen: refused " << RefusalText(entry) << "\n";
  if (!problems.empty()) err << "Try 'quillogen --help'.\n";
}

// Writes one file, or names it with the system's reason on `err`.
bool WriteOrReport(const std::string& path, const std::string& bytes, std::ostream& err) {
  const WriteFailure failure = WriteFormFile(path, bytes);
  if (failure) err << "quillogen: cannot write " << path << ": " << *failure << "\n";
  return !failure;
}

int RunBatch(const std::vector<Argument>& read, std::vector<std::string> problems, std::ostream& err) {
  const BatchEntries entries = TakeEntries(read, problems);
  WizardSettings settings;
  const std::vector<Entry> refused = StoreAll(entries, settings);
  if (!problems.empty() || !refused.empty()) {
    Report(problems, refused, err);
    return kExitRefused;
  }
  // The settings file goes first: a form that names its recipients by an
  // alias is of no use without the file that defines it.
  if (settings.captcha == "altcha") settings.captcha_secret = DrawChallengeSecret();
  if (entries.settings_given && !WriteOrReport(entries.settings_file, RenderSiteSettings(settings), err))
    return kExitUnwritable;
  FormSections sections = entries.sections;
  sections.html5 = entries.style == "html5";
  if (!WriteOrReport(entries.output, RenderHtmlForm(settings, sections), err)) return kExitUnwritable;
  return kExitOk;
}

// "4, 0, 0, 0", as the version table writes it, becomes "4.0.0.0".
std::string DottedVersion(const std::string& version) {
  std::string dotted;
  for (char c : version) {
    if (c == ',') {
      dotted += '.';
    } else if (c != ' ') {
      dotted += c;
    }
  }
  return dotted;
}

}  // namespace

std::string UsageText() {
  return "Usage: quillogen [--screenshot-dir DIR]    open the form wizard\n"
         "       quillogen --batch -o FILE --url TEXT --to TEXT\n"
         "                 --success NAME --error NAME [OPTION]...\n"
         "                                           write the HTML form without a window\n"
         "       quillogen --help                    show this list\n"
         "       quillogen --version                 show the version\n"
         "\n"
         "Window:\n"
         "  --screenshot-dir DIR      save a picture of every page to DIR and quit\n"
         "\n"
         "Batch mode (the wizard's pages; every entry is checked as its page does;\n"
         "options marked * are required):\n"
         "  -o FILE                 * the form file to create or replace\n"
         "  --url TEXT              * page 1: address of quillopro.exe on the web server\n"
         "  --to TEXT               * page 2: recipients, separated by commas\n"
         "  --server TEXT             page 2: optional external mail server\n"
         "  --subject TEXT            page 3: subject, may hold ##FIELD## placeholders\n"
         "  --priority TEXT           page 3: mail priority (default Normal; High marks\n"
         "                            the mail)\n"
         "  --strip-empty             page 3: leave empty user fields out of the mail\n"
         "  --env-report              page 3: include the environment report\n"
         "  --format html|text        page 4: built-in mail format (default html)\n"
         "  --template NAME           page 4: use the mail template file NAME instead;\n"
         "                            excludes --format\n"
         "  --success NAME          * page 5: success document\n"
         "  --error NAME            * page 5: error document\n"
         "  --required NAME           page 5: required-field document\n"
         "  --no-email                page 6: leave out the Email field\n"
         "  --email-verify            page 6: check the Email field's address\n"
         "  --no-email-from           page 6: do not use the Email field as the sender\n"
         "  --address                 page 6: add the address form\n"
         "  --misc                    page 6: add the misc customer information\n"
         "  --comments                page 6: add the comments box\n"
         "  --sample-fields           page 6: add the sample input fields\n"
         "\n"
         "Batch mode only (the form carries these, the pages have no place for them):\n"
         "  --bademail NAME           document shown for an e-mail address that fails\n"
         "                            the check\n"
         "  --respond-template NAME   template of the automatic reply to the visitor\n"
         "  --respond-subject TEXT    subject of the automatic reply\n"
         "  --respond-from ADDRESS    sender of the automatic reply\n"
         "  --charset utf-8           write the form in UTF-8 instead of cp1252\n"
         "  --settings FILE           also write the settings of quillopro.exe, to go\n"
         "                            next to it as quillopro.ini; the form then names\n"
         "                            its recipients by an alias defined there\n"
         "  --captcha KIND            add a spam check the program verifies: altcha\n"
         "                            (its own challenge; put the widget's altcha.js\n"
         "                            next to the form), turnstile, hcaptcha or\n"
         "                            recaptcha; --settings writes its [captcha]\n"
         "  --captcha-site-key KEY    the provider's site key for the widget\n"
         "  --uploads                 take files: a file input, and --settings writes\n"
         "                            [uploads]\n"
         "  --style classic|html5     the page: as the window writes it (classic), or\n"
         "                            an HTML5 page in UTF-8, accessible and for phones;\n"
         "                            with --settings it also gets a honeypot field and\n"
         "                            posts by script for JSON answers\n"
         "\n"
         "Texts are read as UTF-8 and written to the form in cp1252 (unchanged with\n"
         "--charset utf-8).\n"
         "Exit status: 0 written, 1 a file cannot be written, 2 an entry or option\n"
         "refused (all of them are named).\n";
}

std::string VersionText() {
  const auto table = ParseKeyedTexts(kVersionTable);
  return "quillogen (" + table.at("ProductName") + ") " + DottedVersion(table.at("ProductVersion")) + "\n";
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   WindowOptions& window) {
  const std::vector<Argument> read = ReadArguments(args);
  bool batch = false;
  for (const Argument& argument : read) {
    if (argument.option == nullptr || !argument.problem.empty()) continue;
    if (argument.option->role == Role::kHelp) {
      out << UsageText();
      return kExitOk;
    }
    if (argument.option->role == Role::kVersion) {
      out << VersionText();
      return kExitOk;
    }
    if (argument.option->role == Role::kBatch) batch = true;
  }
  std::vector<std::string> problems = CommandLineProblems(read, batch);
  if (batch) return RunBatch(read, std::move(problems), err);
  if (!problems.empty()) {
    Report(problems, {}, err);
    return kExitRefused;
  }
  for (const Argument& argument : read) {
    if (argument.option->role == Role::kWindow) window.screenshot_dir = argument.value;
  }
  return kOpenWindow;
}

}  // namespace quillogen
