#include "common/error_slot.h"
#include "persist/designs.h"
#include "senmod/senmod.h"

using senmod::CalleeSlot;

extern "C" SMOD_API HmifDesign* smod_RationalPolynomialsDesignDefine(HmifDictionary* dictionary,
                                                                     ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RationalPolynomialsDesignDefine");
  CalleeSlot fetch;
  HmifDesign* design = senmod::RSMFunctions_Design(fetch.get());
  if (!design) {
    SMOD_FAIL(slot, "hmif_DesignFetch failed", fetch.take());
    return nullptr;
  }
  CalleeSlot host;
  HmifDesign* added = hmif_DictionaryAddDesign(dictionary, design, host.get());
  if (!added) SMOD_FAIL(slot, "hmif_DictionaryAddDesign failed", host.take());
  return added;
}
