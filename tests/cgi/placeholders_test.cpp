// Placeholder substitution against its definition: one whole-text
// replacement per name, in order, each placeholder's value escaped for the
// markup context the text gives it when that replacement runs.
#include "content/placeholders.h"

#include <gtest/gtest.h>

#include <random>

#include "core/text.h"

namespace quillo {
namespace {

// The definition, written as plainly as possible.
std::string Reference(const std::vector<std::pair<std::string, std::string>>& values, std::string text,
                      Target target) {
  for (const auto& [name, value] : values) {
    const std::string pattern = "##" + name + "##";
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, from)) {
      const std::size_t bracket = text.find_last_of("<>", at == 0 ? std::string::npos : at - 1);
      const bool in_tag = at > 0 && bracket != std::string::npos && text[bracket] == '<';
      out += text.substr(from, at - from);
      out += target == Target::PlainText ? value : in_tag ? EscapeHtmlAttribute(value) : EscapeHtml(value);
      from = at + pattern.size();
    }
    text = out + text.substr(from);
  }
  return text;
}

// Short texts take plain passes and long ones the token engine: both are
// held to the definition, whichever the text would take.
std::string Filled(const std::vector<std::pair<std::string, std::string>>& values, std::string text,
                   Target target) {
  std::vector<PlaceholderValue> views;
  for (const auto& [name, value] : values) views.push_back({name, value});
  std::string by_engine = text;
  SubstituteWithEngine(views, by_engine, target, text.size() + kMaxSubstitutionGrowth);
  SubstitutePlaceholders(views, text, target);
  EXPECT_EQ(text, by_engine);
  return text;
}

TEST(Placeholders, FollowTheOrderTheCascadeAndTheMarkupContext) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> values;
    const char* text;
    Target target;
    const char* filled;
  };
  const Case cases[] = {
      // A later name's placeholder in a value is filled, an earlier one's not.
      {{{"a", "##b##"}, {"b", "B"}}, "##a##|##b##", Target::PlainText, "B|B"},
      {{{"b", "B"}, {"a", "##b##"}}, "##a##|##b##", Target::PlainText, "##b##|B"},
      // Placeholders formed across what a replacement left behind.
      {{{"j", "y"}, {"xy", "Z"}}, "##x##j####", Target::PlainText, "Z"},
      {{{"j", ""}, {"xy", "Z"}}, "##x##j####y##", Target::PlainText, "##x##y##"},
      {{{"a", "#b##"}, {"b", "B"}}, "###a##", Target::PlainText, "B"},
      // Neighbours share their "#": the left one wins a run shorter than four.
      {{{"n", "-"}}, "##n##n##", Target::PlainText, "-n##"},
      {{{"n", "-"}}, "##n###n##", Target::PlainText, "-#n##"},
      {{{"n", "-"}}, "##n####n##", Target::PlainText, "--"},
      // A user field and a fixed value of the same name: the field first.
      {{{"DATE", "##DATE##"}, {"DATE", "today"}}, "##DATE##", Target::PlainText, "today"},
      // Names the segment view cannot see: empty, with "#", with markup.
      {{{"", "E"}, {"a#b", "H"}}, "######|##a#b##", Target::PlainText, "E##|H"},
      {{{"x>y", "v w"}}, "<p>##x>y##</p>", Target::Html, "<p>v w</p>"},
      // In a tag the value cannot leave its attribute; in text it keeps its blanks.
      {{{"F", "x@y.z onmouseover=alert(1)"}},
       "<a href=mailto:##F##>##F##</a>",
       Target::Html,
       "<a href=mailto:x@y.z&#32;onmouseover&#61;alert(1)>x@y.z onmouseover=alert(1)</a>"},
      {{{"v", "\"'`=<>&\t\r\n\f"}},
       "<i v=##v##>",
       Target::Html,
       "<i v=&#34;&#39;&#96;&#61;&#60;&#62;&#38;&#9;&#13;&#10;&#12;>"},
      {{{"v", "<b>"}}, "a > ##v## < ##v##", Target::Html, "a > &lt;b&gt; < &#60;b&#62;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Filled(c.values, c.text, c.target), c.filled) << c.text;
    EXPECT_EQ(Reference(c.values, c.text, c.target), c.filled) << c.text;
  }
}

TEST(Placeholders, AgreeWithTheDefinitionOnRandomTexts) {
  std::mt19937 random(8122026);
  const std::string alphabet = "###ab<> ";
  auto word = [&](std::size_t longest) {
    std::string w(random() % (longest + 1), ' ');
    for (char& c : w) c = alphabet[random() % alphabet.size()];
    return w;
  };
  for (int round = 0; round < 50000; ++round) {
    std::vector<std::pair<std::string, std::string>> values;
    const std::size_t count = random() % 8;
    for (std::size_t i = 0; i < count; ++i) {
      std::string name = word(3);
      if (random() % 2) name.erase(std::remove(name.begin(), name.end(), '#'), name.end());
      values.emplace_back(name, word(6));
    }
    const std::string text = word(30);
    const Target target = random() % 2 ? Target::Html : Target::PlainText;
    ASSERT_EQ(Filled(values, text, target), Reference(values, text, target)) << text;
  }
}

TEST(Placeholders, ACascadeThatOutgrowsItsBoundIsRefused) {
  // Each value doubles the last: 2^40 copies if nothing stopped it.
  std::vector<std::pair<std::string, std::string>> values;
  for (int i = 0; i < 40; ++i) {
    const std::string next = "##a" + std::to_string(i + 1) + "##";
    values.emplace_back("a" + std::to_string(i), next + next);
  }
  EXPECT_THROW(Filled(values, "##a0##", Target::PlainText), SubstitutionTooLarge);
  // Well under the bounds it completes: 2^16 copies of the last placeholder.
  values.resize(16);
  EXPECT_EQ(Filled(values, "##a0##", Target::PlainText).size(), (std::size_t{1} << 16) * 7);
}

// Many fields cost a pass each no more: a step touches only the places its
// name stands. A chain through 100 000 fields is one replacement a field.
TEST(Placeholders, ManyFieldsAndLongChainsStayLinear) {
  const int fields = 100000;
  std::vector<std::pair<std::string, std::string>> values;
  std::string layout;
  for (int i = 0; i < fields; ++i) {
    values.emplace_back("f" + std::to_string(i),
                        i + 1 < fields ? "##f" + std::to_string(i + 1) + "##" : "end");
    layout += "f" + std::to_string(i) + ": value\n";
  }
  EXPECT_EQ(Filled(values, layout + "##f0##|##REMOTE_ADDR##", Target::PlainText),
            layout + "end|##REMOTE_ADDR##");
  // Every field's value in the text: the k-th step has k placeholders to
  // fill, some five billion in all. Such a post is refused, not computed.
  std::string chained;
  for (const auto& [name, value] : values) chained += name + ": " + value + "\n";
  EXPECT_THROW(Filled(values, chained, Target::PlainText), SubstitutionTooLarge);
}

}  // namespace
}  // namespace quillo
