// Document names; see names.h.
#include "documents/names.h"

#include "core/messages.h"
#include "core/text.h"

namespace quillo {
namespace {

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

bool HasDocumentExtension(std::string_view name) {
  const std::string lower = LowerCopy(name);
  for (std::string_view extension : {".htm", ".html", ".txt", ".tpl"}) {
    if (lower.size() > extension.size() && EndsWith(lower, extension)) return true;
  }
  return false;
}

std::string SiteFilePath(const std::string& program_path, std::string_view name) {
  std::string path = program_path;
  ReplaceAll(path, "quillopro.exe", name);
  return path;
}

std::string ResolveDocumentName(const FormRequest& request, std::string_view name) {
  const std::string trimmed = Trimmed(name);
  if (trimmed.empty()) return {};
  if (auto refusal = RefuseDocumentName(trimmed)) WriteErrorPage(*refusal);
  const std::string lower = LowerCopy(trimmed);
  if (lower == "quillopro.ini" || lower == "recipients.txt") WriteErrorPage(Error705SiteFile(trimmed));
  return SiteFilePath(request.program_path, trimmed);
}

}  // namespace quillo
