// A simulated frame camera over the WGS 84 ellipsoid: the sensor the sample model is fitted to.
#ifndef SMODTOOL_FRAME_CAMERA_H
#define SMODTOOL_FRAME_CAMERA_H

#include <array>

namespace samplegen {

using Vec3 = std::array<double, 3>;

// Earth-centred X, Y, Z (m) of geodetic longitude, latitude (radians) and height (m), and back.
Vec3 geodeticToEcef(double lon, double lat, double h);
Vec3 ecefToGeodetic(const Vec3& p);

// A pinhole camera with radial distortion, looking from its station at a target point.
class FrameCamera {
 public:
  // Station and target as geodetic longitude, latitude (radians) and height (m); focal length
  // and principal point in pixels; k1 the radial distortion at unit normalised radius.
  FrameCamera(const Vec3& station, const Vec3& target, double focal, double cx, double cy,
              double k1);

  // Image sample and row of a geodetic ground point (radians, radians, m).
  void project(double lon, double lat, double h, double& sample, double& row) const;
  // The geodetic ground point (radians, radians) at height h seen at (sample, row).
  void locate(double sample, double row, double h, double& lon, double& lat) const;
  // The ray seen at (sample, row): the station and the unit viewing direction, Earth-centred.
  void ray(double sample, double row, Vec3& origin, Vec3& direction) const;

 private:
  Vec3 station_;
  Vec3 axes_[3];  // camera x (samples), y (rows), z (viewing direction) in Earth-centred axes
  double focal_, cx_, cy_, k1_;
};

}  // namespace samplegen

#endif
