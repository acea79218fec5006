#include "model_summary.h"

#include <vector>

#include "read_error.h"

namespace smodtool {

namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

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
  for (int32_t i = 0; i < rsm.RationalPolyList.count; ++i) {
    const std::string p = powers(rsm.RationalPolyList.data[i]);
    bool found = false;
    for (auto& g : groups) {
      if (g.first == p) {
        ++g.second;
        found = true;
      }
    }
    if (!found) groups.push_back({p, 1});
  }
  return groups;
}

}  // namespace

void writeSummary(const LoadedModel& model, const std::string& file, bool json, std::FILE* out) {
  const RSM_Model& record = *model.xform->model;
  const RSM_Model_Orig& rsm = record.rsm;
  const CoordinateSystem cs = outputCoordinateSystem(record);
  const std::vector<std::string> covariance = covarianceDesigns(model);
  const auto groups = powerGroups(rsm);
  const int sections = rsm.RationalPolyList.count;
  const int rows = sections > 1 ? rsm.rowSections : 1;
  const int columns = sections > 1 ? rsm.colSections : 1;
  const Smod_Doubles& image = rsm.imageDomain;
  const Smod_Doubles& ground = rsm.groundDomain;

  if (!json) {
    std::fprintf(out, "file: %s\nsource: %s\n", file.c_str(), model.source.c_str());
    if (image.count >= 4) {
      std::fprintf(out, "image domain: samples %s to %s, rows %s to %s\n",
                   number(image.data[0]).c_str(), number(image.data[1]).c_str(),
                   number(image.data[2]).c_str(), number(image.data[3]).c_str());
    }
    std::fprintf(out, "ground domain kind: %s\n", groundDomainKind(rsm));
    if (rsm.grndd.count >= 12) {
      std::fprintf(out, "rectangular origin: %s\nrectangular unit vectors: %s\n",
                   numbers(rsm.grndd.data, 3, " ").c_str(),
                   numbers(rsm.grndd.data + 3, 9, " ").c_str());
    }
    std::fprintf(out, "ground domain vertices:\n");
    for (int32_t i = 0; i + 2 < ground.count; i += 3) {
      std::fprintf(out, "  %s\n", numbers(ground.data + i, 3, " ").c_str());
    }
    std::fprintf(out, "section grid: %d x %d (rows x columns), section size %s rows x %s samples\n",
                 rows, columns, number(rsm.rowsPerSection).c_str(),
                 number(rsm.colsPerSection).c_str());
    for (const auto& g : groups) {
      std::fprintf(out, "powers (%d section%s): %s\n", g.second, g.second == 1 ? "" : "s",
                   g.first.c_str());
    }
    std::string names;
    for (const std::string& n : covariance) names += (names.empty() ? "" : ", ") + n.substr(5);
    std::fprintf(out, "error covariance records: %s\n", names.empty() ? "none" : names.c_str());
    std::fprintf(out, "output coordinate system: %s; horizontal units %s; heights %s\n",
                 cs.projection.c_str(), cs.units.c_str(), cs.heights.c_str());
    std::fprintf(out, "mean height: %s\n", number(rsm.z_mean).c_str());
    return;
  }

  std::string j = "{";
  j += "\"file\": " + quoted(file) + ", \"source\": " + quoted(model.source);
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
  j += ", \"vertices\": [";
  for (int32_t i = 0; i + 2 < ground.count; i += 3) {
    j += (i ? ", [" : "[") + numbers(ground.data + i, 3, ", ") + "]";
  }
  j += "]}, \"sections\": {\"rows\": " + std::to_string(rows) +
       ", \"columns\": " + std::to_string(columns) +
       ", \"rows_per_section\": " + number(rsm.rowsPerSection) +
       ", \"samples_per_section\": " + number(rsm.colsPerSection) + ", \"powers\": [";
  for (int32_t i = 0; i < sections; ++i) {
    const RSMFunctions& s = rsm.RationalPolyList.data[i];
    const int32_t p[12] = {s.sampleNumeratorPowerX,   s.sampleNumeratorPowerY,
                           s.sampleNumeratorPowerZ,   s.sampleDenominatorPowerX,
                           s.sampleDenominatorPowerY, s.sampleDenominatorPowerZ,
                           s.rowNumeratorPowerX,      s.rowNumeratorPowerY,
                           s.rowNumeratorPowerZ,      s.rowDenominatorPowerX,
                           s.rowDenominatorPowerY,    s.rowDenominatorPowerZ};
    j += i ? ", [" : "[";
    for (int k = 0; k < 12; ++k) j += (k ? ", " : "") + std::to_string(p[k]);
    j += "]";
  }
  j += "]}, \"error_covariance\": [";
  for (size_t i = 0; i < covariance.size(); ++i) {
    j += (i ? ", " : "") + quoted(covariance[i].substr(5));
  }
  j += "], \"output_coordinate_system\": {\"projection\": " + quoted(cs.projection) +
       ", \"horizontal_units\": " + quoted(cs.units) + ", \"heights\": " + quoted(cs.heights) +
       "}, \"mean_height\": " + number(rsm.z_mean) + "}\n";
  std::fputs(j.c_str(), out);
}

}  // namespace smodtool
