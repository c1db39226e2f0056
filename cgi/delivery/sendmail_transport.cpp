// The sendmail transport; see sendmail_transport.h.
#include "delivery/sendmail_transport.h"

#include <vector>

#include "platform/process.h"
#include "smtp/wire.h"

namespace quillo {

MailResult SendmailTransport::Deliver(std::string text, const std::string& sender,
                                      const TextList& recipients) {
  std::vector<std::string> arguments = {"-i", "-f", BlankLineBreaks(sender), "--"};
  for (const std::string& recipient : recipients) arguments.push_back(BlankLineBreaks(recipient));
  // The command reads Unix line ends.
  std::string lines = NormalizeDataLines(text);
  ReplaceAll(lines, "\r\n", "\n");
  const std::uint32_t timeout = WithinDeadline(timeoutMs_, deadline_);
  const platform::ProgramRun run = platform::RunProgram(program_, arguments, lines, timeout);
  if (run.started && !run.timed_out && run.exit_status == 0 && run.input_written) return {};
  std::string why = !run.started    ? "cannot be started"
                    : run.timed_out ? "did not finish in time"
                                    : "exit status " + std::to_string(run.exit_status);
  const std::string first_line = Trimmed(run.error_output.substr(0, run.error_output.find('\n')));
  if (!first_line.empty()) why += ": " + first_line;
  std::string all;
  for (const std::string& recipient : recipients) all += (all.empty() ? "" : ",") + recipient;
  // EX_TEMPFAIL (sysexits.h): the mail system asks to be tried again.
  constexpr int kTryAgainLater = 75;
  const bool permanent = !run.timed_out && run.exit_status != kTryAgainLater;
  return {std::string(kRefused),
          {{"sendmail", program_, why, all, 0, run.timed_out ? "timeout" : "", permanent}}};
}

}  // namespace quillo
