// Projections and elevation info through their MIF-able objects and persistent bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostcore.h"
#include "support/heap_check.h"

namespace {

struct Persisted {
  void* bytes = nullptr;
  char* dictionary = nullptr;
  char* type = nullptr;
  int32_t count = -1;
  ~Persisted() {
    hmsc_HeapFree(bytes);
    hmsc_HeapFree(dictionary);
    hmsc_HeapFree(type);
  }
};

// Object and design to bytes, then back to a new object and design; frees the first pair.
bool ThroughBytes(void** object, HmifDesign** design) {
  Persisted stored;
  stored.count = hmif_MIFableObjectConvertToMIF(*object, *design, &stored.bytes,
                                                &stored.dictionary, &stored.type, nullptr);
  hmif_ObjectFree(object, *design, nullptr);
  hmif_DesignDestroy(*design);
  *design = nullptr;
  return stored.count >= 0 &&
         hmif_MIFableObjectConvertFromMIF(object, design, stored.bytes, stored.count,
                                          stored.dictionary, stored.type, nullptr) == 0;
}

Hprj_Projection* RoundTrip(const Hprj_Projection* projection) {
  void* object = nullptr;
  HmifDesign* design = nullptr;
  if (hprj_ProjectionConvertToMIFable(projection, &object, &design, nullptr) != 0) return nullptr;
  Hprj_Projection* back = nullptr;
  if (ThroughBytes(&object, &design)) {
    back = hprj_ProjectionConvertFromMIFable(object, design, nullptr);
  }
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  return back;
}

using ProjectionPersist = HeapCheckedTest;

TEST_F(ProjectionPersist, ParametersSurviveTheRoundTrip) {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = 1;
  parameters->proZone = -18;
  parameters->proParams[0] = 0.25;
  hprj_CharStrCreate("UTM", &parameters->proName, nullptr);
  hprj_SpheroidByName(hint_GetInit(), "International 1909", parameters->proSpheroid, nullptr);
  hprj_DatumByName(hint_GetInit(), "European 1950", "International 1909",
                   &parameters->proSpheroid->datum, nullptr);
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  ASSERT_NE(projection, nullptr);
  Hprj_Projection* back = RoundTrip(projection);
  ASSERT_NE(back, nullptr);
  const auto* held = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(back, "Hprj_ProParameters"));
  ASSERT_NE(held, nullptr);
  EXPECT_TRUE(hprj_ProParametersEqual(held, parameters, nullptr));
  EXPECT_STREQ(held->proName, "UTM");
  EXPECT_STREQ(hprj_ProjectionWkt(back), hprj_ProjectionWkt(projection));
  double x = 0, y = 0;
  ASSERT_EQ(hprj_ProjectionFromGeographic(back, -75.0, -10.0, &x, &y, nullptr), 0);
  EXPECT_NEAR(x, 500000.0, 1e-6);

  // A projection without a name keeps having none.
  hprj_CharStrCreate(nullptr, &parameters->proName, nullptr);
  Hprj_Projection* unnamed = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  Hprj_Projection* unnamedBack = RoundTrip(unnamed);
  ASSERT_NE(unnamedBack, nullptr);
  EXPECT_EQ(static_cast<const Hprj_ProParameters*>(
                hprj_MapProjectionCSRGet(unnamedBack, "Hprj_ProParameters"))
                ->proName,
            nullptr);
  for (Hprj_Projection* p : {projection, back, unnamed, unnamedBack}) hprj_ProjectionFree(&p);
  hprj_ProParametersFree(&parameters);
}

TEST_F(ProjectionPersist, DefinitionsSurviveTheRoundTrip) {
  Hprj_Projection* projection = hprj_ProjectionFromDefinition("EPSG:32755", nullptr);
  ASSERT_NE(projection, nullptr);
  Hprj_Projection* back = RoundTrip(projection);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(hprj_MapProjectionCSRGet(back, "Hprj_ProParameters"), nullptr);
  EXPECT_STREQ(hprj_ProjectionWkt(back), hprj_ProjectionWkt(projection));
  double x = 0, y = 0;
  ASSERT_EQ(hprj_ProjectionFromGeographic(back, 149.5, -35.3, &x, &y, nullptr), 0);
  EXPECT_NEAR(x, 727317.5466, 1e-3);
  EXPECT_NEAR(y, 6090820.4118, 1e-3);
  hprj_ProjectionFree(&projection);
  hprj_ProjectionFree(&back);
}

TEST_F(ProjectionPersist, ElevationInfoSurvivesTheRoundTrip) {
  Hprj_ElevationInfo* info =
      hprj_ElevationInfoCreateByName("WGS 84", nullptr, "meters", "height", nullptr);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->datumName, "");
  void* object = nullptr;
  HmifDesign* design = nullptr;
  ASSERT_EQ(hprj_ElevationInfoConvertToMIFable(info, &object, &design, nullptr), 0);
  EXPECT_STREQ(hmif_DesignName(design), "Hprj_ElevationInfo");
  ASSERT_TRUE(ThroughBytes(&object, &design));
  Hprj_ElevationInfo* back = hprj_ElevationInfoConvertFromMIFable(object, design, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::memcmp(back, info, sizeof(Hprj_ElevationInfo)), 0);
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  hprj_ElevationInfoFree(&info);
  hprj_ElevationInfoFree(&back);
  EXPECT_EQ(back, nullptr);
  hprj_ElevationInfoFree(nullptr);
}

TEST_F(ProjectionPersist, ForeignOrMalformedObjectsAreRefused) {
  ErrorReport* err = nullptr;
  const std::string longName(HPRJ_NAME_SIZE, 'x');
  EXPECT_EQ(hprj_ElevationInfoCreateByName(longName.c_str(), "", "", "", &err), nullptr);
  Hprj_ElevationInfo* info = hprj_ElevationInfoCreateByName("a", "b", "c", "d", nullptr);
  void* object = nullptr;
  HmifDesign* design = nullptr;
  ASSERT_EQ(hprj_ElevationInfoConvertToMIFable(info, &object, &design, nullptr), 0);
  // An elevation-info object is not a projection.
  EXPECT_EQ(hprj_ProjectionConvertFromMIFable(object, design, &err), nullptr);
  EXPECT_EQ(hprj_ProjectionConvertFromMIFable(object, nullptr, &err), nullptr);
  // A count that does not match its text, and a text longer than the record holds.
  auto* texts = static_cast<Hmif_String*>(object);
  texts[1].count = 1;
  EXPECT_EQ(hprj_ElevationInfoConvertFromMIFable(object, design, &err), nullptr);
  hmif_PTRFreeContents(&texts[1]);
  texts[1].data = hstr_Duplicate(longName.c_str());
  texts[1].count = HPRJ_NAME_SIZE + 1;
  EXPECT_EQ(hprj_ElevationInfoConvertFromMIFable(object, design, &err), nullptr);
  // A projection object that holds neither parameters nor a definition.
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  Hprj_Projection* projection = hprj_ProjectionFromDefinition("EPSG:4326", nullptr);
  ASSERT_EQ(hprj_ProjectionConvertToMIFable(projection, &object, &design, nullptr), 0);
  hmif_PTRFreeContents(reinterpret_cast<Hmif_String*>(static_cast<char*>(object) + sizeof(void*)));
  EXPECT_EQ(hprj_ProjectionConvertFromMIFable(object, design, &err), nullptr);

  int reports = 0;
  for (const ErrorReport* r = err; r; r = herr_ErrorReportPrevious(r)) ++reports;
  EXPECT_GE(reports, 6);
  herr_DeleteErrorReportEx(&err);
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
}

TEST_F(ProjectionPersist, ExhaustedHeapFailsCleanly) {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = 1;
  parameters->proZone = 11;
  hprj_CharStrCreate("UTM", &parameters->proName, nullptr);
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", parameters->proSpheroid, nullptr);
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  ASSERT_NE(projection, nullptr);
  bool made = false;
  for (long allowance = 0; !made; ++allowance) {
    void* object = nullptr;
    HmifDesign* design = nullptr;
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(allowance);
    made = hprj_ProjectionConvertToMIFable(projection, &object, &design, &err) == 0;
    Hprj_Projection* back = made ? hprj_ProjectionConvertFromMIFable(object, design, &err) : nullptr;
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(made, object != nullptr);
    EXPECT_EQ(made && back, err == nullptr);
    if (made && !back) made = false;
    hprj_ProjectionFree(&back);
    hmif_ObjectFree(&object, design, nullptr);
    hmif_DesignDestroy(design);
    herr_DeleteErrorReportEx(&err);
  }
  hprj_ProjectionFree(&projection);
  hprj_ProParametersFree(&parameters);
}

}  // namespace
