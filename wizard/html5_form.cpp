#include "html5_form.h"

#include <vector>

#include "form_writer.h"
#include "text.h"

namespace quillogen {
namespace {

// Readable type, touch targets of 44 CSS pixels (2.75rem), one column that
// never overflows a phone's width, and the reader's colour scheme.
const char kStyle[] =
    "<style>\n"
    ":root { color-scheme: light dark; }\n"
    "body { margin: 0 auto; max-width: 40rem; padding: 1rem; font: 1.0625rem/1.5 system-ui, sans-serif;"
    " color: #1a1a1a; background: #ffffff; }\n"
    "h1 { font-size: 1.6rem; }\n"
    "fieldset { margin: 0 0 1.25rem; padding: 0.5rem 1rem 1rem; border: 1px solid #767676;"
    " border-radius: 0.5rem; }\n"
    "legend { padding: 0 0.25rem; font-weight: 600; }\n"
    "label { display: block; margin: 0.75rem 0 0.25rem; }\n"
    "input, select, textarea, button { box-sizing: border-box; max-width: 100%; font: inherit; }\n"
    "input:not([type=checkbox]):not([type=radio]), select, textarea { display: block; width: 100%;"
    " min-height: 2.75rem; padding: 0.5rem; border: 1px solid #767676; border-radius: 0.25rem;"
    " color: inherit; background: transparent; }\n"
    ".choice { display: flex; align-items: center; gap: 0.5rem; min-height: 2.75rem; }\n"
    ".choice label { margin: 0; flex: 1; min-height: 2.75rem; display: flex; align-items: center; }\n"
    ".choice input { width: 1.5rem; height: 1.5rem; margin: 0; }\n"
    ".required { color: #a00000; }\n"
    ".hint { margin: 0.25rem 0 0; font-size: 0.9375rem; }\n"
    "button { min-height: 2.75rem; padding: 0.5rem 1.5rem; border: 0; border-radius: 0.25rem;"
    " color: #ffffff; background: #0b57d0; cursor: pointer; }\n"
    ".trap { position: absolute; left: -10000px; width: 1px; height: 1px; overflow: hidden; }\n"
    "@media (prefers-color-scheme: dark) {\n"
    "  body { color: #ececec; background: #121212; }\n"
    "  fieldset, input:not([type=checkbox]):not([type=radio]), select, textarea { border-color: #9e9e9e; }\n"
    "  .required { color: #ff8a80; }\n"
    "  button { background: #8ab4f8; color: #121212; }\n"
    "}\n"
    "</style>\n";

// One labelled control: what the visitor sees, the field's name as the CGI
// program reads it, its input type and autocomplete token.
struct Control {
  std::string id;
  std::string label;
  std::string name;
  std::string type = "text";
  std::string autocomplete;
  bool required = false;
};

std::string ControlLines(const Control& c) {
  std::string out = "<label for=\"" + c.id + "\">" + c.label;
  if (c.required) out += " <span class=\"required\">*</span>";
  out += "</label>\n<input type=\"" + c.type + "\" id=\"" + c.id + "\" name=\"" + c.name + "\"";
  if (!c.autocomplete.empty()) out += " autocomplete=\"" + c.autocomplete + "\"";
  if (c.required) out += " required aria-required=\"true\"";
  return out + ">\n";
}

std::string Fieldset(const std::string& legend, const std::vector<Control>& controls) {
  std::string out = "<fieldset>\n<legend>" + legend + "</legend>\n";
  for (const Control& c : controls) out += ControlLines(c);
  return out + "</fieldset>\n";
}

// The e-mail field's name carries what the program does with it, as on
// the described page: _E_ verifies it, _F_ makes it the sender.
std::string EmailFieldset(const FormSections& f) {
  static const char* const kNames[2][2] = {{"Email", "_F_Email"}, {"_E_Email", "_FE_Email"}};
  return Fieldset("Email", {{"f-email", "Email", kNames[f.email_verify][f.email_from], "email", "email"}});
}

std::string AddressFieldset() {
  return Fieldset("Address", {
                                 {"f-first-name", "First name", "_R_FirstName", "text", "given-name", true},
                                 {"f-name", "Name", "_R_Name", "text", "family-name", true},
                                 {"f-company", "Company", "Company", "text", "organization"},
                                 {"f-street", "Street address", "_R_Street", "text", "address-line1", true},
                                 {"f-street2", "Address line 2", "Street2", "text", "address-line2"},
                                 {"f-city", "City", "_R_City", "text", "address-level2", true},
                                 {"f-state", "State/Province", "State", "text", "address-level1"},
                                 {"f-zip", "Zip", "_R_Zip", "text", "postal-code", true},
                                 {"f-country", "Country", "_R_Country", "text", "country-name", true},
                             });
}

std::string MiscFieldset() {
  return Fieldset("More about you", {
                                        {"f-phone", "Phone", "Phone", "tel", "tel"},
                                        {"f-fax", "Fax", "Fax", "tel", "fax tel"},
                                        {"f-homepage", "Homepage", "Homepage", "url", "url"},
                                        {"f-reference", "Reference", "Reference", "text", ""},
                                    });
}

const char kCommentsFieldset[] =
    "<fieldset>\n<legend>Comments</legend>\n"
    "<label for=\"f-comments\">Comments</label>\n"
    "<textarea id=\"f-comments\" name=\"Comments\" rows=\"5\"></textarea>\n"
    "</fieldset>\n";

std::string Choice(const std::string& type, const std::string& id, const std::string& name,
                   const std::string& value, const std::string& label, bool checked) {
  return "<div class=\"choice\"><input type=\"" + type + "\" id=\"" + id + "\" name=\"" + name +
         "\" value=\"" + value + "\"" + (checked ? " checked" : "") + "><label for=\"" + id + "\">" + label +
         "</label></div>\n";
}

std::string SampleFieldset() {
  std::string out =
      "<fieldset>\n<legend>Sample fields</legend>\n"
      "<label for=\"f-one-line\">One line text box</label>\n"
      "<input type=\"text\" id=\"f-one-line\" name=\"Onelinetextbox\">\n"
      "<label for=\"f-scrolling\">Scrolling text box</label>\n"
      "<textarea id=\"f-scrolling\" name=\"Scrollingtextbox\" rows=\"3\"></textarea>\n" +
      Choice("checkbox", "f-checkbox", "Checkbox", "ON", "Check box", false) +
      "<fieldset>\n<legend>Radio buttons</legend>\n" +
      Choice("radio", "f-radio-a", "Radiobutton", "A", "A", true) +
      Choice("radio", "f-radio-b", "Radiobutton", "B", "B", false) +
      Choice("radio", "f-radio-c", "Radiobutton", "C", "C", false) +
      "</fieldset>\n"
      "<label for=\"f-dropdown\">Drop-down menu</label>\n"
      "<select id=\"f-dropdown\" name=\"Dropdownmenu\">\n"
      "<option selected>OPTION1</option>\n<option>OPTION2</option>\n<option>OPTION3</option>\n"
      "<option>OPTION4</option>\n</select>\n"
      "</fieldset>\n";
  return out;
}

// The files a site with [uploads] takes, as its defaults are.
const char kFilesFieldset[] =
    "<fieldset>\n<legend>Files</legend>\n"
    "<label for=\"f-files\">Files to send with your message</label>\n"
    "<input type=\"file\" id=\"f-files\" name=\"Files\" multiple"
    " accept=\".pdf,.png,.jpg,.gif,.webp,.txt,.csv,.docx,.xlsx,.odt,.ods,.zip\""
    " aria-describedby=\"f-files-hint\">\n"
    "<p class=\"hint\" id=\"f-files-hint\">Up to 5 files of 10 MB in all: PDF, pictures (PNG, JPEG, GIF, "
    "WebP),"
    " text, CSV, office documents or ZIP.</p>\n"
    "</fieldset>\n";

// A field people leave empty and robots fill: out of sight and of the tab
// order, and its label tells a screen reader's user to leave it.
std::string HoneypotField(const WizardSettings& s) {
  return "<div class=\"trap\">\n<label for=\"f-trap\">Leave this field empty</label>\n"
         "<input type=\"text\" id=\"f-trap\" name=\"" +
         EscapeAttribute(s.honeypot) + "\" tabindex=\"-1\" autocomplete=\"off\">\n</div>\n";
}

// Progressive enhancement: without the script the form posts as any form
// does; with it the post goes by fetch, asks for JSON, and the answer is
// read out in the live region. Files go as multipart/form-data, fields
// alone URL-encoded, as the program reads them without [uploads].
std::string JsonScript(bool uploads) {
  return std::string(
             "<script>\n"
             "document.querySelector('form').addEventListener('submit', async (event) => {\n"
             "  event.preventDefault();\n"
             "  const form = event.target;\n"
             "  const status = document.getElementById('form-status');\n"
             "  status.textContent = 'Sending\xE2\x80\xA6';\n"
             "  try {\n"
             "    const fields = new FormData(form);\n") +
         (uploads ? "    const body = fields;\n" : "    const body = new URLSearchParams(fields);\n") +
         "    const response = await fetch(form.action, { method: 'POST', body,"
         " headers: { Accept: 'application/json' } });\n"
         "    const answer = await response.json();\n"
         "    status.textContent = answer.ok ? 'Thank you: your message was sent.' : answer.error;\n"
         "    if (answer.ok) form.reset();\n"
         "  } catch (error) {\n"
         "    form.submit();\n"
         "  }\n"
         "});\n"
         "</script>\n";
}

bool HasRequiredFields(const FormSections& f) { return f.address; }

}  // namespace

std::string RenderHtml5Form(const WizardSettings& settings, const FormSections& sections) {
  const WizardSettings& s = settings;
  const FormSections& f = sections;
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Contact form</title>\n";
  page += kStyle;
  page += CaptchaScriptLine(s);
  page += "</head>\n<body>\n<main>\n<h1>Contact form</h1>\n";
  if (HasRequiredFields(f)) page += "<p>Fields marked <span class=\"required\">*</span> are required.</p>\n";
  page += "<form action=\"" + EscapeAttribute(s.program_url) + "\" method=\"post\" accept-charset=\"utf-8\"";
  if (s.uploads) page += " enctype=\"multipart/form-data\"";
  page += ">\n";
  // The hidden fields of the described page; in UTF-8 they start with
  // _charset_, which the browser fills.
  WizardSettings utf8 = s;
  utf8.charset = "utf-8";
  page += RenderHiddenFields(utf8);
  if (f.email) page += EmailFieldset(f);
  if (f.address) page += AddressFieldset();
  if (f.misc) page += MiscFieldset();
  if (f.comments) page += kCommentsFieldset;
  if (f.sample_fields) page += SampleFieldset();
  if (s.uploads) page += kFilesFieldset;
  if (!s.honeypot.empty()) page += HoneypotField(s);
  page += CaptchaWidgetElement(s);
  page += "<button type=\"submit\" name=\"_I_Submit\" value=\"Send\">Send</button>\n</form>\n";
  if (s.json) page += "<p id=\"form-status\" role=\"status\" aria-live=\"polite\"></p>\n";
  page += "</main>\n";
  if (s.json) page += JsonScript(s.uploads);
  page += "</body>\n</html>\n";
  return WithCrLf(page);
}

}  // namespace quillogen
