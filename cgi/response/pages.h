// What a run answers when it did its work: one of the site's own result
// documents with its placeholders filled, or the usage line when the program
// was started without a form.
#pragma once

#include <string>
#include <string_view>

#include "core/form_request.h"
#include "core/system.h"

namespace quillo {

// A result document after substitution: header block, then the text without
// any CR, so that CR LF files and CR LF field values both end lines once.
std::string RenderResultDocument(std::string_view document);

// Reads the document (ERROR 600 or 601 when it cannot be), fills its
// placeholders and ends the run with it (see run_end.h). Throws
// SubstitutionTooLarge when its placeholders grow past their bound; what to
// show then is the caller's choice.
[[noreturn]] void SendResultDocument(const FormRequest& request, const FileReader& files,
                                     const std::string& path);

// The only answer to a start without a CGI request. Under a web server (a
// browser opening the program's address) the line comes as a text page, as
// the server needs a header; from a shell it is the bare line.
[[noreturn]] void WriteUsageLine(bool under_web_server);

}  // namespace quillo
