// Every exported call that is not swept beside the behaviour it serves, under an exhausted heap:
// with the k-th allocation failing, for every k until the call succeeds, it fails cleanly (no
// crash, every block given back) and never reports success with an output missing.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostcore.h"
#include "senmod/senmod.h"
#include "support/dem_builder.h"
#include "support/heap_check.h"
#include "support/model_builder.h"
#include "support/report_capture.h"
#include "xform/xform_fixture.h"

namespace {

// One exported call: attempt(k) prepares the call's inputs, makes the k-th allocation from then
// on fail (hmsc_HeapFailAfter(k)), makes the call, ends the failure with heal() before it looks
// at the outcome, releases everything and returns whether the call succeeded, after checking
// that a success delivered everything.
struct SweptCall {
  const char* name;
  std::function<bool(long k)> attempt;
};

void heal() { hmsc_HeapFailAfter(-1); }

// A report in err means failure; it is deleted.
bool failed(ErrorReport** err) {
  const bool failure = *err != nullptr;
  herr_DeleteErrorReportEx(err);
  return failure;
}

class AllocationSweep : public HeapCheckedTest {
 protected:
  void SetUp() override {
    dem_ = std::make_unique<senmod_test::Dem>(xform_test::geographicPlaneDem(4000.0, -2500.0));
    model_ = xform_test::makeLinearModel(0.0);
    xform_test::setGeographicOutput(model_);
    // What the host builds once for the rest of the process is built before the count starts.
    RSM_Xform* warm = smod_RSMXformGetFromRSMData(smod_RSMCopy(model_, nullptr), nullptr);
    xform_test::useDemFile(warm->model, dem_->path());
    smod_RSMXformFillNoMIFData(warm, nullptr);
    smod_RSMXformDelete(warm);
    HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
    smod_RationalPolynomialsDesignDefine(dictionary, nullptr);
    hmif_DictionaryDestroy(dictionary);
    HeapCheckedTest::SetUp();
  }
  void TearDown() override {
    HeapCheckedTest::TearDown();
    smod_RSMDelete(model_);
    dem_.reset();
  }

  // Sweeps k = 0, 1, ... until the call succeeds.
  void sweep(const SweptCall& call) {
    SCOPED_TRACE(call.name);
    for (long k = 0; k < 100000; ++k) {
      const long live = hmsc_HeapLiveBlocks();
      const bool succeeded = call.attempt(k);
      heal();
      ASSERT_EQ(hmsc_HeapLiveBlocks(), live) << "blocks left behind with allocation " << k
                                             << " failing";
      if (succeeded) return;
    }
    FAIL() << "never succeeded";
  }

  // A copy of the test model taking heights from the DEM.
  RSM_Model* demModel() {
    RSM_Model* model = smod_RSMCopy(model_, nullptr);
    xform_test::useDemFile(model, dem_->path());
    return model;
  }

  std::unique_ptr<senmod_test::Dem> dem_;
  RSM_Model* model_ = nullptr;
};

TEST_F(AllocationSweep, EveryExportedCallFailsCleanlyOrSucceedsWhole) {
  const std::vector<SweptCall> calls = {
      {"smod_RSMCreate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         RSM_Model* model = smod_RSMCreate(nullptr);
         heal();
         smod_RSMDelete(model);
         return model != nullptr;
       }},
      {"smod_RationalPolynomialsCreate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         RSMFunctions* sections = smod_RationalPolynomialsCreate(3, &err);
         heal();
         const bool ok = !failed(&err);
         EXPECT_EQ(ok, sections != nullptr);
         smod_RationalPolynomialsFree(sections, 3, nullptr);
         return ok;
       }},
      {"smod_RationalPolynomialsDesignDefine",
       [](long k) {
         HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         HmifDesign* design = smod_RationalPolynomialsDesignDefine(dictionary, &err);
         heal();
         const bool ok = !failed(&err);
         EXPECT_EQ(ok, design != nullptr);
         hmif_DictionaryDestroy(dictionary);
         return ok;
       }},
      {"smod_RSMXformCreate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         RSM_Xform* xform = smod_RSMXformCreate(&err);
         heal();
         EXPECT_FALSE(failed(&err));
         smod_RSMXformDelete(xform);
         return xform != nullptr;
       }},
      {"smod_RSMXformGetFromRSMData",
       [this](long k) {
         RSM_Model* model = demModel();
         ReportCapture quiet;
         hmsc_HeapFailAfter(k);
         RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
         heal();
         if (!xform) {
           smod_RSMDelete(model);
           return false;
         }
         EXPECT_EQ(xform->model, model);
         smod_RSMXformDelete(xform);
         return true;
       }},
      {"smod_RSMXformFillNoMIFData",
       [this](long k) {
         RSM_Xform* xform = smod_RSMXformGetFromRSMData(demModel(), nullptr);
         ReportCapture capture;
         hmsc_HeapFailAfter(k);
         smod_RSMXformFillNoMIFData(xform, nullptr);
         heal();
         const bool filled = xform->filled == 1;
         if (filled) {
#ifdef SENMOD_DEMLAYER
           EXPECT_TRUE(xform->layer && xform->mapToLayer);
#else
           // Without its source the object uses z_mean: only after telling the user.
           EXPECT_TRUE(xform->elevationSource || capture.count() == 1);
#endif
           EXPECT_EQ(xform->model->rsm.demsource, HMOD_DEM_FILE);
         }
         smod_RSMXformDelete(xform);
         return filled;
       }},
      {"smod_RSMXformTransform3DTo2D",
       [this](long k) {
         RSM_Xform* xform = smod_RSMXformGetFromRSMData(smod_RSMCopy(model_, nullptr), nullptr);
         hmsc_HeapFailAfter(k);
         const double in[6] = {xform_test::kLon0, xform_test::kLat0, 10.0,
                               xform_test::kLon0 + 0.01, xform_test::kLat0, 20.0};
         double out[4] = {};
         ErrorReport* err = nullptr;
         smod_RSMXformTransform3DTo2D(xform, 2, in, out, &err);
         heal();
         const bool ok = !failed(&err);
         if (ok) {
           EXPECT_NE(out[2], 0.0);
         }
         smod_RSMXformDelete(xform);
         return ok;
       }},
      {"smod_RSMXformImageToGroundRay",
       [this](long k) {
         RSM_Xform* xform = smod_RSMXformGetFromRSMData(smod_RSMCopy(model_, nullptr), nullptr);
         hmsc_HeapFailAfter(k);
         const double x[2] = {400.0, 600.0}, y[2] = {500.0, 450.0};
         double rays[12] = {};
         ErrorReport* err = nullptr;
         smod_RSMXformImageToGroundRay(xform, 2, x, y, rays, &err);
         heal();
         const bool ok = !failed(&err);
         if (ok) {
           EXPECT_NE(rays[9], 0.0);
         }
         smod_RSMXformDelete(xform);
         return ok;
       }},
      {"smod_RSMTransform",
       [this](long k) {
         hmsc_HeapFailAfter(k);
         double sample = 0.0, row = 0.0;
         ErrorReport* err = nullptr;
         smod_RSMTransform(model_, xform_test::kLon0, xform_test::kLat0, 5.0, &sample, &row,
                           &err);
         heal();
         const bool ok = !failed(&err);
         if (ok) {
           EXPECT_NE(sample, 0.0);
         }
         return ok;
       }},
      {"smod_RationalPolynomialsToFileXY and ToMapXY",
       [this](long k) {
         hmsc_HeapFailAfter(k);
         const RSMFunctions* section = model_->rsm.RationalPolyList.data;
         double sample = 0.0, row = 0.0, x = 0.0, y = 0.0;
         ErrorReport* err = nullptr;
         smod_RationalPolynomialsToFileXY(section, 0.1, -0.2, 0.3, &sample, &row, &err);
         if (!err) smod_RationalPolynomialsToMapXY(section, sample, row, 0.3, &x, &y, &err);
         heal();
         const bool ok = !failed(&err);
         if (ok) {
           EXPECT_NE(x, 0.0);
         }
         return ok;
       }},
#ifndef SENMOD_DEMLAYER
      {"smod_RSMConvertGRNDD",
       [this](long k) {
         hmsc_HeapFailAfter(k);
         double x = 0.0, y = 0.0, z = 0.0;
         ErrorReport* err = nullptr;
         smod_RSMConvertGRNDD(model_, 1, xform_test::kLon0, xform_test::kLat0, 5.0, &x, &y, &z,
                              &err);
         heal();
         const bool ok = !failed(&err);
         if (ok) {
           EXPECT_NE(x, 0.0);
         }
         return ok;
       }},
      {"smod_RSMAPACreate, smod_RSMDCACreate and smod_RSMECACreate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         Smod_RSMAPA* apa = smod_RSMAPACreate(&err);
         Smod_RSMDCA* dca = smod_RSMDCACreate(&err);
         Smod_RSMECA* eca = smod_RSMECACreate(&err);
         heal();
         const bool ok = apa && dca && eca;
         smod_RSMAPADelete(apa);
         hmsc_HeapFree(apa);
         smod_RSMDCADelete(dca);
         smod_RSMECADelete(eca);
         return ok;
       }},
      {"smod_RsmApaConvertToMIF and smod_RsmDcaConvertToMIF",
       [](long k) {
         ErrorReport* err = nullptr;
         Smod_RSMAPA* apa = smod_RSMAPACreate(&err);
         Smod_RSMDCA* dca = smod_RSMDCACreate(&err);
         hmsc_HeapFailAfter(k);
         void* bytes[2] = {};
         int32_t counts[2] = {-1, -1};
         HmifDictionary* dictionaries[2] = {};
         smod_RsmApaConvertToMIF(apa, &bytes[0], &counts[0], &dictionaries[0], &err);
         if (!err) smod_RsmDcaConvertToMIF(dca, &bytes[1], &counts[1], &dictionaries[1], &err);
         heal();
         const bool ok = !failed(&err);
         if (ok) {
           EXPECT_TRUE(bytes[0] && bytes[1] && dictionaries[0] && dictionaries[1]);
           EXPECT_GT(counts[0], 0);
           EXPECT_GT(counts[1], 0);
         }
         for (int i = 0; i < 2; ++i) {
           hmsc_HeapFree(bytes[i]);
           hmif_DictionaryDestroy(dictionaries[i]);
         }
         smod_RSMAPADelete(apa);
         hmsc_HeapFree(apa);
         smod_RSMDCADelete(dca);
         return ok;
       }},
#endif
  };
  for (const SweptCall& call : calls) sweep(call);
}

}  // namespace
