// Records to persistent bytes and back, deep copies and frees: round trips, determinism, the
// fixed byte order, refused records and every kind of damaged input.
#include "mif_testing.h"

namespace mif_test {
namespace {

class BytesTest : public MifTest {
 protected:
  void SetUp() override {
    MifTest::SetUp();
    dictionary_ = hmif_DictionaryCreate(nullptr);
    design_ = MakeDesigns(dictionary_);
    ASSERT_NE(design_, nullptr);
  }
  void TearDown() override {
    hmif_DictionaryDestroy(dictionary_);
    MifTest::TearDown();
  }
  void Free(Everything* record) {
    void* block = record;
    EXPECT_EQ(hmif_ObjectFree(&block, design_, nullptr), 0);
    EXPECT_EQ(block, nullptr);
  }
  Everything* Decode(const std::vector<unsigned char>& bytes) {
    return static_cast<Everything*>(
        hmif_ConvertFromMIF(bytes.data(), bytes.size(), design_, &err_));
  }

  HmifDictionary* dictionary_ = nullptr;
  HmifDesign* design_ = nullptr;
};

TEST_F(BytesTest, FullAndEmptyRecordsSurviveTheRoundTripAndEncodeTheSameEveryTime) {
  Everything* full = MakeFull();
  std::vector<unsigned char> bytes = Encode(full, design_);
  Everything* back = Decode(bytes);
  ASSERT_NE(back, nullptr);
  ExpectSame(*full, *back);
  EXPECT_EQ(Encode(back, design_), bytes);
  Free(back);

  // Counted members left empty come back as count 0 with a null pointer, whatever the pointer
  // was; a null record pointer stays null.
  Everything empty{};
  empty.text.data = reinterpret_cast<char*>(full);
  bytes = Encode(&empty, design_);
  back = Decode(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->text.data, nullptr);
  EXPECT_EQ(back->leaves.data, nullptr);
  EXPECT_EQ(back->doubles.data, nullptr);
  EXPECT_EQ(back->optional, nullptr);
  Free(back);
  Free(full);
}

TEST_F(BytesTest, ByteOrderAndWidthsAreFixed) {
  HmifDesign* small =
      hmif_DesignCreate(dictionary_, "Small", nullptr, HMIF_INT32, "i", HMIF_FLOAT64, "d",
                        HMIF_COUNTED_TEXT, "t", HMIF_RECORD_POINTER, "p", design_, 0);
  struct Small {
    int32_t i;
    double d;
    Hmif_String t;
    void* p;
  } record{0x01020304, 1.0, {2, const_cast<char*>("x")}, nullptr};
  const std::vector<unsigned char> expected = {4,    3,    2, 1, 0, 0, 0,   0, 0, 0,
                                               0xf0, 0x3f, 2, 0, 0, 0, 'x', 0, 0};
  EXPECT_EQ(Encode(&record, small), expected);
}

TEST_F(BytesTest, DeepCopyIsIndependentOfItsSource) {
  Everything* full = MakeFull();
  Everything* copy = static_cast<Everything*>(hmif_ObjectCopy(full, design_, &err_));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->leaves.data, full->leaves.data);
  EXPECT_NE(copy->optional, full->optional);
  std::vector<unsigned char> bytes = Encode(full, design_);
  full->leaves.data[0].id = 77;
  full->text.data[0] = 'X';
  full->optional->id = 0;
  Free(full);
  EXPECT_EQ(copy->leaves.data[0].id, 1);
  EXPECT_STREQ(copy->text.data, "metre");
  EXPECT_EQ(Encode(copy, design_), bytes);
  Free(copy);
}

TEST_F(BytesTest, RecordsThatCannotBeStoredAreRefusedBeforeAnyByteIsWritten) {
  Everything* full = MakeFull();
  std::vector<unsigned char> buffer(1024, 0xAA);
  // Bad counts cannot be copied either; texts and enumerations are copied as they are.
  auto refused = [&](const char* expected, bool copyRefuses) {
    EXPECT_EQ(hmif_ObjectSize(full, design_, &err_), -1);
    EXPECT_NE(TakeReport().find(expected), std::string::npos) << expected;
    EXPECT_EQ(hmif_ConvertToMIF(0, full, design_, buffer.data(), &err_), -1);
    TakeReport();
    EXPECT_EQ(buffer[0], 0xAA);
    void* copy = hmif_ObjectCopy(full, design_, &err_);
    EXPECT_EQ(copy == nullptr, copyRefuses);
    hmif_ObjectFree(&copy, design_, nullptr);
    herr_DeleteErrorReportEx(&err_);
  };
  full->ints.count = -1;
  refused("is negative", true);
  full->ints.count = 3;
  double* doubles = full->doubles.data;
  full->doubles.data = nullptr;
  refused("without data", true);
  full->doubles.data = doubles;
  full->text.data[5] = 'x';
  refused("does not end at its count", false);
  full->text.data[5] = '\0';
  full->text.data[2] = '\0';
  refused("does not end at its count", false);
  full->text.data[2] = 't';
  full->mode = 3;
  refused("not one of its 3 enumerators", false);
  full->mode = 0;
  EXPECT_EQ(hmif_ConvertToMIF(1, full, design_, buffer.data(), &err_), -1);
  TakeReport();
  Free(full);
}

TEST_F(BytesTest, TruncatedOrOverlongBytesAreRefusedAtEveryLength) {
  Everything* full = MakeFull();
  std::vector<unsigned char> bytes = Encode(full, design_);
  for (size_t length = 0; length < bytes.size(); ++length) {
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + long(length));
    EXPECT_EQ(hmif_ConvertFromMIF(cut.data(), cut.size(), design_, &err_), nullptr) << length;
    TakeReport();
  }
  bytes.push_back(0);
  EXPECT_EQ(Decode(bytes), nullptr);
  EXPECT_NE(TakeReport().find("left over"), std::string::npos);
  Free(full);
}

TEST_F(BytesTest, DamagedBytesGiveAReportOrAValidRecordNeverACrashOrLeak) {
  Everything* full = MakeFull();
  const std::vector<unsigned char> bytes = Encode(full, design_);
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (unsigned char mask : {0x01, 0x80, 0xFF}) {
      std::vector<unsigned char> damaged = bytes;
      damaged[at] ^= mask;
      Everything* back = Decode(damaged);
      if (back) {
        Free(back);
      } else {
        TakeReport();
      }
    }
  }
  // Specific damage: a count far beyond the bytes, a negative count, a bad presence flag.
  Everything empty{};
  std::vector<unsigned char> plain = Encode(&empty, design_);
  const size_t leavesAt = 4 + 4 + 8 + 24 + 32;
  std::vector<unsigned char> damaged = plain;
  damaged[leavesAt + 3] = 0x7f;
  EXPECT_EQ(Decode(damaged), nullptr);
  EXPECT_NE(TakeReport().find("remain"), std::string::npos);
  damaged = plain;
  damaged[leavesAt + 3] = 0x80;
  EXPECT_EQ(Decode(damaged), nullptr);
  EXPECT_NE(TakeReport().find("negative count"), std::string::npos);
  damaged = plain;
  damaged[plain.size() - 5] = 2;
  EXPECT_EQ(Decode(damaged), nullptr);
  EXPECT_NE(TakeReport().find("presence flag"), std::string::npos);
  Free(full);
}

TEST_F(BytesTest, NestingDeeperThanTheBoundIsRefusedBothWays) {
  HmifDesign* link = hmif_DesignCreate(dictionary_, "Link", nullptr, HMIF_INT32, "v",
                                       HMIF_COUNTED_RECORDS, "next", "Link", 0);
  struct Link {
    int32_t v;
    struct {
      int32_t count;
      Link* data;
    } next;
  };
  std::vector<Link> chain(40);
  for (size_t i = 0; i + 1 < chain.size(); ++i) chain[i].next = {1, &chain[i + 1]};
  chain.back().next = {0, nullptr};
  EXPECT_EQ(hmif_ObjectSize(chain.data(), link, &err_), -1);
  EXPECT_NE(TakeReport().find("nested deeper"), std::string::npos);
  std::vector<unsigned char> bytes;
  for (size_t i = 0; i < chain.size(); ++i) {
    unsigned char more = i + 1 < chain.size() ? 1 : 0;
    bytes.insert(bytes.end(), {0, 0, 0, 0, more, 0, 0, 0});
  }
  EXPECT_EQ(hmif_ConvertFromMIF(bytes.data(), bytes.size(), link, &err_), nullptr);
  EXPECT_NE(TakeReport().find("nested deeper"), std::string::npos);
}

// The fewest allocations the heap must allow for decoding bytes to be refused for what they are
// rather than for heap exhaustion: the blocks taken before the refusal plus those of its report.
long AllocationsBeforeRefusal(const HmifDesign* design, const std::vector<unsigned char>& bytes,
                              std::string* report) {
  for (long n = 0;; ++n) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    void* record = hmif_ConvertFromMIF(bytes.data(), bytes.size(), design, &err);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(record, nullptr);
    *report = err ? Message(err) : "";
    herr_DeleteErrorReportEx(&err);
    if (report->find("xhausted") == std::string::npos) return n;
  }
}

// A few bytes must not claim a large zeroed block: each case is refused by the bytes it lacks
// having taken no block but the outer record.
TEST_F(BytesTest, RecordsThatCannotFitInTheBytesLeftAreRefusedBeforeTheirMemoryIsTaken) {
  HmifDesign* big = hmif_DesignCreate(dictionary_, "Big", nullptr, HMIF_FLOAT64_ARRAY, "v", 65536,
                                      0);
  HmifDesign* many = hmif_DesignCreate(dictionary_, "Many", nullptr, HMIF_COUNTED_RECORDS,
                                       "items", "Big", 0);
  HmifDesign* one = hmif_DesignCreate(dictionary_, "One", nullptr, HMIF_RECORD_POINTER, "item",
                                      big, 0);
  ASSERT_TRUE(big && many && one);
  std::string report;
  const long reportBlocks = AllocationsBeforeRefusal(nullptr, {}, &report);
  struct Case {
    const char* what;
    const HmifDesign* design;
    std::vector<unsigned char> bytes;
    long blocks;  // blocks the decoding may take before it is refused
  };
  // 480 records of 512 KiB announced in 484 bytes; one present record in 1 byte; a 512 KiB
  // record from 7 bytes.
  std::vector<unsigned char> announced = {0xE0, 0x01, 0, 0};
  announced.resize(484, 0);
  const Case cases[] = {{"counted records", many, announced, 1},
                        {"record pointer", one, {1}, 1},
                        {"outer record", big, std::vector<unsigned char>(7, 0), 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(AllocationsBeforeRefusal(c.design, c.bytes, &report), c.blocks + reportBlocks)
        << c.what;
    EXPECT_NE(report.find("needed"), std::string::npos) << c.what << ": " << report;
  }
}

TEST_F(BytesTest, ExhaustedHeapInCopyAndDecodeIsReportedWithoutLeaks) {
  Everything* full = MakeFull();
  std::vector<unsigned char> bytes = Encode(full, design_);
  for (int which = 0; which < 2; ++which) {
    int failures = 0;
    for (long n = 0;; ++n) {
      hmsc_HeapFailAfter(n);
      void* result = which == 0 ? hmif_ObjectCopy(full, design_, &err_)
                                : hmif_ConvertFromMIF(bytes.data(), bytes.size(), design_, &err_);
      hmsc_HeapFailAfter(-1);
      if (result) {
        ExpectSame(*full, *static_cast<Everything*>(result));
        Free(static_cast<Everything*>(result));
        break;
      }
      TakeReport();
      ++failures;
    }
    EXPECT_EQ(failures, 7) << "the record, five counted members and the pointed-to leaf";
  }
  Free(full);
}

}  // namespace
}  // namespace mif_test
