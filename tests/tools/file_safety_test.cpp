// What the command and the engine may write over: never an input under any of its names, never
// a device or a FIFO, a symbolic link's target rather than the link; a replaced file loses its
// stale sidecars, a failed or interrupted write loses nothing.
#include <gdal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "senmod/senmod_io.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

std::string bytesOf(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& file) {
  struct stat s;
  return lstat(file.c_str(), &s) == 0;
}

class FileSafety : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    image_ = path("image.ntf");
    dem_ = path("dem.tif");
    std::ofstream(image_, std::ios::binary) << bytesOf(sampleData("sample_rsm.ntf"));
    std::ofstream(dem_, std::ios::binary) << bytesOf(sampleData("sample_dem.tif"));
    imageBytes_ = bytesOf(image_);
    ASSERT_GT(imageBytes_.size(), 1000u);
  }

  // True when no temporary file is left in the scratch directory or below.
  bool noPartialFile() const {
    return std::system(("find '" + path("") + "' | grep -q partial").c_str()) != 0;
  }

  std::string image_, dem_, imageBytes_;
};

TEST_F(FileSafety, AnOutputThatIsAnInputUnderAnyNameIsRefusedAndBothNamesKept) {
  ASSERT_EQ(link(image_.c_str(), path("alias.ntf").c_str()), 0);
  ASSERT_EQ(symlink(dem_.c_str(), path("dem-link.tif").c_str()), 0);
  std::ofstream(path("model.ntf"), std::ios::binary) << imageBytes_;
  writeText("points.txt", "700 500\n800 600\n");
  struct Case {
    std::vector<std::string> args;
    std::string input;  // the file read, and what the output names
    std::string output;
    std::string stdinFile;  // "" for none
  };
  const std::string points = path("points.txt");
  const Case cases[] = {
      {{"ortho", image_, "-o", path("alias.ntf"), "--height", "400", "--quiet"},
       image_, path("alias.ntf"), ""},
      {{"ortho", image_, "--dem", dem_, "-o", path("dem-link.tif"), "--quiet"},
       dem_, path("dem-link.tif"), ""},
      {{"ortho", image_, "--model", path("model.ntf"), "-o", path("model.ntf")},
       path("model.ntf"), path("model.ntf"), ""},
      {{"ortho", "NITF_IM:0:" + image_, "-o", path("alias.ntf")}, image_, path("alias.ntf"), ""},
      {{"convert", image_, path("alias.ntf")}, image_, path("alias.ntf"), ""},
      {{"footprint", image_, "--dem", dem_, "-o", path("dem-link.tif")},
       dem_, path("dem-link.tif"), ""},
      {{"image-to-ground", image_, "-i", points, "-o", points}, points, points, ""},
      {{"image-to-ground", image_, "-o", points}, points, points, points},
  };
  for (const Case& c : cases) {
    const std::string inputBytes = bytesOf(c.input);
    const CommandRun run = senmod(c.args, c.stdinFile);
    EXPECT_EQ(run.status, 2) << c.args[0] << " " << c.output;
    EXPECT_TRUE(contains(run.err, ": the output is the same file as "));
    EXPECT_TRUE(bytesOf(c.input) == inputBytes) << c.input;
    EXPECT_TRUE(bytesOf(c.output) == inputBytes) << c.output;
  }
  struct stat s;
  ASSERT_EQ(lstat(path("dem-link.tif").c_str(), &s), 0);
  EXPECT_TRUE(S_ISLNK(s.st_mode));
  EXPECT_TRUE(noPartialFile());
}

TEST_F(FileSafety, TheEngineRefusesToWriteAnOrthoModelOrFootprintOverItsImageOrItsDem) {
  ASSERT_EQ(link(image_.c_str(), path("alias.ntf").c_str()), 0);
  const std::string demBytes = bytesOf(dem_);
  ErrorReport* report = nullptr;
  smod_Model* model = smod_ModelOpen(image_.c_str(), &report);
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(smod_ModelSetDem(model, dem_.c_str(), &report), 0);
  for (const std::string& output : {path("alias.ntf"), dem_}) {
    char* written = smod_ModelOrtho(model, image_.c_str(), output.c_str(), nullptr, nullptr,
                                    nullptr, &report);
    EXPECT_EQ(written, nullptr);
    smod_Free(written);
    ASSERT_NE(report, nullptr);
    char* text = smod_ErrorText(report);
    EXPECT_TRUE(contains(text, output + ": the output is the same file as the " +
                                   (output == dem_ ? "DEM" : "image")));
    smod_Free(text);
    herr_DeleteErrorReportEx(&report);
    // The model file and the footprint, from C as from the command.
    EXPECT_EQ(smod_ModelSave(model, output.c_str(), &report), -1);
    EXPECT_NE(report, nullptr);
    herr_DeleteErrorReportEx(&report);
    EXPECT_EQ(smod_ModelFootprintWrite(model, output.c_str(), "GeoJSON", 64, nullptr, &report),
              -1);
    EXPECT_NE(report, nullptr);
    herr_DeleteErrorReportEx(&report);
  }
  smod_ModelClose(model);
  EXPECT_TRUE(bytesOf(path("alias.ntf")) == imageBytes_);
  EXPECT_TRUE(bytesOf(dem_) == demBytes);
  EXPECT_TRUE(noPartialFile());
}

TEST_F(FileSafety, WritesThroughALinkRefusesFifosAndGivesTheNewFileItsOwnSidecars) {
  for (const char* fifo : {"fifo.tif", "fifo.geojson", "fifo.smod"}) {
    ASSERT_EQ(mkfifo(path(fifo).c_str(), 0600), 0);
  }
  const std::vector<std::vector<std::string>> refused = {
      {"ortho", image_, "-o", path("fifo.tif"), "--height", "400", "--quiet"},
      {"footprint", image_, "-o", path("fifo.geojson")},
      {"convert", image_, path("fifo.smod")}};
  for (const auto& args : refused) {
    const CommandRun run = senmod(args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_TRUE(contains(run.err, "fifo"));
    EXPECT_TRUE(contains(run.err, ": not a regular file; "));
  }
  for (const char* fifo : {"fifo.tif", "fifo.geojson", "fifo.smod"}) {
    struct stat s;
    ASSERT_EQ(lstat(path(fifo).c_str(), &s), 0);
    EXPECT_TRUE(S_ISFIFO(s.st_mode)) << fifo;
  }

  ASSERT_EQ(mkdir(path("real").c_str(), 0700), 0);
  writeText("real/out.tif", "the previous ortho");
  for (const char* sidecar : {".ovr", ".aux.xml", ".msk"}) {
    writeText(std::string("real/out.tif") + sidecar, "of the previous ortho");
  }
  ASSERT_EQ(symlink("real/out.tif", path("link.tif").c_str()), 0);
  const CommandRun run =
      senmod({"ortho", image_, "-o", path("link.tif"), "--height", "400", "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  struct stat s;
  ASSERT_EQ(lstat(path("link.tif").c_str(), &s), 0);
  EXPECT_TRUE(S_ISLNK(s.st_mode));
  EXPECT_EQ(bytesOf(path("real/out.tif")).compare(0, 2, "II"), 0);  // a little-endian TIFF
  for (const char* sidecar : {".ovr", ".aux.xml", ".msk"}) {
    EXPECT_FALSE(exists(path("real/out.tif") + sidecar)) << sidecar;
  }

  // A PNG keeps its georeferencing in the .aux.xml GDAL writes beside it.
  ASSERT_EQ(senmod({"ortho", image_, "-o", path("out.png"), "--height", "400", "--quiet"}).status,
            0);
  GDALAllRegister();
  GDALDatasetH png = GDALOpen(path("out.png").c_str(), GA_ReadOnly);
  ASSERT_NE(png, nullptr);
  double geo[6];
  EXPECT_EQ(GDALGetGeoTransform(png, geo), CE_None);
  GDALClose(png);
  EXPECT_TRUE(noPartialFile());
}

TEST_F(FileSafety, AFailedWriteKeepsTheOldFileAndItsSidecarsAndSaysWhy) {
  ASSERT_EQ(senmod({"ortho", image_, "-o", path("out.tif"), "--height", "400", "--quiet"}).status,
            0);
  writeText("out.tif.ovr", "overviews of out.tif");
  const std::string before = bytesOf(path("out.tif"));
  const CommandRun bogus = senmod({"ortho", image_, "-o", path("out.tif"), "--height", "400",
                                   "--co", "COMPRESS=BOGUS", "--co", "NO_SUCH_OPTION=1"});
  EXPECT_EQ(bogus.status, 2);
  EXPECT_TRUE(contains(bogus.err, "'BOGUS' is an unexpected value for COMPRESS"));
  EXPECT_TRUE(contains(bogus.err, "NO_SUCH_OPTION"));
  EXPECT_TRUE(bytesOf(path("out.tif")) == before);
  EXPECT_EQ(readText("out.tif.ovr"), "overviews of out.tif");

  const CommandRun model = senmod({"convert", image_, path("missing/model.smod")});
  EXPECT_EQ(model.status, 2);
  EXPECT_TRUE(contains(model.err, std::string("cannot write the model file (") +
                                      std::strerror(ENOENT) + ")"));
  EXPECT_TRUE(noPartialFile());
}

TEST_F(FileSafety, AHangupOrAClosedPipeStopsOrthoWithNothingLostOrLeft) {
  for (const char* signal : {"HUP", "PIPE"}) {
    writeText("out.tif", "the previous ortho");
    // A grid far too fine to finish: the signal comes once the temporary file is there.
    const std::string command =
        "cd '" + path("") + "' && { '" + senmodBinary() + "' ortho '" + image_ +
        "' -o out.tif --height 400 --tr 0.1 0.1 --quiet 2>err.txt & pid=$!; "
        "for i in $(seq 300); do ls | grep -q partial && break; sleep 0.1; done; kill -" +
        signal + " $pid; wait $pid; echo $? >status.txt; }";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readText("status.txt"), "2\n") << signal << ": " << readText("err.txt");
    EXPECT_EQ(readText("out.tif"), "the previous ortho") << signal;
    EXPECT_TRUE(noPartialFile()) << signal;
  }
}

}  // namespace
