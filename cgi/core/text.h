// Text utilities shared by every part of the CGI program.
//
// All texts are 8-bit strings in the mail charset (iso-8859-1). Positions are
// zero-based; -1 means "not found". Case mapping covers the ASCII letters only,
// which is all the program relies on: control-variable values, file names and
// e-mail addresses are compared through it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillo {

// Lists of texts: the user fields' names and values, recipients, entries.
using TextList = std::vector<std::string>;

// Space, tab, LF, VT, FF and CR; bytes above 127 are never white space.
bool IsWhiteSpace(char c);

// First occurrence of pattern in text, case-sensitive; -1 when absent.
int FindText(std::string_view text, std::string_view pattern);

// First character of text that is in set; -1 when none is.
int FindAnyOf(std::string_view text, std::string_view set);

// Replaces every non-overlapping occurrence of pattern, scanning left to right;
// the inserted replacement is never searched again. Returns the count.
int ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement);

// ReplaceAll, with pattern matched whatever the case of its ASCII letters.
int ReplaceAllIgnoringCase(std::string& text, std::string_view pattern, std::string_view replacement);

// Removes white space at both ends.
void Trim(std::string& text);
std::string Trimmed(std::string_view text);

void ToUpper(std::string& text);
void ToLower(std::string& text);
std::string UpperCopy(std::string_view text);
std::string LowerCopy(std::string_view text);

// Substring clamped to the text: negative start or count count as 0.
std::string Mid(std::string_view text, int start);
std::string Mid(std::string_view text, int start, int count);

// "0".."9", "A".."F" for 0..15.
char HexDigit(int value);

// SMTP transparency: one extra "." at the start of every line after the first
// that begins with ".". Linear in the text.
void StuffDots(std::string& text);

// & < > " ' as character references, for request values shown in HTML.
std::string EscapeHtml(std::string_view text);
void AppendEscapedHtml(std::string& out, std::string_view text);
// The size EscapeHtml gives, without making it.
std::size_t EscapedHtmlSize(std::string_view text);

// For a value inside a tag, where it may stand in an unquoted attribute:
// blank, tab, LF, CR, FF, " ' ` = < > & as numeric character references, so
// that nothing in it can end the value or the tag. Other bytes stay.
std::string EscapeHtmlAttribute(std::string_view text);

// Splits text into the pieces a line reader of max_piece bytes returns: each
// piece ends after a LF or at max_piece bytes, whichever comes first.
std::vector<std::string_view> LinePieces(std::string_view text, std::size_t max_piece);

// Base64 (RFC 4648 4) with "=" padding, on one line.
std::string EncodeBase64(std::string_view bytes);

// The bytes of base64 text (RFC 4648 4), padded or not; nothing for any
// character outside the alphabet, a misplaced "=" or a length no encoder
// writes.
std::optional<std::string> DecodeBase64(std::string_view text);

// Text in one of the mail charsets (iso-8859-1, windows-1252, utf-8) as
// UTF-8; UTF-8 is taken as it is.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// Lower-case hexadecimal, two digits per byte.
std::string HexOf(std::string_view bytes);

// Cuts text at its first NUL byte: NUL ends a text wherever one arrives.
void CutAtNul(std::string& text);

// --- splitting and reading ---

// Every piece between separators, empty ones included: "a,,b" gives "a",
// "", "b"; "" gives one empty piece.
std::vector<std::string_view> Split(std::string_view text, char separator);

// The lines of a text, each without its LF (a CR before it stays); a text
// that ends with a LF has no empty line after it.
std::vector<std::string_view> Lines(std::string_view text);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// A decimal number of digits only, at most max; nothing for anything else
// (no sign, no blank, no digit at all, or more than max).
std::optional<std::uint64_t> ReadNumber(std::string_view digits, std::uint64_t max);

// A host name as RFC 1123 2.1 has it: labels of letters, digits and
// hyphens, none starting or ending with a hyphen, at most 63 characters
// each and 253 in all. An IPv4 address in dots is one too.
bool IsHostName(std::string_view name);

// An absolute path on either system: "/srv/x", "C:\x", "C:/x" or
// "\\server\share\x".
bool IsAbsolutePath(std::string_view path);

}  // namespace quillo
