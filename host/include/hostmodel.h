/*
 * hostmodel: the host toolkit's modelling services as senmod uses them: two-variable
 * polynomials, first-order fits, geographic/Earth-centred conversion and elevation sources.
 */
#ifndef HOSTMODEL_H
#define HOSTMODEL_H

#include <stdint.h>

#include "hostcore.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Value at (x, y) of the polynomial of order n (0 to 10) whose (n + 1)(n + 2)/2 coefficients
 * are given by total degree, and within a degree d by falling power of x:
 * 1, x, y, x^2, xy, y^2, x^3, x^2y, xy^2, y^3, ... An order outside 0..10 or null
 * coefficients give NaN. */
double hmod_PolyCalc(const double* coefficients, int32_t order, double x, double y);

/* Least-squares first-order fit from source points (sx, sy) to destination points (dx, dy):
 * dx ~ xc[0] + xc[1] sx + xc[2] sy, dy ~ yc[0] + yc[1] sx + yc[2] sy (the order of hmod_PolyCalc
 * of order 1). The points are centred first so that the fit stays well conditioned. Any count
 * gives finite coefficients: with no point the identity, with one point (or all at one place)
 * a shift, with collinear points the fit along their line and no change across it. Points
 * with a coordinate that is not finite are left out.
 * Returns 0, or -1 for a null list with count above 0 (coefficients then the identity). */
int hdom_GetAffine(const double* sx, const double* sy, const double* dx, const double* dy,
                   int32_t count, double xc[3], double yc[3]);

/* Geographic longitude and latitude (radians) and ellipsoidal height (m) to Earth-centred
 * X, Y, Z (m) on the spheroid of squared eccentricity eSquared and semi-major axis a (m).
 * Exact to well under a millimetre. Returns 0, or -1 for a bad spheroid (outputs untouched). */
int hmod_GeographicToGeocentric(double longitude, double latitude, double height, double* x,
                                double* y, double* z, double eSquared, double a);
/* The reverse: longitude in (-pi, pi], latitude (radians), height (m). */
int hmod_GeocentricToGeographic(double x, double y, double z, double* longitude,
                                double* latitude, double* height, double eSquared, double a);

/* An elevation source: heights (m) at map points of a projection read from a raster DEM. */
typedef struct HmodElevationSource HmodElevationSource;

/* Opens the raster DEM demFile (any raster GDAL reads) for map points of projection (null:
 * geographic WGS 84 longitude/latitude in degrees) in horizontalUnits ("degrees" or "radians"
 * for a geographic projection, "meters" otherwise; a null projection with "meters" takes the
 * points in the DEM's own coordinate system, as does a DEM that names none). Heights come out in
 * meters: the DEM's vertical units come from the raster's unit type, else from elevationInfo,
 * else meters. The source keeps copies of what it is given. Null with a report when the DEM
 * cannot be opened or its coordinate system cannot be reached from the projection. */
HmodElevationSource* CreateRereferenceableElevationSource(const char* demFile,
                                                          const Hprj_Projection* projection,
                                                          const char* horizontalUnits,
                                                          const Hprj_ElevationInfo* elevationInfo,
                                                          ErrorReport** err);
/* Writes the DEM's mean height over valid cells (m) to *mean and returns 1; 0 when it has no
 * valid cell or for null arguments. */
int HasMeanZUpdateFromElevationSource(HmodElevationSource* source, double* mean);
/* Heights (m) of the n points of the 2-row buffer (row 0 x, row 1 y) into heights, bilinearly
 * interpolated; a point off the DEM or next to a no-data cell gets the mean height (0 when
 * the DEM has no valid cell). flag is 0 for a batch, 1 for a single point (no difference in
 * result). Returns 0, or -1 for bad arguments (heights untouched). */
int ReadElevationValues(HmodElevationSource* source, int32_t n, const HgdaBaseData* points,
                        double* heights, int32_t flag);
/* Releases the source; accepts null. */
void DeleteRereferenceableElevationSource(HmodElevationSource* source);

#ifdef __cplusplus
}
#endif

#endif /* HOSTMODEL_H */
