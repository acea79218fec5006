/* A C program built against an installed libsenmod_io and GDAL. It opens a NITF RSM model, an
 * RPC raster and the model file it saves from the first, carries points both ways with given
 * heights, at the mean height and on a DEM, and writes the results ("%.17g") for the test script
 * to compare with the senmod command's. Each call also carries one point far outside the model's
 * domain, which alone must fail. Then it warps the NITF image through the model with GDAL's
 * warper onto the grid of an ortho written by `senmod ortho` and compares the pixels.
 * Usage: consumer_io DIR NITF RPC_RASTER DEM ORTHO, where DIR holds image.txt (sample row
 * height) and ground.txt (longitude latitude height); the results go to DIR too. */
#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdalwarper.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "senmod/senmod_io.h"

enum { kMaxPoints = 64 };

typedef struct {
  size_t n;
  double x[kMaxPoints + 1], y[kMaxPoints + 1], h[kMaxPoints + 1];
} Points;

static int reportFailure(const char* what, ErrorReport* err) {
  char* text = smod_ErrorText(err);
  fprintf(stderr, "%s: %s\n", what, text ? text : "failed without a report");
  smod_Free(text);
  herr_DeleteErrorReportEx(&err);
  return 1;
}

static int readPoints(const char* dir, const char* name, Points* points) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* file = fopen(path, "r");
  if (!file) {
    perror(path);
    return 1;
  }
  points->n = 0;
  while (points->n < kMaxPoints && fscanf(file, "%lf %lf %lf", &points->x[points->n],
                                          &points->y[points->n], &points->h[points->n]) == 3) {
    ++points->n;
  }
  const int complete = feof(file) && points->n > 0;
  fclose(file);
  if (!complete) {
    fprintf(stderr, "%s: expected up to %d lines of three numbers\n", path, kMaxPoints);
  }
  return !complete;
}

/* Carries the points one way (heights given, or as the model takes them) with a point far outside
 * the domain appended, checks the statuses and writes the others' results to path. */
static int carry(smod_Model* model, int toGround, int givenHeights, const Points* in,
                 const char* path) {
  Points p = *in;
  const size_t far = in->n, n = in->n + 1;
  p.x[far] = toGround ? 1e6 : 100.0;
  p.y[far] = toGround ? 500.0 : 46.95;
  p.h[far] = 650.0;
  double outX[kMaxPoints + 1], outY[kMaxPoints + 1], outH[kMaxPoints + 1];
  int status[kMaxPoints + 1];
  const double* heights = givenHeights ? p.h : NULL;
  ErrorReport* err = NULL;
  const int carried =
      toGround
          ? smod_ModelImageToGround(model, n, p.x, p.y, heights, outX, outY, outH, status, &err)
          : smod_ModelGroundToImage(model, n, p.x, p.y, heights, outX, outY, status, &err);
  if (carried < 0) return reportFailure(path, err);
  int wrong = carried != (int)in->n || status[far] != SMOD_POINT_OUTSIDE_DOMAIN ||
              !isnan(outX[far]) || !isnan(outY[far]);
  for (size_t i = 0; i < in->n; ++i) {
    if (status[i] != SMOD_POINT_OK) {
      fprintf(stderr, "%s: point %zu: %s\n", path, i + 1, smod_PointStatusText(status[i]));
      wrong = 1;
    }
  }
  if (wrong) {
    fprintf(stderr, "%s: %d of %zu points carried; the far one: %s, %g %g\n", path, carried, n,
            smod_PointStatusText(status[far]), outX[far], outY[far]);
    return 1;
  }
  FILE* file = fopen(path, "w");
  if (!file) {
    perror(path);
    return 1;
  }
  for (size_t i = 0; i < in->n; ++i) {
    if (toGround) {
      fprintf(file, "%.17g %.17g %.17g\n", outX[i], outY[i], outH[i]);
    } else {
      fprintf(file, "%.17g %.17g\n", outX[i], outY[i]);
    }
  }
  return fclose(file) != 0;
}

/* Both ways with given heights, at the model's mean height, then on dem. */
static int carryAll(smod_Model* model, const char* name, const char* dem, const char* dir,
                    const Points* image, const Points* ground) {
  static const char* const kHeights[] = {"given", "mean", "dem"};
  ErrorReport* err = NULL;
  char info[64];
  snprintf(info, sizeof info, "%s: smod_ModelInfoJson", name);
  char* json = smod_ModelInfoJson(model, &err);
  if (!json) return reportFailure(info, err);
  const int described = strstr(json, "\"pixel_convention\"") != NULL;
  smod_Free(json);
  if (!described) {
    fprintf(stderr, "%s: no pixel convention\n", info);
    return 1;
  }
  for (int k = 0; k < 3; ++k) {
    if (k == 2 && smod_ModelSetDem(model, dem, &err) != 0) return reportFailure(dem, err);
    for (int toGround = 0; toGround < 2; ++toGround) {
      char path[4096];
      snprintf(path, sizeof path, "%s/%s_%s_%s.txt", dir, name, toGround ? "i2g" : "g2i",
               kHeights[k]);
      if (carry(model, toGround, k == 0, toGround ? image : ground, path)) return 1;
    }
  }
  return 0;
}

/* Whether bands a and b hold the same pixels, bit for bit; says how many differ. */
static int sameBand(GDALRasterBandH a, GDALRasterBandH b, int columns, int rows, int index) {
  const GDALDataType type = GDALGetRasterDataType(b);
  const size_t size = (size_t)GDALGetDataTypeSizeBytes(type), count = (size_t)columns * rows;
  unsigned char* pixels = malloc(2 * count * size);
  if (!pixels || GDALRasterIO(a, GF_Read, 0, 0, columns, rows, pixels, columns, rows, type, 0, 0) ||
      GDALRasterIO(b, GF_Read, 0, 0, columns, rows, pixels + count * size, columns, rows, type, 0,
                   0)) {
    fprintf(stderr, "band %d cannot be read\n", index);
    free(pixels);
    return 0;
  }
  const unsigned char* other = pixels + count * size;
  size_t differ = 0;
  for (size_t i = 0; i < count; ++i) {
    differ += memcmp(pixels + i * size, other + i * size, size) != 0;
  }
  free(pixels);
  if (differ) fprintf(stderr, "band %d: %zu of %zu pixels differ\n", index, differ, count);
  return !differ;
}

/* Warps the image through model (nearest neighbour) onto the ortho's grid, as many bands as the
 * image and the ortho's last band as alpha when it has one more, and compares the pixels. */
static int warpLikeOrtho(smod_Model* model, GDALDatasetH source, GDALDatasetH ortho) {
  const int columns = GDALGetRasterXSize(ortho), rows = GDALGetRasterYSize(ortho);
  const int bands = GDALGetRasterCount(ortho), imageBands = GDALGetRasterCount(source);
  double geoTransform[6];
  GDALGetGeoTransform(ortho, geoTransform);
  ErrorReport* err = NULL;
  void* transformer =
      smod_ModelCreateGDALTransformer(model, GDALGetProjectionRef(ortho), geoTransform, &err);
  if (!transformer) return reportFailure("smod_ModelCreateGDALTransformer", err);
  GDALDatasetH warped = GDALCreate(GDALGetDriverByName("MEM"), "", columns, rows, bands,
                                   GDALGetRasterDataType(GDALGetRasterBand(ortho, 1)), NULL);
  GDALWarpOptions* options = GDALCreateWarpOptions();
  options->hSrcDS = source;
  options->hDstDS = warped;
  options->nBandCount = imageBands;
  options->panSrcBands = CPLMalloc(sizeof(int) * imageBands);
  options->panDstBands = CPLMalloc(sizeof(int) * imageBands);
  for (int i = 0; i < imageBands; ++i) options->panSrcBands[i] = options->panDstBands[i] = i + 1;
  options->nDstAlphaBand = bands > imageBands ? bands : 0;
  options->eResampleAlg = GRA_NearestNeighbour;
  options->pfnTransformer = smod_ModelGDALTransform;
  options->pTransformerArg = transformer;
  options->papszWarpOptions = CSLSetNameValue(NULL, "INIT_DEST", "0");
  GDALWarpOperationH warp = warped ? GDALCreateWarpOperation(options) : NULL;
  int status = !warp || GDALChunkAndWarpImage(warp, 0, 0, columns, rows) != CE_None;
  if (status) fprintf(stderr, "the warp failed: %s\n", CPLGetLastErrorMsg());
  for (int b = 1; !status && b <= bands; ++b) {
    status = !sameBand(GDALGetRasterBand(warped, b), GDALGetRasterBand(ortho, b), columns, rows, b);
  }
  if (!status) printf("warped %d x %d pixels, %d bands, as senmod ortho\n", columns, rows, bands);
  if (warp) GDALDestroyWarpOperation(warp);
  GDALDestroyWarpOptions(options);
  if (warped) GDALClose(warped);
  smod_ModelDestroyGDALTransformer(transformer);
  return status;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: consumer_io DIR NITF RPC_RASTER DEM ORTHO\n");
    return 2;
  }
  const char *dir = argv[1], *nitf = argv[2], *rpc = argv[3], *dem = argv[4], *ortho = argv[5];
  GDALAllRegister();
  Points image, ground;
  if (readPoints(dir, "image.txt", &image) || readPoints(dir, "ground.txt", &ground)) return 1;

  ErrorReport* err = NULL;
  smod_Model* sensor = smod_ModelOpen(nitf, &err);
  if (!sensor) return reportFailure(nitf, err);
  char saved[4096];
  snprintf(saved, sizeof saved, "%s/model.smod", dir);
  int status = smod_ModelSave(sensor, saved, &err) ? reportFailure(saved, err) : 0;

  const char* const paths[] = {nitf, rpc, saved};
  const char* const names[] = {"ntf", "rpc", "smod"};
  for (int i = 0; !status && i < 3; ++i) {
    smod_Model* model = i == 0 ? sensor : smod_ModelOpen(paths[i], &err);
    status =
        model ? carryAll(model, names[i], dem, dir, &image, &ground) : reportFailure(paths[i], err);
    if (model != sensor) smod_ModelClose(model);
  }

  /* The command's ortho without --dem takes the model's mean height. */
  if (!status && smod_ModelSetDem(sensor, NULL, &err)) status = reportFailure("no DEM", err);
  GDALDatasetH source = status ? NULL : GDALOpen(nitf, GA_ReadOnly);
  GDALDatasetH written = status ? NULL : GDALOpen(ortho, GA_ReadOnly);
  if (!status && (!source || !written)) {
    fprintf(stderr, "%s or %s cannot be opened\n", nitf, ortho);
    status = 1;
  }
  if (!status) status = warpLikeOrtho(sensor, source, written);
  if (written) GDALClose(written);
  if (source) GDALClose(source);
  smod_ModelClose(sensor);
  if (!status) printf("senmod_io %s: the points and the warp done\n", smod_VersionString());
  return status;
}
