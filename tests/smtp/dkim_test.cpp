// DKIM signing byte for byte: relaxed canonical forms of header fields and
// bodies (RFC 6376 3.4.2, 3.4.4 and the example of 3.4.5), base64 against
// the RFC 4648 vectors, and whole DKIM-Signature headers for a fixed key,
// time and message. The expected b= and bh= values were made apart from
// this code, by the openssl command from the canonical texts written out by
// hand in the comments; test_dkim.py has python3-dkim verify real ones.
#include "smtp/dkim.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/crypto.h"

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
//             s=form2024; t=1704099600; h=From:To:Subject:Date:MIME-Version:Content-Type:
//             X-Priority; bh=vy9223RLNu1Z0NC3Sx84rHcgeIGcZjpUHE/b1exH6/E=; b=
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
    "\ts=form2024; t=1704099600; h=From:To:Subject:Date:MIME-Version:Content-Type:\r\n"
    "\tX-Priority; bh=vy9223RLNu1Z0NC3Sx84rHcgeIGcZjpUHE/b1exH6/E=; b=fg/uewsxZ1x8EF\r\n"
    "\t3ZkwZ39Ps6Kz+63wwXNnL40WlUyUM1xuLfRFSPN9NU8oGwzxf/KyvhOybjgQYymexrYDkgNWYTv5H\r\n"
    "\tgZ/RoGj/ghvfbJGyfH9wXporf/+uOuCyXfFC/6Hjmg6x1/MxBA8WzjxeIjDJ5LccViZtvk3KpX+6v\r\n"
    "\tFGEySTBF/Ge/YffVTFGzBDfViuoJWTs/z6M1rNsDCKbN3diJf8P9ZylR+Vi0vYhAMwp0NPTTnlz+N\r\n"
    "\t3gdRcyoEytYHspRYs4BlFFf5JfmRzByGAKrer3mODAjsmy+g+SU+RJFHEmCsDI63LsCHXPO9PBGaN\r\n"
    "\tEGmfuQLgsZSEtOpWFx8A==\r\n";

// Names in any case, Subject twice (the last one signed), a Reply-To, and
// no empty line, so no body.
//   body:  ""
//   signed: from:<form@example.test>
//           reply-to:<visitor@example.test>
//           to:<a@example.test>
//           subject:Re: second
//           date:Mon, 01 Jan 2024 10:00:00 +0100
//           content-type:text/html; charset="iso-8859-1"
//           content-transfer-encoding:quoted-printable
//           dkim-signature:v=1; a=rsa-sha256; c=relaxed/relaxed; d=mail.quillo.test;
//             s=s1; t=1700000000; h=From:Reply-To:To:Subject:Date:Content-Type:
//             Content-Transfer-Encoding; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=; b=
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
    "\ts=s1; t=1700000000; h=From:Reply-To:To:Subject:Date:Content-Type:\r\n"
    "\tContent-Transfer-Encoding; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
    "\tb=lfxje7cNeU9vxsqb4ai1+DfU39BQIKEIDXiF2IIwMsaYfKpqNMRc1XtpZnG897CiaXFKK0SLFpU\r\n"
    "\tKEoIL67oOQY/5AExy9AKbpoAone5HBJnXE18FIzmsmvbAEeg7t72EibjflPEPY/bqRHQihtcq8jYn\r\n"
    "\tLUyZ0BfRlzWHDTaVjHRR9MDs2pvMmaSxQQfrpu8/CTX9YiUuSxAAD/jY0rxh1voOpp30MZRTU3HWg\r\n"
    "\tb3m0Tuvnd/a2KdXx6Wdzhf5ueO6atRDjKVYBlY1lESInW+SP1yz7xgXpEqYN9bVFAvQLiBB4VpqKb\r\n"
    "\tagSP/vDGK2fVspMRdgW1RsMjALSLTTnqtZrA==\r\n";

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
    // A build that cannot sign (Windows) signs nothing, whatever the key.
    if (!platform::SigningAvailable()) {
      EXPECT_FALSE(header.has_value()) << c.message;
      continue;
    }
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
