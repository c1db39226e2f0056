// The built quillogen in batch mode, run as a script would run it: without a
// display, and with a platform name that would abort any window.
#include "batch.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "expected_forms.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "<missing>";
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Quoted(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class BatchMode : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quillogen-batch-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // `shell_setup` runs in the shell before the program, to set limits.
  RunResult Run(const std::vector<std::string>& args, const std::string& shell_setup = "") {
    std::string command = shell_setup +
                          "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-platform " +
                          Quoted(QUILLOGEN_BINARY);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    command += " >" + Quoted((dir_ / "stdout").string()) + " 2>" + Quoted((dir_ / "stderr").string());
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir_ / "stdout"),
            ReadFile(dir_ / "stderr")};
  }

  std::string Output() const { return (dir_ / "form.htm").string(); }
  std::string Settings() const { return (dir_ / "quillopro.ini").string(); }

  fs::path dir_;
};

const char kAction[] = "/scripts/quillo/quillopro.exe";
const char kTo[] = "webmaster@example.com";

TEST_F(BatchMode, DefaultsWriteTheSameBytesAsFinish) {
  const RunResult run = Run({"--batch", "-o", Output(), "--url", " /scripts/quillo/quillopro.exe ", "--to",
                             "webmaster@example.com", "--success", "success.htm", "--error", "error.htm"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(Output()),
            quillogen_test::DefaultsForm("/scripts/quillo/quillopro.exe", "webmaster@example.com",
                                         "success.htm", "error.htm"));
}

TEST_F(BatchMode, EveryOptionReachesTheForm) {
  const RunResult run = Run({"--batch",
                             "-o",
                             Output(),
                             "--url",
                             "http://www.example.com/cgi-bin/quillo/quillopro.exe",
                             "--to",
                             "sales@example.com, info@example.com",
                             "--server",
                             "mail.example.com",
                             "--subject",
                             "Order for ##Product##",
                             "--priority",
                             "high",
                             "--strip-empty",
                             "--env-report",
                             "--template=email.txt",
                             "--success",
                             "thanks.htm",
                             "--error",
                             "sorry.htm",
                             "--required",
                             "missing.htm",
                             "--email-verify",
                             "--address",
                             "--misc",
                             "--comments",
                             "--sample-fields"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(Output()), quillogen_test::EverythingForm());
}

// Command lines arrive in UTF-8 and the form holds cp1252, as the window
// stores it; the output path is a file name of this system and stays UTF-8.
TEST_F(BatchMode, CommandLineTextIsStoredInTheFormsCharacterSet) {
  const struct {
    const char* subject;
    const char* stored;
  } cases[] = {
      {"Gr\u00F6\u00DF"
       "e \"XL\"",
       "Gr\xF6\xDF"
       "e &quot;XL&quot;"},
      {"5 \u20AC \u201CDeluxe\u201D \u2018now\u2019",
       "5 \x80 \x93"
       "Deluxe\x94 \x91now\x92"},
      {"a \u2013 b \u2014 c\u2026 Quillo\u2122", "a \x96 b \x97 c\x85 Quillo\x99"},
      {"\u03A9 \u6F22", "? ?"},
  };
  const std::string output = (dir_ / "Formul\u00E4r \u20AC.htm").string();
  for (const auto& c : cases) {
    const RunResult run =
        Run({"--batch", "-o", output, "--url", "/quillopro.exe", "--to", "a@example.com", "--success",
             "s.htm", "--error", "e.htm", "--format", "text", "--no-email", "--subject", c.subject});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(output),
              quillogen_test::FormHead("/quillopro.exe") +
                  quillogen_test::CrLfLines({quillogen_test::Hidden("QUILLO_TO", "a@example.com"),
                                             quillogen_test::Hidden("QUILLO_SUCCESS", "s.htm"),
                                             quillogen_test::Hidden("QUILLO_ERROR", "e.htm"),
                                             quillogen_test::Hidden("QUILLO_FORMAT", "TEXT"),
                                             quillogen_test::Hidden("QUILLO_SUBJECT", c.stored), "<br>",
                                             "<br>", "<br>", "<br>", "<br>"}) +
                  quillogen_test::FormTail())
        << c.subject;
  }
}

// Each refused entry is named on standard error, in page order, and no file
// is written.
TEST_F(BatchMode, RefusedEntriesAreNamedAndExitWithStatus2) {
  const std::vector<std::string> good = {"--url",     "/scripts/quillo/quillopro.exe",
                                         "--to",      "a@example.com",
                                         "--success", "success.htm",
                                         "--error",   "error.htm"};
  const struct {
    std::vector<std::string> extra;
    const char* err;
  } cases[] = {
      {{"--url", "/cgi-bin/formmail.exe"},
       "quillogen: refused --url: the address must contain the program's file name quillopro.exe\n"},
      {{"--to", "   "}, "quillogen: refused --to: at least one recipient address is needed\n"},
      {{"--template", "tpl/email.txt"},
       "quillogen: refused --template: give a plain file name, without | / \\ or :\n"},
      {{"--success", "", "--error", "c:error.htm"},
       "quillogen: refused --success: give a plain file name, without | / \\ or :\n"
       "quillogen: refused --error: give a plain file name, without | / \\ or :\n"},
      {{"--error", "docs\\error.htm"},
       "quillogen: refused --error: give a plain file name, without | / \\ or :\n"},
      {{"--format", "pdf"}, "quillogen: --format must be html or text\nTry 'quillogen --help'.\n"},
      {{"--colour"}, "quillogen: unknown option --colour\nTry 'quillogen --help'.\n"},
      {{"--charset", "iso-8859-1"}, "quillogen: --charset must be utf-8\nTry 'quillogen --help'.\n"},
      {{"--charset=", "--settings", ""},
       "quillogen: --settings needs a value\nquillogen: --charset must be utf-8\nTry 'quillogen --help'.\n"},
      {{"--settings", Settings(), "--to", ""},
       "quillogen: refused --to: at least one recipient address is needed\n"},
      {{"--captcha", "recaptcha3"},
       "quillogen: --captcha must be altcha, turnstile, hcaptcha or recaptcha\nTry 'quillogen --help'.\n"},
      {{"--captcha", "turnstile"},
       "quillogen: --captcha turnstile needs --captcha-site-key\nTry 'quillogen --help'.\n"},
      {{"--captcha", "altcha", "--captcha-site-key", "k"},
       "quillogen: --captcha-site-key goes with --captcha turnstile, hcaptcha or recaptcha\nTry 'quillogen "
       "--help'.\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--batch", "-o", Output()};
    args.insert(args.end(), good.begin(), good.end());
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const RunResult run = Run(args);
    EXPECT_EQ(run.status, 2) << c.err;
    EXPECT_EQ(run.err, c.err);
    EXPECT_FALSE(fs::exists(Output())) << c.err;
    EXPECT_FALSE(fs::exists(Settings())) << c.err;
  }
}

// A form that cannot be written whole is reported with the system's reason,
// and no cut-off file is left behind.
// The fields only the batch mode writes go into the hidden block, each only
// when given and in its place there; their names are checked as page 5
// checks its documents. --charset utf-8 keeps the texts as given and changes
// the head alone; --settings writes the settings file first, and the form
// names the alias made from the form file's name.
TEST_F(BatchMode, BatchOnlyOptionsWriteTheirHiddenFields) {
  using quillogen_test::Hidden;
  const std::string plain = ": give a plain file name, without | / \\ or :\n";
  const std::string no_folder = (dir_ / "none" / "quillopro.ini").string();
  const std::string cp1252_head = quillogen_test::FormHead(kAction);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
    std::string form;
    std::string settings = "<missing>";
  } cases[] = {
      {{"--bademail", "bad.htm"},
       0,
       "",
       quillogen_test::DefaultsForm(kAction, kTo, "success.htm", "error.htm",
                                    {Hidden("QUILLO_BADEMAIL", "bad.htm")})},
      {{"--respond-template", "reply.txt", "--respond-subject", "Thanks, \u201C##Name##\u201D & more",
        "--respond-from", " shop@example.com "},
       0,
       "",
       quillogen_test::DefaultsForm(kAction, kTo, "success.htm", "error.htm",
                                    {Hidden("RESPOND_TEMPLATE", "reply.txt"),
                                     Hidden("RESPOND_SUBJECT", "Thanks, \x93##Name##\x94 &amp; more"),
                                     Hidden("RESPOND_FROM", "shop@example.com")})},
      {{"--respond-from=shop@example.com", "--env-report", "--bademail=bad.htm", "--priority", "high",
        "--respond-template=reply.txt", "--required", "missing.htm", "--strip-empty"},
       0,
       "",
       quillogen_test::DefaultsForm(
           kAction, kTo, "success.htm", "error.htm",
           {Hidden("QUILLO_REQUIRED", "missing.htm"), Hidden("QUILLO_BADEMAIL", "bad.htm"),
            Hidden("QUILLO_PRIORITY", "HIGH"), Hidden("QUILLO_ENVREPORT", "ON"),
            Hidden("QUILLO_NOEMPTYFIELDS", "ON"), Hidden("RESPOND_TEMPLATE", "reply.txt"),
            Hidden("RESPOND_FROM", "shop@example.com")})},
      // Given empty, they are left out: the form is today's.
      {{"--bademail", "", "--respond-template", "", "--respond-subject", "", "--respond-from", " "},
       0,
       "",
       quillogen_test::DefaultsForm(kAction, kTo, "success.htm", "error.htm")},
      {{"--respond-template", "C:reply.txt", "--bademail", "docs/bad.htm", "--error", "a|b.htm"},
       2,
       "quillogen: refused --error" + plain + "quillogen: refused --bademail" + plain +
           "quillogen: refused --respond-template" + plain,
       "<missing>"},
      {{"--charset", "Utf-8", "--subject", "\u20AC \u03A9"},
       0,
       "",
       quillogen_test::Utf8FormHead(kAction) +
           quillogen_test::DefaultsForm(kAction, kTo, "success.htm", "error.htm",
                                        {Hidden("QUILLO_SUBJECT", "\u20AC \u03A9")})
               .substr(cp1252_head.size())},
      {{"--settings", Settings()},
       0,
       "",
       quillogen_test::DefaultsForm(kAction, "form", "success.htm", "error.htm"),
       quillogen_test::SiteSettingsFile("form = webmaster@example.com",
                                        {"documents = success.htm, error.htm"})},
      {{"--settings", no_folder},
       1,
       "quillogen: cannot write " + no_folder + ": " + std::strerror(ENOENT) + "\n",
       "<missing>"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--batch", "-o",        Output(),      "--url",   kAction,    "--to",
                                     kTo,       "--success", "success.htm", "--error", "error.htm"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    fs::remove(Output());
    fs::remove(Settings());
    const RunResult run = Run(args);
    EXPECT_EQ(run.status, c.status) << c.args[0];
    EXPECT_EQ(run.err, c.err) << c.args[0];
    EXPECT_EQ(ReadFile(Output()), c.form) << c.args[0];
    EXPECT_EQ(ReadFile(Settings()), c.settings) << c.args[0];
  }
}

// A spam check puts its widget's script in the head and its element before
// the submit button, and the settings file gets the [captcha] that checks
// it: for the program's own challenge a key drawn for the file.
TEST_F(BatchMode, TheCaptchaOptionsWriteTheWidgetAndTheCheck) {
  const std::string form = quillogen_test::DefaultsForm(kAction, "form", "success.htm", "error.htm");
  const auto with_widget = [&](const std::string& script, const std::string& element) {
    std::string expected = form;
    expected.insert(expected.find("</head>"), script + "\r\n");
    expected.insert(expected.find("<br><br><h2>Use a html editor"), element + "\r\n");
    return expected;
  };
  const struct {
    std::vector<std::string> args;
    std::string form;
    std::string settings_tail;
  } cases[] = {
      {{"--captcha", "ALTCHA"},
       with_widget(
           "<script async defer src=\"altcha.js\" type=\"module\"></script>",
           "<br><altcha-widget challengeurl=\"" + std::string(kAction) + "?altcha\"></altcha-widget>"),
       "\r\n[captcha]\r\n"
       "; Every post must pass this check before mail goes out (ERROR 903\r\n"
       "; otherwise). Deleting the widget from a copy of the form does not help.\r\n"
       "provider = altcha\r\n"
       "; The key that signs the challenges, drawn for this file: keep it to\r\n"
       "; yourself and the file unreadable to other users.\r\n"
       "secret = SECRET\r\n"
       "; How long a challenge may be solved and posted, and how hard it is.\r\n"
       "altcha_expires = 10 minutes\r\naltcha_max_number = 100000\r\n"},
      {{"--captcha", "turnstile", "--captcha-site-key", "0x4AAA\"<x>"},
       with_widget(
           "<script src=\"https://challenges.cloudflare.com/turnstile/v0/api.js\" async defer></script>",
           "<br><div class=\"cf-turnstile\" data-sitekey=\"0x4AAA&quot;&lt;x&gt;\"></div>"),
       "\r\n[captcha]\r\n"
       "; Every post must pass this check before mail goes out (ERROR 903\r\n"
       "; otherwise). Deleting the widget from a copy of the form does not help.\r\n"
       "provider = turnstile\r\n"
       "; Your secret key from the provider (not the site key the form shows).\r\n"
       "; Until it is set every post is refused and the log says\r\n"
       "; error-codes=invalid-input-secret.\r\n"
       "secret = paste-your-secret-key-here\r\n;min_score = 0.5\r\n;expected_hostname = "
       "www.your-domain.example\r\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--batch",   "-o",         Output(),    "--url",       kAction,
                                     "--to",      kTo,          "--success", "success.htm", "--error",
                                     "error.htm", "--settings", Settings()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Output()), c.form) << c.args[1];
    std::string settings = ReadFile(Settings());
    const std::size_t secret = settings.find("secret = ");
    ASSERT_NE(secret, std::string::npos);
    if (c.args[1] == "ALTCHA") {
      const std::string drawn = settings.substr(secret + 9, 64);
      EXPECT_EQ(drawn.find_first_not_of("0123456789abcdef"), std::string::npos) << drawn;
      settings.replace(secret + 9, 64, "SECRET");
      EXPECT_NE(settings.find("state_dir = /var/lib/quillo\r\n"), std::string::npos);
    }
    EXPECT_EQ(settings.substr(settings.find("\r\n[captcha]")), c.settings_tail) << c.args[1];
  }
}

// One run names every fault: those of the command line in argument order,
// then the refused entries in page order, whatever the order of the options.
TEST_F(BatchMode, EveryRefusedEntryIsNamedInOneRun) {
  const std::string url =
      "quillogen: refused --url: the address must contain the program's file name quillopro.exe\n";
  const std::string to = "quillogen: refused --to: at least one recipient address is needed\n";
  const std::string plain = ": give a plain file name, without | / \\ or :\n";
  const std::string try_help = "Try 'quillogen --help'.\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--batch"},
       "quillogen: -o FILE is required\n" + url + to + "quillogen: refused --success" + plain +
           "quillogen: refused --error" + plain + try_help},
      {{"--batch", "-o", Output(), "--error", "docs/e.htm", "--template", "tpl/email.txt", "--success",
        "a|b.htm", "--to", " ", "--url", "/cgi-bin/formmail.exe"},
       url + to + "quillogen: refused --template" + plain + "quillogen: refused --success" + plain +
           "quillogen: refused --error" + plain},
      {{"--batch", "-o", Output(), "--colour", "--to", "a@example.com", "--success", "s.htm", "--error",
        "e.htm", "--format", "pdf"},
       "quillogen: unknown option --colour\nquillogen: --format must be html or text\n" + url + try_help},
  };
  for (const auto& c : cases) {
    const RunResult run = Run(c.args);
    EXPECT_EQ(run.status, 2) << c.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
    EXPECT_FALSE(fs::exists(Output())) << c.err;
  }
}

TEST_F(BatchMode, UnwritableOutputExitsWithStatus1AndLeavesNoFile) {
  std::ofstream(dir_ / "plain.txt") << "a file, not a folder";
  const struct {
    std::string output;
    std::string shell_setup;
    std::string err;
  } cases[] = {
      {(dir_ / "no-such-folder" / "form.htm").string(), "",
       "quillogen: cannot write " + (dir_ / "no-such-folder" / "form.htm").string() + ": " +
           std::strerror(ENOENT) + "\n"},
      {(dir_ / "plain.txt" / "form.htm").string(), "",
       "quillogen: cannot write " + (dir_ / "plain.txt" / "form.htm").string() + ": " +
           std::strerror(ENOTDIR) + "\n"},
      // A device that opens but takes no data.
      {"/dev/full", "", "quillogen: cannot write /dev/full: " + std::string(std::strerror(ENOSPC)) + "\n"},
      // Room for a part of the form only, as on a nearly full disk; the limit
      // is one block, enough for the message on standard error.
      {Output(), "trap '' XFSZ; ulimit -f 1; ",
       "quillogen: cannot write " + Output() + ": " + std::strerror(EFBIG) + "\n"},
  };
  for (const auto& c : cases) {
    const RunResult run =
        Run({"--batch", "-o", c.output, "--url", "http://www.example.com/cgi-bin/quillo/quillopro.exe",
             "--to", "sales@example.com, info@example.com", "--success", "thanks.htm", "--error", "sorry.htm",
             "--address", "--misc", "--comments", "--sample-fields"},
            c.shell_setup);
    EXPECT_EQ(run.status, 1) << c.output;
    EXPECT_EQ(run.err, c.err);
    EXPECT_FALSE(fs::exists(Output())) << c.output;
  }
  EXPECT_EQ(ReadFile(dir_ / "plain.txt"), "a file, not a folder");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

const char kUsage[] =
    "Usage: quillogen [--screenshot-dir DIR]    open the form wizard\n"
    "       quillogen --batch -o FILE --url TEXT --to TEXT\n"
    "                 --success NAME --error NAME [OPTION]...\n"
    "                                           write the HTML form without a window\n"
    "       quillogen --help                    show this list\n"
    "       quillogen --version                 show the version\n"
    "\n"
    "Window:\n"
    "  --screenshot-dir DIR      save a picture of every page to DIR and quit\n"
    "\n"
    "Batch mode (the wizard's pages; every entry is checked as its page does;\n"
    "options marked * are required):\n"
    "  -o FILE                 * the form file to create or replace\n"
    "  --url TEXT              * page 1: address of quillopro.exe on the web server\n"
    "  --to TEXT               * page 2: recipients, separated by commas\n"
    "  --server TEXT             page 2: optional external mail server\n"
    "  --subject TEXT            page 3: subject, may hold ##FIELD## placeholders\n"
    "  --priority TEXT           page 3: mail priority (default Normal; High marks\n"
    "                            the mail)\n"
    "  --strip-empty             page 3: leave empty user fields out of the mail\n"
    "  --env-report              page 3: include the environment report\n"
    "  --format html|text        page 4: built-in mail format (default html)\n"
    "  --template NAME           page 4: use the mail template file NAME instead;\n"
    "                            excludes --format\n"
    "  --success NAME          * page 5: success document\n"
    "  --error NAME            * page 5: error document\n"
    "  --required NAME           page 5: required-field document\n"
    "  --no-email                page 6: leave out the Email field\n"
    "  --email-verify            page 6: check the Email field's address\n"
    "  --no-email-from           page 6: do not use the Email field as the sender\n"
    "  --address                 page 6: add the address form\n"
    "  --misc                    page 6: add the misc customer information\n"
    "  --comments                page 6: add the comments box\n"
    "  --sample-fields           page 6: add the sample input fields\n"
    "\n"
    "Batch mode only (the form carries these, the pages have no place for them):\n"
    "  --bademail NAME           document shown for an e-mail address that fails\n"
    "                            the check\n"
    "  --respond-template NAME   template of the automatic reply to the visitor\n"
    "  --respond-subject TEXT    subject of the automatic reply\n"
    "  --respond-from ADDRESS    sender of the automatic reply\n"
    "  --charset utf-8           write the form in UTF-8 instead of cp1252\n"
    "  --settings FILE           also write the settings of quillopro.exe, to go\n"
    "                            next to it as quillopro.ini; the form then names\n"
    "                            its recipients by an alias defined there\n"
    "  --captcha KIND            add a spam check the program verifies: altcha\n"
    "                            (its own challenge; put the widget's altcha.js\n"
    "                            next to the form), turnstile, hcaptcha or\n"
    "                            recaptcha; --settings writes its [captcha]\n"
    "  --captcha-site-key KEY    the provider's site key for the widget\n"
    "  --uploads                 take files: a file input, and --settings writes\n"
    "                            [uploads]\n"
    "  --style classic|html5     the page: as the window writes it (classic), or\n"
    "                            an HTML5 page in UTF-8, accessible and for phones;\n"
    "                            with --settings it also gets a honeypot field and\n"
    "                            posts by script for JSON answers\n"
    "\n"
    "Texts are read as UTF-8 and written to the form in cp1252 (unchanged with\n"
    "--charset utf-8).\n"
    "Exit status: 0 written, 1 a file cannot be written, 2 an entry or option\n"
    "refused (all of them are named).\n";

// Help and version wherever they stand; a command line that is wrong for the
// mode it asks for is named, every fault at once, and never opens a window
// (the platform name given would abort it with 134).
TEST_F(BatchMode, HelpVersionAndWrongCommandLinesNeedNoWindow) {
  const std::vector<std::string> good = {"--url",     "/quillopro.exe", "--to",    "a@example.com",
                                         "--success", "s.htm",          "--error", "e.htm"};
  const std::string version = "quillogen (Tessik Quillo!PRO Form Wizard) 4.0.0.0\n";
  const std::string try_help = "Try 'quillogen --help'.\n";
  const struct {
    std::vector<std::string> args;
    bool with_good_batch_entries;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--help"}, false, 0, kUsage, ""},
      {{"-h"}, false, 0, kUsage, ""},
      {{"--help"}, true, 0, kUsage, ""},
      {{"--colour", "--help", "--version"}, false, 0, kUsage, ""},
      {{"--version"}, false, 0, version, ""},
      {{"--version"}, true, 0, version, ""},
      {{"--to", "a@example.com", "--version", "--help"}, false, 0, version, ""},
      // A value is a value, even one that looks like an option.
      {{"--subject", "--help"}, false, 2, "", "quillogen: --subject works only with --batch\n" + try_help},
      {{"--colour"}, false, 2, "", "quillogen: unknown option --colour\n" + try_help},
      {{"form.htm"}, false, 2, "", "quillogen: unexpected argument form.htm\n" + try_help},
      {{"-o", "form.htm", "--comments", "--colour=red"},
       false,
       2,
       "",
       "quillogen: -o works only with --batch\nquillogen: --comments works only with --batch\n"
       "quillogen: unknown option --colour=red\n" +
           try_help},
      {{"--screenshot-dir"}, false, 2, "", "quillogen: --screenshot-dir needs a value\n" + try_help},
      {{"--batch=yes"}, false, 2, "", "quillogen: --batch takes no value\n" + try_help},
      {{"--screenshot-dir", "shots", "--colour"},
       true,
       2,
       "",
       "quillogen: --screenshot-dir works only without --batch\nquillogen: unknown option --colour\n" +
           try_help},
      {{"--strip-empty=yes", "--to"},
       true,
       2,
       "",
       "quillogen: --strip-empty takes no value\nquillogen: --to needs a value\n" + try_help},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args;
    if (c.with_good_batch_entries) {
      args = {"--batch", "-o", Output()};
      args.insert(args.end(), good.begin(), good.end());
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = Run(args);
    EXPECT_EQ(run.status, c.status) << c.args[0];
    EXPECT_EQ(run.out, c.out) << c.args[0];
    EXPECT_EQ(run.err, c.err) << c.args[0];
    EXPECT_FALSE(fs::exists(Output())) << c.args[0];
  }
}

// The arguments that are right for the window reach it, in either form of
// the option; the window itself is not started here.
TEST(CommandLine, TheWindowGetsItsOptions) {
  const struct {
    std::vector<std::string> args;
    std::string screenshot_dir;
  } cases[] = {
      {{}, ""},
      {{"--screenshot-dir", "shots"}, "shots"},
      {{"--screenshot-dir=build/shots"}, "build/shots"},
      {{"--screenshot-dir", "--help"}, "--help"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    quillogen::WindowOptions window;
    EXPECT_EQ(quillogen::RunCommandLine(c.args, out, err, window), quillogen::kOpenWindow)
        << c.screenshot_dir;
    EXPECT_EQ(window.screenshot_dir, c.screenshot_dir);
    EXPECT_EQ(out.str() + err.str(), "");
  }
}

TEST_F(BatchMode, HelpListsEveryOption) {
  const RunResult run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* option :
       {"--batch",           "-o FILE",          "--url",         "--to",         "--server",
        "--subject",         "--priority",       "--strip-empty", "--env-report", "--format",
        "--template",        "--success",        "--error",       "--required",   "--no-email",
        "--email-verify",    "--no-email-from",  "--address",     "--misc",       "--comments",
        "--sample-fields",   "--screenshot-dir", "--version",     "--bademail",   "--respond-template",
        "--respond-subject", "--respond-from",   "--charset",     "--settings"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
