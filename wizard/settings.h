// The wizard's settings record and the section choice of its last page.
//
// Texts hold 8-bit bytes in cp1252, which browsers read and send for the
// page's declared iso-8859-1, or UTF-8 when `charset` says so; the form
// writer inserts them as they are held.
#ifndef QUILLOGEN_SETTINGS_H_
#define QUILLOGEN_SETTINGS_H_

#include <string>

namespace quillogen {

// Filled by the Next handlers of pages 1 to 5, and by the batch mode, which
// also fills the fields that no page has; read only when the form is
// written. Every run starts with all texts empty and both flags clear.
struct WizardSettings {
  std::string program_url;          // the form's action
  std::string recipients;           // QUILLO_TO
  bool environment_report = false;  // QUILLO_ENVREPORT
  std::string priority;             // QUILLO_PRIORITY, written only when "HIGH"
  bool strip_empty_fields = false;  // QUILLO_NOEMPTYFIELDS
  std::string subject;              // QUILLO_SUBJECT
  std::string mail_format;          // QUILLO_FORMAT: "HTML", "TEXT" or empty
  std::string template_file;        // QUILLO_TEMPLATE
  std::string success_document;     // QUILLO_SUCCESS
  std::string required_document;    // QUILLO_REQUIRED
  std::string error_document;       // QUILLO_ERROR
  std::string mail_server;          // QUILLO_SERVER
  // Batch mode only: the form can carry them, the pages have no place for them.
  std::string bad_email_document;  // QUILLO_BADEMAIL
  std::string respond_template;    // RESPOND_TEMPLATE
  std::string respond_subject;     // RESPOND_SUBJECT
  std::string respond_from;        // RESPOND_FROM
  // Empty: the page declares iso-8859-1. "utf-8": the texts are UTF-8, the
  // page declares it, and the browser names it in the _charset_ field.
  std::string charset;
  // Not empty: QUILLO_TO names this alias of the site settings file instead
  // of the addresses, which then appear only in that file.
  std::string recipients_alias;
  // Batch mode only: the spam check the form carries the widget of, empty
  // for none, else "altcha" (the program's own challenge), "turnstile",
  // "hcaptcha" or "recaptcha" with the provider's site key.
  std::string captcha;
  std::string captcha_site_key;
  // The settings file's key for the program's own challenges, drawn once
  // per file.
  std::string captcha_secret;
  // Batch mode only: the form takes files (enctype="multipart/form-data"
  // and a file input; [uploads] in the settings file).
  bool uploads = false;
  // The modern page with its settings file: the honeypot field's name, and
  // whether the site answers scripts in JSON.
  std::string honeypot;
  bool json = false;
};

// The honeypot field of the modern page with its settings file: a name
// robots fill in.
constexpr const char* kHoneypotField = "website";

// The visible sections of the form, as chosen by the check boxes of the last
// page. The two e-mail options count only while `email` is chosen.
struct FormSections {
  bool email = true;
  bool email_verify = false;
  bool email_from = true;
  bool address = false;
  bool misc = false;
  bool comments = false;
  bool sample_fields = false;
  // "Write an HTML5 page": the modern style instead of the described page.
  bool html5 = false;
};

}  // namespace quillogen

#endif  // QUILLOGEN_SETTINGS_H_
