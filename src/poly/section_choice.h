// Choice of the section that covers a point in a model with a grid of sections.
#ifndef SENMOD_POLY_SECTION_CHOICE_H
#define SENMOD_POLY_SECTION_CHOICE_H

#include "senmod/senmod.h"

namespace senmod {

// Null when a multi-section model's grid fits its section list and image domain, else the
// message of the refusal. A one-section model always fits.
const char* checkSectionGrid(const RSM_Model_Orig& rsm);

// The section of a grid-checked model at approximate image position (sample, row).
const RSMFunctions* sectionAt(const RSM_Model_Orig& rsm, double sample, double row);

// True when the model's low-order polynomial (exactly 20 values) is there to choose sections.
bool hasLowOrderPoly(const RSM_Model_Orig& rsm);

// The low-order polynomial's image position of ground-domain point (x, y, z).
void lowOrderImagePosition(const RSM_Model_Orig& rsm, double x, double y, double z, double* sample,
                           double* row);

}  // namespace senmod

#endif  // SENMOD_POLY_SECTION_CHOICE_H
