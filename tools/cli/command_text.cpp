#include "command_text.h"

#include <cstring>

namespace senmod_cli {

namespace {

constexpr const char* kPointCommands = "ground-to-image image-to-ground accuracy";
constexpr const char* kHeightCommands =
    "ground-to-image image-to-ground accuracy ortho footprint";
// Those and refine, whose points without a height take the DEM's.
constexpr const char* kDemCommands =
    "ground-to-image image-to-ground accuracy ortho footprint refine";
constexpr const char* kModelCommands =
    "info ground-to-image image-to-ground accuracy convert ortho footprint refine";

}  // namespace

const CommandText kCommandTexts[] = {
    {"info", "MODEL",
     "Describes the model: its source, pixel convention, sections and how far they disagree "
     "along their seams, image and ground domains and covariance records."},
    {"ground-to-image", "MODEL",
     "Reads \"longitude latitude [height]\" lines (degrees, metres above the ellipsoid) and "
     "writes \"sample row\" lines."},
    {"image-to-ground", "MODEL",
     "Reads \"sample row [height]\" lines and writes \"longitude latitude height\" lines. Each "
     "result is carried back to the image; one that misses its image point by more than "
     "--max-residual fails. With a DEM the point is iterated to the terrain, then computed "
     "again at the DEM height read there."},
    {"accuracy", "MODEL",
     "Reads \"sample row [height]\" lines, carries each point to the ground as image-to-ground "
     "does and writes \"longitude latitude height ce90 le90 sigma_east sigma_north sigma_up\" "
     "lines: the radius (m) of the circle that holds 90 % of the ground point's horizontal "
     "error, 1.6449 times its height error, and the standard deviations (m), from the model's "
     "error covariance, --height-sigma and --image-sigma. A model without an error covariance "
     "is refused."},
    {"convert", "MODEL OUT",
     "Writes the model with its covariance records to the model file OUT (.smod), or, with --to "
     "rpc, an RPC fitted to it that GDAL's tools read (QGIS, rasterio, gdalwarp -rpc): the "
     "sidecar OUT named IMAGE.RPB or IMAGE_rpc.txt for the image IMAGE.tif or IMAGE.ntf, or "
     "with --image a copy OUT (.tif or .ntf) of that image with the RPC in it (GeoTIFF RPC tag, "
     "NITF RPC00B record), its own georeferencing left out. The fit: a grid of --grid x --grid "
     "image points at --heights heights over the ground domain's height range, carried to the "
     "ground by the model; the RPC's residual, measured as GDAL reads it back against the "
     "model's ground to image on a grid twice as dense (pixels, GDAL's pixel/line), is printed "
     "as its mean and largest. ERR_BIAS and ERR_RAND are the model's own bias and random error "
     "per horizontal axis in metres (see accuracy; -1 when unknown, which GDAL's NITF driver "
     "writes as 0, RPC00B's field holding no sign), ERR_RAND with the fit's RMS added."},
    {"ortho", "IMAGE -o OUT",
     "Warps IMAGE (any raster GDAL reads; its model is read from it unless --model names "
     "another file) onto a map grid with GDAL's warper, the model as its transformer. The grid "
     "defaults to the WGS 84 UTM zone of the image centre, square cells of the ground sample "
     "distance at the image centre and the image's outline on the ground. Every band is "
     "carried; where the image does not reach, the output holds the image's no-data value, NaN "
     "for real pixels, or an added alpha band. The output is written under a temporary name "
     "and renamed when complete; an interrupted run leaves nothing."},
    {"footprint", "MODEL",
     "Writes the image's outline carried to the ground (a point every --step pixels along its "
     "edges) as a polygon with the model's source, the image size and the heights used as "
     "properties: GeoJSON on standard output, or to -o OUT in the format its extension names "
     "(.geojson, .json, .gpkg, .shp, .kml, .fgb)."},
    {"refine", "MODEL --gcps FILE -o OUT.smod",
     "Refines the model with ground control points: solves for adjustable parameters by "
     "weighted least squares so that the model carries the surveyed ground points to where "
     "they were measured, writes the refined model (its parameters' values and their "
     "posterior covariance, which the accuracy of later calls comes from) to the model file "
     "OUT.smod and prints the report: each point's residual before and after in pixels and "
     "metres, the RMS before and after, each parameter's value and standard deviation. Points "
     "whose normalised residual (the residual in units of its stated error) exceeds 3 are "
     "flagged. A file of points that cannot be read, too few points for the parameters, a "
     "point outside the image, points on a line or at one point, and a solution that does not "
     "converge are refused, and nothing is written."},
};
const int kCommandCount = sizeof kCommandTexts / sizeof kCommandTexts[0];

const OptionText kOptionTexts[] = {
    {"--json", "", "", "info refine",
     "Writes the description (info) or the report (refine) as one JSON object."},
    {"--gcps", "", "FILE", "refine",
     "The ground control points: lines \"sample row longitude latitude height [sigma_h sigma_v "
     "sigma_px] [id]\" (blanks or commas, # comments; degrees, metres above the ellipsoid, "
     "pixels in the model's convention; standard deviations in metres horizontal and vertical "
     "and in pixels, by default 0, 0 and 1), a CSV whose first line names those columns, or a "
     "GeoJSON FeatureCollection of Points with properties sample and row. A height \"nan\" "
     "is read from --dem."},
    {"--params", "", "SET", "refine",
     "The parameters to solve for: model (the model's own adjustable parameters, with their "
     "covariance as prior; the default), image-offset (a row and sample shift), image-affine "
     "(a shift plus terms linear in local east and north), ground-offset (a ground shift east, "
     "north and up) or ground-offset-rotation (plus small rotations about those axes)."},
    {"--max-iterations", "", "N", "refine",
     "The most Gauss-Newton iterations (default 10); a solution that has not converged by then "
     "is refused."},
    {"--reject", "", "", "refine",
     "Leaves out the point with the largest normalised residual above 3 and solves again, "
     "while one is flagged and enough points remain."},
    {"--dem", "", "DEM", kDemCommands,
     "Heights from this raster DEM (any raster GDAL reads, in any coordinate system): read at "
     "each ground point, or iterated to from image to ground. Points off the DEM or next to a "
     "cell without data take the DEM's mean height, and are counted; a DEM without a valid cell "
     "gives every point the model's mean height."},
    {"--height", "", "H",
     kHeightCommands,
     "The height (metres above the ellipsoid) of every point without one of its own. Without "
     "--dem and --height, the model's mean height."},
    {"--strict-dem", "", "", kPointCommands,
     "A point the DEM does not answer fails instead of taking the mean height."},
    {"--height-sigma", "", "METRES", "accuracy",
     "The standard deviation of the heights the points are carried to (default 0)."},
    {"--image-sigma", "", "PIXELS", "accuracy",
     "The standard deviation of the image points' measurement, in sample and in row (default "
     "0)."},
    {"--max-residual", "", "PIXELS", "image-to-ground accuracy convert",
     "image-to-ground, accuracy: pixels by which a result may miss its image point when "
     "carried back (default 0.001). convert --to rpc: the largest residual (pixels) the RPC may "
     "have; a worse fit is refused and nothing is written."},
    {"--extrapolate", "", "", kPointCommands,
     "Transforms points outside the model's domain (beyond a quarter of its extent on any side) "
     "too, where its polynomials are not valid; they are refused otherwise."},
    {"--stop-on-error", "", "", kPointCommands,
     "Stops at the first point that fails, after writing the points before it."},
    {"-i", "", "IN", kPointCommands, "Reads points from IN instead of standard input."},
    {"-o", "", "OUT", "ground-to-image image-to-ground accuracy ortho footprint refine",
     "Writes to OUT instead of standard output (ortho and refine need it)."},
    {"--model", "", "MODEL", "ortho", "Reads the model from MODEL instead of the image."},
    {"--t_srs", "-t_srs", "SRS", "ortho",
     "The output coordinate system: an EPSG code, WKT or a PROJ string."},
    {"--tr", "-tr", "XRES YRES", "ortho", "The output cell size, in the system's units."},
    {"--te", "-te", "XMIN YMIN XMAX YMAX", "ortho", "The output extent, in the system's units."},
    {"-r", "", "METHOD", "ortho", "Resampling: near (default), bilinear, cubic or lanczos."},
    {"--threads", "", "N", "ortho", "Warping threads (default: every core)."},
    {"--max-cells", "", "N", "ortho",
     "The most cells the output grid may hold (default 2^32, a 65536 x 65536 grid); a larger "
     "grid is refused before anything is written."},
    {"--co", "-co", "NAME=VALUE", "ortho",
     "A creation option of the output driver, over the defaults (tiled DEFLATE for GeoTIFF); "
     "may be repeated."},
    {"--of", "-of", "FORMAT", "ortho",
     "The GDAL raster driver of the output (default: from OUT's extension: GTiff for .tif, COG "
     "for .cog.tif)."},
    {"--progress", "", "", "ortho",
     "A progress bar on standard error (the default when it is a terminal)."},
    {"--quiet", "-q", "", "ortho", "Prints nothing but errors."},
    {"--step", "", "PIXELS", "footprint", "Pixels between outline points (default 64)."},
    {"--to", "", "KIND", "convert",
     "What convert writes: smod (the model file; the default) or rpc (an RPC for GDAL)."},
    {"--degree", "", "N", "convert",
     "The RPC's degree: 1, 2 or 3 (the default); terms of a higher degree are zero."},
    {"--grid", "", "N", "convert",
     "Fitting points per image side, from the degree + 1 to 200 (default 20)."},
    {"--heights", "", "N", "convert",
     "Height layers of the fit, from the degree + 1 to 50 (default 7), spanning the ground "
     "domain's heights (at least 100 m)."},
    {"--image", "", "IMAGE", "convert",
     "Writes OUT as a copy of IMAGE with the RPC: a GeoTIFF for .tif, a NITF file for .ntf."},
    {"--config", "", "KEY VALUE", kModelCommands, "Sets a GDAL configuration option."},
    {"--help", "-h", "", kModelCommands, "Prints the command's usage."},
};
const int kOptionCount = sizeof kOptionTexts / sizeof kOptionTexts[0];

const CommandText* commandText(const std::string& name) {
  for (int i = 0; i < kCommandCount; ++i) {
    if (name == kCommandTexts[i].name) return &kCommandTexts[i];
  }
  return nullptr;
}

bool takes(const OptionText& o, const std::string& command) {
  const char* at = o.commands;
  const size_t length = command.size();
  while ((at = std::strstr(at, command.c_str())) != nullptr) {
    const bool starts = at == o.commands || at[-1] == ' ';
    const bool ends = at[length] == '\0' || at[length] == ' ';
    if (starts && ends) return true;
    at += length;
  }
  return false;
}

int valueCount(const OptionText& o) {
  if (!*o.value) return 0;
  int count = 1;
  for (const char* c = o.value; *c; ++c) count += *c == ' ';
  return count;
}

namespace {

// Options that every command takes and the synopsis leaves out.
bool general(const OptionText& o) {
  return std::strcmp(o.name, "--help") == 0 || std::strcmp(o.name, "--config") == 0;
}

std::string synopsis(const CommandText& c) {
  std::string text = std::string("senmod ") + c.name + " " + c.synopsis;
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionText& o = kOptionTexts[i];
    if (!takes(o, c.name) || general(o)) continue;
    // One that the synopsis names already.
    if (std::strstr(c.synopsis, (std::string(o.name) + " ").c_str())) continue;
    text += std::string(" [") + o.name + (*o.value ? std::string(" ") + o.value : "") + "]";
  }
  return text;
}

// Text wrapped at 96 columns, each line indented by indent.
std::string wrapped(const std::string& text, const std::string& indent) {
  std::string out;
  std::string line = indent;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (line.size() > indent.size() && line.size() + 1 + word.size() > 96) {
      out += line + "\n";
      line = indent;
    }
    line += (line.size() > indent.size() ? " " : "") + word;
    at = end + 1;
  }
  return out + line + "\n";
}

// Text for roff: backslashes doubled, hyphens escaped, a leading dot guarded.
std::string roff(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

}  // namespace

std::string usageText() {
  std::string text;
  for (int i = 0; i < kCommandCount; ++i) {
    text += (i == 0 ? "usage: " : "       ") + synopsis(kCommandTexts[i]) + "\n";
  }
  return text +
         "       senmod --version\n"
         "MODEL: a NITF file with RSM records, a raster with RPCs, or a model file (.smod).\n"
         "Every command takes --help (its usage) and --config KEY VALUE (a GDAL option).\n";
}

std::string commandHelp(const std::string& command) {
  const CommandText* c = commandText(command);
  if (!c) return usageText();
  std::string text = "usage: " + synopsis(*c) + "\n\n" + wrapped(c->purpose, "") + "\noptions:\n";
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionText& o = kOptionTexts[i];
    if (!takes(o, command)) continue;
    text += std::string("  ") + o.name + (*o.alias ? std::string(", ") + o.alias : "") +
            (*o.value ? std::string(" ") + o.value : "") + "\n" + wrapped(o.help, "      ");
  }
  return text;
}

std::string manPage(const std::string& version) {
  std::string page = ".TH SENMOD 1 \"\" \"senmod " + version + "\" \"User Commands\"\n";
  page += ".SH NAME\nsenmod \\- ground and image coordinates, orthorectification and footprints "
          "from the sensor model of an image\n";
  page += ".SH SYNOPSIS\n";
  for (int i = 0; i < kCommandCount; ++i) {
    page += (i ? ".br\n" : "") + roff(synopsis(kCommandTexts[i])) + "\n";
  }
  page += ".br\nsenmod \\-\\-version\n";
  page +=
      ".SH DESCRIPTION\n.B senmod\nreads the sensor model of an image file (rational polynomial "
      "sections that map ground to image) and carries points between the ground and the image "
      "with it, through the senmod engine (libsenmod_io).\n.PP\n.I MODEL\nis a NITF file with "
      "RSM records (in any image segment: GDAL's NITF_IM:n:file names segment n), any raster "
      "with RPCs that GDAL reads (RPC00B in NITF, RPC metadata of GeoTIFF and its sidecar "
      "files), or a model file written by\n.BR \"senmod convert\" .\n";
  page += ".SH COMMANDS\n";
  for (int i = 0; i < kCommandCount; ++i) {
    page += ".TP\n.B " + roff(kCommandTexts[i].name) + "\n" + roff(kCommandTexts[i].purpose) +
            "\n";
  }
  page += ".SH OPTIONS\n";
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionText& o = kOptionTexts[i];
    page += ".TP\n.B " + roff(o.name) + (*o.alias ? ", " + roff(o.alias) : "") +
            (*o.value ? " \\fI" + roff(o.value) + "\\fR" : "") + "\n" + roff(o.help) +
            " (" + roff(o.commands) + ")\n";
  }
  page +=
      ".SH INPUT AND OUTPUT\nOne point a line, fields separated by commas or blanks; blank lines "
      "and lines starting with # are skipped. A height on the line wins; else \\-\\-height; else "
      "the DEM; else the model's mean height. Numbers are written in the shortest form that "
      "reads back as the same double.\n.PP\nImage coordinates are in the model's own pixel "
      "convention (senmod info shows it): for RSM models the upper-left corner of the first "
      "pixel is sample 0, row 0, as GDAL's pixel/line; for RPCs the centre of the first pixel is "
      "(GDAL's pixel/line is 0.5 more).\n.PP\nEvery input line gets one output line, in order. "
      "A point that fails is written as nan nan (nan nan nan from image to ground); its line "
      "number and reason go to standard error, and a count per reason at the end.\n";
  page +=
      ".SH EXIT STATUS\n.TP\n.B 0\nevery point was transformed.\n.TP\n.B 1\na point failed, or "
      "a malformed input line (which stops the command after the points before it).\n.TP\n.B 2\n"
      "a bad command line, or an image, model, DEM, coordinate system or output file that "
      "cannot be used.\n";
  page +=
      ".SH EXAMPLE\n.nf\nsenmod image\\-to\\-ground scene.ntf \\-\\-dem dem.tif \\-i points.txt "
      "\\-o ground.txt\nsenmod ground\\-to\\-image scene.ntf \\-\\-height 120 \\-i ground.txt\n"
      "senmod ortho scene.ntf \\-\\-dem dem.tif \\-r bilinear \\-o scene_ortho.tif\nsenmod "
      "footprint scene.ntf \\-\\-dem dem.tif \\-o scene_footprint.geojson\nsenmod refine "
      "scene.ntf \\-\\-gcps gcps.txt \\-\\-params ground\\-offset \\-o scene.smod\n.fi\n";
  page += ".SH SEE ALSO\nThe engine's interface header\n.IR senmod/senmod_io.h .\n";
  return page;
}

}  // namespace senmod_cli
