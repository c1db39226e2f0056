// Reading a service's address; see web_address.h.
#include "http/web_address.h"

#include <algorithm>

#include "core/text.h"

namespace quillo {

std::optional<WebAddress> ParseHttpsAddress(std::string_view text) {
  constexpr std::string_view kScheme = "https://";
  if (LowerCopy(text.substr(0, kScheme.size())) != kScheme) return std::nullopt;
  const bool printable = std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; });
  if (!printable || text.find('#') != std::string_view::npos) return std::nullopt;
  text.remove_prefix(kScheme.size());
  const std::size_t path_start = std::min(text.find('/'), text.find('?'));
  std::string_view authority = text.substr(0, path_start);
  WebAddress address;
  if (path_start != std::string_view::npos) {
    address.path = std::string(text.substr(path_start));
    if (address.path.front() == '?') address.path.insert(0, "/");
  }
  const std::size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    const auto port = ReadNumber(authority.substr(colon + 1), 65535);
    if (!port || *port == 0) return std::nullopt;
    address.port = static_cast<std::uint16_t>(*port);
    authority = authority.substr(0, colon);
  }
  address.host = LowerCopy(authority);
  // Certificates name hosts; a bare address would go unverified.
  const bool dotted_quad =
      !address.host.empty() && std::all_of(address.host.begin(), address.host.end(),
                                           [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
  if (!IsHostName(address.host) || dotted_quad) return std::nullopt;
  return address;
}

}  // namespace quillo
