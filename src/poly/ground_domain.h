// Conversion between map coordinates and a model's ground domain, for the library's own use.
#ifndef SENMOD_POLY_GROUND_DOMAIN_H
#define SENMOD_POLY_GROUND_DOMAIN_H

#include <cstdint>

#include "senmod/senmod.h"

#ifdef SENMOD_DEMLAYER
// The DEM-layer build uses the conversion without exporting it; the contract is the one in
// senmod/senmod.h.
extern "C" void smod_RSMConvertGRNDD(const RSM_Model* model, int toGroundDomain, double x, double y,
                                     double z, double* outX, double* outY, double* outZ,
                                     ErrorReport** err);
#endif

namespace senmod {

// Null unless the model's ground domain is rectangular and grndd does not hold its origin and
// rotation: then the message of the refusal.
const char* checkGroundFrame(const RSM_Model_Orig& rsm);

// smod_RSMConvertGRNDD without a report and without its check of the point: null on success,
// else the message it would report.
const char* convertGround(const RSM_Model_Orig& rsm, bool toGroundDomain, double x, double y,
                          double z, double* outX, double* outY, double* outZ);

// convertGround over n points; ok[j] = 0 where it fails, and on a rectangular domain where the
// point is not finite (a geodetic domain's conversion gives such a point coordinates that are
// not finite either). The outputs may be the inputs.
void convertGroundPoints(const RSM_Model_Orig& rsm, bool toGroundDomain, int32_t n, const double* x,
                         const double* y, const double* z, double* outX, double* outY, double* outZ,
                         uint8_t* ok);

// True for a rectangular ground domain with projection parameters, whose image-to-ground
// points refine the ground-domain height that belongs to their map height.
bool refinesHeight(const RSM_Model_Orig& rsm);

}  // namespace senmod

#endif  // SENMOD_POLY_GROUND_DOMAIN_H
