// Scoped holders of host objects that must be released on every path out of a function.
#ifndef SENMOD_COMMON_SCOPED_H
#define SENMOD_COMMON_SCOPED_H

#include "hostcore.h"

namespace senmod {

// Holds one host value and releases it when it goes; specialised per host type below.
template <typename T>
class LegacyHelperTemplate {
 public:
  explicit LegacyHelperTemplate(T value = nullptr) : value_(value) {}
  virtual ~LegacyHelperTemplate();
  LegacyHelperTemplate(const LegacyHelperTemplate&) = delete;
  LegacyHelperTemplate& operator=(const LegacyHelperTemplate&) = delete;

  T get() const { return value_; }
  T* address() { return &value_; }
  // Gives the value up without releasing it.
  T release() {
    T value = value_;
    value_ = nullptr;
    return value;
  }
  // Releases the held value and takes a new one.
  void reset(T value = nullptr);

 private:
  T value_;
};

template <>
inline LegacyHelperTemplate<Hprj_Projection*>::~LegacyHelperTemplate() {
  hprj_ProjectionFree(&value_);
}
template <>
inline void LegacyHelperTemplate<Hprj_Projection*>::reset(Hprj_Projection* value) {
  hprj_ProjectionFree(&value_);
  value_ = value;
}

template <>
inline LegacyHelperTemplate<Hprj_ElevationInfo*>::~LegacyHelperTemplate() {
  hprj_ElevationInfoFree(&value_);
}
template <>
inline void LegacyHelperTemplate<Hprj_ElevationInfo*>::reset(Hprj_ElevationInfo* value) {
  hprj_ElevationInfoFree(&value_);
  value_ = value;
}

using ScopedProjection = LegacyHelperTemplate<Hprj_Projection*>;
using ScopedElevationInfo = LegacyHelperTemplate<Hprj_ElevationInfo*>;

// Owns one object and releases it with Release (which accepts null) unless it is handed out.
template <typename T, void (*Release)(T*)>
class Scoped {
 public:
  explicit Scoped(T* value = nullptr) : value_(value) {}
  ~Scoped() { Release(value_); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  T* get() const { return value_; }
  T* release() {
    T* value = value_;
    value_ = nullptr;
    return value;
  }
  // Releases the held object and takes a new one.
  void reset(T* value) {
    Release(value_);
    value_ = value;
  }

 private:
  T* value_;
};

// A design copy or a dictionary destroyed unless handed out.
using ScopedDesignCopy = Scoped<HmifDesign, hmif_DesignDestroy>;
using ScopedDictionary = Scoped<HmifDictionary, hmif_DictionaryDestroy>;

// A block of the host heap, freed when it goes.
template <typename T>
class HeapBlock {
 public:
  explicit HeapBlock(T* block = nullptr) : block_(block) {}
  ~HeapBlock() { hmsc_HeapFree(block_); }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  T* get() const { return block_; }
  T* release() {
    T* block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  T* block_;
};

}  // namespace senmod

#endif  // SENMOD_COMMON_SCOPED_H
