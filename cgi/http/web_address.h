// The address of a web service the program calls (a CAPTCHA provider's
// verification, later a webhook): https only, a host name, an optional
// port, a path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillo {

struct WebAddress {
  std::string host;  // lower case
  std::uint16_t port = 443;
  std::string path = "/";  // with its query, if any
};

// "https://host[:port][/path[?query]]": nothing for another scheme, a user
// name, an address literal, a fragment, or any byte outside printable
// ASCII, so that nothing in it can end the request line.
std::optional<WebAddress> ParseHttpsAddress(std::string_view text);

}  // namespace quillo
