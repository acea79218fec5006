/* A program built against an installed senmod: it carries a point from the ground to the image
 * and back through a one-section model, then through a transform object, whose record layout
 * must be the one of the library it links (SENMOD_DEMLAYER comes with the DEM-layer build). */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "senmod/senmod.h"
#include "senmod/version.h"

static const double kDegree = 3.14159265358979323846 / 180;

static Smod_Doubles heapArray(const double* values, int32_t count) {
  Smod_Doubles array = {count, (double*)hmsc_HeapMalloc(sizeof(double) * (size_t)count)};
  if (array.data) memcpy(array.data, values, sizeof(double) * (size_t)count);
  return array;
}

static int failed(ErrorReport** err, const char* what) {
  if (*err == NULL) return 0;
  fprintf(stderr, "%s: %s\n", what, herr_ErrorReportMessage(*err));
  herr_DeleteErrorReportEx(err);
  return 1;
}

/* sample = 1e5 (lon - 10 deg), row = 1e5 (45 deg - lat), longitude and latitude in radians. */
static RSM_Model* buildModel(void) {
  ErrorReport* err = NULL;
  RSM_Model* model = smod_RSMCreate(&err);
  RSMFunctions* s = smod_RationalPolynomialsCreate(1, &err);
  if (model == NULL || s == NULL) return NULL;
  const double sampleTerms[] = {-1e5 * 10 * kDegree, 1e5};
  const double rowTerms[] = {1e5 * 45 * kDegree, -1e5};
  const double one[] = {1.0};
  s->sampleNumeratorPowerX = 1;
  s->sampleNumeratorPowerY = s->sampleNumeratorPowerZ = 0;
  s->sampleNumerator = heapArray(sampleTerms, 2);
  s->sampleDenominatorPowerX = s->sampleDenominatorPowerY = s->sampleDenominatorPowerZ = 0;
  s->sampleDenominator = heapArray(one, 1);
  s->rowNumeratorPowerX = s->rowNumeratorPowerZ = 0;
  s->rowNumeratorPowerY = 1;
  s->rowNumerator = heapArray(rowTerms, 2);
  s->sameDenominators = SMOD_TRUE;
  s->validSolution = SMOD_TRUE;
  model->rsm.RationalPolyList.count = 1;
  model->rsm.RationalPolyList.data = s;
  model->rsm.rowSections = model->rsm.colSections = 1;
  const double w = 9.9 * kDegree, e = 10.1 * kDegree, so = 44.9 * kDegree, n = 45.1 * kDegree;
  const double corners[] = {w, so, 0, e, so, 0, e, n, 0, w, n, 0};
  model->rsm.groundDomain = heapArray(corners, 12);
  return model;
}

int main(void) {
  ErrorReport* err = NULL;
  RSM_Model* model = buildModel();
  if (model == NULL) return 1;
  smod_image2groundCalc(model, &err);
  if (failed(&err, "smod_image2groundCalc")) return 1;

  const double lon = 10.05, lat = 44.97, height = 100.0;
  double sample = 0, row = 0, backLon = 0, backLat = 0;
  smod_RSMTransform(model, lon, lat, height, &sample, &row, &err);
  if (failed(&err, "ground to image")) return 1;
  model->rsm.groundToImageTransform = SMOD_FALSE;
  smod_RSMTransform(model, sample, row, height, &backLon, &backLat, &err);
  if (failed(&err, "image to ground")) return 1;
  model->rsm.groundToImageTransform = SMOD_TRUE;
  printf("senmod %s: %.6f %.6f -> %.3f %.3f -> %.6f %.6f\n", SENMOD_VERSION, lon, lat, sample,
         row, backLon, backLat);
  if (fabs(sample - 1e5 * 0.05 * kDegree) > 1e-6 || fabs(row - 1e5 * 0.03 * kDegree) > 1e-6 ||
      fabs(backLon - lon) > 1e-9 || fabs(backLat - lat) > 1e-9) {
    fprintf(stderr, "round trip off\n");
    return 1;
  }

  /* The object reads its record through the layout of this program's header. */
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, NULL);
  if (xform == NULL) return 1;
  double point[2] = {lon, lat};
  smod_RSMXformTransform(xform, 1, point, NULL, &err);
  if (failed(&err, "smod_RSMXformTransform")) return 1;
  if (xform->filled != 1 || xform->model != model || fabs(point[0] - sample) > 1e-6) {
    fprintf(stderr, "transform object layout differs from the library's\n");
    return 1;
  }
  smod_RSMXformDelete(xform);
  return 0;
}
