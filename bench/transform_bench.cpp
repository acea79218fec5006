// senmod's batch transforms against GDAL's RPC transformer in one process: nanoseconds per point
// (best of several runs over the same random points) and their ratio, for
//   - an RPC written as an exact single section (powers 3, 3, 3, 20 of 64 terms non-zero),
//     ground to image and image to ground at given heights;
//   - the same section dense (all 64 terms) alone and as a 3 x 2 grid, against the sparse one;
//   - image to ground on a DEM (heights from the DEM, against GDAL's RPC_DEM option): gentle
//     terrain, and rough terrain (800 m of relief over 2 km) seen by a model whose rows move
//     about a pixel per metre of height;
//   - the sparse section one point per call, both directions, against GDAL's transformer called
//     with one point: the library's smod_RSMTransform and the engine face's
//     smod_ModelGroundToImage and smod_ModelImageToGround with n = 1.
#include <gdal_alg.h>
#include <gdal_priv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "rpc_records.h"
#include "senmod/senmod.h"
#include "senmod/senmod_io.h"

namespace {

constexpr int kPoints = 200000;
// Runs of each case: SENMOD_BENCH_RUNS, or 15 (the best of few runs on a shared machine varies by
// a third).
int runs() {
  const char* text = std::getenv("SENMOD_BENCH_RUNS");
  const int n = text ? std::atoi(text) : 0;
  return n > 0 ? n : 15;
}
const int kRuns = runs();
constexpr int kImageSide = 8000;

// The RPC of scripts/bench-command: an 8000 x 8000 image near (-106.6, 35.1); lineHeight is the
// line numerator's height term (0.012 there; 0.1 moves a row about a pixel per metre of height).
char** rpcMetadata(const char* lineHeight = "0.012") {
  const char* const header[] = {"LINE_OFF=4000",   "SAMP_OFF=4000",   "LAT_OFF=35.1",
                                "LONG_OFF=-106.6", "HEIGHT_OFF=1600", "LINE_SCALE=4000",
                                "SAMP_SCALE=4000", "LAT_SCALE=0.05",  "LONG_SCALE=0.06",
                                "HEIGHT_SCALE=500"};
  char** metadata = nullptr;
  for (const char* item : header) metadata = CSLAddString(metadata, item);
  metadata = CSLSetNameValue(metadata, "LINE_NUM_COEFF",
                             (std::string("0.002 -0.03 -1.01 ") + lineHeight +
                              " 1e-4 2e-5 -3e-5 1e-4 -2e-4 1e-5 1e-6 2e-6 -1e-6 3e-6 -2e-6 1e-6 "
                              "1e-6 -1e-6 2e-6 1e-7")
                                 .c_str());
  metadata = CSLSetNameValue(metadata, "LINE_DEN_COEFF",
                             "1 1e-4 2e-4 -1e-4 1e-5 -2e-5 1e-5 2e-5 -1e-5 1e-6 1e-7 -1e-7 2e-7 "
                             "1e-7 -1e-7 1e-7 2e-7 -2e-7 1e-7 1e-8");
  metadata = CSLSetNameValue(metadata, "SAMP_NUM_COEFF",
                             "-0.001 1.02 0.011 0.021 -1e-4 3e-5 2e-5 -1e-4 1e-4 -1e-5 2e-6 -1e-6 "
                             "1e-6 -2e-6 1e-6 -3e-6 2e-6 1e-6 -1e-6 2e-7");
  metadata = CSLSetNameValue(metadata, "SAMP_DEN_COEFF",
                             "1 -2e-4 1e-4 1e-4 -1e-5 1e-5 2e-5 -1e-5 1e-5 -1e-6 -1e-7 1e-7 1e-7 "
                             "-2e-7 1e-7 2e-7 -1e-7 1e-7 -1e-7 1e-8");
  return metadata;
}

// A measured run: prepare() (not timed), then run().
struct Run {
  std::function<void()> prepare;
  std::function<void()> run;
};

// Best times of kRuns runs of a and of b, in nanoseconds per point. The runs alternate, so that
// the load of a shared machine weighs on both alike.
std::pair<double, double> bestOf(const Run& a, const Run& b) {
  double best[2] = {1e300, 1e300};
  for (int r = 0; r < kRuns; ++r) {
    const Run* runs[2] = {&a, &b};
    for (int k = 0; k < 2; ++k) {
      if (runs[k]->prepare) runs[k]->prepare();
      const auto start = std::chrono::steady_clock::now();
      runs[k]->run();
      const auto end = std::chrono::steady_clock::now();
      best[k] = std::min(best[k], std::chrono::duration<double, std::nano>(end - start).count());
    }
  }
  return {best[0] / kPoints, best[1] / kPoints};
}

void check(ErrorReport* err, const char* what) {
  if (!err) return;
  std::fprintf(stderr, "%s: %s\n", what, herr_ErrorReportMessage(err));
  std::exit(1);
}

Smod_Doubles heapCopy(const double* values, int32_t count) {
  Smod_Doubles array{count, static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * count))};
  std::copy(values, values + count, array.data);
  return array;
}

// Gives every zero coefficient of the section's four polynomials a small value.
void densify(RSMFunctions* s) {
  Smod_Doubles* arrays[] = {&s->sampleNumerator, &s->sampleDenominator, &s->rowNumerator,
                            &s->rowDenominator};
  for (Smod_Doubles* a : arrays)
    for (int n = 0; n < a->count; ++n)
      if (a->data[n] == 0.0) a->data[n] = 1e-9 * ((n * 37) % 11 - 5.5);
}

// Makes the model's one section a rows x cols grid of copies of it, with the low-order
// polynomial that chooses among them.
void makeGrid(RSM_Model* model, int rows, int cols) {
  RSM_Model_Orig& rsm = model->rsm;
  const RSMFunctions& one = rsm.RationalPolyList.data[0];
  RSMFunctions* sections = smod_RationalPolynomialsCreate(rows * cols, nullptr);
  for (int i = 0; i < rows * cols; ++i) {
    RSMFunctions& s = sections[i];
    const Smod_Doubles validImageDomain = s.validImageDomain;
    s = one;
    s.validImageDomain = validImageDomain;
    s.sampleNumerator = heapCopy(one.sampleNumerator.data, one.sampleNumerator.count);
    s.sampleDenominator = heapCopy(one.sampleDenominator.data, one.sampleDenominator.count);
    s.rowNumerator = heapCopy(one.rowNumerator.data, one.rowNumerator.count);
    s.rowDenominator = heapCopy(one.rowDenominator.data, one.rowDenominator.count);
    s.imageToGroundPoly = Smod_Doubles{0, nullptr};
  }
  // Sample and row to first order around the centre: c0 + c1 x + c2 y + c3 z.
  double low[20] = {};
  const double centre[3] = {one.Offsets[0], one.Offsets[1], one.Offsets[2]};
  const double step[3] = {one.Scales[0] * 1e-3, one.Scales[1] * 1e-3, one.Scales[2] * 1e-3};
  double s0, r0;
  smod_RationalPolynomialsToFileXY(&one, centre[0], centre[1], centre[2], &s0, &r0, nullptr);
  low[0] = s0;
  low[10] = r0;
  for (int v = 0; v < 3; ++v) {
    double p[3] = {centre[0], centre[1], centre[2]};
    p[v] += step[v];
    double s, r;
    smod_RationalPolynomialsToFileXY(&one, p[0], p[1], p[2], &s, &r, nullptr);
    low[1 + v] = (s - s0) / step[v];
    low[11 + v] = (r - r0) / step[v];
    low[0] -= low[1 + v] * centre[v];
    low[10] -= low[11 + v] * centre[v];
  }
  smod_RationalPolynomialsFree(rsm.RationalPolyList.data, rsm.RationalPolyList.count, nullptr);
  rsm.RationalPolyList = Smod_Sections{rows * cols, sections};
  rsm.rowSections = rows;
  rsm.colSections = cols;
  rsm.rowsPerSection = static_cast<double>(kImageSide) / rows;
  rsm.colsPerSection = static_cast<double>(kImageSide) / cols;
  hmsc_HeapFree(rsm.groundToImagePoly.data);
  rsm.groundToImagePoly = heapCopy(low, 20);
}

RSM_Model* rpcModel(char** metadata) {
  RSM_Model* model = senmod_io::modelFromRpc(metadata, kImageSide, kImageSide, "bench").release();
  ErrorReport* err = nullptr;
  smod_image2groundCalc(model, &err);
  check(err, "smod_image2groundCalc");
  return model;
}

struct Points {
  std::vector<double> ground;  // lon, lat, h
  std::vector<double> image;   // sample, row, h of the ground points
};

Points randomPoints(RSM_Model* sparse) {
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Points p;
  for (int i = 0; i < kPoints; ++i)
    p.ground.insert(p.ground.end(), {-106.6 + 0.05 * unit(random), 35.1 + 0.04 * unit(random),
                                     1600 + 400 * unit(random)});
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(smod_RSMCopy(sparse, nullptr), nullptr);
  std::vector<double> out(2 * kPoints);
  ErrorReport* err = nullptr;
  smod_RSMXformTransform3DTo2D(xform, kPoints, p.ground.data(), out.data(), &err);
  check(err, "ground to image");
  for (int i = 0; i < kPoints; ++i)
    p.image.insert(p.image.end(), {out[2 * i], out[2 * i + 1], p.ground[3 * i + 2]});
  smod_RSMXformDelete(xform);
  return p;
}

// senmod's 3-D batch of a copy of model in the given direction from in into out.
class Senmod3D {
 public:
  Senmod3D(RSM_Model* model, bool groundToImage, const std::vector<double>& in) : in_(in) {
    RSM_Model* copy = smod_RSMCopy(model, nullptr);
    copy->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
    xform_ = smod_RSMXformGetFromRSMData(copy, nullptr);
    out_.resize(2 * kPoints);
  }
  ~Senmod3D() { smod_RSMXformDelete(xform_); }
  const std::vector<double>& out() const { return out_; }
  Run run() {
    return {nullptr, [this] {
              ErrorReport* err = nullptr;
              smod_RSMXformTransform3DTo2D(xform_, kPoints, in_.data(), out_.data(), &err);
              check(err, "smod_RSMXformTransform3DTo2D");
            }};
  }

 private:
  const std::vector<double>& in_;
  RSM_Xform* xform_;
  std::vector<double> out_;
};

// senmod's one-point call on a copy of model in the given direction, a call per point of in.
class SenmodPerPoint {
 public:
  SenmodPerPoint(RSM_Model* model, bool groundToImage, const std::vector<double>& in)
      : model_(smod_RSMCopy(model, nullptr)), in_(in), out_(2 * kPoints) {
    model_->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
  }
  ~SenmodPerPoint() { smod_RSMDelete(model_); }
  const std::vector<double>& out() const { return out_; }
  Run run() {
    return {nullptr, [this] {
              for (int i = 0; i < kPoints; ++i)
                smod_RSMTransform(model_, in_[3 * i], in_[3 * i + 1], in_[3 * i + 2], &out_[2 * i],
                                  &out_[2 * i + 1], nullptr);
            }};
  }

 private:
  RSM_Model* model_;
  const std::vector<double>& in_;
  std::vector<double> out_;
};

// GDAL's transformer over the points (x, y, z triples), pixel coordinates shifted by pixelShift
// into GDAL's convention, all in one call or (perPoint) a call per point; after a run x and y
// hold its results.
class Gdal {
 public:
  Gdal(void* transformer, bool groundToImage, const std::vector<double>& in, double pixelShift,
       bool perPoint = false)
      : transformer_(transformer),
        groundToImage_(groundToImage),
        perPoint_(perPoint),
        in_(in),
        shift_(pixelShift),
        x(kPoints),
        y(kPoints),
        z_(kPoints),
        ok_(kPoints) {}
  Run run() {
    return {[this] {
              for (int i = 0; i < kPoints; ++i) {
                x[i] = in_[3 * i] + shift_;
                y[i] = in_[3 * i + 1] + shift_;
                z_[i] = in_[3 * i + 2];
              }
            },
            [this] {
              const int direction = groundToImage_ ? TRUE : FALSE;
              if (!perPoint_) {
                GDALRPCTransform(transformer_, direction, kPoints, x.data(), y.data(), z_.data(),
                                 ok_.data());
                return;
              }
              for (int i = 0; i < kPoints; ++i)
                GDALRPCTransform(transformer_, direction, 1, &x[i], &y[i], &z_[i], &ok_[i]);
            }};
  }

 private:
  void* transformer_;
  bool groundToImage_;
  bool perPoint_;
  const std::vector<double>& in_;
  double shift_;

 public:
  std::vector<double> x, y;

 private:
  std::vector<double> z_;
  std::vector<int> ok_;
};

// A geographic DEM over the footprint, cells of 0.0005 degrees (about 50 m) around 1600 m:
// rolling terrain (150 m hills 10 km apart), or rough (400 m hills and valleys 2 km apart).
std::string makeDem(const std::string& directory, bool rough) {
  const std::string path = directory + (rough ? "/bench_rough_dem.tif" : "/bench_dem.tif");
  const int side = 500;
  GDALDataset* dem = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
      path.c_str(), side, side, 1, GDT_Float32, nullptr);
  const double west = -106.725, north = 35.225, cell = 0.0005;
  double geo[6] = {west, cell, 0.0, north, 0.0, -cell};
  dem->SetGeoTransform(geo);
  dem->SetProjection(
      "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
      "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433],AUTHORITY[\"EPSG\",\"4326\"]]");
  std::vector<float> heights(side * side);
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c)
      heights[r * side + c] = static_cast<float>(
          rough ? 1600.0 + 400.0 * std::sin(c * 0.15) * std::cos(r * 0.11) + 0.3 * r
                : 1600.0 + 150.0 * std::sin(c * 0.03) * std::cos(r * 0.02) + 0.3 * r);
  if (dem->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, side, side, heights.data(), side, side,
                                      GDT_Float32, 0, 0) != CE_None) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  GDALClose(dem);
  return path;
}

void line(const char* name, std::pair<double, double> ns, const char* peer) {
  std::printf("%-46s senmod %7.1f ns/point   %-12s %7.1f ns/point   ratio %.2f\n", name, ns.first,
              peer, ns.second, ns.first / ns.second);
}

// Image to ground of the points' image positions on dem: senmod's 2-D batch against GDAL's
// transformer with RPC_DEM; also says how many points each left unsolved.
void onDem(RSM_Model* model, GDALRPCInfoV2& rpc, const std::string& dem, const Points& points,
           const char* name) {
  RSM_Model* copy = smod_RSMCopy(model, nullptr);
  copy->rsm.groundToImageTransform = SMOD_FALSE;
  copy->rsm.demsource = HMOD_DEM_FILE;
  copy->rsm.demfilename.count = static_cast<int32_t>(dem.size() + 1);
  copy->rsm.demfilename.data = hstr_Duplicate(dem.c_str());
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(copy, nullptr);
  std::vector<double> imagePoints(2 * kPoints), out(2 * kPoints);
  for (int i = 0; i < kPoints; ++i) {
    imagePoints[2 * i] = points.image[3 * i];
    imagePoints[2 * i + 1] = points.image[3 * i + 1];
  }
  smod_RSMXformFillNoMIFData(xform, nullptr);
  const Run senmodDem{nullptr, [&] {
                        ErrorReport* report = nullptr;
                        smod_RSMXformTransform(xform, kPoints, imagePoints.data(), out.data(),
                                               &report);
                        check(report, "smod_RSMXformTransform");
                      }};
  char** options = CSLSetNameValue(nullptr, "RPC_DEM", dem.c_str());
  void* withDem = GDALCreateRPCTransformerV2(&rpc, FALSE, 0.0, options);
  std::vector<double> zeroHeights = points.image;
  for (int i = 0; i < kPoints; ++i) zeroHeights[3 * i + 2] = 0.0;
  Gdal gdalDem(withDem, false, zeroHeights, 0.5);
  line(name, bestOf(senmodDem, gdalDem.run()), "GDAL RPC_DEM");
  int unsolved = 0;
  for (int i = 0; i < kPoints; ++i) unsolved += !std::isfinite(gdalDem.x[i]);
  if (unsolved) std::printf("  GDAL left %d of %d points unsolved\n", unsolved, kPoints);
  GDALDestroyRPCTransformer(withDem);
  CSLDestroy(options);
  smod_RSMXformDelete(xform);
  VSIUnlink(dem.c_str());
}

// The engine face's model of an RPC file (a sparse GeoTIFF of the image's size carrying the
// RPCs) written at path.
smod_Model* faceModel(const std::string& path, char** metadata) {
  char** options = CSLSetNameValue(nullptr, "SPARSE_OK", "TRUE");
  GDALDataset* file = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
      path.c_str(), kImageSide, kImageSide, 1, GDT_Byte, options);
  CSLDestroy(options);
  file->SetMetadata(metadata, "RPC");
  GDALClose(file);
  ErrorReport* err = nullptr;
  smod_Model* model = smod_ModelOpen(path.c_str(), &err);
  check(err, "smod_ModelOpen");
  return model;
}

// The face's one-point use: smod_ModelGroundToImage or smod_ModelImageToGround with n = 1 at the
// points' heights, a call per point.
class FacePerPoint {
 public:
  FacePerPoint(smod_Model* model, bool groundToImage, const std::vector<double>& in)
      : model_(model), groundToImage_(groundToImage), in_(in), out_(2 * kPoints) {}
  const std::vector<double>& out() const { return out_; }
  Run run() {
    return {nullptr, [this] {
              int status;
              double height;
              for (int i = 0; i < kPoints; ++i) {
                if (groundToImage_) {
                  smod_ModelGroundToImage(model_, 1, &in_[3 * i], &in_[3 * i + 1],
                                          &in_[3 * i + 2], &out_[2 * i], &out_[2 * i + 1],
                                          &status, nullptr);
                } else {
                  smod_ModelImageToGround(model_, 1, &in_[3 * i], &in_[3 * i + 1],
                                          &in_[3 * i + 2], &out_[2 * i], &out_[2 * i + 1],
                                          &height, &status, nullptr);
                }
              }
            }};
  }

 private:
  smod_Model* model_;
  bool groundToImage_;
  const std::vector<double>& in_;
  std::vector<double> out_;
};

}  // namespace

int main() {
  GDALAllRegister();
  char** metadata = rpcMetadata();
  GDALRPCInfoV2 rpc{};
  if (!GDALExtractRPCInfoV2(metadata, &rpc)) return 1;
  void* plain = GDALCreateRPCTransformerV2(&rpc, FALSE, 0.0, nullptr);

  RSM_Model* sparse = rpcModel(metadata);
  RSM_Model* dense = rpcModel(metadata);
  densify(&dense->rsm.RationalPolyList.data[0]);
  RSM_Model* grid = rpcModel(metadata);
  densify(&grid->rsm.RationalPolyList.data[0]);
  makeGrid(grid, 3, 2);
  ErrorReport* err = nullptr;
  smod_image2groundCalc(grid, &err);
  check(err, "smod_image2groundCalc");

  const Points points = randomPoints(sparse);
  std::printf("%d random points, best of %d runs, one core\n", kPoints, kRuns);

  Senmod3D sparseToImage(sparse, true, points.ground), sparseToGround(sparse, false, points.image);
  Gdal gdalToImage(plain, true, points.ground, 0.0), gdalToGround(plain, false, points.image, 0.5);
  const auto toImage = bestOf(sparseToImage.run(), gdalToImage.run());
  line("sparse cubic section, ground to image", toImage, "GDAL");
  const auto toGround = bestOf(sparseToGround.run(), gdalToGround.run());
  line("sparse cubic section, image to ground", toGround, "GDAL");
  double largest = 0.0;
  for (int i = 0; i < kPoints; ++i) {
    const double east =
        (gdalToGround.x[i] - points.ground[3 * i]) * 111320.0 * std::cos(35.1 / 57.3);
    const double north = (gdalToGround.y[i] - points.ground[3 * i + 1]) * 110540.0;
    largest = std::max(largest, std::hypot(east, north));
  }
  std::printf("  GDAL's image to ground lands up to %.3f m from the ground points\n", largest);

  Senmod3D denseToImage(dense, true, points.ground), denseToGround(dense, false, points.image);
  Senmod3D gridToImage(grid, true, points.ground), gridToGround(grid, false, points.image);
  line("dense cubic section, ground to image", bestOf(denseToImage.run(), sparseToImage.run()),
       "sparse");
  line("dense cubic section, image to ground", bestOf(denseToGround.run(), sparseToGround.run()),
       "sparse");
  line("3 x 2 grid of dense sections, ground to image",
       bestOf(gridToImage.run(), sparseToImage.run()), "sparse");
  line("3 x 2 grid of dense sections, image to ground",
       bestOf(gridToGround.run(), sparseToGround.run()), "sparse");

  // Image to ground on the DEM: senmod's 2-D batch, GDAL's transformer with RPC_DEM.
  const char* tmp = std::getenv("TMPDIR");
  const std::string directory = tmp ? tmp : "/tmp";
  onDem(sparse, rpc, makeDem(directory, false), points, "image to ground on a DEM");
  char** steep = rpcMetadata("0.1");
  GDALRPCInfoV2 steepRpc{};
  if (!GDALExtractRPCInfoV2(steep, &steepRpc)) return 1;
  RSM_Model* steepModel = rpcModel(steep);
  const Points steepPoints = randomPoints(steepModel);
  onDem(steepModel, steepRpc, makeDem(directory, true), steepPoints,
        "the same, rough terrain and a steep view");

  // One point per call, whose results are the batch's, bit for bit.
  SenmodPerPoint pointToImage(sparse, true, points.ground);
  SenmodPerPoint pointToGround(sparse, false, points.image);
  Gdal gdalPointToImage(plain, true, points.ground, 0.0, true);
  Gdal gdalPointToGround(plain, false, points.image, 0.5, true);
  line("one point per call, ground to image", bestOf(pointToImage.run(), gdalPointToImage.run()),
       "GDAL");
  line("one point per call, image to ground", bestOf(pointToGround.run(), gdalPointToGround.run()),
       "GDAL");
  if (pointToImage.out() != sparseToImage.out() || pointToGround.out() != sparseToGround.out()) {
    std::fprintf(stderr, "one-point results differ from the batch's\n");
    return 1;
  }

  // The same through the engine's face, opened from an RPC file of the model.
  const std::string rpcFile = directory + "/bench_rpc.tif";
  smod_Model* face = faceModel(rpcFile, metadata);
  FacePerPoint faceToImage(face, true, points.ground), faceToGround(face, false, points.image);
  line("the same through the engine's face, to image", bestOf(faceToImage.run(),
       gdalPointToImage.run()), "GDAL");
  line("the same through the engine's face, to ground", bestOf(faceToGround.run(),
       gdalPointToGround.run()), "GDAL");
  if (faceToImage.out() != sparseToImage.out() || faceToGround.out() != sparseToGround.out()) {
    std::fprintf(stderr, "the face's results differ from the batch's\n");
    return 1;
  }
  smod_ModelClose(face);
  VSIUnlink(rpcFile.c_str());

  GDALDestroyRPCTransformer(plain);
  CSLDestroy(metadata);
  CSLDestroy(steep);
  smod_RSMDelete(steepModel);
  smod_RSMDelete(sparse);
  smod_RSMDelete(dense);
  smod_RSMDelete(grid);
  return 0;
}
