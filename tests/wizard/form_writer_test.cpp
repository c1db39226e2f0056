// The form file, byte for byte: every test compares the whole file.
#include "form_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "entries.h"
#include "expected_forms.h"

namespace quillogen {
namespace {

namespace fs = std::filesystem;

using quillogen_test::AllSections;
using quillogen_test::CrLfLines;
using quillogen_test::DefaultsForm;
using quillogen_test::FormHead;
using quillogen_test::FormTail;
using quillogen_test::Hidden;

const char kUrl[] = "/scripts/quillo/quillopro.exe";

// What the pages store when only the required entries are made.
WizardSettings DefaultSettings() {
  WizardSettings s;
  s.program_url = kUrl;
  s.recipients = "webmaster@example.com";
  s.priority = "NORMAL";
  s.mail_format = "HTML";
  s.success_document = "success.htm";
  s.error_document = "error.htm";
  return s;
}

// The default form with `hidden_lines` in place of the four hidden fields.
std::string FormWithHidden(std::initializer_list<std::string> hidden_lines) {
  return FormHead(kUrl) + CrLfLines(hidden_lines) +
         CrLfLines({"<br><br><h2>Email</h2>",
                    "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_F_Email\" value=\"\">(from)",
                    "<br>", "<br>", "<br>", "<br>", "<br>"}) +
         FormTail();
}

// The default hidden fields followed by `extra`.
std::string FormWithExtraHidden(const std::string& extra) {
  return FormWithHidden({Hidden("QUILLO_TO", "webmaster@example.com"),
                         Hidden("QUILLO_SUCCESS", "success.htm"), Hidden("QUILLO_ERROR", "error.htm"),
                         Hidden("QUILLO_FORMAT", "HTML") + extra});
}

// The default hidden fields followed by the given visible part.
std::string FormWithSections(const std::string& sections) {
  return FormHead(kUrl) +
         CrLfLines({Hidden("QUILLO_TO", "webmaster@example.com"), Hidden("QUILLO_SUCCESS", "success.htm"),
                    Hidden("QUILLO_ERROR", "error.htm"), Hidden("QUILLO_FORMAT", "HTML")}) +
         sections + FormTail();
}

TEST(RenderHtmlForm, DefaultsWriteOnlyTheRequiredHiddenFieldsAndTheSenderField) {
  EXPECT_EQ(RenderHtmlForm(DefaultSettings(), FormSections{}),
            DefaultsForm(kUrl, "webmaster@example.com", "success.htm", "error.htm"));
}

TEST(RenderHtmlForm, EveryOptionAndEverySection) {
  WizardSettings s;
  s.program_url = "http://www.example.com/cgi-bin/quillo/quillopro.exe";
  s.recipients = "sales@example.com, info@example.com";
  s.mail_server = "mail.example.com";
  s.template_file = "email.txt";
  s.subject = "Order for ##Product##";
  s.required_document = "missing.htm";
  s.priority = "HIGH";
  s.environment_report = true;
  s.strip_empty_fields = true;
  s.success_document = "thanks.htm";
  s.error_document = "sorry.htm";
  const FormSections all{true, true, true, true, true, true, true};
  EXPECT_EQ(RenderHtmlForm(s, all), quillogen_test::EverythingForm());
}

TEST(RenderHtmlForm, TextFormatWritesTheFormatAndNoTemplate) {
  WizardSettings s = DefaultSettings();
  s.mail_format = "TEXT";
  EXPECT_EQ(
      RenderHtmlForm(s, FormSections{}),
      FormWithHidden({Hidden("QUILLO_TO", "webmaster@example.com"), Hidden("QUILLO_SUCCESS", "success.htm"),
                      Hidden("QUILLO_ERROR", "error.htm"), Hidden("QUILLO_FORMAT", "TEXT")}));
}

TEST(RenderHtmlForm, TemplateModeWritesTheTemplateAndNoFormat) {
  WizardSettings s = DefaultSettings();
  ASSERT_EQ(StoreMailFormat({false, false, true, "email.txt"}, s), kAccepted);
  EXPECT_EQ(
      RenderHtmlForm(s, FormSections{}),
      FormWithHidden({Hidden("QUILLO_TO", "webmaster@example.com"), Hidden("QUILLO_SUCCESS", "success.htm"),
                      Hidden("QUILLO_ERROR", "error.htm"), Hidden("QUILLO_TEMPLATE", "email.txt")}));
}

// Page 3 upper-cases what was typed; only exactly "HIGH" is written.
TEST(RenderHtmlForm, PriorityIsWrittenOnlyWhenHigh) {
  const std::string high = "\r\n" + Hidden("QUILLO_PRIORITY", "HIGH");
  const struct {
    const char* typed;
    std::string extra;
  } cases[] = {{"high", high}, {"High", high}, {"Normal", ""}, {"High ", ""}, {"urgent", ""}};
  for (const auto& c : cases) {
    WizardSettings s = DefaultSettings();
    StoreOptionalSettings({"", c.typed, false, false}, s);
    EXPECT_EQ(RenderHtmlForm(s, FormSections{}), FormWithExtraHidden(c.extra)) << "typed: " << c.typed;
  }
}

TEST(RenderHtmlForm, EnvironmentReportAndEmptyFieldStrippingAreIndependent) {
  const std::string env = "\r\n" + Hidden("QUILLO_ENVREPORT", "ON");
  const std::string strip = "\r\n" + Hidden("QUILLO_NOEMPTYFIELDS", "ON");
  const struct {
    bool env;
    bool strip;
    std::string extra;
  } cases[] = {{true, false, env}, {false, true, strip}, {true, true, env + strip}};
  for (const auto& c : cases) {
    WizardSettings s = DefaultSettings();
    s.environment_report = c.env;
    s.strip_empty_fields = c.strip;
    EXPECT_EQ(RenderHtmlForm(s, FormSections{}), FormWithExtraHidden(c.extra)) << c.env << c.strip;
  }
}

TEST(RenderHtmlForm, EmailFieldNameFollowsTheVerifyAndSenderBoxes) {
  const struct {
    bool verify;
    bool from;
    const char* line;
  } cases[] = {
      {true, true,
       "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_FE_Email\" value=\"\">(from,verify)"},
      {true, false, "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_E_Email\" value=\"\">(verify)"},
      {false, true, "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_F_Email\" value=\"\">(from)"},
      {false, false, "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"Email\" value=\"\">"},
  };
  for (const auto& c : cases) {
    FormSections sections;
    sections.email_verify = c.verify;
    sections.email_from = c.from;
    EXPECT_EQ(RenderHtmlForm(DefaultSettings(), sections),
              FormWithSections(
                  CrLfLines({"<br><br><h2>Email</h2>", c.line, "<br>", "<br>", "<br>", "<br>", "<br>"})))
        << c.verify << c.from;
  }
}

// Without any section the hidden fields go straight into the five breaks,
// whatever the two e-mail options hold.
TEST(RenderHtmlForm, NoSectionsLeaveOnlyTheFiveBreaks) {
  FormSections none{false, true, true, false, false, false, false};
  EXPECT_EQ(RenderHtmlForm(DefaultSettings(), none),
            FormWithSections(CrLfLines({"<br>", "<br>", "<br>", "<br>", "<br>"})));
}

TEST(RenderHtmlForm, EachSectionAloneKeepsAllFiveBreaks) {
  FormSections comments_only{false, false, false, false, false, true, false};
  EXPECT_EQ(RenderHtmlForm(DefaultSettings(), comments_only),
            FormWithSections(
                CrLfLines({"<br>", "<br>", "<br>", "<br><br><h2>Comments</h2>",
                           "<br>Comments:<br><textarea name=\"Comments\" rows=\"5\" cols=\"20\"></textarea>",
                           "<br>", "<br>"})));
}

// A double quote in a value used to end the attribute early, so the browser
// submitted a cut-off subject; every inserted value is escaped now.
TEST(RenderHtmlForm, ValuesAreEscapedSoTheBrowserSubmitsThemWhole) {
  WizardSettings s = DefaultSettings();
  s.program_url = "/scripts/quillo/quillopro.exe?a=1&b=<2>";
  s.subject = "Order \"Deluxe\" & <more>";
  s.recipients = "\"Sales\" <sales@example.com>";
  s.mail_server = "mail\".example.com";
  s.required_document = "a&b.htm";
  s.success_document = "ok\".htm";
  s.error_document = "err<>.htm";
  s.mail_format.clear();
  s.template_file = "t&t.txt";
  EXPECT_EQ(
      RenderHtmlForm(s, FormSections{}),
      FormHead("/scripts/quillo/quillopro.exe?a=1&amp;b=&lt;2&gt;") +
          CrLfLines({Hidden("QUILLO_SERVER", "mail&quot;.example.com"),
                     Hidden("QUILLO_TO", "&quot;Sales&quot; &lt;sales@example.com&gt;"),
                     Hidden("QUILLO_SUCCESS", "ok&quot;.htm"), Hidden("QUILLO_ERROR", "err&lt;&gt;.htm"),
                     Hidden("QUILLO_TEMPLATE", "t&amp;t.txt"),
                     Hidden("QUILLO_SUBJECT", "Order &quot;Deluxe&quot; &amp; &lt;more&gt;"),
                     Hidden("QUILLO_REQUIRED", "a&amp;b.htm"), "<br><br><h2>Email</h2>",
                     "<br>Email:<br> <input type=\"text\" size=\"35\" name=\"_F_Email\" value=\"\">(from)",
                     "<br>", "<br>", "<br>", "<br>", "<br>"}) +
          FormTail());
}

// Bytes beyond ASCII go in as they are held, in cp1252, and the page keeps
// declaring iso-8859-1: browsers take that label for cp1252, so they show
// 0x80 as the euro sign and send it back as 0x80.
TEST(RenderHtmlForm, EightBitValuesAreKeptByteForByteUnderTheDeclaredCharset) {
  const char* const subjects[] = {
      "Bestellung Gr\xF6\xDF"
      "e",
      "5 \x80, \x93"
      "Deluxe\x94 \x91now\x92",
      "a \x96 b \x97 c\x85 Quillo\x99",
  };
  for (const char* subject : subjects) {
    WizardSettings s = DefaultSettings();
    s.subject = subject;
    EXPECT_EQ(RenderHtmlForm(s, FormSections{}),
              FormWithExtraHidden("\r\n" + Hidden("QUILLO_SUBJECT", subject)))
        << subject;
  }
}

// What a folder holds, by name, in order.
std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Lowers the process's file-size limit for the scope, so that a write is cut
// short as on a nearly full disk, even for root. The signal that would end
// the process is ignored; the write fails with EFBIG instead.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*saved_handler_)(int) = SIG_DFL;
};

constexpr long kNoLimit = -1;

// A failed write reports the system's reason and leaves no file behind; a
// file that was written whole holds exactly the bytes.
TEST(WriteFormFile, ReportsWhyAndLeavesNoCutOffFile) {
  const fs::path dir = fs::temp_directory_path() / ("quillogen-write-" + std::to_string(::getpid()));
  const std::string form =
      RenderHtmlForm(DefaultSettings(), FormSections{true, true, true, true, true, true, true});
  ASSERT_GT(form.size(), 2048u);  // more than the limit of the cut-short cases
  const struct {
    const char* what;
    std::string path;  // relative to `dir` unless absolute
    long size_limit;
    bool needs_permissions;  // root writes into read-only folders
    WriteFailure failure;
    std::vector<std::string> listing;  // of `dir` afterwards
  } cases[] = {
      {"written whole", "form.htm", kNoLimit, false, std::nullopt, {"form.htm", "plain.txt", "read-only"}},
      {"an existing file replaced", "plain.txt", kNoLimit, false, std::nullopt, {"plain.txt", "read-only"}},
      {"a folder that does not exist",
       "missing/form.htm",
       kNoLimit,
       false,
       std::strerror(ENOENT),
       {"plain.txt", "read-only"}},
      {"a folder that is a file",
       "plain.txt/form.htm",
       kNoLimit,
       false,
       std::strerror(ENOTDIR),
       {"plain.txt", "read-only"}},
      {"a folder without write permission",
       "read-only/form.htm",
       kNoLimit,
       true,
       std::strerror(EACCES),
       {"plain.txt", "read-only"}},
      {"a full device", "/dev/full", kNoLimit, false, std::strerror(ENOSPC), {"plain.txt", "read-only"}},
      {"no room at all: an empty file",
       "form.htm",
       0,
       false,
       std::strerror(EFBIG),
       {"plain.txt", "read-only"}},
      {"room for part of the form",
       "form.htm",
       1024,
       false,
       std::strerror(EFBIG),
       {"plain.txt", "read-only"}},
      {"an existing file cut short", "plain.txt", 1024, false, std::strerror(EFBIG), {"read-only"}},
  };
  for (const auto& c : cases) {
    if (c.needs_permissions && ::geteuid() == 0) continue;
    fs::remove_all(dir);
    fs::create_directories(dir / "read-only");
    fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
    std::ofstream(dir / "plain.txt") << "an older file";
    const fs::path path = fs::path(c.path).is_absolute() ? fs::path(c.path) : dir / c.path;
    WriteFailure failure;
    if (c.size_limit == kNoLimit) {
      failure = WriteFormFile(path.string(), form);
    } else {
      FileSizeLimit limit(static_cast<rlim_t>(c.size_limit));
      failure = WriteFormFile(path.string(), form);
    }
    EXPECT_EQ(failure, c.failure) << c.what;
    EXPECT_EQ(Listing(dir), c.listing) << c.what;
    if (!c.failure) {
      EXPECT_EQ(ReadFile(path), form) << c.what;
    }
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  fs::permissions(dir / "read-only", fs::perms::owner_all);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace quillogen
