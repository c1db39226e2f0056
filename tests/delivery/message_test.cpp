// The message text byte for byte: the four body layouts, quoted-printable
// edge cases and its agreement with the first encoder, header values (line
// breaks from a request, 8-bit or over-long values as RFC 2047 words),
// header lines within 998 characters, and the lines as they go on the wire.
#include "delivery/message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

#include "core/text.h"
#include "smtp/wire.h"

namespace quillo {
namespace {

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

MessageParts SampleParts() {
  MessageParts parts;
  parts.fromName = "Web Form";
  parts.fromAddress = "form@example.test";
  parts.recipients = {"a@example.test", "b@example.test"};
  parts.subject = "Hello";
  parts.date = "Mon, 01 Jan 2024 10:00:00 +0100";
  return parts;
}

const std::string kHeader =
    "From: Web Form <form@example.test>\r\n"
    "To: <a@example.test>,<b@example.test>\r\n"
    "Subject: Hello\r\n"
    "Date: Mon, 01 Jan 2024 10:00:00 +0100\r\n"
    "X-Mailer: Tessik Quillo!Pro v4\r\n"
    "X-Priority: 3\n";

// --- the four layouts ---

TEST(BuildMessageText, TextAndHtmlMakeMultipartAlternative) {
  MessageParts parts = SampleParts();
  parts.textBody =
      "  Name: J\xFC"
      "rgen\r\n.\r\nA=B  \n";
  parts.htmlBody = "\n<p>x</p>\n";
  EXPECT_EQ(BuildMessageText(parts), kHeader +
                                         "MIME-Version: 1.0 \n"
                                         "Content-Type: multipart/alternative;\n"
                                         "\tboundary=\"----=_NextPart_TESSIK_QUILLO_PRO\"\n"
                                         "\n"
                                         "This is a multi-part message in MIME format.\n\n"
                                         "------=_NextPart_TESSIK_QUILLO_PRO\n"
                                         "Content-Transfer-Encoding: quoted-printable\n"
                                         "Content-Type: text/plain;\n"
                                         "\tcharset=\"iso-8859-1\"\n\n"
                                         "Name: J=FCrgen\n.\nA=3DB"
                                         "\n\n------=_NextPart_TESSIK_QUILLO_PRO\n"
                                         "Content-Transfer-Encoding: quoted-printable\n"
                                         "Content-Type: text/html;\n"
                                         "\tcharset=\"iso-8859-1\"\n\n"
                                         "<p>x</p>"
                                         "\n\n------=_NextPart_TESSIK_QUILLO_PRO--\n");
}

TEST(BuildMessageText, HtmlOnlyPartLinesFollowTheHeaderDirectly) {
  MessageParts parts = SampleParts();
  parts.highPriority = true;
  parts.htmlBody = Repeat("h", 69) + ".\n<b>\xE9</b>";
  std::string header = kHeader;
  header.replace(header.find("X-Priority: 3"), 13, "X-Priority: 1");
  EXPECT_EQ(BuildMessageText(parts), header +
                                         "Content-Transfer-Encoding: quoted-printable\n"
                                         "Content-Type: text/html;\n"
                                         "\tcharset=\"iso-8859-1\"\n\n" +
                                         Repeat("h", 69) + "=\n.\n<b>=E9</b>");
}

struct LayoutCase {
  const char* what;
  std::string textBody;
  std::string expectedBody;
};

TEST(BuildMessageText, TextOnlyIsBareWhileSevenBitAndShortElseAPlainPart) {
  const std::string plain_part =
      "Content-Transfer-Encoding: quoted-printable\n"
      "Content-Type: text/plain;\n"
      "\tcharset=\"iso-8859-1\"\n\n";
  const std::string x498 = Repeat("x", 498);
  const std::string x998 = Repeat("x", 998);
  const std::string x999 = Repeat("x", 999);
  const LayoutCase cases[] = {
      {"7-bit", "Gruesse\n.\nend = 1\n", "\nGruesse\n.\nend = 1"},
      {"8-bit",
       "Gr\xFC\xDF"
       "e\n.\nend = 1\n",
       plain_part + "Gr=FC=DFe\n.\nend =3D 1"},
      {"8-bit in the middle of blanks", "  \xE9  ", plain_part + "=E9"},
      {"a line of 998", "a\n" + x998 + "\nb", "\na\n" + x998 + "\nb"},
      {"CR does not count", x498 + "\rx" + x498 + "x\r\n.", "\n" + x498 + "\rx" + x498 + "x\r\n."},
      {"a line of 999", "a\n" + x999,
       plain_part + "a\n" + Repeat(Repeat("x", 69) + "=\n", 14) + Repeat("x", 33)},
  };
  for (const LayoutCase& c : cases) {
    MessageParts parts = SampleParts();
    parts.textBody = c.textBody;
    EXPECT_EQ(BuildMessageText(parts), kHeader + c.expectedBody) << c.what;
  }
}

// What a site with settings sends: a Message-ID, MIME-Version for every
// MIME layout, X-Priority for high priority only, no X-Mailer.
TEST(BuildMessageText, ASiteWithSettingsSendsTheHeaderFiltersLookFor) {
  const std::string head =
      "From: Web Form <form@example.test>\r\n"
      "To: <a@example.test>,<b@example.test>\r\n"
      "Subject: Hello\r\n"
      "Date: Mon, 01 Jan 2024 10:00:00 +0100\r\n"
      "Message-ID: <1704099600.42.00000000deadbeef@example.test>\r\n";
  const std::string part = "Content-Transfer-Encoding: quoted-printable\nContent-Type: text/";
  const struct {
    const char* text;
    const char* html;
    bool high;
    std::string after_head;
  } cases[] = {
      {"", "<p>hi</p>", false, "MIME-Version: 1.0\n" + part + "html;\n\tcharset=\"iso-8859-1\"\n\n<p>hi</p>"},
      {"J\xFCrgen", "", true,
       "X-Priority: 1\nMIME-Version: 1.0\n" + part + "plain;\n\tcharset=\"iso-8859-1\"\n\nJ=FCrgen"},
      {"plain", "", false, "\nplain"},
      {"", "", true, "X-Priority: 1\n"},
  };
  for (const auto& c : cases) {
    MessageParts parts = SampleParts();
    parts.messageId = MakeMessageId(1704099600, 42, 0xdeadbeef, parts.fromAddress, "web.example.test");
    parts.textBody = c.text;
    parts.htmlBody = c.html;
    parts.highPriority = c.high;
    EXPECT_EQ(BuildMessageText(parts), head + c.after_head) << c.text << c.html;
  }
  EXPECT_EQ(MakeMessageId(1, 2, 3, "jo@Example.ORG", "web.test"), "1.2.0000000000000003@Example.ORG");
  EXPECT_EQ(MakeMessageId(1, 2, 3, "x@e.test>", "web.test"), "1.2.0000000000000003@web.test");
  EXPECT_EQ(MakeMessageId(1, 2, 3, "no address", "web.test"), "1.2.0000000000000003@web.test");
}

TEST(BuildMessageText, NoBodiesLeaveTheSixHeaderLines) {
  MessageParts parts = SampleParts();
  parts.textBody = " \r\n\t";
  EXPECT_EQ(BuildMessageText(parts), kHeader);
}

// --- header values ---

TEST(BuildMessageText, LineBreaksFromTheRequestNeverStartAHeaderLine) {
  MessageParts parts = SampleParts();
  parts.fromName = "Eve\r\nBcc: victim@example.test";
  parts.fromAddress = "eve@example.test\nX-Evil: 1";
  parts.recipients = {"a@example.test\r\nCc: c@example.test"};
  parts.subject = "Hi\r\nBcc: x@example.test";
  EXPECT_EQ(BuildMessageText(parts),
            "From: \"Eve  Bcc: victim@example.test\" <eve@example.test X-Evil: 1>\r\n"
            "To: <a@example.test  Cc: c@example.test>\r\n"
            "Subject: Hi  Bcc: x@example.test\r\n"
            "Date: Mon, 01 Jan 2024 10:00:00 +0100\r\n"
            "X-Mailer: Tessik Quillo!Pro v4\r\n"
            "X-Priority: 3\n");
}

TEST(BuildMessageText, EmptyNameAndEmptyAddressKeepTheirBrackets) {
  MessageParts parts = SampleParts();
  parts.fromName = "";
  parts.fromAddress = "";
  parts.recipients = {};
  EXPECT_EQ(BuildMessageText(parts).substr(0, 16), "From: <>\r\nTo: \r\n");
}

TEST(BuildMessageText, EightBitNameAndSubjectBecomeEncodedWords) {
  MessageParts parts = SampleParts();
  parts.fromName = "J\xFCrgen M\xFCller";
  parts.subject =
      "Gr\xFC\xDF"
      "e aus K\xF6ln?";
  const std::string message = BuildMessageText(parts);
  EXPECT_EQ(message.substr(0, message.find("Date:")),
            "From: =?iso-8859-1?Q?J=FCrgen_M=FCller?= <form@example.test>\r\n"
            "To: <a@example.test>,<b@example.test>\r\n"
            "Subject: =?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln=3F?=\r\n");
}

// A display name never reads as an address or a second mailbox: a plain
// run of words as given, specials in a quoted-string, control characters
// and 8-bit bytes as encoded-words.
TEST(BuildMessageText, DisplayNamesArePhrases) {
  const char* const cases[][2] = {
      {"Jo Doe", "Jo Doe"},
      {"Doe, John", "\"Doe, John\""},
      {"Bank <security@bank.test>", "\"Bank <security@bank.test>\""},
      {"Dr. Jo", "\"Dr. Jo\""},
      {"Say \"hi\" \\o/", "\"Say \\\"hi\\\" \\\\o/\""},
      {"=?utf-8?Q?x=40y?=", "\"=?utf-8?Q?x=40y?=\""},
      {"Tab\there", "=?iso-8859-1?Q?Tab=09here?="},
      {"J\xFCrgen, M.", "=?iso-8859-1?Q?J=FCrgen=2C_M=2E?="},
  };
  for (const auto& c : cases) {
    MessageParts parts = SampleParts();
    parts.fromName = c[0];
    const std::string message = BuildMessageText(parts);
    EXPECT_EQ(message.substr(0, message.find("\r\n")), "From: " + std::string(c[1]) + " <form@example.test>")
        << c[0];
  }
}

// Recipients user000@example.test, user001@example.test, ...: 20 characters.
TextList NumberedRecipients(int count) {
  TextList recipients;
  for (int i = 0; i < count; ++i) {
    const std::string number = std::to_string(1000 + i).substr(1);
    recipients.push_back("user" + number + "@example.test");
  }
  return recipients;
}

// The recipients from `first` up to `end` as the To line lists them.
std::string Listed(const TextList& recipients, std::size_t first, std::size_t end) {
  std::string listed;
  for (std::size_t i = first; i < end; ++i) {
    listed += "<" + recipients[i] + ">" + (i + 1 < recipients.size() ? "," : "");
  }
  return listed;
}

// The longest of the header lines, leaving out any that holds `unsplittable`.
std::size_t LongestHeaderLine(const std::string& header, const std::string& unsplittable) {
  std::size_t longest = 0;
  std::size_t from = 0;
  while (from < header.size()) {
    const std::size_t end = header.find("\r\n", from);
    const std::string line = header.substr(from, end - from);
    if (line.find(unsplittable) == std::string::npos) longest = std::max(longest, line.size());
    from = end + 2;
  }
  return longest;
}

struct HeaderCase {
  const char* what;
  std::string expected;  // the header lines before Date
  TextList recipients = {"a@example.test", "b@example.test"};
  std::string fromName = "Web Form";
  std::string subject = "Hello";
};

// Encoded-words of `text` (letters only): `first_room` letters in the first,
// then as many as fit in each continuation line.
std::string LetterWords(const std::string& text, std::size_t first_room) {
  const std::size_t kRoom = 76 - 1 - 17;  // after the blank, without "=?iso-8859-1?Q?" and "?="
  std::string words = "=?iso-8859-1?Q?" + text.substr(0, first_room) + "?=";
  for (std::size_t at = first_room; at < text.size(); at += kRoom) {
    words += "\r\n =?iso-8859-1?Q?" + text.substr(at, kRoom) + "?=";
  }
  return words;
}

TEST(BuildMessageText, NoHeaderLineExceeds998Characters) {
  const std::string from = "From: Web Form <form@example.test>\r\n";
  const std::string subject = "Subject: Hello\r\n";
  const TextList hundred = NumberedRecipients(100);
  // "To: " and an address of 900 leave room for one of 88 and its comma.
  const std::string a900 = Repeat("a", 893) + "@x.test";
  const std::string b88 = Repeat("b", 81) + "@x.test";
  const std::string b89 = Repeat("b", 82) + "@x.test";
  const std::string huge = Repeat("h", 1200) + "@x.test";
  ASSERT_EQ(("To: <" + a900 + ">,<" + b88 + ">,").size(), 998u);
  const std::string to = "To: <a@example.test>,<b@example.test>\r\n";
  const std::string s989 = Repeat("s", 989);
  const std::string s990 = Repeat("s", 990);
  const std::string n972 = Repeat("n", 972);  // "From: ", the name, a blank, "<form@example.test>": 998
  const std::string n993 = Repeat("n", 993);
  const HeaderCase cases[] = {
      {"a short To line", from + "To: <a@example.test>,<b@example.test>\r\n" + subject},
      {"a To line of exactly 998",
       from + "To: <" + a900 + ">,<" + b88 + ">,\r\n <c@x.test>\r\n" + subject,
       {a900, b88, "c@x.test"}},
      {"the comma makes it 999",
       from + "To: <" + a900 + ">,\r\n <" + b89 + ">,<c@x.test>\r\n" + subject,
       {a900, b89, "c@x.test"}},
      {"100 recipients",
       from + "To: " + Listed(hundred, 0, 43) + "\r\n " + Listed(hundred, 43, 86) + "\r\n " +
           Listed(hundred, 86, 100) + "\r\n" + subject,
       hundred},
      {"an address too long for any line",
       from + "To: <a@x.test>,\r\n <" + huge + ">,\r\n <b@x.test>\r\n" + subject,
       {"a@x.test", huge, "b@x.test"}},
      {"a first address too long for any line",
       from + "To: <" + huge + ">,\r\n <b@x.test>\r\n" + subject,
       {huge, "b@x.test"}},
      {"an ASCII subject filling its line",
       from + to + "Subject: " + s989 + "\r\n",
       {"a@example.test", "b@example.test"},
       "Web Form",
       s989},
      {"an ASCII subject one longer",
       from + to + "Subject: " + LetterWords(s990, 76 - 9 - 17) + "\r\n",
       {"a@example.test", "b@example.test"},
       "Web Form",
       s990},
      {"an ASCII name and its address filling the line",
       "From: " + n972 + " <form@example.test>\r\n" + to + subject,
       {"a@example.test", "b@example.test"},
       n972},
      {"an ASCII name leaving no room for its address",
       "From: " + n972 + "n\r\n <form@example.test>\r\n" + to + subject,
       {"a@example.test", "b@example.test"},
       n972 + "n"},
      {"an ASCII name too long for its line",
       "From: " + LetterWords(n993, 76 - 6 - 17) + " <form@example.test>\r\n" + to + subject,
       {"a@example.test", "b@example.test"},
       n993},
  };
  for (const HeaderCase& c : cases) {
    MessageParts parts = SampleParts();
    parts.recipients = c.recipients;
    parts.fromName = c.fromName;
    parts.subject = c.subject;
    const std::string message = BuildMessageText(parts);
    const std::string header = message.substr(0, message.find("Date:"));
    EXPECT_EQ(header, c.expected) << c.what;
    EXPECT_LE(LongestHeaderLine(header, huge), 998u) << c.what;
  }
}

// The encoded-words of a header value, each decoded, for round trips.
std::vector<std::string> DecodedWords(const std::string& value, const std::string& charset = "iso-8859-1") {
  const std::string start = "=?" + charset + "?Q?";
  std::vector<std::string> words;
  std::size_t at = 0;
  while ((at = value.find(start, at)) != std::string::npos) {
    const std::size_t end = value.find("?=", at + start.size());
    std::string& decoded = words.emplace_back();
    for (std::size_t i = at + start.size(); i < end; ++i) {
      if (value[i] == '_') {
        decoded += ' ';
      } else if (value[i] == '=') {
        decoded += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        decoded += value[i];
      }
    }
    at = end + 2;
  }
  return words;
}

std::string DecodeWords(const std::string& value) {
  std::string decoded;
  for (const std::string& word : DecodedWords(value)) decoded += word;
  return decoded;
}

// Whether text is whole UTF-8 characters: no sequence cut at either end.
bool IsWholeUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST(EncodeHeaderValue, Utf8WordsNeverSplitACharacter) {
  EXPECT_EQ(EncodeHeaderValue(u8"Jürgen Łódź 東京", 9, "utf-8"),
            "=?utf-8?Q?J=C3=BCrgen_=C5=81=C3=B3d=C5=BA_=E6=9D=B1=E4=BA=AC?=");
  const char* const characters[] = {
      "a", " ", "=", "\xC3\xBC", "\xC5\x81", "\xE6\x9D\xB1", "\xF0\x9F\x93\xA8"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string value;
    for (std::size_t n = random() % 60; n > 0; --n) value += characters[random() % 7];
    const std::size_t used = random() % 77;
    const std::string encoded = EncodeHeaderValue(value + "\xC3\xA9", used, "utf-8");
    std::string joined;
    for (const std::string& word : DecodedWords(encoded, "utf-8")) {
      ASSERT_TRUE(IsWholeUtf8(word)) << encoded;
      joined += word;
    }
    ASSERT_EQ(joined, value + "\xC3\xA9");
    for (std::size_t from = 0, line = 0; from < encoded.size(); from += line + 2, line = 0) {
      line = std::min(encoded.find("\r\n", from), encoded.size()) - from;
      ASSERT_LE(line + (from == 0 ? used : 0), 76u) << encoded;
    }
  }
}

TEST(EncodeHeaderValue, LongEightBitValuesFoldWithinSeventySixCharacters) {
  const std::string subject = Repeat(
      "\xC4rger \xFC"
      "ber Stra\xDF"
      "enl\xE4rm ",
      6);
  const std::string head = "Subject: ";
  const std::string encoded = EncodeHeaderValue(subject, head.size());
  const std::string lines = head + encoded;
  std::size_t start = 0;
  int count = 0;
  while (start <= lines.size()) {
    std::size_t end = lines.find("\r\n", start);
    if (end == std::string::npos) end = lines.size();
    EXPECT_LE(end - start, 76u) << lines.substr(start, end - start);
    if (start > 0) {
      EXPECT_EQ(lines[start], ' ');
    }
    start = end + 2;  // past CR LF: a continuation line begins with its blank
    ++count;
  }
  EXPECT_GT(count, 2);
  EXPECT_EQ(DecodeWords(encoded), subject);
}

TEST(BuildMessageText, AnEncodedNameTooLongForTheAddressPutsItOnAContinuationLine) {
  MessageParts parts = SampleParts();
  parts.fromName = Repeat("\xE9", 15);
  const std::string message = BuildMessageText(parts);
  EXPECT_EQ(message.substr(0, message.find("To:")),
            "From: =?iso-8859-1?Q?" + Repeat("=E9", 15) + "?=\r\n <form@example.test>\r\n");
}

// --- quoted-printable ---

struct EncodingCase {
  const char* what;
  std::string text;
  std::string expected;
};

TEST(EncodeQuotedPrintable, EncodesEachCaseByteForByte) {
  const std::string x67 = Repeat("x", 67);
  const std::string x68 = Repeat("x", 68);
  const std::string x69 = Repeat("x", 69);
  const std::string fc25 = Repeat("=FC", 25);
  const EncodingCase cases[] = {
      {"empty", "", ""},
      {"an 8-bit byte", "\xFC", "=FC"},
      {"an equals sign", "a=b", "a=3Db"},
      {"other bytes stay", "\t. ;\x01", "\t. ;\x01"},
      {"CR LF and a bare CR", "a\r\nb\rc\n", "a\nbc\n"},
      {"blanks before a line end", "a  \nb", "a  \nb"},
      {"70 ordinary characters", Repeat("x", 70), x69 + "=\n" + "x"},
      {"a hard line end resets the column", Repeat("x", 60) + "\n" + Repeat("y", 60),
       Repeat("x", 60) + "\n" + Repeat("y", 60)},
      {"an escape after 68 stays whole", x68 + "\xE9" + "abc", x68 + "=E9=\nabc"},
      {"a period after 69", x69 + ".\n", x69 + "=\n.\n"},
      {"an escape after 69", x69 + "\xE9", x69 + "=E9"},
      {"two escapes after 69", x69 + "\xE9\xE9", x69 + "=E9=E9"},
      {"three escapes after 69", x69 + "\xE9\xE9\xE9", x69 + "=E9=E9=\n=E9"},
      {"200 escapes", Repeat("\xFC", 200), Repeat(fc25 + "=\n", 7) + fc25},
      {"an escape ending the text at 76", x67 + "\xFC\xFC\xFC", x67 + "=FC=FC=FC"},
      {"an escape ending the line at 76", x67 + "\xFC\xFC\xFC\r\ny", x67 + "=FC=FC=FC\ny"},
      {"a character after an escape at 76", x67 + "\xFC\xFC\xFC" + "a", x67 + "=FC=FC=\n=FCa"},
      {"an escape after an escape at 76", x67 + "\xFC\xFC\xFC\xFC", x67 + "=FC=FC=\n=FC=FC"},
      {"the meta line of the built-in HTML layout",
       "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"></head>\n",
       "<head><meta http-equiv=3D\"Content-Type\" content=3D\"text/html; charset=3D=\n"
       "iso-8859-1\"></head>\n"},
  };
  for (const EncodingCase& c : cases) {
    EXPECT_EQ(encodeQuotedPrintable(c.text), c.expected) << c.what;
  }
}

// The encoder as mail was first sent with it: its soft breaks never come
// before an escape, so a run of escapes makes a line of any length.
std::string OriginalQuotedPrintable(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t column = 0;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    if (c == '\n') {
      out += '\n';
      column = 0;
    } else if (byte > 127 || c == '=') {
      out += {'=', kHex[byte >> 4], kHex[byte & 15]};
      column += 3;
    } else {
      if (column > 68) {
        out += "=\n";
        column = 0;
      }
      out += c;
      column += 1;
    }
  }
  return out;
}

std::size_t LongestLine(std::string_view text) {
  std::size_t longest = 0;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) end = text.size();
    longest = std::max(longest, end - from);
    from = end + 1;
  }
  return longest;
}

TEST(EncodeQuotedPrintable, ChangesOnlyTheLinesThatBrokeTheLimit) {
  std::mt19937 random(20240101);
  const std::string pieces[] = {"a", "b", " ", ".", "=", "\xE9", "\xFC", "\x80", "\xFF", "\n", "\r\n"};
  int kept = 0;
  int changed = 0;
  for (int round = 0; round < 4000; ++round) {
    // Some texts are one long line, others break often: both kinds of line
    // end must meet runs of escapes near the limit.
    const int line_end_odds = std::uniform_int_distribution<int>(0, 2)(random) == 0 ? 0 : 40;
    std::uniform_int_distribution<int> piece(0, 8);
    std::uniform_int_distribution<int> odds(0, line_end_odds);
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 300)(random);
    for (int i = 0; i < length; ++i) {
      text += odds(random) == 1 ? pieces[9 + round % 2] : pieces[piece(random)];
    }
    const std::string encoded = encodeQuotedPrintable(text);
    const std::string original = OriginalQuotedPrintable(text);
    EXPECT_LE(LongestLine(encoded), 76u) << encoded;
    if (LongestLine(original) <= 76) {
      EXPECT_EQ(encoded, original);
      ++kept;
    } else {
      ++changed;
    }
  }
  // Both kinds must have been met for the comparison to mean anything.
  EXPECT_GT(kept, 1000);
  EXPECT_GT(changed, 1000);
}

TEST(EncodeQuotedPrintable, NoLineExceedsSeventySixCharacters) {
  std::string mixed;
  for (int i = 0; i < 3000; ++i) mixed += static_cast<char>(i * 37 % 256);
  const std::string encoded = encodeQuotedPrintable(mixed);
  std::size_t start = 0;
  while (start < encoded.size()) {
    std::size_t end = encoded.find('\n', start);
    if (end == std::string::npos) end = encoded.size();
    EXPECT_LE(end - start, 76u);
    start = end + 1;
  }
}

// --- the wire ---

// Line ends, bare CRs and trailing blanks are settled first, and only then
// are lines that start with "." stuffed: a CR or a blank between a line end
// and a "." must never let a lone "." reach the server.
TEST(FormatDataLines, StuffsEveryLineThatGoesOutStartingWithADot) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"a\n..b\n\n", "a\r\n...b\r\n\r\n"},
      {"a\n..b", "a\r\n...b\r\n"},
      {".first", "..first\r\n"},
      {"x  \r\n\ty\t\n", "x\r\n\ty\r\n"},
      {"a\rb\r\nc\r", "ab\r\nc\r\n"},
      {"\r\r\n\xFC \n", "\r\n\xFC\r\n"},
      {"hello\n\r.\nMAIL FROM:<s@evil.test>\n", "hello\r\n..\r\nMAIL FROM:<s@evil.test>\r\n"},
      {"hello\r\n\r.\r\nRCPT", "hello\r\n..\r\nRCPT\r\n"},
      {"hello\n\r\r.\nDATA", "hello\r\n..\r\nDATA\r\n"},
      {"hello\n\r. \nQUIT", "hello\r\n..\r\nQUIT\r\n"},
      {"a\r.\r\n", "a.\r\n"},
      {"\r.\r\n", "..\r\n"},
      {"a\n\r.x\n", "a\r\n..x\r\n"},
  };
  for (const auto& [text, wire] : cases) EXPECT_EQ(FormatDataLines(text), wire) << text;
}

// Over random texts: the data section holds the end-of-data mark exactly
// once, at its end, and removing the stuffing gives back the text without
// its CRs and trailing blanks.
TEST(FormatDataLines, TheEndOfDataMarkComesOnlyAtTheEnd) {
  std::mt19937 random(20261208);
  const std::string alphabet = ".\r\n \tx";
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    const std::string data = FormatDataLines(text) + "\r\n.\r\n";
    ASSERT_EQ(data.find("\r\n.\r\n"), data.size() - 5) << text;
    ASSERT_NE(data.substr(0, 3), ".\r\n") << text;

    std::string unstuffed;
    for (std::size_t from = 0; from + 5 < data.size();) {
      const std::size_t end = data.find("\r\n", from);
      const std::size_t skip = data[from] == '.' ? 1 : 0;
      unstuffed += data.substr(from + skip, end - from - skip) + "\n";
      from = end + 2;
    }
    // Lines of the text without CRs and trailing blanks; a last piece without
    // LF counts when anything but CRs is in it.
    std::string expected;
    std::string line;
    bool pending = false;
    for (char c : text) {
      if (c == '\n') {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        expected += line + "\n";
        line.clear();
        pending = false;
      } else if (c != '\r') {
        line += c;
        pending = true;
      }
    }
    if (pending) {
      while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
      expected += line + "\n";
    }
    ASSERT_EQ(unstuffed, expected) << text;
  }
}

TEST(FormatDataLines, TextOnlyMessageGoesOutWithCrLfAndNoBareCr) {
  MessageParts parts = SampleParts();
  parts.fromName = "";
  parts.recipients = {"a@example.test"};
  parts.textBody = "line one\rstill one  \r\n.\r\nlast";
  EXPECT_EQ(FormatDataLines(BuildMessageText(parts)),
            "From: <form@example.test>\r\n"
            "To: <a@example.test>\r\n"
            "Subject: Hello\r\n"
            "Date: Mon, 01 Jan 2024 10:00:00 +0100\r\n"
            "X-Mailer: Tessik Quillo!Pro v4\r\n"
            "X-Priority: 3\r\n"
            "\r\n"
            "line onestill one\r\n"
            "..\r\n"
            "last\r\n");
}

TEST(FormatCommand, ArgumentsStayOnTheirLine) {
  EXPECT_EQ(FormatCommand("MAIL FROM:<", "a@b.test", ">"), "MAIL FROM:<a@b.test>\r\n");
  EXPECT_EQ(FormatCommand("MAIL FROM:<", "a@b.test>\r\nRCPT TO:<x@y.test", ">"),
            "MAIL FROM:<a@b.test>  RCPT TO:<x@y.test>\r\n");
  EXPECT_EQ(FormatCommand("HELO ", "host\nQUIT"), "HELO host QUIT\r\n");
}

}  // namespace
}  // namespace quillo

namespace quillo {
namespace {

// With files the message is multipart/mixed: the body exactly as it goes
// alone, then each file; a name beyond ASCII in RFC 2231 pieces; a boundary
// the body holds is lengthened until it is unique.
TEST(BuildMessageText, AttachmentsFollowTheBodyAsItGoesAlone) {
  const std::string name =
      "\xC3\x9C"
      "bersicht \xE6\x9D\xB1\xE4\xBA\xAC " +
      Repeat("x", 40) + ".pdf";
  const struct {
    std::string what, text, html, boundary;
  } cases[] = {
      {"alternative", "Name: Jo\n", "<p>Jo</p>", "B"},
      {"bare text", "Name: Jo\n", "", "B"},
      {"bare text holding the boundary", "--B\n--B_\n", "", "B__"},
  };
  for (const auto& c : cases) {
    MessageParts alone = SampleParts();
    alone.textBody = c.text;
    alone.htmlBody = c.html;
    const std::string without = BuildMessageText(alone);
    MessageParts parts = SampleParts();
    parts.textBody = c.text;
    parts.htmlBody = c.html;
    parts.mixedBoundary = "B";
    parts.attachments = {{"cv.pdf", "application/pdf", 8, "%PDF-1.7"},
                         {name, "application/pdf", 58, Repeat("\xFF", 58)}};
    const std::string& b = c.boundary;
    EXPECT_EQ(BuildMessageText(parts),
              kHeader + "MIME-Version: 1.0\nContent-Type: multipart/mixed;\n\tboundary=\"" + b +
                  "\"\n\nThis is a multi-part message in MIME format.\n\n--" + b + "\n" +
                  without.substr(kHeader.size()) + "\n--" + b +
                  "\nContent-Type: application/pdf\nContent-Transfer-Encoding: base64\n"
                  "Content-Disposition: attachment; filename=\"cv.pdf\"\n\nJVBERi0xLjc=\n--" +
                  b +
                  "\nContent-Type: application/pdf\nContent-Transfer-Encoding: base64\n"
                  "Content-Disposition: attachment;\n"
                  "\tfilename*0*=UTF-8''%C3%9Cbersicht%20%E6%9D%B1%E4%BA%AC%20" +
                  Repeat("x", 15) + ";\n\tfilename*1*=" + Repeat("x", 25) + ".pdf\n\n" + Repeat("/", 76) +
                  "\n/w==\n--" + b + "--\n")
        << c.what;
  }
}

}  // namespace
}  // namespace quillo

namespace quillo {
namespace {

// Whatever bytes a name holds, the part's header is its own lines: each
// starts with a field name or a tab and holds no control character.
TEST(AppendAttachmentPart, NoNameCanBreakTheHeader) {
  std::mt19937 random(11);
  for (int run = 0; run < 2000; ++run) {
    std::string name;
    for (std::size_t n = random() % 40; n > 0; --n) name.push_back(static_cast<char>(random() % 256));
    std::string part;
    AppendAttachmentPart(part, "B", {name, "application/pdf", 3, "abc"});
    const std::string header = part.substr(0, part.find("\n\n"));
    for (std::string_view line : Split(header, '\n')) {
      if (line.empty()) continue;
      EXPECT_TRUE(line == "--B" || StartsWith(line, "Content-") || StartsWith(line, "\t")) << line;
      EXPECT_TRUE(std::none_of(line.begin() + 1, line.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
      })) << line;
    }
  }
}

}  // namespace
}  // namespace quillo
