// The bodies of a mail from a template file with "[QUILLO_TEMPLATE_TEXT]"
// and "[QUILLO_TEMPLATE_HTML]" sections (the built-in layouts are
// layouts.h's).
#pragma once

#include <string>
#include <string_view>

#include "core/form_request.h"
#include "core/system.h"

namespace quillo {

struct TemplateParts {
  std::string text;
  std::string html;
  bool text_filled = false;  // taken from the file (and so to be substituted)
  bool html_filled = false;
};

// Cuts a template file's text into its sections. Each section starts one
// character after its marker (the marker line's LF) and runs to the next
// marker or the end; text ahead of the first marker belongs to no section.
// A file without markers is one HTML body when it contains "<HTML>" in any
// case, else one text body.
TemplateParts CutTemplate(std::string_view file_text);

// Reads the template at path (ERROR 600 when unreadable), cuts it and fills
// its placeholders: the HTML section with escaped values.
void LoadMailTemplate(const FormRequest& request, const FileReader& files, const std::string& path,
                      std::string& text_part, std::string& html_part);

}  // namespace quillo
