// The run's fixed order; see pipeline.h.
#include "request/pipeline.h"

#include "content/placeholders.h"
#include "content/templates.h"
#include "core/messages.h"
#include "core/text.h"
#include "documents/files.h"
#include "documents/reject_list.h"
#include "request/field_checks.h"
#include "request/intake.h"
#include "response/debug_report.h"
#include "response/pages.h"

namespace quillo {
namespace {

// Used for HELO and as the first local address when the system cannot tell
// its own name.
constexpr std::string_view kFallbackHostName = "localhost";

void SetIfEmpty(std::string& field, std::string_view value) {
  if (field.empty()) field = value;
}

// No file is no list; a file that is there but cannot be read ends the run:
// it was meant to restrict the recipients.
void LoadAllowList(const FileReader& files, FormRequest& request) {
  ControlSettings& s = request.settings;
  if (const auto text = ReadSiteFile(files, s.allow_list_path)) s.allowed_recipients = ParseAllowList(*text);
}

// Ends the run with the result document at path, unless its placeholders
// would grow past their bound: that is logged, and the caller goes on.
void TryToAnswer(const FormRequest& request, System& system, const std::string& path) {
  try {
    SendResultDocument(request, system, path);
  } catch (const SubstitutionTooLarge& refused) {
    system.WriteStderrLine("refused " + path + ": " + refused.reason);
  }
}

// Ends the run with a result document. One whose placeholders would grow
// past their bound gives way to the error document, and that one, if it is
// the culprit too, to the error page.
[[noreturn]] void Answer(const FormRequest& request, System& system, const std::string& path) {
  TryToAnswer(request, system, path);
  if (path != request.settings.error_doc) TryToAnswer(request, system, request.settings.error_doc);
  WriteErrorPage(Error602TextTooLarge());
}

void ApplyDefaults(ControlSettings& s) {
  SetIfEmpty(s.env_report, "OFF");
  SetIfEmpty(s.priority, "NORMAL");
  SetIfEmpty(s.no_empty_fields, "OFF");
  SetIfEmpty(s.required_doc, s.error_doc);
  SetIfEmpty(s.bad_email_doc, s.required_doc);
  SetIfEmpty(s.subject, kDefaultSubject);
}

bool IsHighPriority(std::string& priority) {
  ToUpper(priority);
  return priority.find("HIGH") != std::string::npos;
}

std::string SendMainMail(FormRequest& request, const FileReader& files, MailSender send_mail) {
  ControlSettings& s = request.settings;
  if (!s.template_doc.empty()) {
    LoadMailTemplate(request, files, s.template_doc, request.mail_text, request.mail_html);
  } else {
    BuildBuiltInLayouts(request);
  }
  const bool high = IsHighPriority(s.priority);
  // The bodies are the mail's now: nothing reads them after it is sent.
  return send_mail(request, s.server, s.helo, request.server_name, s.from, s.recipients, s.from_friendly,
                   s.subject, std::move(request.mail_text), std::move(request.mail_html), high);
}

// The automatic reply goes out whatever the main mail's result was; its own
// result is not part of the answer.
void SendAutomaticReply(FormRequest& request, const FileReader& files, MailSender send_mail) {
  ControlSettings& s = request.settings;
  SetIfEmpty(s.respond_from, s.recipients.front());
  SetIfEmpty(s.respond_subject, "AutoRe: " + s.subject);
  SetIfEmpty(s.respond_priority, "NORMAL");
  LoadMailTemplate(request, files, s.respond_template_doc, request.respond_text, request.respond_html);
  const bool high = IsHighPriority(s.respond_priority);
  send_mail(request, s.server, s.helo, request.server_name, s.respond_from, s.autoreply_recipients,
            s.respond_from_friendly, s.respond_subject, std::move(request.respond_text),
            std::move(request.respond_html), high);
}

}  // namespace

void RunRequest(std::string_view argv0, System& system, MailSender send_mail) {
  if (!system.StartSockets()) WriteErrorPage(Error100SocketInit());
  FormRequest request = BuildFormRequest(argv0, system);
  ControlSettings& s = request.settings;

  if (s.helo.empty()) s.helo = system.HostName();
  SetIfEmpty(s.helo, kFallbackHostName);
  if (s.recipients.empty()) WriteErrorPage(Error300NoRecipient());
  if (s.recipients.size() > kMaxRecipients) {
    WriteErrorPage(Error301TooManyRecipients(s.recipients.size(), kMaxRecipients));
  }
  LoadAllowList(system, request);
  if (s.success_doc.empty()) WriteErrorPage(Error302NoSuccessDocument());
  if (s.error_doc.empty()) WriteErrorPage(Error303NoErrorDocument());
  ApplyDefaults(s);
  if (s.debug.find("ON") != std::string::npos) WriteDebugReport(request);

  if (!s.allowed_recipients.empty()) {
    if (auto refused = FindRecipientNotAllowed(s.recipients, s.allowed_recipients)) {
      WriteErrorPage(Error900RecipientNotAllowed(*refused));
    }
  }
  const FieldPassResult checks = RunFieldPass(request);
  if (!checks.result_doc.empty()) Answer(request, system, checks.result_doc);
  const bool sends_reply = !s.respond_template_doc.empty() && checks.autoreply;
  if (sends_reply && s.autoreply_recipients.size() > kMaxReplyRecipients) {
    WriteErrorPage(Error304TooManyReplyAddresses(s.autoreply_recipients.size(), kMaxReplyRecipients));
  }
  SetIfEmpty(s.from, s.recipients.front());
  std::string result;
  try {
    // The subject's own placeholder shows the subject as it stood before.
    std::string subject = s.subject;
    SubstitutePlaceholders(request, subject, Target::PlainText);
    s.subject = std::move(subject);
    if (!s.reject_email_doc.empty() && MatchRejectList(system, s.reject_email_doc, s.from)) {
      Answer(request, system, s.bad_email_doc);
    }
    result = SendMainMail(request, system, send_mail);
    if (sends_reply) SendAutomaticReply(request, system, send_mail);
  } catch (const SubstitutionTooLarge& refused) {
    system.WriteStderrLine("refused the post: " + refused.reason);
    Answer(request, system, s.error_doc);
  }
  Answer(request, system, result == "OK" ? s.success_doc : s.error_doc);
}

}  // namespace quillo
