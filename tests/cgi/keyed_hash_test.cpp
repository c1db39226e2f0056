// SipHash against its published vectors, and the index over names that
// std::hash cannot tell apart.
#include "core/keyed_hash.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "colliding_names.h"

namespace quillo {
namespace {

TEST(SipHash, MatchesThePublishedVectors) {
  // Aumasson and Bernstein's paper, appendix A, and the reference
  // implementation's first vector: key 00..0f, messages 00..0e and empty.
  const HashKey key{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
  std::string fifteen;
  for (char c = 0; c < 15; ++c) fifteen.push_back(c);
  EXPECT_EQ(SipHash(key, fifteen, 2, 4), 0xa129ca6149be45e5ULL);
  EXPECT_EQ(SipHash(key, "", 2, 4), 0x726fdb47dd0e0e31ULL);
}

TEST(KeyedHash, NamesThatShareOneStdHashLandApart) {
  const std::vector<std::string> names = testing::NamesSharingOneStdHash(100000);
  ASSERT_EQ(std::hash<std::string>()(names.front()), std::hash<std::string>()(names.back()));
  HashIndex index;
  std::set<std::uint64_t> hashes;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::uint64_t hash = KeyedHash(names[i]);
    hashes.insert(hash);
    index.Insert(hash, static_cast<std::uint32_t>(i));
  }
  EXPECT_EQ(hashes.size(), names.size());
  for (std::size_t i = 0; i < names.size(); i += 997) {
    EXPECT_EQ(index.Find(KeyedHash(names[i]), [&](std::uint32_t id) { return names[id] == names[i]; }), i);
  }
  EXPECT_EQ(index.Find(KeyedHash("absent"), [](std::uint32_t) { return true; }), HashIndex::kNotFound);
}

}  // namespace
}  // namespace quillo
