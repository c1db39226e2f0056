// The form file, byte for byte: every test compares the whole file.
#include "form_writer.h"

#include <gtest/gtest.h>

#include "entries.h"
#include "expected_forms.h"

namespace quillogen {
namespace {

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

TEST(WriteFormFile, RefusesAPathThatCannotBeCreated) {
  EXPECT_FALSE(WriteFormFile("/nonexistent-folder/form.htm", "x"));
}

}  // namespace
}  // namespace quillogen
