// The evaluator and the inverter of one section over many points, in the processor's widest
// vectors (chosen at run time). Each point takes exactly the operations of the plain per-point
// algorithm in the same order, so its result does not depend on the vector width.
#ifndef SENMOD_POLY_PLAN_KERNELS_H
#define SENMOD_POLY_PLAN_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "poly/section_plan.h"

namespace senmod {

// Ground to image of n ground-domain points (x, y, z) with an evaluation plan: sample and row
// of each; ok[j] = 0 where a denominator is exactly 0 (its outputs are then unspecified).
void evaluatePoints(const SectionPlan& plan, int32_t n, const double* x, const double* y,
                    const double* z, double* sample, double* row, uint8_t* ok);

// Image to ground of n image points (sample, row) at ground-domain heights z with an inversion
// plan, starting from the section's starting polynomial at (sample, row) (at 0, 0 without one):
// Newton passes until both corrections are at most 1e-8 or after five passes. ok[j] = 0 where
// a denominator is exactly 0 (outputs then unspecified).
void invertPoints(const SectionPlan& plan, int32_t n, const double* sample, const double* row,
                  const double* z, double* x, double* y, uint8_t* ok);

// The geodetic (hybrid: longitude 0 to 2 pi) ground-domain conversion of n points' x and y:
// map degrees to ground-domain radians (toGroundDomain) or back, as convertGround does it.
void geodeticPoints(bool toGroundDomain, bool hybrid, int32_t n, const double* x, const double* y,
                    double* outX, double* outY);

// The low-order polynomial's (the second-order coefficients coef[0..20), sample then row) image
// positions of n ground-domain points: c0 + c1 x + c2 y + c3 z + c4 x x + c5 x y + c6 x z +
// c7 y y + c8 y z + c9 z z, summed left to right.
void lowOrderPositions(const double* coef, int32_t n, const double* x, const double* y,
                       const double* z, double* sample, double* row);

// The lowest and the highest section of a batch of points.
struct SectionSpan {
  int32_t lowest, highest;
};

// The sections (column + row * colSections) of a grid-checked multi-section model at n
// approximate image positions: each grid index (position - domain start) / size truncated
// toward zero and clamped to the grid; 0 when the size is 0 or the quotient is not a number or
// lies outside the 32-bit integer range. Their span into *span unless it is null (for n = 0
// lowest is then above highest).
void sectionIndices(const RSM_Model_Orig& rsm, int32_t n, const double* sample, const double* row,
                    int32_t* section, SectionSpan* span);

// The sections of a grid-checked multi-section model that has the low-order polynomial at n
// ground-domain points: those of the polynomial's image positions, as sectionIndices gives them,
// their span into *span.
void lowOrderSections(const RSM_Model_Orig& rsm, int32_t n, const double* x, const double* y,
                      const double* z, int32_t* section, SectionSpan* span);

// Room that sectionMembers may write past the members it finds.
constexpr int32_t kMemberRoom = 16;

// The points j < n with section[j] == s and ok[j] set, their indices in rising order into
// members, which must have room for their number plus kMemberRoom; returns their number.
size_t sectionMembers(int32_t n, const int32_t* section, const uint8_t* ok, int32_t s,
                      int32_t* members);

// Name of the vector target the kernels run on now.
const char* kernelTarget();

}  // namespace senmod

#endif  // SENMOD_POLY_PLAN_KERNELS_H
