// Names of the files a form asks for: the check of a document name and the
// path next to the program.
//
// A visitor can change every name the form sends, so only a bare
// "filename.extension" is accepted: nothing that leaves the program's own
// directory and nothing that names an executable or a library.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/form_request.h"

namespace quillo {

// The error message that refuses a trimmed document name, or nothing when
// the name is acceptable. Besides the names that leave the folder or name a
// program, a name starting with "." is refused: such files (.htaccess,
// .htpasswd) are the web server's, never a page of the site.
std::optional<std::string> RefuseDocumentName(std::string_view trimmed_name);

// Whether a name ends in the extension of a page, a text or a template:
// .htm, .html, .txt or .tpl, in any case. With the site's settings only such
// names (or those the settings list) are documents of a form, so that an
// editor's backup of a secret file (quillopro.ini~, quillopro.ini.bak,
// #dkim.pem#) is never one.
bool HasDocumentExtension(std::string_view name);

// The path of a file next to the program at program_path.
std::string SiteFilePath(const std::string& program_path, std::string_view name);

// The path of the named document next to the program; empty for an empty
// name. Ends the run with ERROR 701-704 on a refused name, and with ERROR 705
// for the program's own settings file or allow-list, which are never a
// page, a template or a list of the form's.
std::string ResolveDocumentName(const FormRequest& request, std::string_view name);

}  // namespace quillo
