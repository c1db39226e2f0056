// The checks behind the Next buttons, the text helpers they use, the
// resource tables the pages are built from, and the search for the files
// that Help and the page 4 button open.
#include "entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "page_controls.h"
#include "resource_tables.h"
#include "shipped_files.h"
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

TEST(RefusedDocuments, NamesEveryRefusedDocumentSuccessFirst) {
  const struct {
    DocumentEntries entries;
    std::vector<Entry> refused;
  } cases[] = {
      {{"", "bad/error.htm", ""}, {Entry::kSuccessDocument, Entry::kErrorDocument}},
      {{"ok.htm", "", "sub/required.htm"}, {Entry::kErrorDocument}},
      {{"a:b.htm", "error.htm", ""}, {Entry::kSuccessDocument}},
      {{"ok.htm", "error.htm", ""}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(RefusedDocuments(c.entries), c.refused) << c.entries.success;
}

// Every character that cp1252 has in place of iso-8859-1's control codes,
// in UTF-8 and as the byte cp1252 gives it.
constexpr char kCp1252HighUtf8[] =
    "\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D"
    "\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178";
constexpr char kCp1252HighBytes[] =
    "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E"
    "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F";

TEST(Utf8ToCp1252, ConvertsWhatFitsAndMarksWhatDoesNot) {
  const struct {
    const char* utf8;
    const char* cp1252;
  } cases[] = {
      {"plain ASCII <&>", "plain ASCII <&>"},
      {"Gr\u00F6\u00DF"
       "e \u00A0\u00FF",
       "Gr\xF6\xDF"
       "e \xA0\xFF"},
      {"5 \u20AC", "5 \x80"},
      {"\u201CDeluxe\u201D \u2018now\u2019",
       "\x93"
       "Deluxe\x94 \x91now\x92"},
      {"a \u2013 b \u2014 c", "a \x96 b \x97 c"},
      {"wait\u2026 Quillo\u2122", "wait\x85 Quillo\x99"},
      {kCp1252HighUtf8, kCp1252HighBytes},
      // Beyond cp1252: other scripts, signs, and the control codes that
      // cp1252 does not keep at 0x80 to 0x9F.
      {"\u03A9 \u6F22 \U0001F600 \u2212", "? ? ? ?"},
      {"\xC2\x80 \xC2\x81 \xC2\x9F", "? ? ?"},
      // Not UTF-8: kept byte for byte, so cp1252 text passes unchanged.
      {"already \xF6 \x80", "already \xF6 \x80"},
      {"cut \xC3", "cut \xC3"},
      {"overlong \xC0\xAF \xE0\x82\xAC \xF0\x82\x82\xAC", "overlong \xC0\xAF \xE0\x82\xAC \xF0\x82\x82\xAC"},
      {"surrogate \xED\xA0\x80", "surrogate \xED\xA0\x80"},
      {"beyond \xF4\x90\x80\x80", "beyond \xF4\x90\x80\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
}

// Folder by folder, current, program's, documentation; within a folder the
// compiled manual before the HTML one. The first that exists is opened;
// without one, the message names every folder searched.
TEST(ShippedFiles, AreLookedForFolderByFolderAndNamedWhenMissing) {
  const SearchFolders usual{"/home/ann/forms", "/opt/quillo/bin", "/usr/share/doc/quillo"};
  const struct {
    const char* what;
    ShippedFile file;
    SearchFolders folders;
    std::vector<std::string> existing;
    std::vector<std::string> candidates;  // every path in order; not checked where empty
    std::string found;                    // the path opened, or the message
  } cases[] = {
      {"manual nowhere",
       Manual(),
       usual,
       {},
       {"/home/ann/forms/manual-en-us.chm", "/home/ann/forms/manual-en-us.html",
        "/opt/quillo/bin/manual-en-us.chm", "/opt/quillo/bin/manual-en-us.html",
        "/usr/share/doc/quillo/manual-en-us.chm", "/usr/share/doc/quillo/manual-en-us.html"},
       "Cannot find manual-en-us.html: looked in /home/ann/forms, /opt/quillo/bin, /usr/share/doc/quillo"},
      {"installed HTML manual",
       Manual(),
       usual,
       {"/usr/share/doc/quillo/manual-en-us.html"},
       {},
       "/usr/share/doc/quillo/manual-en-us.html"},
      {"an earlier folder wins over a compiled manual",
       Manual(),
       usual,
       {"/opt/quillo/bin/manual-en-us.html", "/usr/share/doc/quillo/manual-en-us.chm"},
       {},
       "/opt/quillo/bin/manual-en-us.html"},
      {"the compiled manual first within a folder",
       Manual(),
       usual,
       {"/home/ann/forms/manual-en-us.html", "/home/ann/forms/manual-en-us.chm"},
       {},
       "/home/ann/forms/manual-en-us.chm"},
      {"template nowhere",
       SampleTemplate(),
       usual,
       {"/home/ann/forms/sample.template", "/usr/share/doc/quillo/tools/wiz/sample.template"},
       {"/home/ann/forms/tools/wiz/sample.template", "/opt/quillo/bin/tools/wiz/sample.template",
        "/usr/share/doc/quillo/sample.template"},
       "Cannot find sample.template: looked in /home/ann/forms/tools/wiz, /opt/quillo/bin/tools/wiz, "
       "/usr/share/doc/quillo"},
      {"template next to the program",
       SampleTemplate(),
       usual,
       {"/opt/quillo/bin/tools/wiz/sample.template", "/usr/share/doc/quillo/sample.template"},
       {},
       "/opt/quillo/bin/tools/wiz/sample.template"},
      {"template installed",
       SampleTemplate(),
       usual,
       {"/usr/share/doc/quillo/sample.template"},
       {},
       "/usr/share/doc/quillo/sample.template"},
      {"started in the program's folder, without a documentation folder",
       SampleTemplate(),
       {"/opt/quillo/bin/", "/opt/quillo/bin", ""},
       {},
       {"/opt/quillo/bin/tools/wiz/sample.template"},
       "Cannot find sample.template: looked in /opt/quillo/bin/tools/wiz"},
      {"a folder of the wizard's home platform",
       Manual(),
       {"C:\\Forms\\", "C:\\Program Files\\Quillo", ""},
       {},
       {"C:\\Forms\\manual-en-us.chm", "C:\\Forms\\manual-en-us.html",
        "C:\\Program Files\\Quillo/manual-en-us.chm", "C:\\Program Files\\Quillo/manual-en-us.html"},
       "Cannot find manual-en-us.html: looked in C:\\Forms\\, C:\\Program Files\\Quillo"},
  };
  for (const auto& c : cases) {
    const auto exists = [&c](const std::string& path) {
      return std::find(c.existing.begin(), c.existing.end(), path) != c.existing.end();
    };
    const std::string found = FindShippedFile(c.file, c.folders, exists);
    EXPECT_EQ(found.empty() ? NotFoundText(c.file, c.folders) : found, c.found) << c.what;
    if (!c.candidates.empty()) {
      EXPECT_EQ(CandidatePaths(c.file, c.folders), c.candidates) << c.what;
    }
  }
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
