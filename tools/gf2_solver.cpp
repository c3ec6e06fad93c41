#include "tools/gf2_solver.h"

#include <array>
#include <bit>

namespace qx80 {

std::optional<uint64_t> SolveAffine16(int variables, const std::function<uint16_t(uint64_t)>& f, uint16_t target,
                                      uint64_t preferred) {
  struct Row {
    uint16_t value = 0;  // what flipping `flips` adds to f
    uint64_t flips = 0;
  };
  // Reduced rows indexed by their highest set bit (Gaussian elimination over GF(2)).
  std::array<Row, 16> basis{};
  const uint16_t base = f(preferred);
  for (int j = 0; j < variables; ++j) {
    const uint64_t flip = uint64_t{1} << j;
    Row row{static_cast<uint16_t>(f(preferred ^ flip) ^ base), flip};
    while (row.value != 0) {
      const int top = static_cast<int>(std::bit_width(row.value)) - 1;
      if (basis[top].value == 0) {
        basis[top] = row;
        break;
      }
      row.value ^= basis[top].value;
      row.flips ^= basis[top].flips;
    }
  }
  uint16_t need = static_cast<uint16_t>(base ^ target);
  uint64_t flips = 0;
  while (need != 0) {
    const Row& row = basis[static_cast<int>(std::bit_width(need)) - 1];
    if (row.value == 0) {
      return std::nullopt;
    }
    need ^= row.value;
    flips ^= row.flips;
  }
  return preferred ^ flips;
}

}  // namespace qx80
