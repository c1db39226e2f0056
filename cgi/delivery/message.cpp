// Message assembly; see message.h.
#include "delivery/message.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/text.h"
#include "smtp/wire.h"

namespace quillo {
namespace {

// --- quoted-printable (RFC 2045 6.7) ---

// Mail already sent relies on where the soft breaks fall, so the rule keeps
// them there and adds a break only where a line used to grow past the limit.
// An ordinary character gets a soft break before it once the line holds more
// than 68 characters; an escape is never split and, as before, no soft break
// precedes it while the line holds at most 72, so a run of escapes ends its
// line at 72 + 3 characters plus "=".
constexpr std::size_t kLastColumnBeforeCharacter = 68;
constexpr std::size_t kLastColumnBeforeEscape = 72;
constexpr std::size_t kMaxEncodedBodyLine = 76;  // RFC 2045 6.7 (5), the soft break's "=" included
constexpr std::size_t kEscapeLength = 3;         // "=XX"
constexpr unsigned char kLastPlainByte = 127;

bool NeedsEscape(unsigned char byte) { return byte > kLastPlainByte || byte == '='; }

constexpr std::size_t kPlainPerLine = kLastColumnBeforeCharacter + 1;
constexpr std::string_view kSoftBreak = "=\n";

void AppendEscape(std::string& out, unsigned char byte) {
  constexpr int kNibbleBits = 4;
  constexpr int kNibbleMask = 0x0F;
  const char escape[kEscapeLength] = {'=', HexDigit(byte >> kNibbleBits), HexDigit(byte & kNibbleMask)};
  out.append(escape, kEscapeLength);
}

// Past column 72 an escape still stays on its line when it is the last thing
// there and the line keeps within 76 characters: such a line was legal all
// along, and breaking it would change mail that never broke the limit.
// `next` is where the text goes on after the escape; CRs are dropped anyway.
bool EscapeNeedsSoftBreak(std::string_view text, std::size_t next, std::size_t column) {
  if (column <= kLastColumnBeforeEscape) return false;
  if (column + kEscapeLength > kMaxEncodedBodyLine) return true;
  while (next < text.size() && text[next] == '\r') ++next;
  return next < text.size() && text[next] != '\n';
}

// A byte that goes out as itself, and that only the line's length can
// break from the next.
bool IsPlainByte(char c) { return c != '\r' && c != '\n' && !NeedsEscape(static_cast<unsigned char>(c)); }

void WriteQuotedPrintable(std::string_view text, std::string& out) {
  std::size_t column = 0;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\r') {
      ++i;
    } else if (c == '\n') {
      out.push_back(c);
      column = 0;
      ++i;
    } else if (NeedsEscape(static_cast<unsigned char>(c))) {
      if (EscapeNeedsSoftBreak(text, i + 1, column)) {
        out.append(kSoftBreak);
        column = 0;
      }
      AppendEscape(out, static_cast<unsigned char>(c));
      column += kEscapeLength;
      ++i;
    } else {
      // A run of plain bytes goes in whole pieces, a line's room at a time.
      std::size_t end = i + 1;
      while (end < text.size() && IsPlainByte(text[end])) ++end;
      while (i < end) {
        if (column >= kPlainPerLine) {
          out.append(kSoftBreak);
          column = 0;
        }
        const std::size_t take = std::min(kPlainPerLine - column, end - i);
        out.append(text.substr(i, take));
        column += take;
        i += take;
      }
    }
  }
}

// The most bytes the encoding of text can take, for reserving its output
// once instead of growing it by doubling: an escape takes three bytes, a CR
// none, any other byte one, and a soft break ends a line only once it holds
// at least kPlainPerLine characters. A few per cent over, in one quick pass.
std::size_t QuotedPrintableBound(std::string_view text) {
  std::size_t size = 0;
  for (const char c : text)
    size += c == '\r' ? 0 : NeedsEscape(static_cast<unsigned char>(c)) ? kEscapeLength : 1;
  return size + kSoftBreak.size() * (size / kPlainPerLine + 1);
}

// --- RFC 2047 encoded-words ---

constexpr std::string_view kWordEnd = "?=";
constexpr std::size_t kMaxEncodedWord = 75;  // RFC 2047 2: an encoded-word
constexpr std::size_t kMaxEncodedLine = 76;  // RFC 2047 2: a line holding one
// RFC 5322 2.1.1: a header line holds at most 998 characters, CR LF not
// counted.
constexpr std::size_t kMaxHeaderLine = 998;
constexpr std::string_view kFold = "\r\n ";  // CR LF, then the blank of a continuation line
constexpr std::size_t kFoldIndent = 1;

bool IsAscii(std::string_view value) {
  for (char c : value) {
    if (static_cast<unsigned char>(c) > kLastPlainByte) return false;
  }
  return true;
}

// A value goes out as given only in 7 bits and while its line keeps within
// 998 characters; anything else becomes encoded-words, which fold.
bool StaysAsGiven(std::string_view one_line, std::size_t used) {
  return IsAscii(one_line) && used + one_line.size() <= kMaxHeaderLine;
}

// Characters that may stand for themselves in an encoded-word anywhere in
// a header, a display name included (RFC 2047 5 (3)).
bool IsPlainInWord(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
         c == '+' || c == '-' || c == '/';
}

std::string QEncodeByte(char c) {
  if (c == ' ') return "_";
  if (IsPlainInWord(c)) return std::string(1, c);
  std::string escape;
  AppendEscape(escape, static_cast<unsigned char>(c));
  return escape;
}

// Room for encoded text in a word that starts after `used` characters.
std::size_t WordRoom(std::size_t used, std::size_t word_start) {
  const std::size_t overhead = word_start + kWordEnd.size();
  const std::size_t line_room = used < kMaxEncodedLine ? kMaxEncodedLine - used : 0;
  const std::size_t word = line_room < kMaxEncodedWord ? line_room : kMaxEncodedWord;
  return word > overhead ? word - overhead : 0;
}

// The bytes of one character: in UTF-8 a lead byte and the continuation
// bytes after it, which an encoded-word must never split (RFC 2047 5 (3));
// in the single-byte charsets one byte.
std::size_t CharacterLength(std::string_view value, std::size_t at, bool utf8) {
  std::size_t end = at + 1;
  if (utf8 && static_cast<unsigned char>(value[at]) >= 0xC0) {
    while (end < value.size() && end - at < 4 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
      ++end;
  }
  return end - at;
}

std::string EncodeWords(std::string_view value, std::size_t used, std::string_view charset) {
  const std::string word_start = "=?" + std::string(charset) + "?Q?";
  const bool utf8 = charset == "utf-8";
  std::string out;
  std::string word;
  std::size_t room = WordRoom(used, word_start.size());
  // Not even the widest character fits: start on a new line.
  if (room < kEscapeLength * (utf8 ? 4 : 1)) {
    out.append(kFold);
    room = WordRoom(kFoldIndent, word_start.size());
  }
  auto close_word = [&] {
    out.append(word_start).append(word).append(kWordEnd);
    word.clear();
  };
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t length = CharacterLength(value, at, utf8);
    std::string piece;
    for (std::size_t i = at; i < at + length; ++i) piece += QEncodeByte(value[i]);
    at += length;
    if (!word.empty() && word.size() + piece.size() > room) {
      close_word();
      out.append(kFold);
      room = WordRoom(kFoldIndent, word_start.size());
    }
    word.append(piece);
  }
  close_word();
  return out;
}

// Characters in the last line of text, which started after `used` ones.
std::size_t LastLineLength(std::string_view text, std::size_t used) {
  const std::size_t lf = text.rfind('\n');
  return lf == std::string_view::npos ? used + text.size() : text.size() - lf - 1;
}

// --- header lines ---

constexpr std::string_view kXMailer = "X-Mailer: Tessik Quillo!Pro v4\r\n";
constexpr std::string_view kHighPriority = "X-Priority: 1\n";
constexpr std::string_view kNormalPriority = "X-Priority: 3\n";

// RFC 5322 3.2.3: the characters a phrase may not hold as they are, and
// "=?", which a mail program would read as the start of an encoded-word.
bool NeedsQuoting(std::string_view name) {
  return FindAnyOf(name, ",<>@\";:()[]\\.") >= 0 || name.find("=?") != std::string_view::npos;
}

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// A quoted-string (RFC 5322 3.2.4): the name between quotes, each quote and
// backslash in it escaped.
std::string QuotedString(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

struct Phrase {
  std::string text;
  bool encoded = false;  // encoded-words, whose lines keep within 76 characters
};

// The display name as an RFC 5322 phrase, so that nothing in it can read as
// an address or a second mailbox: as given while it is a plain run of words,
// a quoted-string when it holds specials, encoded-words for 8-bit bytes,
// control characters or a line too long for a quoted-string.
Phrase DisplayName(std::string_view name, std::size_t used, std::string_view charset) {
  const std::string one_line = BlankLineBreaks(name);
  const bool plain_ascii = StaysAsGiven(one_line, used) && !HasControl(one_line);
  if (plain_ascii && !NeedsQuoting(one_line)) return {one_line, false};
  if (plain_ascii) {
    std::string quoted = QuotedString(one_line);
    if (StaysAsGiven(quoted, used)) return {std::move(quoted), false};
  }
  return {EncodeHeaderValue(one_line, used, charset, true), true};
}

std::string FromLine(const MessageParts& parts) {
  const std::string address = "<" + BlankLineBreaks(parts.fromAddress) + ">";
  if (parts.fromName.empty()) return "From: " + address + "\r\n";
  const std::string head = "From: ";
  const Phrase name = DisplayName(parts.fromName, head.size(), parts.charset);
  std::string line = head + name.text;
  // Keep the address beside the name while the line stays within its limit:
  // short after encoded-words, 998 characters after a name as given.
  const std::size_t limit = name.encoded ? kMaxEncodedLine : kMaxHeaderLine;
  const bool fits = LastLineLength(line, 0) + 1 + address.size() <= limit;
  line += fits ? std::string(" ") : std::string(kFold);
  return line + address + "\r\n";
}

// Every recipient, on one line while they fit in it. A post may name so many
// that they do not: then the line ends after a comma, and the next one starts
// with a blank. An address that fills a line alone is not split.
std::string ToLine(const TextList& recipients) {
  std::string lines = "To: ";
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < recipients.size(); ++i) {
    // The comma after an address stays with it, at the end of its line.
    std::string address = "<" + BlankLineBreaks(recipients[i]) + ">";
    if (i + 1 < recipients.size()) address += ",";
    if (i > 0 && lines.size() - line_start + address.size() > kMaxHeaderLine) {
      lines.append(kFold);
      line_start = lines.size() - kFoldIndent;
    }
    lines += address;
  }
  return lines + "\r\n";
}

std::string HeaderLines(const MessageParts& parts) {
  const std::string subject_head = "Subject: ";
  std::string header = FromLine(parts);
  if (!parts.replyTo.empty()) header += "Reply-To: <" + BlankLineBreaks(parts.replyTo) + ">\r\n";
  header += ToLine(parts.recipients);
  header += subject_head + EncodeHeaderValue(parts.subject, subject_head.size(), parts.charset) + "\r\n";
  header += "Date: " + BlankLineBreaks(parts.date) + "\r\n";
  if (!parts.messageId.empty()) {
    // RFC 5322 3.6.4 asks for it; some receivers refuse mail without.
    header += "Message-ID: <" + BlankLineBreaks(parts.messageId) + ">\r\n";
    if (parts.highPriority) header += kHighPriority;
    return header;
  }
  header += kXMailer;
  header += parts.highPriority ? kHighPriority : kNormalPriority;
  return header;
}

// --- body layouts ---

constexpr std::string_view kBoundaryLine = "------=_NextPart_TESSIK_QUILLO_PRO\n";
constexpr std::string_view kQuotedPrintable = "Content-Transfer-Encoding: quoted-printable\n";

// The fixed lines of the layouts, rounded up, for reserving a message once.
constexpr std::size_t kLayoutLineBytes = 512;

// One quoted-printable part: its header lines, then the body encoded straight
// into the message. The body is released once encoded: a large one is held
// only as long as it has to be. A single part that is the message's own
// body declares MIME (RFC 2045 4) when declared_mime says so; mail has
// always been sent without.
void AppendEncodedPart(std::string& message, std::string_view content_type, std::string_view charset,
                       std::string& body, bool declared_mime = false) {
  if (declared_mime) message += "MIME-Version: 1.0\n";
  message += kQuotedPrintable;
  message += "Content-Type: ";
  message += content_type;
  message += ";\n\tcharset=\"";
  message += charset;
  message += "\"\n\n";
  WriteQuotedPrintable(body, message);
  std::string().swap(body);
}

void AppendAlternativeLayout(std::string& message, std::string_view charset, std::string& text,
                             std::string& html) {
  message += "MIME-Version: 1.0 \n";
  message += "Content-Type: multipart/alternative;\n";
  message += "\tboundary=\"----=_NextPart_TESSIK_QUILLO_PRO\"\n";
  message += "\n";
  message += "This is a multi-part message in MIME format.\n\n";
  message += kBoundaryLine;
  AppendEncodedPart(message, "text/plain", charset, text);
  message += "\n\n";
  message += kBoundaryLine;
  AppendEncodedPart(message, "text/html", charset, html);
  message += "\n\n------=_NextPart_TESSIK_QUILLO_PRO--\n";
}

// RFC 5321 4.5.3.1.6: 1000 octets a line with its CR LF.
constexpr std::size_t kMaxDataLine = 998;

// Whether a text can go out as it is: 7-bit only (nothing declares a
// charset for it) and in lines every server must take. CR is dropped on
// the wire, so it does not count.
bool GoesOutUnencoded(std::string_view text) {
  std::size_t line = 0;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > kLastPlainByte) return false;
    if (c == '\n') {
      line = 0;
    } else if (c != '\r' && ++line > kMaxDataLine) {
      return false;
    }
  }
  return true;
}

// A text-only mail in 7 bits keeps the bare layout mail has always had: an
// empty line, then the text. Otherwise it is a text/plain part; a single
// part's lines follow the header lines directly, without a MIME-Version
// line, as mail has always been sent.
void AppendTextOnlyLayout(std::string& message, std::string_view charset, std::string& text,
                          bool declared_mime) {
  if (GoesOutUnencoded(text)) {
    message += "\n";
    message += text;
  } else {
    AppendEncodedPart(message, "text/plain", charset, text, declared_mime);
  }
}

// --- attachments ---

constexpr std::size_t kBase64LineBytes = 57;  // 76 characters a line (RFC 2045 6.8)

std::size_t Base64LinesSize(std::size_t bytes) {
  const std::size_t lines = (bytes + kBase64LineBytes - 1) / kBase64LineBytes;
  return (bytes + 2) / 3 * 4 + lines;
}

// Written straight into the message: a file of megabytes is not encoded
// into a copy first.
void AppendBase64Lines(std::string& out, std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  for (std::size_t line = 0; line < bytes.size(); line += kBase64LineBytes) {
    // Between lines: the line end before a delimiter is the delimiter's.
    if (line > 0) out.push_back('\n');
    const std::size_t end = std::min(line + kBase64LineBytes, bytes.size());
    std::size_t i = line;
    for (; i + 3 <= end; i += 3) {
      const std::uint32_t group = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
      out.push_back(kAlphabet[group >> 18]);
      out.push_back(kAlphabet[(group >> 12) & 63]);
      out.push_back(kAlphabet[(group >> 6) & 63]);
      out.push_back(kAlphabet[group & 63]);
    }
    if (i < end) {
      const std::uint32_t group = (at(i) << 16) | (i + 1 < end ? at(i + 1) << 8 : 0);
      out.push_back(kAlphabet[group >> 18]);
      out.push_back(kAlphabet[(group >> 12) & 63]);
      out.push_back(i + 1 < end ? kAlphabet[(group >> 6) & 63] : '=');
      out.push_back('=');
    }
  }
}

// Whether a name can stand in a quoted string as it is: printable ASCII
// without the quote and the backslash. Anything else, whatever the intake
// made of the name, goes percent-encoded.
bool IsQuotableName(std::string_view name) {
  return std::all_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\';
  });
}

// RFC 2231 3 and 4: the name percent-encoded, in pieces of at most 60
// characters, none splitting an escape.
void AppendExtendedFileName(std::string& out, std::string_view name) {
  constexpr std::size_t kPiece = 60;
  constexpr std::string_view kAttributeCharacters = "!#$&+-.^_`|~";
  std::vector<std::string> pieces(1, "UTF-8''");
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       kAttributeCharacters.find(c) != std::string_view::npos;
    const std::size_t length = plain ? 1 : 3;
    if (pieces.back().size() + length > kPiece) pieces.emplace_back();
    if (plain) {
      pieces.back().push_back(c);
    } else {
      pieces.back().push_back('%');
      pieces.back().push_back(HexDigit(byte >> 4));
      pieces.back().push_back(HexDigit(byte & 0x0F));
    }
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    out += ";\n\tfilename*" + std::to_string(i) + "*=" + pieces[i];
  }
}

// A boundary no line of the body starts with: a text-only body goes out
// as it was typed, so the drawn boundary is lengthened until it is unique.
std::string UniqueBoundary(std::string boundary, std::string_view body) {
  while (body.find("--" + boundary) != std::string_view::npos) boundary += "_";
  return boundary;
}

}  // namespace

void AppendAttachmentPart(std::string& message, std::string_view boundary, const Attachment& file) {
  message += "\n--";
  message += boundary;
  message += "\nContent-Type: ";
  message += file.content_type;
  message += "\nContent-Transfer-Encoding: base64\nContent-Disposition: attachment";
  if (IsQuotableName(file.name)) {
    message += "; filename=\"" + file.name + "\"";
  } else {
    AppendExtendedFileName(message, file.name);
  }
  message += "\n\n";
  AppendBase64Lines(message, file.bytes);
}

std::string encodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(QuotedPrintableBound(text));
  WriteQuotedPrintable(text, out);
  return out;
}

std::string EncodeHeaderValue(std::string_view value, std::size_t used, std::string_view charset,
                              bool always) {
  const std::string one_line = BlankLineBreaks(value);
  return !always && StaysAsGiven(one_line, used) ? one_line : EncodeWords(one_line, used, charset);
}

namespace {

// The body in one of its four layouts, by which bodies there are.
void AppendBodyLayout(std::string& out, std::string_view charset, std::string& text, std::string& html,
                      bool declared_mime) {
  if (!text.empty() && !html.empty()) {
    AppendAlternativeLayout(out, charset, text, html);
  } else if (!html.empty()) {
    AppendEncodedPart(out, "text/html", charset, html, declared_mime);
  } else if (!text.empty()) {
    AppendTextOnlyLayout(out, charset, text, declared_mime);
  }
}

}  // namespace

std::string BuildMessageText(MessageParts parts) {
  Trim(parts.textBody);
  Trim(parts.htmlBody);
  std::string& text = parts.textBody;
  std::string& html = parts.htmlBody;
  std::string message = HeaderLines(parts);
  if (parts.attachments.empty())
    message.reserve(message.size() + kLayoutLineBytes + QuotedPrintableBound(text) +
                    QuotedPrintableBound(html));
  const bool declared_mime = !parts.messageId.empty();
  if (parts.attachments.empty()) {
    AppendBodyLayout(message, parts.charset, text, html, declared_mime);
    return message;
  }
  // The body goes first, as it would go alone, then the files.
  std::string body;
  body.reserve(kLayoutLineBytes + QuotedPrintableBound(text) + QuotedPrintableBound(html));
  AppendBodyLayout(body, parts.charset, text, html, declared_mime);
  const std::string boundary = UniqueBoundary(parts.mixedBoundary, body);
  std::size_t size = message.size() + body.size() + kLayoutLineBytes;
  for (const Attachment& file : parts.attachments)
    size += Base64LinesSize(file.bytes.size()) + kLayoutLineBytes + 3 * file.name.size();
  message.reserve(size);
  message += "MIME-Version: 1.0\nContent-Type: multipart/mixed;\n\tboundary=\"" + boundary +
             "\"\n\nThis is a multi-part message in MIME format.\n\n--" + boundary + "\n";
  message += body;
  std::string().swap(body);
  for (Attachment& file : parts.attachments) {
    AppendAttachmentPart(message, boundary, file);
    std::string().swap(file.bytes);
  }
  message += "\n--" + boundary + "--\n";
  return message;
}

std::string MakeMessageId(std::time_t now, unsigned long process, std::uint64_t random,
                          std::string_view fromAddress, std::string_view fallback_domain) {
  const std::size_t at = fromAddress.rfind('@');
  std::string domain(at == std::string_view::npos ? std::string_view() : fromAddress.substr(at + 1));
  const bool usable = !domain.empty() && std::all_of(domain.begin(), domain.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
  });
  if (!usable) domain = fallback_domain;
  char id[64];  // three numbers of fixed width, not request data
  std::snprintf(id, sizeof id, "%lld.%lu.%016llx@", static_cast<long long>(now), process,
                static_cast<unsigned long long>(random));
  return id + domain;
}

}  // namespace quillo
