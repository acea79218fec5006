// Builders of the persistent designs of the model record, its sections and the holders they
// use. Each design is built once per process in one shared dictionary and the handle is cached;
// the dictionary goes at process exit. Builders are safe to call from any thread.
#ifndef SENMOD_PERSIST_DESIGNS_H
#define SENMOD_PERSIST_DESIGNS_H

#include "hostcore.h"

namespace senmod {

// Each returns the cached design (owned by the shared dictionary; never destroy it), building
// it first when needed. err is optional; on failure the result is null and the report is
// "Dictionary create fail" or "Design create failed" under the builder's name.

// "Hmif_String": one counted text.
HmifDesign* Hmif_String_Design(ErrorReport** err = nullptr);
// "Hmif_MIFObject": a held object's design name, dictionary text and persistent bytes.
HmifDesign* Hmif_MIFObject_Design(ErrorReport** err = nullptr);
// "RSMFunctions": one polynomial section.
HmifDesign* RSMFunctions_Design(ErrorReport** err = nullptr);
// "RSM_Model_Orig": the model proper. Names "RSMFunctions" as its section design, so build
// that one too before walking a model.
HmifDesign* RSM_Model_Orig_Design(ErrorReport** err = nullptr);
// "RSM_Model": the model record as stored (flat in the DEM-layer build).
HmifDesign* RSM_Model_Design(ErrorReport** err = nullptr);

}  // namespace senmod

#endif  // SENMOD_PERSIST_DESIGNS_H
