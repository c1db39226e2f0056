// Result documents and the usage line; see pages.h.
#include "response/pages.h"

#include "content/placeholders.h"
#include "core/messages.h"
#include "core/run_end.h"
#include "documents/files.h"

namespace quillo {

std::string RenderResultDocument(std::string_view document) {
  std::string page(kHtmlHeader);
  page.reserve(page.size() + document.size());
  for (char c : document) {
    if (c != '\r') page.push_back(c);
  }
  return page;
}

void SendResultDocument(const FormRequest& request, const FileReader& files, const std::string& path) {
  std::string document = ReadDocumentFile(files, path);
  SubstitutePlaceholders(request, document, Target::Html);
  EndRun({RenderResultDocument(document), 0, AnswerKind::kDocument, 0, {}, path});
}

void WriteUsageLine(bool under_web_server) {
  const std::string header = under_web_server ? "Content-Type: text/plain\n\n" : "";
  EndRun({header + "Place this file in your /cgi-bin or /scripts directory\n", 0});
}

}  // namespace quillo
