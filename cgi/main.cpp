// Entry of quillopro.exe: runs one CGI request and writes its one response.
#include <cstdint>
#include <new>

#include "core/messages.h"
#include "core/run_end.h"
#include "delivery/send_mail.h"
#include "platform/system.h"
#include "request/intake.h"
#include "request/pipeline.h"

namespace {

// The longest a web server may take to hand over the rest of a body the
// run did not need; a client that stops sending gets the answer after it.
constexpr std::uint32_t kDiscardTimeoutMs = 60000;

[[noreturn]] void WriteAnswerAndExit(const quillo::RunEnded& end) {
  using namespace quillo;
  // An answer written before the body is read would be lost under a web
  // server that is still writing it (the pipe closed under it): what is
  // left of the announced body is read first, within the body's bound.
  if (end.exit_status == 0) {
    const auto announced = platform::TheSystem().GetEnv("CONTENT_LENGTH");
    if (announced)
      platform::DiscardUnreadInput(ParseContentLength(*announced), kMaxBodyBytes, kDiscardTimeoutMs);
  }
  platform::WriteStdoutText(end.output);
  platform::ExitProcess(end.exit_status);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillo;
  SetRunEnder(&WriteAnswerAndExit);
  try {
    RunRequest(argc > 0 && argv[0] != nullptr ? argv[0] : "", platform::TheSystem(), sendMail);
  } catch (const std::bad_alloc&) {
    // The run's memory is released by now; the page needs none.
    platform::WriteStdoutText(kOutOfMemoryPage);
    platform::ExitProcess(0);
  }
}
