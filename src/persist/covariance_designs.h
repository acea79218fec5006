// The persistent designs of the covariance and adjustable-parameter records. Unlike the model's
// designs they are not cached: each conversion makes its own dictionary.
#ifndef SENMOD_PERSIST_COVARIANCE_DESIGNS_H
#define SENMOD_PERSIST_COVARIANCE_DESIGNS_H

#include "hostcore.h"

namespace senmod {

// Each creates its design ("Smod_RSMAPA", "Smod_RSMDCA", "Smod_RSMECA") for dictionary, which
// owns it; null with the host's report in err.
HmifDesign* Smod_RSMAPA_DesignCreate(HmifDictionary* dictionary, ErrorReport** err);
HmifDesign* Smod_RSMDCA_DesignCreate(HmifDictionary* dictionary, ErrorReport** err);
HmifDesign* Smod_RSMECA_DesignCreate(HmifDictionary* dictionary, ErrorReport** err);

}  // namespace senmod

#endif  // SENMOD_PERSIST_COVARIANCE_DESIGNS_H
