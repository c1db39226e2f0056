// The field pass over the user fields' name prefixes, the e-mail syntax
// check, and the recipient allow-list.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/form_request.h"
#include "settings/site_settings.h"

namespace quillo {

// Not empty, an "@" that is not the first byte, and a "." from that "@" on.
bool PassesEmailSyntax(std::string_view text);

struct FieldPassResult {
  std::string result_doc;  // document of the last failing field; empty when all passed
  bool autoreply = false;  // a _EF_ / _FE_ field was seen
  bool bad_email = false;  // the last failing field failed the e-mail check
};

// Checks _R_, _E_, _F_, _EF_/_FE_ fields, strips their prefixes, sets the
// sender and collects the automatic reply's recipients.
FieldPassResult RunFieldPass(FormRequest& request);

// The allow-list file's entries: trimmed, lower-cased lines without "#",
// read in 1023-byte line pieces.
TextList ParseAllowList(std::string_view file_text);

// Whether an entry can stand in a list that restricts: a plain address, an
// "@domain", or a domain (a host name with a dot). Anything else ("@",
// "com", "sales@") would let through nearly every address.
bool IsAllowListEntry(std::string_view entry);

// The number of the first line whose entry cannot stand in the list, or 0.
int FirstInvalidAllowListLine(std::string_view file_text);

// A host name of two labels or more whose last is not a number: what a mail
// server takes as a fully qualified name.
bool IsFullyQualifiedDomain(std::string_view name);

// A plain address as mail servers route it: a dot-atom local part without
// "%" or "!" (old routing syntax), one "@", and a host name. Quotes,
// comments, source routes and blanks are not plain: a server may read the
// address otherwise than a substring test does.
bool IsPlainAddress(std::string_view address);

// How many addresses a list holds: an entry a visitor filled with several,
// separated by commas, counts each.
std::size_t AddressCount(const TextList& list);

// The first entry (lower-cased) that is no plain address, if any.
std::optional<std::string> FindNonPlainAddress(const TextList& list);

// The first recipient (lower-cased) that is no plain address or that no
// entry allows, if any. An entry allows a recipient it occurs in; matching
// by address, only the recipient that it is, or, for an "@domain" entry,
// that it ends.
std::optional<std::string> FindRecipientNotAllowed(const TextList& recipients, const TextList& allowed,
                                                   RecipientsMatch match = RecipientsMatch::kSubstring);

}  // namespace quillo
