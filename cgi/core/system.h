// What a run needs of the operating system, as an interface the run is
// handed: the CGI environment, standard input, the site's files, the clock,
// the host name and the error log. The program passes the platform's own
// (platform/system.h, one back end per operating system); tests pass fakes,
// so that a whole run is tested in-process. The network is not here: mail
// delivery reaches it through platform/connection.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quillo {

enum class FileStatus {
  kRead,
  kMissing,     // no such file: nothing by that name in its folder
  kUnreadable,  // there, but not a regular file, or it cannot be opened or read
  kTooLarge,    // more than the bytes asked for at most
  kProtected,   // one of the program's own files, which no form may read
};

// Which file a name opens, whatever the name: the device and the file's
// number on it (inode; on Windows the volume and the file ID), so that a
// link, another case, a short name or a trailing dot is known as the same.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  // Every account of the machine may read it (POSIX "others" read bit;
  // never set on Windows). Not part of the identity.
  bool readable_by_all = false;
  bool operator==(const FileIdentity& other) const { return device == other.device && file == other.file; }
};

struct FileText {
  FileText(FileStatus file_status = FileStatus::kRead, std::string file_text = {},
           std::optional<FileIdentity> file_identity = std::nullopt)
      : status(file_status), text(std::move(file_text)), identity(file_identity) {}
  FileStatus status;
  std::string text;                      // when read: the file in text mode, CR LF as LF
  std::optional<FileIdentity> identity;  // when read: the file that was opened
};

// Reads the site's files: the documents, templates and lists next to the
// program.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // A regular file read whole, at most max_bytes of it. Opening never waits
  // (a FIFO or a device named like a document cannot hold the run), and
  // anything but a regular file is unreadable.
  virtual FileText ReadTextFile(const std::string& path, std::size_t max_bytes) const = 0;
  // The file a path names, links followed; nothing when there is none.
  virtual std::optional<FileIdentity> IdentityOf(const std::string& path) const = 0;
  // How a page names the file at path: the path itself, unless the reader
  // keeps the server's paths to itself.
  virtual std::string ShownPath(const std::string& path) const { return path; }
};

// Local broken-down time and its offset east of UTC in seconds.
struct LocalTime {
  std::tm fields{};
  long offset_east_seconds = 0;
};

class System : public FileReader {
 public:
  // Prepares the network for the run; false when it cannot be used.
  virtual bool StartSockets() = 0;
  // The variable's value, or nothing when the environment has no such variable.
  virtual std::optional<std::string> GetEnv(const char* name) const = 0;
  // Standard input up to max_bytes bytes or through the first line feed,
  // whichever comes first; nothing on an input error (end of input is none).
  virtual std::optional<std::string> ReadStdinLine(long max_bytes) = 0;
  // Appends what standard input has, up to at_most bytes; the count, 0 at
  // its end, -1 on an input error. For a body read as it arrives.
  virtual long AppendStdin(std::string& into, std::size_t at_most) = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual std::time_t Now() const = 0;
  virtual std::optional<LocalTime> ToLocalTime(std::time_t when) const = 0;
  // The machine's host name; empty when it cannot be read.
  virtual std::string HostName() const = 0;
  // Its fully qualified form as the system's name lookup gives it; empty
  // when there is none.
  virtual std::string CanonicalHostName() const = 0;
  // Whether the file system ignores the case of file names. Where it does
  // not, the program's own path keeps its case, or documents in a folder
  // such as /home/Jo/cgi-bin could not be found.
  virtual bool FileNamesIgnoreCase() const = 0;
  // One line for the web server's error log: what the program refused and
  // why. Nothing a browser or mail server sees.
  virtual void WriteStderrLine(std::string_view line) = 0;
  // Appends line and a LF to the file at path (created when missing) in one
  // write, so that the lines of concurrent runs never interleave; false when
  // it cannot.
  virtual bool AppendLine(const std::string& path, std::string_view line) = 0;
  // Hands the bytes of the file at path (created when missing) to update and
  // replaces them with what it returns, all under an exclusive lock, so that
  // concurrent runs take turns; false when the file cannot be used.
  virtual bool UpdateLockedFile(const std::string& path,
                                const std::function<std::string(std::string_view)>& update) = 0;
};

}  // namespace quillo
