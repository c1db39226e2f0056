#include "form_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "html5_form.h"
#include "text.h"

namespace quillogen {
namespace {

std::string HiddenField(const std::string& name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + EscapeAttribute(value) + "\">\n";
}

// Each provider's script and the class of its widget element.
struct CaptchaWidget {
  const char* name;
  const char* script;
  const char* element_class;
};
constexpr CaptchaWidget kHostedWidgets[] = {
    {"turnstile", "https://challenges.cloudflare.com/turnstile/v0/api.js", "cf-turnstile"},
    {"hcaptcha", "https://js.hcaptcha.com/1/api.js", "h-captcha"},
    {"recaptcha", "https://www.google.com/recaptcha/api.js", "g-recaptcha"},
};

// On the described page the widget stands on a line of its own.
std::string CaptchaElement(const WizardSettings& s) {
  const std::string element = CaptchaWidgetElement(s);
  return element.empty() ? element : "<br>" + element;
}

// Without a charset of its own the page declares iso-8859-1, as the window
// writes it; a page in UTF-8 also asks the browser to post in UTF-8.
std::string Head(const WizardSettings& s) {
  const std::string charset = EscapeAttribute(s.charset.empty() ? "iso-8859-1" : s.charset);
  const std::string accept = s.charset.empty() ? "" : " accept-charset=\"" + charset + "\"";
  return "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset +
         "\">\n"
         "<meta name=\"GENERATOR\" content=\"Tessik Quillo! Pro Wizard\">\n" +
         CaptchaScriptLine(s) +
         "</head>\n<body>\n"
         "<h1>Tessik Quillo! Pro Wizard Form</h1><br>\n"
         "<form action=\"" +
         EscapeAttribute(s.program_url) + "\" method=\"POST\" name=\"QUILLOPROFORM\"" + accept +
         (s.uploads ? " enctype=\"multipart/form-data\"" : "") + ">\n";
}

// Optional settings are written only when they differ from what the CGI
// program assumes anyway.
std::string HiddenFieldLines(const WizardSettings& s) {
  std::string out;
  // Browsers fill a hidden field of this name, left without a value, with
  // the encoding they post in; the CGI program declares it in the mail.
  if (!s.charset.empty()) out += "<input type=\"hidden\" name=\"_charset_\">\n";
  if (!s.mail_server.empty()) out += HiddenField("QUILLO_SERVER", s.mail_server);
  out += HiddenField("QUILLO_TO", s.recipients_alias.empty() ? s.recipients : s.recipients_alias);
  out += HiddenField("QUILLO_SUCCESS", s.success_document);
  out += HiddenField("QUILLO_ERROR", s.error_document);
  if (!s.mail_format.empty()) out += HiddenField("QUILLO_FORMAT", s.mail_format);
  if (!s.template_file.empty()) out += HiddenField("QUILLO_TEMPLATE", s.template_file);
  if (!s.subject.empty()) out += HiddenField("QUILLO_SUBJECT", s.subject);
  if (!s.required_document.empty()) out += HiddenField("QUILLO_REQUIRED", s.required_document);
  if (!s.bad_email_document.empty()) out += HiddenField("QUILLO_BADEMAIL", s.bad_email_document);
  if (s.priority == "HIGH") out += HiddenField("QUILLO_PRIORITY", s.priority);
  if (s.environment_report) out += HiddenField("QUILLO_ENVREPORT", "ON");
  if (s.strip_empty_fields) out += HiddenField("QUILLO_NOEMPTYFIELDS", "ON");
  if (!s.respond_template.empty()) out += HiddenField("RESPOND_TEMPLATE", s.respond_template);
  if (!s.respond_subject.empty()) out += HiddenField("RESPOND_SUBJECT", s.respond_subject);
  if (!s.respond_from.empty()) out += HiddenField("RESPOND_FROM", s.respond_from);
  return out;
}

// The prefix tells the CGI program to verify the address (_E_), to use it as
// the sender (_F_), or both (_FE_).
std::string EmailSection(const FormSections& f) {
  static const char* const kLines[2][2] = {
      {"<br>Email:<br> <input type=\"text\" size=\"35\" name=\"Email\" value=\"\">\n",
       "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_F_Email\" value=\"\">(from)\n"},
      {"<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_E_Email\" value=\"\">(verify)\n",
       "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_FE_Email\" value=\"\">(from,verify)\n"},
  };
  return std::string("<br><br><h2>Email</h2>\n") + kLines[f.email_verify][f.email_from];
}

const char kAddressSection[] =
    "<br><br><h2>Address Form</h2>\n"
    "<br>Name:<br> <input type=\"text\" size=\"35\" name=\"_R_Name\" value=\"\">(required)\n"
    "<br>First Name:<br> <input type=\"text\" size=\"35\" name=\"_R_FirstName\" value=\"\">(required)\n"
    "<br>Company:<br> <input type=\"text\" size=\"35\" name=\"Company\" value=\"\">\n"
    "<br>Street Address:<br> <input type=\"text\" size=\"35\" name=\"_R_Street\" value=\"\">(required)\n"
    "<br><input type=\"text\" size=\"35\" name=\"Street2\" value=\"\">\n"
    "<br>City:<br> <input type=\"text\" size=\"35\" name=\"_R_City\" value=\"\">(required)\n"
    "<br>State/Province:<br> <input type=\"text\" size=\"2\" name=\"State\" value=\"\">\n"
    "<br>Zip:<br> <input type=\"text\" size=\"5\" name=\"_R_Zip\" value=\"\">(required)\n"
    "<br>Country:<br> <input type=\"text\" size=\"35\" name=\"_R_Country\" value=\"\">(required)\n";

const char kMiscSection[] =
    "<br><br><h2>Misc Customer Information</h2>\n"
    "<br>Phone:<br> <input type=\"text\" size=\"35\" name=\"Phone\" value=\"\">\n"
    "<br>Fax:<br> <input type=\"text\" size=\"35\" name=\"Fax\" value=\"\">\n"
    "<br>Homepage:<br> <input type=\"text\" size=\"35\" name=\"Homepage\" value=\"\">\n"
    "<br>Reference:<br> <input type=\"text\" size=\"35\" name=\"Reference\" value=\"\">\n";

const char kCommentsSection[] =
    "<br><br><h2>Comments</h2>\n"
    "<br>Comments:<br><textarea name=\"Comments\" rows=\"5\" cols=\"20\"></textarea>\n";

const char kSampleSection[] =
    "<br><br><h2>Sample Fields</h2>\n"
    "<br>One line text box: <input type=\"text\" name=\"Onelinetextbox\">\n"
    "<br>Scrolling text box: <textarea name=\"Scrollingtextbox\" rows=\"3\" cols=\"30\"></textarea>\n"
    "<br>Check box: <input type=\"checkbox\" name=\"Checkbox\" value=\"ON\">ON\n"
    "<br>Radio buttons: <input type=\"radio\" checked name=\"Radiobutton\" value=\"A\">A \n"
    "<input type=\"radio\" name=\"Radiobutton\" value=\"B\">B \n"
    "<input type=\"radio\" name=\"Radiobutton\" value=\"C\">C \n"
    "<br>Drop-down menu: <select name=\"Dropdownmenu\" size=\"1\">\n<option selected>OPTION1</option>\n"
    "<option>OPTION2</option>\n<option>OPTION3</option>\n<option>OPTION4</option></select>\n";

// A form that takes files has a file input after its sections.
std::string FileField(const WizardSettings& s) {
  return s.uploads ? "<br>Files:<br> <input type=\"file\" name=\"Files\" multiple>\n" : "";
}

// Each section is followed by a break whether or not it is present.
std::string VisibleFields(const FormSections& f) {
  std::string out;
  if (f.email) out += EmailSection(f);
  out += "<br>\n";
  if (f.address) out += kAddressSection;
  out += "<br>\n";
  if (f.misc) out += kMiscSection;
  out += "<br>\n";
  if (f.comments) out += kCommentsSection;
  out += "<br>\n";
  if (f.sample_fields) out += kSampleSection;
  out += "<br>\n";
  return out;
}

// The system's text for `error`; a failure that set no error number still
// gets a reason.
std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }

// Only a plain file is removed: a device or a link at the path is not the
// wizard's to delete, and /dev/full must survive a failed write to it.
void RemovePartialFile(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::symlink_status(path, ignored).type() == std::filesystem::file_type::regular)
    std::filesystem::remove(path, ignored);
}

const char kTail[] =
    "<br><br><h2>Use a html editor to add/modify form fields here!</h2>"
    "<br><input type=\"submit\" name=\"_I_Submit\"><br><br>"
    "\n</form>\n</body>\n</html>\n";

}  // namespace

std::string RenderHiddenFields(const WizardSettings& settings) { return HiddenFieldLines(settings); }

std::string CaptchaScriptLine(const WizardSettings& s) {
  if (s.captcha == "altcha") return "<script async defer src=\"altcha.js\" type=\"module\"></script>\n";
  for (const CaptchaWidget& widget : kHostedWidgets) {
    if (s.captcha == widget.name)
      return std::string("<script src=\"") + widget.script + "\" async defer></script>\n";
  }
  return "";
}

std::string CaptchaWidgetElement(const WizardSettings& s) {
  if (s.captcha == "altcha")
    return "<altcha-widget challengeurl=\"" + EscapeAttribute(s.program_url + "?altcha") +
           "\"></altcha-widget>\n";
  for (const CaptchaWidget& widget : kHostedWidgets) {
    if (s.captcha == widget.name)
      return std::string("<div class=\"") + widget.element_class + "\" data-sitekey=\"" +
             EscapeAttribute(s.captcha_site_key) + "\"></div>\n";
  }
  return "";
}

std::string EscapeAttribute(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string RenderHtmlForm(const WizardSettings& settings, const FormSections& sections) {
  if (sections.html5) return RenderHtml5Form(settings, sections);
  return WithCrLf(Head(settings) + HiddenFieldLines(settings) + VisibleFields(sections) +
                  FileField(settings) + CaptchaElement(settings) + kTail);
}

WriteFailure WriteFormFile(const std::string& path, const std::string& bytes) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return Reason(errno);
  int error = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) error = errno;
  // A full disk may show only when the buffer is written out.
  if (std::fflush(file) != 0 && error == 0) error = errno;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (error == 0) return std::nullopt;
  RemovePartialFile(path);
  return Reason(error);
}

}  // namespace quillogen
