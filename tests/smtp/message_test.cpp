// The message text byte for byte: the four body layouts, quoted-printable
// edge cases, header values (line breaks from a request, 8-bit values as
// RFC 2047 words) and the lines as they go on the wire.
#include "smtp/message.h"

#include <gtest/gtest.h>

#include <random>

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

TEST(BuildMessageText, TextOnlyIsSentUnencoded) {
  MessageParts parts = SampleParts();
  parts.textBody =
      "Gr\xFC\xDF"
      "e\n.\nend = 1\n";
  EXPECT_EQ(BuildMessageText(parts), kHeader +
                                         "\nGr\xFC\xDF"
                                         "e\n.\nend = 1");
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
            "From: Eve  Bcc: victim@example.test <eve@example.test X-Evil: 1>\r\n"
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

// Decodes the encoded-words of a header value, for checking round trips.
std::string DecodeWords(const std::string& value) {
  const std::string start = "=?iso-8859-1?Q?";
  std::string decoded;
  std::size_t at = 0;
  while ((at = value.find(start, at)) != std::string::npos) {
    const std::size_t end = value.find("?=", at + start.size());
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
  return decoded;
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

TEST(EncodeQuotedPrintable, EscapesEightBitAndEqualsOnly) {
  EXPECT_EQ(encodeQuotedPrintable(""), "");
  EXPECT_EQ(encodeQuotedPrintable("\xFC"), "=FC");
  EXPECT_EQ(encodeQuotedPrintable("a=b"), "a=3Db");
  EXPECT_EQ(encodeQuotedPrintable("\t. ;\x01"), "\t. ;\x01");
  EXPECT_EQ(encodeQuotedPrintable("a\r\nb\rc\n"), "a\nbc\n");
  EXPECT_EQ(encodeQuotedPrintable("a  \nb"), "a  \nb");
}

TEST(EncodeQuotedPrintable, SoftBreaksKeepLinesShortAndEscapesWhole) {
  // 70 ordinary characters: 69 and the "=" of the soft break, then the 70th.
  EXPECT_EQ(encodeQuotedPrintable(Repeat("x", 70)), Repeat("x", 69) + "=\n" + "x");
  // An escape that starts at column 68 stays whole; the break follows it.
  EXPECT_EQ(encodeQuotedPrintable(Repeat("x", 68) + "\xE9" + "abc"), Repeat("x", 68) + "=E9=\nabc");
  // A run of 8-bit bytes breaks between escapes, never beyond 72 + "=".
  EXPECT_EQ(encodeQuotedPrintable(Repeat("\xFC", 30)), Repeat("=FC", 23) + "=\n" + Repeat("=FC", 7));
  // A hard line end resets the column.
  EXPECT_EQ(encodeQuotedPrintable(Repeat("x", 60) + "\n" + Repeat("y", 60)),
            Repeat("x", 60) + "\n" + Repeat("y", 60));
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
