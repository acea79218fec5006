// Dictionary text and the self-describing persistent form: round trips, versions, bad texts,
// damaged input and exhausted heap.
#include "mif_testing.h"

namespace mif_test {
namespace {

using TextTest = MifTest;

TEST_F(TextTest, DictionaryTextRoundTripsToTheSameTextAndLayout) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* everything = MakeDesigns(dictionary);
  char* text = hmif_DictionaryToText(dictionary, &err_);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text).rfind("hmif-dictionary 1\n", 0), 0u);
  HmifDictionary* parsed = hmif_DictionaryFromText(text, &err_);
  ASSERT_NE(parsed, nullptr) << Message(err_);
  char* again = hmif_DictionaryToText(parsed, &err_);
  EXPECT_STREQ(again, text);
  const HmifDesign* back = hmif_DictionaryFindDesign(parsed, "Everything");
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(hmif_DesignItemCount(back), hmif_DesignItemCount(everything));
  for (int32_t i = 0; i < hmif_DesignItemCount(back); ++i) {
    EXPECT_EQ(hmif_DesignItemOffset(back, i), hmif_DesignItemOffset(everything, i));
    EXPECT_EQ(hmif_DesignItemCode(back, i), hmif_DesignItemCode(everything, i));
  }
  hmsc_HeapFree(again);
  hmsc_HeapFree(text);
  hmif_DictionaryDestroy(parsed);
  hmif_DictionaryDestroy(dictionary);
}

TEST_F(TextTest, ObjectsTravelWithTheirDesignsAndOutliveTheSourceDictionary) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* everything = MakeDesigns(dictionary);
  hmif_DesignCreate(dictionary, "Unrelated", nullptr, HMIF_INT32, "x", 0);
  Everything* full = MakeFull();
  void* bytes = nullptr;
  char* text = nullptr;
  char* type = nullptr;
  int32_t count = hmif_MIFableObjectConvertToMIF(full, everything, &bytes, &text, &type, &err_);
  ASSERT_EQ(count, int32_t(Encode(full, everything).size()));
  EXPECT_STREQ(type, "Everything");
  EXPECT_EQ(std::string(text).find("Unrelated"), std::string::npos) << "only what it uses";
  hmif_DictionaryDestroy(dictionary);

  void* object = nullptr;
  HmifDesign* design = nullptr;
  ASSERT_EQ(hmif_MIFableObjectConvertFromMIF(&object, &design, bytes, count, text, type, &err_), 0);
  ExpectSame(*full, *static_cast<Everything*>(object));
  EXPECT_EQ(hmif_DesignRecordSize(design), int64_t(sizeof(Everything)));

  // The byte count bounds decoding; missing designs and wrong counts are refused.
  void* untouched = &count;
  HmifDesign* untouchedDesign = design;
  EXPECT_EQ(hmif_MIFableObjectConvertFromMIF(&untouched, &untouchedDesign, bytes, count - 1, text,
                                             type, &err_),
            -1);
  TakeReport();
  EXPECT_EQ(hmif_MIFableObjectConvertFromMIF(&untouched, &untouchedDesign, bytes, count, text,
                                             "Point3", &err_),
            -1);
  EXPECT_NE(TakeReport().find("not in the dictionary text"), std::string::npos);
  EXPECT_EQ(untouched, &count);
  EXPECT_EQ(untouchedDesign, design);

  void* record = full;
  hmif_ObjectFree(&record, design, nullptr);
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  hmsc_HeapFree(bytes);
  hmsc_HeapFree(text);
  hmsc_HeapFree(type);
}

TEST_F(TextTest, DesignsOfOtherDictionariesAreWrittenUnlessTheirNamesClash) {
  HmifDictionary* first = hmif_DictionaryCreate(nullptr);
  HmifDictionary* second = hmif_DictionaryCreate(nullptr);
  HmifDesign* inner = hmif_DesignCreate(first, "Inner", nullptr, HMIF_INT32, "i", 0);
  HmifDesign* outer =
      hmif_DesignCreate(second, "Outer", nullptr, HMIF_RECORD_POINTER, "p", inner, 0);
  char* text = hmif_DictionaryToText(second, &err_);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(std::string(text).find("design Inner\nitem 12 i\n"), std::string::npos);
  hmsc_HeapFree(text);
  // A different design under the same name would be read back in place of the one used.
  hmif_DesignCreate(second, "Inner", nullptr, HMIF_FLOAT64, "d", 0);
  EXPECT_EQ(hmif_DictionaryToText(second, &err_), nullptr);
  EXPECT_NE(TakeReport().find("two different designs are named \"Inner\""), std::string::npos);
  int32_t record[4] = {};
  void* bytes = nullptr;
  char* type = nullptr;
  ASSERT_EQ(hmif_MIFableObjectConvertToMIF(record, outer, &bytes, &text, &type, &err_), 1);
  EXPECT_EQ(std::string(text).find("item 14 d"), std::string::npos);
  hmsc_HeapFree(bytes);
  hmsc_HeapFree(text);
  hmsc_HeapFree(type);
  hmif_DictionaryDestroy(second);
  hmif_DictionaryDestroy(first);
}

TEST_F(TextTest, BadTextsAreRefusedWithAReport) {
  const char* const bad[] = {
      "",
      "design A\nitem 12 x\nend\n",
      "hmif-dictionary 2\n",
      "hmif-dictionary 1 extra\n",
      "hmif-dictionary 1\ndesign A\nitem 12 x\n",
      "hmif-dictionary 1\ndesign A\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 12 x\nend\ndesign A\nitem 12 y\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 1 r B\nend\ndesign B\nitem 12 x\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 13 x\nend\n",
      "hmif-dictionary 1\ndesign A\nitem -12 x\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 12 x y\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 270 x 0\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 270 x 99999999999\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 3 x\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 12 x\nitem 14 x\nend\n",
      "hmif-dictionary 1\ndesign A\nitem 12 x\nend\nstray\n",
      "hmif-dictionary 1\ndesign A$\nitem 12 x\nend\n",
  };
  for (const char* text : bad) {
    EXPECT_EQ(hmif_DictionaryFromText(text, &err_), nullptr) << text;
    TakeReport();
  }
  EXPECT_EQ(hmif_DictionaryFromText("hmif-dictionary 7\n", &err_), nullptr);
  EXPECT_NE(TakeReport().find("version \"7\" is unknown"), std::string::npos);
  std::string longName =
      "hmif-dictionary 1\ndesign " + std::string(300, 'n') + "\nitem 12 x\nend\n";
  EXPECT_EQ(hmif_DictionaryFromText(longName.c_str(), &err_), nullptr);
  TakeReport();
  std::string manyWords = "hmif-dictionary 1\ndesign A\nitem 3 e";
  for (int i = 0; i < 2000; ++i) manyWords += " v" + std::to_string(i);
  EXPECT_EQ(hmif_DictionaryFromText((manyWords + "\nend\n").c_str(), &err_), nullptr);
  TakeReport();
  // Blank lines, tabs and carriage returns are only separators; a named design may be missing
  // until it is used, and the dictionary is still written.
  HmifDictionary* ok = hmif_DictionaryFromText(
      "\nhmif-dictionary 1\r\n\ndesign A\r\n\titem 3 e ON OFF\r\nitem 514 list A\nend\n"
      "design B\nitem 514 later Missing\nend\n",
      &err_);
  ASSERT_NE(ok, nullptr) << Message(err_);
  EXPECT_EQ(hmif_DesignRecordSize(hmif_DictionaryFindDesign(ok, "A")), 24);
  EXPECT_EQ(hmif_DesignRecordSize(hmif_DictionaryFindDesign(ok, "B")), -1);
  char* written = hmif_DictionaryToText(ok, &err_);
  ASSERT_NE(written, nullptr);
  EXPECT_NE(std::string(written).find("item 514 later Missing\n"), std::string::npos);
  hmsc_HeapFree(written);
  hmif_DictionaryDestroy(ok);
}

TEST_F(TextTest, ExhaustedHeapInTheSelfDescribingFormIsReportedWithoutLeaks) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  HmifDesign* everything = MakeDesigns(dictionary);
  Everything* full = MakeFull();
  void* bytes = nullptr;
  char* text = nullptr;
  char* type = nullptr;
  int32_t count = -1;
  for (long n = 0; count < 0; ++n) {
    hmsc_HeapFailAfter(n);
    count = hmif_MIFableObjectConvertToMIF(full, everything, &bytes, &text, &type, &err_);
    hmsc_HeapFailAfter(-1);
    if (count < 0) {
      TakeReport();
      EXPECT_EQ(bytes, nullptr);
    }
  }
  for (long n = 0;; ++n) {
    void* object = nullptr;
    HmifDesign* design = nullptr;
    hmsc_HeapFailAfter(n);
    int result =
        hmif_MIFableObjectConvertFromMIF(&object, &design, bytes, count, text, type, &err_);
    hmsc_HeapFailAfter(-1);
    if (result == 0) {
      hmif_ObjectFree(&object, design, nullptr);
      hmif_DesignDestroy(design);
      break;
    }
    TakeReport();
    EXPECT_EQ(object, nullptr);
  }
  void* record = full;
  hmif_ObjectFree(&record, everything, nullptr);
  hmsc_HeapFree(bytes);
  hmsc_HeapFree(text);
  hmsc_HeapFree(type);
  hmif_DictionaryDestroy(dictionary);
}

}  // namespace
}  // namespace mif_test
