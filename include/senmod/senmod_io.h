/*
 * senmod_io: sensor models opened from files, carried between ground and image.
 *
 * libsenmod_io reads the model of an image file (NITF RSM records in any image segment, RPC00B
 * and RPC metadata of any raster GDAL reads, or a model file written by smod_ModelSave), takes
 * terrain heights from a DEM, and transforms points both ways with a status per point. It is
 * the engine under the senmod command and the Python module; C and C++ programs use it as they
 * do. It is built on libsenmod (senmod/senmod.h) and GDAL.
 *
 * Conventions of every call:
 * - Error slot (ErrorReport** err), as in senmod.h: cleared on entry; null is allowed (the
 *   report is then dropped). A report passed out is the caller's: read it with smod_ErrorText
 *   and delete it with herr_DeleteErrorReportEx.
 * - Ownership: a model is the caller's from smod_ModelOpen to smod_ModelClose. Texts handed out
 *   (char*) are the caller's: release them with smod_Free. Arrays passed in are only read;
 *   arrays passed for output are only written, and only their first n elements.
 * - Coordinates: ground points are longitude and latitude in degrees on WGS 84 and heights in
 *   metres above the ellipsoid; image points are (sample, row) in the model's own convention,
 *   the one the points commands write (see "pixel_convention" in smod_ModelInfoJson): for RSM
 *   records the upper-left corner of the first pixel is (0, 0), for RPCs the centre of the
 *   first pixel is (0, 0). GDAL's pixel/line (corner at 0, 0) is used only by the transformer.
 * - Threads: every call but smod_ModelSetDem, smod_ModelSetOption and smod_ModelClose only
 *   reads the model, and may run on many threads at once on one model (the transform calls
 *   take a working copy of the model each). smod_ModelSetDem and smod_ModelSetOption must not
 *   run while any other call on the same model runs.
 */
#ifndef SENMOD_SENMOD_IO_H
#define SENMOD_SENMOD_IO_H

#include <stddef.h>

#include "senmod/senmod.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SMOD_IO_API __attribute__((visibility("default")))

/* An opened model: opaque. */
typedef struct smod_Model smod_Model;

/* Status of one point of a transform call. */
enum {
  SMOD_POINT_OK = 0,
  /* A DEM was set and heights were to come from it, but the point lies off the DEM or next to
   * a cell without data: it took the mean height (the DEM's mean, or the model's when the DEM
   * has no valid cell). Its outputs are valid. */
  SMOD_POINT_OFF_DEM = 1,
  /* The point lies outside the model's ground domain (ground to image) or image domain (image
   * to ground) by more than the domain margin, where the polynomials are not valid: they fold
   * back into the image far outside it. The margin is a quarter of the domain's extent on each
   * side (longitude and latitude of the ground domain's corners; samples and rows of the image
   * domain); a height outside the ground domain's heights by more than their range (and at
   * least 1000 m) is as far, and so is an image point whose ground point lies beyond the ground
   * domain's margin, however well it converged. Longitudes are taken about the domain's centre, so that points
   * across the antimeridian from it are where they belong. Outputs NaN, unless option "EXTRAPOLATE" is on: then a point outside that the model
   * carries keeps its outputs with this status, and one it fails on gets the failure's status. */
  SMOD_POINT_OUTSIDE_DOMAIN = 2,
  /* Image to ground: the result, carried back to the image through the section that inverted
   * it, misses its image point by more than the residual limit (option "MAX_RESIDUAL"). Outputs
   * NaN. */
  SMOD_POINT_NOT_CONVERGED = 3,
  /* The model cannot carry the point (a zero denominator, a coordinate it cannot convert, a
   * result that is not a finite number). Outputs NaN. */
  SMOD_POINT_FAILED = 4
};

/* The residual limit (pixels) unless option "MAX_RESIDUAL" sets another. */
#define SMOD_DEFAULT_MAX_RESIDUAL 1e-3

/* Opens the model of the file at path: a NITF file with RSM records (GDAL's "NITF_IM:n:file"
 * names image segment n, from 0; a plain name the first segment that carries a model), a raster
 * with RPC00B or RPC metadata, or a model file. Returns the new model, or null with a report
 * naming the file (and the record and field of a bad record). Release it with
 * smod_ModelClose. */
SMOD_IO_API smod_Model* smod_ModelOpen(const char* path, ErrorReport** err);

/* Releases model and everything it holds. Accepts null. */
SMOD_IO_API void smod_ModelClose(smod_Model* model);

/* Takes the heights of later transform calls that pass no heights from the raster DEM at
 * demPath (any raster GDAL reads, in any coordinate system OSR can reach from WGS 84; its first
 * band, bilinear between cell centres), or from the model's mean height when demPath is null.
 * A DEM without a valid cell is accepted: every point then takes the model's mean height with
 * status SMOD_POINT_OFF_DEM. Returns 0, or -1 with a report naming the file when it cannot be
 * read or is not georeferenced (the model then keeps its previous heights). */
SMOD_IO_API int smod_ModelSetDem(smod_Model* model, const char* demPath, ErrorReport** err);

/* The height (m above the ellipsoid) that points take when no height is given and none comes
 * from the DEM: the mean of the DEM's valid cells when a DEM with one is set, else the model's
 * mean height. NaN for a null model. */
SMOD_IO_API double smod_ModelMeanHeight(const smod_Model* model);

/* Sets an option of the model's transform calls: "MAX_RESIDUAL" (pixels, a number >= 0; default
 * SMOD_DEFAULT_MAX_RESIDUAL), "EXTRAPOLATE" ("YES" or "NO", default "NO": points outside the
 * domain margin get results, still with status SMOD_POINT_OUTSIDE_DOMAIN). value null restores
 * the default. Returns 0, or -1 with a report for an unknown key or a bad value. */
SMOD_IO_API int smod_ModelSetOption(smod_Model* model, const char* key, const char* value,
                                    ErrorReport** err);

/* Ground to image of n points (lon[i], lat[i]) at heights height[i], or, when height is null,
 * at the DEM's heights (smod_ModelSetDem) or else the model's mean height. Writes sample[i],
 * row[i] and status[i] (one of the SMOD_POINT_ values). Returns the number of points whose status
 * is SMOD_POINT_OK or SMOD_POINT_OFF_DEM; a failed point never stops the others, its outputs are
 * NaN. Returns -1 with a report when the call itself fails (a null model or array that n > 0
 * needs, a DEM that cannot be read, an exhausted heap): then no output is meaningful. */
SMOD_IO_API int smod_ModelGroundToImage(smod_Model* model, size_t n, const double* lon,
                                        const double* lat, const double* height, double* sample,
                                        double* row, int* status, ErrorReport** err);

/* Image to ground of n points (sample[i], row[i]) at heights height[i], or, when height is null,
 * on the DEM (the ground point iterated to the terrain, then computed once more at the DEM
 * height read there) or else at the model's mean height. Writes lon[i], lat[i], the height each
 * point used into heightOut[i] (heightOut may be null) and status[i]. Every result is carried
 * back to the image: one that misses its image point by more than the residual limit has status
 * SMOD_POINT_NOT_CONVERGED. Returns as smod_ModelGroundToImage. */
SMOD_IO_API int smod_ModelImageToGround(smod_Model* model, size_t n, const double* sample,
                                        const double* row, const double* height, double* lon,
                                        double* lat, double* heightOut, int* status,
                                        ErrorReport** err);

/* smod_ModelImageToGround that also writes residual[i]: the distance (pixels) by which point i's
 * result, carried back to the image, misses its image point (NaN where none was computed), so
 * that a caller can tell how far a SMOD_POINT_NOT_CONVERGED point stopped. */
SMOD_IO_API int smod_ModelImageToGroundResidual(smod_Model* model, size_t n, const double* sample,
                                                const double* row, const double* height,
                                                double* lon, double* lat, double* heightOut,
                                                double* residual, int* status, ErrorReport** err);

/* A description of status for people ("off the DEM", "outside the model's domain", ...); never
 * null. The text is static. */
SMOD_IO_API const char* smod_PointStatusText(int status);

/* The model's description as one JSON object followed by a line feed: where it came from, its
 * kind, pixel convention, image size, sections, domains, covariance records, how far its
 * sections disagree along their seams, and its footprint at the mean height. Returns the text
 * (release with smod_Free), or null with a report. */
SMOD_IO_API char* smod_ModelInfoJson(smod_Model* model, ErrorReport** err);

/* The same description as text for people, lines ending in a line feed. */
SMOD_IO_API char* smod_ModelInfoText(smod_Model* model, ErrorReport** err);

/* The image's outline on the ground as a GeoJSON FeatureCollection of one Polygon (WGS 84
 * longitude, latitude; the ring counter-clockwise) with its properties (source, image size,
 * where the heights came from, lowest and highest height, step): the image domain's edges walked
 * a point every step pixels (step >= 1) and at every corner, carried to the ground at *height
 * when height is not null, else as smod_ModelImageToGround takes heights. Edge points whose
 * status is neither SMOD_POINT_OK nor SMOD_POINT_OFF_DEM are left out; *leftOut (leftOut may be
 * null) receives how many. Returns the text (release with smod_Free), or null with a report
 * when fewer than three points reach the ground or a call fails. */
SMOD_IO_API char* smod_ModelFootprintJson(smod_Model* model, double step, const double* height,
                                          long* leftOut, ErrorReport** err);

/* Writes the same footprint as a layer "footprint" of the OGR driver format (null: chosen from
 * path's extension: .geojson or .json GeoJSON, .gpkg GPKG, .shp ESRI Shapefile, .kml KML, .fgb
 * FlatGeobuf; another extension is refused) to path, under a temporary name renamed when
 * complete. Returns the number of edge points left out (>= 0), or -1 with a report; nothing is
 * then left under path. A path that is the model's own file or its DEM is refused. */
SMOD_IO_API long smod_ModelFootprintWrite(smod_Model* model, const char* path, const char* format,
                                          double step, const double* height, ErrorReport** err);

/* ---- Adjustable parameters and accuracy.
 *
 * A model's adjustable parameters (from RSMAPA/RSMAPB, RSMDCA/RSMDCB, RSMECA/RSMECB, or an
 * RPC's ERR_BIAS and ERR_RAND) say how its ground points may move in a local frame (offsets in
 * m, rotations in radians, scale and affine terms) and how its image positions may shift (px)
 * before and after the polynomials; their covariance says how sure the model is. A model
 * evaluates with its parameters' values applied, in every call. The README's "Accuracy" section
 * gives the convention term by term. */

/* The number of the model's adjustable parameters (0 for a model without any), or -1 with a
 * report for a null model. */
SMOD_IO_API int smod_ModelParameterCount(const smod_Model* model, ErrorReport** err);

/* The name of parameter index (from 0): the term or terms it drives, "GXO", "IRX", or
 * "GXO+GYO" for one that drives two. Borrowed: valid while the model is open. Null for a null
 * model or an index out of range. */
SMOD_IO_API const char* smod_ModelParameterName(const smod_Model* model, int index);

/* The records the parameters and their covariance come from ("RSMAPA, RSMECA"); borrowed as
 * smod_ModelParameterName. Null for a model without adjustable parameters or error. */
SMOD_IO_API const char* smod_ModelParameterSource(const smod_Model* model);

/* Writes the parameters' values (count elements, smod_ModelParameterCount) into values and
 * their covariance (count × count, row-major) into covariance; either may be null. Returns 1
 * when the covariance was written, 0 when the model has none (covariance untouched), -1 with a
 * report for a null model. */
SMOD_IO_API int smod_ModelParameters(const smod_Model* model, double* values, double* covariance,
                                     ErrorReport** err);

/* A new model: model with its parameters at values (count of them, finite), with model's DEM
 * and options. The caller closes it with smod_ModelClose. Null with a report for a model
 * without parameters, a count that is not theirs, a value that is not finite. */
SMOD_IO_API smod_Model* smod_ModelWithParameters(const smod_Model* model, size_t count,
                                                 const double* values, ErrorReport** err);

/* The 2 × 2 covariance (px²) of the image positions of n ground points, taken as
 * smod_ModelGroundToImage takes them: cov[4i .. 4i+3] = sample-sample, sample-row, row-sample,
 * row-row, from the parameters' covariance and the unmodelled error. Writes status[i]; a
 * failed point's covariance is NaN. Returns the points with a covariance, or -1 with a report
 * for a model without an error covariance (the message says so) and as
 * smod_ModelGroundToImage. */
SMOD_IO_API int smod_ModelImageCovariance(smod_Model* model, size_t n, const double* lon,
                                          const double* lat, const double* height, double* cov,
                                          int* status, ErrorReport** err);

/* Image to ground of n points as smod_ModelImageToGround (lon, lat and heightOut required),
 * with the covariance (m²) of each ground point in its local east, north, up frame, row-major
 * (cov[9i .. 9i+8]); CE90 (m: the radius of the circle about the point that holds 90 % of its
 * horizontal error, computed exactly) and LE90 (m: 1.6449 σ up) into ce90 and le90, either
 * may be null. heightSigma (m) is the standard deviation of the height the points are carried
 * to (the DEM's or the given one), imageSigma (px) that of the image measurement in sample and
 * in row; both >= 0. Returns as smod_ModelImageCovariance. */
SMOD_IO_API int smod_ModelGroundCovariance(smod_Model* model, size_t n, const double* sample,
                                           const double* row, const double* height,
                                           double heightSigma, double imageSigma, double* lon,
                                           double* lat, double* heightOut, double* cov,
                                           double* ce90, double* le90, int* status,
                                           ErrorReport** err);

/* ---- Refinement with ground control points.
 *
 * A refinement solves for adjustable parameters by weighted least squares (Gauss-Newton), so
 * that the model carries surveyed ground points to where they were measured in the image. The
 * refined model carries the solution as its parameters' values and the posterior covariance
 * as their covariance, so that the accuracy calls on it give the refined accuracy. The README's
 * "Refinement" section gives the parameter sets, weights and statistics. */

/* Refines model with the ground control points of the file at gcpPath: text lines "sample row
 * longitude latitude height [sigma_h sigma_v sigma_px] [id]" (blanks or commas; # comments;
 * degrees, metres above the ellipsoid, pixels in the model's convention; standard deviations in
 * m east and north, m up and px, by default 0, 0 and 1), a CSV whose first line names those
 * columns, or a GeoJSON FeatureCollection of Points with properties sample, row and optionally
 * sigma_h, sigma_v, sigma_px and id. A height "nan" is read from the model's DEM
 * (smod_ModelSetDem). options: null, or a null-terminated list of "KEY=VALUE" texts: "PARAMS"
 * (model, the model's own parameters with their covariance as prior, the default;
 * image-offset, image-affine, ground-offset or ground-offset-rotation), "MAX_ITERATIONS"
 * (1 to 1000, default 10), "REJECT" ("YES": the point of the largest normalised residual above
 * 3 is left out and the solution made again, while one is and enough points remain; default
 * "NO"). Returns the refined model, with model's DEM and options (close it with
 * smod_ModelClose), and when reportJson is not null the report into *reportJson: one JSON object
 * (per point its residuals before and after in px and m, the RMS before and after, each
 * parameter's value and standard deviation, the flagged and rejected points), released with
 * smod_Free. Returns null with a report naming the cause (and *reportJson null) for a file or
 * line that cannot be read (its line number), a parameter set the model cannot take, too few
 * points for the parameters, a point outside the image domain or without a height, a
 * degenerate geometry (points on a line or at one point), a solution that does not converge. */
SMOD_IO_API smod_Model* smod_ModelRefine(smod_Model* model, const char* gcpPath,
                                         const char* const* options, char** reportJson,
                                         ErrorReport** err);

/* smod_ModelRefine with the points of an array: n rows of columns values (5 to 8, row-major):
 * sample, row, longitude, latitude, height (NaN: from the DEM), then sigma_h, sigma_v and
 * sigma_px as far as columns reaches. */
SMOD_IO_API smod_Model* smod_ModelRefinePoints(smod_Model* model, size_t n, size_t columns,
                                               const double* gcps, const char* const* options,
                                               char** reportJson, ErrorReport** err);

/* Writes the model (with its covariance records and adjustable parameters) to the model file at
 * path, under a temporary name renamed when complete. Returns 0, or -1 with a report naming
 * path; a path that is the model's own file or its DEM is refused before anything is written. */
SMOD_IO_API int smod_ModelSave(smod_Model* model, const char* path, ErrorReport** err);

/* A progress callback: done from 0 to 1; returns 0 to stop the work. */
typedef int (*smod_ProgressFunc)(double done, void* arg);

/* Orthorectifies the raster at imagePath through model onto a map grid, written to outputPath
 * under a temporary name renamed when complete. options: null, or a null-terminated list of
 * "KEY=VALUE" texts: "T_SRS" (anything OSR reads; default the WGS 84 UTM zone of the image
 * centre), "TR" ("XRES YRES" in the system's units; default the ground sample distance at the
 * image centre), "TE" ("XMIN YMIN XMAX YMAX"; default the footprint snapped outwards to whole
 * cells), "RESAMPLING" (near, bilinear, cubic, lanczos; default near), "THREADS" (default every
 * core), "FORMAT" (a GDAL raster driver that can create files; default GTiff; COG through a
 * GTiff first), "CO" (a creation option NAME=VALUE, repeatable, over the defaults tiled
 * DEFLATE), "HEIGHT" (a constant height, m, in place of the DEM), "MAX_CELLS" (the most cells the
 * grid may hold; default 2^32: a larger grid is refused before anything is written). Heights come from the DEM of
 * smod_ModelSetDem. progress may be null. Returns a JSON object describing what was written
 * ("columns", "rows", "geotransform", "srs_name", "bands", "warnings"), to release with
 * smod_Free, or null with a report; nothing is then left under outputPath. */
SMOD_IO_API char* smod_ModelOrtho(smod_Model* model, const char* imagePath, const char* outputPath,
                                  const char* const* options, smod_ProgressFunc progress,
                                  void* progressArg, ErrorReport** err);

/* Fits an RPC (GDAL's RPC model, as RPC00B: line and sample each a ratio of cubic polynomials
 * in normalised longitude, latitude and height) to model over its image domain and its ground
 * domain's heights, and writes it to path, under a temporary name renamed when complete, in a
 * form GDAL reads. The fit is terrain-independent: a grid of image points carried to the ground
 * at layers of heights, a least squares fit of the coefficients (the denominators' constants
 * 1). Image coordinates in the RPC are GDAL's: GDAL's RPC transformer gives the model's
 * pixel/line. options: null, or a null-terminated list of "KEY=VALUE" texts: "FORMAT" (RPB:
 * the sidecar IMAGE.RPB; RPCTXT: the sidecar IMAGE_rpc.txt; GTIFF: a GeoTIFF copy of IMAGE
 * with the RPC; NITF: a NITF copy of IMAGE with an RPC00B record; default from path's name:
 * .RPB, _rpc.txt, .tif or .tiff, .ntf or .nitf), "IMAGE" (the raster GTIFF and NITF copy, its
 * own geotransform, GCPs and coordinate system left out), "DEGREE" (1, 2 or 3; default 3:
 * terms of a higher degree are zero), "GRID" (fitting points per image side, from DEGREE + 1
 * to 200; default 20), "HEIGHTS" (height layers, from DEGREE + 1 to 50; default 7),
 * "MAX_RESIDUAL" (pixels: an RPC whose largest residual exceeds it is refused). The residual
 * of the RPC as GDAL reads it back from the file written is measured against the model's ground
 * to image on a grid of 2 GRID x 2 GRID image points at 2 HEIGHTS heights; *residualMean and
 * *residualMax (either may be null) receive its mean and largest distance in pixels. ERR_BIAS
 * and ERR_RAND (metres, root mean square per horizontal axis at the image centre) are the
 * model's bias from its parameters' covariance and its unmodelled error (-1 for what it does
 * not state), ERR_RAND with the fit's RMS (at the ground sample distance of the image centre)
 * added in quadrature. progress (may be null) follows the copy of IMAGE, and
 * stops it when it returns 0. Returns a JSON object describing what was written
 * ("output", "format", "fit_points", "check_points", "residual_mean_px", "residual_max_px",
 * "residual_rms_px", "err_bias_m", "err_rand_m", "warnings", ...), to release with smod_Free,
 * or null with a report (a bad option, a model without a geographic ground domain, an RPC
 * worse than MAX_RESIDUAL, an output that cannot be written or is one of the inputs); nothing
 * is then left under path. */
SMOD_IO_API char* smod_ModelExportRPC(smod_Model* model, const char* path,
                                      const char* const* options, smod_ProgressFunc progress,
                                      void* progressArg, double* residualMean,
                                      double* residualMax, ErrorReport** err);

/* A GDAL transformer (for GDALWarp, GDALSuggestedWarpOutput2, GDALCreateWarpedVRT) between the
 * image's GDAL pixel/line and dstSRS coordinates (anything OSR reads; null for WGS 84 longitude
 * and latitude), or, when dstGeoTransform (6 reals) is given, pixel/line of that grid. Forward
 * (dstToSrc 0) image to ground on the model's heights; backward ground to image. A point is a
 * success only when its status would be SMOD_POINT_OK or SMOD_POINT_OFF_DEM and, backward, when
 * its image position carries back to it within the ground size of a pixel: outside its domain
 * a polynomial folds back into the image, and the warper would fill such cells with copies of
 * it. The transformer
 * borrows model, which must outlive it; GDAL may clone it for its threads. Returns it, or null
 * with a report. Release with smod_ModelDestroyGDALTransformer (or GDALDestroyTransformer). */
SMOD_IO_API void* smod_ModelCreateGDALTransformer(smod_Model* model, const char* dstSRS,
                                                  const double* dstGeoTransform,
                                                  ErrorReport** err);

/* The transformer's function, a GDALTransformerFunc: transforms n points of x, y (z receives the
 * ground heights of image to ground, and may be null) in place and sets success[i]. Returns 1,
 * or 0 when the call failed as a whole (every success 0). */
SMOD_IO_API int smod_ModelGDALTransform(void* arg, int dstToSrc, int n, double* x, double* y,
                                        double* z, int* success);

/* Releases a transformer. Accepts null. */
SMOD_IO_API void smod_ModelDestroyGDALTransformer(void* arg);

/* The messages of report and of the reports it took over, joined by ": " (release with
 * smod_Free); null for a null report or an exhausted heap. report stays the caller's. */
SMOD_IO_API char* smod_ErrorText(const ErrorReport* report);

/* Releases what a call of this library handed out. Accepts null. */
SMOD_IO_API void smod_Free(void* block);

/* The version of the loaded library ("1.0.0"), which may differ from SENMOD_VERSION in
 * senmod/version.h of the headers a program was built with. */
SMOD_IO_API const char* smod_VersionString(void);

#ifdef __cplusplus
}
#endif

#endif /* SENMOD_SENMOD_IO_H */
