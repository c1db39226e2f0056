// Wire formatting of SMTP commands and message data; see wire.h.
#include "smtp/wire.h"

#include <algorithm>

#include "core/text.h"

namespace quillo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string BlankLineBreaks(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

std::string FormatCommand(std::string_view head, std::string_view argument, std::string_view tail) {
  std::string command;
  command.reserve(head.size() + argument.size() + tail.size() + kLineEnd.size());
  command.append(head);
  command.append(BlankLineBreaks(argument));
  command.append(tail);
  command.append(kLineEnd);
  return command;
}

std::string NormalizeDataLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + kLineEnd.size());
  // Line by line, each copied in the pieces between its CRs: a byte at a
  // time, a post of many fields spent most of its time here.
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t lf = std::min(text.find('\n', start), text.size());
    const std::size_t line_start = out.size();
    for (std::string_view line = text.substr(start, lf - start); !line.empty();) {
      const std::size_t cr = std::min(line.find('\r'), line.size());
      out.append(line.substr(0, cr));
      line.remove_prefix(std::min(cr + 1, line.size()));
    }
    // A last line without LF is a line only if something besides CRs is on it.
    if (lf < text.size() || out.size() > line_start) {
      while (out.size() > line_start && IsWhiteSpace(out.back())) out.pop_back();
      out.append(kLineEnd);
    }
    start = lf + 1;
  }
  return out;
}

std::string FormatDataLines(std::string_view text) {
  std::string out = NormalizeDataLines(text);
  // Stuffing runs last, over the very bytes that go out: whatever the steps
  // before removed (a CR, trailing blanks), no data line can end the data.
  if (!out.empty() && out.front() == '.') out.insert(out.begin(), '.');
  StuffDots(out);
  return out;
}

}  // namespace quillo
