// The generated error page, the site's result documents and the numbered
// error messages of the CGI program.
#pragma once

#include <string>
#include <string_view>

#include "request/form_request.h"

namespace quillo {

// The numbered messages. Values taken from the request are HTML-escaped:
// the page is shown in the visitor's browser.
std::string Error100SocketInit();
std::string Error300NoRecipient();
std::string Error302NoSuccessDocument();
std::string Error301TooManyRecipients(std::size_t count, std::size_t max_count);
std::string Error303NoErrorDocument();
std::string Error304TooManyReplyAddresses(std::size_t count, std::size_t max_count);
std::string Error305NotUrlEncoded();
std::string Error306RequestTooLarge(long max_bytes);
std::string Error600FileNotReadable(std::string_view path);
std::string Error601FileTooLarge(std::string_view path, std::size_t max_bytes);
std::string Error602TextTooLarge();
std::string Error700WrongProgramName(std::string_view program_path);
std::string Error701InvalidCharacters(std::string_view name);
std::string Error702Executable(std::string_view name);
std::string Error703Library(std::string_view name);
enum class DirectoryHint { Long, Short };
std::string Error704DirectoryChange(std::string_view name, DirectoryHint hint);
std::string Error900RecipientNotAllowed(std::string_view lowercase_address);

// The error page for a run that ran out of memory, made in advance: nothing
// can be allocated to build it then.
constexpr std::string_view kOutOfMemoryPage =
    "Content-Type: text/html\n\n<html>\n<header></header><body>\n"
    "<HR><BR><h2>QUILLO! ERROR 603 - OUT OF MEMORY</h2></body></html>";

// The error page around one message, as written (LF line ends).
std::string RenderErrorPage(std::string_view message);

// A result document after substitution: header block, then the text without
// any CR, so that CR LF files and CR LF field values both end lines once.
std::string RenderResultDocument(std::string_view document);

// Writers that end the run (see run_end.h).
[[noreturn]] void WriteErrorPage(std::string_view message);
// A document whose placeholders would grow past their bound is logged and
// replaced by the error document (by the error page, if that is the one).
[[noreturn]] void SendResultDocument(const FormRequest& request, const std::string& path);

// The only answer to a start without a CGI request. Under a web server (a
// browser opening the program's address) the line comes as a text page, as
// the server needs a header; from a shell it is the bare line.
[[noreturn]] void WriteUsageLine(bool under_web_server);

}  // namespace quillo
