// Fuzz target: file texts and names through the template cut, the
// allow-list and reject-list readers and the document-name check.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "content/templates.h"
#include "documents/files.h"
#include "documents/names.h"
#include "documents/reject_list.h"
#include "request/field_checks.h"
#include "settings/site_settings.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TemplateParts parts = CutTemplate(text);
  if (parts.text.size() > text.size() || parts.html.size() > text.size()) std::abort();
  for (const std::string& entry : ParseAllowList(text)) {
    if (entry.empty() || entry.find('#') != std::string::npos) std::abort();
  }
  ParseSiteSettings(text);
  const std::size_t half = size / 2;
  RejectTextLists(text.substr(0, half), text.substr(half));
  if (DocumentText(text).size() > text.size()) std::abort();
  const auto refusal = RefuseDocumentName(text);
  if (!refusal && (text.find("..") != std::string_view::npos || text.find('/') != std::string_view::npos)) {
    std::abort();
  }
  return 0;
}
