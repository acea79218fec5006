#include "model_summary.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "number_text.h"
#include "read_error.h"
#include "seam_gap.h"

namespace senmod_io {

using senmod_text::numberText;

namespace {

constexpr double kDegreesPerRadian = 57.295779513082320876798154814105;

std::string number(double value) { return numberText(value); }

std::string quoted(const std::string& text) { return jsonText(text); }

// The UTF-8 sequence at text[at]: its length when it is well-formed (Unicode's table of
// well-formed byte sequences), else minus the length of its longest prefix that begins one (at
// least 1).
long utf8Sequence(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  long length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return -1;
  }
  for (long k = 1; k < length; ++k) {
    if (at + k >= text.size()) return -k;
    const auto c = static_cast<unsigned char>(text[at + k]);
    if (c < low || c > high) return -k;
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

}  // namespace

std::string jsonNumber(double value) {
  return std::isfinite(value) ? numberText(value) : "null";
}

std::string validUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const long length = utf8Sequence(text, i);
    if (length < 0) {
      out += "\xEF\xBF\xBD";
      i += static_cast<size_t>(-length);
    } else {
      out.append(text, i, static_cast<size_t>(length));
      i += static_cast<size_t>(length);
    }
  }
  return out;
}

// Texts come from files and file names, which need not be UTF-8, and JSON must be.
std::string jsonText(const std::string& text) {
  std::string out = "\"";
  for (const char ch : validUtf8(text)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

namespace {

std::string numbers(const double* values, int count, const char* separator) {
  std::string out;
  for (int i = 0; i < count; ++i) out += (i ? separator : "") + number(values[i]);
  return out;
}

const char* groundDomainKind(const RSM_Model_Orig& rsm) {
  if (rsm.grndd.count >= 12) return "rectangular";
  if (rsm.grndd.count == 1) return "geodetic hybrid";
  return "geodetic";
}

// Powers of one section as "sample numerator x y z, ..." with a key that groups equal ones.
std::string powers(const RSMFunctions& s) {
  auto three = [](int32_t x, int32_t y, int32_t z) {
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z);
  };
  return "sample numerator " +
         three(s.sampleNumeratorPowerX, s.sampleNumeratorPowerY, s.sampleNumeratorPowerZ) +
         ", sample denominator " +
         three(s.sampleDenominatorPowerX, s.sampleDenominatorPowerY, s.sampleDenominatorPowerZ) +
         ", row numerator " +
         three(s.rowNumeratorPowerX, s.rowNumeratorPowerY, s.rowNumeratorPowerZ) +
         ", row denominator " +
         three(s.rowDenominatorPowerX, s.rowDenominatorPowerY, s.rowDenominatorPowerZ);
}

struct CoordinateSystem {
  std::string projection = "none";
  std::string units = "none";
  std::string heights = "none";
};

CoordinateSystem outputCoordinateSystem(const RSM_Model& model) {
  CoordinateSystem cs;
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* elevation = nullptr;
  ErrorReport* report = nullptr;
  smod_RSMCoordinateSystemGet(&model, &projection, &units, &elevation, &report);
  if (report) {
    cs.projection = "unreadable: " + takeReportText(&report);
    return cs;
  }
  if (projection) {
    const auto* p = static_cast<const Hprj_ProParameters*>(
        hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
    if (p && p->proName) {
      cs.projection = std::string(p->proName) + ", " + p->proSpheroid->sphereName;
    } else {
      cs.projection = hprj_ProjectionIsGeographic(projection) ? "geographic" : "projected";
    }
  }
  if (units) cs.units = units;
  if (elevation) {
    cs.heights = std::string(elevation->units) + " (" + elevation->elevationType + ", " +
                 elevation->spheroidName + ", " + elevation->datumName + ")";
  }
  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  hprj_ElevationInfoFree(&elevation);
  return cs;
}

// Groups the sections by their powers, keeping first appearance order.
std::vector<std::pair<std::string, int>> powerGroups(const RSM_Model_Orig& rsm) {
  std::vector<std::pair<std::string, int>> groups;
  std::unordered_map<std::string, size_t> index;
  for (int32_t i = 0; i < rsm.RationalPolyList.count; ++i) {
    std::string p = powers(rsm.RationalPolyList.data[i]);
    const auto found = index.find(p);
    if (found != index.end()) {
      ++groups[found->second].second;
    } else {
      index.emplace(p, groups.size());
      groups.push_back({std::move(p), 1});
    }
  }
  return groups;
}

// A covariance record's name for people: its design name without the library's prefix.
std::string recordName(const std::string& design) {
  static const std::string kPrefix = "Smod_";
  return design.compare(0, kPrefix.size(), kPrefix) == 0 ? design.substr(kPrefix.size()) : design;
}

// The ground domain's vertices as people read them: longitude and latitude in degrees for the
// geodetic kinds (stored in radians), meters for a rectangular domain.
struct Vertices {
  bool geodetic;
  std::vector<double> values;  // x, y, z triples
};

Vertices readableVertices(const RSM_Model_Orig& rsm) {
  Vertices v{rsm.grndd.count < 12, {}};
  const Smod_Doubles& ground = rsm.groundDomain;
  for (int32_t i = 0; i + 2 < ground.count; i += 3) {
    const double scale = v.geodetic ? kDegreesPerRadian : 1.0;
    v.values.insert(v.values.end(),
                    {ground.data[i] * scale, ground.data[i + 1] * scale, ground.data[i + 2]});
  }
  return v;
}

// The convention's line of the text summary.
std::string conventionText(PixelConvention convention) {
  return convention == PixelConvention::Center
             ? "center (the first pixel's centre is 0, 0)"
             : "corner (the first pixel's upper-left corner is 0, 0)";
}

// A gap for people: three significant digits.
std::string gapText(double pixels) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", pixels);
  return text;
}

std::string seamText(const SeamGap& seams, int sections) {
  if (sections < 2) return "none (one section)";
  const SeamStats gap = seams.all();
  if (gap.seams == 0) return "none inside the image domain";
  const std::string count = std::to_string(gap.seams) + (gap.seams == 1 ? " seam" : " seams");
  if (gap.points == 0) return "no point of the " + count + " could be carried across";
  std::string t = "sections disagree along their seams by at most " + gapText(gap.largest) +
                  " pixels (" + count + ")";
  if (gap.failed > 0) {
    t += "; " + std::to_string(gap.failed) + " of " + std::to_string(gap.points + gap.failed) +
         " seam points could not be carried across";
  }
  return t;
}

std::string seamJson(const SeamGap& seams, int sections) {
  if (sections < 2) return "null";
  const SeamStats gap = seams.all();
  auto kind = [](const SeamStats& k) {
    return "{\"largest_px\": " + jsonNumber(k.largest) + ", \"seams\": " +
           std::to_string(k.seams) + "}";
  };
  return "{\"largest_px\": " + jsonNumber(gap.largest) + ", \"seams\": " +
         std::to_string(gap.seams) + ", \"points\": " + std::to_string(gap.points) +
         ", \"points_failed\": " + std::to_string(gap.failed) +
         ", \"between_rows\": " + kind(seams.betweenRows) +
         ", \"between_columns\": " + kind(seams.betweenColumns) + "}";
}

std::string yesNo(bool value) { return value ? "yes" : "no"; }

std::string parametersText(const std::optional<AdjustableParameters>& p) {
  if (!p) return "none";
  std::string names;
  for (const std::string& n : p->names) names += (names.empty() ? "" : ", ") + n;
  return std::to_string(p->count()) + (names.empty() ? "" : " (" + names + ")") + " from " +
         p->source + "; values apply: " + yesNo(p->applies()) +
         "; covariance: " + yesNo(p->hasCovariance()) +
         "; unmodelled error: " + yesNo(p->unmodelled.has_value());
}

std::string parametersJson(const std::optional<AdjustableParameters>& p) {
  if (!p) return "null";
  std::string names;
  for (const std::string& n : p->names) names += (names.empty() ? "" : ", ") + quoted(n);
  return "{\"count\": " + std::to_string(p->count()) + ", \"names\": [" + names +
         "], \"source\": " + quoted(p->source) +
         ", \"values_apply\": " + (p->applies() ? "true" : "false") +
         ", \"covariance\": " + (p->hasCovariance() ? "true" : "false") +
         ", \"unmodelled_error\": " + (p->unmodelled ? "true" : "false") + "}";
}

}  // namespace

std::string summaryText(const LoadedModel& model, const std::string& file, bool json) {
  const RSM_Model& record = *model.xform->model;
  const RSM_Model_Orig& rsm = record.rsm;
  const CoordinateSystem cs = outputCoordinateSystem(record);
  std::vector<std::string> covariance;
  for (const std::string& design : covarianceDesigns(model)) {
    covariance.push_back(recordName(design));
  }
  covariance.insert(covariance.end(), model.bRecords.begin(), model.bRecords.end());
  const std::optional<AdjustableParameters>& parameters = model.parameters;
  const auto groups = powerGroups(rsm);
  const int sections = rsm.RationalPolyList.count;
  const int rows = sections > 1 ? rsm.rowSections : 1;
  const int columns = sections > 1 ? rsm.colSections : 1;
  const Smod_Doubles& image = rsm.imageDomain;
  const Smod_Doubles& ground = rsm.groundDomain;
  const Vertices vertices = readableVertices(rsm);
  const size_t vertexCount = vertices.values.size() / 3;
  const SeamGap seams = seamGap(record);

  if (!json) {
    std::string t = "file: " + file + "\nsource: " + model.source + "\n";
    t += "pixel convention: " + conventionText(model.pixelConvention) + "\n";
    if (image.count >= 4) {
      t += "image domain: samples " + number(image.data[0]) + " to " + number(image.data[1]) +
           ", rows " + number(image.data[2]) + " to " + number(image.data[3]) + "\n";
    }
    t += std::string("ground domain kind: ") + groundDomainKind(rsm) + "\n";
    if (rsm.grndd.count >= 12) {
      t += "rectangular origin: " + numbers(rsm.grndd.data, 3, " ") +
           "\nrectangular unit vectors: " + numbers(rsm.grndd.data + 3, 9, " ") + "\n";
    }
    t += vertices.geodetic
             ? "ground domain vertices (longitude, latitude in degrees; height in meters):\n"
             : "ground domain vertices (x, y, z in meters):\n";
    for (size_t i = 0; i < vertexCount; ++i) {
      t += "  " + numbers(&vertices.values[3 * i], 3, " ") + "\n";
    }
    t += "section grid: " + std::to_string(rows) + " x " + std::to_string(columns) +
         " (rows x columns), section size " + number(rsm.rowsPerSection) + " rows x " +
         number(rsm.colsPerSection) + " samples\n";
    for (const auto& g : groups) {
      t += "powers (" + std::to_string(g.second) +
           (g.second == 1 ? " section): " : " sections): ") + g.first + "\n";
    }
    t += "seam gap: " + seamText(seams, sections) + "\n";
    std::string names;
    for (const std::string& n : covariance) names += (names.empty() ? "" : ", ") + n;
    t += "error covariance records: " + (names.empty() ? std::string("none") : names) + "\n";
    t += "adjustable parameters: " + parametersText(parameters) + "\n";
    t += "output coordinate system: " + cs.projection + "; horizontal units " + cs.units +
         "; heights " + cs.heights + "\n";
    t += "mean height: " + number(rsm.z_mean) + " m\n";
    return t;
  }

  std::string j = "{";
  j += "\"file\": " + quoted(file) + ", \"source\": " + quoted(model.source) +
       ", \"pixel_convention\": " + quoted(pixelConventionName(model.pixelConvention));
  j += ", \"image_domain\": {";
  if (image.count >= 4) {
    j += "\"min_sample\": " + number(image.data[0]) + ", \"max_sample\": " + number(image.data[1]) +
         ", \"min_row\": " + number(image.data[2]) + ", \"max_row\": " + number(image.data[3]);
  }
  j += "}, \"ground_domain\": {\"kind\": " + quoted(groundDomainKind(rsm));
  if (rsm.grndd.count >= 12) {
    j += ", \"origin\": [" + numbers(rsm.grndd.data, 3, ", ") + "], \"unit_vectors\": [" +
         numbers(rsm.grndd.data + 3, 9, ", ") + "]";
  }
  // The stored vertices exactly, and for the geodetic kinds the same in degrees.
  j += std::string(", \"vertex_units\": ") +
       (vertices.geodetic ? "[\"radians\", \"radians\", \"meters\"]"
                          : "[\"meters\", \"meters\", \"meters\"]") +
       ", \"vertices\": [";
  for (int32_t i = 0; i + 2 < ground.count; i += 3) {
    j += (i ? ", [" : "[") + numbers(ground.data + i, 3, ", ") + "]";
  }
  j += "]";
  if (vertices.geodetic) {
    j += ", \"vertices_degrees\": [";
    for (size_t i = 0; i < vertexCount; ++i) {
      j += (i ? ", [" : "[") + numbers(&vertices.values[3 * i], 3, ", ") + "]";
    }
    j += "]";
  }
  j += "}, \"sections\": {\"rows\": " + std::to_string(rows) +
       ", \"columns\": " + std::to_string(columns) +
       ", \"rows_per_section\": " + number(rsm.rowsPerSection) +
       ", \"samples_per_section\": " + number(rsm.colsPerSection) + ", \"powers\": [";
  for (int32_t i = 0; i < sections; ++i) {
    const RSMFunctions& s = rsm.RationalPolyList.data[i];
    const int32_t p[12] = {
        s.sampleNumeratorPowerX,   s.sampleNumeratorPowerY,   s.sampleNumeratorPowerZ,
        s.sampleDenominatorPowerX, s.sampleDenominatorPowerY, s.sampleDenominatorPowerZ,
        s.rowNumeratorPowerX,      s.rowNumeratorPowerY,      s.rowNumeratorPowerZ,
        s.rowDenominatorPowerX,    s.rowDenominatorPowerY,    s.rowDenominatorPowerZ};
    j += i ? ", [" : "[";
    for (int k = 0; k < 12; ++k) j += (k ? ", " : "") + std::to_string(p[k]);
    j += "]";
  }
  j += "]}, \"seam_gap\": " + seamJson(seams, sections) + ", \"error_covariance\": [";
  for (size_t i = 0; i < covariance.size(); ++i) j += (i ? ", " : "") + quoted(covariance[i]);
  j += "], \"adjustable_parameters\": " + parametersJson(parameters);
  j += ", \"output_coordinate_system\": {\"projection\": " + quoted(cs.projection) +
       ", \"horizontal_units\": " + quoted(cs.units) + ", \"heights\": " + quoted(cs.heights) +
       "}, \"mean_height\": " + number(rsm.z_mean) + "}\n";
  return j;
}

}  // namespace senmod_io
