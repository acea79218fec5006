// Where a model's image coordinates put (0, 0): a property of the model, set by the reader that
// knows its kind and kept by model files.
#ifndef SENMOD_IO_PIXEL_CONVENTION_H
#define SENMOD_IO_PIXEL_CONVENTION_H

namespace senmod_io {

enum class PixelConvention {
  Corner,  // the upper-left corner of the first pixel is (0, 0), as GDAL's pixel/line (RSM)
  Center   // the centre of the first pixel is (0, 0) (RPCs)
};

// "corner" or "center", as the summary names it.
inline const char* pixelConventionName(PixelConvention convention) {
  return convention == PixelConvention::Center ? "center" : "corner";
}

// What to add to image coordinates of the convention to give GDAL's pixel/line.
inline double gdalPixelShiftOf(PixelConvention convention) {
  return convention == PixelConvention::Center ? 0.5 : 0.0;
}

}  // namespace senmod_io

#endif
