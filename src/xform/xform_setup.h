// Steps of the one-time elevation set-up that both builds take alike.
#ifndef SENMOD_XFORM_XFORM_SETUP_H
#define SENMOD_XFORM_XFORM_SETUP_H

#include "common/error_slot.h"
#include "common/scoped.h"
#include "senmod/senmod.h"

namespace senmod {

// Message of a set-up or operation given no object, no model or a model without sections.
extern const char* const kInvalidXformMessage;

// True when xform has a model with at least one section.
bool xformUsable(const RSM_Xform* xform);

// The model's output elevation info (a new record for the caller, or null). The query runs
// under the host's error accumulator, which logs a failure and lets the set-up go on.
Hprj_ElevationInfo* outputElevationInfo(const RSM_Model* model);

// Makes xform->projection from the model's projection parameters when there are some and the
// object has none yet. False after reporting "hprj_ProjectionInit failed" in slot.
bool makeProjection(RSM_Xform* xform, ErrorSlot& slot);

// Horizontal units of the ground points that a transform hands to its DEM: the ground-domain
// conversion gives longitude and latitude in degrees whatever the output projection.
extern const char* const kDemPointUnits;

// The coordinate system of the ground points that a transform hands to its DEM: geographic on
// the spheroid and datum of the model's projection parameters (borrowed from xform->projection
// when that is geographic, else a new projection held in geographic), or null (WGS 84) when
// the model has no parameters. False after reporting "hprj_ProjectionInit failed" in slot.
bool demPointProjection(const RSM_Xform* xform, ScopedProjection& geographic,
                        const Hprj_Projection** projection, ErrorSlot& slot);

}  // namespace senmod

#endif  // SENMOD_XFORM_XFORM_SETUP_H
