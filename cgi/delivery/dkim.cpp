// DKIM signing; see dkim.h.
#include "delivery/dkim.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "core/text.h"
#include "platform/crypto.h"

namespace quillo {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// RFC 5322 2.1.1: a line SHOULD hold at most 78 characters, CR LF not
// counted. A continuation line starts with a tab.
constexpr std::size_t kMaxSignatureLine = 78;
constexpr std::string_view kFold = "\r\n\t";
constexpr std::size_t kFoldIndent = 1;

constexpr std::string_view kSignatureField = "DKIM-Signature";

// The fields a signature covers, in the order h= names them: those that say
// who sent the mail to whom and what it is, and how its body is to be read.
// X-Mailer says nothing a reader relies on. Each is named once more than it
// occurs (RFC 6376 8.15): the extra name signs its absence, so a field of
// that name added on the way, above ours or where we wrote none, breaks the
// signature. Message-ID only where the message has one: a server that adds
// it to mail without one must not break the signature.
constexpr std::array<std::string_view, 11> kSignedFields = {
    "From",         "Reply-To",     "To",
    "Cc",           "Subject",      "Date",
    "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
    "Message-ID",   "X-Priority"};
constexpr std::string_view kSignedOnlyWhenPresent = "Message-ID";
constexpr std::string_view kRequiredField = "From";  // RFC 6376 5.4.1

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view WithoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlankOrTab(text.back())) text.remove_suffix(1);
  return text;
}

// Appends text with every run of blanks and tabs as one blank and CR LF
// pairs removed (unfolding), dropping the blanks at its start unless
// keep_leading, and always those at its end.
void AppendCompressed(std::string& out, std::string_view text, bool keep_leading) {
  bool pending_blank = false;
  bool started = keep_leading;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
    } else if (IsBlankOrTab(c)) {
      pending_blank = true;
    } else {
      if (pending_blank && started) out.push_back(' ');
      out.push_back(c);
      pending_blank = false;
      started = true;
    }
  }
}

// --- the message ---

// A header field as it stands in the message: the value runs from after the
// colon to the end of its last line, the CR LF of any continuation kept.
struct HeaderField {
  std::string_view name;
  std::string_view value;
};

struct SplitMessage {
  std::vector<HeaderField> fields;
  std::string_view body;  // after the empty line; empty without one
};

// The header fields up to the first empty line, and the body after it. A
// line with no colon is no field; lines with a leading blank continue the
// field before them.
SplitMessage SplitHeaderAndBody(std::string_view message) {
  SplitMessage split;
  bool in_field = false;
  std::size_t at = 0;
  while (at < message.size()) {
    std::size_t end = message.find(kCrLf, at);
    if (end == std::string_view::npos) end = message.size();
    const std::string_view line = message.substr(at, end - at);
    const std::size_t next = end < message.size() ? end + kCrLf.size() : end;
    if (line.empty()) {
      split.body = message.substr(next);
      break;
    }
    if (IsBlankOrTab(line.front())) {
      if (in_field) {
        HeaderField& field = split.fields.back();
        field.value = std::string_view(field.value.data(), message.data() + end - field.value.data());
      }
    } else {
      const std::size_t colon = line.find(':');
      in_field = colon != std::string_view::npos;
      if (in_field) split.fields.push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
    at = next;
  }
  return split;
}

bool SameFieldName(std::string_view a, std::string_view b) {
  return LowerCopy(WithoutTrailingBlanks(a)) == LowerCopy(b);
}

// The occurrences of a field from the last up, the order in which a
// verifier takes them for the names of h= (RFC 6376 5.4.2).
std::vector<const HeaderField*> FieldsFromTheBottom(const std::vector<HeaderField>& fields,
                                                    std::string_view name) {
  std::vector<const HeaderField*> found;
  for (auto it = fields.rbegin(); it != fields.rend(); ++it) {
    if (SameFieldName(it->name, name)) found.push_back(&*it);
  }
  return found;
}

// --- the DKIM-Signature field ---

// A header field being written: each piece goes on the current line after
// its separator while the line keeps within 78 characters, else at the
// start of a new continuation line, the separator dropped.
struct FoldedField {
  std::string text;
  std::size_t line = 0;  // characters on the last line so far
};

void AppendFolded(FoldedField& field, std::string_view piece, std::string_view separator) {
  if (field.line + separator.size() + piece.size() > kMaxSignatureLine) {
    field.text.append(kFold);
    field.line = kFoldIndent;
  } else {
    field.text.append(separator);
    field.line += separator.size();
  }
  field.text.append(piece);
  field.line += piece.size();
}

// The field up to and including "b=", the value of b= still to come: what
// the signature covers of itself (RFC 6376 3.7).
FoldedField UnsignedField(const DkimKey& key, std::time_t now, const std::vector<std::string_view>& names,
                          std::string_view body_hash) {
  FoldedField field{std::string(kSignatureField) + ":", kSignatureField.size() + 1};
  const std::string tags[] = {"v=1;",
                              "a=rsa-sha256;",
                              "c=relaxed/relaxed;",
                              "d=" + key.domain + ";",
                              "s=" + key.selector + ";",
                              "t=" + std::to_string(static_cast<long long>(now)) + ";"};
  for (const std::string& tag : tags) AppendFolded(field, tag, " ");
  // A list of names may fold after any colon (RFC 6376 3.5, h=).
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string piece =
        (i == 0 ? "h=" : "") + std::string(names[i]) + (i + 1 < names.size() ? ":" : ";");
    AppendFolded(field, piece, i == 0 ? " " : "");
  }
  AppendFolded(field, "bh=" + std::string(body_hash) + ";", " ");
  AppendFolded(field, "b=", " ");
  return field;
}

// Base64 may fold anywhere (RFC 6376 3.5, b=), so the signature fills its
// lines to the last column.
void AppendSignatureValue(FoldedField& field, std::string_view signature) {
  const std::string encoded = EncodeBase64(signature);
  for (std::size_t i = 0; i < encoded.size(); ++i)
    AppendFolded(field, std::string_view(encoded).substr(i, 1), "");
}

// What the signature signs: the covered fields in canonical form, then the
// DKIM-Signature field itself with an empty b= and no CR LF at its end.
std::string SignedText(const std::vector<const HeaderField*>& fields, const FoldedField& unsigned_field) {
  std::string text;
  for (const HeaderField* field : fields) text += RelaxedHeader(field->name, field->value);
  const std::string_view value = std::string_view(unsigned_field.text).substr(kSignatureField.size() + 1);
  std::string own = RelaxedHeader(kSignatureField, value);
  own.resize(own.size() - kCrLf.size());
  return text + own;
}

}  // namespace

std::string RelaxedHeader(std::string_view name, std::string_view value) {
  std::string out = LowerCopy(WithoutTrailingBlanks(name));
  out.push_back(':');
  AppendCompressed(out, value, false);
  out.append(kCrLf);
  return out;
}

std::string RelaxedBody(std::string_view body) {
  std::string out;
  out.reserve(body.size() + kCrLf.size());
  std::size_t kept = 0;  // the end of the last line that is not empty
  for (std::size_t at = 0; at < body.size();) {
    std::size_t end = body.find(kCrLf, at);
    if (end == std::string_view::npos) end = body.size();
    const std::size_t start = out.size();
    AppendCompressed(out, body.substr(at, end - at), true);
    const bool empty = out.size() == start;
    out.append(kCrLf);
    if (!empty) kept = out.size();
    at = end + kCrLf.size();
  }
  out.resize(kept);
  return out;
}

std::optional<std::string> DkimSignatureHeader(std::string_view message, const DkimKey& key,
                                               std::time_t now) {
  if (!IsHostName(key.domain) || !IsHostName(key.selector)) return std::nullopt;
  const SplitMessage split = SplitHeaderAndBody(message);
  if (FieldsFromTheBottom(split.fields, kRequiredField).empty()) return std::nullopt;
  std::vector<std::string_view> names;
  std::vector<const HeaderField*> fields;
  for (std::string_view name : kSignedFields) {
    const std::vector<const HeaderField*> present = FieldsFromTheBottom(split.fields, name);
    if (present.empty() && name == kSignedOnlyWhenPresent) continue;
    for (const HeaderField* field : present) {
      names.push_back(name);
      fields.push_back(field);
    }
    names.push_back(name);  // signs that there is no further one
  }
  const std::string body_hash = EncodeBase64(platform::Sha256(RelaxedBody(split.body)));
  FoldedField field = UnsignedField(key, now, names, body_hash);
  const std::optional<std::string> signature =
      platform::RsaSha256Sign(key.private_key_pem, SignedText(fields, field));
  if (!signature) return std::nullopt;
  AppendSignatureValue(field, *signature);
  field.text.append(kCrLf);
  return field.text;
}

}  // namespace quillo
