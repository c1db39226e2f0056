// Field pass, e-mail syntax and allow-list; see field_checks.h.
#include "request/field_checks.h"

#include <algorithm>

#include "core/text.h"

namespace quillo {
namespace {

// The allow-list is read line by line into a buffer of 1024 bytes, one of
// which holds the terminating NUL.
constexpr std::size_t kAllowListLinePiece = 1023;

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A host name with a dot: what a list may name as a domain.
bool IsDomain(std::string_view name) { return name.find('.') != std::string_view::npos && IsHostName(name); }

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
      if (value.empty()) {
        result.result_doc = s.required_doc;
        result.bad_email = false;
      }
      name.erase(0, 3);
    } else if (StartsWith(name, "_E_")) {
      if (!PassesEmailSyntax(value)) result = {s.bad_email_doc, result.autoreply, true};
      name.erase(0, 3);
    } else if (StartsWith(name, "_F_")) {
      if (!value.empty()) s.from = value;
      name.erase(0, 3);
    } else if (StartsWith(name, "_EF_") || StartsWith(name, "_FE_")) {
      if (!PassesEmailSyntax(value)) result = {s.bad_email_doc, result.autoreply, true};
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

bool IsFullyQualifiedDomain(std::string_view name) {
  if (!IsDomain(name)) return false;
  const std::string_view last = name.substr(name.rfind('.') + 1);
  return !std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsAllowListEntry(std::string_view entry) {
  if (!entry.empty() && entry.front() == '@') return IsDomain(entry.substr(1));
  return IsDomain(entry) || IsPlainAddress(entry);
}

int FirstInvalidAllowListLine(std::string_view file_text) {
  int line = 1;
  for (std::string_view piece : LinePieces(file_text, kAllowListLinePiece)) {
    const std::string entry = LowerCopy(Trimmed(piece.substr(0, piece.find('\0'))));
    if (!entry.empty() && entry.find('#') == std::string::npos && !IsAllowListEntry(entry)) return line;
    if (!piece.empty() && piece.back() == '\n') ++line;
  }
  return 0;
}

bool IsPlainAddress(std::string_view address) {
  const std::size_t at = address.find('@');
  if (at == std::string_view::npos || at == 0) return false;
  const std::string_view local = address.substr(0, at);
  const std::string_view domain = address.substr(at + 1);
  // Dot-atom text (RFC 5322 3.2.3) less "%" and "!".
  const auto atom_char = [](char c) {
    return IsAsciiAlnum(c) || std::string_view("#$&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
  };
  if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string_view::npos) return false;
  for (char c : local) {
    if (c != '.' && !atom_char(c)) return false;
  }
  return IsHostName(domain);
}

std::size_t AddressCount(const TextList& list) {
  std::size_t count = 0;
  for (const std::string& entry : list) {
    const std::vector<std::string_view> pieces = Split(entry, ',');
    const auto addresses = std::count_if(pieces.begin(), pieces.end(),
                                         [](std::string_view piece) { return !Trimmed(piece).empty(); });
    count += std::max<std::size_t>(static_cast<std::size_t>(addresses), 1);
  }
  return count;
}

std::optional<std::string> FindNonPlainAddress(const TextList& list) {
  for (const std::string& entry : list) {
    if (!IsPlainAddress(entry)) return LowerCopy(entry);
  }
  return std::nullopt;
}

std::optional<std::string> FindRecipientNotAllowed(const TextList& recipients, const TextList& allowed,
                                                   RecipientsMatch match) {
  const auto allows = [match](const std::string& entry, const std::string& lower) {
    if (match == RecipientsMatch::kSubstring) return lower.find(entry) != std::string::npos;
    if (entry.front() != '@') return lower == entry;
    return lower.size() > entry.size() &&
           lower.compare(lower.size() - entry.size(), entry.size(), entry) == 0;
  };
  for (const std::string& recipient : recipients) {
    const std::string lower = LowerCopy(recipient);
    if (!IsPlainAddress(recipient)) return lower;
    const bool listed = std::any_of(allowed.begin(), allowed.end(),
                                    [&](const std::string& entry) { return allows(entry, lower); });
    if (!listed) return lower;
  }
  return std::nullopt;
}

}  // namespace quillo
