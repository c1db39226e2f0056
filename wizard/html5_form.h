// The form page for today's browsers, the style a site owner asks for with
// "Write an HTML5 page" or --style html5: valid HTML5 in UTF-8, a label for
// every control, the input types and autocomplete tokens browsers fill in,
// one column on a phone, and, where the site's settings allow, a honeypot
// and a script that posts for a JSON answer. The same hidden fields drive
// the CGI program as in the described page.
#ifndef QUILLOGEN_HTML5_FORM_H_
#define QUILLOGEN_HTML5_FORM_H_

#include <string>

#include "settings.h"

namespace quillogen {

// The exact bytes of the page, every line ending in CR LF. The settings'
// texts are UTF-8.
std::string RenderHtml5Form(const WizardSettings& settings, const FormSections& sections);

}  // namespace quillogen

#endif  // QUILLOGEN_HTML5_FORM_H_
