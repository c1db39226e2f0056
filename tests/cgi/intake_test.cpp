#include "request/intake.h"

#include <gtest/gtest.h>

#include "colliding_names.h"
#include "core/messages.h"
#include "core/run_end.h"
#include "core/text.h"

namespace quillo {
namespace {

FormRequest Decode(std::string_view body) {
  FormRequest request;
  DecodeBodyIntoFields(body, request);
  return request;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields UserFields(const FormRequest& r) {
  Fields fields;
  for (std::size_t i = 0; i < r.field_names.size(); ++i)
    fields.emplace_back(r.field_names[i], r.field_values[i]);
  return fields;
}

TEST(UrlDecode, DecodesPlusAndPercentEscapes) {
  EXPECT_EQ(UrlDecode("a+b%2Bc"), "a b+c");
  EXPECT_EQ(UrlDecode("%3d%3D%c3%BC"), "==\xC3\xBC");
  EXPECT_EQ(UrlDecode("ab%00cd"), "ab");  // a decoded NUL ends the pair
}

TEST(UrlDecode, KeepsAPercentWithoutTwoBytesBehindIt) {
  EXPECT_EQ(UrlDecode("100%"), "100%");
  EXPECT_EQ(UrlDecode("x%4"), "x%4");
  EXPECT_EQ(UrlDecode("%"), "%");
  EXPECT_EQ(UrlDecode("%41%"), "A%");
}

TEST(UrlDecode, NonHexBytesGiveWhatTheDigitArithmeticGives) {
  // "G" counts as 16, "g" too (bit 0x20 cleared): 16*16+16 = 272 = 0x10 mod 256.
  EXPECT_EQ(UrlDecode("%GG"), "\x10");
  EXPECT_EQ(UrlDecode("%gg"), "\x10");
  // "!" is 33-48 = -15; 0x80 counts as below "A": 128-48 = 80.
  EXPECT_EQ(UrlDecode("%1!"), std::string(1, static_cast<char>(16 - 15)));
  EXPECT_EQ(UrlDecode("%0\x80"), std::string(1, static_cast<char>(80)));
}

TEST(DecodeBody, SplitsPairsOnRawAmpersandsAndNamesAfterDecoding) {
  EXPECT_EQ(UserFields(Decode("a=1&b=2")), (Fields{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(UserFields(Decode("a=1&&b=2")), (Fields{{"a", "1"}, {"", ""}, {"b", "2"}}));
  EXPECT_EQ(UserFields(Decode("a=1&")), (Fields{{"a", "1"}}));
  EXPECT_EQ(UserFields(Decode("x=1%3D2")), (Fields{{"x", "1=2"}}));
  EXPECT_EQ(UserFields(Decode("x%3D1=2")), (Fields{{"x", "1=2"}}));
  EXPECT_EQ(UserFields(Decode("x=a%26b")), (Fields{{"x", "a&b"}}));
  EXPECT_EQ(UserFields(Decode("y")), (Fields{{"y", ""}}));
  EXPECT_EQ(UserFields(Decode("v=a=b=c")), (Fields{{"v", "a=b=c"}}));
}

TEST(DecodeBody, JoinsRepeatedUserFieldsInOrderOfFirstAppearance) {
  EXPECT_EQ(UserFields(Decode("c=x&d=1&c=y&c=")), (Fields{{"c", "x, y, "}, {"d", "1"}}));
  EXPECT_EQ(UserFields(Decode("C=1&c=2")), (Fields{{"C", "1"}, {"c", "2"}}));
}

TEST(DecodeBody, SortsControlVariablesAndDropsIgnoredFields) {
  const FormRequest r = Decode("QUILLO_TO=a%40b.c&_I_secret=1&quillo_to=x&QUILLO_TO=second&RESPOND_FROM=r");
  EXPECT_EQ(r.settings.to, "second");
  EXPECT_EQ(r.settings.respond_from, "r");
  EXPECT_EQ(UserFields(r), (Fields{{"quillo_to", "x"}}));
}

TEST(DecodeBody, EveryControlVariableReachesItsOwnField) {
  const char* names[] = {
      "QUILLO_SERVER",        "QUILLO_FROM",       "QUILLO_TO",       "QUILLO_SUBJECT",
      "QUILLO_SUCCESS",       "QUILLO_REQUIRED",   "QUILLO_ERROR",    "QUILLO_DEBUG",
      "QUILLO_HELO",          "QUILLO_ENVREPORT",  "QUILLO_BADEMAIL", "QUILLO_NOEMPTYFIELDS",
      "RESPOND_TEMPLATE",     "RESPOND_FROM",      "RESPOND_SUBJECT", "QUILLO_TEMPLATE",
      "QUILLO_PRIORITY",      "RESPOND_PRIORITY",  "QUILLO_FORMAT",   "QUILLO_FROMFRIENDLY",
      "RESPOND_FROMFRIENDLY", "QUILLO_REJECTEMAIL"};
  ControlSettings settings;
  std::vector<std::string*> fields;
  for (const char* name : names) {
    std::string* field = ControlVariableField(settings, name);
    ASSERT_NE(field, nullptr) << name;
    fields.push_back(field);
  }
  std::sort(fields.begin(), fields.end());
  EXPECT_EQ(std::unique(fields.begin(), fields.end()), fields.end());
  EXPECT_EQ(ControlVariableField(settings, "QUILLO_To"), nullptr);
  EXPECT_EQ(ControlVariableField(settings, "QUILLO_TO "), nullptr);
}

// Names chosen to share one std::hash value decode as fast as any: a
// hundred thousand of them, the bound, and the next one is refused.
TEST(DecodeBody, ManyDistinctFieldsStayFastUpToTheirBound) {
  const std::vector<std::string> names = testing::NamesSharingOneStdHash(kMaxUserFields + 1);
  std::string body;
  for (const std::string& name : names) {
    for (char c : name) body += "%" + std::string(1, HexDigit((c >> 4) & 0xF)) + HexDigit(c & 0xF);
    body += "=v&";
  }
  const std::size_t last_pair = body.rfind('&', body.size() - 2) + 1;
  const FormRequest r = Decode(std::string_view(body).substr(0, last_pair));
  EXPECT_EQ(r.field_names.size(), kMaxUserFields);
  EXPECT_EQ(r.field_names.back(), names[kMaxUserFields - 1]);
  try {
    Decode(body);
    ADD_FAILURE() << "one field more than the bound was decoded";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.output, RenderErrorPage(Error310TooManyFields(kMaxUserFields)));
  }
}

TEST(SplitRecipients, TrimsAndDropsEmptyPieces) {
  std::string to = "  a@b.c, d@e.f ,,g@h.i,  ";
  EXPECT_EQ(SplitRecipients(to), (TextList{"a@b.c", "d@e.f", "g@h.i"}));
  EXPECT_EQ(to, "a@b.c, d@e.f ,,g@h.i,");
  to = " , ,, ";
  EXPECT_TRUE(SplitRecipients(to).empty());
  to = "";
  EXPECT_TRUE(SplitRecipients(to).empty());
}

TEST(ContentType, MultipartFormsAreToldApart) {
  EXPECT_TRUE(IsMultipartForm("multipart/form-data; boundary=----x"));
  EXPECT_TRUE(IsMultipartForm(" Multipart/Form-Data"));
  EXPECT_FALSE(IsMultipartForm("application/x-www-form-urlencoded"));
  EXPECT_FALSE(IsMultipartForm(""));
}

TEST(ProgramPath, IsTrimmedAndMadeLongAndLowerCasedWhereNamesIgnoreCase) {
  EXPECT_EQ(NormaliseProgramPath(" C:\\INETPUB\\SCRIPTS\\QUILLO~1.EXE ", true),
            "c:\\inetpub\\scripts\\quillopro.exe");
  EXPECT_EQ(NormaliseProgramPath(" C:\\INETPUB\\SCRIPTS\\QUILLO~1.EXE ", false),
            "C:\\INETPUB\\SCRIPTS\\quillopro.exe");
  EXPECT_EQ(NormaliseProgramPath("/home/Jo/QuilloPro.exe/QUILLOPRO.EXE", false),
            "/home/Jo/quillopro.exe/quillopro.exe");
  EXPECT_EQ(NormaliseProgramPath("/home/Jo/mailer.exe", false), "/home/Jo/mailer.exe");
}

TEST(ContentLength, ReadsLikeStringToInteger) {
  EXPECT_EQ(ParseContentLength("42"), 42);
  EXPECT_EQ(ParseContentLength("  +17abc"), 17);
  EXPECT_EQ(ParseContentLength("abc"), 0);
  EXPECT_EQ(ParseContentLength(""), 0);
  EXPECT_EQ(ParseContentLength("-5"), -5);
  EXPECT_EQ(ParseContentLength("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseContentLength("-99999999999999999999"), -2147483648L);
}

TEST(TimeStamps, MuidIsTheLow32BitsSigned) {
  EXPECT_EQ(FormatMuid(1796748718), "1796748718");
  EXPECT_EQ(FormatMuid(static_cast<std::time_t>(2147483648LL)), "-2147483648");
  EXPECT_EQ(FormatMuid(static_cast<std::time_t>(4294967296LL + 5)), "5");
}

TEST(TimeStamps, MailDateHasEnglishNamesAndTheZoneEastOfUtc) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_wday = 2;
  t.tm_hour = 6;
  t.tm_min = 5;
  t.tm_sec = 9;
  EXPECT_EQ(FormatMailDate(t, 3600), "Tue, 08 Dec 2026 06:05:09 +0100");
  EXPECT_EQ(FormatMailDate(t, 5 * 3600 + 1800), "Tue, 08 Dec 2026 06:05:09 +0530");
  EXPECT_EQ(FormatMailDate(t, -5 * 3600), "Tue, 08 Dec 2026 06:05:09 -0500");
  EXPECT_EQ(FormatMailDate(t, 0), "Tue, 08 Dec 2026 06:05:09 +0000");
  EXPECT_EQ(FormatMailDate(t, -(3 * 3600 + 30 * 60)), "Tue, 08 Dec 2026 06:05:09 -0330");
}

}  // namespace
}  // namespace quillo
