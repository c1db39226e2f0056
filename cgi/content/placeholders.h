// ##NAME## placeholders: the visitor's user fields first, in list order, then
// the fixed request values (QUILLO_TO, QUILLO_FROM, ... DATE). Text inserted
// by an earlier replacement is searched by every later one.
#pragma once

#include <string>

#include "request/form_request.h"

namespace quillo {

// Whether the text being filled is shown as HTML: then every inserted value
// is HTML-escaped, so that a visitor's input cannot become markup or script.
enum class Target { PlainText, Html };

void SubstitutePlaceholders(const FormRequest& request, std::string& text, Target target);

}  // namespace quillo
