#include "resource_tables.h"

#include <sstream>

namespace quillogen {
namespace {

[[noreturn]] void Fail(int line_number, const std::string& what) {
  throw ResourceError("resource table line " + std::to_string(line_number) + ": " + what);
}

bool IsBlankOrComment(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  return first == std::string::npos || line[first] == '#';
}

// Reads the double-quoted text that starts at `at`, resolving \n, \" and \\.
std::string QuotedText(const std::string& line, std::size_t at, int line_number) {
  if (at >= line.size() || line[at] != '"') Fail(line_number, "text in double quotes expected");
  std::string text;
  for (std::size_t i = at + 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') return text;
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++i >= line.size()) break;
    const char escaped = line[i];
    if (escaped == 'n') {
      text += '\n';
    } else if (escaped == '"' || escaped == '\\') {
      text += escaped;
    } else {
      Fail(line_number, "unknown escape \\" + std::string(1, escaped));
    }
  }
  Fail(line_number, "unterminated text");
}

// Splits a line into the words before its quoted text and the text itself.
std::vector<std::string> WordsBeforeText(const std::string& line, std::size_t& text_at) {
  text_at = line.find('"');
  std::istringstream words(line.substr(0, text_at));
  std::vector<std::string> result;
  for (std::string word; words >> word;) result.push_back(word);
  return result;
}

int Number(const std::string& word, int line_number) {
  std::size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(word, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != word.size()) Fail(line_number, "number expected, found " + word);
  return value;
}

ControlKind Kind(const std::string& word, int line_number) {
  static const std::map<std::string, ControlKind> kinds = {
      {"static", ControlKind::kStatic},       {"group", ControlKind::kGroup},
      {"edit", ControlKind::kEdit},           {"check", ControlKind::kCheck},
      {"button", ControlKind::kButton},       {"combo", ControlKind::kCombo},
      {"separator", ControlKind::kSeparator},
  };
  const auto found = kinds.find(word);
  if (found == kinds.end()) Fail(line_number, "unknown control kind " + word);
  return found->second;
}

ControlTemplate Control(const std::vector<std::string>& words, std::string text, int line_number) {
  if (words.size() != 7) Fail(line_number, "TAB ID KIND X Y W H \"TEXT\" expected");
  ControlTemplate control;
  control.tab = Number(words[0], line_number);
  control.id = words[1] == "-" ? kNoId : Number(words[1], line_number);
  control.kind = Kind(words[2], line_number);
  control.rect = {Number(words[3], line_number), Number(words[4], line_number), Number(words[5], line_number),
                  Number(words[6], line_number)};
  control.text = std::move(text);
  return control;
}

// Calls `handle(words, text_at, line, line_number)` for each table line.
template <typename Handler>
void ForEachLine(const std::string& table, Handler handle) {
  std::istringstream lines(table);
  int line_number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++line_number;
    if (IsBlankOrComment(line)) continue;
    std::size_t text_at = 0;
    const std::vector<std::string> words = WordsBeforeText(line, text_at);
    handle(words, text_at, line, line_number);
  }
}

}  // namespace

std::map<std::string, std::string> ParseKeyedTexts(const std::string& table) {
  std::map<std::string, std::string> texts;
  ForEachLine(table, [&](const std::vector<std::string>& words, std::size_t text_at, const std::string& line,
                         int line_number) {
    if (words.size() != 1) Fail(line_number, "KEY \"TEXT\" expected");
    texts[words[0]] = QuotedText(line, text_at, line_number);
  });
  return texts;
}

std::map<int, std::string> ParseStringTable(const std::string& table) {
  std::map<int, std::string> strings;
  ForEachLine(table, [&](const std::vector<std::string>& words, std::size_t text_at, const std::string& line,
                         int line_number) {
    if (words.size() != 1) Fail(line_number, "ID \"TEXT\" expected");
    strings[Number(words[0], line_number)] = QuotedText(line, text_at, line_number);
  });
  return strings;
}

std::map<int, DialogTemplate> ParseDialogTemplates(const std::string& table) {
  std::map<int, DialogTemplate> dialogs;
  DialogTemplate* current = nullptr;
  ForEachLine(table, [&](const std::vector<std::string>& words, std::size_t text_at, const std::string& line,
                         int line_number) {
    if (!words.empty() && words[0] == "dialog") {
      if (words.size() != 4 || text_at != std::string::npos)
        Fail(line_number, "dialog ID WIDTH HEIGHT expected");
      const int id = Number(words[1], line_number);
      current = &dialogs[id];
      *current = DialogTemplate{id, Number(words[2], line_number), Number(words[3], line_number), {}};
      return;
    }
    if (current == nullptr) Fail(line_number, "control before the first dialog line");
    ControlTemplate control = Control(words, QuotedText(line, text_at, line_number), line_number);
    if (control.tab != static_cast<int>(current->controls.size()) + 1)
      Fail(line_number, "tab order out of sequence");
    current->controls.push_back(std::move(control));
  });
  return dialogs;
}

std::vector<std::string> SplitItems(const std::string& items) {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start <= items.size() && !items.empty()) {
    const std::size_t bar = items.find('|', start);
    result.push_back(items.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return result;
}

namespace {
// Multiplies and divides with rounding to nearest, as the dialog manager does.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}
}  // namespace

PixelRect DialogUnitsToPixels(const DialogRect& rect, DialogBaseUnits base) {
  return {MulDiv(rect.x, base.x, 4), MulDiv(rect.y, base.y, 8), MulDiv(rect.width, base.x, 4),
          MulDiv(rect.height, base.y, 8)};
}

int AverageCharWidth(int width_of_52_letters) { return (width_of_52_letters / 26 + 1) / 2; }

}  // namespace quillogen
