#include "site_settings.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <vector>

#include "text.h"

namespace quillogen {
namespace {

bool IsAliasCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
}

// The program reads a value to the end of its line, so a line break typed
// into the recipients would start a line of its own in the file, read as a
// setting; a blank stands in for it.
std::string OnOneLine(const std::string& value) {
  std::string line = value;
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

const char kHeader[] =
    "; Site settings of quillopro.exe, written by the form wizard quillogen.\n"
    "; Put this file next to quillopro.exe as quillopro.ini. What it sets holds\n"
    "; for every form of the site: a form cannot override it, and so neither\n"
    "; can a visitor who posts a changed copy of a form.\n"
    "\n";

const char kSiteSection[] =
    "[site]\n"
    "; A visitor cannot switch on the debug report, which shows the server's\n"
    "; paths and settings to whoever posts the form.\n"
    "debug = off\n"
    "; Each entry of recipients.txt must be a whole address or an @domain that\n"
    "; ends the recipient: @site.example no longer allows x@site.example.evil.test.\n"
    "recipients_match = address\n"
    "; Recommended: send as the site, from an address of your own domain, so\n"
    "; that receivers' SPF and DMARC checks pass; the visitor's address goes\n"
    "; into Reply-To. Set your address and remove the \";\".\n"
    ";sender = forms@your-domain.example\n";

const char kDocumentsComment[] =
    "; The only files a form may show or mail: a copy of the form cannot name\n"
    "; another file of the folder.\n";

const char kAliasesSection[] =
    "[aliases]\n"
    "; The form names its recipients by this alias, and mail goes only to the\n"
    "; alias's addresses, which no longer appear in the page.\n";

const char kOwnChallengeState[] =
    "; The folder that keeps the solved challenges (each is accepted once).\n"
    "; It must exist and the web server's user must write it; the Debian\n"
    "; package makes this one.\n"
    "state_dir = /var/lib/quillo\n";

const char kUploadsSection[] =
    "[uploads]\n"
    "; Files sent with the form go with the mail as attachments. Types are\n"
    "; told by name and content; programs, scripts, HTML and SVG never pass.\n"
    "max_file_size = 10 MB\n"
    "max_files = 5\n"
    "max_total_size = 10 MB\n";

// The [captcha] section matching the widget the form carries: a form that
// shows a widget the program does not check would stop no robot.
std::string CaptchaSection(const WizardSettings& s) {
  std::string section =
      "[captcha]\n"
      "; Every post must pass this check before mail goes out (ERROR 903\n"
      "; otherwise). Deleting the widget from a copy of the form does not help.\n"
      "provider = " +
      s.captcha + "\n";
  if (s.captcha == "altcha") {
    return section +
           "; The key that signs the challenges, drawn for this file: keep it to\n"
           "; yourself and the file unreadable to other users.\n"
           "secret = " +
           s.captcha_secret +
           "\n"
           "; How long a challenge may be solved and posted, and how hard it is.\n"
           "altcha_expires = 10 minutes\n"
           "altcha_max_number = 100000\n";
  }
  return section +
         "; Your secret key from the provider (not the site key the form shows).\n"
         "; Until it is set every post is refused and the log says\n"
         "; error-codes=invalid-input-secret.\n"
         "secret = paste-your-secret-key-here\n"
         ";min_score = 0.5\n"
         ";expected_hostname = www.your-domain.example\n";
}

// The names the form gives, each once, in the order of its hidden fields.
std::string ListOf(std::initializer_list<const std::string*> names) {
  std::vector<std::string> listed;
  for (const std::string* name : names) {
    const std::string line = Trim(OnOneLine(*name));
    if (!line.empty() && std::find(listed.begin(), listed.end(), line) == listed.end())
      listed.push_back(line);
  }
  std::string list;
  for (const std::string& name : listed) list += (list.empty() ? "" : ", ") + name;
  return list;
}

}  // namespace

std::string DrawChallengeSecret() {
  constexpr int kBytes = 32;
  std::random_device source;
  std::string hex;
  for (int i = 0; i < kBytes; ++i) {
    const unsigned byte = source() & 0xFF;
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 0x0F];
  }
  return hex;
}

std::string RecipientsAliasName(const std::string& form_path) {
  std::string alias;
  for (char c : std::filesystem::path(form_path).stem().string()) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (IsAliasCharacter(c)) alias += c;
  }
  return alias.empty() ? "form" : alias;
}

std::string RenderSiteSettings(const WizardSettings& settings) {
  const WizardSettings& s = settings;
  std::string site = kSiteSection;
  const std::string documents = ListOf({&s.success_document, &s.required_document, &s.bad_email_document,
                                        &s.error_document, &s.template_file});
  const std::string reply = ListOf({&s.respond_template});
  if (!documents.empty() || !reply.empty()) site += kDocumentsComment;
  if (!documents.empty()) site += "documents = " + documents + "\n";
  if (!reply.empty()) site += "autoreply_templates = " + reply + "\n";
  if (s.captcha == "altcha") site += kOwnChallengeState;
  if (!s.honeypot.empty())
    site +=
        "; The page's hidden field that people leave empty and robots fill: a\n"
        "; post with it filled gets the thank-you page and sends nothing.\n"
        "honeypot = " +
        s.honeypot + "\n";
  if (s.json)
    site +=
        "; The page's script asks for JSON answers and shows them in the page.\n"
        "json = on\n";
  const std::string uploads = s.uploads ? "\n" + std::string(kUploadsSection) : "";
  const std::string captcha = s.captcha.empty() ? "" : "\n" + CaptchaSection(s);
  return WithCrLf(std::string(kHeader) + site + "\n" + kAliasesSection + s.recipients_alias + " = " +
                  OnOneLine(s.recipients) + "\n" + captcha + uploads);
}

}  // namespace quillogen
