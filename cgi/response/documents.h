// Files named by the form: the check of a document name, the path next to the
// program, reading a file whole, and the reject list of unwanted senders.
//
// A visitor can change every name the form sends, so only a bare
// "filename.extension" is accepted: nothing that leaves the program's own
// directory and nothing that names an executable or a library.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "request/form_request.h"

namespace quillo {

// The error message that refuses a trimmed document name, or nothing when
// the name is acceptable. Besides the names that leave the folder or name a
// program, a name starting with "." is refused: such files (.htaccess,
// .htpasswd) are the web server's, never a page of the site.
std::optional<std::string> RefuseDocumentName(std::string_view trimmed_name);

// The path of the named document next to the program; empty for an empty
// name. Ends the run with ERROR 701-704 on a refused name.
std::string ResolveDocumentName(const FormRequest& request, std::string_view name);

// Splits text into the pieces a line reader of max_piece bytes returns: each
// piece ends after a LF or at max_piece bytes, whichever comes first.
std::vector<std::string_view> LinePieces(std::string_view text, std::size_t max_piece);

// A file's text as documents are read: 16383-byte line pieces, each ending at
// its first NUL byte.
std::string DocumentText(std::string_view file_text);

// Documents, templates and lists are the site's own small files; a larger
// one is refused rather than held in memory (a name can point at a huge file).
constexpr std::size_t kMaxDocumentBytes = 16 * 1024 * 1024;

// A site file read whole in text mode, or nothing when there is no such
// file. Ends the run with ERROR 600 when the file is
// there but cannot be read (not a regular file, no permission) and with
// ERROR 601 when it is larger than kMaxDocumentBytes.
std::optional<std::string> ReadSiteFile(const std::string& path);

// The whole document; ends the run with ERROR 600 when it is missing too.
std::string ReadDocumentFile(const std::string& path);

// Whether an entry of the reject-list text occurs in the address, ignoring
// case and the white space around entries.
bool RejectTextLists(std::string_view list_text, std::string_view address);

// Reads the reject list at path (ERROR 600 when unreadable) unless the
// address is empty, and tells whether it lists the address.
bool MatchRejectList(const std::string& path, std::string_view address);

}  // namespace quillo
