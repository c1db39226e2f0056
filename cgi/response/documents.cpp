// Document names and document files; see documents.h.
#include "response/documents.h"

#include "content/text.h"
#include "platform/system.h"
#include "response/pages.h"

namespace quillo {
namespace {

// Documents are read line by line into a buffer of 16384 bytes, one of which
// holds the terminating NUL.
constexpr std::size_t kDocumentLinePiece = 16383;

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> RefuseDocumentName(std::string_view trimmed_name) {
  const std::string lower = LowerCopy(trimmed_name);
  if (Contains(lower, "..")) return Error704DirectoryChange(trimmed_name, DirectoryHint::Long);
  if (Contains(lower, "/")) return Error704DirectoryChange(trimmed_name, DirectoryHint::Short);
  if (Contains(lower, "\\")) return Error704DirectoryChange(trimmed_name, DirectoryHint::Long);
  if (FindAnyOf(lower, ":|") >= 0) return Error701InvalidCharacters(trimmed_name);
  for (const char* executable : {".exe", ".cgi", ".isapi"}) {
    if (Contains(lower, executable)) return Error702Executable(trimmed_name);
  }
  if (Contains(lower, ".dll")) return Error703Library(trimmed_name);
  if (!lower.empty() && lower.front() == '.') return Error701InvalidCharacters(trimmed_name);
  return std::nullopt;
}

std::string ResolveDocumentName(const FormRequest& request, std::string_view name) {
  const std::string trimmed = Trimmed(name);
  if (trimmed.empty()) return {};
  if (auto refusal = RefuseDocumentName(trimmed)) WriteErrorPage(*refusal);
  std::string path = request.program_path;
  ReplaceAll(path, "quillopro.exe", trimmed);
  return path;
}

std::vector<std::string_view> LinePieces(std::string_view text, std::size_t max_piece) {
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t lf = text.find('\n', from);
    const std::size_t line_end = lf == std::string_view::npos ? text.size() : lf + 1;
    const std::size_t length = std::min(line_end - from, max_piece);
    pieces.push_back(text.substr(from, length));
    from += length;
  }
  return pieces;
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

std::optional<std::string> ReadSiteFile(const std::string& path) {
  platform::FileText file = platform::ReadTextFile(path, kMaxDocumentBytes);
  switch (file.status) {
    case platform::FileStatus::kRead:
      return std::move(file.text);
    case platform::FileStatus::kMissing:
      return std::nullopt;
    case platform::FileStatus::kUnreadable:
      WriteErrorPage(Error600FileNotReadable(path));
    case platform::FileStatus::kTooLarge:
      WriteErrorPage(Error601FileTooLarge(path, kMaxDocumentBytes));
  }
  WriteErrorPage(Error600FileNotReadable(path));
}

std::string ReadDocumentFile(const std::string& path) {
  const std::optional<std::string> text = ReadSiteFile(path);
  if (!text) WriteErrorPage(Error600FileNotReadable(path));
  return DocumentText(*text);
}

bool RejectTextLists(std::string_view list_text, std::string_view address) {
  const std::string upper_address = UpperCopy(address);
  std::size_t from = 0;
  while (from <= list_text.size()) {
    std::size_t lf = list_text.find('\n', from);
    if (lf == std::string_view::npos) lf = list_text.size();
    const std::string entry = UpperCopy(Trimmed(list_text.substr(from, lf - from)));
    if (!entry.empty() && Contains(upper_address, entry)) return true;
    from = lf + 1;
  }
  return false;
}

bool MatchRejectList(const std::string& path, std::string_view address) {
  if (address.empty()) return false;
  return RejectTextLists(ReadDocumentFile(path), address);
}

}  // namespace quillo
