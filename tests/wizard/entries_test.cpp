// The checks behind the Next buttons, the text helpers they use, and the
// resource tables the pages are built from.
#include "entries.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "page_controls.h"
#include "resource_tables.h"
#include "text.h"

namespace quillogen {
namespace {

TEST(StoreInstallation, AcceptsAnyAddressThatNamesTheProgram) {
  for (const char* url :
       {"http://www.example.com/cgi-bin/quillo/quillopro.exe", "/scripts/quillo/quillopro.exe",
        "/scripts/quillo/QuilloPro.EXE", "/scripts/quillo/quillopro.exe.bak"}) {
    WizardSettings s;
    EXPECT_EQ(StoreInstallation(url, s), kAccepted) << url;
    EXPECT_EQ(s.program_url, url);
  }
}

TEST(StoreInstallation, TrimsBeforeCheckingAndKeepsTheCase) {
  WizardSettings s;
  EXPECT_EQ(StoreInstallation(" \t/Scripts/QuilloPro.exe\r\n ", s), kAccepted);
  EXPECT_EQ(s.program_url, "/Scripts/QuilloPro.exe");
}

TEST(StoreInstallation, RefusesEmptyAddressesAndOtherPrograms) {
  for (const char* url : {"", "   ", "/cgi-bin/formmail.exe", "/scripts/quillo/quillopro"}) {
    WizardSettings s;
    EXPECT_EQ(StoreInstallation(url, s), Entry::kUrl) << url;
  }
}

TEST(StoreBasicSettings, RecipientsOfBlanksAreRefusedAndTheServerIsOptional) {
  WizardSettings s;
  EXPECT_EQ(StoreBasicSettings("  \t ", "", s), Entry::kRecipients);
  EXPECT_EQ(s.recipients, "");
  EXPECT_EQ(StoreBasicSettings(" a@example.com, b@example.com ", " mail.example.com\t", s), kAccepted);
  EXPECT_EQ(s.recipients, "a@example.com, b@example.com");
  EXPECT_EQ(s.mail_server, "mail.example.com");
}

TEST(StoreOptionalSettings, UpperCasesThePriorityAndKeepsTheSubjectAsTyped) {
  WizardSettings s;
  EXPECT_EQ(StoreOptionalSettings({" Order ##Product## ", "Urgent now", true, false}, s), kAccepted);
  EXPECT_EQ(s.subject, " Order ##Product## ");
  EXPECT_EQ(s.priority, "URGENT NOW");
  EXPECT_TRUE(s.strip_empty_fields);
  EXPECT_FALSE(s.environment_report);
}

TEST(StoreMailFormat, BuiltInFormatsClearTheTemplate) {
  WizardSettings s;
  s.template_file = "old.txt";
  EXPECT_EQ(StoreMailFormat({true, false, false, "ignored.txt"}, s), kAccepted);
  EXPECT_EQ(s.mail_format, "HTML");
  EXPECT_EQ(s.template_file, "");
  EXPECT_EQ(StoreMailFormat({false, true, false, ""}, s), kAccepted);
  EXPECT_EQ(s.mail_format, "TEXT");
}

TEST(StoreMailFormat, TemplateNamesMustBePlainFileNames) {
  const struct {
    const char* name;
    Refusal result;
  } cases[] = {{"email.txt", kAccepted},
               {"my template.txt", kAccepted},
               {"", Entry::kTemplateName},
               {"dir/email.txt", Entry::kTemplateName},
               {"dir\\email.txt", Entry::kTemplateName},
               {"C:email.txt", Entry::kTemplateName},
               {"a|b.txt", Entry::kTemplateName}};
  for (const auto& c : cases) {
    WizardSettings s;
    s.mail_format = "HTML";
    EXPECT_EQ(StoreMailFormat({false, false, true, c.name}, s), c.result) << c.name;
    // A refused name stays stored until the next Next, as the page leaves it.
    EXPECT_EQ(s.mail_format, "");
    EXPECT_EQ(s.template_file, c.name);
  }
}

TEST(StoreResultDocuments, ChecksSuccessFirstThenErrorAndNeverRequired) {
  WizardSettings s;
  EXPECT_EQ(StoreResultDocuments({"", "bad/error.htm", ""}, s), Entry::kSuccessDocument);
  EXPECT_EQ(StoreResultDocuments({"ok.htm", "bad/error.htm", ""}, s), Entry::kErrorDocument);
  EXPECT_EQ(StoreResultDocuments({"ok.htm", "", ""}, s), Entry::kErrorDocument);
  EXPECT_EQ(StoreResultDocuments({"ok.htm", "error.htm", "sub/required.htm"}, s), kAccepted);
  EXPECT_EQ(s.success_document, "ok.htm");
  EXPECT_EQ(s.error_document, "error.htm");
  EXPECT_EQ(s.required_document, "sub/required.htm");
}

TEST(Utf8ToLatin1, ConvertsWhatFitsAndMarksWhatDoesNot) {
  EXPECT_EQ(Utf8ToLatin1("Gr\xC3\xB6\xC3\x9F"
                         "e"),
            "Gr\xF6\xDF"
            "e");
  EXPECT_EQ(Utf8ToLatin1("5 \xE2\x82\xAC"), "5 ?");
  EXPECT_EQ(Utf8ToLatin1("already \xF6"), "already \xF6");
  EXPECT_EQ(Utf8ToLatin1("cut \xC3"), "cut \xC3");
}

TEST(ResourceTables, ParsesControlsWithEscapesAndRejectsMalformedLines) {
  const auto dialogs = ParseDialogTemplates(
      "# comment\n"
      "dialog 200 100 50\n"
      "1 - static 1 2 3 4 \"a \\\"b\\\"\\nc\\\\\"\n"
      "2 1006 combo 5 6 7 8 \"Normal|High\"\n");
  ASSERT_EQ(dialogs.count(200), 1u);
  const DialogTemplate& d = dialogs.at(200);
  EXPECT_EQ(d.width, 100);
  ASSERT_EQ(d.controls.size(), 2u);
  EXPECT_EQ(d.controls[0].id, kNoId);
  EXPECT_EQ(d.controls[0].text, "a \"b\"\nc\\");
  EXPECT_EQ(d.controls[1].kind, ControlKind::kCombo);
  EXPECT_EQ(SplitItems(d.controls[1].text), (std::vector<std::string>{"Normal", "High"}));
  EXPECT_THROW(ParseDialogTemplates("dialog 1 2 3\n2 - static 1 2 3 4 \"x\"\n"), ResourceError);
  EXPECT_THROW(ParseDialogTemplates("dialog 1 2 3\n1 - knob 1 2 3 4 \"x\"\n"), ResourceError);
  EXPECT_THROW(ParseDialogTemplates("dialog 1 2 3\n1 - static 1 2 3 \"x\"\n"), ResourceError);
  EXPECT_THROW(ParseStringTable("1 \"open\n"), ResourceError);
}

// The dialog manager's arithmetic, with the base units of the 8-point
// dialog font on a 96-dpi screen (6 x 13).
TEST(DialogUnits, ScaleByQuarterWidthsAndEighthHeightsRoundedToNearest) {
  const PixelRect page = DialogUnitsToPixels({5, 15, 397, 206}, {6, 13});
  EXPECT_EQ(page.x, 8);                 // 7.5
  EXPECT_EQ(page.y, 24);                // 24.375
  EXPECT_EQ(page.width, 596);           // 595.5
  EXPECT_EQ(page.height, 335);          // 334.75
  EXPECT_EQ(AverageCharWidth(286), 6);  // 11 pixels per pair of letters: 5.5 rounds up
  EXPECT_EQ(AverageCharWidth(260), 5);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The shipped tables: every page the pages expect, at the page size, with
// the control kinds their handlers rely on.
TEST(ShippedResources, EveryPageHasItsControlsWithTheRightKinds) {
  const auto dialogs = ParseDialogTemplates(ReadFile(QUILLOGEN_RES_DIR "/dialogs.txt"));
  const std::map<int, std::vector<std::pair<int, ControlKind>>> expected = {
      {107, {{control::kProgramUrl, ControlKind::kEdit}}},
      {108, {{control::kRecipients, ControlKind::kEdit}, {control::kMailServer, ControlKind::kEdit}}},
      {109,
       {{control::kSubject, ControlKind::kEdit},
        {control::kStripEmpty, ControlKind::kCheck},
        {control::kEnvironmentReport, ControlKind::kCheck},
        {control::kPriority, ControlKind::kCombo}}},
      {110,
       {{control::kTemplateFile, ControlKind::kEdit},
        {control::kUseTemplate, ControlKind::kCheck},
        {control::kTemplateFormat, ControlKind::kButton},
        {control::kHtmlFormat, ControlKind::kCheck},
        {control::kTextFormat, ControlKind::kCheck}}},
      {111,
       {{control::kSuccessDocument, ControlKind::kEdit},
        {control::kErrorDocument, ControlKind::kEdit},
        {control::kRequiredDocument, ControlKind::kEdit}}},
      {112,
       {{control::kEmail, ControlKind::kCheck},
        {control::kEmailVerify, ControlKind::kCheck},
        {control::kEmailFrom, ControlKind::kCheck},
        {control::kAddress, ControlKind::kCheck},
        {control::kMisc, ControlKind::kCheck},
        {control::kComments, ControlKind::kCheck},
        {control::kSampleFields, ControlKind::kCheck}}},
  };
  ASSERT_EQ(dialogs.size(), expected.size());
  for (const auto& [dialog_id, controls] : expected) {
    const DialogTemplate& dialog = dialogs.at(dialog_id);
    EXPECT_EQ(dialog.width, 397);
    EXPECT_EQ(dialog.height, 206);
    for (const auto& [id, kind] : controls) {
      int found = 0;
      for (const ControlTemplate& c : dialog.controls) {
        if (c.id == id && c.kind == kind) ++found;
      }
      EXPECT_EQ(found, 1) << "dialog " << dialog_id << " control " << id;
    }
  }
  const auto strings = ParseStringTable(ReadFile(QUILLOGEN_RES_DIR "/strings.txt"));
  EXPECT_EQ(strings.size(), 13u);
  EXPECT_EQ(strings.at(1), "Tessik Quillo!Pro v4 Form Wizard");
}

}  // namespace
}  // namespace quillogen
