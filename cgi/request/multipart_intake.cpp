// Reading a multipart/form-data post; see multipart_intake.h.
#include "request/multipart_intake.h"

#include <algorithm>

#include "core/messages.h"
#include "core/run_end.h"
#include "request/intake.h"
#include "response/answer_forms.h"
#include "upload/file_checks.h"
#include "upload/multipart_reader.h"

namespace quillo {
namespace {

constexpr std::size_t kReadPiece = 64 * 1024;

std::string AllowedTypesText(const UploadSettings& uploads) {
  std::string text;
  for (const std::string& type : uploads.allowed_types) text += (text.empty() ? "" : ", ") + type;
  return text;
}

// The parts of the post as they come: text parts become fields, file parts
// attachments, each bound checked as the bytes arrive.
class FormPartSink : public MultipartSink {
 public:
  FormPartSink(FormRequest& request, const UploadSettings& uploads)
      : request_(request), uploads_(uploads), fields_(request, 0) {}

  // What the post has still to send: no file is longer.
  void SetUnread(std::size_t unread) { unread_ = unread; }

  void StartPart(const PartHeaders& headers) override {
    is_file_ = headers.filename.has_value();
    file_started_ = false;
    if (is_file_) {
      sent_file_name_ = *headers.filename;
      file_ = {};
    } else {
      name_ = headers.name;
      value_.clear();
    }
  }

  void PartBytes(std::string_view bytes) override {
    if (!is_file_) {
      text_bytes_ += bytes.size();
      if (text_bytes_ > static_cast<std::size_t>(kMaxBodyBytes))
        WriteErrorPage(Error306RequestTooLarge(kMaxBodyBytes));
      value_.append(bytes);
      return;
    }
    if (!file_started_) StartFile(bytes.size());
    if (file_.bytes.size() + bytes.size() > uploads_.max_file_size)
      WriteErrorPageWithStatus(413, Error311FileTooLarge(file_.name, uploads_.max_file_size));
    if (file_bytes_ + bytes.size() > uploads_.max_total_size)
      WriteErrorPageWithStatus(413, Error313FilesTooLarge(uploads_.max_total_size));
    file_bytes_ += bytes.size();
    file_.bytes.append(bytes);
  }

  void EndPart() override {
    if (!is_file_) {
      AddTextField();
      return;
    }
    // A file input with no file chosen sends an empty part: no attachment.
    if (!file_started_) return;
    const auto type = AttachmentType(file_.name, file_.bytes, uploads_.allowed_types);
    if (!type) WriteErrorPageWithStatus(415, Error314FileTypeRefused(file_.name, AllowedTypesText(uploads_)));
    file_.content_type = *type;
    file_.size = file_.bytes.size();
    request_.attachments.push_back(std::move(file_));
  }

 private:
  // The first bytes of a file: it counts now, and its name is checked
  // before the rest of it is read.
  void StartFile(std::size_t first_piece) {
    file_started_ = true;
    if (request_.attachments.size() >= uploads_.max_files)
      WriteErrorPageWithStatus(413, Error312TooManyFiles(uploads_.max_files));
    file_.name = CleanFileName(sent_file_name_, request_.attachments.size() + 1);
    if (!NameAllowed(file_.name, uploads_.allowed_types))
      WriteErrorPageWithStatus(415, Error314FileTypeRefused(file_.name, AllowedTypesText(uploads_)));
    // Reserved, not touched: the file is never copied as it grows, and
    // pages it does not fill are never taken.
    file_.bytes.reserve(std::min(unread_ + first_piece, uploads_.max_file_size));
  }

  // As the pair name=value decodes: a NUL ends it, the name ends at its
  // first "=".
  void AddTextField() {
    std::string name = std::move(name_);
    std::string value = std::move(value_);
    const std::size_t nul = name.find('\0');
    if (nul != std::string::npos) {
      name.resize(nul);
      value.clear();
    }
    CutAtNul(value);
    const std::size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1) + "=" + value;
      name.resize(eq);
    }
    fields_.Add(std::move(name), std::move(value));
  }

  FormRequest& request_;
  const UploadSettings& uploads_;
  FieldCollector fields_;
  std::size_t unread_ = 0;
  std::size_t text_bytes_ = 0;
  std::size_t file_bytes_ = 0;
  bool is_file_ = false;
  bool file_started_ = false;
  std::string name_;
  std::string value_;
  std::string sent_file_name_;
  Attachment file_;
};

std::string WhyUnreadable(MultipartProblem problem) {
  switch (problem) {
    case MultipartProblem::kHeadersTooLarge:
      return "has a part whose header lines pass the bound of " + std::to_string(kMaxPartHeaderLines) +
             " lines of " + std::to_string(kMaxPartHeaderLine) + " bytes";
    case MultipartProblem::kNoDisposition:
      return "has a part without Content-Disposition: form-data and a name";
    case MultipartProblem::kTruncated:
      return "ended before its closing boundary: the post was cut short";
    case MultipartProblem::kMalformed:
    case MultipartProblem::kNone:
      break;
  }
  return "does not write its boundaries and header lines as RFC 7578 does, each line ended by CR LF";
}

}  // namespace

std::string FilesList(const std::vector<Attachment>& attachments) {
  std::string list;
  for (const Attachment& file : attachments) {
    if (!list.empty()) list += "\n";
    list += DescribedFile(file);
  }
  return list;
}

void ReadMultipartBody(System& system, const UploadSettings& uploads, FormRequest& request) {
  const std::optional<std::string> boundary = BoundaryOf(request.content_type);
  if (!boundary)
    WriteErrorPage(
        Error315FormDataUnreadable("comes without a boundary of 1 to 70 characters in its Content-Type"));
  // Every byte past the text a form may send and the files it may carry is
  // too much: refused before it is read.
  const auto length = static_cast<std::size_t>(request.content_length);
  if (length > uploads.max_total_size + static_cast<std::size_t>(kMaxBodyBytes))
    WriteErrorPageWithStatus(413, Error313FilesTooLarge(uploads.max_total_size));
  FormPartSink sink(request, uploads);
  MultipartReader reader(*boundary, sink);
  std::string piece;
  piece.reserve(kReadPiece);
  for (std::size_t unread = length; unread > 0;) {
    piece.clear();
    const long got = system.AppendStdin(piece, std::min(unread, kReadPiece));
    if (got < 0) EndRun({"", -1});
    if (got == 0) break;
    unread -= static_cast<std::size_t>(got);
    sink.SetUnread(unread);
    if (!reader.Feed(piece)) break;
  }
  if (!reader.Finish()) WriteErrorPage(Error315FormDataUnreadable(WhyUnreadable(reader.problem())));
  request.files_list = FilesList(request.attachments);
}

}  // namespace quillo
