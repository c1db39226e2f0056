// The program's System over the operating system's calls; see system.h.
#include "platform/system.h"

#include <algorithm>
#include <cstdio>

#include "platform/net.h"
#include "platform/os_calls.h"

namespace quillo::platform {
namespace {

// What the run has taken from standard input, kept or not.
std::size_t consumed_input = 0;

// Standard input up to max_bytes bytes or through the first line feed.
std::optional<std::string> ReadStandardInputLine(long max_bytes) {
  std::string line;
  // Reserved, not filled: the pages of a length claimed but never sent are
  // never touched, and a body that comes is not copied as it grows.
  line.reserve(static_cast<std::size_t>(std::max(max_bytes, 0L)));
  while (static_cast<long>(line.size()) < max_bytes) {
    const std::size_t before = line.size();
    const std::size_t wanted =
        std::min<std::size_t>(os::kReadStep, static_cast<std::size_t>(max_bytes) - before);
    const long got = os::AppendStandardInput(line, wanted);
    if (got < 0) return std::nullopt;
    consumed_input += static_cast<std::size_t>(got);
    if (got == 0) break;
    // The body ends at its first line feed; whatever came with it is dropped.
    const auto lf = line.find('\n', before);
    if (lf != std::string::npos) {
      line.resize(lf + 1);
      break;
    }
  }
  return line;
}

class PlatformSystem : public System {
 public:
  PlatformSystem() { os::PrepareStandardStreams(); }

  FileText ReadTextFile(const std::string& path, std::size_t max_bytes) const override {
    return os::ReadRegularFile(path, max_bytes);
  }
  std::optional<FileIdentity> IdentityOf(const std::string& path) const override {
    return os::IdentityOfFile(path);
  }
  bool StartSockets() override { return os::StartSockets(); }
  std::optional<std::string> GetEnv(const char* name) const override { return os::Variable(name); }
  std::optional<std::string> ReadStdinLine(long max_bytes) override {
    return ReadStandardInputLine(max_bytes);
  }
  long AppendStdin(std::string& into, std::size_t at_most) override {
    const long got = os::AppendStandardInput(into, std::min(at_most, os::kReadStep));
    if (got > 0) consumed_input += static_cast<std::size_t>(got);
    return got;
  }
  std::time_t Now() const override { return std::time(nullptr); }
  std::optional<LocalTime> ToLocalTime(std::time_t when) const override { return os::LocalTimeOf(when); }
  std::string HostName() const override { return LocalHostName(); }
  std::string CanonicalHostName() const override { return platform::CanonicalHostName(); }
  bool FileNamesIgnoreCase() const override { return os::FileNamesIgnoreCase(); }
  bool AppendLine(const std::string& path, std::string_view line) override {
    return os::AppendLineTo(path, line);
  }
  bool UpdateLockedFile(const std::string& path,
                        const std::function<std::string(std::string_view)>& update) override {
    return os::UpdateUnderLock(path, update);
  }
  void WriteStderrLine(std::string_view line) override {
    std::string text = "quillopro.exe: ";
    text.append(line);
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

}  // namespace

System& TheSystem() {
  static PlatformSystem system;
  return system;
}

void DiscardUnreadInput(long announced_bytes, std::size_t max_bytes, std::uint32_t timeout_ms) {
  if (announced_bytes <= 0 || static_cast<std::size_t>(announced_bytes) <= consumed_input) return;
  const std::size_t unread = static_cast<std::size_t>(announced_bytes) - consumed_input;
  os::DiscardStandardInput(std::min(unread, max_bytes), timeout_ms);
}

void WriteStdoutText(std::string_view text) {
  os::PrepareStandardStreams();
  // Line by line, without a copy: this also writes the out-of-memory page.
  while (!text.empty()) {
    const std::size_t lf = std::min(text.find('\n'), text.size());
    std::fwrite(text.data(), 1, lf, stdout);
    if (lf == text.size()) break;
    std::fwrite("\r\n", 1, 2, stdout);
    text.remove_prefix(lf + 1);
  }
}

}  // namespace quillo::platform
