// The built-in layouts of a mail without a template: a text part and an
// HTML table that list the visitor's fields.
//
// Two of each. The classic ones are the layouts mail has always had. With a
// quillopro.ini that sets something (FormRequest::site_settings) the HTML
// part is valid HTML5 (a doctype, a title, every cell in a row, colours in
// CSS that mail filters read, a colon after every name) and the text part
// says what the HTML part says: From, To, Subject and Date first.
#pragma once

#include <string>

#include "core/form_request.h"

namespace quillo {

// Appends the text part to mail_text, sets mail_html (empty when
// QUILLO_FORMAT asks for text only), placeholders filled.
void BuildBuiltInLayouts(FormRequest& request);

// The built-in layouts as they are written, placeholders and all: what
// BuildBuiltInLayouts fills in.
struct BuiltInLayouts {
  std::string text;
  std::string html;  // empty for text only
};
BuiltInLayouts UnfilledBuiltInLayouts(const FormRequest& request);

}  // namespace quillo
