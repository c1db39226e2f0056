// ##NAME## placeholders: the visitor's user fields first, in list order, then
// the fixed request values (QUILLO_TO, QUILLO_FROM, ... DATE, and QUILLO_FILES
// where the site takes files).
//
// The result is that of one whole-text replacement per name, in that order:
// each replaces every "##name##" from left to right without overlap and does
// not search what it inserts itself, while every later name searches the
// whole text, inserted values included. So a value that holds a later
// field's placeholder is filled in too (the cascade), one that holds an
// earlier field's is not. The work stays linear in the text, the values and
// what they insert; see placeholders.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/form_request.h"

namespace quillo {

// Whether the text being filled is shown as HTML: then every inserted value
// is escaped for the place it lands in, so that a visitor's input cannot
// become markup or script. Inside a tag (the last "<" or ">" before the
// placeholder is "<") blanks, quotes, "=" and the like become character
// references too, as an unquoted attribute value needs; in text only
// & < > " ' are escaped.
enum class Target { PlainText, Html };

// A cascade of placeholders can double the text with every field. A
// substitution may add at most this much to the text it starts from; past it
// the run refuses the post instead of building the text.
constexpr std::size_t kMaxSubstitutionGrowth = 8 * 1024 * 1024;

// Thrown when a substitution would pass that bound, or would do more work
// than a text of its size ever needs.
struct SubstitutionTooLarge {
  std::string reason;
};

// One name and the value that replaces its placeholder.
struct PlaceholderValue {
  std::string_view name;
  std::string_view value;
};

// The names and values of a request, in the order they are replaced.
std::vector<PlaceholderValue> PlaceholderValues(const FormRequest& request);

// Fills text in place; throws SubstitutionTooLarge.
void SubstitutePlaceholders(const std::vector<PlaceholderValue>& values, std::string& text, Target target);
void SubstitutePlaceholders(const FormRequest& request, std::string& text, Target target);

// The same through the token engine alone, whatever the text's size, the
// result bounded by max_size: SubstitutePlaceholders hands it what a long
// text leaves, and the tests hold it to the definition on short ones too.
void SubstituteWithEngine(const std::vector<PlaceholderValue>& values, std::string& text, Target target,
                          std::size_t max_size);

// One name's replacement over the whole text, as the definition has it; the
// context of each placeholder is taken from the text as the step finds it.
// Throws SubstitutionTooLarge when the result would pass max_size.
std::string ReplacePlaceholder(std::string_view text, std::string_view name, std::string_view value,
                               Target target, std::size_t max_size);

}  // namespace quillo
