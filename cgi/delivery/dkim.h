// DKIM signatures for outgoing form mail (RFC 6376): rsa-sha256 with relaxed
// canonicalization of header and body. The signature covers the message as
// its lines go out (wire.h's NormalizeDataLines), before dot-stuffing, which
// the receiving server undoes; the DKIM-Signature header this builds goes in
// front of those lines.
//
// Pure functions over text; only the digest and the RSA signature go through
// the platform's crypto seam (platform/crypto.h).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quillo {

// Who signs: the key's public half is published as a TXT record at
// <selector>._domainkey.<domain>.
struct DkimKey {
  std::string domain;           // d=, the signing domain
  std::string selector;         // s=
  std::string private_key_pem;  // RSA, unencrypted, at least 1024 bits
};

// One header field in relaxed canonical form (RFC 6376 3.4.2): the name in
// lower case, the value unfolded (CR LF pairs removed), every run of blanks
// and tabs as one blank, none at either end of the value or before the
// colon; "name:value\r\n".
std::string RelaxedHeader(std::string_view name, std::string_view value);

// The body in relaxed canonical form (RFC 6376 3.4.4): lines split at CR LF,
// every run of blanks and tabs inside a line as one blank, none at a line's
// end, empty lines at the end removed, every line ended by CR LF. A body
// with no characters left stays empty.
std::string RelaxedBody(std::string_view body);

// The DKIM-Signature header field for message, the header lines, an empty
// line and the body, every line ended by CR LF (continuation lines of a
// folded field start with a blank or a tab). It signs every occurrence of
// From, Reply-To, To, Cc, Subject, Date, MIME-Version, Content-Type,
// Content-Transfer-Encoding, Message-ID and X-Priority, in that order, and
// names each once more than it occurs, so that none can be added (Message-ID
// only when the message has one); it gives the signing time now as t=:
//   "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=...; s=...;
//    t=...; h=From:To:...; bh=...; b=..."
// folded with CR LF and a tab into lines of at most 78 characters (a domain
// or selector too long for a line of its own excepted), and ended by CR LF.
// Nothing when the message has no From field, when the domain or selector is
// not a host name of letters, digits, hyphens and dots, or when the key does
// not sign.
std::optional<std::string> DkimSignatureHeader(std::string_view message, const DkimKey& key, std::time_t now);

}  // namespace quillo
