// MX choice over record lists (the worked orders), the server choice, the
// domain of an address, and the parsing of real DNS answer bytes.
#include "smtp/mx.h"

#include <gtest/gtest.h>

namespace quillo {
namespace {

using platform::DnsRecord;
using platform::kDnsTypeMx;

constexpr int kDnsTypeCname = 5;

DnsRecord Mx(const char* name, std::uint16_t preference) { return {kDnsTypeMx, preference, name}; }

struct WorkedOrder {
  std::vector<DnsRecord> answer;
  const char* primary;
  const char* secondary;
};

TEST(ChooseMxHosts, FollowsTheWorkedOrders) {
  const std::vector<WorkedOrder> orders = {
      {{Mx("a", 10)}, "a", "a"},
      {{Mx("a", 10), Mx("b", 20)}, "a", "a"},
      {{Mx("a", 20), Mx("b", 10)}, "b", "a"},
      {{Mx("a", 10), Mx("b", 10)}, "a", "b"},
      {{Mx("a", 30), Mx("b", 20), Mx("c", 10)}, "c", "a"},
      {{Mx("a", 20), Mx("b", 20), Mx("c", 10)}, "c", "b"},
      {{Mx("a", 10), Mx("b", 30), Mx("c", 20)}, "a", "a"},
  };
  for (const WorkedOrder& order : orders) {
    const auto hosts = ChooseMxHosts(order.answer);
    ASSERT_TRUE(hosts);
    EXPECT_EQ(hosts->primary, order.primary);
    EXPECT_EQ(hosts->secondary, order.secondary);
  }
}

TEST(ChooseMxHosts, AnAliasBeforeTheMxRecordsIsSkippedAndSeedsNothing) {
  const std::vector<DnsRecord> answer = {{kDnsTypeCname, 0, ""}, Mx("b", 20), Mx("a", 10)};
  const auto hosts = ChooseMxHosts(answer);
  ASSERT_TRUE(hosts);
  EXPECT_EQ(hosts->primary, "a");
  EXPECT_EQ(hosts->secondary, "b");
  EXPECT_FALSE(ChooseMxHosts({{kDnsTypeCname, 0, ""}}));
  EXPECT_FALSE(ChooseMxHosts({}));
}

TEST(DomainOf, TakesWhatFollowsTheFirstAtSign) {
  EXPECT_EQ(DomainOf("user@example.test"), "example.test");
  EXPECT_EQ(DomainOf("a@b@c.test"), "b@c.test");
  EXPECT_EQ(DomainOf("user@"), "");
  EXPECT_EQ(DomainOf("example.test"), "example.test");
  EXPECT_EQ(DomainOf(""), "");
}

TEST(ChooseCandidates, AConfiguredServerGoesFirstThenTheBestExchanger) {
  const MxHosts looked_up{"mx1", "mx2"};
  const MxHosts with_server = ChooseCandidates("relay", looked_up);
  EXPECT_EQ(with_server.primary, "relay");
  EXPECT_EQ(with_server.secondary, "mx1");
  const MxHosts without = ChooseCandidates("", looked_up);
  EXPECT_EQ(without.primary, "mx1");
  EXPECT_EQ(without.secondary, "mx2");
  const MxHosts failed_lookup = ChooseCandidates("relay", MxHosts{});
  EXPECT_EQ(failed_lookup.primary, "relay");
  EXPECT_EQ(failed_lookup.secondary, "");
}

// A resolver whose answers the test gives, recording what it was asked.
class FakeResolver : public MxResolver {
 public:
  std::optional<std::vector<DnsRecord>> answer;
  std::vector<std::string> asked;

 protected:
  std::optional<std::vector<DnsRecord>> queryMx(const std::string& domain) override {
    asked.push_back(domain);
    return answer;
  }
};

TEST(MxResolver, LookupFillsBothHostsOnlyFromAnAnswer) {
  FakeResolver resolver;
  std::string primary = "old", secondary = "kept";
  EXPECT_FALSE(resolver.lookupMx("user@", primary, secondary));
  EXPECT_TRUE(resolver.asked.empty());
  EXPECT_EQ(primary, "");
  EXPECT_EQ(secondary, "kept");

  primary = "old";
  EXPECT_FALSE(resolver.lookupMx("user@missing.test", primary, secondary));
  EXPECT_EQ(resolver.asked, std::vector<std::string>{"missing.test"});
  EXPECT_EQ(primary, "");
  EXPECT_EQ(secondary, "kept");

  resolver.answer = std::vector<DnsRecord>{Mx("mx2", 20), Mx("mx1", 10)};
  EXPECT_TRUE(resolver.lookupMx("a@b@Example.TEST ", primary, secondary));
  EXPECT_EQ(resolver.asked.back(), "b@Example.TEST ");
  EXPECT_EQ(primary, "mx1");
  EXPECT_EQ(secondary, "mx2");
}

// A response for "example.test" MX: an alias, then MX 20 "b" (name
// compressed against the question) and MX 10 "a.example.test" in full.
std::string SampleResponse() {
  // clang-format off
  const unsigned char bytes[] = {
      0x12, 0x34, 0x81, 0x80, 0, 1, 0, 3, 0, 0, 0, 0,                          // header
      7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 4, 't', 'e', 's', 't', 0, 0, 15, 0, 1,  // question at 12
      0xC0, 12, 0, 5, 0, 1, 0, 0, 0, 60, 0, 7, 4, 'm', 'a', 'i', 'l', 0xC0, 12,  // CNAME
      0xC0, 12, 0, 15, 0, 1, 0, 0, 0, 60, 0, 6, 0, 20, 1, 'b', 0xC0, 12,         // MX 20 b
      0xC0, 12, 0, 15, 0, 1, 0, 0, 0, 60, 0, 18, 0, 10,                          // MX 10 ...
      1, 'a', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 4, 't', 'e', 's', 't', 0,
  };
  // clang-format on
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

TEST(ParseDnsAnswer, ReadsTypesPreferencesAndExchangeNamesInOrder) {
  const auto records = platform::ParseDnsAnswer(SampleResponse());
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 3u);
  EXPECT_EQ((*records)[0].type, kDnsTypeCname);
  EXPECT_EQ((*records)[1].type, kDnsTypeMx);
  EXPECT_EQ((*records)[1].preference, 20);
  EXPECT_EQ((*records)[1].exchange, "b.example.test");
  EXPECT_EQ((*records)[2].preference, 10);
  EXPECT_EQ((*records)[2].exchange, "a.example.test");
  const auto hosts = ChooseMxHosts(*records);
  ASSERT_TRUE(hosts);
  EXPECT_EQ(hosts->primary, "a.example.test");
  EXPECT_EQ(hosts->secondary, "b.example.test");
}

TEST(ParseDnsAnswer, RefusesTruncatedAndBrokenMessages) {
  const std::string whole = SampleResponse();
  for (std::size_t cut : {0u, 5u, 20u, 40u, 60u, static_cast<unsigned>(whole.size() - 1)}) {
    EXPECT_FALSE(platform::ParseDnsAnswer(whole.substr(0, cut))) << cut;
  }
  std::string looping = whole;
  looping[looping.size() - 16] = static_cast<char>(0xC0);  // exchange name points past the message
  looping[looping.size() - 15] = static_cast<char>(0xFF);
  EXPECT_FALSE(platform::ParseDnsAnswer(looping));
  std::string stray_owner = whole;
  stray_owner[31] = static_cast<char>(0xFF);  // the alias's owner name points past the message
  EXPECT_FALSE(platform::ParseDnsAnswer(stray_owner));
}

}  // namespace
}  // namespace quillo
