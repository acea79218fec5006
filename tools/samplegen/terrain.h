// The terrain of the sample: rolling hills around 650 m near longitude 7.45, latitude 46.95.
#ifndef SMODTOOL_TERRAIN_H
#define SMODTOOL_TERRAIN_H

namespace samplegen {

// Height (m above the WGS 84 ellipsoid) at longitude, latitude (degrees).
double terrain(double lonDeg, double latDeg);

// The brightness (0 dark ... 1 lit) of the terrain at longitude, latitude (degrees) under a
// light from the north-west 45 degrees up, as a hillshade shows it.
double hillshade(double lonDeg, double latDeg);

}  // namespace samplegen

#endif
