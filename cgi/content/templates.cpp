// Mail templates; see templates.h.
#include "content/templates.h"

#include "content/placeholders.h"
#include "core/text.h"
#include "documents/files.h"

namespace quillo {
namespace {

constexpr std::string_view kTextMarker = "[QUILLO_TEMPLATE_TEXT]";
constexpr std::string_view kHtmlMarker = "[QUILLO_TEMPLATE_HTML]";
// A section starts behind its marker and the one character that follows it.
constexpr int kSectionOffset = 23;

}  // namespace

TemplateParts CutTemplate(std::string_view c) {
  const int html_at = FindText(c, kHtmlMarker);
  const int text_at = FindText(c, kTextMarker);
  TemplateParts parts;
  if (html_at < 0 && text_at < 0) {
    const bool is_html = FindText(UpperCopy(c), "<HTML>") >= 0;
    (is_html ? parts.html : parts.text) = std::string(c);
    (is_html ? parts.html_filled : parts.text_filled) = true;
    return parts;
  }
  if (html_at < 0 || text_at < 0) {
    const bool is_html = html_at >= 0;
    // The HTML section keeps the marker line's LF: it is taken from the end
    // of the marker, the text section from the character behind that LF.
    const int start = is_html ? html_at + static_cast<int>(kHtmlMarker.size()) : text_at + kSectionOffset;
    (is_html ? parts.html : parts.text) = Mid(c, start);
    (is_html ? parts.html_filled : parts.text_filled) = true;
    return parts;
  }
  const int first = std::min(html_at, text_at);
  const int later = std::max(html_at, text_at);
  std::string first_section = Mid(c, first + kSectionOffset, later - (first + kSectionOffset));
  std::string later_section = Mid(c, later + kSectionOffset);
  const bool html_first = html_at < text_at;
  parts.html = html_first ? std::move(first_section) : std::move(later_section);
  parts.text = html_first ? std::move(later_section) : std::move(first_section);
  parts.text_filled = parts.html_filled = true;
  return parts;
}

void LoadMailTemplate(const FormRequest& request, const FileReader& files, const std::string& path,
                      std::string& text_part, std::string& html_part) {
  TemplateParts parts = CutTemplate(ReadDocumentFile(files, path));
  if (parts.text_filled) SubstitutePlaceholders(request, parts.text, Target::PlainText);
  if (parts.html_filled) SubstitutePlaceholders(request, parts.html, Target::Html);
  text_part = std::move(parts.text);
  html_part = std::move(parts.html);
}

}  // namespace quillo
