#include "model_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "hostmodel.h"
#include "poly/ground_domain.h"

namespace model_builder {

namespace {

constexpr double kEarthRadius = 6378137.0;
constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84B = 6356752.314245179;
constexpr double kWgs84E2 = 0.0066943799901413165;
constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) { return degrees * kPi / 180.0; }

// Least squares solution of A x = b (A m x n column by column, m >= n) by Householder QR with
// the columns scaled to unit length first.
std::vector<double> leastSquares(std::vector<double> a, std::vector<double> b, int m, int n) {
  std::vector<double> scale(n, 1.0);
  for (int c = 0; c < n; ++c) {
    double norm = 0.0;
    for (int r = 0; r < m; ++r) norm += a[c * m + r] * a[c * m + r];
    norm = std::sqrt(norm);
    if (norm > 0.0) {
      scale[c] = norm;
      for (int r = 0; r < m; ++r) a[c * m + r] /= norm;
    }
  }
  for (int k = 0; k < n; ++k) {
    double norm = 0.0;
    for (int r = k; r < m; ++r) norm += a[k * m + r] * a[k * m + r];
    norm = std::sqrt(norm);
    if (norm == 0.0) continue;
    const double alpha = a[k * m + k] > 0.0 ? -norm : norm;
    std::vector<double> v(a.begin() + k * m + k, a.begin() + k * m + m);
    v[0] -= alpha;
    double vv = 0.0;
    for (double value : v) vv += value * value;
    if (vv == 0.0) continue;
    auto reflect = [&](double* column) {
      double dot = 0.0;
      for (int r = k; r < m; ++r) dot += v[r - k] * column[r];
      const double f = 2.0 * dot / vv;
      for (int r = k; r < m; ++r) column[r] -= f * v[r - k];
    };
    for (int c = k; c < n; ++c) reflect(&a[c * m]);
    reflect(b.data());
  }
  std::vector<double> x(n, 0.0);
  for (int k = n - 1; k >= 0; --k) {
    double sum = b[k];
    for (int c = k + 1; c < n; ++c) sum -= a[c * m + k] * x[c];
    const double diagonal = a[k * m + k];
    x[k] = diagonal != 0.0 ? sum / diagonal : 0.0;
  }
  for (int c = 0; c < n; ++c) x[c] /= scale[c];
  return x;
}

// Ideal (undistorted) camera coordinates: xs across track, ys along track, in pixels.
void idealImage(const FlatGroundCamera& cam, double east, double north, double up, double* xs,
                double* ys) {
  const double f = cam.altitude / cam.pixelSize;
  const double h = cam.altitude - up;
  if (cam.kind == FlatGroundCamera::Kind::Frame) {
    const double d = h * std::cos(cam.tilt) - north * std::sin(cam.tilt);
    const double yc = north * std::cos(cam.tilt) + h * std::sin(cam.tilt);
    *xs = f * east / d;
    *ys = f * yc / d;
  } else {
    *xs = f * east / (h / std::cos(cam.tilt));
    *ys = (north - h * std::tan(cam.tilt)) / cam.pixelSize;
  }
}

// The reverse of idealImage at height up.
void idealGround(const FlatGroundCamera& cam, double xs, double ys, double up, double* east,
                 double* north) {
  const double f = cam.altitude / cam.pixelSize;
  const double h = cam.altitude - up;
  if (cam.kind == FlatGroundCamera::Kind::Frame) {
    const double q = ys / f;
    const double c = std::cos(cam.tilt);
    const double s = std::sin(cam.tilt);
    *north = h * (q * c - s) / (c + q * s);
    const double d = h * c - *north * s;
    *east = xs / f * d;
  } else {
    *north = ys * cam.pixelSize + h * std::tan(cam.tilt);
    *east = xs / f * (h / std::cos(cam.tilt));
  }
}

// Image position of pixel (sample, row) in ideal coordinates, ignoring the distortion.
void pixelToIdeal(const FlatGroundCamera& cam, double sample, double row, double* xs, double* ys) {
  *xs = sample - cam.samples / 2.0;
  *ys = cam.rows / 2.0 - row;
}

struct Box {
  double minEast = 1e300, maxEast = -1e300, minNorth = 1e300, maxNorth = -1e300;
  void add(double east, double north) {
    minEast = std::min(minEast, east);
    maxEast = std::max(maxEast, east);
    minNorth = std::min(minNorth, north);
    maxNorth = std::max(maxNorth, north);
  }
};

// Local footprint of the image rectangle [s0, s1] x [r0, r1] over the camera's heights.
Box footprint(const FlatGroundCamera& cam, double s0, double s1, double r0, double r1) {
  Box box;
  for (double up : {cam.minHeight, cam.maxHeight})
    for (double s : {s0, s1})
      for (double r : {r0, r1}) {
        double xs, ys, east, north;
        pixelToIdeal(cam, s, r, &xs, &ys);
        idealGround(cam, xs, ys, up, &east, &north);
        box.add(east, north);
      }
  return box;
}

Poly fittedPoly(const FlatGroundCamera& cam, const std::vector<double>& design,
                const std::vector<double>& values, int m) {
  Poly poly{cam.powerX, cam.powerY, cam.powerZ, {}};
  const int n = (cam.powerX + 1) * (cam.powerY + 1) * (cam.powerZ + 1);
  poly.coef = leastSquares(design, values, m, n);
  return poly;
}

Hprj_ProParameters* wgs84Parameters() {
  ErrorReport* err = nullptr;
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(&err);
  if (!parameters) throw std::runtime_error("hprj_ProParametersCreate failed");
  Hprj_Spheroid* spheroid = parameters->proSpheroid;
  std::strncpy(spheroid->sphereName, "WGS 84", HPRJ_NAME_SIZE - 1);
  spheroid->a = kWgs84A;
  spheroid->b = kWgs84B;
  spheroid->eSquared = kWgs84E2;
  spheroid->radius = 6371007.181;
  std::strncpy(spheroid->datum.datumName, "WGS 84", HPRJ_NAME_SIZE - 1);
  return parameters;
}

std::vector<double> rectangularFrame(const FlatGroundCamera& cam) {
  const double lon = radians(cam.longitude0);
  const double lat = radians(cam.latitude0);
  double origin[3];
  hmod_GeographicToGeocentric(lon, lat, 0.0, &origin[0], &origin[1], &origin[2], kWgs84E2, kWgs84A);
  const double axes[3][3] = {
      {-std::sin(lon), std::cos(lon), 0.0},
      {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)},
      {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)}};
  std::vector<double> grndd{origin[0], origin[1], origin[2]};
  // M[r][c] is component r of axis c: the transpose of M takes Earth-centred offsets to local.
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) grndd.push_back(axes[c][r]);
  return grndd;
}

}  // namespace

Poly constant(double c) { return Poly{0, 0, 0, {c}}; }

SectionPolynomials affineSection(double a, double b, double c, double d, double e, double f) {
  SectionPolynomials desc;
  desc.sampleNumerator = Poly{1, 1, 0, {a, b, c, 0.0}};
  desc.rowNumerator = Poly{1, 1, 0, {d, e, f, 0.0}};
  return desc;
}

Smod_Doubles heapDoubles(const std::vector<double>& values) {
  Smod_Doubles array{0, nullptr};
  if (values.empty()) return array;
  array.data = static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * values.size()));
  if (!array.data) throw std::bad_alloc();
  std::copy(values.begin(), values.end(), array.data);
  array.count = static_cast<int32_t>(values.size());
  return array;
}

Hmif_String heapText(const char* text) {
  Hmif_String string{0, nullptr};
  if (!text) return string;
  string.data = hstr_Duplicate(text);
  if (!string.data) throw std::bad_alloc();
  string.count = static_cast<int32_t>(std::strlen(text) + 1);
  return string;
}

void fillSection(RSMFunctions* section, const SectionPolynomials& desc) {
  for (int m = 0; m < 5; ++m) {
    section->Scales[m] = desc.scales[m];
    section->Offsets[m] = desc.offsets[m];
  }
  section->useNormalization = desc.useNormalization ? SMOD_TRUE : SMOD_FALSE;
  auto set = [](const Poly& poly, int32_t* px, int32_t* py, int32_t* pz, Smod_Doubles* array) {
    *px = poly.px;
    *py = poly.py;
    *pz = poly.pz;
    *array = heapDoubles(poly.coef);
  };
  set(desc.sampleNumerator, &section->sampleNumeratorPowerX, &section->sampleNumeratorPowerY,
      &section->sampleNumeratorPowerZ, &section->sampleNumerator);
  set(desc.sampleDenominator, &section->sampleDenominatorPowerX, &section->sampleDenominatorPowerY,
      &section->sampleDenominatorPowerZ, &section->sampleDenominator);
  set(desc.rowNumerator, &section->rowNumeratorPowerX, &section->rowNumeratorPowerY,
      &section->rowNumeratorPowerZ, &section->rowNumerator);
  set(desc.rowDenominator, &section->rowDenominatorPowerX, &section->rowDenominatorPowerY,
      &section->rowDenominatorPowerZ, &section->rowDenominator);
  section->sameDenominators = desc.sameDenominators ? SMOD_TRUE : SMOD_FALSE;
  section->imageToGroundPoly = heapDoubles(desc.imageToGroundPoly);
  section->validSolution = SMOD_TRUE;
}

RSMFunctions* makeSections(const std::vector<SectionPolynomials>& descs) {
  ErrorReport* err = nullptr;
  RSMFunctions* sections = smod_RationalPolynomialsCreate(static_cast<int>(descs.size()), &err);
  if (!sections) throw std::bad_alloc();
  for (size_t i = 0; i < descs.size(); ++i) fillSection(&sections[i], descs[i]);
  return sections;
}

RSM_Model* makeModel(const std::vector<SectionPolynomials>& descs, int rows, int cols,
                     double rowsPerSection, double colsPerSection, double firstSample,
                     double firstRow) {
  ErrorReport* err = nullptr;
  RSM_Model* model = smod_RSMCreate(&err);
  if (!model) throw std::bad_alloc();
  RSM_Model_Orig& rsm = model->rsm;
  rsm.RationalPolyList.data = makeSections(descs);
  rsm.RationalPolyList.count = static_cast<int32_t>(descs.size());
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols && i * cols + j < static_cast<int>(descs.size()); ++j) {
      rsm.RationalPolyList.data[i * cols + j].rowSection = i;
      rsm.RationalPolyList.data[i * cols + j].columnSection = j;
    }
  if (descs.size() > 1) {
    rsm.rowSections = rows;
    rsm.colSections = cols;
    rsm.rowsPerSection = rowsPerSection;
    rsm.colsPerSection = colsPerSection;
    rsm.imageDomain = heapDoubles({firstSample, firstSample + cols * colsPerSection, firstRow,
                                   firstRow + rows * rowsPerSection});
  }
  return model;
}

void localToGround(const FlatGroundCamera& cam, double east, double north, double up, double* gx,
                   double* gy, double* gz) {
  if (cam.domain == FlatGroundCamera::Domain::Rectangular) {
    *gx = east;
    *gy = north;
    *gz = up;
    return;
  }
  const double lat0 = radians(cam.latitude0);
  *gx = radians(cam.longitude0) + east / (kEarthRadius * std::cos(lat0));
  *gy = lat0 + north / kEarthRadius;
  *gz = up;
}

void groundToLocal(const FlatGroundCamera& cam, double gx, double gy, double gz, double* east,
                   double* north, double* up) {
  if (cam.domain == FlatGroundCamera::Domain::Rectangular) {
    *east = gx;
    *north = gy;
    *up = gz;
    return;
  }
  const double lat0 = radians(cam.latitude0);
  *east = (gx - radians(cam.longitude0)) * kEarthRadius * std::cos(lat0);
  *north = (gy - lat0) * kEarthRadius;
  *up = gz;
}

void cameraImage(const FlatGroundCamera& cam, double gx, double gy, double gz, double* sample,
                 double* row) {
  double east, north, up, xs, ys;
  groundToLocal(cam, gx, gy, gz, &east, &north, &up);
  idealImage(cam, east, north, up, &xs, &ys);
  const double halfS = cam.samples / 2.0;
  const double halfR = cam.rows / 2.0;
  double xFactor, yFactor;
  if (cam.kind == FlatGroundCamera::Kind::Frame) {
    xFactor = yFactor =
        1.0 + cam.distortion * (xs * xs + ys * ys) / (halfS * halfS + halfR * halfR);
  } else {
    xFactor = 1.0 + cam.distortion * xs * xs / (halfS * halfS);
    yFactor = 1.0;
  }
  *sample = halfS + xs * xFactor;
  *row = halfR - ys * yFactor;
}

void groundToMap(const RSM_Model* model, double gx, double gy, double gz, double* mapX,
                 double* mapY, double* mapZ) {
  smod_RSMConvertGRNDD(model, 0, gx, gy, gz, mapX, mapY, mapZ, nullptr);
}

RSM_Model* makeCameraModel(const FlatGroundCamera& cam) {
  const double rowsPer = static_cast<double>(cam.rows) / cam.rowSections;
  const double colsPer = static_cast<double>(cam.samples) / cam.colSections;
  constexpr int kGrid = 14;
  constexpr int kHeights = 5;
  const int m = kGrid * kGrid * kHeights;
  const int n = (cam.powerX + 1) * (cam.powerY + 1) * (cam.powerZ + 1);

  std::vector<SectionPolynomials> descs;
  for (int i = 0; i < cam.rowSections; ++i)
    for (int j = 0; j < cam.colSections; ++j) {
      const double marginS = 0.1 * colsPer;
      const double marginR = 0.1 * rowsPer;
      const double s0 = j * colsPer - marginS, s1 = (j + 1) * colsPer + marginS;
      const double r0 = i * rowsPer - marginR, r1 = (i + 1) * rowsPer + marginR;
      const Box box = footprint(cam, s0, s1, r0, r1);
      double g0[3], g1[3];
      localToGround(cam, box.minEast, box.minNorth, cam.minHeight, &g0[0], &g0[1], &g0[2]);
      localToGround(cam, box.maxEast, box.maxNorth, cam.maxHeight, &g1[0], &g1[1], &g1[2]);

      SectionPolynomials desc;
      desc.useNormalization = true;
      desc.sameDenominators = true;
      for (int k = 0; k < 3; ++k) {
        desc.offsets[k] = (g0[k] + g1[k]) / 2.0;
        desc.scales[k] = (g1[k] - g0[k]) / 2.0;
      }
      desc.offsets[3] = (j + 0.5) * colsPer;
      desc.scales[3] = colsPer / 2.0;
      desc.offsets[4] = (i + 0.5) * rowsPer;
      desc.scales[4] = rowsPer / 2.0;

      std::vector<double> design(static_cast<size_t>(m) * n);
      std::vector<double> samples(m), rowValues(m);
      int p = 0;
      for (int a = 0; a < kGrid; ++a)
        for (int b = 0; b < kGrid; ++b)
          for (int c = 0; c < kHeights; ++c, ++p) {
            const double nx = -1.0 + 2.0 * a / (kGrid - 1);
            const double ny = -1.0 + 2.0 * b / (kGrid - 1);
            const double nz = -1.0 + 2.0 * c / (kHeights - 1);
            double sample, row;
            cameraImage(cam, desc.offsets[0] + nx * desc.scales[0],
                        desc.offsets[1] + ny * desc.scales[1],
                        desc.offsets[2] + nz * desc.scales[2], &sample, &row);
            samples[p] = (sample - desc.offsets[3]) / desc.scales[3];
            rowValues[p] = (row - desc.offsets[4]) / desc.scales[4];
            int term = 0;
            for (int kz = 0; kz <= cam.powerZ; ++kz)
              for (int ky = 0; ky <= cam.powerY; ++ky)
                for (int kx = 0; kx <= cam.powerX; ++kx, ++term)
                  design[static_cast<size_t>(term) * m + p] =
                      std::pow(nx, kx) * std::pow(ny, ky) * std::pow(nz, kz);
          }
      desc.sampleNumerator = fittedPoly(cam, design, samples, m);
      desc.rowNumerator = fittedPoly(cam, design, rowValues, m);
      descs.push_back(desc);
    }

  RSM_Model* model = makeModel(descs, cam.rowSections, cam.colSections, rowsPer, colsPer);
  RSM_Model_Orig& rsm = model->rsm;
  if (cam.domain == FlatGroundCamera::Domain::Rectangular) {
    rsm.grndd = heapDoubles(rectangularFrame(cam));
    if (cam.withProjection) rsm.obsoletePlaceHolder0 = wgs84Parameters();
  }

  std::vector<double> corners;
  for (double up : {cam.minHeight, cam.maxHeight})
    for (auto [s, r] : {std::pair<double, double>{0.0, 0.0},
                        {1.0 * cam.samples, 0.0},
                        {1.0 * cam.samples, 1.0 * cam.rows},
                        {0.0, 1.0 * cam.rows}}) {
      double xs, ys, east, north, g[3];
      pixelToIdeal(cam, s, r, &xs, &ys);
      idealGround(cam, xs, ys, up, &east, &north);
      localToGround(cam, east, north, up, &g[0], &g[1], &g[2]);
      corners.insert(corners.end(), g, g + 3);
    }
  rsm.groundDomain = heapDoubles(corners);

  if (cam.lowOrderPoly) {
    const Box box = footprint(cam, 0.0, cam.samples, 0.0, cam.rows);
    const int terms = 10;
    std::vector<double> design(static_cast<size_t>(m) * terms);
    std::vector<double> samples(m), rowValues(m);
    int p = 0;
    for (int a = 0; a < kGrid; ++a)
      for (int b = 0; b < kGrid; ++b)
        for (int c = 0; c < kHeights; ++c, ++p) {
          const double east = box.minEast + (box.maxEast - box.minEast) * a / (kGrid - 1);
          const double north = box.minNorth + (box.maxNorth - box.minNorth) * b / (kGrid - 1);
          const double up = cam.minHeight + (cam.maxHeight - cam.minHeight) * c / (kHeights - 1);
          double x, y, z;
          localToGround(cam, east, north, up, &x, &y, &z);
          cameraImage(cam, x, y, z, &samples[p], &rowValues[p]);
          const double t[terms] = {1.0, x, y, z, x * x, x * y, x * z, y * y, y * z, z * z};
          for (int k = 0; k < terms; ++k) design[static_cast<size_t>(k) * m + p] = t[k];
        }
    std::vector<double> poly = leastSquares(design, samples, m, terms);
    const std::vector<double> rowPoly = leastSquares(design, rowValues, m, terms);
    poly.insert(poly.end(), rowPoly.begin(), rowPoly.end());
    rsm.groundToImagePoly = heapDoubles(poly);
  }

  ErrorReport* err = nullptr;
  smod_image2groundCalc(model, &err);
  if (err) {
    herr_DeleteErrorReportEx(&err);
    smod_RSMDelete(model);
    throw std::runtime_error("smod_image2groundCalc failed");
  }
  return model;
}

}  // namespace model_builder
