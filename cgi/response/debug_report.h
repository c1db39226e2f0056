// The debug report: everything a run received and derived, each item with a
// short explanation, shown instead of sending mail while a site owner sets up
// a form. Values are HTML-escaped; the page's own markup is not.
#pragma once

#include <optional>
#include <string>

#include "core/form_request.h"

namespace quillo {

// What a site's settings file decides for every post, shown in a report of
// a site that has one: the file read and how mail leaves.
struct SiteSummary {
  std::string settings_file;
  std::string transport;  // "smtp" or "sendmail"
};

std::string RenderDebugReport(const FormRequest& request,
                              const std::optional<SiteSummary>& site = std::nullopt);

[[noreturn]] void WriteDebugReport(const FormRequest& request,
                                   const std::optional<SiteSummary>& site = std::nullopt);

}  // namespace quillo
