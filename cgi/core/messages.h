// The numbered messages of the CGI program and the generated error page
// around them: every condition that stops a run ends here. Values taken from
// the request are HTML-escaped, as the page is shown in the visitor's
// browser; the literals are the program's own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillo {

std::string Error100SocketInit();
std::string Error300NoRecipient();
std::string Error301TooManyRecipients(std::size_t count, std::size_t max_count);
std::string Error302NoSuccessDocument();
std::string Error303NoErrorDocument();
std::string Error304TooManyReplyAddresses(std::size_t count, std::size_t max_count);
std::string Error305NotUrlEncoded();
std::string Error306RequestTooLarge(long max_bytes);
std::string Error310TooManyFields(std::size_t max_fields);
// The files a form sends with it, when the site takes files: each bound
// refused on its own page.
std::string Error311FileTooLarge(std::string_view file_name, std::size_t max_bytes);
std::string Error312TooManyFiles(std::size_t max_files);
std::string Error313FilesTooLarge(std::size_t max_bytes);
std::string Error314FileTypeRefused(std::string_view file_name, std::string_view allowed_types);
// why is the program's own text, never the request's.
std::string Error315FormDataUnreadable(std::string_view why);
std::string Error600FileNotReadable(std::string_view path);
std::string Error601FileTooLarge(std::string_view path, std::size_t max_bytes);
std::string Error602TextTooLarge();
// The file's name and the line: what is wrong with the line (which may hold
// a password) is for the error log alone.
std::string Error604SettingsInvalid(std::string_view file_name, int line);
std::string Error605AllowListEmpty();
std::string Error606AllowListEntryInvalid(int line);
std::string Error700WrongProgramName(std::string_view program_path);
std::string Error701InvalidCharacters(std::string_view name);
std::string Error702Executable(std::string_view name);
std::string Error703Library(std::string_view name);
enum class DirectoryHint { Long, Short };
std::string Error704DirectoryChange(std::string_view name, DirectoryHint hint);
std::string Error705SiteFile(std::string_view name);
std::string Error706NotListed(std::string_view name);
// What refused a recipient, for the hint that follows the address.
enum class RefusedBy { kAllowList, kAliases, kLocalMailSystem };
std::string Error900RecipientNotAllowed(std::string_view lowercase_address,
                                        RefusedBy refused_by = RefusedBy::kAllowList);
std::string Error901RefererNotAllowed(std::string_view referer);
std::string Error902TooManyPosts();
std::string Error903SpamCheckFailed();

// The number of a numbered message ("QUILLO! ERROR 300 - ..." gives 300), or
// 0 for a text without one.
int ErrorNumber(std::string_view message);

// The error page for a run that ran out of memory, made in advance: nothing
// can be allocated to build it then.
constexpr std::string_view kOutOfMemoryPage =
    "Content-Type: text/html\n\n<html>\n<header></header><body>\n"
    "<HR><BR><h2>QUILLO! ERROR 603 - OUT OF MEMORY</h2></body></html>";

// The header block of every HTML answer: the web server supplies the rest.
constexpr std::string_view kHtmlHeader = "Content-Type: text/html\n\n";

// The error page around one message, as written (LF line ends).
std::string RenderErrorPage(std::string_view message);

// Ends the run with the error page (see run_end.h).
[[noreturn]] void WriteErrorPage(std::string_view message);

}  // namespace quillo
