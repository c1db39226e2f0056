// What the SMTP client writes on the wire, as pure functions over text.
//
// Strict in what we send: every line ends in CR LF, no CR or LF taken from a
// request ends a command early, and no bare CR reaches the server.
#pragma once

#include <string>
#include <string_view>

namespace quillo {

// The value with every CR and LF turned into a blank, so that it stays on
// the one line it is inserted into (a command argument or a header value).
std::string BlankLineBreaks(std::string_view value);

// head + argument + "\r\n", the argument kept on its line, e.g.
// FormatCommand("RCPT TO:<", address, ">").
std::string FormatCommand(std::string_view head, std::string_view argument, std::string_view tail = {});

// The message text as its lines arrive: split at each LF, every CR dropped
// (the one before the LF and any bare one inside a line), trailing white
// space removed, each line ended by CR LF. A last line without LF counts
// when it is not empty. What a DKIM signature covers.
std::string NormalizeDataLines(std::string_view text);

// The message text as DATA lines: split at each LF, every CR dropped (the
// one before the LF and any bare one inside a line), trailing white space
// removed, each line ended by CR LF, and then every line that starts with
// "." given one more (SMTP transparency, RFC 5321 4.5.2), the first line
// too. A last line without LF counts when it is not empty. So the end of
// data, CR LF "." CR LF, can only be the one the client sends itself.
std::string FormatDataLines(std::string_view text);

}  // namespace quillo
