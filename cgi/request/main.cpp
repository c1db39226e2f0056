// Entry of quillopro.exe: runs one CGI request and writes its one response.
#include <new>

#include "core/messages.h"
#include "core/run_end.h"
#include "platform/system.h"
#include "request/pipeline.h"
#include "smtp/send_mail.h"

namespace {

[[noreturn]] void WriteAnswerAndExit(const quillo::RunEnded& end) {
  quillo::platform::WriteStdoutText(end.output);
  quillo::platform::ExitProcess(end.exit_status);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillo;
  SetRunEnder(&WriteAnswerAndExit);
  try {
    RunRequest(argc > 0 && argv[0] != nullptr ? argv[0] : "", platform::TheSystem(), &sendMail);
  } catch (const std::bad_alloc&) {
    // The run's memory is released by now; the page needs none.
    platform::WriteStdoutText(kOutOfMemoryPage);
    platform::ExitProcess(0);
  }
}
