/*
 * senmod: replacement sensor models for the host application.
 *
 * A model maps ground points to image (sample, row) positions through a grid of rational
 * polynomial sections, and image positions back to the ground at a given height. The records
 * below are filled by the host field by field: their layout is part of the interface.
 *
 * Two builds, two layouts. libsenmod and libsenmod_demlayer declare different RSM_Xform records
 * (and the DEM-layer build has no covariance records): code built against libsenmod_demlayer
 * must define SENMOD_DEMLAYER before including this header, and code built against libsenmod
 * must not. Nothing checks this at link or run time: a mismatch reads and writes the transform
 * object at the wrong offsets. The CMake target senmod::senmod_demlayer and the pkg-config
 * package senmod_demlayer define it for their users.
 *
 * Conventions of every call:
 * - Error slot (ErrorReport** err): cleared on entry. When it is null a local slot takes its
 *   place and the report made there is not passed out. A report passed out is the caller's:
 *   delete it with herr_DeleteErrorReportEx.
 * - Ownership: every block a record owns lives on the host heap (hmsc_HeapMalloc /
 *   hmsc_HeapFree); whoever creates a record owns it until it hands it to a transform object
 *   (smod_RSMXformGetFromRSMData), which then owns it. What a call hands out (a copy, a
 *   persistent object, bytes, a dictionary, a live projection, a text) is the caller's, to be
 *   freed as the call says; what it only reads stays its owner's. smod_RSMAPADelete is the one
 *   Delete that leaves the record block itself: free it afterwards with hmsc_HeapFree.
 *
 * Coordinates:
 * - Map coordinates (the x, y, z of smod_RSMTransform and the transform objects, and the
 *   geographic side of smod_RSMConvertGRNDD): longitude and latitude in degrees, height in
 *   metres above the ellipsoid; except for a rectangular ground domain without projection
 *   parameters (rsm.obsoletePlaceHolder0 null), whose map coordinates are Earth-centred X, Y, Z
 *   in metres.
 * - Ground-domain coordinates (what the polynomials, groundDomain and smod_RSMConvertGRNDD's
 *   other side use), by the kind that grndd's count selects: geodetic (any count but 1 and 12
 *   or more): longitude and latitude in radians, height in metres; geodetic hybrid (count 1):
 *   the same with longitude from 0 to 2 pi; rectangular (count 12 or more): x, y, z in metres
 *   in the frame whose Earth-centred origin and rotation grndd holds.
 * - Image coordinates: sample (column) and row in the model's own image coordinates. The
 *   library applies no pixel convention of its own: a position is in the convention the
 *   polynomials were fitted in (the records' own for RSM; for RPCs as the senmod command reads
 *   them, the centre of the first pixel is (0, 0)). Sections are chosen by
 *   trunc((row - imageDomain[2]) / rowsPerSection) and trunc((sample - imageDomain[0]) /
 *   colsPerSection), clamped to the grid.
 * - When useNormalization is SMOD_TRUE each coordinate c of a section is normalised as
 *   (c - Offsets[i]) / Scales[i] before its polynomials are evaluated; a section whose scale is
 *   0 or not finite, or whose offset is not finite, is then refused as a whole (reported as
 *   "Normalisation scale 3 (sample) is zero or not finite." or "Normalisation offset 0 (x) is
 *   not finite.", naming the first such index), by the one-point calls and the batches alike.
 *
 * Non-finite points: a one-point call (smod_RationalPolynomialsToFileXY, ...ToMapXY,
 * smod_RSMConvertGRNDD, smod_RSMTransform) given a coordinate that is NaN or infinite reports
 * "The point's coordinates are not finite numbers" and leaves its outputs untouched.
 * smod_RSMTransform passes each step's point to the next step's call, so that a ground-domain
 * point or an inverted point that is not finite fails the point too. A batch fails a point as
 * smod_RSMTransform does (smod_RSMXformTransform and ...3DTo2D stop there with its report,
 * smod_RSMXformTransformPoints marks it failed); the results of finite points do not change.
 *
 * Threads: the library starts none and has no state between calls but its cache of persistent
 * designs, which it guards itself, and each thread's plans of the last four sections that its
 * one-point calls used (about 180 KB, made at its first such call and released when the thread
 * ends; a plan serves only while every field and coefficient it was made from is unchanged, so
 * sections may be rewritten in place between calls). The evaluators
 * (smod_RationalPolynomialsToFileXY, ...ToMapXY, smod_RSMConvertGRNDD) may run on any threads at
 * once, and so may smod_RSMTransform on distinct models or on one model none of them writes.
 * Distinct transform objects may be used on any threads at once; one transform object (with its
 * model) must not be used by two threads at once: the elevation set-up writes into its model,
 * and smod_RSMXformImageToGroundRay switches the model's direction while it runs. A call keeps
 * its working state on the calling thread's stack (at most about 192 KiB) and allocates per
 * call, never per point.
 *
 * Numbers: the batch calls carry points through the widest vector instructions the processor
 * offers (chosen at the first call), and every point gets, bit for bit, what it gets alone
 * through smod_RSMTransform and the per-point evaluators, on any processor.
 */
#ifndef SENMOD_SENMOD_H
#define SENMOD_SENMOD_H

#include <stdint.h>

#include "hostcore.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SENMOD_BUILDING)
#define SMOD_API __attribute__((visibility("default")))
#else
#define SMOD_API
#endif

enum { SMOD_FALSE = 0, SMOD_TRUE = 1 };
enum { HMOD_DEM_FILE = 0, HMOD_DEM_CONSTANT = 1 };

/* Counted pointers: a 32-bit element count, then the elements on the host heap. Empty is count
 * 0 with a null pointer. A counted text (Hmif_String) counts its terminating zero. */
typedef struct Smod_Doubles {
  int32_t count;
  double* data;
} Smod_Doubles;

typedef struct Smod_Ints {
  int32_t count;
  int32_t* data;
} Smod_Ints;

/* One rational-polynomial section: sample = sampleNumerator / sampleDenominator and
 * row = rowNumerator / rowDenominator, each a polynomial in ground x, y, z whose coefficient of
 * x^i y^j z^k is coef[i + (pX + 1) * (j + (pY + 1) * k)]. Powers run from -1 (empty polynomial)
 * to 5. Normalisation index: 0 x, 1 y, 2 z, 3 sample, 4 row. */
typedef struct RSMFunctions {
  double Scales[5];
  double Offsets[5];
  int32_t useNormalization;
  int32_t sampleNumeratorPowerX;
  int32_t sampleNumeratorPowerY;
  int32_t sampleNumeratorPowerZ;
  int32_t sampleDenominatorPowerX;
  int32_t sampleDenominatorPowerY;
  int32_t sampleDenominatorPowerZ;
  int32_t rowNumeratorPowerX;
  int32_t rowNumeratorPowerY;
  int32_t rowNumeratorPowerZ;
  int32_t rowDenominatorPowerX;
  int32_t rowDenominatorPowerY;
  int32_t rowDenominatorPowerZ;
  Smod_Doubles sampleNumerator;
  Smod_Doubles sampleDenominator;
  Smod_Doubles rowNumerator;
  Smod_Doubles rowDenominator;
  int32_t validSolution;    /* set last, once the polynomials are filled */
  int32_t sameDenominators; /* the row denominator is the sample denominator */
  Smod_Doubles imageToGroundPoly; /* order n, then (n+1)(n+2)/2 x and as many y coefficients */
  Smod_Doubles validImageDomain;
  int32_t rowSection;
  int32_t columnSection;
} RSMFunctions;

typedef struct Smod_Sections {
  int32_t count;
  RSMFunctions* data;
} Smod_Sections;

/* The sensor model proper. Affines are (a, b, c, d, e, f): (x, y) -> (ax + by + c, dx + ey + f). */
typedef struct RSM_Model_Orig {
  int32_t groundToImageTransform; /* SMOD_TRUE: ground to image; SMOD_FALSE: image to ground */
  int32_t demsource;              /* HMOD_DEM_FILE or HMOD_DEM_CONSTANT */
  Hmif_String demfilename;
  Hmif_String demzunits;
  double forSrcAffine[6]; /* image points before image to ground */
  double forDstAffine[6]; /* map points before ground to image */
  double invSrcAffine[6]; /* image points after ground to image */
  double invDstAffine[6]; /* map points after image to ground */
  double z_mean;          /* constant or mean height (m) */
  Smod_Sections RationalPolyList; /* rowSections x colSections sections, row by row */
  Smod_Doubles imageDomain;       /* [0] smallest sample, [2] smallest row */
  Smod_Doubles groundDomain;      /* vertices as (x, y, z) triples in ground-domain coordinates */
  Smod_Doubles groundToImagePoly; /* 20 values: sample then row terms 1 x y z xx xy xz yy yz zz */
  Smod_Doubles adjustableParms;
  /* count 12+: rectangular (origin, rotation row by row); 1: hybrid; else geodetic */
  Smod_Doubles grndd;
  double rowsPerSection;
  double colsPerSection;
  int32_t rowSections;
  int32_t colSections;
  Hprj_ProParameters* obsoletePlaceHolder0; /* output projection parameters, owned; never stored */
} RSM_Model_Orig;

/* The model record: the model and its output coordinate system in persistent form. */
typedef struct RSM_Model {
  RSM_Model_Orig rsm;
  Hmif_MIFObject outputProjection;
  Hmif_String outputHorizontalUnits;
  Hmif_MIFObject outputElevationInfo;
} RSM_Model;

#ifndef SENMOD_DEMLAYER
/* A model wrapped for transforming points; owns its model, projection and elevation source. */
typedef struct RSM_Xform {
  RSM_Model* model;
  struct Hprj_Projection* projection;
  int32_t filled;
  struct HmodElevationSource* elevationSource;
} RSM_Xform;
#else
/* The DEM-layer build's transform object: reads heights from the DEM file's first layer. */
typedef struct RSM_Xform {
  RSM_Model* model;
  struct Hprj_Projection* projection;
  struct HxfrXForm* mapToLayer;
  struct HimgLayer* layer;
  int32_t heightTermCount;
  double* heightTerms;
  int32_t filled;
  double demNullValue;
} RSM_Xform;
#endif

#ifndef SENMOD_DEMLAYER
/* Local coordinate system block and parameter index block shared by the covariance records
 * are spelled out in each record so that its fields follow its persistent design item by item. */
#define SMOD_LOCAL_FRAME_FIELDS                                                              \
  double xuol, yuol, zuol;                                                                   \
  double xuxl, xuyl, xuzl;                                                                   \
  double yuxl, yuyl, yuzl;                                                                   \
  double zuxl, zuyl, zuzl;
#define SMOD_PARAMETER_INDEX_FIELDS                                                          \
  int32_t iro, irx, iry, irz, irxx, irxy, irxz, iryy, iryz, irzz;                            \
  int32_t ico, icx, icy, icz, icxx, icxy, icxz, icyy, icyz, iczz;                            \
  int32_t gxo, gyo, gzo, gxr, gyr, gzr, gs;                                                  \
  int32_t gxx, gxy, gxz, gyx, gyy, gyz, gzx, gzy, gzz;

/* Adjustable parameters (RSMAPA). */
typedef struct Smod_RSMAPA {
  Hmif_String iid;
  Hmif_String edition;
  Hmif_String tid;
  int32_t npar;
  SMOD_LOCAL_FRAME_FIELDS
  SMOD_PARAMETER_INDEX_FIELDS
  Smod_Doubles parval;
} Smod_RSMAPA;

/* Direct error covariance (RSMDCA). */
typedef struct Smod_RSMDCA {
  int32_t npar;
  int32_t nimge;
  int32_t npart;
  Hmif_String iidi;
  Smod_Ints npari;
  SMOD_LOCAL_FRAME_FIELDS
  SMOD_PARAMETER_INDEX_FIELDS
  Smod_Doubles dercov;
} Smod_RSMDCA;

/* Indirect error covariance (RSMECA), with one parameter group. */
typedef struct Smod_RSMECA {
  Hmif_String inclic;
  Hmif_String incluc;
  int32_t npar;
  int32_t nparo;
  int32_t ign;
  int32_t cvdate;
  SMOD_LOCAL_FRAME_FIELDS
  SMOD_PARAMETER_INDEX_FIELDS
  int32_t numopg;
  Smod_Doubles errcvg;
  int32_t tcdf;
  int32_t ncseg;
  Smod_Doubles corseg;
  Smod_Doubles tauseg;
  Smod_Doubles map;
  double urr;
  double urc;
  double ucc;
  int32_t uncsr;
  Smod_Doubles ucorsr;
  Smod_Doubles utausr;
  int32_t uncsc;
  Smod_Doubles ucorsc;
  Smod_Doubles utausc;
} Smod_RSMECA;
#endif /* SENMOD_DEMLAYER */

/* ================================================================ model records */

/* A new array of count sections with their defaults (Scales 1, Offsets 0, powers -1, flags
 * FALSE, arrays empty). Null for count below 1, and null with "Couldn't allocate space." when
 * the heap is exhausted. Free with smod_RationalPolynomialsFree (or through smod_RSMDelete once
 * stored in a model). */
SMOD_API RSMFunctions* smod_RationalPolynomialsCreate(int count, ErrorReport** err);

/* Releases the six arrays of section (coefficients, imageToGroundPoly, validImageDomain) and
 * nulls their pointers; counts and the section itself stay. Accepts null. Never reports. */
SMOD_API void smod_RationalPolynomialsDataFree(RSMFunctions* section, ErrorReport** err);

/* Releases the arrays of each of the count sections, then the array. Does nothing for null or a
 * count below 1. Never reports. */
SMOD_API void smod_RationalPolynomialsFree(RSMFunctions* sections, int count, ErrorReport** err);

/* A new model record with its defaults (ground to image, constant height 0, identity affines,
 * everything else empty). err may be null; null without a report when the heap is exhausted.
 * Free with smod_RSMDelete. */
SMOD_API RSM_Model* smod_RSMCreate(ErrorReport** err);

/* Releases the model record with everything it owns. Accepts null. */
SMOD_API void smod_RSMDelete(RSM_Model* model);

#ifndef SENMOD_DEMLAYER
/* New zeroed covariance records; err is required and only cleared. Null when the heap is
 * exhausted. smod_RSMDCACreate and smod_RSMAPACreate are one operation: its record serves as
 * either. */
SMOD_API Smod_RSMECA* smod_RSMECACreate(ErrorReport** err);
SMOD_API Smod_RSMDCA* smod_RSMDCACreate(ErrorReport** err);
SMOD_API Smod_RSMAPA* smod_RSMAPACreate(ErrorReport** err);

/* Release the owned arrays and texts, then the record. Accept null. */
SMOD_API void smod_RSMECADelete(Smod_RSMECA* record);
SMOD_API void smod_RSMDCADelete(Smod_RSMDCA* record);
/* Releases iid, edition, tid and parval and nulls them; the record itself stays allocated:
 * the caller frees it with hmsc_HeapFree (after this call, never instead of it). */
SMOD_API void smod_RSMAPADelete(Smod_RSMAPA* record);
#endif

/* An independent deep copy of model (required), or null: failures are printed and deleted,
 * never passed out. Free the copy with smod_RSMDelete. */
SMOD_API RSM_Model* smod_RSMCopy(const RSM_Model* model, ErrorReport** err);

/* 1 when the two records describe the same model (doubles within 1e-10), else 0. Equal
 * pointers (both null included) are the same; null against a record differs. */
SMOD_API int32_t smod_RSMsAreSame(const RSM_Model* first, const RSM_Model* second);

/* ================================================================ evaluation */

/* Maps ground point (x, y, z) in ground-domain coordinates to (sample, row) with one section.
 * Reports "Rational polynomials not available." (null section or validSolution FALSE),
 * "Polynomial power out of range." (a power outside -1..5), "Coefficient count does not fit
 * the powers." (an array it reads is null or holds fewer than (pX+1)(pY+1)(pZ+1) values), a
 * normalisation scale or offset it cannot use (see Coordinates), "The point's coordinates are
 * not finite numbers" or "Invalid denominator." (a denominator exactly 0); the outputs are then
 * unspecified. */
SMOD_API void smod_RationalPolynomialsToFileXY(const RSMFunctions* section, double x, double y,
                                               double z, double* sample, double* row,
                                               ErrorReport** err);

/* Inverts one section: the ground-domain (x, y) at ground-domain height z that maps to
 * (sample, row). Newton passes start from the section's imageToGroundPoly (from ground (0, 0)
 * when it is empty) and stop once both corrections are at most 1e-8 (in normalised units when the
 * section normalises, else in ground-domain units), or after five passes: the estimate then
 * stands and non-convergence is not reported (check by evaluating the result forward when it
 * matters). Reports as smod_RationalPolynomialsToFileXY, and "Starting polynomial does not fit
 * its order." when imageToGroundPoly's order is not a whole number 0..10 or it lacks
 * coefficients; on failure the outputs are untouched. */
SMOD_API void smod_RationalPolynomialsToMapXY(const RSMFunctions* section, double sample,
                                              double row, double z, double* x, double* y,
                                              ErrorReport** err);

#ifndef SENMOD_DEMLAYER
/* Converts a point between map coordinates and the model's ground domain: toGroundDomain
 * non-zero takes (longitude deg, latitude deg, height) to ground-domain (x, y, z), 0 the
 * reverse. The outputs may alias the variables that supplied the inputs; they must be distinct.
 * Reports "Replacement sensor model not available" (null model), "The point's coordinates are
 * not finite numbers", for a rectangular domain whose grndd has no values "Rectangular ground
 * domain's origin and rotation not available", and a failed Earth-centred conversion
 * (projection parameters with a bad spheroid: "hmod_GeographicToGeocentric failed" or
 * "hmod_GeocentricToGeographic failed"), leaving the outputs untouched. */
SMOD_API void smod_RSMConvertGRNDD(const RSM_Model* model, int toGroundDomain, double x,
                                   double y, double z, double* outX, double* outY, double* outZ,
                                   ErrorReport** err);
#endif

/* Transforms one point in the model's own direction: ground to image (x, y map, z height ->
 * sample, row) or image to ground (sample, row at map height z -> map x, y). From image to
 * ground on a rectangular domain with projection parameters the ground-domain height that
 * belongs to map height z is refined: at most five passes, until it changes by 0.01 m or less
 * (not reported when it does not). Reports
 * "Replacement sensor model not available" (null model, no sections or a null section list),
 * "Rectangular ground domain's origin and rotation not available" (grndd counts 12 or more
 * values without holding them), for a model of several sections "Section grid does not fit the
 * section list", "Image domain not available" (fewer than 3 values or none held) or, from ground
 * to image, "Low-order polynomial not available" (groundToImagePoly counts values without
 * holding them), "The point's coordinates are not finite numbers", and "RationalPolynomial
 * coordinate conversion failed" with the failing step's report (a section's refusal, a ground-
 * domain or inverted point that is not finite); outputs are then unspecified. */
SMOD_API void smod_RSMTransform(const RSM_Model* model, double x, double y, double z,
                                double* outX, double* outY, ErrorReport** err);

/* Fits every section's starting polynomial for image to ground from the ground-domain corners
 * (corners whose image position cannot be evaluated are left out of the fit). Reports
 * "Replacement sensor model not available", "Grounddomain information not available" (fewer
 * than 3 values or none held), for a model of several sections "Low-order polynomial not
 * available" (groundToImagePoly counts values without holding them), "No ground-domain corner
 * maps to the image" or "No memory for the starting polynomial", and then changes nothing. */
SMOD_API void smod_image2groundCalc(RSM_Model* model, ErrorReport** err);

/* ================================================================ transform objects */

/* A new empty transform object; err is required and only cleared; null when the heap is
 * exhausted. Free with smod_RSMXformDelete. */
SMOD_API RSM_Xform* smod_RSMXformCreate(ErrorReport** err);

/* A new transform object that takes ownership of model, or null (failures are printed and
 * deleted; the model then stays the caller's). */
SMOD_API RSM_Xform* smod_RSMXformGetFromRSMData(RSM_Model* model, ErrorReport** err);

/* Releases the object with its model, projection and elevation source. Accepts null. */
SMOD_API void smod_RSMXformDelete(RSM_Xform* xform);

/* One-time elevation set-up: makes the projection and the elevation source and takes the DEM's
 * mean height into z_mean. The DEM is read at the ground points' longitude and latitude in
 * degrees (on the datum of the model's projection parameters, WGS 84 without them) whatever
 * the output projection, which describes the host's map and not these points. It also
 * prints the user warning and switches the model to its constant height when the DEM file is
 * missing. A DEM file that exists but cannot be read (with the host's reason), or has no
 * valid cell, is warned about the same way; the object then has no elevation source and
 * transforms use z_mean. The DEM-layer build opens the file's first layer instead and fails
 * (object left unfilled) when the file cannot be read; a layer without a valid cell leaves
 * z_mean as it is and every point takes it. Reports are printed and deleted; success shows as
 * xform->filled = 1. Does nothing on a filled object. */
SMOD_API void smod_RSMXformFillNoMIFData(RSM_Xform* xform, ErrorReport** err);

/* Transforms n 2-D points (x, y pairs) in the model's direction with heights from the set-up
 * (run first when the object is unfilled): each point's DEM height from ground to image, the
 * height iteration against the DEM from image to ground (at most 10 passes, until the height
 * changes by 1 m or less; after the tenth the last point stands, not reported), z_mean for a
 * constant-height model. Each point goes through the affine before the model and the one after
 * it (forDst/invSrc from ground to image, forSrc/invDst from image to ground). out may be
 * null (or in) to write over in. n <= 0 transforms nothing. Reports "Invalid input RSM xform
 * data." for a null object or model or null arrays. A failing point (one smod_RSMTransform
 * fails on, a coordinate that is not finite included) stops the batch with "smod_RSMTransform
 * failed" and that point's report of smod_RSMTransform, as smod_RSMXformTransform3DTo2D does
 * (wrapped in "transformToMapWithDem failed" from image to ground on a DEM): earlier outputs
 * are written, its own and later ones are not. */
SMOD_API void smod_RSMXformTransform(RSM_Xform* xform, int32_t n, double* in, double* out,
                                     ErrorReport** err);

/* Transforms n 3-D points (x, y, z triples of in) in the model's direction at their own heights
 * into n 2-D points of out, through the affines as smod_RSMXformTransform does; no set-up runs.
 * out may be in. Reports "Invalid input RSM xform data." as smod_RSMXformTransform does, and
 * for a failing point "smod_RSMTransform failed" with that point's report of
 * smod_RSMTransform; the batch then stops: earlier outputs are written, its own and later ones
 * are not. */
SMOD_API void smod_RSMXformTransform3DTo2D(RSM_Xform* xform, int32_t n, const double* in,
                                           double* out, ErrorReport** err);

/* Transforms n points (x[i], y[i]) in the model's direction without stopping at a failing one,
 * through the affines as smod_RSMXformTransform does. Heights: z[i] when z is given (no set-up
 * runs, as in smod_RSMXformTransform3DTo2D); else those of the set-up (run first when the object
 * is unfilled), as smod_RSMXformTransform takes them, except that from image to ground on a DEM
 * the iteration's point is computed once more at the DEM height read there, so that map point
 * and height handed back belong to each other (the point maps back to its image point at that
 * height). Outputs per point: (outX[i], outY[i]),
 * height[i] the height (m) it was computed at (height may be null), residual[i] from image to
 * ground the distance in pixels by which the result misses its image point when carried back
 * through the section that inverted it, NaN from ground to image (residual may be null), and
 * ok[i] 1 or 0. A failed point (a coordinate that is not finite, the model refuses it or its
 * result is not finite) has NaN outputs. Returns the number of points with ok[i] = 1, or -1
 * with a report when the call itself fails: "Invalid input RSM xform data." for a null object
 * or model, n < 0 or a null array that n > 0 needs; the set-up's failure; a model that
 * smod_RSMTransform refuses whatever the point (its message: no sections, a grid or an array of
 * the model that does not fit); "No memory"; a DEM read that fails. After -1 no output is
 * meaningful. */
SMOD_API int32_t smod_RSMXformTransformPoints(RSM_Xform* xform, int32_t n, const double* x,
                                             const double* y, const double* z, double* outX,
                                             double* outY, double* height, double* residual,
                                             uint8_t* ok, ErrorReport** err);

/* For each image point (x[i], y[i]) the ray (X1, Y1, z_mean - 50, X2, Y2, z_mean + 50) of its
 * ground points (map coordinates; heights in metres), whatever the model's direction, which it
 * switches for its duration. rays holds 6 n reals. */
SMOD_API void smod_RSMXformImageToGroundRay(RSM_Xform* xform, int32_t n, const double* x,
                                            const double* y, double* rays, ErrorReport** err);

/* ================================================================ persistence */

/* Registers the "RSMFunctions" design in the caller's dictionary. Returns what
 * hmif_DictionaryAddDesign returns, or null when the design cannot be obtained. */
SMOD_API HmifDesign* smod_RationalPolynomialsDesignDefine(HmifDictionary* dictionary,
                                                          ErrorReport** err);

/* The model of xform as a persistent object laid out by "RSM_Model" (*object, free with
 * hmif_ObjectFree) and a copy of that design (*design, destroy with hmif_DesignDestroy). Both
 * outputs are required ("Args"); after a failure they are null. A null xform or one without a
 * model reports "Invalid input RSM xform data."; an array of the model that counts values
 * without holding them, "hmif_ObjectCopy failed". The stored output projection is made
 * afresh from the model's projection parameters; without parameters the model's stored form is
 * kept when it is well formed (a projection made from a WKT or EPSG definition), else dropped. */
SMOD_API void smod_RSMXformConvertToMIFable(RSM_Xform* xform, void** object, HmifDesign** design,
                                            ErrorReport** err);

/* A new transform object from a persistent object and its design (both only read), or null.
 * A null object gives null without a report; a null design reports "NULL xFormDesign"; a
 * design that is not the "RSM_Model" layout is refused before the object is read. */
SMOD_API RSM_Xform* smod_RSMXformConvertFromMIFable(const void* object, const HmifDesign* design,
                                                    ErrorReport** err);

/* A new transform object holding a deep copy of xform's model, or null: failures (a null xform
 * or one without a model included) are printed and deleted, never passed out. */
SMOD_API RSM_Xform* smod_RSMXformCopy(const RSM_Xform* xform, ErrorReport** err);

#ifndef SENMOD_DEMLAYER
/* The record's persistent bytes (*bytes, free with hmsc_HeapFree), their number (*byteCount,
 * optional) and a new dictionary holding the record's design (*dictionary, destroy with
 * hmif_DictionaryDestroy). record, bytes and dictionary are required ("NULL pointers!").
 * Outputs are written only on success. */
SMOD_API void smod_RsmApaConvertToMIF(const Smod_RSMAPA* record, void** bytes, int32_t* byteCount,
                                      HmifDictionary** dictionary, ErrorReport** err);
SMOD_API void smod_RsmDcaConvertToMIF(const Smod_RSMDCA* record, void** bytes, int32_t* byteCount,
                                      HmifDictionary** dictionary, ErrorReport** err);
SMOD_API void smod_RsmEcaConvertToMIF(const Smod_RSMECA* record, void** bytes, int32_t* byteCount,
                                      HmifDictionary** dictionary, ErrorReport** err);
#endif

/* ================================================================ coordinate systems */

/* Stores copies of the output projection (null clears it), horizontal units name and elevation
 * info in model; all or nothing: after a failure the record is as it was. */
SMOD_API void smod_RSMCoordinateSystemSet(RSM_Model* model, const Hprj_Projection* projection,
                                          const char* horizontalUnits,
                                          const Hprj_ElevationInfo* elevationInfo,
                                          ErrorReport** err);

/* New live objects from what model stores: projection (free with hprj_ProjectionFree), units
 * (hmsc_HeapFree) and elevation info (hprj_ElevationInfoFree); each null when nothing is
 * stored. The projection comes from the live parameters when the record has them, else from
 * the persistent form. Stored texts not terminated within their counts are reported, not read.
 * On failure the three outputs are untouched. */
SMOD_API void smod_RSMCoordinateSystemGet(const RSM_Model* model, Hprj_Projection** projection,
                                          char** horizontalUnits,
                                          Hprj_ElevationInfo** elevationInfo, ErrorReport** err);

/* The library's internal coordinate system: geographic WGS 84, units "degrees", heights in
 * meters. Three new objects for the caller, freed as for smod_RSMCoordinateSystemGet. */
SMOD_API void smod_InternalProjectionAndElevInfoGet(Hprj_Projection** projection,
                                                    char** horizontalUnits,
                                                    Hprj_ElevationInfo** elevationInfo,
                                                    ErrorReport** err);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* SENMOD_SENMOD_H */
