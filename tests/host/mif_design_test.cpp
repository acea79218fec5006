// Designs and dictionaries: layout against the compiler, refused specifications, lookup and
// replacement, self-contained copies.
#include "mif_testing.h"

namespace mif_test {
namespace {

using DesignTest = MifTest;

struct Tail {
  int32_t a;
  double b;
  int32_t c;
};
struct Outer {
  int32_t first;
  Tail tail;  // embedded with its end padding
  int32_t after;
};

TEST_F(DesignTest, LayoutEqualsTheCompilersForEveryItemCode) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* everything = MakeDesigns(dictionary);
  ASSERT_NE(everything, nullptr);
  const size_t offsets[] = {
      offsetof(Everything, mode),    offsetof(Everything, number),   offsetof(Everything, value),
      offsetof(Everything, fixed),   offsetof(Everything, embedded), offsetof(Everything, leaves),
      offsetof(Everything, bytes),   offsetof(Everything, text),     offsetof(Everything, ints),
      offsetof(Everything, doubles), offsetof(Everything, optional), offsetof(Everything, last)};
  ASSERT_EQ(hmif_DesignItemCount(everything), 12);
  for (int32_t i = 0; i < 12; ++i) {
    EXPECT_EQ(hmif_DesignItemOffset(everything, i), int64_t(offsets[i])) << i;
  }
  EXPECT_EQ(hmif_DesignRecordSize(everything), int64_t(sizeof(Everything)));
  EXPECT_EQ(hmif_DesignItemCode(everything, 4), HMIF_RECORD);
  EXPECT_STREQ(hmif_DesignItemName(everything, 11), "last");
  EXPECT_EQ(hmif_DesignItemOffset(everything, 12), -1);
  EXPECT_EQ(hmif_DesignItemName(everything, -1), nullptr);

  HmifDesign* tail = hmif_DesignCreate(dictionary, "Tail", nullptr, HMIF_INT32, "a", HMIF_FLOAT64,
                                       "b", HMIF_INT32, "c", 0);
  HmifDesign* outer = hmif_DesignCreate(dictionary, "Outer", nullptr, HMIF_INT32, "first",
                                        HMIF_RECORD, "tail", tail, HMIF_INT32, "after", 0);
  EXPECT_EQ(hmif_DesignRecordSize(tail), int64_t(sizeof(Tail)));
  EXPECT_EQ(hmif_DesignItemOffset(outer, 2), int64_t(offsetof(Outer, after)));
  EXPECT_EQ(hmif_DesignRecordSize(outer), int64_t(sizeof(Outer)));

  HmifDesign* string =
      hmif_DesignCreate(dictionary, "Hmif_String", nullptr, HMIF_COUNTED_TEXT, "string", 0);
  HmifDesign* holder =
      hmif_DesignCreate(dictionary, "Hmif_MIFObject", nullptr, HMIF_RECORD, "type", string,
                        HMIF_COUNTED_TEXT, "MIFDictionary", HMIF_COUNTED_BYTES, "MIFObject", 0);
  EXPECT_EQ(hmif_DesignRecordSize(string), int64_t(sizeof(Hmif_String)));
  EXPECT_EQ(hmif_DesignRecordSize(holder), int64_t(sizeof(Hmif_MIFObject)));
  EXPECT_EQ(hmif_DesignItemOffset(holder, 2), int64_t(offsetof(Hmif_MIFObject, MIFObject)));
  hmif_DictionaryDestroy(dictionary);
}

TEST_F(DesignTest, BadSpecificationsAreRefusedAndLeaveTheDictionaryAlone) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, 99, "x", 0), nullptr);
  EXPECT_NE(TakeReport().find("unknown item code 99"), std::string::npos);
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, HMIF_INT32, "x", HMIF_FLOAT64, "x", 0),
            nullptr);
  EXPECT_NE(TakeReport().find("duplicate item name"), std::string::npos);
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, HMIF_RECORD, "r", nullptr, 0), nullptr);
  EXPECT_NE(TakeReport().find("null design"), std::string::npos);
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, HMIF_RECORD_POINTER, "p", nullptr, 0),
            nullptr);
  EXPECT_NE(TakeReport().find("null design"), std::string::npos);
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, HMIF_FLOAT64_ARRAY, "f", 0, 0), nullptr);
  TakeReport();
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, HMIF_ENUM, "e", nullptr, 0), nullptr);
  TakeReport();
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", &err_, 0), nullptr);
  TakeReport();
  EXPECT_EQ(hmif_DesignCreate(dictionary, "has space", &err_, HMIF_INT32, "x", 0), nullptr);
  TakeReport();
  EXPECT_EQ(hmif_DesignCreate(nullptr, "A", &err_, HMIF_INT32, "x", 0), nullptr);
  TakeReport();
  EXPECT_EQ(hmif_DictionaryFindDesign(dictionary, "A"), nullptr);
  // Without a slot the failure is only the null result.
  EXPECT_EQ(hmif_DesignCreate(dictionary, "A", nullptr, 99, "x", 0), nullptr);
  hmif_DictionaryDestroy(dictionary);
}

TEST_F(DesignTest, RegistrationReplacesByNameAndKeepsOldHandlesValid) {
  HmifDictionary* mine = hmif_DictionaryCreate(nullptr);
  HmifDictionary* other = hmif_DictionaryCreate(nullptr);
  HmifDesign* old = hmif_DesignCreate(mine, "Thing", nullptr, HMIF_INT32, "a", 0);
  HmifDesign* source = hmif_DesignCreate(other, "Thing", nullptr, HMIF_FLOAT64, "b", 0);
  HmifDesign* added = hmif_DictionaryAddDesign(mine, source, &err_);
  ASSERT_NE(added, nullptr);
  EXPECT_NE(added, source);
  EXPECT_EQ(hmif_DictionaryFindDesign(mine, "Thing"), added);
  EXPECT_EQ(hmif_DictionaryAddDesign(mine, added, nullptr), added);
  hmif_DictionaryDestroy(other);
  EXPECT_EQ(hmif_DesignRecordSize(added), 8);
  EXPECT_STREQ(hmif_DesignItemName(old, 0), "a");
  // A dictionary's design is not the caller's to destroy.
  hmif_DesignDestroy(added);
  EXPECT_EQ(hmif_DictionaryFindDesign(mine, "Thing"), added);
  hmif_DictionaryDestroy(mine);
}

TEST_F(DesignTest, NamedRecordsResolveInTheDictionaryWhenUsed) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* list =
      hmif_DesignCreate(dictionary, "List", nullptr, HMIF_COUNTED_RECORDS, "items", "Later", 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(hmif_DesignRecordSize(list), -1);
  EXPECT_EQ(hmif_DesignCopy(list, &err_), nullptr);
  EXPECT_NE(TakeReport().find("\"Later\""), std::string::npos);
  // Freed as far as the design reaches, and the gap is reported.
  Ints* record = HeapArray<Ints>({{1, HeapArray<int32_t>({5})}});
  void* block = record;
  EXPECT_EQ(hmif_ObjectFree(&block, list, &err_), -1);
  EXPECT_EQ(block, nullptr);
  TakeReport();
  hmif_DesignCreate(dictionary, "Later", nullptr, HMIF_INT32, "x", 0);
  EXPECT_EQ(hmif_DesignRecordSize(list), 16);
  hmif_DictionaryDestroy(dictionary);
}

TEST_F(DesignTest, CopyOutlivesItsDictionaryAndHandlesRecursiveNames) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* everything = MakeDesigns(dictionary);
  // A tree: each node holds counted records of its own design, by name.
  hmif_DesignCreate(dictionary, "Node", nullptr, HMIF_INT32, "value", HMIF_COUNTED_RECORDS,
                    "children", "Node", 0);
  HmifDesign* copy = hmif_DesignCopy(everything, &err_);
  HmifDesign* tree = hmif_DesignCopy(hmif_DictionaryFindDesign(dictionary, "Node"), &err_);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(tree, nullptr);
  std::vector<unsigned char> before;
  Everything* full = MakeFull();
  before = Encode(full, everything);
  hmif_DictionaryDestroy(dictionary);

  EXPECT_STREQ(hmif_DesignName(copy), "Everything");
  EXPECT_EQ(hmif_DesignRecordSize(copy), int64_t(sizeof(Everything)));
  EXPECT_EQ(Encode(full, copy), before);
  void* decoded = hmif_ConvertFromMIF(before.data(), before.size(), copy, &err_);
  ASSERT_NE(decoded, nullptr);
  ExpectSame(*full, *static_cast<Everything*>(decoded));
  hmif_ObjectFree(&decoded, copy, nullptr);
  void* record = full;
  hmif_ObjectFree(&record, copy, nullptr);

  struct Node {
    int32_t value;
    struct {
      int32_t count;
      Node* data;
    } children;
  };
  Node leaves[2] = {{2, {0, nullptr}}, {3, {0, nullptr}}};
  Node root = {1, {2, leaves}};
  std::vector<unsigned char> bytes = Encode(&root, tree);
  void* back = hmif_ConvertFromMIF(bytes.data(), bytes.size(), tree, &err_);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(static_cast<Node*>(back)->children.data[1].value, 3);
  hmif_ObjectFree(&back, tree, nullptr);
  hmif_DesignDestroy(tree);
  hmif_DesignDestroy(copy);
}

TEST_F(DesignTest, ExhaustedHeapInCreationAndCopyIsReportedWithoutLeaks) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* everything = MakeDesigns(dictionary);
  int failures = 0;
  for (long n = 0;; ++n) {
    hmsc_HeapFailAfter(n);
    HmifDesign* copy = hmif_DesignCopy(everything, &err_);
    hmsc_HeapFailAfter(-1);
    if (copy) {
      hmif_DesignDestroy(copy);
      break;
    }
    herr_DeleteErrorReportEx(&err_);
    ++failures;
  }
  EXPECT_GT(failures, 5);
  for (long n = 0;; ++n) {
    HmifDictionary* fresh = hmif_DictionaryCreate(nullptr);
    hmsc_HeapFailAfter(n);
    HmifDesign* made = MakeDesigns(fresh);
    hmsc_HeapFailAfter(-1);
    hmif_DictionaryDestroy(fresh);
    if (made) break;
  }
  hmif_DictionaryDestroy(dictionary);
}

}  // namespace
}  // namespace mif_test
