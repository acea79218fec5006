// The Python module senmod: the engine's face (senmod/senmod_io.h) on numpy arrays.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <memory>

#include "face.h"
#include "model.h"
#include "senmod/version.h"

namespace py = pybind11;

namespace {

// The footprint's class: a GeoJSON FeatureCollection that is its own __geo_interface__, so that
// shapely.geometry.shape and GeoPandas take it as it is.
constexpr const char* kFootprintClass = R"(
class Footprint(dict):
    """The image's outline on the ground: a GeoJSON FeatureCollection (a dict) of one Feature
    whose geometry is a Polygon of WGS 84 longitude and latitude (degrees), its ring closed and
    counter-clockwise, and whose properties are source, image_width and image_height (pixels),
    heights (where they came from), lowest_height and highest_height (m) and step (pixels).
    left_out: how many edge points did not reach the ground and were left out."""

    left_out = 0

    @property
    def __geo_interface__(self):
        return self
)";

}  // namespace

PYBIND11_MODULE(senmod, m) {
  using senmod_python::Model;
  m.doc() = R"(Sensor models of images: ground to image and back on numpy arrays.

senmod.open reads the model of a NITF file with RSM records, of any raster with RPCs that GDAL
reads, or of a model file written by Model.save (or `senmod convert`).

Units everywhere: ground points are WGS 84 longitude and latitude in degrees with heights in
metres above the ellipsoid; image points are (sample, row) in pixels in the model's own
convention (the one of the senmod command; info()["pixel_convention"]): for RSM records (0, 0)
is the upper-left corner of the first pixel, for RPCs the centre of the first pixel.

A point that cannot be transformed is NaN in every output and has a status other than
POINT_OK and POINT_OFF_DEM (return_status=True). Every other failure raises senmod.Error.)";
  m.attr("__version__") = SENMOD_VERSION;

  static py::exception<senmod_python::FaceError> error(m, "Error", PyExc_RuntimeError);
  error.attr("__doc__") =
      "A model, file, DEM or option that cannot be used; the text is the whole report chain.";
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const senmod_python::FaceError& e) {
      // The text names files whose names need not be UTF-8: such bytes show as \xNN.
      const char* what = e.what();
      PyObject* text = PyUnicode_DecodeUTF8(what, static_cast<Py_ssize_t>(std::strlen(what)),
                                            "backslashreplace");
      if (text) {
        PyErr_SetObject(error.ptr(), text);
        Py_DECREF(text);
      }
    }
  });

  m.attr("POINT_OK") = static_cast<int>(SMOD_POINT_OK);
  m.attr("POINT_OFF_DEM") = static_cast<int>(SMOD_POINT_OFF_DEM);
  m.attr("POINT_OUTSIDE_DOMAIN") = static_cast<int>(SMOD_POINT_OUTSIDE_DOMAIN);
  m.attr("POINT_NOT_CONVERGED") = static_cast<int>(SMOD_POINT_NOT_CONVERGED);
  m.attr("POINT_FAILED") = static_cast<int>(SMOD_POINT_FAILED);
  m.attr("DEFAULT_MAX_RESIDUAL") = SMOD_DEFAULT_MAX_RESIDUAL;

  py::dict scope;
  scope["__name__"] = "senmod";
  py::exec(kFootprintClass, scope);
  m.attr("Footprint") = scope["Footprint"];

  py::class_<Model>(m, "Model", R"(A sensor model opened from a file (see senmod.open).

Calls on one model may run on many threads at once, without the GIL; a call that sets another
DEM or a max_residual runs alone. The DEM a call names is read once and kept for the next calls
that name the same path, and read again when its file was rewritten or replaced since (its size,
times or inode changed; files it refers to, such as a VRT's sources, are not watched).
Pickling reopens the model from its path (relative to the working directory of the process
that unpickles it) with the DEM it had.

Paths are str, bytes or os.PathLike, as the os module takes them: a name that is not UTF-8
reaches the file system as its bytes; texts that name it show its bytes that are not UTF-8 as
U+FFFD (info(), footprints, ortho results) or as \xNN (error texts).)")
      .def_property_readonly("path", &Model::path, "The file the model was opened from.")
      .def("info", &Model::info,
           R"(The model's description as a dict (the JSON of `senmod info --json`): source,
kind, pixel convention, image size (pixels), sections, domains (vertices in the units that
"vertex_units" names), covariance records, seam disagreement (pixels) and the footprint at the
mean height (degrees).)")
      .def("save", &Model::save, py::arg("path"),
           R"(Writes the model with its covariance records to the model file path (str, bytes or
os.PathLike), under a temporary name renamed when complete; raises senmod.Error.)")
      .def("ground_to_image", &Model::groundToImage, py::arg("lon"), py::arg("lat"),
           py::arg("h") = py::none(), py::arg("dem") = py::none(), py::arg("return_status") = false,
           R"(Image points of ground points: (sample, row), or (sample, row, status).

lon, lat: degrees (WGS 84); h: metres above the ellipsoid. lon, lat and h broadcast against
each other as numpy arrays do (a number h serves every point); the outputs have the broadcast
shape. Without h the heights come from the raster DEM at path dem (bilinear), or, when dem is
None, the model's mean height; h and dem together raise ValueError.

sample, row: pixels in the model's convention (float64). status (int32, return_status=True):
per point one of POINT_OK, POINT_OFF_DEM (off the DEM or on no-data: the mean height was used),
POINT_OUTSIDE_DOMAIN, POINT_FAILED. A failed point is NaN in sample and row.)")
      .def("image_to_ground", &Model::imageToGround, py::arg("sample"), py::arg("row"),
           py::arg("h") = py::none(), py::arg("dem") = py::none(),
           py::arg("max_residual") = py::none(), py::arg("return_status") = false,
           R"(Ground points of image points: (lon, lat, h), or (lon, lat, h, status).

sample, row: pixels in the model's convention; h: metres above the ellipsoid. They broadcast as
numpy arrays do; the outputs have the broadcast shape. Without h each point is iterated onto the
raster DEM at path dem and computed once more at the DEM height found there, or, when dem is
None, put at the model's mean height; h and dem together raise ValueError.

lon, lat: degrees (WGS 84); h: the height each point used (m). Every result is carried back to
the image: one that misses its image point by more than max_residual pixels (default
DEFAULT_MAX_RESIDUAL, 0.001; for this call only) fails with POINT_NOT_CONVERGED. status (int,
return_status=True) as in ground_to_image. A failed point is NaN in lon, lat and h.)")
      .def("refine", &Model::refine, py::arg("gcps"), py::arg("params") = py::none(),
           py::arg("max_iterations") = 10, py::arg("reject") = false,
           py::arg("dem") = py::none(),
           R"(The model refined with ground control points: (refined Model, report dict).

gcps: a file (text lines "sample row lon lat h [sigma_h sigma_v sigma_px] [id]", a CSV with a
header naming those columns, or a GeoJSON FeatureCollection of Points with properties sample and
row), or an (n, 5..8) array of sample, row, lon, lat, h[, sigma_h, sigma_v, sigma_px]: pixels in
the model's convention, degrees, metres above the ellipsoid; standard deviations in m
horizontal, m vertical and px, by default 0, 0 and 1. A height NaN is read from the raster DEM
at path dem. params: "model" (the model's own parameters with their covariance as prior; the
default), "image-offset", "image-affine", "ground-offset" or "ground-offset-rotation".
max_iterations: the most Gauss-Newton iterations. reject: leave out the point of the largest
normalised residual above 3 and solve again, while one is flagged and enough points remain.

The refined model carries the solution and its posterior covariance as its adjustable
parameters; save it with Model.save (it cannot be pickled). The report holds each point's
residuals before and after (px and m), the RMS before and after, each parameter's value and
sigma. Raises senmod.Error naming the cause for too few points, points outside the image,
points on a line or at one point, and a solution that does not converge.)")
      .def("footprint", &Model::footprint, py::arg("dem") = py::none(),
           py::arg("height") = py::none(), py::arg("step") = 64.0,
           R"(The image's outline on the ground as a senmod.Footprint (a GeoJSON
FeatureCollection dict with __geo_interface__).

The image's edges are walked a point every step pixels and at every corner, carried to the
ground at height (m) or onto the raster DEM at path dem, or, with neither, at the model's mean
height; height and dem together raise ValueError. Edge points that do not reach the ground are
left out (counted in left_out, with a RuntimeWarning); fewer than three that do raise
senmod.Error.)")
      .def("ortho", &Model::ortho, py::arg("image"), py::arg("output"), py::arg("dem") = py::none(),
           py::arg("height") = py::none(), py::arg("t_srs") = py::none(),
           py::arg("tr") = py::none(), py::arg("te") = py::none(), py::arg("resampling") = "near",
           py::arg("threads") = py::none(), py::arg("co") = py::none(),
           py::arg("format") = py::none(),
           R"(Orthorectifies the raster image through this model onto a map grid written to
output; returns what was written as a dict: "output", "columns", "rows" (cells),
"geotransform" (GDAL's six numbers in t_srs units), "srs" (WKT), "srs_name", "bands" and
"warnings" (texts for people, such as a DEM that does not cover the whole image).

Heights from the raster DEM at path dem, or the constant height (m), or the model's mean height;
height and dem together raise ValueError. t_srs: the grid's coordinate system (an EPSG code
such as "EPSG:32633", WKT, a PROJ string; default the WGS 84 UTM zone of the image centre).
tr: (xres, yres), the cell size in t_srs units (default the ground sample distance at the image
centre). te: (xmin, ymin, xmax, ymax) in t_srs units (default the footprint snapped outwards to
whole cells). resampling: near, bilinear, cubic or lanczos. threads: warping threads (default
every core). co: creation options, a list of "NAME=VALUE" texts or a dict, over the defaults
(tiled, DEFLATE). format: a GDAL raster driver that creates files (default GTiff; COG).

The output is written under a temporary name renamed when complete: after an error or Ctrl-C
nothing is left under output. Raises senmod.Error.)")
      .def("adjustable_parameters", &Model::adjustableParameters,
           R"(The model's adjustable parameters as a dict: "names" (list of the terms each drives,
"GXO", "IRX", "GXO+GYO"), "values" (float64 array: m, radians, px as their terms), "covariance"
(float64 array (n, n), or None when the model has none) and "source" (the records they come
from, or None for a model without parameters). The README's Accuracy section says how each
term moves a ground point or an image position.)")
      .def("with_parameters", &Model::withParameters, py::arg("values"),
           R"(A new senmod.Model: this one with its adjustable parameters at values (a sequence
of as many finite numbers as it has parameters), with the same DEM. Pickling keeps the values.
Raises senmod.Error for a model without parameters or a wrong count.)")
      .def("image_covariance", &Model::imageCovariance, py::arg("lon"), py::arg("lat"),
           py::arg("h") = py::none(), py::arg("dem") = py::none(),
           R"(The covariance (px²) of the image positions of ground points, from the
parameters' covariance and the unmodelled error: a float64 array of shape (..., 2, 2), sample
then row. lon, lat, h and dem as in ground_to_image. NaN for points that fail. Raises
senmod.Error for a model without an error covariance.)")
      .def("ground_covariance", &Model::groundCovariance, py::arg("sample"), py::arg("row"),
           py::arg("dem") = py::none(), py::arg("height") = py::none(),
           py::arg("height_sigma") = 0.0, py::arg("image_sigma") = 0.0,
           R"(The covariance (m²) of the ground points of image points in their local east,
north, up frame: a float64 array of shape (..., 3, 3). The points are carried to the ground at
height (m) or onto the raster DEM at path dem, or at the model's mean height; height_sigma (m)
is the standard deviation of that height, image_sigma (px) that of the image measurement.
NaN for points that fail. Raises senmod.Error for a model without an error covariance.)")
      .def("accuracy", &Model::accuracy, py::arg("sample"), py::arg("row"),
           py::arg("dem") = py::none(), py::arg("height") = py::none(),
           py::arg("height_sigma") = 0.0, py::arg("image_sigma") = 0.0,
           R"(The accuracy of the ground points of image points, taken as ground_covariance
takes them: a dict of float64 arrays "lon", "lat", "h" (the ground points), "ce90" (m: the
radius of the circle that holds 90 % of the horizontal error, computed exactly) and "le90"
(m: 1.6449 σ of the height).)")
      .def("to_rpc", &Model::toRpc, py::arg("path"), py::arg("degree") = 3,
           py::arg("grid") = py::none(), py::arg("heights") = py::none(),
           py::arg("image") = py::none(), py::arg("max_residual") = py::none(),
           py::arg("format") = py::none(),
           R"(Fits an RPC (GDAL's RPC00B model) to this model and writes it where GDAL reads
it: the sidecar path named IMAGE.RPB or IMAGE_rpc.txt, or, with image, a copy path (.tif or
.ntf) of the raster image with the RPC in it, its own georeferencing left out. format (RPB,
RPCTXT, GTIFF, NITF) overrides the choice by path's name.

The fit: grid x grid image points (default 20) at heights layers (default 7) spanning the ground
domain's heights, carried to the ground by this model; degree 1, 2 or 3 (higher terms zero).
Image coordinates in the RPC are GDAL's, so that GDAL's RPC transformer gives this model's
pixel/line. Returns a dict: "residual_mean_px", "residual_max_px", "residual_rms_px" (the RPC
as GDAL reads it back against this model's ground to image, on a grid twice as dense),
"check_points", "fit_points", "err_bias_m" and "err_rand_m" (the model's own bias and random
error per horizontal axis in metres, -1 when unknown; the random one with the fit's RMS
added), "warnings", ... An RPC whose largest residual exceeds max_residual pixels
raises senmod.Error and nothing is left under path.)")
      .def(py::pickle([](Model& model) { return model.state(); },
                      [](const py::tuple& state) { return Model::fromState(state); }))
      .def("__repr__", [](const Model& model) {
        return "<senmod.Model " + std::string(py::repr(model.path())) + ">";
      });

  m.def(
      "open", [](const py::object& path) { return std::make_unique<Model>(path); }, py::arg("path"),
      R"(Opens the sensor model of the file path (str, bytes or os.PathLike): a NITF file
with RSM records ("NITF_IM:n:file" names image segment n), a raster with RPCs, or a model file.
Raises senmod.Error naming the file (and the record and field of a bad record).)");
  m.def(
      "library_version", [] { return std::string(smod_VersionString()); },
      "The version of the loaded libsenmod_io, which may differ from __version__ (the headers "
      "the module was built with).");
}
