// How a run ends. Every way out of a run is one complete response: the
// writers build it whole and hand it to EndRun. Nothing is written before
// that point, so a run can never leave a partial page behind.
//
// The program installs an ender that writes the answer and exits on the
// spot: a run is one pass, nothing waits to be released, and unwinding the
// stack would cost more than the rest of a short run. Without one, EndRun
// throws the answer, which is how tests catch it.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace quillo {

// Which writer made the answer, so that the site's settings can give it
// another form (a redirect, JSON) and the log can name it.
// A challenge for the spam check is served, not a post answered: it is not
// logged.
enum class AnswerKind { kOther, kErrorPage, kDocument, kDebugReport, kChallenge };

struct RunEnded {
  RunEnded() = default;
  RunEnded(std::string output_text, int status, AnswerKind answer_kind = AnswerKind::kOther, int number = 0,
           std::string error_message = {}, std::string document_path = {})
      : output(std::move(output_text)),
        exit_status(status),
        kind(answer_kind),
        error_number(number),
        message(std::move(error_message)),
        document(std::move(document_path)) {}

  std::string output;  // text with LF line ends; standard output adds the CRs
  int exit_status = 0;
  AnswerKind kind = AnswerKind::kOther;
  int error_number = 0;  // of an error page
  std::string message;   // of an error page: the numbered message
  std::string document;  // of a result document: its path
};

// Writes the answer and ends the process; must not return.
using RunEnder = void (*)(const RunEnded& end);

void SetRunEnder(RunEnder ender);

// The last look at an answer before it leaves: the run installs one for as
// long as it runs, to shape the answer by the site's settings and log it.
using AnswerFinisher = std::function<void(RunEnded& end)>;

class ScopedAnswerFinisher {
 public:
  explicit ScopedAnswerFinisher(AnswerFinisher finisher);
  ~ScopedAnswerFinisher();
  ScopedAnswerFinisher(const ScopedAnswerFinisher&) = delete;
  ScopedAnswerFinisher& operator=(const ScopedAnswerFinisher&) = delete;
};

[[noreturn]] void EndRun(RunEnded end);

}  // namespace quillo
