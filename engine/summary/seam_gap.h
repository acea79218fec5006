// How far a model's sections disagree along their seams: sections fitted separately never meet
// exactly, and a point near a seam lands a little differently on either side.
#ifndef SENMOD_IO_SEAM_GAP_H
#define SENMOD_IO_SEAM_GAP_H

#include <limits>

#include "senmod/senmod.h"

namespace senmod_io {

// The gaps of some seams.
struct SeamStats {
  int seams = 0;       // seams between neighbouring sections inside the image domain
  long points = 0;     // seam points carried across
  long failed = 0;     // seam points that could not be (a section that cannot take them)
  double largest = std::numeric_limits<double>::quiet_NaN();  // pixels; NaN: no point carried
};

struct SeamGap {
  SeamStats betweenRows;     // seams between a row of sections and the next (along a row)
  SeamStats betweenColumns;  // seams between a column of sections and the next
  SeamStats all() const;
};

// Spacing (pixels) of the points along a seam, and their least and largest number per seam.
constexpr double kSeamStep = 4.0;
constexpr long kSeamPointsMin = 17;
constexpr long kSeamPointsMax = 1025;

// The seams of model's section grid (rowSections x colSections sections, row by row): between
// each two neighbouring sections, along the stretch of their boundary inside the image domain,
// points every kSeamStep pixels (ends included, at least kSeamPointsMin). Each point is carried
// to the ground at the mean height z_mean through one section (the upper or left one, else the
// other when that one cannot), then to the image through both: the gap is the distance (pixels)
// between the two image points. A model of one section, or whose grid does not fit its section
// list or its image domain, has no seams. Seams between rows lie along a row (a section above,
// one below); seams between columns along a sample.
SeamGap seamGap(const RSM_Model& model);

}  // namespace senmod_io

#endif
