// A model exported as an RPC: GDAL, reading the file written (a sidecar beside an image, or a
// copy of the image), gives the model's own image positions in GDAL's pixel/line within the
// residual the command prints, over the whole image and height range; an RPC worse than asked
// and bad options leave nothing behind.
#include <cpl_json.h>
#include <cpl_string.h>
#include <dirent.h>
#include <gdal.h>
#include <gdal_alg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>

#include "senmod/senmod_io.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

struct ModelCloser {
  void operator()(smod_Model* model) const { smod_ModelClose(model); }
};
using Model = std::unique_ptr<smod_Model, ModelCloser>;
struct TransformerCloser {
  void operator()(void* transformer) const { GDALDestroyTransformer(transformer); }
};
using Transformer = std::unique_ptr<void, TransformerCloser>;
struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

// The mean and largest residual (pixels) the command printed.
void printedResidual(const std::string& out, double& mean, double& max) {
  const size_t at = out.find("mean ");
  ASSERT_NE(at, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + at, "mean %lf px, max %lf px", &mean, &max), 2) << out;
}

// Random points of the model's image (GDAL pixel/line, edge to edge) at heights spanning the
// RPC's height range, carried to the ground by the model, and the model's image positions of
// those ground points.
struct ModelPoints {
  std::vector<double> lon, lat, height, pixel, line;
};

ModelPoints modelPoints(smod_Model* model, double heightLow, double heightHigh,
                        const std::string& dem = "") {
  char* info = smod_ModelInfoJson(model, nullptr);
  CPLJSONDocument document;
  EXPECT_TRUE(info && document.LoadMemory(info));
  smod_Free(info);
  const CPLJSONObject domain = document.GetRoot().GetObj("image_domain");
  const double shift = document.GetRoot().GetString("pixel_convention") == "center" ? 0.5 : 0.0;
  const double width = domain.GetDouble("max_sample") + 1.0;
  const double height = domain.GetDouble("max_row") + 1.0;
  std::mt19937 random(6130);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const size_t n = 3000;
  std::vector<double> sample(n), row(n), h(n), lon(n), lat(n), used(n);
  std::vector<int> status(n);
  for (size_t i = 0; i < n; ++i) {
    // A tenth of the points on the image's edges, where a fit is worst.
    const bool edge = i % 10 == 0;
    sample[i] = (edge && i % 20 == 0 ? std::round(unit(random)) : unit(random)) * width - shift;
    row[i] = (edge && i % 20 != 0 ? std::round(unit(random)) : unit(random)) * height - shift;
    h[i] = heightLow + (heightHigh - heightLow) * unit(random);
  }
  EXPECT_EQ(smod_ModelSetDem(model, dem.empty() ? nullptr : dem.c_str(), nullptr), 0);
  const double* heights = dem.empty() ? h.data() : nullptr;
  EXPECT_EQ(smod_ModelImageToGround(model, n, sample.data(), row.data(), heights, lon.data(),
                                    lat.data(), used.data(), status.data(), nullptr),
            static_cast<int>(n));
  EXPECT_EQ(smod_ModelGroundToImage(model, n, lon.data(), lat.data(), heights, sample.data(),
                                    row.data(), status.data(), nullptr),
            static_cast<int>(n));
  ModelPoints p{lon, lat, used, {}, {}};
  for (size_t i = 0; i < n; ++i) {
    p.pixel.push_back(sample[i] + shift);
    p.line.push_back(row[i] + shift);
  }
  return p;
}

// The largest distance (pixels) between transformer's image positions of p's ground points
// (ground to image: dstToSrc) and the model's.
double largestMiss(void* transformer, GDALTransformerFunc transform, const ModelPoints& p,
                   bool withHeights) {
  std::vector<double> x = p.lon, y = p.lat, z = p.height;
  if (!withHeights) std::fill(z.begin(), z.end(), 0.0);
  std::vector<int> ok(x.size(), 0);
  EXPECT_TRUE(transform(transformer, TRUE, static_cast<int>(x.size()), x.data(), y.data(),
                        z.data(), ok.data()));
  double largest = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    EXPECT_TRUE(ok[i]) << i;
    largest = std::max(largest, std::hypot(x[i] - p.pixel[i], y[i] - p.line[i]));
  }
  return largest;
}

// The raster at path, made blank first: GDAL reads a sidecar's RPC beside it.
Dataset blankRaster(const std::string& path) {
  Dataset(GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 1, 1, 1, GDT_Byte, nullptr));
  return Dataset(GDALOpen(path.c_str(), GA_ReadOnly));
}

std::vector<std::string> filesIn(const std::string& directory) {
  std::vector<std::string> files;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

class RpcExport : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    GDALAllRegister();
  }

  // Exports modelFile as name (a copy of the image with --image when image is given) and
  // checks GDAL's RPC transformer on what it reads back against the model, at heights and, on
  // dem, as gdalwarp -rpc -to RPC_DEM takes them. Returns the largest miss (pixels).
  double expectAgreement(const std::string& modelFile, const std::string& name,
                         const std::string& image = "", const std::string& dem = "") {
    std::vector<std::string> args = {"convert", modelFile, path(name), "--to", "rpc"};
    if (!image.empty()) args.insert(args.end(), {"--image", image});
    const CommandRun run = senmod(args);
    EXPECT_EQ(run.status, 0) << run.err;
    double mean = 0.0, max = 0.0;
    printedResidual(run.out, mean, max);
    EXPECT_GT(max, 0.0);
    EXPECT_LE(mean, max);

    // A sidecar is read beside a raster of the name it goes with.
    const size_t cut = name.rfind(name.find("_rpc") != std::string::npos ? "_rpc" : ".");
    const Dataset dataset = image.empty() ? blankRaster(path(name.substr(0, cut) + ".tif"))
                                          : Dataset(GDALOpen(path(name).c_str(), GA_ReadOnly));
    EXPECT_NE(dataset, nullptr);
    if (!dataset) return HUGE_VAL;
    GDALRPCInfoV2 info{};
    EXPECT_TRUE(GDALExtractRPCInfoV2(GDALGetMetadata(dataset.get(), "RPC"), &info)) << name;
    // ERR_BIAS is the model's own when it has an error covariance, else unknown (-1; NITF's
    // field holds no sign and takes 0).
    const Model model(smod_ModelOpen(modelFile.c_str(), nullptr));
    const char* bias = GDALGetMetadataItem(dataset.get(), "ERR_BIAS", "RPC");
    if (smod_ModelParameters(model.get(), nullptr, nullptr, nullptr) == 1) {
      EXPECT_GT(CPLAtof(bias), 0.0) << name;
    } else {
      EXPECT_STREQ(bias, image.empty() || name.find(".ntf") == std::string::npos ? "-1" : "0");
    }

    const ModelPoints points = modelPoints(model.get(), info.dfHEIGHT_OFF - info.dfHEIGHT_SCALE,
                                           info.dfHEIGHT_OFF + info.dfHEIGHT_SCALE);
    const Transformer rpc(GDALCreateRPCTransformerV2(&info, FALSE, 0.0, nullptr));
    const double miss = largestMiss(rpc.get(), GDALRPCTransform, points, true);
    // Random points fall between the check grid's, and the printed figure is rounded.
    EXPECT_LE(miss, 1.1 * max) << name << ": printed max " << max;

    if (!dem.empty()) {
      const std::string demOption = "RPC_DEM=" + dem;
      const char* options[] = {"METHOD=RPC", demOption.c_str(), nullptr};
      const Transformer warp(GDALCreateGenImgProjTransformer2(dataset.get(), nullptr,
                                                              const_cast<char**>(options)));
      EXPECT_NE(warp, nullptr);
      const ModelPoints onDem = modelPoints(model.get(), 0.0, 0.0, dem);
      EXPECT_LE(largestMiss(warp.get(), GDALGenImgProjTransform, onDem, false), 1.1 * max)
          << name << " on the DEM";
    }
    return miss;
  }
};

TEST_F(RpcExport, GdalReadsTheModelBackWithinThePrintedResidualInEveryForm) {
  const std::string sample = sampleData("sample_rsm.ntf");
  const std::string dem = sampleData("sample_dem.tif");
  EXPECT_LT(expectAgreement(sample, "sidecar.RPB", "", dem), 0.01);
  expectAgreement(sample, "text_rpc.txt");
  expectAgreement(sample, "copy.tif", sample, dem);
  expectAgreement(sample, "copy.ntf", sample);
  const std::string nga = ngaI6130a();
  EXPECT_LT(expectAgreement(nga, "nga.RPB"), 0.01);
}

}  // namespace

namespace {

TEST_F(RpcExport, AWorseFitThanAllowedAndBadOptionsLeaveNothing) {
  const std::string sample = sampleData("sample_rsm.ntf");
  writeText("kept.RPB", "the file replaced stays as it was");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"--max-residual", "1e-9"}, 2, "more than the 1e-09 allowed; nothing is written"},
      {{"--degree", "1", "--max-residual", "0.5"}, 2, "more than the 0.5 allowed"},
      {{"--degree", "4"}, 2, "--degree needs a whole number from 1 to 3"},
      {{"--grid", "2"}, 2, "GRID needs from 4 to 200 points per side for degree 3"},
      {{"--heights", "0.5"}, 2, "--heights needs a whole number from 2 to 50"},
      {{"--image", sample}, 2, "FORMAT RPB is a sidecar, written beside the image"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"convert", sample, path("kept.RPB"), "--to", "rpc"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandRun run = senmod(args);
    EXPECT_EQ(run.status, c.status) << c.message;
    EXPECT_TRUE(contains(run.err, c.message));
  }
  const CommandRun plain = senmod({"convert", sample, path("m.smod"), "--grid", "5"});
  EXPECT_TRUE(contains(plain.err, "--degree, --grid, --heights, --image and --max-residual need "
                                  "--to rpc"));
  EXPECT_TRUE(contains(senmod({"convert", sample, path("rpc.txt"), "--to", "rpc"}).err,
                       "rpc.txt: the name says no RPC format"));
  EXPECT_TRUE(contains(senmod({"convert", sample, path("copy.tif"), "--to", "rpc"}).err,
                       "FORMAT GTIFF copies an image: give IMAGE"));
  EXPECT_EQ(readText("kept.RPB"), "the file replaced stays as it was");
  EXPECT_EQ(filesIn(path("")), std::vector<std::string>{"kept.RPB"});

  // The face: its options one by one, and an output that is its image.
  const Model model(smod_ModelOpen(sample.c_str(), nullptr));
  const std::string copy = path("copy.ntf");
  std::filesystem::copy_file(sample, copy);
  const std::string image = "IMAGE=" + copy;
  const struct {
    std::vector<const char*> options;
    const char* message;
  } faceCases[] = {
      {{"GRID=abc"}, "GRID needs a number, not \"abc\""},
      {{"FORMAT=PNG"}, "FORMAT takes RPB, RPCTXT, GTIFF or NITF, not \"PNG\""},
      {{"DEGREE=2", "HEIGHTS=2"}, "HEIGHTS needs from 3 to 50 layers for degree 2"},
      {{"COLOUR=blue"}, "unknown option \"COLOUR\""},
      {{image.c_str()}, "the output is the same file as the image"},
  };
  for (const auto& c : faceCases) {
    std::vector<const char*> options = c.options;
    options.push_back(nullptr);
    double mean = 1.0, max = 1.0;
    ErrorReport* report = nullptr;
    EXPECT_EQ(smod_ModelExportRPC(model.get(), copy.c_str(), options.data(), nullptr, nullptr,
                                  &mean, &max, &report),
              nullptr);
    char* text = smod_ErrorText(report);
    EXPECT_TRUE(contains(text ? text : "", c.message));
    smod_Free(text);
    herr_DeleteErrorReportEx(&report);
  }
  EXPECT_EQ(filesIn(path("")), (std::vector<std::string>{"copy.ntf", "kept.RPB"}));
}

TEST_F(RpcExport, LowerDegreesZeroTheHigherTerms) {
  const Model model(smod_ModelOpen(ngaI6130a().c_str(), nullptr));
  double previous = HUGE_VAL;
  for (const int degree : {1, 2, 3}) {
    const std::string file = path("d" + std::to_string(degree) + "_rpc.txt");
    const std::string option = "DEGREE=" + std::to_string(degree);
    const char* options[] = {option.c_str(), "GRID=8", "HEIGHTS=4", nullptr};
    double mean = 0.0, max = 0.0;
    char* json = smod_ModelExportRPC(model.get(), file.c_str(), options, nullptr, nullptr, &mean,
                                     &max, nullptr);
    ASSERT_NE(json, nullptr);
    CPLJSONDocument document;
    ASSERT_TRUE(document.LoadMemory(json));
    smod_Free(json);
    EXPECT_EQ(document.GetRoot().GetDouble("residual_max_px"), max);
    EXPECT_EQ(document.GetRoot().GetInteger("fit_points"), 8 * 8 * 4);
    EXPECT_LT(max, previous);
    previous = max;
    const Dataset raster = blankRaster(path("d" + std::to_string(degree) + ".tif"));
    ASSERT_NE(raster, nullptr);
    GDALRPCInfoV2 info{};
    ASSERT_TRUE(GDALExtractRPCInfoV2(GDALGetMetadata(raster.get(), "RPC"), &info));
    const int used = degree == 1 ? 4 : degree == 2 ? 10 : 20;
    for (int t = 0; t < 20; ++t) {
      EXPECT_EQ(info.adfLINE_NUM_COEFF[t] != 0.0, t < used) << degree << " " << t;
      EXPECT_EQ(info.adfSAMP_DEN_COEFF[t] != 0.0, t < used) << degree << " " << t;
    }
  }
}

}  // namespace
