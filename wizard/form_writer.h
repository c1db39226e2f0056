// The HTML form file: the one thing that passes from the wizard to the CGI
// program. Its hidden fields carry the settings as control variables; its
// visible fields are the sections chosen on the last page.
#ifndef QUILLOGEN_FORM_WRITER_H_
#define QUILLOGEN_FORM_WRITER_H_

#include <string>

#include "settings.h"

namespace quillogen {

// Returns the exact bytes of the form file, every line ending in CR LF.
// Setting values are HTML-escaped so that the browser submits exactly what
// the site owner typed.
std::string RenderHtmlForm(const WizardSettings& settings, const FormSections& sections);

// Replaces & " < > with their character references.
std::string EscapeAttribute(const std::string& value);

// Creates or truncates the file at `path` and writes `bytes` unchanged.
// Returns false only when the file cannot be opened: like the wizard always
// did, later write errors go unnoticed.
bool WriteFormFile(const std::string& path, const std::string& bytes);

}  // namespace quillogen

#endif  // QUILLOGEN_FORM_WRITER_H_
