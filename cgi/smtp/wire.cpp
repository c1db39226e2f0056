// Wire formatting of SMTP commands and message data; see wire.h.
#include "smtp/wire.h"

#include "core/text.h"

namespace quillo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AppendLine(std::string& out, std::string_view line) {
  while (!line.empty() && IsWhiteSpace(line.back())) line.remove_suffix(1);
  out.append(line);
  out.append(kLineEnd);
}

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
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      AppendLine(out, line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  if (!line.empty()) AppendLine(out, line);
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
