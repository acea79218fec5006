// Ground-domain conversion: geodetic, geodetic hybrid (longitude 0 to 2 pi) or a rectangular
// frame given by an Earth-centred origin and a rotation.
#include "poly/ground_domain.h"

#include "common/error_slot.h"
#include "hostmodel.h"
#include "poly/messages.h"
#include "poly/plan_kernels.h"

namespace {

using senmod::kGroundFrameNotAvailable;

// Degrees per radian (180 / pi as a double).
constexpr double kRho = 57.29577951308232;
constexpr int32_t kRectangularCount = 12;

enum class Kind { Geodetic, Hybrid, Rectangular };

Kind kindOf(const Smod_Doubles& grndd) {
  if (grndd.count >= kRectangularCount) return Kind::Rectangular;
  if (grndd.count == 1) return Kind::Hybrid;
  return Kind::Geodetic;
}

// M[r][c] of the frame's rotation, stored row by row after the origin.
double rotation(const double* grndd, int r, int c) { return grndd[3 + 3 * r + c]; }

}  // namespace

namespace senmod {

const char* checkGroundFrame(const RSM_Model_Orig& rsm) {
  // A rectangular count is at least the 12 values read; only the values can be missing.
  return kindOf(rsm.grndd) == Kind::Rectangular && !rsm.grndd.data ? kGroundFrameNotAvailable
                                                                   : nullptr;
}

bool refinesHeight(const RSM_Model_Orig& rsm) {
  return rsm.obsoletePlaceHolder0 && kindOf(rsm.grndd) == Kind::Rectangular;
}

const char* convertGround(const RSM_Model_Orig& rsm, bool toGroundDomain, double x, double y,
                          double z, double* outX, double* outY, double* outZ) {
  const Kind kind = kindOf(rsm.grndd);
  const Hprj_ProParameters* parameters = rsm.obsoletePlaceHolder0;

  if (kind != Kind::Rectangular) {
    if (toGroundDomain) {
      if (kind == Kind::Hybrid && x < 0.0) x = x + 360.0;
      *outX = x / kRho;
      *outY = y / kRho;
      *outZ = z;
    } else {
      double longitude = x * kRho;
      if (kind == Kind::Hybrid && longitude > 180.0) longitude = longitude - 360.0;
      *outX = longitude;
      *outY = y * kRho;
      *outZ = z;
    }
    return nullptr;
  }

  if (const char* refusal = checkGroundFrame(rsm)) return refusal;
  const double* g = rsm.grndd.data;
  if (toGroundDomain) {
    double e[3] = {x, y, z};
    if (parameters) {
      // Parameters whose spheroid a host left out fail as a bad spheroid does.
      const Hprj_Spheroid* spheroid = parameters->proSpheroid;
      if (!spheroid || hmod_GeographicToGeocentric(x / kRho, y / kRho, z, &e[0], &e[1], &e[2],
                                                   spheroid->eSquared, spheroid->a) != 0) {
        return "hmod_GeographicToGeocentric failed";
      }
    }
    const double d[3] = {e[0] - g[0], e[1] - g[1], e[2] - g[2]};
    double r[3];
    for (int i = 0; i < 3; ++i) {
      double sum = 0.0;
      for (int j = 0; j < 3; ++j) sum = sum + rotation(g, j, i) * d[j];
      r[i] = sum;
    }
    *outX = r[0];
    *outY = r[1];
    *outZ = r[2];
    return nullptr;
  }

  const double p[3] = {x, y, z};
  double G[3];
  for (int i = 0; i < 3; ++i) {
    double sum = 0.0;
    for (int j = 0; j < 3; ++j) sum = sum + rotation(g, i, j) * p[j];
    G[i] = g[i] + sum;
  }
  if (!parameters) {
    *outX = G[0];
    *outY = G[1];
    *outZ = G[2];
    return nullptr;
  }
  const Hprj_Spheroid* spheroid = parameters->proSpheroid;
  double longitude;
  double latitude;
  double height;
  if (!spheroid || hmod_GeocentricToGeographic(G[0], G[1], G[2], &longitude, &latitude, &height,
                                               spheroid->eSquared, spheroid->a) != 0) {
    return "hmod_GeocentricToGeographic failed";
  }
  *outX = longitude * kRho;
  *outY = latitude * kRho;
  *outZ = height;
  return nullptr;
}

void convertGroundPoints(const RSM_Model_Orig& rsm, bool toGroundDomain, int32_t n, const double* x,
                         const double* y, const double* z, double* outX, double* outY, double* outZ,
                         uint8_t* ok) {
  const Kind kind = kindOf(rsm.grndd);
  if (kind == Kind::Rectangular) {
    for (int32_t j = 0; j < n; ++j)
      ok[j] = pointIsFinite(x[j], y[j], z[j]) &&
              !convertGround(rsm, toGroundDomain, x[j], y[j], z[j], &outX[j], &outY[j], &outZ[j]);
    return;
  }
  geodeticPoints(toGroundDomain, kind == Kind::Hybrid, n, x, y, outX, outY);
  for (int32_t j = 0; j < n; ++j) {
    outZ[j] = z[j];
    ok[j] = 1;
  }
}

}  // namespace senmod

extern "C" void smod_RSMConvertGRNDD(const RSM_Model* model, int toGroundDomain, double x, double y,
                                     double z, double* outX, double* outY, double* outZ,
                                     ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RSMConvertGRNDD");
  if (!model) {
    SMOD_FAIL(slot, senmod::kModelNotAvailable);
    return;
  }
  if (!senmod::pointIsFinite(x, y, z)) {
    SMOD_FAIL(slot, senmod::kPointNotFinite);
    return;
  }
  if (const char* failure =
          senmod::convertGround(model->rsm, toGroundDomain != 0, x, y, z, outX, outY, outZ)) {
    SMOD_FAIL(slot, failure);
  }
}
