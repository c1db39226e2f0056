// Placeholder substitution; see placeholders.h.
#include "content/placeholders.h"

#include <utility>

#include "content/text.h"

namespace quillo {
namespace {

void Replace(std::string& text, const std::string& name, const std::string& value, Target target) {
  const std::string placeholder = "##" + name + "##";
  if (target == Target::Html) {
    ReplaceAll(text, placeholder, EscapeHtml(value));
  } else {
    ReplaceAll(text, placeholder, value);
  }
}

}  // namespace

void SubstitutePlaceholders(const FormRequest& request, std::string& text, Target target) {
  // Nothing to do without "##": the common case for plain documents.
  if (text.find("##") == std::string::npos) return;
  for (std::size_t i = 0; i < request.field_names.size(); ++i) {
    Replace(text, request.field_names[i], request.field_values[i], target);
  }
  const ControlSettings& s = request.settings;
  const std::pair<const char*, const std::string*> fixed[] = {
      {"QUILLO_TO", &s.to},
      {"QUILLO_FROM", &s.from},
      {"QUILLO_SUBJECT", &s.subject},
      {"HTTP_USER_AGENT", &request.http_user_agent},
      {"SCRIPT_NAME", &request.script_name},
      {"REMOTE_IDENT", &request.remote_ident},
      {"REMOTE_HOST", &request.remote_host},
      {"REMOTE_ADDR", &request.remote_addr},
      {"REMOTE_USER", &request.remote_user},
      {"SERVER_NAME", &request.server_name},
      {"MUID", &request.muid},
      {"DATE", &request.date},
  };
  for (const auto& [name, value] : fixed) Replace(text, name, *value, target);
}

}  // namespace quillo
