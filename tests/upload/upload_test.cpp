// The multipart/form-data reader over whole bodies from a table, and the
// rules for file names and types.
#include <gtest/gtest.h>

#include "upload/file_checks.h"
#include "upload/multipart_reader.h"
#include "upload/upload_settings.h"

namespace quillo {
namespace {

// Every part as "name|filename-or-#|bytes", in order.
class RecordingSink : public MultipartSink {
 public:
  std::vector<std::string> parts;
  void StartPart(const PartHeaders& headers) override {
    parts.push_back(headers.name + "|" + headers.filename.value_or("#") + "|");
  }
  void PartBytes(std::string_view bytes) override { parts.back().append(bytes); }
  void EndPart() override { parts.back() += "$"; }
};

struct Read {
  std::vector<std::string> parts;
  MultipartProblem problem;
};

Read ReadBody(std::string_view body, std::size_t piece) {
  RecordingSink sink;
  MultipartReader reader("XyZ", sink);
  for (std::size_t at = 0; at < body.size(); at += piece) {
    if (!reader.Feed(body.substr(at, piece))) break;
  }
  reader.Finish();
  return {sink.parts, reader.problem()};
}

constexpr std::string_view kField = "Content-Disposition: form-data; name=\"a\"\r\n\r\n";

TEST(MultipartReader, ReadsBodiesAsTheRfcWritesThemInAnyPieces) {
  using P = MultipartProblem;
  const struct {
    std::string body;
    std::vector<std::string> parts;
    MultipartProblem problem;
  } cases[] = {
      {"--XyZ\r\n" + std::string(kField) + "1\r\n--XyZ--\r\n", {"a|#|1$"}, P::kNone},
      // A preamble and an epilogue are nobody's; padding after a delimiter is allowed.
      {"junk\r\n--XyZ \t\r\n" + std::string(kField) + "1\r\n--XyZ--\r\nepilogue", {"a|#|1$"}, P::kNone},
      // The boundary's text inside a value is data unless a line starts with it.
      {"--XyZ\r\n" + std::string(kField) + "x--XyZ\r\n-XyZ\r\n--XyZ--", {"a|#|x--XyZ\r\n-XyZ$"}, P::kNone},
      {"--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a;b.pdf\"\r\n"
       "Content-Type: application/pdf\r\n\r\n%PDF-\r\n--XyZ\r\n"
       "Content-Disposition: form-data; name=\"g\"; filename=\"\"\r\n\r\n\r\n--XyZ--",
       {"f|a;b.pdf|%PDF-$", "g||$"},
       P::kNone},
      {"--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.txt\"; "
       "filename*=UTF-8''%C3%9Cbersicht.txt\r\n\r\n1\r\n--XyZ--",
       {"f|\xC3\x9C"
        "bersicht.txt|1$"},
       P::kNone},
      // A filename* that does not decode: the plain name, or an empty one.
      {"--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename*=UTF-8''%C3\r\n\r\n1\r\n--XyZ--",
       {"f||1$"},
       P::kNone},
      {"--XyZ\r\nContent-Disposition: form-data; name=\"Say %22hi%22\"\r\n\r\n1\r\n--XyZ--",
       {"Say \"hi\"|#|1$"},
       P::kNone},
      {"--XyZ\r\n" + std::string(kField) + "1\r\n--XyZ\r\n" + std::string(kField) + "2\r\n--XyZ--",
       {"a|#|1$", "a|#|2$"},
       P::kNone},
      {"--XyZ--", {}, P::kNone},
      // LF alone ends no line; a part without Content-Disposition; no name.
      {"--XyZ\n" + std::string(kField) + "1\n--XyZ--\n", {}, P::kMalformed},
      {"--XyZ\r\nContent-Type: text/plain\r\n\r\n1\r\n--XyZ--", {}, P::kNoDisposition},
      {"--XyZ\r\n\r\n1\r\n--XyZ--", {}, P::kNoDisposition},
      {"--XyZ\r\nContent-Disposition: form-data; filename=\"x\"\r\n\r\n1\r\n--XyZ--", {}, P::kNoDisposition},
      {"--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n folded\r\n\r\n1\r\n--XyZ--",
       {},
       P::kMalformed},
      {"--XyZ\r\n" + std::string(kField) + "1\r\n--XyZjunk\r\n", {}, P::kMalformed},
      {"--XyZ\r\n" + std::string(kMaxPartHeaderLine + 1, 'x') + ":\r\n\r\n", {}, P::kHeadersTooLarge},
      {"--XyZ\r\n" + std::string(kMaxPartHeaderBytes + 10, 'x'), {}, P::kHeadersTooLarge},
      {"--XyZ\r\n" +
           [] {
             std::string lines;
             for (std::size_t i = 0; i <= kMaxPartHeaderLines; ++i) lines += "X-A: b\r\n";
             return lines;
           }() +
           "\r\n",
       {},
       P::kHeadersTooLarge},
      // Cut short: in a value, in the headers, before any delimiter, with no body at all.
      {"--XyZ\r\n" + std::string(kField) + "1\r\n--Xy", {}, P::kTruncated},
      {"--XyZ\r\nContent-Disp", {}, P::kTruncated},
      {"a=1&b=2", {}, P::kTruncated},
      {"", {}, P::kTruncated},
  };
  for (const auto& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, c.body.size() + 1}) {
      const Read read = ReadBody(c.body, piece);
      EXPECT_EQ(read.problem, c.problem) << c.body << " in pieces of " << piece;
      if (c.problem == P::kNone) {
        EXPECT_EQ(read.parts, c.parts) << c.body << " in pieces of " << piece;
      }
    }
  }
}

TEST(MultipartReader, TakesTheBoundaryFromTheContentType) {
  const struct {
    std::string content_type;
    std::optional<std::string> boundary;
  } cases[] = {
      {"multipart/form-data; boundary=----WebKitFormBoundaryAbc", "----WebKitFormBoundaryAbc"},
      {"multipart/form-data; charset=utf-8; BOUNDARY=\"a b:c\"", "a b:c"},
      {"multipart/form-data;boundary=x;other=y", "x"},
      {"multipart/form-data", std::nullopt},
      {"multipart/form-data; boundary=", std::nullopt},
      {"multipart/form-data; boundary=\"\"", std::nullopt},
      {"multipart/form-data; boundary=\"ends with blank \"", std::nullopt},
      {"multipart/form-data; boundary=a<b", std::nullopt},
      {"multipart/form-data; boundary=" + std::string(70, 'b'), std::string(70, 'b')},
      {"multipart/form-data; boundary=" + std::string(71, 'b'), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(BoundaryOf(c.content_type), c.boundary) << c.content_type;
}

TEST(FileChecks, CleanNamesKeepTheBaseNameWithinTheBound) {
  const std::string long_stem(kMaxFileNameBytes, 'a');
  const std::string umlauts = [] {
    std::string name;
    for (int i = 0; i < 150; ++i) name += "\xC3\xBC";  // 300 bytes of "ü"
    return name;
  }();
  const struct {
    std::string sent;
    std::string clean;
  } cases[] = {
      {"cv.pdf", "cv.pdf"},
      {"C:\\Users\\jo\\My CV.pdf", "My CV.pdf"},
      {"../../etc/passwd.txt", "passwd.txt"},
      {"a\"b\x01\x7F"
       "c\r\n.pdf",
       "abc.pdf"},
      {"report.pdf. . .", "report.pdf"},
      {".pdf", "attachment-3.pdf"},
      {"", "attachment-3"},
      {"dir/", "attachment-3"},
      {"bad\xFF\xFE.txt", "bad__.txt"},
      {"\xC3\x9C"
       "bersicht \xE6\x9D\xB1\xE4\xBA\xAC.pdf",
       "\xC3\x9C"
       "bersicht \xE6\x9D\xB1\xE4\xBA\xAC.pdf"},
      {long_stem + "b.pdf", std::string(kMaxFileNameBytes - 4, 'a') + ".pdf"},
      // A character is never split: 196 bytes hold 98 of the two-byte ones.
      {umlauts + ".pdf", umlauts.substr(0, 196) + ".pdf"},
  };
  for (const auto& c : cases) {
    const std::string clean = CleanFileName(c.sent, 3);
    EXPECT_EQ(clean, c.clean) << c.sent;
    EXPECT_LE(clean.size(), kMaxFileNameBytes);
    EXPECT_TRUE(IsValidUtf8(clean));
  }
}

TEST(FileChecks, TypesAreToldByExtensionAndFirstBytesAlike) {
  const TextList defaults = UploadSettings{}.allowed_types;
  const TextList widened = {"pdf", "txt", "exe", "svg", "html"};
  const struct {
    std::string_view name;
    std::string bytes;
    std::optional<std::string> type;
    const TextList* allowed;
  } cases[] = {
      {"cv.pdf", "%PDF-1.7\n", "application/pdf", &defaults},
      {"CV.PDF", "%PDF-1.7\n", "application/pdf", &defaults},
      {"shot.png", "\x89PNG\r\n\x1a\n....", "image/png", &defaults},
      {"photo.jpg", "\xFF\xD8\xFF\xE0", "image/jpeg", &defaults},
      {"a.gif", "GIF89a", "image/gif", &defaults},
      {"a.webp", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), "image/webp", &defaults},
      {"notes.txt", "plain words\r\n", "text/plain", &defaults},
      {"notes.txt",
       "gr\xC3\xBC\xC3\x9F"
       "e",
       "text/plain; charset=utf-8", &defaults},
      {"table.csv", "a,b\n1,2\n", "text/csv", &defaults},
      {"letter.docx", std::string("PK\x03\x04", 4) + "rest",
       "application/vnd.openxmlformats-officedocument.wordprocessingml.document", &defaults},
      {"a.zip", std::string("PK\x05\x06", 4), "application/zip", &defaults},
      // An executable renamed, a script, markup as text, bytes that do not match.
      {"cv.pdf", "MZ\x90\0", std::nullopt, &defaults},
      {"cv.pdf",
       "\x7F"
       "ELF",
       std::nullopt, &defaults},
      {"run.txt", "#!/bin/sh\n", std::nullopt, &defaults},
      {"page.txt", "\xEF\xBB\xBF  <!DOCTYPE html><p>", std::nullopt, &defaults},
      {"pic.txt", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", std::nullopt, &defaults},
      {"cv.pdf", "not a pdf", std::nullopt, &defaults},
      {"bin.txt", std::string("a\0b", 3), std::nullopt, &defaults},
      {"latin.txt",
       "gr\xFC\xDF"
       "e",
       std::nullopt, &defaults},
      {"shot.png", "%PDF-1.7", std::nullopt, &defaults},
      // Names refused whatever the bytes; the site's list narrows.
      {"cv.pdf.exe", "%PDF-1.7", std::nullopt, &defaults},
      {"cv.exe", "MZ", std::nullopt, &widened},
      {"logo.svg", "<svg/>", std::nullopt, &widened},
      {"index.html", "hello", std::nullopt, &widened},
      {"noextension", "%PDF-", std::nullopt, &defaults},
      {"shot.png", "\x89PNG\r\n\x1a\n", std::nullopt, &widened},
  };
  for (const auto& c : cases) EXPECT_EQ(AttachmentType(c.name, c.bytes, *c.allowed), c.type) << c.name;
}

}  // namespace
}  // namespace quillo
