#include <cstdint>

#include "common/error_slot.h"
#include "common/scoped.h"
#include "persist/covariance_designs.h"
#include "senmod/senmod.h"

namespace senmod {

// The local coordinate system block, shared by the three designs.
#define SMOD_LOCAL_FRAME_ITEMS                                                               \
  HMIF_FLOAT64, "xuol", HMIF_FLOAT64, "yuol", HMIF_FLOAT64, "zuol",                          \
  HMIF_FLOAT64, "xuxl", HMIF_FLOAT64, "xuyl", HMIF_FLOAT64, "xuzl",                          \
  HMIF_FLOAT64, "yuxl", HMIF_FLOAT64, "yuyl", HMIF_FLOAT64, "yuzl",                          \
  HMIF_FLOAT64, "zuxl", HMIF_FLOAT64, "zuyl", HMIF_FLOAT64, "zuzl"

// The parameter index block, shared by the three designs.
#define SMOD_PARAMETER_INDEX_ITEMS                                                           \
  HMIF_INT32, "iro", HMIF_INT32, "irx", HMIF_INT32, "iry", HMIF_INT32, "irz",                \
  HMIF_INT32, "irxx", HMIF_INT32, "irxy", HMIF_INT32, "irxz", HMIF_INT32, "iryy",            \
  HMIF_INT32, "iryz", HMIF_INT32, "irzz",                                                    \
  HMIF_INT32, "ico", HMIF_INT32, "icx", HMIF_INT32, "icy", HMIF_INT32, "icz",                \
  HMIF_INT32, "icxx", HMIF_INT32, "icxy", HMIF_INT32, "icxz", HMIF_INT32, "icyy",            \
  HMIF_INT32, "icyz", HMIF_INT32, "iczz",                                                    \
  HMIF_INT32, "gxo", HMIF_INT32, "gyo", HMIF_INT32, "gzo",                                   \
  HMIF_INT32, "gxr", HMIF_INT32, "gyr", HMIF_INT32, "gzr", HMIF_INT32, "gs",                 \
  HMIF_INT32, "gxx", HMIF_INT32, "gxy", HMIF_INT32, "gxz",                                   \
  HMIF_INT32, "gyx", HMIF_INT32, "gyy", HMIF_INT32, "gyz",                                   \
  HMIF_INT32, "gzx", HMIF_INT32, "gzy", HMIF_INT32, "gzz"

HmifDesign* Smod_RSMAPA_DesignCreate(HmifDictionary* dictionary, ErrorReport** err) {
  return hmif_DesignCreate(dictionary, "Smod_RSMAPA", err,
                           HMIF_COUNTED_TEXT, "iid",
                           HMIF_COUNTED_TEXT, "edition",
                           HMIF_COUNTED_TEXT, "tid",
                           HMIF_INT32, "npar",
                           SMOD_LOCAL_FRAME_ITEMS,
                           SMOD_PARAMETER_INDEX_ITEMS,
                           HMIF_COUNTED_FLOAT64, "parval", 0);
}

HmifDesign* Smod_RSMDCA_DesignCreate(HmifDictionary* dictionary, ErrorReport** err) {
  return hmif_DesignCreate(dictionary, "Smod_RSMDCA", err,
                           HMIF_INT32, "npar",
                           HMIF_INT32, "nimge",
                           HMIF_INT32, "npart",
                           HMIF_COUNTED_TEXT, "iidi",
                           HMIF_COUNTED_INT32, "npari",
                           SMOD_LOCAL_FRAME_ITEMS,
                           SMOD_PARAMETER_INDEX_ITEMS,
                           HMIF_COUNTED_FLOAT64, "dercov", 0);
}

HmifDesign* Smod_RSMECA_DesignCreate(HmifDictionary* dictionary, ErrorReport** err) {
  return hmif_DesignCreate(dictionary, "Smod_RSMECA", err,
                           HMIF_COUNTED_TEXT, "inclic",
                           HMIF_COUNTED_TEXT, "incluc",
                           HMIF_INT32, "npar",
                           HMIF_INT32, "nparo",
                           HMIF_INT32, "ign",
                           HMIF_INT32, "cvdate",
                           SMOD_LOCAL_FRAME_ITEMS,
                           SMOD_PARAMETER_INDEX_ITEMS,
                           HMIF_INT32, "numopg",
                           HMIF_COUNTED_FLOAT64, "errcvg",
                           HMIF_INT32, "tcdf",
                           HMIF_INT32, "ncseg",
                           HMIF_COUNTED_FLOAT64, "corseg",
                           HMIF_COUNTED_FLOAT64, "tauseg",
                           HMIF_COUNTED_FLOAT64, "map",
                           HMIF_FLOAT64, "urr",
                           HMIF_FLOAT64, "urc",
                           HMIF_FLOAT64, "ucc",
                           HMIF_INT32, "uncsr",
                           HMIF_COUNTED_FLOAT64, "ucorsr",
                           HMIF_COUNTED_FLOAT64, "utausr",
                           HMIF_INT32, "uncsc",
                           HMIF_COUNTED_FLOAT64, "ucorsc",
                           HMIF_COUNTED_FLOAT64, "utausc", 0);
}

namespace {

using DesignMaker = HmifDesign* (*)(HmifDictionary* dictionary, ErrorReport** err);

// The one procedure of the three conversions: own dictionary and design, size, buffer, bytes.
void convertRecordToMif(const char* function, DesignMaker makeDesign, const void* record,
                        void** bytes, int32_t* byteCount, HmifDictionary** dictionaryOut,
                        ErrorReport** err) {
  ErrorSlot slot(err, function);
  if (!record || !bytes || !dictionaryOut) {
    SMOD_FAIL(slot, "NULL pointers!");
    return;
  }
  CalleeSlot host;
  ScopedDictionary dictionary;
  dictionary.reset(hmif_DictionaryCreate(host.get()));
  if (!dictionary.get()) {
    SMOD_FAIL(slot, "dictionary create failed", host.take());
    return;
  }
  HmifDesign* design = makeDesign(dictionary.get(), host.get());
  if (!design) {
    SMOD_FAIL(slot, "Error creating design", host.take());
    return;
  }
  if (!hmif_DictionaryAddDesign(dictionary.get(), design, host.get())) {
    SMOD_FAIL(slot, "dictionary add failed", host.take());
    return;
  }
  // The count goes out as 32 bits, so a larger form counts as not sized.
  int64_t size = hmif_ObjectSize(record, design, host.get());
  if (size < 0 || size > INT32_MAX) {
    SMOD_FAIL(slot, "hmif_ObjectSize failed", host.take());
    return;
  }
  HeapBlock<void> buffer(hmsc_HeapMalloc(static_cast<size_t>(size)));
  if (!buffer.get()) {
    SMOD_FAIL(slot, "No Memory in nitf_CreateMIFNode");
    return;
  }
  if (hmif_ConvertToMIF(0, record, design, buffer.get(), host.get()) != size) {
    SMOD_FAIL(slot, "Failing in converttomif", host.take());
    return;
  }
  *bytes = buffer.release();
  if (byteCount) *byteCount = static_cast<int32_t>(size);
  *dictionaryOut = dictionary.release();
}

}  // namespace
}  // namespace senmod

extern "C" SMOD_API void smod_RsmApaConvertToMIF(const Smod_RSMAPA* record, void** bytes,
                                                 int32_t* byteCount, HmifDictionary** dictionary,
                                                 ErrorReport** err) {
  senmod::convertRecordToMif("smod_RsmApaConvertToMIF", senmod::Smod_RSMAPA_DesignCreate, record,
                             bytes, byteCount, dictionary, err);
}

extern "C" SMOD_API void smod_RsmDcaConvertToMIF(const Smod_RSMDCA* record, void** bytes,
                                                 int32_t* byteCount, HmifDictionary** dictionary,
                                                 ErrorReport** err) {
  senmod::convertRecordToMif("smod_RsmDcaConvertToMIF", senmod::Smod_RSMDCA_DesignCreate, record,
                             bytes, byteCount, dictionary, err);
}

extern "C" SMOD_API void smod_RsmEcaConvertToMIF(const Smod_RSMECA* record, void** bytes,
                                                 int32_t* byteCount, HmifDictionary** dictionary,
                                                 ErrorReport** err) {
  senmod::convertRecordToMif("smod_RsmEcaConvertToMIF", senmod::Smod_RSMECA_DesignCreate, record,
                             bytes, byteCount, dictionary, err);
}
