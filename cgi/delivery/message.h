// The message text of one mail: RFC 822 header lines, then one of four body
// layouts chosen by which bodies are present (text and HTML as
// multipart/alternative, HTML only, text only, none). Bodies in a MIME part
// are quoted-printable in iso-8859-1. A text-only body goes out bare after an
// empty line while it is 7-bit with lines of at most 998 characters;
// otherwise it becomes a text/plain part like the HTML-only one. The text is
// the message itself: the SMTP client dot-stuffs it on the wire (wire.h).
// Pure functions; each stage is linear in its input.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "core/text.h"
#include "delivery/outgoing_mail.h"

namespace quillo {

// Everything a message is built from: the mail, and the header a site with
// settings sends, which receivers' filters look for: this Message-ID
// (without brackets), MIME-Version in every MIME layout, X-Priority only for
// high priority, and no X-Mailer. An empty messageId: the header mail has
// always had.
struct MessageParts : OutgoingMail {
  std::string messageId;
  // The boundary of a message with attachments: drawn at random for each
  // message, so that no text a visitor sends can know it.
  std::string mixedBoundary;
};

// A Message-ID for a message from fromAddress: the time, the process and
// 64 random bits, at the sender's domain (or, for a sender with none that
// is a host name, at fallback_domain).
std::string MakeMessageId(std::time_t now, unsigned long process, std::uint64_t random,
                          std::string_view fromAddress, std::string_view fallback_domain);

// Quoted-printable body encoding: bytes above 127 and "=" as "=XX", CR
// dropped, LF kept as the hard line end. A soft break "=\n" goes before an
// ordinary character once its line holds 69 characters, and before an escape
// once the line holds 73, unless that escape ends the line within 76
// characters; an escape is never split. No line exceeds 76 characters, and a
// text whose lines never needed a break before an escape keeps the bytes it
// was always sent with. Output lines end in bare LF.
std::string encodeQuotedPrintable(std::string_view text);

// A header value for a line that already holds `used` characters: CR and LF
// become blanks; a value with bytes above 127, or one that would make its
// line longer than 998 characters, becomes RFC 2047 encoded-words in
// the charset, folded with CR LF and a blank so that no line of them exceeds
// 76 characters; a UTF-8 character is never split between two words. A pure
// ASCII value that fits its line stays as given, unless always asks for
// encoded-words.
std::string EncodeHeaderValue(std::string_view value, std::size_t used,
                              std::string_view charset = "iso-8859-1", bool always = false);

// A file as a MIME part (RFC 2045, RFC 2183): its type, the name as
// filename="..." when it is printable ASCII without quote or backslash,
// else as RFC 2231 filename*0*=UTF-8''... pieces on lines of their own,
// every other byte percent-encoded, then the bytes in base64, 76
// characters a line. No byte of the name can end a header line.
void AppendAttachmentPart(std::string& message, std::string_view boundary, const Attachment& file);

// The complete message text, lines ended by LF or CR LF. With attachments
// it is multipart/mixed: first the body exactly as it would be without
// them, then one part per file. Takes the parts
// over: the bodies are encoded straight into the message, reserved once.
std::string BuildMessageText(MessageParts parts);

}  // namespace quillo
