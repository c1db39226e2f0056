// DKIM signing byte for byte: relaxed canonical forms of header fields and
// bodies (RFC 6376 3.4.2, 3.4.4 and the example of 3.4.5), base64 against
// the RFC 4648 vectors, and whole DKIM-Signature headers for a fixed key,
// time and message. The expected b= and bh= values were made apart from
// this code, by the openssl command from the canonical texts written out by
// hand in the comments; test_dkim.py has python3-dkim verify real ones.
#include "delivery/dkim.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace quillo {
namespace {

std::string TestKey() {
  std::ifstream file(QUILLO_DKIM_TEST_KEY, std::ios::binary);
  std::ostringstream pem;
  pem << file.rdbuf();
  return pem.str();
}

TEST(RelaxedHeader, LowersTheNameAndUnfoldsAndCompressesTheValue) {
  const struct {
    std::string_view name;
    std::string_view value;
    std::string_view canonical;
  } cases[] = {
      {"Subject", " Hello   there ", "subject:Hello there\r\n"},
      {"SUBJECT \t", "\tx", "subject:x\r\n"},
      {"Content-Type", " multipart/alternative;\r\n\tboundary=\"b\"",
       "content-type:multipart/alternative; boundary=\"b\"\r\n"},
      {"To", " <a@example.test>,\r\n <b@example.test>", "to:<a@example.test>, <b@example.test>\r\n"},
      {"To", " <a@example.test>,\r\n<b@example.test>", "to:<a@example.test>,<b@example.test>\r\n"},
      {"X-Empty", "", "x-empty:\r\n"},
      {"X-Empty", " \t \r\n\t ", "x-empty:\r\n"},
      {"Subject", " J\xFCrgen \xE9", "subject:J\xFCrgen \xE9\r\n"},
      // RFC 6376 3.4.5: "A: X" and "B : Y <TAB>" folded before " Z  ".
      {"A", " X", "a:X\r\n"},
      {"B ", " Y\t\r\n\tZ  ", "b:Y Z\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RelaxedHeader(c.name, c.value), c.canonical) << c.name << c.value;
}

TEST(RelaxedBody, CompressesBlanksAndDropsThemAtLineEndsAndEmptyLinesAtTheEnd) {
  const struct {
    std::string_view body;
    std::string_view canonical;
  } cases[] = {
      {"", ""},
      {"\r\n", ""},
      {"\r\n\r\n\r\n", ""},
      {" \t \r\n", ""},
      // RFC 6376 3.4.5.
      {" C \r\nD \t E\r\n\r\n\r\n", " C\r\nD E\r\n"},
      {"a\r\n\r\nb\r\n", "a\r\n\r\nb\r\n"},
      {"a  \r\n \t\r\nb", "a\r\n\r\nb\r\n"},
      {"x\ty  z\r\n  \r\n", "x y z\r\n"},
      {"Name: J=FCrgen\r\n\xE9t\xE9 \r\n", "Name: J=FCrgen\r\n\xE9t\xE9\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(RelaxedBody(c.body), c.canonical) << c.body;
}

// A multipart mail as the program sends it: a folded Content-Type, X-Mailer
// left unsigned, blanks to compress, empty lines at the end of the body.
//   body:  "Name: J=FCrgen\r\n"
//   signed: from:Web Form <form@example.test>
//           to:<a@example.test>,<b@example.test>
//           subject:Hello there
//           date:Mon, 01 Jan 2024 10:00:00 +0100
//           mime-version:1.0
//           content-type:multipart/alternative; boundary="----=_NextPart_TESSIK_QUILLO_PRO"
//           x-priority:3
//           dkim-signature:v=1; a=rsa-sha256; c=relaxed/relaxed; d=quillo.test;
//             s=form2024; t=1704099600; h=From:From:Reply-To:To:To:Cc:Subject:Subject:Date:
//             Date:MIME-Version:MIME-Version:Content-Type:Content-Type:
//             Content-Transfer-Encoding:X-Priority:X-Priority;
//             bh=vy9223RLNu1Z0NC3Sx84rHcgeIGcZjpUHE/b1exH6/E=; b=
//   (CR LF after each field but the last; the last on one line, one blank
//   where it breaks here)
constexpr std::string_view kMultipartMessage =
    "From: Web Form <form@example.test>\r\n"
    "To: <a@example.test>,<b@example.test>\r\n"
    "Subject: Hello   there\r\n"
    "Date: Mon, 01 Jan 2024 10:00:00 +0100\r\n"
    "X-Mailer: Tessik Quillo!Pro v4\r\n"
    "X-Priority: 3\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative;\r\n"
    "\tboundary=\"----=_NextPart_TESSIK_QUILLO_PRO\"\r\n"
    "\r\n"
    "Name:   J=FCrgen\r\n"
    "\r\n"
    "\r\n";
constexpr std::string_view kMultipartSignature =
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=quillo.test;\r\n"
    "\ts=form2024; t=1704099600; h=From:From:Reply-To:To:To:Cc:Subject:Subject:Date:\r\n"
    "\tDate:MIME-Version:MIME-Version:Content-Type:Content-Type:\r\n"
    "\tContent-Transfer-Encoding:X-Priority:X-Priority;\r\n"
    "\tbh=vy9223RLNu1Z0NC3Sx84rHcgeIGcZjpUHE/b1exH6/E=; b=FrBzNDhs8X8JVrPwiTcn/114r4\r\n"
    "\tOdn5eKXqHqAaqzxnK0Kf3B6Yh2yGuQ+xnS4tlMmSVL5bbvCSaG/ZMWCVFNVSLVIOGLN/ohXPtj0Fm\r\n"
    "\tosJMOG+WnvCc8q5keYfEhLqypINRmv4oiI9uYre/Hz7yqLNQkDqDfevTvJm/8y0ZNmlTN1kPkZSkL\r\n"
    "\tn3UHcE6if5G8Pgbbtm07wo5WKzDQqMQvwpa3fDV18FSSrlYEzFSsYHG2qZXiEm1bRLWopLkyzTMC5\r\n"
    "\tL8QU4h5Tps8cKRaOL46BWrPPAoiSFb27891lZqxFuif0DAKwcmsMv6TLVraR9w9fdWTICAKKSyhSk\r\n"
    "\tu5ymVdGw==\r\n";

// Names in any case, Subject twice (both signed, from the bottom), a
// Reply-To, and no empty line, so no body. Every covered name is listed
// once more than it occurs, so that none can be added.
//   body:  ""
//   signed: from:<form@example.test>
//           reply-to:<visitor@example.test>
//           to:<a@example.test>
//           subject:Re: second
//           subject:first
//           date:Mon, 01 Jan 2024 10:00:00 +0100
//           content-type:text/html; charset="iso-8859-1"
//           content-transfer-encoding:quoted-printable
//           dkim-signature:v=1; a=rsa-sha256; c=relaxed/relaxed; d=mail.quillo.test;
//             s=s1; t=1700000000; h=From:From:Reply-To:Reply-To:To:To:Cc:Subject:Subject:
//             Subject:Date:Date:MIME-Version:Content-Type:Content-Type:
//             Content-Transfer-Encoding:Content-Transfer-Encoding:X-Priority;
//             bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=; b=
constexpr std::string_view kHeaderOnlyMessage =
    "from: <form@example.test>\r\n"
    "Reply-To: <visitor@example.test>\r\n"
    "To: <a@example.test>\r\n"
    "SUBJECT: first\r\n"
    "Subject: Re:  second\r\n"
    "Date: Mon, 01 Jan 2024 10:00:00 +0100\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "Content-Type: text/html;\r\n"
    "\tcharset=\"iso-8859-1\"\r\n";
constexpr std::string_view kHeaderOnlySignature =
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=mail.quillo.test;\r\n"
    "\ts=s1; t=1700000000; h=From:From:Reply-To:Reply-To:To:To:Cc:Subject:Subject:\r\n"
    "\tSubject:Date:Date:MIME-Version:Content-Type:Content-Type:\r\n"
    "\tContent-Transfer-Encoding:Content-Transfer-Encoding:X-Priority;\r\n"
    "\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=; b=OSvN2zaeCNkoUbxVdF6u5GbY8n\r\n"
    "\tIUGJ5o/f7fcI+/wvd52MojuooJ26F1kMEStaHxQABVxLuYi6Zry6TJlRFq5g0MqUKoOaTh40GJE3g\r\n"
    "\tsfe3TXOSUL0eRl+UN+5LVvMd3PYmBXkfGYcS3KZ22DnTr11bXH8UHeM8BBYhP+GRZAilrljyoE9sg\r\n"
    "\tP4KOPQX15TklBJVX5PBrNsn/XnIo0NGN6QfrembAbt5k0CVrefKIOpRwftfaur4f3ibNdK9yO+SDD\r\n"
    "\tYKZvHiX00JfXin9C8MZU62BptexLvF+crKbkoGQKgtKdbtjzBJBKkGx3aAPA1ukVrFprV0VJKYdUm\r\n"
    "\tMX8TEXdA==\r\n";

TEST(DkimSignatureHeader, SignsTheListedFieldsAndTheBodyInFoldedLines) {
  const std::string pem = TestKey();
  const struct {
    std::string_view message;
    DkimKey key;
    std::time_t now;
    std::string_view header;
  } cases[] = {
      {kMultipartMessage, {"quillo.test", "form2024", pem}, 1704099600, kMultipartSignature},
      {kHeaderOnlyMessage, {"mail.quillo.test", "s1", pem}, 1700000000, kHeaderOnlySignature},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> header = DkimSignatureHeader(c.message, c.key, c.now);
    ASSERT_TRUE(header.has_value()) << c.message;
    EXPECT_EQ(*header, c.header);
  }
}

TEST(DkimSignatureHeader, SignsNothingWithoutFromOrWithAnUnusableKey) {
  const std::string pem = TestKey();
  const std::string no_from = "To: <a@example.test>\r\nSubject: x\r\n\r\nbody\r\n";
  // A From field in the body is none of the header's.
  const std::string from_in_body = "To: <a@example.test>\r\n\r\nFrom: <form@example.test>\r\n";
  const struct {
    const char* what;
    std::string_view message;
    DkimKey key;
  } cases[] = {
      {"no From", no_from, {"quillo.test", "s1", pem}},
      {"From in the body", from_in_body, {"quillo.test", "s1", pem}},
      {"empty message", "", {"quillo.test", "s1", pem}},
      {"domain with a tag", kMultipartMessage, {"quillo.test; x=y", "s1", pem}},
      {"selector with a line break", kMultipartMessage, {"quillo.test", "s1\r\nBcc: x", pem}},
      {"no domain", kMultipartMessage, {"", "s1", pem}},
      {"no selector", kMultipartMessage, {"quillo.test", "", pem}},
      {"no key", kMultipartMessage, {"quillo.test", "s1", ""}},
      {"key cut short", kMultipartMessage, {"quillo.test", "s1", pem.substr(0, pem.size() / 2)}},
  };
  for (const auto& c : cases) EXPECT_FALSE(DkimSignatureHeader(c.message, c.key, 0).has_value()) << c.what;
}

}  // namespace
}  // namespace quillo
