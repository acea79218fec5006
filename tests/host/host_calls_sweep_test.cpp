// Every host call that allocates and is not swept beside the behaviour it serves, under an
// exhausted heap: with the k-th allocation failing, for every k until the call succeeds, it
// fails cleanly (no crash, every block given back) and never succeeds with an output missing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hostcore.h"
#include "support/dem_builder.h"
#include "support/heap_check.h"

namespace {

// One host call: attempt(k) prepares its inputs, makes the k-th allocation from then on fail
// (hmsc_HeapFailAfter(k)), makes the call, ends the failure (hmsc_HeapFailAfter(-1)) before it
// looks at the outcome, releases everything and returns whether the call succeeded, after
// checking that a success delivered everything.
struct SweptCall {
  const char* name;
  std::function<bool(long k)> attempt;
};

void heal() { hmsc_HeapFailAfter(-1); }

// A report in err, or a failing result, means failure; the report is deleted.
bool succeeded(ErrorReport** err, bool result) {
  const bool failure = *err != nullptr;
  herr_DeleteErrorReportEx(err);
  EXPECT_EQ(result, !failure) << "a result and a report disagree";
  return result && !failure;
}

Hprj_ProParameters* utmParameters() {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = 1;
  parameters->proZone = 33;
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", parameters->proSpheroid, nullptr);
  hprj_DatumByName(hint_GetInit(), "WGS 84", "WGS 84", &parameters->proSpheroid->datum, nullptr);
  return parameters;
}

class HostAllocationSweep : public HeapCheckedTest {
 protected:
  void SetUp() override {
    senmod_test::InclinedPlaneDem plane;
    plane.h0 = 100.0;
    dem_ = std::make_unique<senmod_test::Dem>(plane);
    // What the host builds once for the rest of the process is built before the count starts.
    Hprj_ProParameters* parameters = utmParameters();
    Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
    hprj_ProjectionFree(&projection);
    hprj_ProParametersFree(&parameters);
    projection = hprj_ProjectionFromDefinition("EPSG:32633", nullptr);
    hprj_ProjectionFree(&projection);
    Hprj_ElevationInfo* info = hprj_ElevationInfoRead(dem_->path().c_str(), "Layer_1", nullptr);
    hprj_ElevationInfoFree(&info);
    HeapCheckedTest::SetUp();
  }
  void TearDown() override {
    HeapCheckedTest::TearDown();
    dem_.reset();
  }

  void sweep(const SweptCall& call) {
    SCOPED_TRACE(call.name);
    for (long k = 0; k < 100000; ++k) {
      const long live = hmsc_HeapLiveBlocks();
      const bool done = call.attempt(k);
      heal();
      ASSERT_EQ(hmsc_HeapLiveBlocks(), live) << "blocks left behind with allocation " << k
                                             << " failing";
      if (done) return;
    }
    FAIL() << "never succeeded";
  }

  std::unique_ptr<senmod_test::Dem> dem_;
};

TEST_F(HostAllocationSweep, EveryAllocatingHostCallFailsCleanlyOrSucceedsWhole) {
  const std::vector<SweptCall> calls = {
      {"hstr_Duplicate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         char* copy = hstr_Duplicate("text");
         heal();
         const bool ok = copy != nullptr;
         if (ok) {
           EXPECT_STREQ(copy, "text");
         }
         hmsc_HeapFree(copy);
         return ok;
       }},
      {"hstr_Sprintf",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         char* text = hstr_Sprintf(nullptr, "%s %.3lf", &err, "at", 1.5);
         heal();
         const bool ok = succeeded(&err, text != nullptr);
         if (ok) {
           EXPECT_STREQ(text, "at 1.500");
         }
         hmsc_HeapFree(text);
         return ok;
       }},
      {"herr_CreateErrorReport and herr_ErrorReportDuplicate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* report = herr_CreateErrorReport("f", 1, 2, nullptr, "message", 0);
         ErrorReport* copy = herr_ErrorReportDuplicate(report);
         heal();
         // Never null: an exhausted heap gives the shared "Heap exhausted." report.
         EXPECT_TRUE(report && copy);
         const bool ok = std::string(herr_ErrorReportMessage(copy)) == "message";
         herr_DeleteErrorReportEx(&report);
         herr_DeleteErrorReportEx(&copy);
         return ok;
       }},
      {"hgda_BaseDataCreate",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         HgdaBaseData* data = hgda_BaseDataCreate(2, 5, HGDA_PIXEL_FLOAT64, 2, 0, &err);
         heal();
         const bool ok = succeeded(&err, data != nullptr);
         if (ok) {
           EXPECT_NE(data->data, nullptr);
         }
         hgda_BaseDataDelete(data, nullptr);
         return ok;
       }},
      {"hmif_PTRCopyContents",
       [](long k) {
         char text[] = "units";
         const Hmif_String source = {6, text};
         Hmif_String copy = {};
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         const int result = hmif_PTRCopyContents(&copy, &source, &err);
         heal();
         const bool ok = succeeded(&err, result == 0);
         if (ok) {
           EXPECT_EQ(hmif_PTRIsSame(&copy, &source), 1);
         }
         hmif_PTRFreeContents(&copy);
         return ok;
       }},
      {"hmif_DictionaryCreate, hmif_DesignCreate and the dictionary text both ways",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         HmifDictionary* dictionary = hmif_DictionaryCreate(&err);
         HmifDesign* design =
             dictionary ? hmif_DesignCreate(dictionary, "Pair", &err, HMIF_INT32, "a",
                                            HMIF_COUNTED_TEXT, "b", 0)
                        : nullptr;
         char* text = design ? hmif_DictionaryToText(dictionary, &err) : nullptr;
         HmifDictionary* back = text ? hmif_DictionaryFromText(text, &err) : nullptr;
         heal();
         const bool ok = succeeded(&err, back != nullptr);
         if (ok) {
           EXPECT_NE(hmif_DictionaryFindDesign(back, "Pair"), nullptr);
         }
         hmif_DictionaryDestroy(back);
         hmsc_HeapFree(text);
         hmif_DictionaryDestroy(dictionary);
         return ok;
       }},
      {"hprj_ProParametersCreate, hprj_ProParametersCopy and hprj_CharStrCreate",
       [](long k) {
         Hprj_ProParameters* source = utmParameters();
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         Hprj_ProParameters* fresh = hprj_ProParametersCreate(&err);
         Hprj_ProParameters* copy = fresh ? hprj_ProParametersCopy(source, nullptr, &err) : nullptr;
         const int named = copy ? hprj_CharStrCreate("UTM 33", &copy->proName, &err) : -1;
         heal();
         const bool ok = succeeded(&err, fresh && copy && named == 0);
         if (ok) {
           EXPECT_STREQ(copy->proName, "UTM 33");
           EXPECT_EQ(copy->proZone, 33);
         }
         hprj_ProParametersFree(&fresh);
         hprj_ProParametersFree(&copy);
         hprj_ProParametersFree(&source);
         return ok;
       }},
      {"hprj_ProjectionInit and its persistent form both ways",
       [](long k) {
         Hprj_ProParameters* parameters = utmParameters();
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, &err);
         void* object = nullptr;
         HmifDesign* design = nullptr;
         const int converted =
             projection ? hprj_ProjectionConvertToMIFable(projection, &object, &design, &err) : -1;
         Hprj_Projection* back =
             converted == 0 ? hprj_ProjectionConvertFromMIFable(object, design, &err) : nullptr;
         heal();
         const bool ok = succeeded(&err, back != nullptr);
         if (ok) {
           EXPECT_STREQ(hprj_ProjectionWkt(back), hprj_ProjectionWkt(projection));
         }
         hprj_ProjectionFree(&back);
         hmif_ObjectFree(&object, design, nullptr);
         hmif_DesignDestroy(design);
         hprj_ProjectionFree(&projection);
         hprj_ProParametersFree(&parameters);
         return ok;
       }},
      {"hprj_ProjectionFromDefinition",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         Hprj_Projection* projection = hprj_ProjectionFromDefinition("EPSG:32633", &err);
         heal();
         const bool ok = succeeded(&err, projection != nullptr);
         if (ok) {
           EXPECT_EQ(hprj_ProjectionIsGeographic(projection), 0);
         }
         hprj_ProjectionFree(&projection);
         return ok;
       }},
      {"hprj_ElevationInfoCreateByName and its persistent form both ways",
       [](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         Hprj_ElevationInfo* info =
             hprj_ElevationInfoCreateByName("WGS 84", "WGS 84", "feet", "height", &err);
         void* object = nullptr;
         HmifDesign* design = nullptr;
         const int converted =
             info ? hprj_ElevationInfoConvertToMIFable(info, &object, &design, &err) : -1;
         Hprj_ElevationInfo* back =
             converted == 0 ? hprj_ElevationInfoConvertFromMIFable(object, design, &err) : nullptr;
         heal();
         const bool ok = succeeded(&err, back != nullptr);
         if (ok) {
           EXPECT_STREQ(back->units, "feet");
         }
         hprj_ElevationInfoFree(&back);
         hmif_ObjectFree(&object, design, nullptr);
         hmif_DesignDestroy(design);
         hprj_ElevationInfoFree(&info);
         return ok;
       }},
      {"hprj_ElevationInfoRead",
       [this](long k) {
         hmsc_HeapFailAfter(k);
         ErrorReport* err = nullptr;
         Hprj_ElevationInfo* info =
             hprj_ElevationInfoRead(dem_->path().c_str(), "Layer_1", &err);
         heal();
         const bool ok = succeeded(&err, info != nullptr);
         hprj_ElevationInfoFree(&info);
         return ok;
       }},
  };
  for (const SweptCall& call : calls) sweep(call);
}

}  // namespace
