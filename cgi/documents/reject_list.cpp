// The reject list; see reject_list.h.
#include "documents/reject_list.h"

#include "core/text.h"
#include "documents/files.h"

namespace quillo {

bool RejectTextLists(std::string_view list_text, std::string_view address) {
  const std::string upper_address = UpperCopy(address);
  for (std::string_view line : Lines(list_text)) {
    const std::string entry = UpperCopy(Trimmed(line));
    if (!entry.empty() && upper_address.find(entry) != std::string::npos) return true;
  }
  return false;
}

bool MatchRejectList(const FileReader& files, const std::string& path, std::string_view address) {
  if (address.empty()) return false;
  return RejectTextLists(ReadDocumentFile(files, path), address);
}

}  // namespace quillo
