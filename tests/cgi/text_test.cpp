#include "core/text.h"

#include <gtest/gtest.h>

namespace quillo {
namespace {

TEST(ReplaceAll, CountsNonOverlappingMatchesAndNeverRescansReplacement) {
  std::string text = "aaa";
  EXPECT_EQ(ReplaceAll(text, "aa", "b"), 1);
  EXPECT_EQ(text, "ba");
  text = "xyx";
  EXPECT_EQ(ReplaceAll(text, "x", "x"), 2);
  EXPECT_EQ(text, "xyx");
  text = "a-b-c";
  EXPECT_EQ(ReplaceAll(text, "-", ""), 2);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(ReplaceAll(text, "", "z"), 0);
  EXPECT_EQ(text, "abc");
  text = "##A##";
  EXPECT_EQ(ReplaceAll(text, "##A##", "##A##!"), 1);
  EXPECT_EQ(text, "##A##!");
}

TEST(ReplaceAllIgnoringCase, MatchesAnyCaseAndKeepsTheRest) {
  std::string text = "/Srv/QuilloPro.EXE/x/quillopro.exe";
  EXPECT_EQ(ReplaceAllIgnoringCase(text, "quillopro.exe", "Page.htm"), 2);
  EXPECT_EQ(text, "/Srv/Page.htm/x/Page.htm");
  EXPECT_EQ(ReplaceAllIgnoringCase(text, "", "z"), 0);
}

TEST(Trim, RemovesOnlyAsciiWhiteSpaceAtBothEnds) {
  std::string text = "\r\n abc \t";
  Trim(text);
  EXPECT_EQ(text, "abc");
  text = " a b ";
  Trim(text);
  EXPECT_EQ(text, "a b");
  text = " \t\v\f ";
  Trim(text);
  EXPECT_EQ(text, "");
  text = "\xA0x\xA0";  // bytes above 127 are never white space
  Trim(text);
  EXPECT_EQ(text, "\xA0x\xA0");
}

TEST(Substrings, MidClampsToTheText) {
  EXPECT_EQ(Mid("abc", 5), "");
  EXPECT_EQ(Mid("abc", 1, 10), "bc");
  EXPECT_EQ(Mid("abc", -3, 2), "ab");
  EXPECT_EQ(Mid("abc", 1, -1), "");
}

TEST(Search, FindTextIsCaseSensitive) {
  EXPECT_EQ(FindText("<html>", "<HTML>"), -1);
  EXPECT_EQ(FindText("ab<HTML>", "<HTML>"), 2);
  EXPECT_EQ(FindAnyOf("name:x|y", "|:"), 4);
  EXPECT_EQ(FindAnyOf("name", "|:"), -1);
}

TEST(CaseMapping, CoversAsciiLettersOnly) {
  EXPECT_EQ(UpperCopy("aZ\xFC-1"), "AZ\xFC-1");
  EXPECT_EQ(LowerCopy("QUILLO~1.EXE\xDC"), "quillo~1.exe\xDC");
}

TEST(StuffDots, AddsOneDotToEveryLineAfterTheFirstThatStartsWithADot) {
  std::string text = "a\n.b\n.c";
  StuffDots(text);
  EXPECT_EQ(text, "a\n..b\n..c");
  text = ".first";
  StuffDots(text);
  EXPECT_EQ(text, ".first");
  text = "\n.";
  StuffDots(text);
  EXPECT_EQ(text, "\n..");
  text = "\n..x";
  StuffDots(text);
  EXPECT_EQ(text, "\n...x");
}

TEST(StuffDots, HandlesTenMegabytesOfDotLinesWithoutDeepCalls) {
  std::string text;
  for (int i = 0; i < 5 * 1024 * 1024; ++i) text += "\n.";
  StuffDots(text);
  EXPECT_EQ(text.size(), 15u * 1024 * 1024);
  EXPECT_EQ(text.substr(0, 6), "\n..\n..");
}

TEST(EscapeHtml, EscapesTheFiveMarkupCharacters) {
  EXPECT_EQ(EscapeHtml("<a href=\"x\" title='y'>&</a>"),
            "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;&lt;/a&gt;");
  EXPECT_EQ(EscapeHtml("plain \xFC text"), "plain \xFC text");
}

TEST(HexDigit, UsesUpperCase) {
  EXPECT_EQ(HexDigit(0), '0');
  EXPECT_EQ(HexDigit(9), '9');
  EXPECT_EQ(HexDigit(10), 'A');
  EXPECT_EQ(HexDigit(15), 'F');
}

TEST(EncodeBase64, MatchesTheRfc4648Vectors) {
  const struct {
    std::string_view bytes;
    std::string_view encoded;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string_view("\x00\xFF\xFE", 3), "AP/+"},
      {"\xFB\xFF", "+/8="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64(c.bytes), c.encoded) << c.bytes;
    EXPECT_EQ(DecodeBase64(c.encoded), std::string(c.bytes)) << c.encoded;
  }
  // Unpadded is read too; anything an encoder does not write is not.
  EXPECT_EQ(DecodeBase64("Zm8"), "fo");
  for (std::string_view broken : {"Z", "Zm9vY", "Zg===", "Z=g=", "Zm9v\n", "Zm-v", "=", "Zg=a"})
    EXPECT_EQ(DecodeBase64(broken), std::nullopt) << broken;
  EXPECT_EQ(HexOf(std::string_view("\x00\xAB\x7F", 3)), "00ab7f");
}

TEST(Toolkit, SplitsAndReadsWhatEveryReaderOfTheProgramSplitsAndReads) {
  using Pieces = std::vector<std::string_view>;
  EXPECT_EQ(Split("a,,b", ','), (Pieces{"a", "", "b"}));
  EXPECT_EQ(Split("", ','), (Pieces{""}));
  EXPECT_EQ(Split(",", ','), (Pieces{"", ""}));
  EXPECT_EQ(Lines("a\r\n\nb"), (Pieces{"a\r", "", "b"}));
  EXPECT_EQ(Lines("a\n"), (Pieces{"a"}));
  EXPECT_EQ(Lines(""), Pieces{});
  EXPECT_TRUE(StartsWith("_I_x", "_I_") && !StartsWith("_I", "_I_") && EndsWith("a.htm", ".htm"));
  const struct {
    std::string_view digits;
    std::uint64_t max;
    std::optional<std::uint64_t> value;
  } numbers[] = {{"0", 9, 0},
                 {"65535", 65535, 65535},
                 {"65536", 65535, std::nullopt},
                 {"", 9, std::nullopt},
                 {"+1", 9, std::nullopt},
                 {" 1", 9, std::nullopt},
                 {"99999999999999999999", 100, std::nullopt}};
  for (const auto& n : numbers) EXPECT_EQ(ReadNumber(n.digits, n.max), n.value) << n.digits;
}

TEST(Toolkit, OneHostNameRuleAndAbsolutePathsOfBothSystems) {
  for (const char* name : {"mail.example.com", "localhost", "a-b.c0", "192.0.2.1", "xn--bcher-kva.example"})
    EXPECT_TRUE(IsHostName(name)) << name;
  for (const char* name :
       {"", "-a.example", "a-.example", "a..b", "a_b.example", "a b", "[::1]", "a.example."})
    EXPECT_FALSE(IsHostName(name)) << name;
  EXPECT_FALSE(IsHostName(std::string(64, 'a') + ".example"));
  for (const char* path :
       {"/etc/quillo/dkim.pem", "C:\\quillo\\dkim.pem", "c:/quillo/key.pem", "\\\\server\\share\\key"})
    EXPECT_TRUE(IsAbsolutePath(path)) << path;
  for (const char* path : {"", "dkim.pem", "C:dkim.pem", "1:\\x", "\\x"})
    EXPECT_FALSE(IsAbsolutePath(path)) << path;
}

}  // namespace
}  // namespace quillo
