// Keyed hashing; see keyed_hash.h.
#include "core/keyed_hash.h"

#include <exception>
#include <memory>
#include <random>

namespace quillo {
namespace {

std::uint64_t RotateLeft(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = RotateLeft(v1, 13);
    v1 ^= v0;
    v0 = RotateLeft(v0, 32);
    v2 += v3;
    v3 = RotateLeft(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = RotateLeft(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = RotateLeft(v1, 17);
    v1 ^= v2;
    v2 = RotateLeft(v2, 32);
  }

  void Absorb(std::uint64_t block, int rounds) {
    v3 ^= block;
    for (int i = 0; i < rounds; ++i) Round();
    v0 ^= block;
  }
};

// Eight bytes as a little-endian number, whatever the machine's order.
std::uint64_t LittleEndian(const char* bytes, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i)
    value |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  return value;
}

HashKey DrawKey() {
  HashKey key;
  key.k0 = RandomNumber();
  key.k1 = RandomNumber();
  return key;
}

}  // namespace

std::uint64_t SipHash(const HashKey& key, std::string_view bytes, int compression_rounds,
                      int finalization_rounds) {
  SipState s{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL, key.k0 ^ 0x6c7967656e657261ULL,
             key.k1 ^ 0x7465646279746573ULL};
  const std::size_t whole = bytes.size() - bytes.size() % 8;
  for (std::size_t at = 0; at < whole; at += 8)
    s.Absorb(LittleEndian(bytes.data() + at, 8), compression_rounds);
  // The last block: the remaining bytes, and the length's low byte on top.
  const std::uint64_t last = LittleEndian(bytes.data() + whole, bytes.size() - whole) |
                             (static_cast<std::uint64_t>(bytes.size() & 0xFF) << 56);
  s.Absorb(last, compression_rounds);
  s.v2 ^= 0xFF;
  for (int i = 0; i < finalization_rounds; ++i) s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

namespace {

// One source for the whole run, named outright. The default source asks the
// processor, with CPUID, whether it has a random-number instruction, every
// time one is made; under a hypervisor each CPUID is a trap of several
// microseconds, more than a short run's own work. The system's source
// (getrandom on Linux, rand_s on Windows) needs no question; where the
// system lacks it, the default source serves.
std::unique_ptr<std::random_device> OpenRandomSource() {
#ifdef _WIN32
  constexpr const char* kSystemSource = "rand_s";
#else
  constexpr const char* kSystemSource = "getentropy";
#endif
  try {
    return std::make_unique<std::random_device>(kSystemSource);
  } catch (const std::exception&) {
    return std::make_unique<std::random_device>();
  }
}

std::random_device& RandomSource() {
  static const std::unique_ptr<std::random_device> source = OpenRandomSource();
  return *source;
}

}  // namespace

std::uint64_t RandomNumber() {
  std::random_device& source = RandomSource();
  return (std::uint64_t{source()} << 32) | source();
}

const HashKey& RunHashKey() {
  static const HashKey key = DrawKey();
  return key;
}

std::uint64_t KeyedHash(std::string_view bytes) { return SipHash(RunHashKey(), bytes, 1, 3); }

HashIndex::HashIndex(std::size_t expected_entries) {
  std::size_t capacity = 16;
  while (capacity < 2 * expected_entries) capacity *= 2;
  slots_.resize(capacity);
  mask_ = capacity - 1;
}

void HashIndex::Insert(std::uint64_t hash, std::uint32_t id) {
  // At most half full, so that a miss ends after a probe or two.
  if (2 * (count_ + 1) > slots_.size()) Grow();
  std::size_t slot = Start(hash);
  while (slots_[slot].id != kNotFound) slot = Next(slot);
  slots_[slot] = {hash, id};
  ++count_;
}

void HashIndex::Grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (const Slot& s : old) {
    if (s.id == kNotFound) continue;
    std::size_t slot = Start(s.hash);
    while (slots_[slot].id != kNotFound) slot = Next(slot);
    slots_[slot] = s;
  }
}

}  // namespace quillo
