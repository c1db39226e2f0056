// The reject list; see reject_list.h.
#include "documents/reject_list.h"

#include "core/text.h"
#include "documents/files.h"

namespace quillo {

bool RejectTextLists(std::string_view list_text, std::string_view address) {
  const std::string upper_address = UpperCopy(address);
  std::size_t from = 0;
  while (from <= list_text.size()) {
    std::size_t lf = list_text.find('\n', from);
    if (lf == std::string_view::npos) lf = list_text.size();
    const std::string entry = UpperCopy(Trimmed(list_text.substr(from, lf - from)));
    if (!entry.empty() && upper_address.find(entry) != std::string::npos) return true;
    from = lf + 1;
  }
  return false;
}

bool MatchRejectList(const FileReader& files, const std::string& path, std::string_view address) {
  if (address.empty()) return false;
  return RejectTextLists(ReadDocumentFile(files, path), address);
}

}  // namespace quillo
