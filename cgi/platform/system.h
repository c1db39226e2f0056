// The seam between the CGI program and the operating system: process
// environment, standard input and output, files, clock, host name and the
// start-up of the socket layer. Everything above it is written against these
// declarations only; system_posix.cpp implements them for POSIX systems.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quillo::platform {

// Whether the file system ignores the case of file names. Where it does not,
// the program's own path keeps its case, or documents in a folder such as
// /home/Jo/cgi-bin could not be found.
bool FileNamesIgnoreCase();

// Prepares the socket layer for the run. On POSIX it ignores SIGPIPE, so that
// a peer that closes the connection cannot kill the run; it cannot fail there.
bool StartSockets();

// The variable's value, or nothing when the environment has no such variable.
std::optional<std::string> GetEnv(const char* name);

// Reads standard input up to max_bytes bytes or through the first line feed,
// whichever comes first. Memory grows with what arrives, not with max_bytes.
// Nothing when the read fails with an input error (end of input is no error).
std::optional<std::string> ReadStdinLine(long max_bytes);

// Writes text to standard output as a text stream: every LF goes out as CR LF.
// Allocates nothing.
void WriteStdoutText(std::string_view text);

// One line for the web server's error log, on standard error: what the
// program refused and why. Nothing a browser or mail server sees.
void WriteStderrLine(std::string_view line);

// [[noreturn]] process exit after flushing standard output.
[[noreturn]] void ExitProcess(int status);

enum class FileStatus {
  kRead,
  kMissing,     // no such file: nothing by that name in its folder
  kUnreadable,  // there, but not a regular file, or it cannot be opened or read
  kTooLarge,    // more than the bytes asked for at most
};

struct FileText {
  FileStatus status = FileStatus::kRead;
  std::string text;  // when read: the file in text mode, CR LF as LF
};

// A regular file read whole, at most max_bytes of it. Opening never waits
// (a FIFO or a device named like a document cannot hold the run), and
// anything but a regular file is unreadable.
FileText ReadTextFile(const std::string& path, std::size_t max_bytes);

// Seconds since 1970-01-01 00:00 UTC.
std::time_t Now();

// Local broken-down time and its offset east of UTC in seconds.
struct LocalTime {
  std::tm fields{};
  long offset_east_seconds = 0;
};
std::optional<LocalTime> ToLocalTime(std::time_t when);

// The machine's host name; empty when it cannot be read.
std::string HostName();

// Pure helpers of the text-mode conventions, exposed for tests.
std::string CrLfToLf(std::string_view bytes);

}  // namespace quillo::platform
