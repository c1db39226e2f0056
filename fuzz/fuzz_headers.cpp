// Fuzz target: the request headers the run reads itself, Accept and
// Referer. JSON is preferred only where the header names it; a Referer's
// host is lower case and holds nothing that ends a host.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "request/site_rules.h"
#include "response/answer_forms.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view header(reinterpret_cast<const char*>(data), size);
  std::string lower(header);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (PrefersJson(header) && lower.find("json") == std::string::npos) std::abort();
  const std::string host = RefererHost(header);
  for (const char c : host) {
    if (std::isupper(static_cast<unsigned char>(c)) || c == '/' || c == '?' || c == '#' || c == '@')
      std::abort();
  }
  if (!host.empty() && lower.find(host) == std::string::npos) std::abort();
  return 0;
}
