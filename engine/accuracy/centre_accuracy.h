// The accuracy the model description gives: CE90 at the image centre.
#ifndef SENMOD_IO_CENTRE_ACCURACY_H
#define SENMOD_IO_CENTRE_ACCURACY_H

#include <optional>
#include <string>

#include "point_engine.h"

namespace senmod_io {

struct CentreAccuracy {
  double sample = 0, row = 0;  // the image centre, in the model's convention
  double height = 0;           // m, the model's mean height
  double ce90 = 0;             // m, with the height taken as exact
};

// CE90 of the image centre's ground point at the model's mean height; nothing for a model
// without an error covariance or whose centre does not reach the ground.
std::optional<CentreAccuracy> centreAccuracy(PointEngine& engine);

// The model's horizontal error at the image centre on its mean height, root mean square per
// axis (m): bias from its parameters' covariance, random from its unmodelled error; -1 for
// what it does not state. What an RPC's ERR_BIAS and ERR_RAND hold.
struct HorizontalErrors {
  double bias = -1.0;
  double random = -1.0;
};
HorizontalErrors centreHorizontalErrors(PointEngine& engine);

// As a JSON object ("null" for nothing), and as a line of text for people ("" for nothing).
std::string centreAccuracyJson(const std::optional<CentreAccuracy>& accuracy);
std::string centreAccuracyText(const std::optional<CentreAccuracy>& accuracy);

}  // namespace senmod_io

#endif
