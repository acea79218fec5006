// Deep copy of model records and their field-by-field comparison.
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "support/heap_check.h"
#include "support/model_builder.h"
#include "support/report_capture.h"

using model_builder::affineSection;
using model_builder::heapDoubles;
using model_builder::heapText;

namespace {

void setHolder(Hmif_MIFObject* holder, const char* type, const char* bytes) {
  holder->type = heapText(type);
  holder->MIFDictionary = heapText("dictionary");
  const size_t n = std::strlen(bytes);
  holder->MIFObject.data = static_cast<unsigned char*>(hmsc_HeapMalloc(n));
  std::memcpy(holder->MIFObject.data, bytes, n);
  holder->MIFObject.count = static_cast<int32_t>(n);
}

Hprj_ProParameters* parameters(int32_t zone) {
  ErrorReport* err = nullptr;
  Hprj_ProParameters* p = hprj_ProParametersCreate(&err);
  p->proType = 1;
  p->proZone = zone;
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", p->proSpheroid, &err);
  return p;
}

// A model with every member filled.
RSM_Model* fullModel() {
  auto section = affineSection(1, 2, 3, 4, 5, 6);
  section.imageToGroundPoly = {1, 0, 1, 0, 0, 0, 1};
  RSM_Model* model =
      model_builder::makeModel({section, affineSection(0, 1, 0, 0, 0, 1)}, 1, 2, 50.0, 60.0);
  RSM_Model_Orig& r = model->rsm;
  r.RationalPolyList.data[1].validImageDomain = heapDoubles({0, 1, 2, 3});
  r.demsource = HMOD_DEM_FILE;
  r.demfilename = heapText("Dem.tif");
  r.demzunits = heapText("Meters");
  r.forSrcAffine[2] = 5.0;
  r.invDstAffine[5] = 7.0;
  r.z_mean = 12.5;
  r.groundDomain = heapDoubles({1, 2, 3, 4, 5, 6});
  r.groundToImagePoly = heapDoubles(std::vector<double>(20, 0.5));
  r.adjustableParms = heapDoubles({9});
  r.grndd = heapDoubles({1});
  r.obsoletePlaceHolder0 = parameters(32);
  setHolder(&model->outputProjection, "Projection", "utm");
  model->outputHorizontalUnits = heapText("meters");
  setHolder(&model->outputElevationInfo, "Elevation", "height");
  return model;
}

class CopyCompare : public HeapCheckedTest {
 protected:
  void SetUp() override {
    HeapCheckedTest::SetUp();
    first_ = fullModel();
    second_ = fullModel();
  }
  void TearDown() override {
    smod_RSMDelete(first_);
    smod_RSMDelete(second_);
    HeapCheckedTest::TearDown();
  }
  bool same() const { return smod_RSMsAreSame(first_, second_) == 1; }
  // Whether the records are the same once change has been applied to the second.
  bool sameAfter(const std::function<void(RSM_Model*)>& change) {
    smod_RSMDelete(second_);
    second_ = fullModel();
    change(second_);
    const bool result = same() && smod_RSMsAreSame(second_, first_) == 1;
    return result;
  }
  RSM_Model* first_ = nullptr;
  RSM_Model* second_ = nullptr;
};

TEST_F(CopyCompare, PointerIdentityAndNull) {
  EXPECT_EQ(smod_RSMsAreSame(first_, first_), 1);
  EXPECT_EQ(smod_RSMsAreSame(nullptr, nullptr), 1);
  EXPECT_EQ(smod_RSMsAreSame(first_, nullptr), 0);
  EXPECT_EQ(smod_RSMsAreSame(nullptr, first_), 0);
  EXPECT_TRUE(same());
}

TEST_F(CopyCompare, CopyIsDeepAndTheSameInBothOrders) {
  RSM_Model* copy = smod_RSMCopy(first_, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(smod_RSMsAreSame(copy, first_), 1);
  EXPECT_EQ(smod_RSMsAreSame(first_, copy), 1);
  EXPECT_NE(copy->rsm.RationalPolyList.data, first_->rsm.RationalPolyList.data);
  EXPECT_NE(copy->rsm.RationalPolyList.data[0].sampleNumerator.data,
            first_->rsm.RationalPolyList.data[0].sampleNumerator.data);
  EXPECT_NE(copy->rsm.demfilename.data, first_->rsm.demfilename.data);
  EXPECT_NE(copy->rsm.obsoletePlaceHolder0, first_->rsm.obsoletePlaceHolder0);
  EXPECT_EQ(copy->rsm.invDstAffine[5], 7.0);
  EXPECT_EQ(copy->rsm.RationalPolyList.data[1].validImageDomain.count, 4);
  // Changing the copy leaves the source alone.
  copy->rsm.RationalPolyList.data[0].sampleNumerator.data[0] = 99.0;
  EXPECT_EQ(first_->rsm.RationalPolyList.data[0].sampleNumerator.data[0], 1.0);
  EXPECT_EQ(smod_RSMsAreSame(copy, first_), 0);
  smod_RSMDelete(copy);
}

TEST_F(CopyCompare, EmptyMembersStayEmpty) {
  ErrorReport* err = nullptr;
  RSM_Model* empty = smod_RSMCreate(&err);
  RSM_Model* copy = smod_RSMCopy(empty, &err);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(copy->rsm.RationalPolyList.data, nullptr);
  EXPECT_EQ(copy->rsm.demfilename.data, nullptr);
  EXPECT_EQ(copy->rsm.grndd.data, nullptr);
  EXPECT_EQ(copy->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(smod_RSMsAreSame(copy, empty), 1);
  smod_RSMDelete(copy);
  smod_RSMDelete(empty);
}

TEST_F(CopyCompare, EveryComparedFieldCountsWithinTheTolerance) {
  EXPECT_TRUE(sameAfter([](RSM_Model* m) { m->rsm.forDstAffine[0] = 1.0 + 1e-11; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.forDstAffine[0] = 1.0 + 1e-9; }));
  EXPECT_TRUE(sameAfter(
      [](RSM_Model* m) { m->rsm.rowsPerSection = std::numeric_limits<double>::quiet_NaN(); }));
  EXPECT_FALSE(sameAfter(
      [](RSM_Model* m) { m->rsm.RationalPolyList.data[1].rowNumerator.data[2] += 2e-10; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.RationalPolyList.data[0].Offsets[4] = 1.0; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.RationalPolyList.data[1].columnSection = 9; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.groundDomain.data[5] = 0.0; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.grndd.count = 0; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.colSections = 3; }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { m->rsm.groundToImageTransform = SMOD_FALSE; }));
  // The inverse affines are not compared.
  EXPECT_TRUE(sameAfter([](RSM_Model* m) {
    m->rsm.invSrcAffine[0] = 42.0;
    m->rsm.invDstAffine[3] = -1.0;
  }));
}

TEST_F(CopyCompare, DemFileAndMeanHeightCountOnlyForTheirSource) {
  auto rename = [](const char* name) {
    return [name](RSM_Model* m) {
      hmsc_HeapFree(m->rsm.demfilename.data);
      m->rsm.demfilename = heapText(name);
    };
  };
  // A file source compares the name, case counting, and not the mean height.
  EXPECT_FALSE(sameAfter(rename("dem.tif")));
  EXPECT_TRUE(sameAfter([](RSM_Model* m) { m->rsm.z_mean = 0.0; }));
  // A constant source compares the mean height and not the name.
  first_->rsm.demsource = HMOD_DEM_CONSTANT;
  EXPECT_TRUE(sameAfter([&](RSM_Model* m) {
    m->rsm.demsource = HMOD_DEM_CONSTANT;
    rename("other.tif")(m);
  }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) {
    m->rsm.demsource = HMOD_DEM_CONSTANT;
    m->rsm.z_mean = 0.0;
  }));
  // Units ignore letter case.
  EXPECT_TRUE(sameAfter([](RSM_Model* m) {
    m->rsm.demsource = HMOD_DEM_CONSTANT;
    hmsc_HeapFree(m->rsm.demzunits.data);
    m->rsm.demzunits = heapText("METERS");
  }));
}

TEST_F(CopyCompare, OutputProjectionIsComparedOnlyWithoutParametersInTheFirst) {
  smod_RSMDelete(second_);
  second_ = fullModel();
  hmif_MIFObjectFreeContents(&second_->outputProjection);
  setHolder(&second_->outputProjection, "Projection", "geographic");
  EXPECT_TRUE(same());
  hprj_ProParametersFree(&second_->rsm.obsoletePlaceHolder0);
  EXPECT_TRUE(same());
  // Now the second has parameters and the first none: the projections are compared.
  EXPECT_EQ(smod_RSMsAreSame(second_, first_), 0);
  // Parameters, units and elevation info are compared whatever the order.
  EXPECT_FALSE(sameAfter([](RSM_Model* m) {
    hprj_ProParametersFree(&m->rsm.obsoletePlaceHolder0);
    m->rsm.obsoletePlaceHolder0 = parameters(33);
  }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) { hmif_PTRFreeContents(&m->outputHorizontalUnits); }));
  EXPECT_FALSE(sameAfter([](RSM_Model* m) {
    hmif_MIFObjectFreeContents(&m->outputElevationInfo);
    setHolder(&m->outputElevationInfo, "Elevation", "depth");
  }));
}

TEST_F(CopyCompare, ExhaustedHeapPrintsAndReturnsNullWithoutLeaks) {
  ReportCapture capture;
  const long live = hmsc_HeapLiveBlocks();
  bool copied = false;
  int failures = 0;
  for (long n = 0; !copied && n < 200; ++n) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    RSM_Model* copy = smod_RSMCopy(first_, &err);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(err, nullptr);
    if (copy) {
      copied = true;
      EXPECT_EQ(smod_RSMsAreSame(copy, first_), 1);
      smod_RSMDelete(copy);
    } else {
      ++failures;
    }
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << n;
  }
  EXPECT_TRUE(copied);
  EXPECT_GT(failures, 10);
  EXPECT_EQ(capture.count(), static_cast<size_t>(failures));
  // A failure is printed under the copy's name, never passed out.
  capture.clear();
  ErrorReport* err = nullptr;
  EXPECT_EQ(smod_RSMCopy(nullptr, &err), nullptr);
  EXPECT_EQ(err, nullptr);
  ASSERT_EQ(capture.count(), 1u);
  EXPECT_EQ(capture.prints()[0].flag, 0);
  EXPECT_EQ(capture.prints()[0].chain[0].function, "smod_RSMCopy");
}

}  // namespace
