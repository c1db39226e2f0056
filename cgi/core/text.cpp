// Text utilities; see text.h.
#include "core/text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quillo {

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int FindText(std::string_view text, std::string_view pattern) {
  const auto pos = text.find(pattern);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

int FindAnyOf(std::string_view text, std::string_view set) {
  const auto pos = text.find_first_of(set);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

namespace {

// Replaces, in text, every non-overlapping match of pattern found in search,
// a text of the same length as text (text itself, or a case-folded copy).
int ReplaceMatches(std::string& text, const std::string& search, std::string_view pattern,
                   std::string_view replacement) {
  if (pattern.empty()) return 0;
  std::size_t found = search.find(pattern);
  if (found == std::string::npos) return 0;
  std::string rebuilt;
  rebuilt.reserve(text.size());
  std::size_t from = 0;
  int count = 0;
  while (found != std::string::npos) {
    rebuilt.append(text, from, found - from);
    rebuilt.append(replacement);
    from = found + pattern.size();
    ++count;
    found = search.find(pattern, from);
  }
  rebuilt.append(text, from, std::string::npos);
  text.swap(rebuilt);
  return count;
}

}  // namespace

int ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement) {
  return ReplaceMatches(text, text, pattern, replacement);
}

int ReplaceAllIgnoringCase(std::string& text, std::string_view pattern, std::string_view replacement) {
  return ReplaceMatches(text, LowerCopy(text), LowerCopy(pattern), replacement);
}

void Trim(std::string& text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsWhiteSpace(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && IsWhiteSpace(text[end - 1])) --end;
  // In place: a body of megabytes is trimmed without a second copy.
  text.erase(end);
  text.erase(0, begin);
}

std::string Trimmed(std::string_view text) {
  std::string copy(text);
  Trim(copy);
  return copy;
}

void ToUpper(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

void ToLower(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string UpperCopy(std::string_view text) {
  std::string copy(text);
  ToUpper(copy);
  return copy;
}

std::string LowerCopy(std::string_view text) {
  std::string copy(text);
  ToLower(copy);
  return copy;
}

std::string Mid(std::string_view text, int start) { return Mid(text, start, static_cast<int>(text.size())); }

std::string Mid(std::string_view text, int start, int count) {
  const auto size = static_cast<long long>(text.size());
  const long long from = std::max(0, start);
  if (from >= size) return {};
  const long long length = std::min<long long>(std::max(0, count), size - from);
  return std::string(text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(length)));
}

char HexDigit(int value) { return "0123456789ABCDEF"[value & 0x0F]; }

void StuffDots(std::string& text) {
  if (text.find("\n.") == std::string::npos) return;
  std::string stuffed;
  stuffed.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    stuffed.push_back(text[i]);
    if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '.') stuffed.push_back('.');
  }
  text.swap(stuffed);
}

namespace {

// text with every byte for which reference() names a character reference
// written as that reference.
// Appends text to out with every byte for which reference() names a
// character reference written as that reference.
template <typename Reference>
void AppendWithReferences(std::string& out, std::string_view text, Reference reference) {
  for (char c : text) {
    const std::string_view written = reference(c);
    if (written.empty()) {
      out.push_back(c);
    } else {
      out.append(written);
    }
  }
}

std::string_view HtmlTextReference(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return {};
  }
}

std::string_view HtmlAttributeReference(char c) {
  switch (c) {
    case ' ':
      return "&#32;";
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
    case '\f':
      return "&#12;";
    case '"':
      return "&#34;";
    case '\'':
      return "&#39;";
    case '`':
      return "&#96;";
    case '=':
      return "&#61;";
    case '<':
      return "&#60;";
    case '>':
      return "&#62;";
    case '&':
      return "&#38;";
    default:
      return {};
  }
}

}  // namespace

void AppendEscapedHtml(std::string& out, std::string_view text) {
  AppendWithReferences(out, text, HtmlTextReference);
}

std::size_t EscapedHtmlSize(std::string_view text) {
  std::size_t size = 0;
  for (char c : text) {
    const std::string_view reference = HtmlTextReference(c);
    size += reference.empty() ? 1 : reference.size();
  }
  return size;
}

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  AppendEscapedHtml(escaped, text);
  return escaped;
}

std::string EscapeHtmlAttribute(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  AppendWithReferences(escaped, text, HtmlAttributeReference);
  return escaped;
}

std::vector<std::string_view> LinePieces(std::string_view text, std::size_t max_piece) {
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t lf = text.find('\n', from);
    const std::size_t line_end = lf == std::string_view::npos ? text.size() : lf + 1;
    const std::size_t length = std::min(line_end - from, max_piece);
    pieces.push_back(text.substr(from, length));
    from += length;
  }
  return pieces;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  constexpr unsigned kCharacterBits = 6;
  constexpr unsigned kByteBits = 8;
  if (text.size() % 4 == 0 && EndsWith(text, "==")) {
    text.remove_suffix(2);
  } else if (text.size() % 4 == 0 && EndsWith(text, "=")) {
    text.remove_suffix(1);
  }
  if (text.size() % 4 == 1) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  std::uint32_t bits = 0;
  unsigned bit_count = 0;
  for (char c : text) {
    unsigned value = 0;
    if (c >= 'A' && c <= 'Z')
      value = static_cast<unsigned>(c - 'A');
    else if (c >= 'a' && c <= 'z')
      value = static_cast<unsigned>(c - 'a') + 26;
    else if (c >= '0' && c <= '9')
      value = static_cast<unsigned>(c - '0') + 52;
    else if (c == '+')
      value = 62;
    else if (c == '/')
      value = 63;
    else
      return std::nullopt;
    bits = (bits << kCharacterBits) | value;
    bit_count += kCharacterBits;
    if (bit_count >= kByteBits) {
      bit_count -= kByteBits;
      out.push_back(static_cast<char>((bits >> bit_count) & 0xFF));
    }
  }
  return out;
}

namespace {

// Windows-1252's characters at 0x80 to 0x9F; 0 where it has none.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
  if (charset == "utf-8") return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    char32_t code = byte;
    if (charset == "windows-1252" && byte >= 0x80 && byte < 0xA0 && kCp1252High[byte - 0x80] != 0)
      code = kCp1252High[byte - 0x80];
    AppendUtf8(out, code);
  }
  return out;
}

std::string HexOf(std::string_view bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
  }
  return out;
}

void CutAtNul(std::string& text) {
  const auto nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
}

std::string EncodeBase64(std::string_view bytes) {
  constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  // Three bytes, 24 bits, make four characters of six bits each.
  constexpr std::size_t kGroupBytes = 3;
  constexpr std::size_t kGroupCharacters = 4;
  constexpr unsigned kByteBits = 8;
  constexpr unsigned kCharacterBits = 6;
  constexpr std::uint32_t kCharacterMask = 0x3F;
  std::string out;
  out.reserve((bytes.size() + kGroupBytes - 1) / kGroupBytes * kGroupCharacters);
  for (std::size_t i = 0; i < bytes.size(); i += kGroupBytes) {
    const std::size_t count = std::min(kGroupBytes, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < kGroupBytes; ++j) {
      group <<= kByteBits;
      if (j < count) group |= static_cast<unsigned char>(bytes[i + j]);
    }
    // count bytes fill count + 1 characters; "=" pads the group to four.
    for (std::size_t j = 0; j < kGroupCharacters; ++j) {
      const unsigned shift = kCharacterBits * static_cast<unsigned>(kGroupCharacters - 1 - j);
      out.push_back(j <= count ? kAlphabet[(group >> shift) & kCharacterMask] : '=');
    }
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(separator, from);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(from));
      return pieces;
    }
    pieces.push_back(text.substr(from, at - from));
    from = at + 1;
  }
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines = Split(text, '\n');
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<std::uint64_t> ReadNumber(std::string_view digits, std::uint64_t max) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > max) return std::nullopt;
  }
  return value;
}

bool IsHostName(std::string_view name) {
  constexpr std::size_t kMaxName = 253;
  constexpr std::size_t kMaxLabel = 63;
  if (name.empty() || name.size() > kMaxName) return false;
  for (std::string_view label : Split(name, '.')) {
    if (label.empty() || label.size() > kMaxLabel || label.front() == '-' || label.back() == '-')
      return false;
    for (char c : label) {
      const bool letter_or_digit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (!letter_or_digit && c != '-') return false;
    }
  }
  return true;
}

bool IsAbsolutePath(std::string_view path) {
  const bool drive = path.size() > 2 &&
                     ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z')) &&
                     path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return StartsWith(path, "/") || drive || StartsWith(path, "\\\\");
}

}  // namespace quillo
