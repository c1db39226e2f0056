// See windows_message.h.
#include "platform/windows_message.h"

#include <windows.h>

namespace quillo::platform {

std::string WindowsMessage(unsigned long code) {
  char* words = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&words), 0, nullptr);
  std::string text = length > 0 && words != nullptr ? std::string(words, length) : std::string();
  if (words != nullptr) LocalFree(words);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace quillo::platform
