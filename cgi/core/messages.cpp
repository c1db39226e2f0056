// Numbered messages and the error page; see messages.h.
#include "core/messages.h"

#include "core/run_end.h"
#include "core/text.h"

namespace quillo {
namespace {

constexpr std::string_view kSameDirectory =
    "This file must be in the same directory on the web server as the file quillopro.exe!";

}  // namespace

std::string Error100SocketInit() { return "QUILLO! ERROR 100 - SOCKET INIT"; }
std::string Error300NoRecipient() { return "QUILLO! ERROR 300 - QUILLO_TO UNDEFINED"; }
std::string Error301TooManyRecipients(std::size_t count, std::size_t max_count) {
  return "QUILLO! ERROR 301 - TOO MANY RECIPIENTS<br>QUILLO_TO names " + std::to_string(count) +
         " addresses; at most " + std::to_string(max_count) + " are allowed.";
}

std::string Error302NoSuccessDocument() { return "QUILLO! ERROR 302 - QUILLO_SUCCESS UNDEFINED"; }
std::string Error303NoErrorDocument() { return "QUILLO! ERROR 303 - QUILLO_ERROR UNDEFINED"; }

std::string Error304TooManyReplyAddresses(std::size_t count, std::size_t max_count) {
  return "QUILLO! ERROR 304 - TOO MANY REPLY ADDRESSES<br>The form names " + std::to_string(count) +
         " addresses for the automatic reply; at most " + std::to_string(max_count) + " are allowed.";
}

std::string Error305NotUrlEncoded() {
  return "QUILLO! ERROR 305 - FORM NOT URL-ENCODED<br>The form was sent as multipart/form-data. Remove "
         "enctype=\"multipart/form-data\" from its form tag: quillopro.exe reads forms sent as "
         "application/x-www-form-urlencoded, the browsers' default.";
}

std::string Error306RequestTooLarge(long max_bytes) {
  return "QUILLO! ERROR 306 - REQUEST TOO LARGE<br>The form sent more than " + std::to_string(max_bytes) +
         " bytes, more than a form is read.";
}

namespace {

// "10 MB", "300 KB" or "1500 bytes": as the site's settings write sizes.
std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kKilobyte = 1024;
  if (bytes >= kKilobyte * kKilobyte && bytes % (kKilobyte * kKilobyte) == 0)
    return std::to_string(bytes / (kKilobyte * kKilobyte)) + " MB";
  if (bytes >= kKilobyte && bytes % kKilobyte == 0) return std::to_string(bytes / kKilobyte) + " KB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string Error311FileTooLarge(std::string_view file_name, std::size_t max_bytes) {
  return "QUILLO! ERROR 311 - FILE TOO LARGE<br>The file \"" + EscapeHtml(file_name) + "\" is larger than " +
         SizeText(max_bytes) + ", the most this form takes for one file.";
}

std::string Error312TooManyFiles(std::size_t max_files) {
  return "QUILLO! ERROR 312 - TOO MANY FILES<br>The form sent more than " + std::to_string(max_files) +
         (max_files == 1 ? " file" : " files") + ", the most it takes.";
}

std::string Error313FilesTooLarge(std::size_t max_bytes) {
  return "QUILLO! ERROR 313 - FILES TOO LARGE<br>The files sent with the form come to more than " +
         SizeText(max_bytes) + ", the most it takes for all of them.";
}

std::string Error314FileTypeRefused(std::string_view file_name, std::string_view allowed_types) {
  return "QUILLO! ERROR 314 - FILE TYPE NOT TAKEN<br>The file \"" + EscapeHtml(file_name) +
         "\" is not one this form takes. It takes these types, told by their content: " +
         EscapeHtml(allowed_types) + ".";
}

std::string Error315FormDataUnreadable(std::string_view why) {
  return "QUILLO! ERROR 315 - FORM DATA UNREADABLE<br>The form's multipart/form-data body " +
         std::string(why) + ".";
}

std::string Error310TooManyFields(std::size_t max_fields) {
  return "QUILLO! ERROR 310 - TOO MANY FIELDS<br>The form sent more than " + std::to_string(max_fields) +
         " fields, more than a form is read.";
}

std::string Error600FileNotReadable(std::string_view path) {
  return "QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>" + EscapeHtml(path) +
         "<br><br>Please verify filename and access permissions (read).<br><br>" +
         std::string(kSameDirectory);
}

std::string Error601FileTooLarge(std::string_view path, std::size_t max_bytes) {
  return "QUILLO! ERROR 601<br>FILE TOO LARGE<br><br>" + EscapeHtml(path) +
         "<br><br>Files next to quillopro.exe are read up to " + std::to_string(max_bytes) + " bytes.";
}

std::string Error602TextTooLarge() {
  return "QUILLO! ERROR 602 - TEXT TOO LARGE<br>The placeholders of the error document grow past their "
         "bound.";
}

std::string Error604SettingsInvalid(std::string_view file_name, int line) {
  return "QUILLO! ERROR 604<br>SETTINGS FILE INVALID<br><br>" + EscapeHtml(file_name) + "<br>line " +
         std::to_string(line);
}

std::string Error605AllowListEmpty() {
  return "QUILLO! ERROR 605 - RECIPIENTS.TXT LISTS NO ADDRESS<br>A list that is there restricts: no "
         "recipient is allowed until it lists one. A line that holds # anywhere is a comment as a whole.";
}

std::string Error606AllowListEntryInvalid(int line) {
  return "QUILLO! ERROR 606 - RECIPIENTS.TXT LINE " + std::to_string(line) +
         "<br>An entry must be an address, @domain or a domain, or it would let through nearly any address.";
}

std::string Error700WrongProgramName(std::string_view program_path) {
  return "QUILLO ERROR 700<br>-> Rename executable file to quillopro.exe<br>" + EscapeHtml(program_path);
}

std::string Error701InvalidCharacters(std::string_view name) {
  return "QUILLO ERROR 701<br>Invalid characters found in filename<br>" + EscapeHtml(name);
}

std::string Error702Executable(std::string_view name) {
  return "QUILLO ERROR 702<br>Cannot use executable as document<br>" + EscapeHtml(name);
}

std::string Error703Library(std::string_view name) {
  return "QUILLO ERROR 703<br>Cannot use dynamic link library as document<br>" + EscapeHtml(name);
}

std::string Error704DirectoryChange(std::string_view name, DirectoryHint hint) {
  const std::string separator = hint == DirectoryHint::Long ? "<br><br>" : "<br>";
  return "QUILLO ERROR 704<br>Directory change not allowed<br><br>" + EscapeHtml(name) + "<br><br>" +
         std::string(kSameDirectory) + separator + "Please enter only the filename!" + separator +
         "Format: filename.extension";
}

std::string Error705SiteFile(std::string_view name) {
  return "QUILLO ERROR 705<br>Cannot use the program's settings or allow-list as document<br>" +
         EscapeHtml(name);
}

std::string Error706NotListed(std::string_view name) {
  return "QUILLO ERROR 706<br>Document not listed in quillopro.ini<br>" + EscapeHtml(name);
}

std::string Error901RefererNotAllowed(std::string_view referer) {
  return "QUILLO! ERROR 901 - form posted from another site<br>" + EscapeHtml(referer);
}

std::string Error902TooManyPosts() {
  return "QUILLO! ERROR 902 - TOO MANY POSTS<br>Please wait a few minutes before you send the form again.";
}

std::string Error903SpamCheckFailed() {
  return "QUILLO! ERROR 903 - spam check failed<br>Please reload the form and send it again.";
}

std::string Error900RecipientNotAllowed(std::string_view lowercase_address, RefusedBy refused_by) {
  const char* hint = "Add the target email address (QUILLO_TO) to allowed recipients -> recipients.txt";
  if (refused_by == RefusedBy::kAliases) hint = "QUILLO_TO must name an alias of quillopro.ini";
  if (refused_by == RefusedBy::kLocalMailSystem)
    hint = "The local mail system is handed plain addresses only, such as name@example.com";
  return "QUILLO! ERROR 900 - recipient not allowed<br>" + EscapeHtml(lowercase_address) + "<br><br>" + hint;
}

int ErrorNumber(std::string_view message) {
  const std::size_t at = message.find("ERROR ");
  if (at == std::string_view::npos) return 0;
  int number = 0;
  for (std::size_t i = at + 6; i < message.size() && i < at + 9; ++i) {
    if (message[i] < '0' || message[i] > '9') return 0;
    number = number * 10 + (message[i] - '0');
  }
  return number;
}

std::string RenderErrorPage(std::string_view message) {
  std::string page(kHtmlHeader);
  page += "<html>\n<header></header><body>\n<HR><BR><h2>";
  page += message;
  page += "</h2></body></html>";
  return page;
}

void WriteErrorPage(std::string_view message) {
  EndRun(
      {RenderErrorPage(message), 0, AnswerKind::kErrorPage, ErrorNumber(message), std::string(message), {}});
}

}  // namespace quillo
