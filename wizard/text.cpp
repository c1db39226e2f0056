#include "text.h"

namespace quillogen {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the UTF-8 sequence that starts at `at`, or 0 when the bytes there
// do not form one. Overlong forms and surrogates do not count: they are not
// UTF-8, and decoding them would let bytes pass as a character they do not
// stand for.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_min = 0xA0;
    if (lead == 0xED) second_max = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_min = 0x90;
    if (lead == 0xF4) second_max = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if (second < second_min || second > second_max) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 0;
  }
  return length;
}

// The code point of the valid sequence of `length` bytes at `at`.
char32_t DecodeUtf8(const std::string& text, std::size_t at, std::size_t length) {
  char32_t code = static_cast<unsigned char>(text[at]) & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i)
    code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
  return code;
}

// What cp1252 holds at 0x80 to 0x9F; 0 where it leaves a byte unassigned.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char ToCp1252(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (std::size_t i = 0; i < 32; ++i) {
    if (kCp1252High[i] != 0 && kCp1252High[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string ToUpper(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool ContainsText(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name.find_first_of("|/\\:") == std::string::npos;
}

std::string Utf8ToCp1252(const std::string& text) {
  std::string cp1252;
  cp1252.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 0 : Utf8SequenceLength(text, at);
    if (length == 0) {
      cp1252 += text[at];
      ++at;
      continue;
    }
    cp1252 += ToCp1252(DecodeUtf8(text, at, length));
    at += length;
  }
  return cp1252;
}

std::string Cp1252ToUtf8(const std::string& text) {
  std::string utf8;
  utf8.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char32_t code = byte;
    if (byte >= 0x80 && byte < 0xA0) code = kCp1252High[byte - 0x80] != 0 ? kCp1252High[byte - 0x80] : U'?';
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (code >> 12));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace quillogen
