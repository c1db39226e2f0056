// The site's own settings: quillopro.ini next to the program, which the site
// owner writes and no form can override. Without the file every setting is
// unset and the program runs on the form's hidden fields alone.
//
// The file is INI text: sections [site], [aliases], [smtp], [captcha], [store], [webhook] and
// [uploads], "[section]"
// lines, "key = value" lines, and whole lines starting with ";" or "#" as comments. A value runs to the end
// of its line, so a subject may hold ";" or "#". CR LF line ends and a UTF-8 byte order mark are read as
// well. Every mistake is reported with its line: an unknown section or key, a key given twice, a value that
// does not parse. A setting is never silently left at its default.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "captcha/captcha_settings.h"
#include "core/system.h"
#include "core/text.h"
#include "delivery/outgoing_mail.h"
#include "store/store_settings.h"
#include "upload/upload_settings.h"
#include "webhook/webhook.h"

namespace quillo {

constexpr std::string_view kSettingsFileName = "quillopro.ini";
constexpr std::string_view kAllowListFileName = "recipients.txt";

enum class Switch { kUnset, kOn, kOff };
enum class RecipientsMatch { kSubstring, kAddress };

struct Alias {
  std::string name;  // lower case
  TextList addresses;
};

struct RateLimit {
  long posts = 0;
  long window_seconds = 0;
};

struct SiteSettings {
  bool present = false;  // quillopro.ini sets something: a file of comments alone changes nothing
  std::string source;    // the settings file read, for the log; empty when there was none
  std::vector<Alias> aliases;
  RecipientsMatch recipients_match = RecipientsMatch::kSubstring;
  std::string sender;
  bool reply_to_visitor = true;  // with a sender: the visitor's address in Reply-To
  std::string charset;           // lower case; empty, "form" or a mail charset
  Switch debug = Switch::kUnset;
  Switch autoreply = Switch::kUnset;
  std::optional<TextList> autoreply_templates;
  std::optional<std::string> autoreply_subject;
  std::string server;
  std::optional<TextList> documents;
  std::string honeypot;
  std::optional<RateLimit> rate_limit;
  std::string state_dir;
  std::optional<TextList> referers;  // lower-case host names
  bool allow_empty_referer = false;
  std::string success_redirect;
  std::string error_redirect;
  bool json = false;
  std::string log = "stderr";  // "stderr", "off" or an absolute path
  DeliverySettings delivery;   // [smtp]
  CaptchaSettings captcha;     // [captcha]
  StoreSettings store;         // [store]
  WebhookSettings webhook;     // [webhook]
  UploadSettings uploads;      // [uploads]
};

struct SettingsError {
  int line = 0;
  std::string message;
};

// The charsets a mail may declare: "iso-8859-1", "utf-8", "windows-1252".
bool IsMailCharset(std::string_view name);

// Reads the file's text. Pure.
std::variant<SiteSettings, SettingsError> ParseSiteSettings(std::string_view text);

// The alias of that name, matched whatever its case, or nullptr.
const Alias* FindAlias(const SiteSettings& settings, std::string_view name);

// The entry of a list of names (documents, templates) that is name,
// whatever its case, spelled as the list spells it; nullptr when none is.
const std::string* ListedName(const TextList& names, std::string_view name);

// The state files in state_dir: the rate limit's counts, and the site's
// own challenges that were solved.
std::string RateLimitFilePath(const SiteSettings& settings);
std::string SpentChallengesFilePath(const SiteSettings& settings);

// The files the program keeps for itself, which no form may read whatever
// name it gives: the settings file and the allow-list beside the program at
// program_path, and what the settings name (the DKIM key, the CA file, the
// log, the rate limit's state).
std::vector<std::string> ProgramOwnFiles(const SiteSettings& settings, const std::string& program_path);

// Where the DKIM key file is: dkim_key itself when absolute, else the file
// of that name beside the program at program_path.
std::string DkimKeyPath(const DeliverySettings& delivery, const std::string& program_path);

// quillopro.ini beside the program at program_path: unset settings when there
// is none, ends the run with ERROR 604 when it does not parse (or ERROR
// 600/601 when it cannot be read). The page names the file and the line;
// what is wrong with the line goes to the error log.
SiteSettings LoadSiteSettings(System& system, const std::string& program_path);

}  // namespace quillo
