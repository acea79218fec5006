// Records and designs shared by the persistent-design tests: one record that uses every item
// code, the fixture that proves no block is left behind, and small helpers.
#ifndef TESTS_HOST_MIF_TESTING_H
#define TESTS_HOST_MIF_TESTING_H

#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "hostcore.h"
#include "support/heap_check.h"

namespace mif_test {

struct Leaf {
  int32_t id;
  double weight;
};

// Ends on a 32-bit field, so it carries 4 bytes of end padding when embedded.
struct Point {
  double xyz[3];
  int32_t tag;
};

struct Leaves {
  int32_t count;
  Leaf* data;
};
struct Ints {
  int32_t count;
  int32_t* data;
};
struct Doubles {
  int32_t count;
  double* data;
};

struct Everything {
  int32_t mode;  // enumeration "OFF", "ON", "AUTO"
  int32_t number;
  double value;
  double fixed[3];
  Point embedded;
  Leaves leaves;  // records of the design named "Leaf"
  Hmif_Bytes bytes;
  Hmif_String text;
  Ints ints;
  Doubles doubles;
  Leaf* optional;
  int32_t last;
};

// "Leaf", "Point" and "Everything" in dictionary; returns "Everything".
inline HmifDesign* MakeDesigns(HmifDictionary* dictionary) {
  HmifDesign* leaf =
      hmif_DesignCreate(dictionary, "Leaf", nullptr, HMIF_INT32, "id", HMIF_FLOAT64, "weight", 0);
  HmifDesign* point = hmif_DesignCreate(dictionary, "Point", nullptr, HMIF_FLOAT64_ARRAY, "xyz", 3,
                                        HMIF_INT32, "tag", 0);
  return hmif_DesignCreate(
      dictionary, "Everything", nullptr, HMIF_ENUM, "mode", "OFF", "ON", "AUTO", nullptr,
      HMIF_INT32, "number", HMIF_FLOAT64, "value", HMIF_FLOAT64_ARRAY, "fixed", 3, HMIF_RECORD,
      "embedded", point, HMIF_COUNTED_RECORDS, "leaves", "Leaf", HMIF_COUNTED_BYTES, "bytes",
      HMIF_COUNTED_TEXT, "text", HMIF_COUNTED_INT32, "ints", HMIF_COUNTED_FLOAT64, "doubles",
      HMIF_RECORD_POINTER, "optional", leaf, HMIF_INT32, "last", 0);
}

template <class T>
T* HeapArray(std::initializer_list<T> values) {
  T* block = static_cast<T*>(hmsc_HeapMalloc(sizeof(T) * values.size()));
  std::copy(values.begin(), values.end(), block);
  return block;
}

// A record on the host heap with every member filled; free with hmif_ObjectFree.
inline Everything* MakeFull() {
  Everything* e = static_cast<Everything*>(hmsc_HeapMalloc(sizeof(Everything)));
  memset(e, 0, sizeof *e);
  e->mode = 2;
  e->number = -7;
  e->value = -0.125;
  e->fixed[0] = 1e300;
  e->fixed[1] = -2.5;
  e->fixed[2] = 3.0;
  e->embedded = Point{{4.5, 5.5, 6.5}, 42};
  e->leaves = Leaves{2, HeapArray<Leaf>({{1, 0.5}, {2, 1e-300}})};
  e->bytes = Hmif_Bytes{4, HeapArray<unsigned char>({0, 255, 10, 13})};
  e->text = Hmif_String{6, HeapArray<char>({'m', 'e', 't', 'r', 'e', '\0'})};
  e->ints = Ints{3, HeapArray<int32_t>({INT32_MIN, 0, INT32_MAX})};
  e->doubles = Doubles{1, HeapArray<double>({-1.0 / 3.0})};
  e->optional = HeapArray<Leaf>({{9, 99.0}});
  e->last = 123456;
  return e;
}

// Field-by-field equality of two records, members compared by content.
inline void ExpectSame(const Everything& a, const Everything& b) {
  EXPECT_EQ(a.mode, b.mode);
  EXPECT_EQ(a.number, b.number);
  EXPECT_EQ(memcmp(&a.value, &b.value, 8), 0);
  EXPECT_EQ(memcmp(a.fixed, b.fixed, sizeof a.fixed), 0);
  EXPECT_EQ(memcmp(a.embedded.xyz, b.embedded.xyz, sizeof a.embedded.xyz), 0);
  EXPECT_EQ(a.embedded.tag, b.embedded.tag);
  ASSERT_EQ(a.leaves.count, b.leaves.count);
  for (int i = 0; i < a.leaves.count; ++i) {
    EXPECT_EQ(a.leaves.data[i].id, b.leaves.data[i].id);
    EXPECT_EQ(a.leaves.data[i].weight, b.leaves.data[i].weight);
  }
  ASSERT_EQ(a.bytes.count, b.bytes.count);
  if (a.bytes.count) {
    EXPECT_EQ(memcmp(a.bytes.data, b.bytes.data, size_t(a.bytes.count)), 0);
  }
  ASSERT_EQ(a.text.count, b.text.count);
  if (a.text.count) {
    EXPECT_STREQ(a.text.data, b.text.data);
  }
  ASSERT_EQ(a.ints.count, b.ints.count);
  for (int i = 0; i < a.ints.count; ++i) EXPECT_EQ(a.ints.data[i], b.ints.data[i]);
  ASSERT_EQ(a.doubles.count, b.doubles.count);
  for (int i = 0; i < a.doubles.count; ++i) EXPECT_EQ(a.doubles.data[i], b.doubles.data[i]);
  ASSERT_EQ(a.optional == nullptr, b.optional == nullptr);
  if (a.optional) {
    EXPECT_EQ(a.optional->id, b.optional->id);
    EXPECT_EQ(a.optional->weight, b.optional->weight);
  }
  EXPECT_EQ(a.last, b.last);
}

// The persistent bytes of record.
inline std::vector<unsigned char> Encode(const void* record, const HmifDesign* design) {
  int64_t size = hmif_ObjectSize(record, design, nullptr);
  EXPECT_GE(size, 0);
  if (size < 0) return {};
  std::vector<unsigned char> bytes(size_t(size) + 1);
  EXPECT_EQ(hmif_ConvertToMIF(0, record, design, bytes.data(), nullptr), size);
  bytes.resize(size_t(size));
  return bytes;
}

inline std::string Message(const ErrorReport* report) { return herr_ErrorReportMessage(report); }

// Every test starts and ends with the same number of live heap blocks and no injected failure.
class MifTest : public HeapCheckedTest {
 protected:
  void TearDown() override {
    herr_DeleteErrorReportEx(&err_);
    HeapCheckedTest::TearDown();
  }
  // Takes the report in err_ (failing when there is none) and returns its message.
  std::string TakeReport() {
    EXPECT_NE(err_, nullptr) << "a report was expected";
    std::string message = err_ ? Message(err_) : "";
    herr_DeleteErrorReportEx(&err_);
    return message;
  }

  ErrorReport* err_ = nullptr;
};

}  // namespace mif_test

#endif
