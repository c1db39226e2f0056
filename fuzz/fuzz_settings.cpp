// Fuzz target: the settings file. Whatever the text, a mistake names a line
// of the file, and the file reads alike with LF and with CR LF line ends.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "settings/site_settings.h"

using namespace quillo;

namespace {

// The line a reading names, 0 for a file that reads.
int ErrorLine(const std::variant<SiteSettings, SettingsError>& read) {
  return std::holds_alternative<SettingsError>(read) ? std::get<SettingsError>(read).line : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int line = ErrorLine(ParseSiteSettings(text));
  const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  if (line < 0 || line > lines) std::abort();
  if (text.find('\r') == std::string_view::npos) {
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (ErrorLine(ParseSiteSettings(crlf)) != line) std::abort();
  }
  return 0;
}
