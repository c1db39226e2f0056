// The settings file as the site owner writes it: every key read, and every
// mistake named with its line.
#include "settings/site_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/messages.h"
#include "core/run_end.h"
#include "fake_system.h"
#include "store/submission_store.h"

namespace quillo {
namespace {

const std::string kEveryKey =
    "\xEF\xBB\xBF; written by hand\r\n"
    "[site]\r\n"
    "recipients_match = Address\r\n"
    "sender = forms@example.com\r\n"
    "charset = UTF-8\r\n"
    "debug = off\r\n"
    "autoreply = on\r\n"
    "autoreply_templates = thanks.txt, Thanks2.txt\r\n"
    "autoreply_subject = Thanks; we read every message # really\r\n"
    "server = mail.example.com\r\n"
    "documents = ok.htm,err.htm\r\n"
    "honeypot = website\r\n"
    "rate_limit = 5 per 10 minutes\r\n"
    "state_dir = /var/lib/quillo\r\n"
    "referers = Example.com, www.example.com\r\n"
    "allow_empty_referer = yes\r\n"
    "success_redirect = /thanks.html\r\n"
    "error_redirect = https://example.com/sorry\r\n"
    "json = on\r\n"
    "log = /var/log/quillo.log\r\n"
    "# aliases follow\r\n"
    "[Aliases]\r\n"
    "Sales = sales@example.com, orders@example.com\r\n";

TEST(SiteSettings, ReadsEveryKey) {
  const auto parsed = ParseSiteSettings(kEveryKey);
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(parsed)) << std::get<SettingsError>(parsed).message;
  const SiteSettings& s = std::get<SiteSettings>(parsed);
  EXPECT_TRUE(s.present);
  EXPECT_EQ(s.recipients_match, RecipientsMatch::kAddress);
  EXPECT_EQ(s.sender, "forms@example.com");
  EXPECT_EQ(s.charset, "utf-8");
  EXPECT_EQ(s.debug, Switch::kOff);
  EXPECT_EQ(s.autoreply, Switch::kOn);
  EXPECT_EQ(s.autoreply_templates, (TextList{"thanks.txt", "Thanks2.txt"}));
  EXPECT_EQ(s.autoreply_subject, "Thanks; we read every message # really");
  EXPECT_EQ(s.server, "mail.example.com");
  EXPECT_EQ(s.documents, (TextList{"ok.htm", "err.htm"}));
  EXPECT_EQ(s.honeypot, "website");
  EXPECT_EQ(s.rate_limit->posts, 5);
  EXPECT_EQ(s.rate_limit->window_seconds, 600);
  EXPECT_EQ(s.state_dir, "/var/lib/quillo");
  EXPECT_EQ(s.referers, (TextList{"example.com", "www.example.com"}));
  EXPECT_TRUE(s.allow_empty_referer);
  EXPECT_EQ(s.success_redirect, "/thanks.html");
  EXPECT_EQ(s.error_redirect, "https://example.com/sorry");
  EXPECT_TRUE(s.json);
  EXPECT_EQ(s.log, "/var/log/quillo.log");
  ASSERT_NE(FindAlias(s, "SALES"), nullptr);
  EXPECT_EQ(FindAlias(s, "sales")->addresses, (TextList{"sales@example.com", "orders@example.com"}));
  EXPECT_EQ(FindAlias(s, "sale"), nullptr);
}

TEST(SiteSettings, ReadsTheTransport) {
  const auto parsed = ParseSiteSettings(
      "[smtp]\nhost = mail.example.com\ntls = implicit\ntls_verify = no\ntls_ca_file = /etc/ca.pem\n"
      "user = forms\npassword = a b=c\nallow_plaintext_auth = yes\nhelo = www.example.com\n"
      "connect_timeout = 5\nreply_timeout = 30\ndeadline = 45\ndkim_domain = example.com\n"
      "dkim_selector = forms\ndkim_key = dkim.pem\ntransport = sendmail\nsendmail_path = "
      "/usr/sbin/sendmail\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(parsed)) << std::get<SettingsError>(parsed).message;
  const DeliverySettings& t = std::get<SiteSettings>(parsed).delivery;
  EXPECT_TRUE(t.configured);
  EXPECT_EQ(t.transport, TransportKind::kSendmail);
  EXPECT_EQ(t.port, 465);  // implicit TLS's own port when none is given
  EXPECT_EQ(t.session.tls, TlsMode::kImplicit);
  EXPECT_FALSE(t.session.tls_verify);
  EXPECT_EQ(t.session.password, "a b=c");
  EXPECT_TRUE(t.session.allow_plaintext_auth);
  EXPECT_EQ(t.connect_timeout_ms, 5000u);
  EXPECT_EQ(t.reply_timeout_ms, 30000u);
  EXPECT_EQ(t.deadline_ms, 45000u);
  EXPECT_EQ(t.dkim_key_file, "dkim.pem");
  EXPECT_FALSE(std::get<SiteSettings>(ParseSiteSettings("[site]\n")).delivery.configured);
}

TEST(SiteSettings, ReadsTheCaptcha) {
  const auto parsed = ParseSiteSettings(
      "[site]\nstate_dir = /var/lib/quillo\n[smtp]\ntls_ca_file = /etc/relay-ca.pem\n[captcha]\n"
      "provider = AltCha\nsecret = 0123456789abcdef0123456789abcdef\naltcha_expires = 5 minutes\n"
      "altcha_max_number = 50000\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(parsed)) << std::get<SettingsError>(parsed).message;
  const CaptchaSettings& own = std::get<SiteSettings>(parsed).captcha;
  EXPECT_EQ(own.provider, CaptchaProvider::kAltcha);
  EXPECT_EQ(own.altcha_expires_seconds, 300u);
  EXPECT_EQ(own.altcha_max_number, 50000u);
  EXPECT_EQ(own.tls_ca_file, "/etc/relay-ca.pem");  // the relay's CA unless the section names its own
  const auto hosted = ParseSiteSettings(
      "[captcha]\nprovider = recaptcha\nsecret = s\nverify_url = https://verify.example.com:8443/v\n"
      "min_score = 0.7\nexpected_hostname = WWW.example.com\ntimeout = 3\ntls_ca_file = /etc/ca.pem\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(hosted)) << std::get<SettingsError>(hosted).message;
  const CaptchaSettings& c = std::get<SiteSettings>(hosted).captcha;
  EXPECT_EQ(c.provider, CaptchaProvider::kRecaptcha);
  EXPECT_EQ(c.min_score, 0.7);
  EXPECT_EQ(c.expected_hostname, "www.example.com");
  EXPECT_EQ(c.timeout_ms, 3000u);
  EXPECT_EQ(c.tls_ca_file, "/etc/ca.pem");
  EXPECT_EQ(std::get<SiteSettings>(ParseSiteSettings("")).captcha.provider, CaptchaProvider::kNone);
  const auto hook = ParseSiteSettings(
      "[webhook]\nurl = https://hooks.example.com/forms\nsecret = 0123456789abcdef\ntimeout = 2\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(hook)) << std::get<SettingsError>(hook).message;
  EXPECT_EQ(std::get<SiteSettings>(hook).webhook.url, "https://hooks.example.com/forms");
  EXPECT_EQ(std::get<SiteSettings>(hook).webhook.timeout_ms, 2000u);
}

TEST(SiteSettings, ReadsTheStoreWhereTheBuildKeepsOne) {
  const auto parsed = ParseSiteSettings(
      "[store]\npath = /var/lib/quillo/posts.sqlite\nanswer_when_stored = Success\nkeep_spam = yes\n"
      "give_up_after = 2 days\nretention_days = 90\n");
  if (!kStoreBuilt) {
    ASSERT_TRUE(std::holds_alternative<SettingsError>(parsed));
    EXPECT_EQ(std::get<SettingsError>(parsed).line, 2);
    EXPECT_EQ(std::get<SettingsError>(parsed).message,
              "this build keeps no store (SQLite is not built for Windows): remove [store]");
    return;
  }
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(parsed)) << std::get<SettingsError>(parsed).message;
  const StoreSettings& store = std::get<SiteSettings>(parsed).store;
  EXPECT_EQ(store.path, "/var/lib/quillo/posts.sqlite");
  EXPECT_TRUE(store.answer_success_when_stored);
  EXPECT_TRUE(store.keep_spam);
  EXPECT_EQ(store.give_up_after_seconds, 2u * 24 * 3600);
  EXPECT_EQ(store.retention_days, 90u);
  const std::vector<std::string> own =
      ProgramOwnFiles(std::get<SiteSettings>(parsed), "/srv/cgi-bin/quillopro.exe");
  EXPECT_NE(std::find(own.begin(), own.end(), "/var/lib/quillo/posts.sqlite-wal"), own.end());
}

TEST(SiteSettings, ReadsTheUploadsAndTheirSizes) {
  const auto bare = ParseSiteSettings("[uploads]\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(bare));
  EXPECT_TRUE(std::get<SiteSettings>(bare).uploads.enabled);
  EXPECT_TRUE(std::get<SiteSettings>(bare).present);
  EXPECT_EQ(std::get<SiteSettings>(bare).uploads.max_total_size, 10u * 1024 * 1024);
  EXPECT_FALSE(std::get<SiteSettings>(ParseSiteSettings("[site]\njson = on\n")).uploads.enabled);
  const auto parsed = ParseSiteSettings(
      "[uploads]\nmax_file_size = 2 MB\nmax_total_size = 300KB\nmax_files = 7\n"
      "allowed_types = PDF, .jpeg, epub\nlist_files = yes\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(parsed)) << std::get<SettingsError>(parsed).message;
  const UploadSettings& uploads = std::get<SiteSettings>(parsed).uploads;
  EXPECT_EQ(uploads.max_file_size, 2u * 1024 * 1024);
  EXPECT_EQ(uploads.max_total_size, 300u * 1024);
  EXPECT_EQ(uploads.max_files, 7u);
  EXPECT_EQ(uploads.allowed_types, (TextList{"pdf", "jpeg", "epub"}));
  EXPECT_TRUE(uploads.list_files);
}

// Every time value has one syntax: seconds, or a number of seconds,
// minutes or hours; a rate's window the same with its unit required.
TEST(SiteSettings, ReadsTimesInOneSyntaxAndHostsByOneRule) {
  const struct {
    std::string line;
    std::uint32_t reply_ms;
    long window;
  } cases[] = {
      {"[smtp]\nreply_timeout = 45\n", 45000, 0},
      {"[smtp]\nreply_timeout = 2 minutes\n", 120000, 0},
      {"[smtp]\nreply_timeout = 1hour\n", 3600000, 0},
      {"[smtp]\nreply_timeout = 1 Second\n", 1000, 0},
      {"[site]\nstate_dir = /s\nrate_limit = 3 per 30 seconds\n", 60000, 30},
      {"[site]\nstate_dir = /s\nrate_limit = 3 per hour\n", 60000, 3600},
      {"[site]\nstate_dir = /s\nrate_limit = 3 PER 2 hours\n", 60000, 7200},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseSiteSettings(c.line);
    ASSERT_TRUE(std::holds_alternative<SiteSettings>(parsed)) << c.line;
    const SiteSettings& s = std::get<SiteSettings>(parsed);
    EXPECT_EQ(s.delivery.reply_timeout_ms, c.reply_ms) << c.line;
    EXPECT_EQ(s.rate_limit ? s.rate_limit->window_seconds : 0, c.window) << c.line;
  }
  for (const char* refused : {"[site]\nstate_dir = /s\nrate_limit = 3 per 30\n",
                              "[site]\nstate_dir = /s\nrate_limit = 0 per hour\n"}) {
    EXPECT_TRUE(std::holds_alternative<SettingsError>(ParseSiteSettings(refused))) << refused;
  }
  const auto literal = ParseSiteSettings("[site]\nreferers = [::1], 192.0.2.7\n[smtp]\nhelo = [192.0.2.7]\n");
  ASSERT_TRUE(std::holds_alternative<SiteSettings>(literal)) << std::get<SettingsError>(literal).message;
  EXPECT_EQ(std::get<SiteSettings>(literal).delivery.helo, "[192.0.2.7]");
}

// The commented example and the package's starter for /etc/quillo.
TEST(SiteSettings, TheCommentedExampleAndTheStarterRead) {
  for (const char* path : {QUILLO_EXAMPLE_INI, QUILLO_STARTER_INI}) {
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty()) << path;
    const auto parsed = ParseSiteSettings(text);
    EXPECT_TRUE(std::holds_alternative<SiteSettings>(parsed))
        << path << ": " << std::get<SettingsError>(parsed).message;
  }
}

TEST(SiteSettings, NamesEveryMistakeWithItsLine) {
  const struct {
    std::string text;
    int line;
    std::string message;
  } cases[] = {
      {"debug = off\n", 1, "'debug' comes before any [section]"},
      {"[site]\n\n[smtp2]\n", 3, "unknown section [smtp2]"},
      {"[site\n", 1, "'[site' is not a section name in brackets"},
      {"[site]\nverbose = on\n", 2, "unknown key 'verbose' in [site]"},
      {"[site]\ndebug = off\nDEBUG = on\n", 3, "'debug' is set twice in [site]"},
      {"[site]\ndebug\n", 2, "'debug' is not a key = value line"},
      {"[site]\ndebug = maybe\n", 2, "expected on or off, not 'maybe'"},
      {"[site]\nrecipients_match = exact\n", 2, "expected substring or address, not 'exact'"},
      {"[site]\ncharset = koi8-r\n", 2, "expected iso-8859-1, utf-8, windows-1252 or form, not 'koi8-r'"},
      {"[site]\nsender = Forms <forms@example.com>\n", 2,
       "'Forms <forms@example.com>' is not an e-mail address"},
      {"[site]\ndocuments = ok.htm,,err.htm\n", 2, "an empty entry in the list"},
      {"[site]\ndocuments = ../ok.htm\n", 2, "'../ok.htm' is not a file name next to the program"},
      {"[site]\nrate_limit = 5 per fortnight\nstate_dir = /tmp\n", 2,
       "expected a rate such as '5 per 10 minutes', not '5 per fortnight'"},
      {"[site]\nrate_limit = 5 per minute\n", 2,
       "rate_limit needs state_dir, the folder that keeps the counts"},
      {"[site]\nstate_dir = state\n", 2, "expected an absolute folder path, not 'state'"},
      {"[site]\nsuccess_redirect = //evil.test/\n", 2,
       "'//evil.test/' is not a path such as /thanks.html or an http(s) address"},
      {"[site]\nerror_redirect = /\\evil.test/\n", 2,
       "'/\\evil.test/' is not a path such as /thanks.html or an http(s) address"},
      {"[site]\nlog = syslog\n", 2, "expected stderr, off or an absolute file path, not 'syslog'"},
      {"[aliases]\nsales = someone\n", 2, "'someone' is not an e-mail address"},
      {"[smtp]\ntransport = pigeon\n", 2, "expected smtp or sendmail, not 'pigeon'"},
      {"[smtp]\ntls = ssl\n", 2, "expected none, starttls or implicit, not 'ssl'"},
      {"[smtp]\nport = 99999\n", 2, "expected a port from 1 to 65535, not '99999'"},
      {"[smtp]\ndeadline = 0\n", 2,
       "expected a time from 1 second to 1 hour, such as 30 or 2 minutes, not '0'"},
      {"[smtp]\nreply_timeout = 61 minutes\n", 2,
       "expected a time from 1 second to 1 hour, such as 30 or 2 minutes, not '61 minutes'"},
      {"[smtp]\nhost = mail_server\n", 2, "'mail_server' is not a host name"},
      {"[site]\nreferers = -www.example.com\n", 2, "'-www.example.com' is not a host name"},
      {"[smtp]\nsendmail_path = sendmail\n", 2, "expected the absolute path of the program, not 'sendmail'"},
      {"[smtp]\nuser = forms\n", 2, "user and password go together"},
      // A mistake between keys is named at the key that asks for the other.
      {"[smtp]\nuser = forms\npassword = x\n", 2, "user needs host: only your own server takes the password"},
      {"[site]\nrate_limit = 5 per minute\ndebug = off\n", 2,
       "rate_limit needs state_dir, the folder that keeps the counts"},
      {"[smtp]\nport = 2525\npassword = x\nhost = h\n", 3, "user and password go together"},
      {"[smtp]\ndkim_key = k.pem\ndkim_domain = example.com\n", 2,
       "dkim_domain, dkim_selector and dkim_key go together"},
      {"[smtp]\ndkim_domain = example.com\n", 2, "dkim_domain, dkim_selector and dkim_key go together"},
      {"[smtp]\nbcc = x\n", 2, "unknown key 'bcc' in [smtp]"},
      {"[store]\nkeep_spam = yes\n", 2, "the keys of [store] need path, the database file"},
      {"[webhook]\nurl = https://hooks.example.com/f\n", 2, "url and secret of [webhook] go together"},
      {"[webhook]\nurl = http://hooks.example.com/f\nsecret = 0123456789abcdef\n", 2,
       "expected an https:// address with a host name, not 'http://hooks.example.com/f'"},
      {"[webhook]\nurl = https://hooks.example.com/f\nsecret = short\n", 3,
       "secret must be at least 16 bytes: the receiver checks with it"},
      {"[webhook]\ntimeout = 3\n", 2, "the keys of [webhook] need url, where posts are announced"},
      {"[store]\nanswer_when_stored = maybe\n", 2, "expected success or error, not 'maybe'"},
      {"[uploads]\nmax_file_size = 10 GB\n", 2,
       "expected a size from 1 byte to 256 MB, such as 10 MB, not '10 GB'"},
      {"[uploads]\nmax_total_size = 0\n", 2, "expected a size from 1 byte to 256 MB, such as 10 MB, not '0'"},
      {"[uploads]\nmax_files = 101\n", 2, "expected a number of files from 1 to 100, not '101'"},
      {"[uploads]\nallowed_types = pdf, exe\n", 2,
       "'exe' files are never taken: programs, scripts, HTML and SVG"},
      {"[uploads]\nallowed_types = mp3\n", 2,
       "'mp3' is no type this program can tell by its first bytes; it tells pdf, png, jpg, jpeg, gif, webp, "
       "txt, csv, zip, docx, xlsx, pptx, odt, ods, odp and epub"},
      {"[store]\ngive_up_after = 3\n", 2,
       "expected a time from 1 second to 90 days, such as 3 days, not '3'"},
      {"[store]\nretention_days = 0\n", 2, "expected a number of days from 1 to 36500, not '0'"},
      {"[captcha]\nprovider = recaptcha2\n", 2,
       "expected altcha, turnstile, hcaptcha or recaptcha, not 'recaptcha2'"},
      {"[captcha]\nprovider = turnstile\n", 2,
       "provider needs secret: the key of the challenges or the provider's secret key"},
      {"[captcha]\nmin_score = 0.5\n", 2, "the keys of [captcha] need provider, the check to make"},
      {"[site]\nstate_dir = /s\n[captcha]\nprovider = altcha\nsecret = 31 bytes are not enough, no no\n", 5,
       "secret must be at least 32 bytes: it signs the challenges (openssl rand -hex 32 draws one)"},
      {"[captcha]\nprovider = altcha\nsecret = 0123456789abcdef0123456789abcdef\n", 2,
       "provider = altcha needs state_dir, the folder that keeps the solved challenges"},
      {"[captcha]\naltcha_max_number = 10\n", 2,
       "expected a number from 1000 to 100000000, such as 100000, not '10'"},
      {"[captcha]\naltcha_cost = 5000\n", 2,
       "altcha_cost sets the difficulty of the second version of the challenge; this program issues the "
       "first: "
       "set altcha_max_number"},
      {"[captcha]\naltcha_expires = 2 days\n", 2,
       "expected a time from 1 second to 24 hours, such as 10 minutes, not '2 days'"},
      {"[captcha]\nmin_score = 1.5\n", 2, "expected a score from 0 to 1, such as 0.5, not '1.5'"},
      {"[captcha]\nmin_score = -0\n", 2, "expected a score from 0 to 1, such as 0.5, not '-0'"},
      {"[captcha]\nverify_url = https://192.0.2.7/v\n", 2,
       "expected an https:// address with a host name, not 'https://192.0.2.7/v'"},
      {"[aliases]\nsales = a@example.com\nSALES = b@example.com\n", 3, "'sales' is set twice in [aliases]"},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseSiteSettings(c.text);
    ASSERT_TRUE(std::holds_alternative<SettingsError>(parsed)) << c.text;
    EXPECT_EQ(std::get<SettingsError>(parsed).line, c.line) << c.text;
    EXPECT_EQ(std::get<SettingsError>(parsed).message, c.message) << c.text;
  }
}

TEST(SiteSettings, LoadsBesideTheProgramOrEndsTheRunNamingTheLine) {
  testing::FakeSystem files;
  EXPECT_FALSE(LoadSiteSettings(files, "/srv/cgi-bin/quillopro.exe").present);
  files.AddFile("/srv/cgi-bin/quillopro.ini", "[site]\nlog = <b>\n");
  try {
    LoadSiteSettings(files, "/srv/cgi-bin/quillopro.exe");
    FAIL() << "the run went on";
  } catch (const RunEnded& end) {
    // The visitor sees the file and the line; the line itself, which may
    // hold a password, only the error log.
    EXPECT_EQ(end.output,
              RenderErrorPage("QUILLO! ERROR 604<br>SETTINGS FILE INVALID<br><br>quillopro.ini<br>line 2"));
    EXPECT_EQ(files.log,
              (std::vector<std::string>{"/srv/cgi-bin/quillopro.ini line 2: expected stderr, off or an "
                                        "absolute file path, not '<b>'"}));
  }
}

}  // namespace
}  // namespace quillo
