// Text-mode conventions of standard output and file reading, as pure
// functions shared by every platform; see system.h.
#include "platform/system.h"

namespace quillo::platform {

std::string CrLfToLf(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out.push_back(bytes[i]);
  }
  return out;
}

std::string_view UpToCtrlZ(std::string_view bytes) { return bytes.substr(0, bytes.find('\x1a')); }

}  // namespace quillo::platform
