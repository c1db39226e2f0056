// Whole form files, and the batch mode's site settings file, as the wizard
// must write them, shared by the tests of the form writer, the pages and the
// batch mode.
#ifndef QUILLOGEN_TESTS_EXPECTED_FORMS_H_
#define QUILLOGEN_TESTS_EXPECTED_FORMS_H_

#include <initializer_list>
#include <string>
#include <vector>

namespace quillogen_test {

// Joins lines, each ended by CR LF.
inline std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

inline std::string FormHead(const std::string& action) {
  return CrLfLines({"<html>", "<head>",
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">",
                    "<meta name=\"GENERATOR\" content=\"Tessik Quillo! Pro Wizard\">", "</head>", "<body>",
                    "<h1>Tessik Quillo! Pro Wizard Form</h1><br>",
                    "<form action=\"" + action + "\" method=\"POST\" name=\"QUILLOPROFORM\">"});
}

// The head of a form written in UTF-8: declared in the page and asked of the
// browser, which names it in the _charset_ field that opens the hidden block.
inline std::string Utf8FormHead(const std::string& action) {
  return CrLfLines(
      {"<html>", "<head>", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
       "<meta name=\"GENERATOR\" content=\"Tessik Quillo! Pro Wizard\">", "</head>", "<body>",
       "<h1>Tessik Quillo! Pro Wizard Form</h1><br>",
       "<form action=\"" + action + "\" method=\"POST\" name=\"QUILLOPROFORM\" accept-charset=\"utf-8\">",
       "<input type=\"hidden\" name=\"_charset_\">"});
}

inline std::string FormTail() {
  return CrLfLines(
      {"<br><br><h2>Use a html editor to add/modify form fields here!</h2>"
       "<br><input type=\"submit\" name=\"_I_Submit\"><br><br>",
       "</form>", "</body>", "</html>"});
}

inline std::string Hidden(const std::string& name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + value + "\">";
}

// The form written when only the address, the recipients and the two
// documents were entered and everything else kept its default; the lines of
// `extra_hidden` follow the four hidden fields.
inline std::string DefaultsForm(const std::string& action, const std::string& to, const std::string& success,
                                const std::string& error,
                                std::initializer_list<std::string> extra_hidden = {}) {
  return FormHead(action) +
         CrLfLines({Hidden("QUILLO_TO", to), Hidden("QUILLO_SUCCESS", success), Hidden("QUILLO_ERROR", error),
                    Hidden("QUILLO_FORMAT", "HTML")}) +
         CrLfLines(extra_hidden) +
         CrLfLines({"<br><br><h2>Email</h2>",
                    "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_F_Email\" value=\"\">(from)",
                    "<br>", "<br>", "<br>", "<br>", "<br>"}) +
         FormTail();
}

// The site settings file whose alias line is `alias_line`.
// documents_lines: the documents and autoreply_templates lines, if any.
inline std::string SiteSettingsFile(const std::string& alias_line,
                                    const std::vector<std::string>& documents_lines = {}) {
  std::vector<std::string> lines = {
      "; Site settings of quillopro.exe, written by the form wizard quillogen.",
      "; Put this file next to quillopro.exe as quillopro.ini. What it sets holds",
      "; for every form of the site: a form cannot override it, and so neither",
      "; can a visitor who posts a changed copy of a form.",
      "",
      "[site]",
      "; A visitor cannot switch on the debug report, which shows the server's",
      "; paths and settings to whoever posts the form.",
      "debug = off",
      "; Each entry of recipients.txt must be a whole address or an @domain that",
      "; ends the recipient: @site.example no longer allows x@site.example.evil.test.",
      "recipients_match = address",
      "; Recommended: send as the site, from an address of your own domain, so",
      "; that receivers' SPF and DMARC checks pass; the visitor's address goes",
      "; into Reply-To. Set your address and remove the \";\".",
      ";sender = forms@your-domain.example",
  };
  if (!documents_lines.empty()) {
    lines.push_back("; The only files a form may show or mail: a copy of the form cannot name");
    lines.push_back("; another file of the folder.");
    lines.insert(lines.end(), documents_lines.begin(), documents_lines.end());
  }
  for (const char* line :
       {"", "[aliases]", "; The form names its recipients by this alias, and mail goes only to the",
        "; alias's addresses, which no longer appear in the page."})
    lines.push_back(line);
  lines.push_back(alias_line);
  return CrLfLines(lines);
}

// Every section after the hidden fields, with the e-mail field verified and
// used as the sender.
inline std::string AllSections() {
  return CrLfLines({
      "<br><br><h2>Email</h2>",
      "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_FE_Email\" value=\"\">(from,verify)",
      "<br>",
      "<br><br><h2>Address Form</h2>",
      "<br>Name:<br> <input type=\"text\" size=\"35\" name=\"_R_Name\" value=\"\">(required)",
      "<br>First Name:<br> <input type=\"text\" size=\"35\" name=\"_R_FirstName\" value=\"\">(required)",
      "<br>Company:<br> <input type=\"text\" size=\"35\" name=\"Company\" value=\"\">",
      "<br>Street Address:<br> <input type=\"text\" size=\"35\" name=\"_R_Street\" value=\"\">(required)",
      "<br><input type=\"text\" size=\"35\" name=\"Street2\" value=\"\">",
      "<br>City:<br> <input type=\"text\" size=\"35\" name=\"_R_City\" value=\"\">(required)",
      "<br>State/Province:<br> <input type=\"text\" size=\"2\" name=\"State\" value=\"\">",
      "<br>Zip:<br> <input type=\"text\" size=\"5\" name=\"_R_Zip\" value=\"\">(required)",
      "<br>Country:<br> <input type=\"text\" size=\"35\" name=\"_R_Country\" value=\"\">(required)",
      "<br>",
      "<br><br><h2>Misc Customer Information</h2>",
      "<br>Phone:<br> <input type=\"text\" size=\"35\" name=\"Phone\" value=\"\">",
      "<br>Fax:<br> <input type=\"text\" size=\"35\" name=\"Fax\" value=\"\">",
      "<br>Homepage:<br> <input type=\"text\" size=\"35\" name=\"Homepage\" value=\"\">",
      "<br>Reference:<br> <input type=\"text\" size=\"35\" name=\"Reference\" value=\"\">",
      "<br>",
      "<br><br><h2>Comments</h2>",
      "<br>Comments:<br><textarea name=\"Comments\" rows=\"5\" cols=\"20\"></textarea>",
      "<br>",
      "<br><br><h2>Sample Fields</h2>",
      "<br>One line text box: <input type=\"text\" name=\"Onelinetextbox\">",
      "<br>Scrolling text box: <textarea name=\"Scrollingtextbox\" rows=\"3\" cols=\"30\"></textarea>",
      "<br>Check box: <input type=\"checkbox\" name=\"Checkbox\" value=\"ON\">ON",
      "<br>Radio buttons: <input type=\"radio\" checked name=\"Radiobutton\" value=\"A\">A ",
      "<input type=\"radio\" name=\"Radiobutton\" value=\"B\">B ",
      "<input type=\"radio\" name=\"Radiobutton\" value=\"C\">C ",
      "<br>Drop-down menu: <select name=\"Dropdownmenu\" size=\"1\">",
      "<option selected>OPTION1</option>",
      "<option>OPTION2</option>",
      "<option>OPTION3</option>",
      "<option>OPTION4</option></select>",
      "<br>",
  });
}

// The form with every option and every section: server, template, subject,
// required document, high priority, environment report and empty-field
// stripping.
inline std::string EverythingForm() {
  return FormHead("http://www.example.com/cgi-bin/quillo/quillopro.exe") +
         CrLfLines({Hidden("QUILLO_SERVER", "mail.example.com"),
                    Hidden("QUILLO_TO", "sales@example.com, info@example.com"),
                    Hidden("QUILLO_SUCCESS", "thanks.htm"), Hidden("QUILLO_ERROR", "sorry.htm"),
                    Hidden("QUILLO_TEMPLATE", "email.txt"), Hidden("QUILLO_SUBJECT", "Order for ##Product##"),
                    Hidden("QUILLO_REQUIRED", "missing.htm"), Hidden("QUILLO_PRIORITY", "HIGH"),
                    Hidden("QUILLO_ENVREPORT", "ON"), Hidden("QUILLO_NOEMPTYFIELDS", "ON")}) +
         AllSections() + FormTail();
}

}  // namespace quillogen_test

#endif  // QUILLOGEN_TESTS_EXPECTED_FORMS_H_
