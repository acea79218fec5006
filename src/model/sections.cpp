// Polynomial sections: creation with their defaults and release of what they own.
#include "model/sections.h"

#include "common/error_slot.h"

namespace senmod {

void initSection(RSMFunctions* section) {
  *section = RSMFunctions{};
  for (int m = 0; m < 5; ++m) {
    section->Scales[m] = 1.0;
    section->Offsets[m] = 0.0;
  }
  section->useNormalization = SMOD_FALSE;
  int32_t* powers[] = {&section->sampleNumeratorPowerX,   &section->sampleNumeratorPowerY,
                       &section->sampleNumeratorPowerZ,   &section->sampleDenominatorPowerX,
                       &section->sampleDenominatorPowerY, &section->sampleDenominatorPowerZ,
                       &section->rowNumeratorPowerX,      &section->rowNumeratorPowerY,
                       &section->rowNumeratorPowerZ,      &section->rowDenominatorPowerX,
                       &section->rowDenominatorPowerY,    &section->rowDenominatorPowerZ};
  for (int32_t* power : powers) *power = -1;
  section->validSolution = SMOD_FALSE;
  section->sameDenominators = SMOD_FALSE;
}

void freeDoubles(Smod_Doubles* array) {
  if (array->data) {
    hmsc_HeapFree(array->data);
    array->data = nullptr;
  }
}

}  // namespace senmod

extern "C" RSMFunctions* smod_RationalPolynomialsCreate(int count, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RationalPolynomialsCreate");
  if (count < 1) return nullptr;
  auto* sections = static_cast<RSMFunctions*>(
      hmsc_HeapMalloc(sizeof(RSMFunctions) * static_cast<size_t>(count)));
  if (!sections) {
    SMOD_FAIL(slot, "Couldn't allocate space.");
    return nullptr;
  }
  for (int i = 0; i < count; ++i) senmod::initSection(&sections[i]);
  return sections;
}

extern "C" void smod_RationalPolynomialsDataFree(RSMFunctions* section, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RationalPolynomialsDataFree");
  if (!section) return;
  senmod::freeDoubles(&section->sampleNumerator);
  senmod::freeDoubles(&section->sampleDenominator);
  senmod::freeDoubles(&section->rowNumerator);
  senmod::freeDoubles(&section->rowDenominator);
  senmod::freeDoubles(&section->imageToGroundPoly);
  senmod::freeDoubles(&section->validImageDomain);
}

extern "C" void smod_RationalPolynomialsFree(RSMFunctions* sections, int count, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RationalPolynomialsFree");
  if (!sections || count < 1) return;
  for (int i = 0; i < count; ++i) {
    ErrorReport* own = nullptr;
    smod_RationalPolynomialsDataFree(&sections[i], &own);
  }
  hmsc_HeapFree(sections);
}
