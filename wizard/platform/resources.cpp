#include "resources.h"

namespace quillogen {

std::string Resources::String(int id) const {
  const auto found = strings_.find(id);
  return found == strings_.end() ? std::string() : found->second;
}

const DialogTemplate& Resources::Dialog(int id) const {
  const auto found = dialogs_.find(id);
  if (found == dialogs_.end()) throw ResourceError("no dialog template " + std::to_string(id));
  return found->second;
}

std::string Resources::Version(const std::string& key) const {
  const auto found = version_.find(key);
  return found == version_.end() ? std::string() : found->second;
}

}  // namespace quillogen
