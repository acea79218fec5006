// Polynomial sections: creation with their defaults and release of what they own.
#include "model/sections.h"

#include <cstring>

#include "common/error_slot.h"

namespace senmod {

void initSection(RSMFunctions* section) {
  // Offsets 0, flags FALSE, arrays empty and indices 0 are all-zero bytes.
  std::memset(section, 0, sizeof(RSMFunctions));
  for (double& scale : section->Scales) scale = 1.0;
  int32_t* powers[] = {
      &section->sampleNumeratorPowerX,   &section->sampleNumeratorPowerY,
      &section->sampleNumeratorPowerZ,   &section->sampleDenominatorPowerX,
      &section->sampleDenominatorPowerY, &section->sampleDenominatorPowerZ,
      &section->rowNumeratorPowerX,      &section->rowNumeratorPowerY,
      &section->rowNumeratorPowerZ,      &section->rowDenominatorPowerX,
      &section->rowDenominatorPowerY,    &section->rowDenominatorPowerZ};
  for (int32_t* power : powers) *power = -1;
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
