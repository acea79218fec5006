// Holders of persistent objects and counted texts.
#include "mif_testing.h"

namespace mif_test {
namespace {

using HolderTest = MifTest;

Hmif_String Text(const char* text) {
  size_t size = strlen(text) + 1;
  char* copy = static_cast<char*>(hmsc_HeapMalloc(size));
  memcpy(copy, text, size);
  return Hmif_String{int32_t(size), copy};
}

Hmif_MIFObject Holder(const char* type, const char* dictionary, const char* bytes) {
  Hmif_String object = Text(bytes);
  return Hmif_MIFObject{
      Text(type), Text(dictionary),
      Hmif_Bytes{object.count - 1, reinterpret_cast<unsigned char*>(object.data)}};
}

TEST_F(HolderTest, TransferMovesCopyDuplicatesAndSameComparesContents) {
  Hmif_MIFObject a = Holder("T", "dict", "abc");
  Hmif_MIFObject b = Holder("U", "other", "zz");
  Hmif_MIFObject empty{};
  EXPECT_FALSE(hmif_MIFObjectIsSame(&a, &b));
  EXPECT_TRUE(hmif_MIFObjectIsSame(&empty, &empty));
  EXPECT_FALSE(hmif_MIFObjectIsSame(&a, &empty));

  Hmif_MIFObject copy{};
  ASSERT_EQ(hmif_MIFObjectCopyContents(&copy, &a, &err_), 0);
  EXPECT_NE(copy.MIFObject.data, a.MIFObject.data);
  EXPECT_TRUE(hmif_MIFObjectIsSame(&copy, &a));
  copy.MIFObject.data[1] = 'X';
  EXPECT_FALSE(hmif_MIFObjectIsSame(&copy, &a));

  // The destination's previous contents are released, the source is left empty.
  unsigned char* moved = b.MIFObject.data;
  hmif_MIFObjectTransferContents(&copy, &b);
  EXPECT_EQ(copy.MIFObject.data, moved);
  EXPECT_EQ(b.MIFObject.data, nullptr);
  EXPECT_EQ(b.type.count, 0);
  hmif_MIFObjectTransferContents(&copy, &copy);
  EXPECT_EQ(copy.MIFObject.data, moved);
  EXPECT_EQ(hmif_MIFObjectCopyContents(&copy, &copy, &err_), 0);
  EXPECT_EQ(copy.MIFObject.data, moved);

  hmif_MIFObjectFreeContents(&a);
  hmif_MIFObjectFreeContents(&copy);
  hmif_MIFObjectFreeContents(&empty);
  hmif_MIFObjectFreeContents(nullptr);
  EXPECT_EQ(a.MIFDictionary.data, nullptr);
}

TEST_F(HolderTest, FailedCopiesLeaveTheDestinationEmpty) {
  Hmif_MIFObject source = Holder("T", "dict", "abc");
  Hmif_MIFObject destination = Holder("old", "old", "old");
  for (long n = 0; n < 3; ++n) {
    hmsc_HeapFailAfter(n);
    EXPECT_EQ(hmif_MIFObjectCopyContents(&destination, &source, &err_), -1);
    hmsc_HeapFailAfter(-1);
    TakeReport();
    EXPECT_EQ(destination.type.data, nullptr);
    EXPECT_EQ(destination.MIFObject.count, 0);
  }
  source.MIFDictionary.count = -2;
  EXPECT_EQ(hmif_MIFObjectCopyContents(&destination, &source, &err_), -1);
  EXPECT_NE(TakeReport().find("negative"), std::string::npos);
  source.MIFDictionary.count = 5;
  hmif_MIFObjectFreeContents(&source);
}

TEST_F(HolderTest, CountedTextFormsBehaveAlike) {
  Hmif_String a = Text("meters");
  Hmif_String b{};
  Hmif_String nothing{};
  EXPECT_TRUE(hmif_PTRIsSame(&b, &nothing));
  ASSERT_EQ(hmif_PTRCopyContents(&b, &a, &err_), 0);
  EXPECT_TRUE(hmif_PTRIsSame(&a, &b));
  EXPECT_NE(a.data, b.data);
  Hmif_String c = Text("feet");
  EXPECT_FALSE(hmif_PTRIsSame(&a, &c));
  hmif_PTRTransferContents(&a, &c);
  EXPECT_STREQ(a.data, "feet");
  EXPECT_EQ(c.data, nullptr);
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(hmif_PTRCopyContents(&b, &a, &err_), -1);
  hmsc_HeapFailAfter(-1);
  TakeReport();
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(hmif_PTRCopyContents(nullptr, &a, &err_), -1);
  TakeReport();
  hmif_PTRFreeContents(&a);
  hmif_PTRFreeContents(&b);
  hmif_PTRFreeContents(nullptr);
}

}  // namespace
}  // namespace mif_test
