#include "text.h"

namespace quillogen {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the UTF-8 sequence that starts at `at`, or 0 when the bytes there
// do not form one.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 0;
  }
  return length;
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

std::string Utf8ToLatin1(const std::string& text) {
  std::string latin1;
  latin1.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 0 : Utf8SequenceLength(text, at);
    if (length == 0) {
      latin1 += text[at];
      ++at;
      continue;
    }
    // Only two-byte sequences can stand for code points up to U+00FF.
    const unsigned code = length == 2 ? ((lead & 0x1Fu) << 6) | (text[at + 1] & 0x3Fu) : 0x100;
    latin1 += code <= 0xFF ? static_cast<char>(code) : '?';
    at += length;
  }
  return latin1;
}

}  // namespace quillogen
