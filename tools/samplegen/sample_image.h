// The pixels of the sample image: what the simulated camera sees of the terrain.
#ifndef SMODTOOL_SAMPLE_IMAGE_H
#define SMODTOOL_SAMPLE_IMAGE_H

#include <vector>

#include "frame_camera.h"

namespace samplegen {

// A ground point marked in the image: longitude, latitude (degrees), height (m).
struct Mark {
  double lon, lat, h;
};

// The terrain's hillshade as the camera sees it, columns x rows bytes row by row (40 ... 255),
// with a black cross centred on the image position of each mark (arms 25 pixels long and 3
// wide, edges antialiased so that the cross's centre of darkness is the mark). Pixel (c, r)
// shows the ground seen at camera coordinates (c + 0.5, r + 0.5): the camera's image
// coordinates start at the first pixel's upper-left corner.
std::vector<unsigned char> renderImage(const FrameCamera& camera, int columns, int rows,
                                       const std::vector<Mark>& marks);

}  // namespace samplegen

#endif
