#include "request/field_checks.h"

#include <gtest/gtest.h>

namespace quillo {
namespace {

FormRequest WithFields(std::vector<std::pair<std::string, std::string>> fields) {
  FormRequest r;
  r.settings.required_doc = "/req.htm";
  r.settings.bad_email_doc = "/bad.htm";
  for (auto& [name, value] : fields) {
    r.field_names.push_back(name);
    r.field_values.push_back(value);
  }
  return r;
}

TEST(EmailSyntax, NeedsAnAtNotFirstAndADotBehindIt) {
  EXPECT_TRUE(PassesEmailSyntax("a@b.c"));
  EXPECT_TRUE(PassesEmailSyntax("a@.c"));
  EXPECT_TRUE(PassesEmailSyntax("a b@c d."));
  EXPECT_TRUE(PassesEmailSyntax("a@b@c.d"));
  EXPECT_FALSE(PassesEmailSyntax(""));
  EXPECT_FALSE(PassesEmailSyntax("@b.c"));
  EXPECT_FALSE(PassesEmailSyntax("a.b@c"));
  EXPECT_FALSE(PassesEmailSyntax("ab"));
}

TEST(FieldPass, StripsPrefixesAndChoosesTheLastFailingFieldsDocument) {
  FormRequest r = WithFields({{"_R_Name", ""}, {"_E_Mail", "bad"}, {"Plain", "x"}, {"_R__E_Both", " "}});
  FieldPassResult result = RunFieldPass(r);
  EXPECT_EQ(result.result_doc, "/bad.htm");
  EXPECT_FALSE(result.autoreply);
  EXPECT_EQ(r.field_names, (TextList{"Name", "Mail", "Plain", "_E_Both"}));

  r = WithFields({{"_E_Mail", ""}, {"_R_Name", ""}});
  EXPECT_EQ(RunFieldPass(r).result_doc, "/req.htm");

  r = WithFields({{"_R_Name", " "}, {"_E_Mail", "a@b.c"}});
  EXPECT_EQ(RunFieldPass(r).result_doc, "");
}

TEST(FieldPass, SenderFieldsSetFromAndReplyFieldsCollectRecipients) {
  FormRequest r =
      WithFields({{"_F_Who", "not an address"}, {"_EF_A", "a@x.y"}, {"_FE_B", "b@x.y"}, {"_F_Empty", ""}});
  r.settings.from = "form@x.y";
  const FieldPassResult result = RunFieldPass(r);
  EXPECT_EQ(result.result_doc, "");
  EXPECT_TRUE(result.autoreply);
  EXPECT_EQ(r.settings.from, "b@x.y");
  EXPECT_EQ(r.settings.autoreply_recipients, (TextList{"a@x.y", "b@x.y"}));
  EXPECT_EQ(r.field_names, (TextList{"Who", "A", "B", "Empty"}));
}

TEST(FieldPass, AFailedReplyAddressIsStillCollectedButFailsTheRun) {
  FormRequest r = WithFields({{"_EF_Mail", "nobody"}});
  const FieldPassResult result = RunFieldPass(r);
  EXPECT_EQ(result.result_doc, "/bad.htm");
  EXPECT_EQ(r.settings.autoreply_recipients, (TextList{"nobody"}));
  EXPECT_EQ(r.settings.from, "nobody");
}

TEST(AllowList, ParsesTrimmedLowerCaseEntriesAndSkipsComments) {
  EXPECT_EQ(ParseAllowList("  Sales@Example.COM\t\n\n# staff\nfriend@x.y # comment\n@\r\nlast.org"),
            (TextList{"sales@example.com", "@", "last.org"}));
  EXPECT_TRUE(ParseAllowList("").empty());
  EXPECT_TRUE(ParseAllowList("# only\n   \n").empty());
}

// A list that restricts names addresses and domains: an entry that lets
// nearly everything through is refused with its line.
TEST(AllowList, EveryEntryMustRestrict) {
  for (const char* entry : {"sales@example.com", "@example.com", "example.com", "a.b@sub.example.co.uk"})
    EXPECT_TRUE(IsAllowListEntry(entry)) << entry;
  for (const char* entry : {"@", "com", "@com", "sales@", "info", "a b@example.com", "@-x.example"})
    EXPECT_FALSE(IsAllowListEntry(entry)) << entry;
  EXPECT_EQ(FirstInvalidAllowListLine("a@example.com\n# note\n\n@\nbad\n"), 4);
  EXPECT_EQ(FirstInvalidAllowListLine("a@example.com # comment\n\t@example.org \r\n"), 0);
}

TEST(AllowList, ReadsLongLinesInPiecesOf1023Bytes) {
  const std::string long_line = std::string(1023, 'a') + "tail.org\n";
  EXPECT_EQ(ParseAllowList(long_line), (TextList{std::string(1023, 'a'), "tail.org"}));
}

TEST(AllowList, EntriesMatchAnywhereInTheLowerCasedAddress) {
  const TextList allowed = {"example.com", "boss@"};
  EXPECT_EQ(FindRecipientNotAllowed({"Info@EXAMPLE.com", "x@sub.example.com.evil", "boss@else.org"}, allowed),
            std::nullopt);
  EXPECT_EQ(FindRecipientNotAllowed({"a@example.com", "Other@Else.Org", "third@nowhere"}, allowed),
            "other@else.org");
  EXPECT_EQ(FindRecipientNotAllowed({"anyone@anywhere"}, {"@"}), std::nullopt);
}

// What a mail server routes otherwise than a substring test reads it is no
// plain address, and with an allow-list in use it is refused outright.
TEST(AllowList, AdmitsPlainAddressesOnly) {
  const std::pair<const char*, bool> cases[] = {
      {"info@example.test", true},
      {"first.last+tag@mail-1.example.test", true},
      {"o'brien{x}@localhost", true},
      {"victim@evil.test(info@example.test)", false},
      {"@example.test:victim@evil.test", false},
      {"victim%evil.test@example.test", false},
      {"evil.test!victim@example.test", false},
      {"\"info@example.test\"@evil.test", false},
      {"info@example.test@evil.test", false},
      {"info @example.test", false},
      {".info@example.test", false},
      {"in..fo@example.test", false},
      {"info@example.test.", false},
      {"info@-example.test", false},
      {"info@[127.0.0.1]", false},
      {"info@", false},
      {"J\xFCrgen@example.test", false},
  };
  for (const auto& [address, plain] : cases) {
    EXPECT_EQ(IsPlainAddress(address), plain) << address;
    EXPECT_EQ(FindRecipientNotAllowed({address}, {"example.test", "localhost"}).has_value(), !plain)
        << address;
  }
}

}  // namespace
}  // namespace quillo
