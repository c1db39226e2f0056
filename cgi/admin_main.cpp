// Entry of quillo, the site owner's command: checks the setup the CGI
// program will meet and tries its way out. Run in a shell, never by a web
// server: it is installed outside the CGI folder. Each subcommand is a
// function of the admin layer; later ones (the store, resending, export)
// join them here.
#include <CLI/CLI.hpp>
#include <iostream>

#include "admin/mail_probe.h"
#include "admin/setup_check.h"
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"quillo: check the setup of quillopro.exe and send a test mail"};
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
  CLI11_PARSE(app, argc, argv);

  if (*check) return Check(program, user, connect);
  return SendTest(program, user, address);
}
