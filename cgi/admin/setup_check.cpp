// The setup check; see setup_check.h.
#include "admin/setup_check.h"

#include <variant>

#include "core/text.h"
#include "documents/names.h"
#include "platform/crypto.h"
#include "settings/site_settings.h"

namespace quillo {
namespace {

// Readable by every account: the "others" read bit.
constexpr std::uint32_t kOthersRead = 04;

Finding Ok(std::string text) { return {Verdict::kOk, std::move(text), {}}; }
Finding Warn(std::string text, std::string fix) { return {Verdict::kWarn, std::move(text), std::move(fix)}; }
Finding Fail(std::string text, std::string fix) { return {Verdict::kFail, std::move(text), std::move(fix)}; }

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

// The web server's user and one file it must read (or write).
Finding Reachable(const SetupFacts& facts, const CheckRequest& request, const std::string& what,
                  const std::string& path, Want want) {
  const std::string verb = want == Want::kRead ? "read" : "write";
  switch (facts.AccessOf(path, want)) {
    case Access::kAllowed:
      return Ok(what + " " + path + ": " + request.web_user + " may " + verb + " it");
    case Access::kMissing:
      return Fail(what + " " + path + " is not there",
                  want == Want::kWrite ? "mkdir -p " + path + " && chown " + request.web_user + " " + path
                                       : "put it there, or mend the name that asks for it");
    case Access::kDenied:
      break;
  }
  return Fail(what + " " + path + ": " + request.web_user + " may not " + verb + " it",
              want == Want::kRead ? "chgrp " + request.web_user + " " + path + " && chmod g+r " + path
                                  : "chown " + request.web_user + " " + path);
}

// A file that holds a secret, readable by every account on the machine.
void CheckSecret(const SetupFacts& facts, const std::string& what, const std::string& path,
                 std::vector<Finding>& findings) {
  const std::optional<std::uint32_t> mode = facts.ModeOf(path);
  if (mode && (*mode & kOthersRead) != 0) {
    findings.push_back(
        Warn(path + " holds " + what + " and every user of this machine may read it", "chmod o-r " + path));
  }
}

void CheckSettingsFiles(const SiteSettings& site, const CheckRequest& request, const SetupFacts& facts,
                        std::vector<Finding>& findings) {
  const auto beside = [&](std::string_view name) { return SiteFilePath(request.program_path, name); };
  std::vector<std::string> names;
  for (const TextList* list : {site.documents ? &*site.documents : nullptr,
                               site.autoreply_templates ? &*site.autoreply_templates : nullptr}) {
    if (list != nullptr) names.insert(names.end(), list->begin(), list->end());
  }
  for (const std::string& name : names)
    findings.push_back(Reachable(facts, request, "document", beside(name), Want::kRead));
  const std::string allow_list = beside(kAllowListFileName);
  if (facts.AccessOf(allow_list, Want::kRead) != Access::kMissing) {
    findings.push_back(Reachable(facts, request, "allow-list", allow_list, Want::kRead));
  }
  if (!site.state_dir.empty())
    findings.push_back(Reachable(facts, request, "state folder", site.state_dir, Want::kWrite));
  // SQLite writes its log and index beside the database, so the folder it is
  // in must be the web server user's to write.
  if (!site.store.path.empty())
    findings.push_back(Reachable(facts, request, "store folder", ParentOf(site.store.path), Want::kWrite));
  if (IsAbsolutePath(site.log)) {
    const bool there = facts.AccessOf(site.log, Want::kWrite) != Access::kMissing;
    Finding log = there ? Reachable(facts, request, "log", site.log, Want::kWrite)
                        : Reachable(facts, request, "log folder", ParentOf(site.log), Want::kWrite);
    if (log.verdict != Verdict::kOk) log.text += "; the program writes its lines to standard error instead";
    findings.push_back(std::move(log));
  }
}

void CheckDkim(const DeliverySettings& delivery, const CheckRequest& request, const SetupFacts& facts,
               std::vector<Finding>& findings) {
  if (delivery.dkim_key_file.empty()) return;
  const std::string path = DkimKeyPath(delivery, request.program_path);
  const std::optional<std::string> pem = facts.Read(path);
  if (!pem) {
    findings.push_back(Fail("DKIM key " + path + " cannot be read", "put the key there, or mend dkim_key"));
    return;
  }
  findings.push_back(Reachable(facts, request, "DKIM key", path, Want::kRead));
  CheckSecret(facts, "the DKIM private key", path, findings);
  const std::optional<platform::RsaPublicKey> key = platform::RsaPublicKeyOf(*pem);
  if (!key) {
    findings.push_back(
        Fail("DKIM key " + path + " does not sign",
             "an unencrypted RSA key of at least 1024 bits: openssl genrsa -out " + path + " 2048"));
    return;
  }
  findings.push_back(Ok("DKIM key: " + std::to_string(key->bits) + " bits; publish the TXT record " +
                        delivery.dkim.selector + "._domainkey." + delivery.dkim.domain +
                        " \"v=DKIM1; k=rsa; p=" + EncodeBase64(key->der) + "\""));
}

}  // namespace

std::string FormatFinding(const Finding& finding) {
  const char* word = finding.verdict == Verdict::kOk     ? "OK    "
                     : finding.verdict == Verdict::kWarn ? "WARN  "
                                                         : "FAIL  ";
  return word + finding.text + (finding.fix.empty() ? "" : "; " + finding.fix);
}

int ExitStatusOf(const std::vector<Finding>& findings) {
  int status = 0;
  for (const Finding& finding : findings) {
    if (finding.verdict == Verdict::kFail) return 2;
    if (finding.verdict == Verdict::kWarn) status = 1;
  }
  return status;
}

std::vector<Finding> CheckSetup(const CheckRequest& request, const SetupFacts& facts) {
  std::vector<Finding> findings;
  const std::string path = SiteFilePath(request.program_path, kSettingsFileName);
  const std::string target = facts.LinkTarget(path);
  const std::string shown = target.empty() ? path : path + " -> " + target;
  const std::optional<std::string> text = facts.Read(path);
  if (!text) {
    findings.push_back(
        facts.AccessOf(path, Want::kRead) == Access::kMissing && target.empty()
            ? Warn("no settings file " + path + ": every post follows its form's hidden fields",
                   "put a quillopro.ini there (see /usr/share/doc/quillo/examples/quillopro.ini)")
            : Fail("settings " + shown + " cannot be read, so every post gets error 600",
                   "mend the file or the link"));
    return findings;
  }
  const auto parsed = ParseSiteSettings(*text);
  if (const auto* error = std::get_if<SettingsError>(&parsed)) {
    findings.push_back(
        Fail("settings " + shown + " line " + std::to_string(error->line) + ": " + error->message,
             "every post gets error 604 until it is mended"));
    return findings;
  }
  const SiteSettings& site = std::get<SiteSettings>(parsed);
  findings.push_back(Ok("settings " + shown + " read without a mistake"));
  Finding readable = Reachable(facts, request, "settings", path, Want::kRead);
  if (readable.verdict == Verdict::kOk)
    findings.push_back(std::move(readable));
  else
    findings.push_back(Fail(readable.text + ", so every post gets error 600", readable.fix));
  if (!site.delivery.session.password.empty())
    CheckSecret(facts, "the relay's password", target.empty() ? path : target, findings);
  CheckSettingsFiles(site, request, facts, findings);
  CheckDkim(site.delivery, request, facts, findings);
  return findings;
}

}  // namespace quillo
