// The Windows System and the process edges; see system.h.
//
// The three standard streams are switched to binary mode before anything is
// read or written: the body of a post arrives byte for byte, and standard
// output carries exactly the bytes the POSIX build writes, its CR LF line
// ends made by WriteStdoutText itself rather than by the C runtime.
#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise bring in the old
// winsock.h.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/net.h"
#include "platform/os_calls.h"
#include "platform/system.h"

namespace quillo::platform {
// The helpers of this file's calls stand with them in os: this file is the
// Windows build's alone.
namespace os {

// The version of Windows Sockets the program asks for and accepts, major in
// the low byte: 1.1, whose calls are all the program makes.
constexpr WORD kSocketsVersion = 0x0101;

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01 (time_t's), and
// FILETIME's ticks of 100 ns per second.
constexpr std::int64_t kEpochDifferenceSeconds = 11644473600LL;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000LL;

void PrepareStandardStreams() {
  static const bool done = [] {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
  }();
  (void)done;
}

// Whether this run started Windows Sockets, so that the exit releases them.
bool sockets_started = false;

bool StartSockets() {
  WSADATA data{};
  if (WSAStartup(kSocketsVersion, &data) != 0) return false;
  if (data.wVersion != kSocketsVersion) {
    WSACleanup();
    return false;
  }
  sockets_started = true;
  return true;
}

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// Appends at most at_most bytes read from handle to into; the count read, 0
// at the end of input, -1 on an input error. A pipe whose writer has closed
// it is the end of input, as on POSIX.
long AppendRead(HANDLE handle, std::string& into, DWORD at_most) {
  const std::size_t before = into.size();
  into.resize(before + at_most);
  DWORD got = 0;
  const BOOL read = ReadFile(handle, into.data() + before, at_most, &got, nullptr);
  into.resize(before + got);
  if (!read) return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  return static_cast<long>(got);
}

long AppendStandardInput(std::string& into, std::size_t at_most) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == INVALID_HANDLE_VALUE || input == nullptr) return -1;
  return AppendRead(input, into, static_cast<DWORD>(at_most));
}

// What is left of the body to read, and where from: the draining thread's
// own, since the run may end before that thread does.
struct Discard {
  HANDLE input;
  std::size_t at_most;
};

DWORD WINAPI ReadAndDiscard(void* parameter) {
  auto* discard = static_cast<Discard*>(parameter);
  std::string scratch;
  while (discard->at_most > 0) {
    scratch.clear();
    const long got =
        AppendRead(discard->input, scratch, static_cast<DWORD>(std::min(discard->at_most, kReadStep)));
    if (got <= 0) break;
    discard->at_most -= static_cast<std::size_t>(got);
  }
  return 0;
}

// The body is read on a thread of its own with blocking reads, and the run
// waits for that thread no longer than the time-out: a writer who stops
// cannot hold the run, and no pipe has to be peeked at, which a POSIX pipe
// under a compatibility layer does not allow (ERROR_NOT_SUPPORTED).
void DiscardStandardInput(std::size_t at_most, std::uint32_t timeout_ms) {
  constexpr SIZE_T kThreadStack = 64 * 1024;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == INVALID_HANDLE_VALUE || input == nullptr) return;
  const DWORD type = GetFileType(input);
  if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) return;
  auto* discard = new Discard{input, at_most};
  const HANDLE thread = CreateThread(nullptr, kThreadStack, ReadAndDiscard, discard,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    // Read here instead: the web server's own time-out then bounds the wait,
    // and the answer is not lost to a pipe closed under the server.
    ReadAndDiscard(discard);
    delete discard;
    return;
  }
  // A thread still reading keeps its Discard until the process ends.
  if (WaitForSingleObject(thread, timeout_ms) == WAIT_OBJECT_0) delete discard;
  CloseHandle(thread);
}

// A handle that closes with its scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (is_open()) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

 private:
  HANDLE handle_;
};

// Opens an existing file for reading, sharing it with writers, as the C
// runtime's fopen does. Opening never waits; a folder does not open.
HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The volume and the file ID: the same for every name of one file, a short
// name, another case, a trailing dot or a hard link.
std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
  // No access asked for: only the file's attributes are read, and a folder opens too.
  const Handle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.is_open()) return std::nullopt;
  return IdentityOfHandle(file.get());
}

FileText ReadRegularFile(const std::string& path, std::size_t max_bytes) {
  const Handle file(OpenForReading(path));
  if (!file.is_open()) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {missing ? FileStatus::kMissing : FileStatus::kUnreadable, {}};
  }
  // A device named like a document ("con", "nul", "com1.htm") opens as
  // one: only a file on a disk is a document.
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) {
    return {FileStatus::kUnreadable, {}};
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > max_bytes) return {FileStatus::kTooLarge, {}};
  // The first read asks for the size and one byte more, which tells a file
  // that grew since; only such a file takes further steps.
  std::string bytes;
  std::size_t step = static_cast<std::size_t>(size.QuadPart) + 1;
  long got;
  bool filled;
  do {
    const auto asked =
        static_cast<DWORD>(std::min<std::size_t>({step, max_bytes + 1 - bytes.size(), MAXDWORD}));
    got = AppendRead(file.get(), bytes, asked);
    filled = got > 0 && static_cast<DWORD>(got) == asked;
    step = kReadStep;
  } while (filled && bytes.size() <= max_bytes);
  if (got < 0) return {FileStatus::kUnreadable, {}};
  if (bytes.size() > max_bytes) return {FileStatus::kTooLarge, {}};
  return {FileStatus::kRead, CrLfToLf(UpToCtrlZ(bytes)), IdentityOfHandle(file.get())};
}

bool WriteWhole(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD put = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
    if (!WriteFile(file, bytes.data(), chunk, &put, nullptr) || put == 0) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

// A handle opened with FILE_APPEND_DATA alone writes every WriteFile at
// the end of the file, whole, as O_APPEND does on POSIX.
bool AppendLineTo(const std::string& path, std::string_view line) {
  // Read access lets the handle take a lock: Windows appends a handle's
  // writes whole, wine places them at the end it saw, so concurrent runs
  // take turns under the lock for the one write.
  const Handle file(CreateFileA(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_open() || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  OVERLAPPED whole{};
  LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);  // released with the handle
  std::string text(line);
  text.push_back('\n');
  DWORD put = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
         put == text.size();
}

// The lock covers every byte the file can ever have and goes with the
// handle, so a run that dies mid-update releases it.
bool UpdateUnderLock(const std::string& path, const std::function<std::string(std::string_view)>& update) {
  const Handle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_open() || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  OVERLAPPED whole{};
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) return false;
  bool done = false;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.get(), &size) && size.QuadPart <= static_cast<LONGLONG>(kMaxLockedFileBytes)) {
    std::string bytes;
    while (AppendRead(file.get(), bytes, kReadStep) > 0 && bytes.size() <= kMaxLockedFileBytes) {
    }
    const std::string replaced = update(bytes);
    const LARGE_INTEGER start{};
    done = SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()) &&
           WriteWhole(file.get(), replaced);
  }
  UnlockFileEx(file.get(), 0, MAXDWORD, MAXDWORD, &whole);
  return done;
}

// Day of the year, 0 for January 1st, of a SYSTEMTIME's date.
int DayOfYear(const SYSTEMTIME& date) {
  static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int year = date.wYear;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDaysBefore[date.wMonth - 1] + date.wDay - 1 + (leap && date.wMonth > 2 ? 1 : 0);
}

// The zone's bias and the local time from Windows itself: the C runtime's
// own local time follows the TZ variable, which Windows does not keep. The
// bias in force now is the zone's Bias, plus DaylightBias in daylight time;
// StandardBias is never added.
std::optional<LocalTime> LocalTimeOf(std::time_t when) {
  TIME_ZONE_INFORMATION zone{};
  const DWORD which = GetTimeZoneInformation(&zone);
  if (which == TIME_ZONE_ID_INVALID) return std::nullopt;
  const bool daylight = which == TIME_ZONE_ID_DAYLIGHT;
  const long bias_minutes = zone.Bias + (daylight ? zone.DaylightBias : 0);
  const std::int64_t local_seconds = static_cast<std::int64_t>(when) - bias_minutes * 60LL;
  const std::int64_t ticks = (local_seconds + kEpochDifferenceSeconds) * kFileTimeTicksPerSecond;
  if (ticks < 0) return std::nullopt;
  FILETIME local_file_time{};
  local_file_time.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks));
  local_file_time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  SYSTEMTIME local_time{};
  if (!FileTimeToSystemTime(&local_file_time, &local_time)) return std::nullopt;
  LocalTime local;
  local.fields.tm_year = local_time.wYear - 1900;
  local.fields.tm_mon = local_time.wMonth - 1;
  local.fields.tm_mday = local_time.wDay;
  local.fields.tm_hour = local_time.wHour;
  local.fields.tm_min = local_time.wMinute;
  local.fields.tm_sec = local_time.wSecond;
  local.fields.tm_wday = local_time.wDayOfWeek;
  local.fields.tm_yday = DayOfYear(local_time);
  local.fields.tm_isdst = daylight ? 1 : 0;
  local.offset_east_seconds = -bias_minutes * 60L;
  return local;
}

bool FileNamesIgnoreCase() { return true; }

}  // namespace os

void ExitProcess(int status) {
  std::fflush(stdout);
  if (os::sockets_started) WSACleanup();
  std::exit(status);
}

}  // namespace quillo::platform
