// What the site's settings decide about a post, without a run: the forms of
// the answer, the origin, the count of posts and the log line.
#include "request/site_rules.h"

#include <gtest/gtest.h>

#include <random>

#include "response/answer_forms.h"

namespace quillo {
namespace {

TEST(AnswerForms, JsonOnlyWhenTheClientRanksItAboveHtml) {
  const std::pair<const char*, bool> cases[] = {
      {"application/json", true},
      {"", false},
      {"*/*", false},
      {"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", false},
      {"text/html, application/json;q=0.9", false},
      {"application/json, text/html;q=0.5", true},
      {"text/html;q=0.5, application/json;q=0.5", false},
      {"application/json;q=0", false},
      {"text/*;q=0.1, Application/JSON;q=0.2", true},
      {"application/json;charset=utf-8;q=0.7, */*;q=0.1", true},
  };
  for (const auto& [accept, json] : cases) EXPECT_EQ(PrefersJson(accept), json) << accept;
}

TEST(AnswerForms, WholeJsonAndRedirectAnswers) {
  EXPECT_EQ(RenderJsonAnswer(true, "", 0, 200), "Content-Type: application/json\n\n{\"ok\":true}");
  EXPECT_EQ(
      RenderJsonAnswer(false,
                       PlainMessage("QUILLO! ERROR 900 - recipient not allowed<br>a&amp;\"b\"@x\x01\xE9"),
                       900, HttpStatusOf(900)),
      "Status: 403 Forbidden\nContent-Type: application/json\n\n"
      "{\"ok\":false,\"error\":\"QUILLO! ERROR 900 - recipient not allowed a&\\\"b\\\"@x\\u0001\\u00e9\","
      "\"code\":900}");
  EXPECT_EQ(RenderRedirect("/thanks.html"), "Status: 303 See Other\nLocation: /thanks.html\n\n");
  for (const auto& [number, status] : {std::pair{300, 400}, {704, 400}, {901, 403}, {902, 429}, {600, 500}}) {
    EXPECT_EQ(HttpStatusOf(number), status) << number;
  }
}

TEST(SiteRules, RefererHostAndItsCheck) {
  SiteSettings site;
  site.referers = TextList{"example.com", "www.example.com"};
  const std::pair<const char*, bool> cases[] = {
      {"https://www.example.com/form.htm", true},
      {"HTTP://Example.COM:8080/x?y", true},
      {"https://user@example.com/", true},
      {"https://example.com.evil.test/", false},
      {"https://evil.test/?https://example.com/", false},
      {"https://evil.test#@example.com", false},
      {"ftp://example.com/", false},
      {"example.com", false},
      {"", false},
  };
  for (const auto& [referer, allowed] : cases) EXPECT_EQ(RefererAllowed(site, referer), allowed) << referer;
  site.allow_empty_referer = true;
  EXPECT_TRUE(RefererAllowed(site, " "));
  EXPECT_TRUE(RefererAllowed(SiteSettings{}, "https://anywhere.test/"));
}

TEST(SiteRules, CountsPostsPerAddressWithinTheWindow) {
  const RateLimit limit{5, 600};
  std::string state;
  int allowed = 0;
  for (int i = 0; i < 20; ++i) {
    RateDecision decision = CountPost(state, "192.0.2.7", 1000 + i, limit);
    allowed += decision.allowed;
    state = decision.state;
  }
  EXPECT_EQ(allowed, 5);
  EXPECT_TRUE(CountPost(state, "192.0.2.8", 1020, limit).allowed);
  EXPECT_FALSE(CountPost(state, "192.0.2.7", 1599, limit).allowed);
  // The window has passed for the first post only.
  const RateDecision later = CountPost(state, "192.0.2.7", 1600, limit);
  EXPECT_TRUE(later.allowed);
  EXPECT_EQ(later.state, "1001 192.0.2.7\n1002 192.0.2.7\n1003 192.0.2.7\n1004 192.0.2.7\n1600 192.0.2.7\n");
  // A hostile address adds no line; the state stays bounded.
  EXPECT_EQ(CountPost("", "1.2.3.4\n99 x y", 5, limit).state, "5 1.2.3.499xy\n");
  // A file fuller than the program writes keeps its newest lines, within the bound.
  std::string full;
  for (std::size_t i = 0; i < kMaxRateEntries + 50; ++i)
    full += "100 10.0.0." + std::to_string(i % 200) + "\n";
  std::string counted = CountPost(full, "::1", 101, {1000000, 600}).state;
  EXPECT_LE(static_cast<std::size_t>(std::count(counted.begin(), counted.end(), '\n')), kMaxRateEntries);
}

// An IPv6 visitor has a /64 to pick addresses from; a flood of fresh
// addresses cannot push out the counts of others, and shares one count.
TEST(SiteRules, AddressesOfOneNetworkAndAFloodAreCountedTogether) {
  const char* const keys[][2] = {
      {"192.0.2.7", "192.0.2.7"},
      {"2001:db8:1:2:a:b:c:d", "2001:db8:1:2::/64"},
      {"2001:DB8:1:2::ffff", "2001:db8:1:2::/64"},
      {"2001:db8::1%eth0", "2001:db8:0:0::/64"},
      {"::ffff:192.0.2.7", "192.0.2.7"},
      {"::", "0:0:0:0::/64"},
      {"2001:db8::1::2", "2001:db8::1::2"},
      {"1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:8:9"},
  };
  for (const auto& k : keys) EXPECT_EQ(RateKey(k[0]), k[1]) << k[0];

  const RateLimit limit{5, 600};
  std::string state;
  int allowed = 0;
  for (int i = 0; i < 20; ++i) {
    RateDecision decision = CountPost(state, "2001:db8:1:2::" + std::to_string(i + 1), 1000, limit);
    allowed += decision.allowed;
    state = decision.state;
  }
  EXPECT_EQ(allowed, 5);
  state = CountPost(state, "192.0.2.9", 1000, limit).state;
  // Fresh addresses until three lines short of the addresses' room (the
  // shared count keeps the limit's five of kMaxRateEntries for itself).
  for (std::size_t i = 6; i < kMaxRateEntries - 5 - 3; ++i) {
    state += "1000 10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
             std::to_string(i % 256) + "\n";
  }
  allowed = 0;
  for (int i = 0; i < 20; ++i) {
    RateDecision decision = CountPost(state, "198.51.100." + std::to_string(i), 1001, limit);
    allowed += decision.allowed;
    state = decision.state;
  }
  EXPECT_EQ(allowed, 3 + 5);  // the room left, then the shared count's five
  EXPECT_FALSE(CountPost(state, "2001:db8:1:2::99", 1002, limit).allowed);
  EXPECT_NE(state.find("1000 192.0.2.9\n"), std::string::npos);
  EXPECT_LE(static_cast<std::size_t>(std::count(state.begin(), state.end(), '\n')), kMaxRateEntries);
}

TEST(SiteRules, TheLogLineIsOneLineWhateverThePeerSent) {
  RunRecord record;
  record.outcome = "failed";
  record.recipients = 2;
  record.reply = "skipped";
  record.failure =
      DeliveryNote{"RCPT", "mx.example.test", "451 4.7.1 \"greylisted\"", "b@example.test", 451, "", false};
  record.undelivered = {
      {"connect", "mx.example.org", "no connection: refused", "a@example.org", 0, "refused\n", false},
      {"RCPT", "mx.example.org", "550 5.1.1 unknown", "c@example.org", 550, "", true},
      *record.failure};
  EXPECT_EQ(
      FormatLogLine(1796748718, "192.0.2.7", record),
      "2026-12-08T16:51:58Z 192.0.2.7 failed recipients=2 reply=skipped step=RCPT host=mx.example.test "
      "reply=\"451 4.7.1 'greylisted'\" code=451 failure=temporary undelivered=3 to=<a@example.org> "
      "step=connect host=mx.example.org reply=\"no connection: refused\" error=refused? failure=temporary "
      "to=<c@example.org> step=RCPT host=mx.example.org reply=\"550 5.1.1 unknown\" code=550 "
      "failure=permanent to=<b@example.test> step=RCPT host=mx.example.test "
      "reply=\"451 4.7.1 'greylisted'\" code=451 failure=temporary settings=none transport=smtp");
  EXPECT_TRUE(NeedsAttention(record));
  record.undelivered.clear();
  RunRecord sent;
  sent.outcome = "sent";
  sent.recipients = 1;
  sent.success = true;
  sent.settings_file = "/etc/quillo/quillopro.ini";
  sent.transport = "sendmail";
  EXPECT_EQ(FormatLogLine(951782400, "", sent),
            "2000-02-29T00:00:00Z - sent recipients=1 settings=/etc/quillo/quillopro.ini transport=sendmail");
  // The web server's error log takes what went wrong: a failed reply too.
  EXPECT_FALSE(NeedsAttention(sent));
  sent.reply = "failed";
  EXPECT_TRUE(NeedsAttention(sent));
  std::mt19937 random(11);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(random() % 40, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 256);
    record.failure->reply = bytes;
    const std::string line = FormatLogLine(static_cast<std::time_t>(random()), bytes, record);
    for (char c : line) ASSERT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) << line;
    ASSERT_EQ(std::count(line.begin(), line.end(), '"'), 2) << line;
  }
}

}  // namespace
}  // namespace quillo
