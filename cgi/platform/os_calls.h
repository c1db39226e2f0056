// What each operating system's file (system_posix.cpp, system_win32.cpp)
// gives the program's one System (system.cpp): the calls differ from system
// to system, the System made of them does not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/system.h"

namespace quillo::platform::os {

// Input is read in steps of this size, so that memory grows with what really
// arrives: a claimed body length of gigabytes costs nothing by itself.
constexpr std::size_t kReadStep = 64 * 1024;

// A state file the program keeps itself stays far below this; a larger one
// is not read.
constexpr std::size_t kMaxLockedFileBytes = 4 * 1024 * 1024;

// Standard streams as the program needs them: bytes in and out, unchanged.
void PrepareStandardStreams();
// Prepares the network for the run; false when it cannot be used.
bool StartSockets();
bool FileNamesIgnoreCase();
std::optional<std::string> Variable(const char* name);
// Appends at most at_most bytes of standard input to into: the count read,
// 0 at the end of input, -1 on an input error.
long AppendStandardInput(std::string& into, std::size_t at_most);
// Reads and drops at most at_most bytes of standard input, waiting for them
// at most timeout_ms in all; stops at the end of input or an error.
void DiscardStandardInput(std::size_t at_most, std::uint32_t timeout_ms);
FileText ReadRegularFile(const std::string& path, std::size_t max_bytes);
std::optional<FileIdentity> IdentityOfFile(const std::string& path);
bool AppendLineTo(const std::string& path, std::string_view line);
bool UpdateUnderLock(const std::string& path, const std::function<std::string(std::string_view)>& update);
std::optional<LocalTime> LocalTimeOf(std::time_t when);

}  // namespace quillo::platform::os
