// The debug report: everything a run received and derived, each item with a
// short explanation, shown instead of sending mail while a site owner sets up
// a form. Values are HTML-escaped; the page's own markup is not.
#pragma once

#include <string>

#include "core/form_request.h"

namespace quillo {

std::string RenderDebugReport(const FormRequest& request);

[[noreturn]] void WriteDebugReport(const FormRequest& request);

}  // namespace quillo
