// Hashing of texts a visitor chooses (field names, placeholder names), and
// the table that indexes them.
//
// A hash with a fixed seed lets an attacker compute, offline, thousands of
// names that share one value, and a post of them turns every lookup into a
// walk over all the others: minutes of CPU for a 3 MB post. Here every hash
// of such a text is SipHash-1-3 under a key drawn once per process from the
// system's random source, so no one outside the run can tell which texts
// collide. SipHash is written out here (it is some forty lines): OpenSSL's
// MAC interface allocates per call and is not in the Windows build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillo {

struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// SipHash with the given rounds per message block and at the end
// (Aumasson and Bernstein, 2012): 2 and 4 is the original, 1 and 3 the
// faster variant used for hash tables.
std::uint64_t SipHash(const HashKey& key, std::string_view bytes, int compression_rounds,
                      int finalization_rounds);

// The process's key, drawn on first use from std::random_device.
const HashKey& RunHashKey();

// SipHash-1-3 of bytes under the process's key.
std::uint64_t KeyedHash(std::string_view bytes);

// 64 bits from the system's random source (getrandom, rand_s).
std::uint64_t RandomNumber();

// An open-addressing table of small ids by their 64-bit hash, for keys that
// live elsewhere (a list of names): the caller hashes a key and says
// whether an id's key is the one it looks for. No allocation per entry, so
// a post's hundred thousand fields cost a few megabytes; the hashes must be
// keyed, or an attacker chooses where the entries land.
class HashIndex {
 public:
  static constexpr std::uint32_t kNotFound = UINT32_MAX;

  explicit HashIndex(std::size_t expected_entries = 0);

  // The id of the entry with this hash for which same(id) holds, else kNotFound.
  template <typename Same>
  std::uint32_t Find(std::uint64_t hash, Same same) const {
    for (std::size_t slot = Start(hash);; slot = Next(slot)) {
      const Slot& s = slots_[slot];
      if (s.id == kNotFound) return kNotFound;
      if (s.hash == hash && same(s.id)) return s.id;
    }
  }

  // Adds id under hash; the caller has made sure no equal key is there.
  void Insert(std::uint64_t hash, std::uint32_t id);

 private:
  struct Slot {
    std::uint64_t hash = 0;  // most misses end here, without a key compare
    std::uint32_t id = kNotFound;
  };
  std::size_t Start(std::uint64_t hash) const { return static_cast<std::size_t>(hash) & mask_; }
  std::size_t Next(std::size_t slot) const { return (slot + 1) & mask_; }
  void Grow();

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

}  // namespace quillo
