// Entry of quillopro.exe: runs one CGI request and writes its one response.
#include <new>

#include "platform/system.h"
#include "request/pipeline.h"
#include "response/run_end.h"

namespace {

// Delivery is not wired in yet: report every mail as not accepted, so that
// the site's error document is shown and nothing pretends mail was sent.
std::string NotDelivered(const quillo::FormRequest&, const std::string&, const std::string&, const std::string&,
                         const std::string&, const quillo::TextList&, const std::string&, std::string,
                         std::string, std::string, bool) {
  return "NO";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillo;
  try {
    RunRequest(argc > 0 && argv[0] != nullptr ? argv[0] : "", &NotDelivered);
  } catch (const RunEnded& end) {
    platform::WriteStdoutText(end.output);
    platform::ExitProcess(end.exit_status);
  } catch (const std::bad_alloc&) {
    // Out of memory: no page can be promised; the web server answers.
    platform::ExitProcess(-1);
  }
}
