#pragma once
// Solving for bits that an affine map over GF(2) sends to a wanted 16-bit value. CRC-16 is
// affine in the bytes it covers, so this finds the bytes (or key bits) that give a wanted CRC.
#include <cstdint>
#include <functional>
#include <optional>

namespace qx80 {

// f maps the low `variables` bits (at most 64) of its argument to 16 bits and must be affine.
// Returns preferred with some of its low `variables` bits flipped such that f gives target, or
// nothing when no such flip exists. Deterministic: the same f and preferred give the same result.
std::optional<uint64_t> SolveAffine16(int variables, const std::function<uint16_t(uint64_t)>& f, uint16_t target,
                                      uint64_t preferred);

}  // namespace qx80
