// The one record of a run: who started the program, what the web server and
// the form sent, the settings derived from the control variables, and the
// mail bodies composed from them. Built once by the intake, then filled in
// by the pipeline in its fixed order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/text.h"

namespace quillo {

// Control-variable values; the *_doc fields hold resolved paths after intake.
struct ControlSettings {
  std::string server;                 // QUILLO_SERVER, trimmed
  std::string to;                     // QUILLO_TO
  std::string subject;                // QUILLO_SUBJECT
  std::string success_doc;            // QUILLO_SUCCESS
  std::string required_doc;           // QUILLO_REQUIRED
  std::string error_doc;              // QUILLO_ERROR
  std::string format;                 // QUILLO_FORMAT
  std::string template_doc;           // QUILLO_TEMPLATE
  TextList autoreply_recipients;      // values of _EF_ / _FE_ fields
  std::string respond_from;           // RESPOND_FROM
  std::string respond_from_friendly;  // RESPOND_FROMFRIENDLY
  std::string respond_subject;        // RESPOND_SUBJECT
  std::string respond_template_doc;   // RESPOND_TEMPLATE
  std::string respond_priority;       // RESPOND_PRIORITY
  std::string from;                   // QUILLO_FROM or a sender field
  std::string from_friendly;          // QUILLO_FROMFRIENDLY
  std::string priority;               // QUILLO_PRIORITY
  std::string helo;                   // QUILLO_HELO
  std::string debug;                  // QUILLO_DEBUG
  std::string env_report;             // QUILLO_ENVREPORT
  std::string bad_email_doc;          // QUILLO_BADEMAIL
  std::string no_empty_fields;        // QUILLO_NOEMPTYFIELDS
  TextList recipients;                // split from `to`
  std::string reject_email_doc;       // QUILLO_REJECTEMAIL
  std::string allow_list_path;        // "recipients.txt" next to the program
  TextList allowed_recipients;        // entries of the allow-list file
  std::string form_charset;           // _charset_, which browsers fill with the page's encoding
};

// A file the visitor sent with the form, as the mail carries it: its cleaned
// name, the type its first bytes showed, and its bytes. Once the main mail
// has taken the bytes, the record keeps the rest for the log and the store.
struct Attachment {
  std::string name;
  std::string content_type;
  std::size_t size = 0;
  std::string bytes;
};

// A file as the mail's text names it: "name (size bytes)".
inline std::string DescribedFile(const Attachment& file) {
  return file.name + " (" + std::to_string(file.size) + " bytes)";
}

struct FormRequest {
  std::string program_path;
  std::string http_user_agent;
  std::string request_method;
  std::string script_name;
  std::string remote_host;
  std::string remote_addr;
  std::string remote_user;
  std::string server_name;
  std::string remote_ident;
  std::string content_type;
  std::string auth_type;
  std::string muid;
  // The local time of the run in mail form (RFC 5322 3.3), made on first
  // use by MailDateOf: the time zone is read from the system's files, and
  // most pages show no date.
  mutable std::string date;
  mutable std::function<std::string()> make_date;
  long content_length = 0;
  ControlSettings settings;
  TextList field_names;
  TextList field_values;
  std::string mail_text;
  std::string mail_html;
  std::string respond_text;
  std::string respond_html;
  std::string charset = "iso-8859-1";  // declared for the mail's text
  // A quillopro.ini that sets something: then the program's own placeholder
  // names (DATE, the CGI variables, QUILLO_*, RESPOND_*) are its own, and
  // no user field fills them (without settings a user field of such a name
  // comes first); and the built-in layouts are valid HTML and a text part
  // that says the same.
  bool site_settings = false;
  // The site takes files with its forms: then QUILLO_FILES lists them.
  bool uploads = false;
  std::vector<Attachment> attachments;
  std::string files_list;   // QUILLO_FILES: one line per file, its name and size
  bool list_files = false;  // the built-in layouts list the files after the fields
};

// The run's mail date, made the first time it is asked for.
inline const std::string& MailDateOf(const FormRequest& request) {
  if (request.date.empty() && request.make_date) {
    request.date = request.make_date();
    request.make_date = nullptr;
  }
  return request.date;
}

}  // namespace quillo
