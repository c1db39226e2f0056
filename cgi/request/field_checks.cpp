// Field pass, e-mail syntax and allow-list; see field_checks.h.
#include "request/field_checks.h"

#include "content/text.h"
#include "response/documents.h"

namespace quillo {
namespace {

// The allow-list is read line by line into a buffer of 1024 bytes, one of
// which holds the terminating NUL.
constexpr std::size_t kAllowListLinePiece = 1023;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

bool PassesEmailSyntax(std::string_view text) {
  const auto at = text.find('@');
  if (text.empty() || at == std::string_view::npos || at == 0) return false;
  return text.find('.', at) != std::string_view::npos;
}

FieldPassResult RunFieldPass(FormRequest& request) {
  FieldPassResult result;
  ControlSettings& s = request.settings;
  for (std::size_t i = 0; i < request.field_names.size(); ++i) {
    std::string& name = request.field_names[i];
    const std::string& value = request.field_values[i];
    if (StartsWith(name, "_R_")) {
      if (value.empty()) result.result_doc = s.required_doc;
      name.erase(0, 3);
    } else if (StartsWith(name, "_E_")) {
      if (!PassesEmailSyntax(value)) result.result_doc = s.bad_email_doc;
      name.erase(0, 3);
    } else if (StartsWith(name, "_F_")) {
      if (!value.empty()) s.from = value;
      name.erase(0, 3);
    } else if (StartsWith(name, "_EF_") || StartsWith(name, "_FE_")) {
      if (!PassesEmailSyntax(value)) result.result_doc = s.bad_email_doc;
      if (!value.empty()) s.from = value;
      name.erase(0, 4);
      s.autoreply_recipients.push_back(value);
      result.autoreply = true;
    }
  }
  return result;
}

TextList ParseAllowList(std::string_view file_text) {
  TextList entries;
  for (std::string_view piece : LinePieces(file_text, kAllowListLinePiece)) {
    std::string entry = LowerCopy(Trimmed(piece.substr(0, piece.find('\0'))));
    if (!entry.empty() && entry.find('#') == std::string::npos) entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<std::string> FindRecipientNotAllowed(const TextList& recipients, const TextList& allowed) {
  for (const std::string& recipient : recipients) {
    const std::string lower = LowerCopy(recipient);
    bool listed = false;
    for (const std::string& entry : allowed) {
      if (lower.find(entry) != std::string::npos) {
        listed = true;
        break;
      }
    }
    if (!listed) return lower;
  }
  return std::nullopt;
}

}  // namespace quillo
