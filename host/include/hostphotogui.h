/*
 * hostphotogui: the host toolkit's interactive photogrammetry services as the DEM-layer build
 * of senmod uses them. It exports the term evaluator of hostphoto.h as well.
 */
#ifndef HOSTPHOTOGUI_H
#define HOSTPHOTOGUI_H

#include <stdint.h>

#include "hostcore.h"
#include "hostphoto.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The transform from map coordinates of projection (null: geographic WGS 84 in degrees) in
 * mapUnits to pixel coordinates of layer, pixel centres at whole numbers. mapUnits and a null
 * projection as for CreateRereferenceableElevationSource in hostmodel.h. Fills *termCount and
 * *terms (a new heap array) with the height terms that turn the layer's pixel values, in the
 * units of the raster's unit type or else of demInfo, into the units of outputInfo (meters
 * when either names none). Null with a report. */
HxfrXForm* hpho_DeriveMapToLayerXformEx(HimgLayer* layer, const Hprj_ElevationInfo* demInfo,
                                        const Hprj_Projection* projection, const char* mapUnits,
                                        const Hprj_ElevationInfo* outputInfo, double meanHeight,
                                        int32_t* termCount, double** terms, ErrorReport** err);
/* Height of a pixel value at layer point (x, y) through the height terms; without terms (a
 * count below 2 or null terms) the pixel value itself. */
double hpho_CalcZ(double x, double y, double pixelValue, int32_t termCount, const double* terms);

#ifdef __cplusplus
}
#endif

#endif /* HOSTPHOTOGUI_H */
