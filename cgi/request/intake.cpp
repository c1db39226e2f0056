// CGI request intake; see intake.h.
#include "request/intake.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "captcha/captcha_check.h"
#include "core/keyed_hash.h"
#include "core/messages.h"
#include "core/run_end.h"
#include "core/text.h"
#include "documents/names.h"
#include "request/multipart_intake.h"
#include "response/pages.h"
#include "settings/site_settings.h"

namespace quillo {
namespace {

int HexValue(unsigned char byte) {
  // Bytes from 0x80 on count as below "A": the arithmetic is that of a
  // signed char, and whatever it gives for a non-digit is kept.
  const bool letter_range = byte >= 'A' && byte < 0x80;
  return letter_range ? (byte & ~0x20) - 55 : byte - 48;
}

// The CGI variables copied into the record, in the order they are read.
void CopyCgiVariables(const System& system, FormRequest& request) {
  const std::pair<const char*, std::string*> variables[] = {
      {"HTTP_USER_AGENT", &request.http_user_agent}, {"REQUEST_METHOD", &request.request_method},
      {"SCRIPT_NAME", &request.script_name},         {"REMOTE_HOST", &request.remote_host},
      {"REMOTE_ADDR", &request.remote_addr},         {"REMOTE_USER", &request.remote_user},
      {"CONTENT_TYPE", &request.content_type},       {"REMOTE_IDENT", &request.remote_ident},
      {"SERVER_NAME", &request.server_name},
  };
  for (const auto& [name, field] : variables) *field = system.GetEnv(name).value_or("");
}

// With the site's lists, a form may name only what they list: the reply's
// template from autoreply_templates (or documents), every other file from
// documents; a listed name, in whatever case the form writes it, opens the
// file the list names. With settings and no list, only names of documents.
void ResolveDocuments(FormRequest& request, const SiteSettings& site) {
  ControlSettings& s = request.settings;
  for (std::string* doc : {&s.success_doc, &s.required_doc, &s.bad_email_doc, &s.error_doc,
                           &s.respond_template_doc, &s.template_doc, &s.reject_email_doc}) {
    const std::string name = Trimmed(*doc);
    *doc = ResolveDocumentName(request, name);
    if (doc->empty()) continue;
    const bool reply = doc == &s.respond_template_doc && site.autoreply_templates;
    const std::optional<TextList>& allowed = reply ? site.autoreply_templates : site.documents;
    if (allowed) {
      const std::string* listed = ListedName(*allowed, name);
      if (listed == nullptr) WriteErrorPage(Error706NotListed(name));
      *doc = SiteFilePath(request.program_path, *listed);
    } else if (site.present && !HasDocumentExtension(name)) {
      WriteErrorPage(Error706NotListed(name));
    }
  }
  s.allow_list_path = SiteFilePath(request.program_path, kAllowListFileName);
}

std::string CurrentMailDate(const System& system, std::time_t now) {
  const auto local = system.ToLocalTime(now);
  // Without a local time only the zone part remains.
  if (!local) return "+0000";
  return FormatMailDate(local->fields, local->offset_east_seconds);
}

}  // namespace

std::string NormaliseProgramPath(std::string_view argv0, bool file_names_ignore_case) {
  std::string path = Trimmed(argv0);
  if (file_names_ignore_case) ToLower(path);
  ReplaceAllIgnoringCase(path, "quillo~1.exe", "quillopro.exe");
  ReplaceAllIgnoringCase(path, "quillopro.exe", "quillopro.exe");
  return path;
}

std::string FormatMuid(std::time_t now) {
  const auto low32 = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(now)));
  return std::to_string(low32);
}

std::string FormatMailDate(const std::tm& local, long offset_east_seconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string date;
  if (local.tm_wday >= 0 && local.tm_wday < 7 && local.tm_mon >= 0 && local.tm_mon < 12) {
    char formatted[64];
    std::snprintf(formatted, sizeof formatted, "%s, %02d %s %04d %02d:%02d:%02d ", kDays[local.tm_wday],
                  local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec);
    date = formatted;
  }
  const long offset_minutes = offset_east_seconds / 60;
  const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char zone[48];
  std::snprintf(zone, sizeof zone, "%c%02ld%02ld", offset_minutes >= 0 ? '+' : '-', magnitude / 60,
                magnitude % 60);
  return date + zone;
}

long ParseContentLength(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) value = static_cast<long long>(INT32_MAX) + 1;  // saturate, keep going
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  return static_cast<long>(value);
}

std::string UrlDecode(std::string_view pair) {
  std::string decoded;
  decoded.reserve(pair.size());
  for (std::size_t i = 0; i < pair.size(); ++i) {
    const char c = pair[i];
    if (c == '+') {
      decoded.push_back(' ');
    } else if (c == '%' && i + 2 < pair.size()) {
      const int value = HexValue(static_cast<unsigned char>(pair[i + 1])) * 16 +
                        HexValue(static_cast<unsigned char>(pair[i + 2]));
      decoded.push_back(static_cast<char>(static_cast<unsigned>(value) & 0xFF));
      i += 2;
    } else {
      decoded.push_back(c);
    }
  }
  CutAtNul(decoded);
  return decoded;
}

std::string* ControlVariableField(ControlSettings& s, std::string_view name) {
  const std::pair<std::string_view, std::string*> table[] = {
      {"QUILLO_SERVER", &s.server},
      {"QUILLO_FROM", &s.from},
      {"QUILLO_TO", &s.to},
      {"QUILLO_SUBJECT", &s.subject},
      {"QUILLO_SUCCESS", &s.success_doc},
      {"QUILLO_REQUIRED", &s.required_doc},
      {"QUILLO_ERROR", &s.error_doc},
      {"QUILLO_DEBUG", &s.debug},
      {"QUILLO_HELO", &s.helo},
      {"QUILLO_ENVREPORT", &s.env_report},
      {"QUILLO_BADEMAIL", &s.bad_email_doc},
      {"QUILLO_NOEMPTYFIELDS", &s.no_empty_fields},
      {"RESPOND_TEMPLATE", &s.respond_template_doc},
      {"RESPOND_FROM", &s.respond_from},
      {"RESPOND_SUBJECT", &s.respond_subject},
      {"QUILLO_TEMPLATE", &s.template_doc},
      {"QUILLO_PRIORITY", &s.priority},
      {"RESPOND_PRIORITY", &s.respond_priority},
      {"QUILLO_FORMAT", &s.format},
      {"QUILLO_FROMFRIENDLY", &s.from_friendly},
      {"RESPOND_FROMFRIENDLY", &s.respond_from_friendly},
      {"QUILLO_REJECTEMAIL", &s.reject_email_doc},
      {"_charset_", &s.form_charset},
  };
  for (const auto& [control_name, field] : table) {
    if (control_name == name) return field;
  }
  return nullptr;
}

FieldCollector::FieldCollector(FormRequest& request, std::size_t expected_fields)
    : request_(request), index_(request.field_names.size() + expected_fields) {
  // Room for every field the body can hold, up to the bound: the lists then
  // never grow by doubling, which would hold them twice at the end.
  const std::size_t expected = request.field_names.size() + std::min(expected_fields, kMaxUserFields + 1);
  request.field_names.reserve(expected);
  request.field_values.reserve(expected);
  for (std::size_t i = 0; i < request.field_names.size(); ++i) {
    const std::uint64_t hash = KeyedHash(request.field_names[i]);
    if (IndexOf(request.field_names[i], hash) == HashIndex::kNotFound)
      index_.Insert(hash, static_cast<std::uint32_t>(i));
  }
}

std::uint32_t FieldCollector::IndexOf(std::string_view name, std::uint64_t hash) const {
  return index_.Find(hash, [&](std::uint32_t i) { return request_.field_names[i] == name; });
}

void FieldCollector::Add(std::string name, std::string value) {
  if (StartsWith(name, "_I_")) return;
  if (std::string* field = ControlVariableField(request_.settings, name)) {
    *field = std::move(value);
    return;
  }
  const std::uint64_t hash = KeyedHash(name);
  const std::uint32_t known = IndexOf(name, hash);
  if (known != HashIndex::kNotFound) {
    std::string& existing = request_.field_values[known];
    existing += ", ";
    existing += value;
    return;
  }
  if (request_.field_names.size() >= kMaxUserFields) WriteErrorPage(Error310TooManyFields(kMaxUserFields));
  index_.Insert(hash, static_cast<std::uint32_t>(request_.field_names.size()));
  request_.field_names.push_back(std::move(name));
  request_.field_values.push_back(std::move(value));
}

void DecodeBodyIntoFields(std::string_view body, FormRequest& request) {
  const std::size_t pairs = static_cast<std::size_t>(std::count(body.begin(), body.end(), '&')) + 1;
  FieldCollector fields(request, std::min(pairs, kMaxUserFields + 1));
  std::size_t from = 0;
  while (from < body.size()) {
    std::size_t amp = body.find('&', from);
    if (amp == std::string_view::npos) amp = body.size();
    // The value is what is left of the decoded pair once the name is cut
    // off its front: a value of megabytes is not copied.
    std::string value = UrlDecode(body.substr(from, amp - from));
    from = amp + 1;
    const std::size_t eq = value.find('=');
    std::string name = value.substr(0, eq);
    value.erase(0, eq == std::string::npos ? value.size() : eq + 1);
    fields.Add(std::move(name), std::move(value));
  }
}

bool IsMultipartForm(std::string_view content_type) {
  constexpr std::string_view kMultipart = "multipart/form-data";
  return LowerCopy(Trimmed(content_type)).compare(0, kMultipart.size(), kMultipart) == 0;
}

TextList SplitRecipients(std::string& to) {
  Trim(to);
  TextList recipients;
  for (std::string_view piece : Split(to, ',')) {
    std::string address = Trimmed(piece);
    if (!address.empty()) recipients.push_back(std::move(address));
  }
  return recipients;
}

namespace {

// "GET quillopro.exe?altcha" where the site issues its own challenges.
bool IsChallengeRequest(const SiteSettings& site, const System& system) {
  return site.captcha.provider == CaptchaProvider::kAltcha &&
         system.GetEnv("REQUEST_METHOD").value_or("") == "GET" &&
         system.GetEnv("QUERY_STRING").value_or("") == "altcha";
}

}  // namespace

FormRequest BuildFormRequest(std::string_view argv0, System& system, SiteSettings& site) {
  FormRequest request;
  request.program_path = NormaliseProgramPath(argv0, system.FileNamesIgnoreCase());
  if (request.program_path.find("quillopro.exe") == std::string::npos) {
    WriteErrorPage(Error700WrongProgramName(LowerCopy(request.program_path)));
  }
  site = LoadSiteSettings(system, request.program_path);
  if (IsChallengeRequest(site, system)) {
    EndRun({"Content-Type: application/json\nCache-Control: no-store\n\n" +
                IssueAltchaChallenge(site.captcha, system.Now()),
            0, AnswerKind::kChallenge});
  }
  const std::time_t now = system.Now();
  request.muid = FormatMuid(now);
  request.make_date = [&system, now] { return CurrentMailDate(system, now); };

  const auto content_length = system.GetEnv("CONTENT_LENGTH");
  if (!content_length) WriteUsageLine(system.GetEnv("GATEWAY_INTERFACE").has_value());
  CopyCgiVariables(system, request);
  request.content_length = ParseContentLength(*content_length);
  request.auth_type = system.GetEnv("AUTH_TYPE").value_or("");

  // A negative length is no body at all.
  request.uploads = site.uploads.enabled;
  request.list_files = site.uploads.list_files;
  if (request.content_length > 0 && IsMultipartForm(request.content_type)) {
    if (!site.uploads.enabled) WriteErrorPage(Error305NotUrlEncoded());
    ReadMultipartBody(system, site.uploads, request);
    request.settings.recipients = SplitRecipients(request.settings.to);
  } else if (request.content_length > 0) {
    // One byte more than the bound tells a body that is too large.
    auto body = system.ReadStdinLine(std::min(request.content_length, kMaxBodyBytes + 1));
    if (!body) EndRun({"", -1});
    if (static_cast<long>(body->size()) > kMaxBodyBytes)
      WriteErrorPage(Error306RequestTooLarge(kMaxBodyBytes));
    // The body is a text: a raw NUL byte ends it.
    CutAtNul(*body);
    DecodeBodyIntoFields(*body, request);
    request.settings.recipients = SplitRecipients(request.settings.to);
  }
  Trim(request.settings.server);
  ResolveDocuments(request, site);
  return request;
}

}  // namespace quillo
