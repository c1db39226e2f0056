// Reading the site's files; see files.h.
#include "documents/files.h"

#include "core/messages.h"
#include "core/text.h"

namespace quillo {
namespace {

// Documents are read line by line into a buffer of 16384 bytes, one of which
// holds the terminating NUL.
constexpr std::size_t kDocumentLinePiece = 16383;

}  // namespace

std::string DocumentText(std::string_view file_text) {
  if (file_text.find('\0') == std::string_view::npos) return std::string(file_text);
  std::string text;
  text.reserve(file_text.size());
  for (std::string_view piece : LinePieces(file_text, kDocumentLinePiece)) {
    text.append(piece.substr(0, piece.find('\0')));
  }
  return text;
}

std::optional<std::string> ReadSiteFile(const FileReader& files, const std::string& path) {
  FileText file = files.ReadTextFile(path, kMaxDocumentBytes);
  switch (file.status) {
    case FileStatus::kRead:
      return std::move(file.text);
    case FileStatus::kMissing:
      return std::nullopt;
    case FileStatus::kTooLarge:
      WriteErrorPage(Error601FileTooLarge(path, kMaxDocumentBytes));
    case FileStatus::kUnreadable:
      break;
  }
  WriteErrorPage(Error600FileNotReadable(path));
}

std::string ReadDocumentFile(const FileReader& files, const std::string& path) {
  const std::optional<std::string> text = ReadSiteFile(files, path);
  if (!text) WriteErrorPage(Error600FileNotReadable(path));
  return DocumentText(*text);
}

}  // namespace quillo
