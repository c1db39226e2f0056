// Building the FormRequest: the program's own path, the run's time stamps,
// the CGI variables and the URL-encoded body, sorted into control variables
// and user fields.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/form_request.h"
#include "core/keyed_hash.h"
#include "core/system.h"
#include "settings/site_settings.h"

namespace quillo {

// Trimmed, with the program's name, or its short form "quillo~1.exe", in any
// case written "quillopro.exe"; lower-cased as a whole where file names
// ignore case.
std::string NormaliseProgramPath(std::string_view argv0, bool file_names_ignore_case);

// The run's time stamp as "%ld" of its low 32 bits.
std::string FormatMuid(std::time_t now);

// "Tue, 08 Dec 2026 16:51:58 +0100": English names, zone east of UTC.
std::string FormatMailDate(const std::tm& local, long offset_east_seconds);

// CONTENT_LENGTH read as C's string-to-integer conversion reads it, held to
// the 32-bit range.
long ParseContentLength(std::string_view text);

// One pair of the body: "+" is a blank, "%XY" one byte. A "%" without two
// bytes behind it is kept as it stands. A decoded NUL ends the pair.
std::string UrlDecode(std::string_view pair);

// The ControlSettings field a decoded name sets, or nullptr for a user field.
std::string* ControlVariableField(ControlSettings& settings, std::string_view name);

// A form has tens of fields, a large survey hundreds; a post of more is
// built to make the program work (each field is a row of the mail, a name
// to look up and a placeholder to fill) and is refused once past this many.
constexpr std::size_t kMaxUserFields = 100000;

// Sorts decoded fields into the request, one at a time, whichever encoding
// the body came in: a control variable's value, a user field (in order of
// first appearance; a repeated user field joins its values with ", "), or
// nothing for an _I_ field. Ends the run with ERROR 310 at the first user
// field past kMaxUserFields.
class FieldCollector {
 public:
  FieldCollector(FormRequest& request, std::size_t expected_fields);
  // One pair as decoded from the body, split at its first "=".
  void Add(std::string name, std::string value);

 private:
  std::uint32_t IndexOf(std::string_view name, std::uint64_t hash) const;
  FormRequest& request_;
  // Each user-field name by its keyed hash, so that a body of many fields
  // stays linear whatever names an attacker picks.
  HashIndex index_;
};

// Decodes the body into control variables and user fields (in order of first
// appearance; a repeated user field joins its values with ", "). Ends the
// run with ERROR 310 at the first user field past kMaxUserFields.
void DecodeBodyIntoFields(std::string_view body, FormRequest& request);

// QUILLO_TO: trimmed in place, split at commas into trimmed, non-empty parts.
TextList SplitRecipients(std::string& to);

// A form post is text a visitor typed; a body larger than this is refused
// unread rather than held in memory.
constexpr long kMaxBodyBytes = 16 * 1024 * 1024;

// Whether a CONTENT_TYPE says multipart/form-data: a form with
// enctype="multipart/form-data", whose body is no URL-encoded field list.
bool IsMultipartForm(std::string_view content_type);

// The whole construction from the environment and standard input, with the
// site's settings read into site once the program's path is known. Ends the
// run with ERROR 700, ERROR 604 for settings that do not parse, the usage
// line, ERROR 305 or 306 for a body it does not read, ERROR 310 for too many
// fields, ERROR 701-706 or the
// silent exit.
FormRequest BuildFormRequest(std::string_view argv0, System& system, SiteSettings& site);

}  // namespace quillo
