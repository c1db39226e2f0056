// The HTML form file: the one thing that passes from the wizard to the CGI
// program. Its hidden fields carry the settings as control variables; its
// visible fields are the sections chosen on the last page.
#ifndef QUILLOGEN_FORM_WRITER_H_
#define QUILLOGEN_FORM_WRITER_H_

#include <optional>
#include <string>

#include "settings.h"

namespace quillogen {

// Returns the exact bytes of the form file, every line ending in CR LF.
// Setting values are HTML-escaped so that the browser submits exactly what
// the site owner typed.
std::string RenderHtmlForm(const WizardSettings& settings, const FormSections& sections);

// The hidden fields that carry the settings as control variables, one per
// line, as both styles of page write them.
std::string RenderHiddenFields(const WizardSettings& settings);

// The spam check's script for the head, and its widget for the form
// (empty without a check): the program's own challenge is solved by the
// altcha widget, from the site owner's copy next to the form, which fetches
// its challenge from the program; a provider's comes from the provider.
std::string CaptchaScriptLine(const WizardSettings& settings);
std::string CaptchaWidgetElement(const WizardSettings& settings);

// Replaces & " < > with their character references.
std::string EscapeAttribute(const std::string& value);

// Why a file could not be written, in the system's words ("No space left on
// device"); empty when it was written whole.
using WriteFailure = std::optional<std::string>;

// Creates or replaces the file at `path` with `bytes` unchanged: the form
// file, and the site settings file of the batch mode. A write that fails
// part way removes the plain file it had begun, so that no cut-off file is
// left to be uploaded; a device such as /dev/full is left alone.
WriteFailure WriteFormFile(const std::string& path, const std::string& bytes);

}  // namespace quillogen

#endif  // QUILLOGEN_FORM_WRITER_H_
