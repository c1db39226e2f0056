// ParseDnsAnswer of net.h, the one DNS message parser of every build: the
// answer section of a response message read byte by byte after RFC 1035
// section 4, pure over the bytes, so that both systems read an answer alike
// and one fuzz target covers it.
//
// A message is refused when any of its sections runs past its end, when
// bytes follow its last record, and when a name is malformed: a label
// longer than 63 bytes, a name longer than 255 bytes, or a compression
// pointer that does not point backwards (the way loops are made; glibc's
// parser follows forward ones too, this one refuses them).
#include <cstddef>
#include <cstdint>

#include "platform/net.h"

namespace quillo::platform {
namespace {

constexpr std::size_t kHeaderBytes = 12;        // RFC 1035 4.1.1
constexpr std::size_t kQuestionFixedBytes = 4;  // QTYPE, QCLASS
constexpr std::size_t kRecordFixedBytes = 10;   // TYPE, CLASS, TTL, RDLENGTH
constexpr std::size_t kMaxLabelBytes = 63;      // RFC 1035 2.3.4
constexpr std::size_t kMaxNameBytes = 255;      // RFC 1035 2.3.4, wire form
constexpr unsigned char kPointerBits = 0xC0;    // RFC 1035 4.1.4
constexpr std::size_t kMxPreferenceBytes = 2;   // RFC 1035 3.3.9

class Reader {
 public:
  explicit Reader(std::string_view message) : message_(message) {}

  std::uint16_t Get16(std::size_t at) const {
    return static_cast<std::uint16_t>((Byte(at) << 8) | Byte(at + 1));
  }
  unsigned Byte(std::size_t at) const { return static_cast<unsigned char>(message_[at]); }
  std::size_t size() const { return message_.size(); }

  // The offset just past the name that starts at `at`, or nothing.
  std::optional<std::size_t> SkipName(std::size_t at) const {
    while (at < size()) {
      const unsigned length = Byte(at);
      if ((length & kPointerBits) == kPointerBits)
        return at + 2 <= size() ? std::optional(at + 2) : std::nullopt;
      if ((length & kPointerBits) != 0) return std::nullopt;  // reserved label types
      if (length == 0) return at + 1;
      at += 1 + length;
    }
    return std::nullopt;
  }

  // The name at `at` in presentation form, following compression pointers
  // backwards only: "a.example.test", "." for the root.
  std::optional<std::string> ReadName(std::size_t at) const {
    std::string name;
    std::size_t wire_bytes = 0;
    std::size_t limit = at;  // every pointer must point before this
    while (at < size()) {
      const unsigned length = Byte(at);
      if ((length & kPointerBits) == kPointerBits) {
        if (at + 1 >= size()) return std::nullopt;
        const std::size_t target = ((length & ~kPointerBits & 0xFFu) << 8) | Byte(at + 1);
        if (target >= limit) return std::nullopt;
        at = limit = target;
        continue;
      }
      if ((length & kPointerBits) != 0 || length > kMaxLabelBytes) return std::nullopt;
      wire_bytes += 1 + length;
      if (wire_bytes > kMaxNameBytes) return std::nullopt;
      if (length == 0) return name.empty() ? std::string(".") : name;
      if (at + 1 + length > size()) return std::nullopt;
      if (!name.empty()) name.push_back('.');
      AppendLabel(message_.substr(at + 1, length), name);
      at += 1 + length;
    }
    return std::nullopt;
  }

 private:
  // A label as resolvers print it: the characters that mean something in a
  // zone file escaped with a backslash, other bytes outside printable ASCII
  // as \DDD.
  static void AppendLabel(std::string_view label, std::string& name) {
    for (const char c : label) {
      const auto byte = static_cast<unsigned char>(c);
      switch (c) {
        case '.':
        case ';':
        case '\\':
        case '(':
        case ')':
        case '@':
        case '$':
        case '"':
          name.push_back('\\');
          name.push_back(c);
          break;
        default:
          if (byte > 0x20 && byte < 0x7F) {
            name.push_back(c);
          } else {
            name.push_back('\\');
            name.push_back(static_cast<char>('0' + byte / 100));
            name.push_back(static_cast<char>('0' + byte / 10 % 10));
            name.push_back(static_cast<char>('0' + byte % 10));
          }
      }
    }
  }

  std::string_view message_;
};

}  // namespace

std::optional<std::vector<DnsRecord>> ParseDnsAnswer(std::string_view message) {
  const Reader reader(message);
  if (reader.size() < kHeaderBytes) return std::nullopt;
  const std::size_t questions = reader.Get16(4);
  const std::size_t answers = reader.Get16(6);
  const std::size_t others = static_cast<std::size_t>(reader.Get16(8)) + reader.Get16(10);
  std::size_t at = kHeaderBytes;
  for (std::size_t i = 0; i < questions; ++i) {
    const auto end = reader.SkipName(at);
    if (!end || *end + kQuestionFixedBytes > reader.size()) return std::nullopt;
    at = *end + kQuestionFixedBytes;
  }
  std::vector<DnsRecord> records;
  for (std::size_t i = 0; i < answers + others; ++i) {
    const auto end = reader.SkipName(at);
    if (!end || *end + kRecordFixedBytes > reader.size()) return std::nullopt;
    const std::size_t rdata = *end + kRecordFixedBytes;
    const std::size_t rdlength = reader.Get16(*end + 8);
    if (rdata + rdlength > reader.size()) return std::nullopt;
    if (i < answers) {
      // The owner's name must read whole, pointers included, though only
      // the exchange's is kept.
      if (!reader.ReadName(at)) return std::nullopt;
      DnsRecord entry;
      entry.type = reader.Get16(*end);
      if (entry.type == kDnsTypeMx) {
        if (rdlength < kMxPreferenceBytes) return std::nullopt;
        std::optional<std::string> exchange = reader.ReadName(rdata + kMxPreferenceBytes);
        if (!exchange) return std::nullopt;
        entry.preference = reader.Get16(rdata);
        entry.exchange = std::move(*exchange);
      }
      records.push_back(std::move(entry));
    }
    at = rdata + rdlength;
  }
  if (at != reader.size()) return std::nullopt;
  return records;
}

}  // namespace quillo::platform
