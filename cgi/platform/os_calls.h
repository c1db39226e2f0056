// What each operating system's file (system_posix.cpp, system_win32.cpp)
// gives the program's one System (system.cpp): the calls differ from system
// to system, the System made of them does not.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/system.h"

namespace quillo::platform::os {

// Standard streams as the program needs them: bytes in and out, unchanged.
void PrepareStandardStreams();
// Prepares the network for the run; false when it cannot be used.
bool StartSockets();
bool FileNamesIgnoreCase();
std::optional<std::string> Variable(const char* name);
// Standard input up to max_bytes or through the first line feed.
std::optional<std::string> ReadStandardInputLine(long max_bytes);
FileText ReadRegularFile(const std::string& path, std::size_t max_bytes);
bool AppendLineTo(const std::string& path, std::string_view line);
bool UpdateUnderLock(const std::string& path, const std::function<std::string(std::string_view)>& update);
std::optional<LocalTime> LocalTimeOf(std::time_t when);

}  // namespace quillo::platform::os
