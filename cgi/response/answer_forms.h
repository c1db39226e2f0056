// The other forms an answer can take for a site that asks for them: a
// redirect after the post (so that reloading the page does not post again)
// and JSON for forms sent by script. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace quillo {

// Whether an Accept header ranks application/json above HTML: its quality
// is above zero and above that of text/html (or, without that, of text/* or
// */*).
bool PrefersJson(std::string_view accept);

// The HTTP status of a numbered error: 400 for what the form sent (the 300
// and 700 series), 413 for files past a bound (311, 312, 313), 415 for a
// file of a type not taken (314), 403 for a refused recipient, origin or spam
// check (900, 901, 903), 429 for too many posts (902), 500 for the rest,
// which are the site's own faults.
int HttpStatusOf(int error_number);

// "Status: 303 See Other" for 303, and so on; the line without its LF.
std::string StatusLine(int status);

// A numbered message as plain text: markup dropped, "<br>" as a blank,
// character references of the escaped values read back.
std::string PlainMessage(std::string_view html_message);

// The complete JSON answer with its header block: {"ok":true}, or
// {"ok":false,"error":...,"code":...} with the status line of status. The
// text goes out as ASCII: other bytes as \u00XX.
std::string RenderJsonAnswer(bool ok, std::string_view error, int code, int status);

// The error page around message with the status line of status: for
// refusals that are the visitor's and not the form's. Ends the run.
[[noreturn]] void WriteErrorPageWithStatus(int status, const std::string& message);

// A complete "303 See Other" answer to location.
std::string RenderRedirect(std::string_view location);

}  // namespace quillo
