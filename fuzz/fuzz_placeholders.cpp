// Fuzz target: placeholder substitution against its definition. The input
// is a text and up to eight name/value pairs separated by "|"; the engine's
// result must equal one whole-text replacement per name, in order, and in
// HTML no value may add a bracket or a quote.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "content/placeholders.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Target target = data[0] & 1 ? Target::Html : Target::PlainText;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t bar = input.find('|', from);
    parts.push_back(input.substr(from, bar == std::string_view::npos ? std::string_view::npos : bar - from));
    if (bar == std::string_view::npos || parts.size() == 17) break;
    from = bar + 1;
  }
  std::vector<PlaceholderValue> values;
  for (std::size_t i = 1; i + 1 < parts.size(); i += 2) values.push_back({parts[i], parts[i + 1]});

  // The public entry takes plain passes for texts this short; the engine is
  // held to the same result.
  std::string filled(parts[0]);
  std::string by_engine(parts[0]);
  try {
    SubstitutePlaceholders(values, filled, target);
    SubstituteWithEngine(values, by_engine, target, by_engine.size() + kMaxSubstitutionGrowth);
  } catch (const SubstitutionTooLarge&) {
    return 0;  // the bound, not a result to compare
  }
  if (by_engine != filled) std::abort();
  std::string expected(parts[0]);
  for (const PlaceholderValue& value : values) {
    expected = ReplacePlaceholder(expected, value.name, value.value, target, SIZE_MAX);
  }
  if (filled != expected) std::abort();
  // In HTML no value adds markup or ends a quoted attribute: every bracket
  // and quote of the result was the text's own.
  if (target == Target::Html) {
    for (char c : {'<', '>', '"', '\''}) {
      if (std::count(filled.begin(), filled.end(), c) > std::count(parts[0].begin(), parts[0].end(), c)) {
        std::abort();
      }
    }
  }
  return 0;
}
