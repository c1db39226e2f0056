// Fuzz target: the DNS message parser. An answer it reads holds no more
// records than the message could, and every exchange name is a name a
// resolver could print: at most 255 bytes on the wire, so at most four
// times that escaped.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/net.h"

using namespace quillo::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  const auto records = ParseDnsAnswer(message);
  if (!records) return 0;
  // A record takes at least its owner's name, the root's single byte, and
  // its fixed part: 11 bytes.
  if (records->size() * 11 > size) std::abort();
  for (const DnsRecord& record : *records) {
    if (record.type != kDnsTypeMx && (record.preference != 0 || !record.exchange.empty())) std::abort();
    if (record.type == kDnsTypeMx && (record.exchange.empty() || record.exchange.size() > 4 * 255))
      std::abort();
  }
  return 0;
}
