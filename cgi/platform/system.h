// The operating system as the CGI program meets it: the System a run is
// handed (core/system.h), and the two edges the program's entry uses itself,
// standard output and the process exit. system_posix.cpp implements them
// for POSIX systems.
#pragma once

#include <string>
#include <string_view>

#include "core/system.h"

namespace quillo::platform {

// The platform's System, for the program's one run.
System& TheSystem();

// Writes text to standard output as a text stream: every LF goes out as CR LF.
// Allocates nothing.
void WriteStdoutText(std::string_view text);

// [[noreturn]] process exit after flushing standard output.
[[noreturn]] void ExitProcess(int status);

// A text-mode read: CR LF as LF. Pure, shared by every platform.
std::string CrLfToLf(std::string_view bytes);

}  // namespace quillo::platform
