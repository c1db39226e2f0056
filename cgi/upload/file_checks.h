// What a file sent with a form may be called and what it may hold: its name
// made safe for a mail header and a disk, its type told by its extension
// and by its first bytes, never by what the browser claims. Pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/text.h"

namespace quillo {

// The longest name a file keeps, in bytes.
constexpr std::size_t kMaxFileNameBytes = 200;

// The length of the UTF-8 character at text[at] (1 to 4), or 0 where the
// bytes there are no valid UTF-8: a stray continuation byte, an overlong
// form, a surrogate or a code point above U+10FFFF.
std::size_t Utf8CharacterLength(std::string_view text, std::size_t at);
bool IsValidUtf8(std::string_view text);

// The extension of a name, lower case: what follows its last dot once
// trailing dots and blanks are gone (a file system may drop those); empty
// without a dot.
std::string ExtensionOf(std::string_view name);

// The name a file goes out with: its base name only (what follows the last
// "/" or "\"), without control characters, '"' and '\', trailing dots and
// blanks, bytes that are no UTF-8 as "_", at most kMaxFileNameBytes bytes
// without splitting a character (the extension kept), and never empty:
// "attachment-<number>" with the extension when nothing else is left.
std::string CleanFileName(std::string_view sent, std::size_t number);

// A filename* value (RFC 5987, RFC 2231): charset'language'percent-encoded
// bytes, in UTF-8 or ISO-8859-1, as UTF-8. Nothing for a value that is not
// one: no charset, another charset, a bad escape, bytes that are no UTF-8.
std::optional<std::string> DecodeExtendedValue(std::string_view value);

// Whether a site may list the extension in allowed_types: one this program
// can tell by the first bytes, and none that is always refused.
bool IsKnownFileType(std::string_view extension);

// Extensions no form may send whatever the settings say: programs, scripts,
// and pages a mail reader might open as a web page (HTML, SVG).
bool IsAlwaysRefused(std::string_view extension);

// Whether a file of this (clean) name may be sent at all: its extension is
// in allowed and is not always refused.
bool NameAllowed(std::string_view name, const TextList& allowed);

// The Content-Type a file goes out with, when its name is allowed and its
// bytes are what its extension says; nothing otherwise, and always for a
// program, a script, HTML or SVG, whatever its name.
std::optional<std::string> AttachmentType(std::string_view name, std::string_view bytes,
                                          const TextList& allowed);

}  // namespace quillo
