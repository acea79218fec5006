// The face's GDAL transformer carries a warper's row of cells (evenly spaced along one line of the
// grid) to the image as it carries each cell alone, within a millionth of a pixel: the row's map
// coordinates reach longitude and latitude through PROJ at a few cells and an interpolation
// checked against PROJ between them.
#include <cmath>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "senmod/senmod_io.h"

namespace {

TEST(OrthoTransformer, RowsMeetTheirCellsCarriedOneByOne) {
  ErrorReport* err = nullptr;
  smod_Model* model = smod_ModelOpen(enginetest::sampleRsm().c_str(), &err);
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(smod_ModelSetDem(model, (std::string(SENMOD_SAMPLE_DIR) + "/sample_dem.tif").c_str(),
                             &err),
            0);
  // The sample's default ortho grid, and one ten times coarser whose spans reach further; both
  // run past the image, where cells fail.
  const double base = 2.408727517680601;
  for (const double cell : {base, 10 * base}) {
    const double geoTransform[6] = {380121.29 - 300 * base, cell, 0, 5202222.76, 0, -cell};
    void* transformer = smod_ModelCreateGDALTransformer(model, "EPSG:32632", geoTransform, &err);
    ASSERT_NE(transformer, nullptr);
    const int columns = 2235;
    int succeeded = 0;
    for (const double line : {0.5, 300.5, 560.5, 1120.5}) {
      const double row = std::floor(line * base / cell) + 0.5;
      std::vector<double> x(columns), y(columns, row), z(columns);
      std::vector<int> ok(columns);
      for (int i = 0; i < columns; ++i) x[i] = i + 0.5;
      ASSERT_TRUE(smod_ModelGDALTransform(transformer, 1, columns, x.data(), y.data(), z.data(),
                                          ok.data()));
      for (int i = 0; i < columns; ++i) {
        double px = i + 0.5, py = row, pz = 0;
        int alone = 0;
        ASSERT_TRUE(smod_ModelGDALTransform(transformer, 1, 1, &px, &py, &pz, &alone));
        ASSERT_EQ(ok[i], alone) << "cell " << i << " of row " << row;
        if (!alone) continue;
        ++succeeded;
        EXPECT_LE(std::fabs(x[i] - px), 1e-6) << "cell " << i << " of row " << row;
        EXPECT_LE(std::fabs(y[i] - py), 1e-6) << "cell " << i << " of row " << row;
      }
    }
    EXPECT_GT(succeeded, 400) << cell;
    smod_ModelDestroyGDALTransformer(transformer);
  }
  smod_ModelClose(model);
}

}  // namespace
