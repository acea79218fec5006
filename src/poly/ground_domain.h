// Conversion between map coordinates and a model's ground domain, for the library's own use.
#ifndef SENMOD_POLY_GROUND_DOMAIN_H
#define SENMOD_POLY_GROUND_DOMAIN_H

#include "senmod/senmod.h"

#ifdef SENMOD_DEMLAYER
// The DEM-layer build uses the conversion without exporting it; the contract is the one in
// senmod/senmod.h.
extern "C" void smod_RSMConvertGRNDD(const RSM_Model* model, int toGroundDomain, double x, double y,
                                     double z, double* outX, double* outY, double* outZ,
                                     ErrorReport** err);
#endif

#endif  // SENMOD_POLY_GROUND_DOMAIN_H
