// The system's words for a Windows error code, for the Windows back ends of
// the platform layer alone (windows_message.cpp).
#pragma once

#include <string>

namespace quillo::platform {

// FormatMessage's text for the code without its trailing line break; empty
// when the system has none (wine has few).
std::string WindowsMessage(unsigned long code);

}  // namespace quillo::platform
