/* The public header is plain C: a C program creates and frees records through the shared
 * library alone. */
#include <stdio.h>

#include "senmod/senmod.h"

int main(void) {
  ErrorReport* err = NULL;
  RSM_Model* model = smod_RSMCreate(&err);
  RSMFunctions* sections = smod_RationalPolynomialsCreate(2, &err);
  if (model == NULL || sections == NULL || err != NULL) {
    fprintf(stderr, "creation failed\n");
    return 1;
  }
  model->rsm.RationalPolyList.count = 2;
  model->rsm.RationalPolyList.data = sections;
  if (!smod_RSMsAreSame(model, model) || model->rsm.demsource != HMOD_DEM_CONSTANT) {
    fprintf(stderr, "unexpected record\n");
    return 1;
  }
  smod_RSMDelete(model);
  return 0;
}
