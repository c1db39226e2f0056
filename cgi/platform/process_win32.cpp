// Program runs behind the process seam on Windows; see process.h. Windows
// has no local mail system with a sendmail command to hand mail to, so this
// build runs no programs: every run is refused before anything starts, and
// the reason reaches the log line as the program's error output.
#include <windows.h>

#include "platform/process.h"

namespace quillo::platform {

ProgramRun RunProgram(const std::string& /*path*/, const std::vector<std::string>& /*arguments*/,
                      std::string_view /*standard_input*/, std::uint32_t /*timeout_ms*/) {
  ProgramRun run;
  run.error_output = "this build of quillopro.exe runs no programs";
  return run;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace quillo::platform
