// The powers of the products x^i y^j z^k that every polynomial of a section is summed from.
#ifndef SENMOD_POLY_TERM_TABLE_H
#define SENMOD_POLY_TERM_TABLE_H

namespace senmod {

// Highest power of a polynomial in each variable.
constexpr int kMaxPower = 5;
constexpr int kTableSide = kMaxPower + 1;

// Powers of one polynomial; any of them negative makes the polynomial empty.
struct Powers {
  int x;
  int y;
  int z;
};

}  // namespace senmod

#endif  // SENMOD_POLY_TERM_TABLE_H
