// The checks a model passes before its points are carried, and the choice of the section that
// covers a point in a model with a grid of sections.
#ifndef SENMOD_POLY_SECTION_CHOICE_H
#define SENMOD_POLY_SECTION_CHOICE_H

#include "senmod/senmod.h"

namespace senmod {

// Null when model (may be null) can carry points, else the message of the refusal: it has
// sections; a multi-section model's grid fits its section list and image domain; and the model's
// arrays that a transform in its direction reads hold what it reads (the origin and rotation of
// a rectangular ground domain, from ground to image the low-order polynomial of a multi-section
// model). Each section is checked when its plan is built.
const char* checkModel(const RSM_Model* model);

// Null unless the low-order polynomial counts values without holding them: then the message of
// the refusal.
const char* checkLowOrderPoly(const RSM_Model_Orig& rsm);

// The section of a checked model at approximate image position (sample, row).
const RSMFunctions* sectionAt(const RSM_Model_Orig& rsm, double sample, double row);

// True when the model's low-order polynomial (exactly 20 values) is there to choose sections.
bool hasLowOrderPoly(const RSM_Model_Orig& rsm);

// The low-order polynomial's image position of ground-domain point (x, y, z).
void lowOrderImagePosition(const RSM_Model_Orig& rsm, double x, double y, double z, double* sample,
                           double* row);

}  // namespace senmod

#endif  // SENMOD_POLY_SECTION_CHOICE_H
