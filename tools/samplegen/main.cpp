// Writes the bundled sample: a NITF file whose RSM records hold a 2 x 2 grid of sections of cubic
// rational polynomials fitted to a simulated frame camera over the WGS 84 ellipsoid (geodetic
// ground domain) and whose JPEG-compressed image is what that camera sees (the terrain's
// hillshade, crosses on a few ground points), a GeoTIFF DEM of the same area, the crosses'
// ground points and a file of image points.
//
// usage: senmod_samplegen OUTPUT_DIRECTORY
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "frame_camera.h"
#include "least_squares.h"
#include "nitf_builder.h"
#include "sample_image.h"
#include "terrain.h"

namespace {

using namespace samplegen;
using nitf_builder::Fields;
using nitf_builder::real;
using nitf_builder::whole;

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;

constexpr int kColumns = 1500;  // image size in pixels
constexpr int kRows = 1000;
constexpr int kSectionRows = 2;
constexpr int kSectionColumns = 2;
constexpr double kLowHeight = 300.0;  // ground domain heights (m)
constexpr double kHighHeight = 1000.0;
constexpr int kPowers[3] = {3, 3, 3};      // numerator powers of x, y, z
constexpr int kDenominator[3] = {1, 1, 1};  // denominator powers; its constant term is 1

const double kLon0 = 7.45 * kRad;
const double kLat0 = 46.95 * kRad;

// The ground points marked with crosses: the centre and four points around it.
std::vector<Mark> marks() {
  std::vector<Mark> m;
  for (const auto& p : {std::pair{7.45, 46.951}, std::pair{7.436, 46.944}, std::pair{7.464, 46.944},
                        std::pair{7.436, 46.957}, std::pair{7.464, 46.957}}) {
    m.push_back({p.first, p.second, terrain(p.first, p.second)});
  }
  return m;
}

struct Sample {
  double x, y, z, sample, row;  // ground-domain (radians, radians, m) and image
};

// Ground points seen in the image rectangle [s0, s1] x [r0, r1] at heights over the domain.
std::vector<Sample> samples(const FrameCamera& camera, double s0, double s1, double r0,
                            double r1) {
  std::vector<Sample> out;
  const int n = 14, levels = 6;
  for (int k = 0; k < levels; ++k) {
    const double h = kLowHeight + (kHighHeight - kLowHeight) * k / (levels - 1);
    for (int i = 0; i <= n; ++i) {
      for (int j = 0; j <= n; ++j) {
        Sample p{};
        p.sample = s0 + (s1 - s0) * j / n;
        p.row = r0 + (r1 - r0) * i / n;
        p.z = h;
        camera.locate(p.sample, p.row, h, p.x, p.y);
        out.push_back(p);
      }
    }
  }
  return out;
}

struct Normalisation {
  double offset[5], scale[5];  // x, y, z, column, row
};

Normalisation normalisation(const std::vector<Sample>& pts) {
  Normalisation n{};
  for (int i = 0; i < 5; ++i) {
    double lo = 1e300, hi = -1e300;
    for (const Sample& p : pts) {
      const double v[5] = {p.x, p.y, p.z, p.sample, p.row};
      lo = std::min(lo, v[i]);
      hi = std::max(hi, v[i]);
    }
    n.offset[i] = (lo + hi) / 2.0;
    n.scale[i] = (hi - lo) / 2.0;
  }
  return n;
}

// The terms x^i y^j z^k (x fastest, then y, then z) of powers p at a normalised point.
void terms(const int* p, double x, double y, double z, std::vector<double>& out) {
  for (int k = 0; k <= p[2]; ++k) {
    for (int j = 0; j <= p[1]; ++j) {
      for (int i = 0; i <= p[0]; ++i)
        out.push_back(std::pow(x, i) * std::pow(y, j) * std::pow(z, k));
    }
  }
}

struct Rational {
  std::vector<double> numerator, denominator;
};

// The rational polynomial of the normalised image coordinate `which` (3 column, 4 row): the
// equations t * D - N = 0 with D's constant term 1 are linear in the other coefficients.
Rational fitRational(const std::vector<Sample>& pts, const Normalisation& n, int which) {
  const int numeratorTerms = (kPowers[0] + 1) * (kPowers[1] + 1) * (kPowers[2] + 1);
  const int denominatorTerms =
      (kDenominator[0] + 1) * (kDenominator[1] + 1) * (kDenominator[2] + 1);
  std::vector<double> a, b, row, den;
  for (const Sample& p : pts) {
    const double x = (p.x - n.offset[0]) / n.scale[0];
    const double y = (p.y - n.offset[1]) / n.scale[1];
    const double z = (p.z - n.offset[2]) / n.scale[2];
    const double t = ((which == 3 ? p.sample : p.row) - n.offset[which]) / n.scale[which];
    row.clear();
    den.clear();
    terms(kPowers, x, y, z, row);
    terms(kDenominator, x, y, z, den);
    for (int i = 1; i < denominatorTerms; ++i) row.push_back(-t * den[i]);
    a.insert(a.end(), row.begin(), row.end());
    b.push_back(t);
  }
  const int unknowns = numeratorTerms + denominatorTerms - 1;
  const std::vector<double> c = leastSquares(a, b, static_cast<int>(pts.size()), unknowns);
  Rational r;
  r.numerator.assign(c.begin(), c.begin() + numeratorTerms);
  r.denominator.push_back(1.0);
  r.denominator.insert(r.denominator.end(), c.begin() + numeratorTerms, c.end());
  return r;
}

// The low-order polynomial (terms 1 x y z xx xy xz yy yz zz in raw ground-domain coordinates)
// of the image coordinate `which`, fitted in normalised coordinates and expanded.
std::vector<double> fitLowOrder(const std::vector<Sample>& pts, const Normalisation& n,
                                int which) {
  std::vector<double> a, b;
  for (const Sample& p : pts) {
    const double u = (p.x - n.offset[0]) / n.scale[0];
    const double v = (p.y - n.offset[1]) / n.scale[1];
    const double w = (p.z - n.offset[2]) / n.scale[2];
    a.insert(a.end(), {1.0, u, v, w, u * u, u * v, u * w, v * v, v * w, w * w});
    b.push_back(which == 3 ? p.sample : p.row);
  }
  const std::vector<double> c = leastSquares(a, b, static_cast<int>(pts.size()), 10);
  // u = au x + bu, and so on.
  const double au = 1.0 / n.scale[0], bu = -n.offset[0] / n.scale[0];
  const double av = 1.0 / n.scale[1], bv = -n.offset[1] / n.scale[1];
  const double aw = 1.0 / n.scale[2], bw = -n.offset[2] / n.scale[2];
  return {c[0] + c[1] * bu + c[2] * bv + c[3] * bw + c[4] * bu * bu + c[5] * bu * bv +
              c[6] * bu * bw + c[7] * bv * bv + c[8] * bv * bw + c[9] * bw * bw,
          c[1] * au + 2.0 * c[4] * au * bu + c[5] * au * bv + c[6] * au * bw,
          c[2] * av + c[5] * bu * av + 2.0 * c[7] * av * bv + c[8] * av * bw,
          c[3] * aw + c[6] * bu * aw + c[8] * bv * aw + 2.0 * c[9] * aw * bw,
          c[4] * au * au,
          c[5] * au * av,
          c[6] * au * aw,
          c[7] * av * av,
          c[8] * av * aw,
          c[9] * aw * aw};
}

const char* const kIid = "SENMOD SAMPLE";
const char* const kEdition = "sample-frame-1";

void polynomialFields(Fields& f, const char* prefix, const std::vector<double>& c,
                      const int* powers) {
  const std::string p = prefix;
  f.push_back({p + "PWRX", std::to_string(powers[0])});
  f.push_back({p + "PWRY", std::to_string(powers[1])});
  f.push_back({p + "PWRZ", std::to_string(powers[2])});
  f.push_back({p + "TRMS", whole(static_cast<long>(c.size()), 3)});
  for (double v : c) f.push_back({p + "PCF", real(v)});
}

std::string sectionRecord(int row, int column, const std::vector<Sample>& pts) {
  const Normalisation n = normalisation(pts);
  Fields f = {{"IID", kIid}, {"EDITION", kEdition}, {"RSN", whole(row, 3)},
              {"CSN", whole(column, 3)}, {"RFEP", ""}, {"CFEP", ""}};
  const int order[5] = {4, 3, 0, 1, 2};  // R, C, X, Y, Z
  const char* names[5] = {"R", "C", "X", "Y", "Z"};
  for (int i = 0; i < 5; ++i) f.push_back({std::string(names[i]) + "NRMO", real(n.offset[order[i]])});
  for (int i = 0; i < 5; ++i) f.push_back({std::string(names[i]) + "NRMSF", real(n.scale[order[i]])});
  const Rational rows = fitRational(pts, n, 4), columns = fitRational(pts, n, 3);
  polynomialFields(f, "RN", rows.numerator, kPowers);
  polynomialFields(f, "RD", rows.denominator, kDenominator);
  polynomialFields(f, "CN", columns.numerator, kPowers);
  polynomialFields(f, "CD", columns.denominator, kDenominator);
  return nitf_builder::encodeTre("RSMPCA", f);
}

std::string identificationRecord(const FrameCamera& camera) {
  Fields f = {{"IID", kIid}, {"EDITION", kEdition}, {"ISID", "simulated"}, {"SID", ""},
              {"STID", "FRAME"}, {"YEAR", "2024"}, {"MONTH", "06"}, {"DAY", "15"},
              {"HOUR", "10"}, {"MINUTE", "30"}, {"SECOND", "00.000000"}, {"NRG", ""},
              {"NCG", ""}, {"TRG", ""}, {"TCG", ""}, {"GRNDD", "G"}};
  for (const char* name : {"XUOR", "YUOR", "ZUOR", "XUXR", "XUYR", "XUZR", "YUXR", "YUYR",
                           "YUZR", "ZUXR", "ZUYR", "ZUZR"}) {
    f.push_back({name, ""});
  }
  const double corners[4][2] = {{0, 0}, {kColumns - 1.0, 0}, {0, kRows - 1.0},
                                {kColumns - 1.0, kRows - 1.0}};
  int v = 1;
  for (const double h : {kLowHeight, kHighHeight}) {
    for (const auto& c : corners) {
      double lon = 0, lat = 0;
      camera.locate(c[0], c[1], h, lon, lat);
      const std::string name = "V" + std::to_string(v++);
      f.push_back({name + "X", real(lon)});
      f.push_back({name + "Y", real(lat)});
      f.push_back({name + "Z", real(h)});
    }
  }
  f.push_back({"GRPX", real(kLon0)});
  f.push_back({"GRPY", real(kLat0)});
  f.push_back({"GRPZ", real(terrain(7.45, 46.95))});
  f.push_back({"FULLR", whole(kRows, 8)});
  f.push_back({"FULLC", whole(kColumns, 8)});
  f.push_back({"MINR", whole(0, 8)});
  f.push_back({"MAXR", whole(kRows - 1, 8)});
  f.push_back({"MINC", whole(0, 8)});
  f.push_back({"MAXC", whole(kColumns - 1, 8)});
  for (const char* name : {"IE0", "IER", "IEC", "IERR", "IERC", "IECC", "IA0", "IAR", "IAC",
                           "IARR", "IARC", "IACC", "SPX", "SVX", "SAX", "SPY", "SVY", "SAY",
                           "SPZ", "SVZ", "SAZ"}) {
    f.push_back({name, ""});
  }
  return nitf_builder::encodeTre("RSMIDA", f);
}

std::string indexRecord(const std::vector<Sample>& all) {
  const Normalisation n = normalisation(all);
  Fields f = {{"IID", kIid}, {"EDITION", kEdition}};
  static const char* const kTerms[] = {"0", "X", "Y", "Z", "XX", "XY", "XZ", "YY", "YZ", "ZZ"};
  const std::vector<double> r = fitLowOrder(all, n, 4), c = fitLowOrder(all, n, 3);
  for (int i = 0; i < 10; ++i) f.push_back({std::string("R") + kTerms[i], real(r[i])});
  for (int i = 0; i < 10; ++i) f.push_back({std::string("C") + kTerms[i], real(c[i])});
  f.push_back({"RNIS", whole(kSectionRows, 3)});
  f.push_back({"CNIS", whole(kSectionColumns, 3)});
  f.push_back({"TNIS", whole(kSectionRows * kSectionColumns, 3)});
  f.push_back({"RSSIZ", real(static_cast<double>(kRows) / kSectionRows)});
  f.push_back({"CSSIZ", real(static_cast<double>(kColumns) / kSectionColumns)});
  return nitf_builder::encodeTre("RSMPIA", f);
}

bool writeDem(const std::string& path) {
  const double west = 7.40, north = 46.99, cell = 0.0004;
  const int columns = 250, rows = 200;
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  char** options = CSLSetNameValue(nullptr, "COMPRESS", "DEFLATE");
  options = CSLSetNameValue(options, "PREDICTOR", "3");
  GDALDatasetH dem = GDALCreate(driver, path.c_str(), columns, rows, 1, GDT_Float32, options);
  CSLDestroy(options);
  if (!dem) return false;
  double transform[6] = {west, cell, 0.0, north, 0.0, -cell};
  GDALSetGeoTransform(dem, transform);
  GDALSetProjection(dem, SRS_WKT_WGS84_LAT_LONG);
  std::vector<float> heights(static_cast<size_t>(columns) * rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      heights[static_cast<size_t>(r) * columns + c] =
          static_cast<float>(terrain(west + (c + 0.5) * cell, north - (r + 0.5) * cell));
    }
  }
  GDALRasterBandH band = GDALGetRasterBand(dem, 1);
  const CPLErr status = GDALRasterIO(band, GF_Write, 0, 0, columns, rows, heights.data(), columns,
                                     rows, GDT_Float32, 0, 0);
  GDALSetRasterUnitType(band, "m");
  GDALClose(dem);
  return status == CE_None;
}

bool writePoints(const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  std::fprintf(out, "# sample row: image points of the sample model\n");
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 6; ++j) {
      std::fprintf(out, "%.2f %.2f\n", 6.5 + 297.5 * j, 37.5 + 225.0 * i);
    }
  }
  std::fprintf(out, "308.5, 802.75\n1475.5,3.25\n");
  return std::fclose(out) == 0;
}

bool writeMarks(const std::string& path, const std::vector<Mark>& m) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  std::fprintf(out, "# longitude latitude height: the ground points of the crosses in the image\n");
  for (const Mark& p : m) std::fprintf(out, "%.6f %.6f %.3f\n", p.lon, p.lat, p.h);
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: senmod_samplegen OUTPUT_DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  GDALAllRegister();
  const FrameCamera camera({kLon0 - 0.004 * kRad, kLat0 - 0.01 * kRad, 5200.0},
                           {kLon0, kLat0, 650.0}, 1950.0, kColumns / 2.0, kRows / 2.0, -0.015);
  nitf_builder::NitfImage nitf;
  nitf.width = kColumns;
  nitf.height = kRows;
  nitf.pixels = renderImage(camera, kColumns, kRows, marks());
  nitf.options = {"IC=C3", "QUALITY=85"};
  nitf.tres.push_back({"RSMIDA", identificationRecord(camera)});
  std::vector<Sample> all;
  std::vector<std::string> sections;
  const double rowSize = static_cast<double>(kRows) / kSectionRows;
  const double columnSize = static_cast<double>(kColumns) / kSectionColumns;
  const double margin = 0.05;
  for (int r = 0; r < kSectionRows; ++r) {
    for (int c = 0; c < kSectionColumns; ++c) {
      const std::vector<Sample> pts =
          samples(camera, (c - margin) * columnSize, (c + 1 + margin) * columnSize,
                  (r - margin) * rowSize, (r + 1 + margin) * rowSize);
      all.insert(all.end(), pts.begin(), pts.end());
      sections.push_back(sectionRecord(r + 1, c + 1, pts));
    }
  }
  nitf.tres.push_back({"RSMPIA", indexRecord(all)});
  for (const std::string& s : sections) nitf.tres.push_back({"RSMPCA", s});

  const std::string error = nitf_builder::writeNitf(dir + "/sample_rsm.ntf", nitf);
  if (!error.empty()) {
    std::fprintf(stderr, "senmod_samplegen: %s/sample_rsm.ntf: %s\n", dir.c_str(), error.c_str());
    return 1;
  }
  if (!writeDem(dir + "/sample_dem.tif")) {
    std::fprintf(stderr, "senmod_samplegen: %s/sample_dem.tif: cannot write\n", dir.c_str());
    return 1;
  }
  if (!writeMarks(dir + "/sample_crosses.txt", marks())) {
    std::fprintf(stderr, "senmod_samplegen: %s/sample_crosses.txt: cannot write\n", dir.c_str());
    return 1;
  }
  if (!writePoints(dir + "/sample_points.txt")) {
    std::fprintf(stderr, "senmod_samplegen: %s/sample_points.txt: cannot write\n", dir.c_str());
    return 1;
  }
  return 0;
}
