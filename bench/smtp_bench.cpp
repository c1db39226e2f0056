// Prints how long message assembly and data formatting take for bodies of
// growing size; time per MiB staying flat shows each stage is linear.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "delivery/message.h"
#include "smtp/wire.h"

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// A body with the things that cost: 8-bit bytes, "=", dots at line starts,
// CR LF line ends and long lines.
std::string SampleBody(std::size_t bytes) {
  const std::string line =
      ".Gr\xFC\xDF"
      "e = " +
      std::string(90, 'x') + "\xE9\xE9\xE9 end\r\n";
  std::string body;
  body.reserve(bytes + line.size());
  while (body.size() < bytes) body += line;
  return body;
}

double MillisecondsFor(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  std::printf("%8s %14s %14s %14s\n", "MiB", "build ms", "wire ms", "ms per MiB");
  for (std::size_t mib : {1, 4, 16}) {
    quillo::MessageParts parts;
    parts.fromAddress = "form@example.test";
    parts.recipients = {"owner@example.test"};
    parts.subject = "Benchmark \xFC";
    parts.textBody = SampleBody(mib * kMiB);
    parts.htmlBody = parts.textBody;
    std::string message;
    const double build = MillisecondsFor([&] { message = quillo::BuildMessageText(parts); });
    std::string wire;
    const double format = MillisecondsFor([&] { wire = quillo::FormatDataLines(message); });
    std::printf("%8zu %14.1f %14.1f %14.1f\n", mib, build, format,
                (build + format) / static_cast<double>(mib));
  }
  return 0;
}
