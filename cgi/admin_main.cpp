// Entry of quillo, the site owner's command: checks the setup the CGI
// program will meet and tries its way out. Run in a shell, never by a web
// server: it is installed outside the CGI folder. Each subcommand is a
// function of the admin layer; later ones (the store, resending, export)
// join them here.
#include <CLI/CLI.hpp>
#include <iostream>

#include "admin/mail_probe.h"
#include "admin/setup_check.h"
#include "admin/store_commands.h"
#include "admin/system_facts.h"
#include "documents/names.h"
#include "platform/system.h"
#include "request/field_checks.h"
#include "request/intake.h"
#include "settings/site_settings.h"

namespace {

using namespace quillo;

constexpr const char* kDefaultProgram = "/usr/lib/cgi-bin/quillopro.exe";
constexpr const char* kDefaultWebUser = "www-data";

void Print(const std::string& line) { std::cout << line << std::endl; }

// The settings as the CGI program reads them, for the commands that need
// them whole; a mistake is printed and ends the command.
std::optional<SiteSettings> ReadSettings(const SetupFacts& facts, const std::string& program) {
  const std::string path = SiteFilePath(program, kSettingsFileName);
  const std::optional<std::string> text = facts.Read(path);
  if (!text) return SiteSettings{};
  auto parsed = ParseSiteSettings(*text);
  if (const auto* error = std::get_if<SettingsError>(&parsed)) {
    Print("FAIL  settings " + path + " line " + std::to_string(error->line) + ": " + error->message +
          "; quillo check says more");
    return std::nullopt;
  }
  SiteSettings site = std::get<SiteSettings>(std::move(parsed));
  if (!site.delivery.dkim_key_file.empty()) {
    // As the program does: mail the site meant to sign never goes out unsigned.
    const std::string key_path = DkimKeyPath(site.delivery, program);
    const std::optional<std::string> key = facts.Read(key_path);
    if (!key) {
      Print("FAIL  DKIM key " + key_path + " cannot be read; quillo check says more");
      return std::nullopt;
    }
    site.delivery.dkim.private_key_pem = *key;
  }
  return site;
}

DeliveryPlan PlanOf(const SiteSettings& site) {
  System& system = platform::TheSystem();
  system.StartSockets();
  const std::string canonical = system.CanonicalHostName();
  return PlanForSite(site, IsFullyQualifiedDomain(canonical) ? canonical : std::string(), system.Now(),
                     Print);
}

std::string MailDateNow() {
  System& system = platform::TheSystem();
  const std::optional<LocalTime> local = system.ToLocalTime(system.Now());
  return local ? FormatMailDate(local->fields, local->offset_east_seconds) : std::string();
}

int Check(const std::string& program, const std::string& user, bool connect) {
  const SystemFacts facts(user);
  const std::vector<Finding> findings = CheckSetup({program, user}, facts);
  for (const Finding& finding : findings) Print(FormatFinding(finding));
  int status = ExitStatusOf(findings);
  if (connect) {
    const std::optional<SiteSettings> site = ReadSettings(facts, program);
    if (!site) return 2;
    status = std::max(status, ProbeRelay(*site, PlanOf(*site), Print));
  }
  return status;
}

int SendTest(const std::string& program, const std::string& user, const std::string& address) {
  const SystemFacts facts(user);
  const std::optional<SiteSettings> site = ReadSettings(facts, program);
  if (!site) return 2;
  return SendTestMail(*site, PlanOf(*site), address, MailDateNow(), Print);
}

// The site's store, for the store's commands; nothing, with a printed
// reason, when the settings keep none or it cannot be opened.
std::unique_ptr<SubmissionStore> OpenStore(const SiteSettings& site) {
  if (site.store.path.empty()) {
    Print("FAIL  the settings keep no store: [store] path is not set");
    return nullptr;
  }
  // The program makes the store with its first post, as the web server's
  // user; made here, it could belong to whoever runs this.
  OpenedStore opened = OpenSubmissionStore(site.store.path, kStoreBusyTimeoutMs, false);
  if (!opened.store) Print("FAIL  " + opened.error + " (the program makes it with the first post)");
  return std::move(opened.store);
}

// "2026-12-01" or "2026-12-01T10:00:00Z" as Unix time; nothing for another text.
std::optional<std::time_t> ReadDate(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const int read =
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &year, &month, &day, &hour, &minute, &second);
  if (read != 3 && read != 6) return std::nullopt;
  // Days from the civil date (H. Hinnant's algorithm), as the log's stamps are made.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const long long days = static_cast<long long>(era) * 146097 + day_of_era - 719468;
  return static_cast<std::time_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

struct StoreArguments {
  std::int64_t id = 0;
  std::string format = "csv";
  std::string since;
  std::string state;
  bool excel = false;
  ResendOptions resend;
  std::int64_t force = 0;
  std::string address;
};

int RunStoreCommand(const std::string& command, const std::string& program, const std::string& user,
                    const StoreArguments& a) {
  const SystemFacts facts(user);
  const std::optional<SiteSettings> site = ReadSettings(facts, program);
  if (!site) return 2;
  const std::unique_ptr<SubmissionStore> store = OpenStore(*site);
  if (!store) return 2;
  System& system = platform::TheSystem();
  if (command == "resend") {
    ResendOptions options = a.resend;
    if (a.force != 0) options.force_id = a.force;
    DeliveryPlan plan = PlanOf(*site);
    plan.transcript = nullptr;  // one line per post is what a cron mail wants
    return ResendDue(*site, *store, plan, system.Now(), options, system, Print);
  }
  if (command == "purge") {
    if (site->store.retention_days == 0) {
      Print("FAIL  the settings set no retention_days");
      return 2;
    }
    const int purged =
        store->PurgeBefore(system.Now() - static_cast<std::time_t>(site->store.retention_days) * 24 * 3600);
    Print("purged " + std::to_string(purged));
    return purged < 0 ? 2 : 0;
  }
  if (command == "forget") {
    Print("forgot " + std::to_string(store->Forget(a.address)));
    return 0;
  }
  if (command == "show") {
    const std::optional<StoredSubmission> row = store->Get(a.id);
    if (!row) {
      Print("FAIL  no row " + std::to_string(a.id));
      return 2;
    }
    for (const std::string& line : ListLines({*row})) Print(line);
    for (const auto& [name, value] : row->submission.fields)
      Print("  " + ToUtf8(name, row->submission.charset) + ": " + ToUtf8(value, row->submission.charset));
    for (const std::string& line : store->History(a.id)) Print("  " + line);
    return 0;
  }
  std::optional<std::time_t> since = std::time_t{0};
  if (!a.since.empty()) since = ReadDate(a.since);
  std::optional<SubmissionState> state;
  if (!a.state.empty()) state = StateNamed(a.state);
  if (!since || (!a.state.empty() && !state)) {
    Print("FAIL  --since takes a date such as 2026-12-01, --state pending, sent, failed, expired or spam");
    return 2;
  }
  const std::vector<StoredSubmission> rows = store->List(*since, state);
  if (command == "list") {
    for (const std::string& line : ListLines(rows)) Print(line);
    return 0;
  }
  std::cout << (a.format == "json" ? ExportJsonLines(rows) : ExportCsv(rows, a.excel)) << std::flush;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"quillo: check the setup of quillopro.exe, send a test mail, and work with its stored posts"};
  app.require_subcommand(1);
  app.fallthrough();  // quillo check --program PATH as well as quillo --program PATH check
  std::string program = kDefaultProgram;
  std::string user = kDefaultWebUser;
  app.add_option("--program", program, "the CGI program whose setup to use")->capture_default_str();
  app.add_option("--user", user, "the account the web server runs it as")->capture_default_str();

  bool connect = false;
  CLI::App* check = app.add_subcommand("check", "check the settings, files and modes the program uses");
  check->add_flag("--connect", connect, "also connect to the mail server: greeting, TLS, AUTH, no mail");
  std::string address;
  CLI::App* send_test = app.add_subcommand("send-test", "send one test mail as the program would");
  send_test->add_option("address", address, "where the test mail goes")->required();
  StoreArguments store;
  CLI::App* list = app.add_subcommand("list", "list the stored posts");
  CLI::App* show = app.add_subcommand("show", "show one stored post: its fields and its delivery");
  show->add_option("id", store.id, "the post's id, as list shows it")->required();
  CLI::App* exported = app.add_subcommand("export", "print the stored posts as CSV or JSON Lines");
  exported->add_option("--format", store.format, "csv or json")->check(CLI::IsMember({"csv", "json"}));
  exported->add_flag("--excel", store.excel, "CSV for spreadsheets: a byte order mark and CR LF");
  for (CLI::App* command : {list, exported}) {
    command->add_option("--since", store.since, "only posts from this date on (2026-12-01)");
    command->add_option("--state", store.state, "only posts in this state");
  }
  CLI::App* resend = app.add_subcommand("resend", "deliver the stored posts whose mail is due");
  resend->add_flag("--now", store.resend.ignore_backoff, "do not wait out the back-off");
  resend->add_option("--force", store.force, "send this post again, even after a permanent failure");
  CLI::App* purge = app.add_subcommand("purge", "delete the posts older than retention_days");
  CLI::App* forget = app.add_subcommand("forget", "delete every post from or to an address");
  forget->add_option("address", store.address, "the address")->required();
  CLI11_PARSE(app, argc, argv);

  if (*check) return Check(program, user, connect);
  if (*send_test) return SendTest(program, user, address);
  for (CLI::App* command : {list, show, exported, resend, purge, forget}) {
    if (*command) return RunStoreCommand(command->get_name(), program, user, store);
  }
  return 2;
}
