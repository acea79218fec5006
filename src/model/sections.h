// Helpers shared by the model records: section defaults and release of counted arrays.
#ifndef SENMOD_MODEL_SECTIONS_H
#define SENMOD_MODEL_SECTIONS_H

#include "senmod/senmod.h"

namespace senmod {

// Gives section the defaults of a new section (Scales 1, Offsets 0, powers -1, flags FALSE,
// arrays empty) without releasing anything it held.
void initSection(RSMFunctions* section);

// Releases array's block (when there is one) and nulls its pointer; the count stays.
void freeDoubles(Smod_Doubles* array);

}  // namespace senmod

#endif  // SENMOD_MODEL_SECTIONS_H
