// The run's fixed order; see pipeline.h.
#include "request/pipeline.h"

#include "captcha/captcha_check.h"
#include "captcha/siteverify.h"
#include "content/layouts.h"
#include "content/placeholders.h"
#include "content/templates.h"
#include "core/messages.h"
#include "core/run_end.h"
#include "core/text.h"
#include "delivery/smtp_transport.h"
#include "documents/files.h"
#include "documents/reject_list.h"
#include "request/field_checks.h"
#include "request/intake.h"
#include "request/site_rules.h"
#include "request/submission_journal.h"
#include "response/answer_forms.h"
#include "response/debug_report.h"
#include "response/pages.h"
#include "settings/site_settings.h"

namespace quillo {
namespace {

// Used for HELO and as the first local address when the system cannot tell
// its own name.
constexpr std::string_view kFallbackHostName = "localhost";

// The numbers a script is told for refusals that answer with a site
// document rather than a numbered page.
constexpr int kRequiredMissing = 307;
constexpr int kBadEmail = 308;
constexpr int kSenderRejected = 309;
constexpr int kMailNotSent = 500;
constexpr int kTextTooLarge = 602;
constexpr int kSpamCheckFailed = 903;

void SetIfEmpty(std::string& field, std::string_view value) {
  if (field.empty()) field = value;
}

// No file is no list. A file that is there was meant to restrict the
// recipients: when it cannot be read, lists nothing, or holds an entry that
// would let nearly anything through, it ends the run, for every post, until
// it is mended.
void LoadAllowList(const FileReader& files, FormRequest& request) {
  ControlSettings& s = request.settings;
  const auto text = ReadSiteFile(files, s.allow_list_path);
  if (!text) return;
  if (const int line = FirstInvalidAllowListLine(*text)) WriteErrorPage(Error606AllowListEntryInvalid(line));
  s.allowed_recipients = ParseAllowList(*text);
  if (s.allowed_recipients.empty()) WriteErrorPage(Error605AllowListEmpty());
}

// The site's files as a run reads them: the program's own, and what a
// form names, which is never one of the program's own.
struct RunFiles {
  RunFiles(System& run_system, const SiteSettings& site, const std::string& program_path)
      : system(run_system),
        own(run_system, site.present),
        form(run_system, site.present, ProgramOwnFiles(site, program_path)) {}
  System& system;
  SiteFiles own;
  SiteFiles form;
};

// Ends the run with the result document at path, unless its placeholders
// would grow past their bound: that is logged, and the caller goes on.
void TryToAnswer(const FormRequest& request, const RunFiles& files, const std::string& path) {
  try {
    SendResultDocument(request, files.form, path);
  } catch (const SubstitutionTooLarge& refused) {
    files.system.WriteStderrLine("refused " + path + ": " + refused.reason);
  }
}

// Ends the run with a result document. One whose placeholders would grow
// past their bound gives way to the error document, and that one, if it is
// the culprit too, to the error page.
[[noreturn]] void Answer(const FormRequest& request, const RunFiles& files, const std::string& path) {
  TryToAnswer(request, files, path);
  if (path != request.settings.error_doc) TryToAnswer(request, files, request.settings.error_doc);
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

// The DKIM key file: next to the program, or where an absolute path says.
// ERROR 600 when it cannot be read: the site asked for signed mail.
void LoadDkimKey(const FileReader& files, const std::string& program_path, DeliverySettings& delivery) {
  if (delivery.dkim_key_file.empty()) return;
  delivery.dkim.private_key_pem = ReadDocumentFile(files, DkimKeyPath(delivery, program_path));
}

// The fully qualified name a site with settings greets mail servers with:
// its helo setting, else SERVER_NAME when that is one, else the system's
// canonical name; empty (the address literal) where there is none. Servers
// refuse or score a bare label.
std::string GreetingName(const SiteSettings& site, const FormRequest& request, const System& system) {
  if (!site.delivery.helo.empty()) return site.delivery.helo;
  if (IsFullyQualifiedDomain(request.server_name)) return request.server_name;
  const std::string canonical = system.CanonicalHostName();
  return IsFullyQualifiedDomain(canonical) ? canonical : std::string();
}

// How the run's mail leaves, and the delivery's time budget, which starts
// with the first mail of the run and covers the reply too.
DeliveryPlan PlanDelivery(const SiteSettings& site, const FormRequest& request, const System& system) {
  DeliveryPlan plan;
  plan.server = request.settings.server;
  plan.first_local_address = request.settings.helo;
  plan.second_local_address = request.server_name;
  plan.now = system.Now();
  if (site.present) {
    plan.inbox_ready = true;
    plan.greeting_name = GreetingName(site, request, system);
  }
  if (!site.delivery.configured) return plan;
  plan.settings = site.delivery;
  if (site.delivery.deadline_ms > 0) {
    plan.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(site.delivery.deadline_ms);
  }
  return plan;
}

// A mail of the run with its date and charset, and the subject as it goes
// out: its placeholders are filled in once more, as for every mail.
OutgoingMail MailOfRun(const FormRequest& request, std::string subject) {
  SubstitutePlaceholders(request, subject, Target::PlainText);
  OutgoingMail mail;
  mail.subject = std::move(subject);
  mail.date = MailDateOf(request);
  mail.charset = request.charset;
  return mail;
}

std::string SendMainMail(FormRequest& request, const FileReader& files, const MailSender& send_mail,
                         const SiteSettings& site, DeliveryPlan plan, RunRecord& record,
                         DeliveryJournal* journal) {
  ControlSettings& s = request.settings;
  if (!s.template_doc.empty()) {
    LoadMailTemplate(request, files, s.template_doc, request.mail_text, request.mail_html);
  } else {
    BuildBuiltInLayouts(request);
  }
  OutgoingMail mail = MailOfRun(request, s.subject);
  mail.highPriority = IsHighPriority(s.priority);
  // A site that sends as itself names the visitor as the one to answer, when
  // the visitor's address is one a mail program can reply to.
  const bool own_sender = !site.sender.empty();
  if (own_sender && site.reply_to_visitor && IsPlainAddress(s.from)) mail.replyTo = s.from;
  mail.fromAddress = own_sender ? site.sender : s.from;
  mail.fromName = s.from_friendly;
  mail.recipients = s.recipients;
  record.recipients = AddressCount(s.recipients);
  // The bodies are the mail's now: nothing reads them after it is sent.
  mail.textBody = std::move(request.mail_text);
  mail.htmlBody = std::move(request.mail_html);
  // The files' bytes are the mail's too; the record keeps their names.
  for (Attachment& file : request.attachments) {
    mail.attachments.push_back({file.name, file.content_type, file.size, std::move(file.bytes)});
    std::string().swap(file.bytes);
  }
  plan.journal = journal;
  MailResult result = send_mail(std::move(mail), plan);
  if (!result.accepted())
    record.failure = result.undelivered.empty() ? DeliveryNote{} : result.undelivered.back();
  record.undelivered = std::move(result.undelivered);
  return result.answer;
}

// The automatic reply, sent once the main mail was: it confirms a message
// that arrived. Its result is not part of the answer.
std::string SendAutomaticReply(FormRequest& request, const FileReader& files, const MailSender& send_mail,
                               const SiteSettings& site, const DeliveryPlan& plan) {
  ControlSettings& s = request.settings;
  if (!site.sender.empty()) s.respond_from = site.sender;
  SetIfEmpty(s.respond_from, s.recipients.front());
  SetIfEmpty(s.respond_subject, "AutoRe: " + s.subject);
  SetIfEmpty(s.respond_priority, "NORMAL");
  LoadMailTemplate(request, files, s.respond_template_doc, request.respond_text, request.respond_html);
  OutgoingMail mail = MailOfRun(request, s.respond_subject);
  mail.highPriority = IsHighPriority(s.respond_priority);
  mail.fromAddress = s.respond_from;
  mail.fromName = s.respond_from_friendly;
  mail.recipients = s.autoreply_recipients;
  mail.textBody = std::move(request.respond_text);
  mail.htmlBody = std::move(request.respond_html);
  return send_mail(std::move(mail), plan).answer;
}

// The site's store for this run, when it keeps one: opened before the mail
// is composed, so that a store that cannot be used fails the post before
// anything is sent. The error says why it cannot.
struct RunStore {
  std::unique_ptr<SubmissionStore> store;
  std::unique_ptr<SubmissionJournal> journal;
  std::string error;
};

RunStore OpenRunStore(const SiteSettings& site, const FormRequest& request, System& system) {
  RunStore opened;
  if (site.store.path.empty()) return opened;
  OpenedStore store = OpenSubmissionStore(site.store.path, kStoreBusyTimeoutMs);
  if (!store.store) {
    opened.error = store.error;
    return opened;
  }
  opened.store = std::move(store.store);
  opened.journal = std::make_unique<SubmissionJournal>(
      *opened.store, SubmissionOf(request, system.Now(), system.GetEnv("HTTP_REFERER").value_or("")),
      site.store, system.Now());
  return opened;
}

// The site's webhook, once the main mail went or did not: what it does
// changes nothing of the answer. A stored post keeps its outcome for
// resend to try again; without a store a failure is logged.
void Announce(const SiteSettings& site, const FormRequest& request, System& system, const RunStore& store,
              bool sent) {
  if (site.webhook.url.empty()) return;
  const std::optional<std::int64_t> id = store.journal ? store.journal->id() : std::nullopt;
  StoredSubmission row;
  row.submission = SubmissionOf(request, system.Now(), {});
  row.state = sent ? SubmissionState::kSent : SubmissionState::kFailed;
  WebhookPost post = WebhookPostOf(row, system.Now());
  post.id = id;
  const WebhookOutcome outcome = SendWebhook(site.webhook, post, UtcStamp(post.time), post.time);
  if (id) store.store->SetWebhook(*id, outcome.delivered ? "sent" : "failed");
  if (!outcome.delivered)
    system.WriteStderrLine(std::string("webhook not delivered") + (id ? " (quillo resend tries again)" : "") +
                           ": " + outcome.detail);
}

// A post refused as spam, kept for the site owner to look at when the
// settings ask; never mailed. A store that cannot take it changes nothing.
void KeepSpam(const SiteSettings& site, const FormRequest& request, System& system) {
  if (site.store.path.empty() || !site.store.keep_spam) return;
  OpenedStore opened = OpenSubmissionStore(site.store.path, kStoreBusyTimeoutMs);
  std::string error = opened.error;
  if (opened.store &&
      opened.store->Add(SubmissionOf(request, system.Now(), system.GetEnv("HTTP_REFERER").value_or("")),
                        SubmissionState::kSpam, system.Now(), error))
    return;
  system.WriteStderrLine("cannot keep the spam post in the store: " + error);
}

// The value of the user field name, which is taken out of the fields: it is
// the spam check's, no field of the mail. Empty when there is none.
std::string TakeField(FormRequest& request, std::string_view name) {
  for (std::size_t i = 0; !name.empty() && i < request.field_names.size(); ++i) {
    if (request.field_names[i] != name) continue;
    std::string value = std::move(request.field_values[i]);
    request.field_names.erase(request.field_names.begin() + static_cast<std::ptrdiff_t>(i));
    request.field_values.erase(request.field_values.begin() + static_cast<std::ptrdiff_t>(i));
    return value;
  }
  return {};
}

// What a post says to the spam checks: the honeypot field and the
// CAPTCHA's answer.
struct SpamFields {
  std::string honeypot;
  std::string captcha_answer;
};

// What the site's settings replace of the form's control variables, and the
// spam checks' fields.
SpamFields ApplySiteSettings(const SiteSettings& site, FormRequest& request) {
  ControlSettings& s = request.settings;
  if (!site.server.empty()) s.server = site.server;
  if (site.autoreply_subject) s.respond_subject = *site.autoreply_subject;
  request.charset = MailCharset(site, s.form_charset);
  request.site_settings = site.present;
  SpamFields fields;
  fields.honeypot = TakeField(request, site.honeypot);
  const ProviderFacts& captcha = FactsOf(site.captcha.provider);
  fields.captcha_answer = TakeField(request, captcha.field);
  TakeField(request, captcha.extra_field);
  return fields;
}

// The site's CAPTCHA, when it has one: a post that does not pass gets
// ERROR 903 and sends nothing.
void CheckSpamAnswer(const SiteSettings& site, System& system, const FormRequest& request,
                     const std::string& answer, RunRecord& record) {
  if (site.captcha.provider == CaptchaProvider::kNone) return;
  const CaptchaOutcome outcome =
      CheckCaptcha(site.captcha, SpentChallengesFilePath(site), answer, request.remote_addr, system);
  record.captcha = std::string(VerdictName(outcome.verdict));
  if (outcome.verdict == CaptchaVerdict::kPassed) return;
  record.captcha_codes = outcome.error_codes;
  record.captcha_detail = outcome.detail;
  record.outcome = "spam";
  KeepSpam(site, request, system);
  WriteErrorPageWithStatus(403, Error903SpamCheckFailed());
}

bool DebugModeOn(const SiteSettings& site, const ControlSettings& s) {
  if (site.debug != Switch::kUnset) return site.debug == Switch::kOn;
  return s.debug.find("ON") != std::string::npos;
}

// Counts the post; false when the address has posted its fill. A state file
// that cannot be used lets the post through and says so in the log: mail a
// visitor sent is worth more than the count.
bool WithinRateLimit(const SiteSettings& site, System& system, const FormRequest& request) {
  if (!site.rate_limit) return true;
  bool allowed = true;
  const std::string path = RateLimitFilePath(site);
  const bool counted = system.UpdateLockedFile(path, [&](std::string_view state) {
    RateDecision decision = CountPost(state, request.remote_addr, system.Now(), *site.rate_limit);
    allowed = decision.allowed;
    return std::move(decision.state);
  });
  if (!counted) {
    system.WriteStderrLine("cannot count posts in " + path +
                           ": the web server's user must be able to create and write it there (quillo check "
                           "tells); the post is not limited");
  }
  return allowed;
}

// The answer in the form the site asks for, and the run's log line.
// How the site's mail leaves, for the log and the report.
std::string TransportName(const SiteSettings& site) {
  return UsesSendmail(site.delivery) ? "sendmail" : "smtp";
}

void FinishAnswer(RunEnded& end, const SiteSettings& site, const FormRequest& request, RunRecord& record,
                  System& system) {
  if (end.kind == AnswerKind::kChallenge) return;
  if (record.outcome.empty()) {
    if (end.kind == AnswerKind::kErrorPage) record.outcome = "error-" + std::to_string(end.error_number);
    if (end.kind == AnswerKind::kDebugReport) record.outcome = "debug";
    if (end.kind == AnswerKind::kOther) record.outcome = end.exit_status == 0 ? "usage" : "unreadable";
    if (end.kind == AnswerKind::kDocument) record.outcome = "answered";
  }
  const bool success = record.success && end.kind == AnswerKind::kDocument;
  const bool shaped = end.kind == AnswerKind::kDocument || end.kind == AnswerKind::kErrorPage;
  if (shaped && site.json && PrefersJson(system.GetEnv("HTTP_ACCEPT").value_or(""))) {
    if (end.kind == AnswerKind::kErrorPage) {
      record.code = end.error_number;
      record.reason = PlainMessage(end.message);
    }
    const int status = record.code == kMailNotSent ? 502 : HttpStatusOf(record.code);
    end.output = RenderJsonAnswer(success, record.reason, record.code, status);
  } else if (success && !site.success_redirect.empty()) {
    end.output = RenderRedirect(site.success_redirect);
  } else if (!success && !site.error_redirect.empty() &&
             ((end.kind == AnswerKind::kDocument && end.document == request.settings.error_doc) ||
              (end.kind == AnswerKind::kErrorPage && end.error_number == kSpamCheckFailed))) {
    end.output = RenderRedirect(site.error_redirect);
  }
  record.settings_file = site.source;
  record.transport = TransportName(site);
  const std::string line = FormatLogLine(system.Now(), request.remote_addr, record);
  if (site.log == "off") return;
  if (site.log != "stderr") {
    if (system.AppendLine(site.log, line)) return;
    // The web server's error log then: the line must not be lost, and the
    // site owner learns why it is not where the settings say.
    system.WriteStderrLine("cannot append to the log " + site.log + " (as the web server's user): " + line);
    return;
  }
  if (NeedsAttention(record)) system.WriteStderrLine(line);
}

// A form problem answered with a site document: its log word, and what a
// script is told.
void NoteRefusal(RunRecord& record, std::string outcome, int code, std::string reason) {
  record.outcome = std::move(outcome);
  record.code = code;
  record.reason = std::move(reason);
}

}  // namespace

void RunRequest(std::string_view argv0, System& system, const MailSender& send_mail) {
  SiteSettings site;
  FormRequest request;
  RunRecord record;
  const ScopedAnswerFinisher finisher(
      [&](RunEnded& end) { FinishAnswer(end, site, request, record, system); });
  if (!system.StartSockets()) WriteErrorPage(Error100SocketInit());
  request = BuildFormRequest(argv0, system, site);
  const RunFiles files(system, site, request.program_path);
  ControlSettings& s = request.settings;
  if (!RefererAllowed(site, system.GetEnv("HTTP_REFERER").value_or(""))) {
    WriteErrorPageWithStatus(403, Error901RefererNotAllowed(system.GetEnv("HTTP_REFERER").value_or("")));
  }
  const SpamFields spam_fields = ApplySiteSettings(site, request);

  if (s.helo.empty()) s.helo = system.HostName();
  SetIfEmpty(s.helo, kFallbackHostName);
  if (s.recipients.empty()) WriteErrorPage(Error300NoRecipient());
  if (s.recipients.size() > kMaxRecipients) {
    WriteErrorPage(Error301TooManyRecipients(s.recipients.size(), kMaxRecipients));
  }
  LoadAllowList(files.own, request);
  if (s.success_doc.empty()) WriteErrorPage(Error302NoSuccessDocument());
  if (s.error_doc.empty()) WriteErrorPage(Error303NoErrorDocument());
  ApplyDefaults(s);
  const bool debug_mode = DebugModeOn(site, s);
  if (debug_mode) {
    // The report shows the site's settings: it is no way around the check.
    CheckSpamAnswer(site, system, request, spam_fields.captcha_answer, record);
    std::optional<SiteSummary> summary;
    if (site.present) summary = SiteSummary{site.source, TransportName(site)};
    WriteDebugReport(request, summary);
  }

  // Behind aliases the form names only alias names; the addresses are the
  // site's and are checked like any.
  if (!site.aliases.empty()) {
    if (auto refused = ExpandAliases(site, s.recipients))
      WriteErrorPage(Error900RecipientNotAllowed(*refused, RefusedBy::kAliases));
  }
  if (!s.allowed_recipients.empty()) {
    if (auto refused = FindRecipientNotAllowed(s.recipients, s.allowed_recipients, site.recipients_match)) {
      WriteErrorPage(Error900RecipientNotAllowed(*refused));
    }
  }
  // The local mail system reads each argument as a list of addresses: a
  // recipient "a@x,b@y" would be two, or a thousand.
  const bool local_mail_system = UsesSendmail(site.delivery);
  if (local_mail_system) {
    if (auto refused = FindNonPlainAddress(s.recipients))
      WriteErrorPage(Error900RecipientNotAllowed(*refused, RefusedBy::kLocalMailSystem));
  }
  const FieldPassResult checks = RunFieldPass(request);
  if (!checks.result_doc.empty()) {
    if (checks.bad_email) {
      NoteRefusal(record, "bad-email", kBadEmail, "an e-mail address is not valid");
    } else {
      NoteRefusal(record, "required", kRequiredMissing, "a required field is empty");
    }
    Answer(request, files, checks.result_doc);
  }
  const bool sends_reply =
      !s.respond_template_doc.empty() && checks.autoreply && site.autoreply != Switch::kOff;
  // Counted by address: one field may hold several.
  if (sends_reply && AddressCount(s.autoreply_recipients) > kMaxReplyRecipients) {
    WriteErrorPage(Error304TooManyReplyAddresses(AddressCount(s.autoreply_recipients), kMaxReplyRecipients));
  }
  if (sends_reply && local_mail_system && FindNonPlainAddress(s.autoreply_recipients)) {
    NoteRefusal(record, "bad-email", kBadEmail, "an e-mail address is not valid");
    Answer(request, files, s.bad_email_doc);
  }
  SetIfEmpty(s.from, s.recipients.front());
  std::string result;
  bool stored = false;  // the post is in the site's store
  // With one relay for all mail, the run keeps one session with it.
  std::shared_ptr<RelaySession> relay;
  if (site.delivery.configured && !site.delivery.host.empty() && !UsesSendmail(site.delivery))
    relay = std::make_shared<RelaySession>();
  try {
    // The subject's own placeholder shows the subject as it stood before.
    std::string subject = s.subject;
    SubstitutePlaceholders(request, subject, Target::PlainText);
    s.subject = std::move(subject);
    if (!s.reject_email_doc.empty() && MatchRejectList(files.form, s.reject_email_doc, s.from)) {
      NoteRefusal(record, "rejected", kSenderRejected, "the sender address is refused");
      Answer(request, files, s.bad_email_doc);
    }
    // A filled honeypot is a robot: it sees what a visitor would, and no
    // mail goes out.
    if (!spam_fields.honeypot.empty()) {
      KeepSpam(site, request, system);
      record = {};
      record.outcome = "honeypot";
      record.success = true;
      Answer(request, files, s.success_doc);
    }
    if (!WithinRateLimit(site, system, request)) {
      record.outcome = "rate-limited";
      WriteErrorPageWithStatus(429, Error902TooManyPosts());
    }
    if (!debug_mode) CheckSpamAnswer(site, system, request, spam_fields.captcha_answer, record);
    LoadDkimKey(files.own, request.program_path, site.delivery);
    DeliveryPlan plan = PlanDelivery(site, request, system);
    plan.relay = relay;
    RunStore store = OpenRunStore(site, request, system);
    if (!store.error.empty()) {
      system.WriteStderrLine("cannot store the post: " + store.error);
      record.failure = DeliveryNote{"store", site.store.path, store.error, {}, 0, "store", false};
      NoteRefusal(record, "failed", kMailNotSent, "the mail could not be sent");
      Answer(request, files, s.error_doc);
    }
    result = SendMainMail(request, files.form, send_mail, site, plan, record, store.journal.get());
    if (store.journal && !store.journal->settle_error().empty())
      system.WriteStderrLine("cannot settle the stored post: " + store.journal->settle_error());
    stored = store.journal && store.journal->recorded();
    Announce(site, request, system, store, result == "OK");
    if (sends_reply && result != "OK") record.reply = "skipped";
    if (sends_reply && result == "OK")
      record.reply =
          SendAutomaticReply(request, files.form, send_mail, site, plan) == kAccepted ? "sent" : "failed";
    if (relay) relay->Close();
  } catch (const SubstitutionTooLarge& refused) {
    if (relay) relay->Close();
    system.WriteStderrLine("refused the post: " + refused.reason);
    NoteRefusal(record, "too-large", kTextTooLarge, refused.reason);
    Answer(request, files, s.error_doc);
  }
  // A post the store keeps is not lost: the site may answer it as a success.
  const bool answered_as_stored = result != "OK" && stored && site.store.answer_success_when_stored;
  if (result == "OK" || answered_as_stored) {
    record.outcome = result == "OK" ? "sent" : "stored";
    record.success = true;
  } else {
    NoteRefusal(record, "failed", kMailNotSent, "the mail could not be sent");
  }
  Answer(request, files, record.success ? s.success_doc : s.error_doc);
}

}  // namespace quillo
