// Reading the site's files; see files.h.
#include "documents/files.h"

#include <algorithm>

#include "core/messages.h"
#include "core/text.h"

namespace quillo {
namespace {

// Documents are read line by line into a buffer of 16384 bytes, one of which
// holds the terminating NUL.
constexpr std::size_t kDocumentLinePiece = 16383;

}  // namespace

SiteFiles::SiteFiles(const FileReader& files, bool hide_paths) : files_(files), hide_paths_(hide_paths) {}

SiteFiles::SiteFiles(const FileReader& files, bool hide_paths,
                     const std::vector<std::string>& protected_paths)
    : files_(files), hide_paths_(hide_paths), guarded_(true) {
  for (const std::string& path : protected_paths) {
    if (auto identity = files.IdentityOf(path)) protected_.push_back(*identity);
  }
}

FileText SiteFiles::ReadTextFile(const std::string& path, std::size_t max_bytes) const {
  FileText file = files_.ReadTextFile(path, max_bytes);
  if (!guarded_ || file.status != FileStatus::kRead) return file;
  const bool own =
      file.identity && std::find(protected_.begin(), protected_.end(), *file.identity) != protected_.end();
  if (own || HoldsPrivateKey(file.text)) return {FileStatus::kProtected, {}, file.identity};
  return file;
}

std::optional<FileIdentity> SiteFiles::IdentityOf(const std::string& path) const {
  return files_.IdentityOf(path);
}

std::string SiteFiles::ShownPath(const std::string& path) const {
  return hide_paths_ ? FileNameOf(path) : files_.ShownPath(path);
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool HoldsPrivateKey(std::string_view text) {
  // RFC 7468 2: a "-----BEGIN label-----" line; every private key's label
  // ends in "PRIVATE KEY" ("RSA PRIVATE KEY", "ENCRYPTED PRIVATE KEY", ...).
  constexpr std::string_view kBegin = "-----BEGIN ";
  constexpr std::string_view kLabelEnd = "PRIVATE KEY-----";
  for (std::size_t at = text.find(kBegin); at != std::string_view::npos; at = text.find(kBegin, at + 1)) {
    const std::size_t line_end = text.find('\n', at);
    const std::string_view line =
        text.substr(at, line_end == std::string_view::npos ? line_end : line_end - at);
    if (line.find(kLabelEnd) != std::string_view::npos) return true;
  }
  return false;
}

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
      WriteErrorPage(Error601FileTooLarge(files.ShownPath(path), kMaxDocumentBytes));
    case FileStatus::kProtected:
      WriteErrorPage(Error705SiteFile(FileNameOf(path)));
    case FileStatus::kUnreadable:
      break;
  }
  WriteErrorPage(Error600FileNotReadable(files.ShownPath(path)));
}

std::string ReadDocumentFile(const FileReader& files, const std::string& path) {
  const std::optional<std::string> text = ReadSiteFile(files, path);
  if (!text) WriteErrorPage(Error600FileNotReadable(files.ShownPath(path)));
  return DocumentText(*text);
}

}  // namespace quillo
