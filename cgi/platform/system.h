// The operating system as the CGI program meets it: the System a run is
// handed (core/system.h), and the two edges the program's entry uses itself,
// standard output and the process exit. system.cpp makes the System of the
// calls that system_posix.cpp (POSIX systems) or system_win32.cpp (Windows)
// gives it (os_calls.h); those files also hold the two edges.
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

// Reads and drops what standard input still holds of a body announced as
// announced_bytes long, at most max_bytes of it and for at most timeout_ms:
// a web server that writes the body while the program answers (Apache's
// mod_cgi and mod_cgid) loses the answer when the program ends without
// reading it.
void DiscardUnreadInput(long announced_bytes, std::size_t max_bytes, std::uint32_t timeout_ms);

// [[noreturn]] process exit after flushing standard output.
[[noreturn]] void ExitProcess(int status);

// A text-mode read: CR LF as LF. Pure, shared by every platform.
std::string CrLfToLf(std::string_view bytes);

// The bytes before the first Ctrl-Z (0x1A), all of them when there is none.
// Windows' C runtime ends a file read in text mode there, the end-of-file
// mark of MS-DOS, and the Windows build reads the site's files the same way;
// POSIX systems know no such mark. Pure, shared by every platform.
std::string_view UpToCtrlZ(std::string_view bytes);

}  // namespace quillo::platform
