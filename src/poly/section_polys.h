// A section's four polynomials, read and checked once per call so that the evaluators never
// read outside the term table or a coefficient array.
#ifndef SENMOD_POLY_SECTION_POLYS_H
#define SENMOD_POLY_SECTION_POLYS_H

#include "poly/term_table.h"
#include "senmod/senmod.h"

namespace senmod {

struct Polynomial {
  const double* coef;
  Powers powers;
};

struct SectionPolys {
  Polynomial sampleNumerator;
  Polynomial sampleDenominator;
  Polynomial rowNumerator;
  Polynomial rowDenominator;
};

// What an evaluator reads of the row denominator: its value unless sameDenominators, and for
// the inversion also its derivatives, which always come from its own coefficients.
enum class Use { Evaluation, Inversion };

// The section's coefficient arrays, in the order of SectionPolys.
struct CoefficientArrays {
  const Smod_Doubles* array[4];
};
CoefficientArrays coefficientArrays(const RSMFunctions& section);

// Fills polys from section. Returns null, or the message of the refusal: a power outside
// -1..5, or a coefficient array read by this use that holds fewer values than its powers need.
const char* readSectionPolys(const RSMFunctions& section, Use use, SectionPolys* polys);

}  // namespace senmod

#endif  // SENMOD_POLY_SECTION_POLYS_H
