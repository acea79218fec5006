#include "ground_control.h"

#include <cpl_json.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

#include "number_text.h"
#include "read_error.h"

namespace senmod_io {

namespace {

// The columns of a point, in the order a plain line gives them.
enum Column { kSample, kRow, kLon, kLat, kHeight, kSigmaH, kSigmaV, kSigmaPx, kId, kColumns };

struct ColumnName {
  const char* name;
  Column column;
};
constexpr ColumnName kColumnNames[] = {
    {"sample", kSample},     {"row", kRow},         {"longitude", kLon}, {"lon", kLon},
    {"latitude", kLat},      {"lat", kLat},         {"height", kHeight}, {"h", kHeight},
    {"sigma_h", kSigmaH},    {"sigma_h_m", kSigmaH}, {"sigma_v", kSigmaV},
    {"sigma_v_m", kSigmaV},  {"sigma_px", kSigmaPx}, {"id", kId},        {"name", kId}};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (const char c : line + ' ') {
    if (c == ',' || c == ' ' || c == '\t' || c == '\r') {
      if (!field.empty()) fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  return fields;
}

// The value of a field: a finite number, or for a height also "nan".
bool numberOf(const std::string& text, Column column, double* value) {
  if (column == kHeight && lower(text) == "nan") {
    *value = NAN;
    return true;
  }
  return senmod_text::parseNumberText(text.data(), text.data() + text.size(), value);
}

const char* columnTitle(Column c) {
  constexpr const char* kTitles[] = {"sample", "row",     "longitude", "latitude", "height",
                                     "sigma_h", "sigma_v", "sigma_px",  "id"};
  return kTitles[c];
}

// Checks what a point holds; where names it for people.
void check(const GroundControlPoint& p, const std::string& where) {
  if (!(p.lat >= -90.0 && p.lat <= 90.0)) {
    throw ReadError(where + ": the latitude is not a number from -90 to 90");
  }
  if (!(p.lon >= -360.0 && p.lon <= 360.0)) {
    throw ReadError(where + ": the longitude is not a number from -360 to 360");
  }
  if (!std::isfinite(p.sample) || !std::isfinite(p.row)) {
    throw ReadError(where + ": the image point is not finite");
  }
  if (!(std::isnan(p.height) || std::isfinite(p.height))) {
    throw ReadError(where + ": the height is not finite");
  }
  if (!(p.sigmaHorizontal >= 0.0 && p.sigmaVertical >= 0.0 && p.sigmaPixels >= 0.0) ||
      !std::isfinite(p.sigmaHorizontal + p.sigmaVertical + p.sigmaPixels)) {
    throw ReadError(where + ": a standard deviation is negative or not finite");
  }
  if (p.sigmaPixels == 0.0 && p.sigmaHorizontal == 0.0 && p.sigmaVertical == 0.0) {
    throw ReadError(where + ": every standard deviation is zero: the point has no weight");
  }
}

void set(GroundControlPoint& p, Column c, double v) {
  double* const slots[] = {&p.sample, &p.row, &p.lon, &p.lat, &p.height,
                           &p.sigmaHorizontal, &p.sigmaVertical, &p.sigmaPixels};
  *slots[c] = v;
}

// A header: some field of the first line is a column's name and none is a number.
bool isHeader(const std::vector<std::string>& fields) {
  for (const std::string& f : fields) {
    double v;
    if (numberOf(f, kHeight, &v)) return false;
  }
  return true;
}

std::vector<Column> headerColumns(const std::vector<std::string>& fields,
                                  const std::string& where) {
  std::vector<Column> columns;
  std::array<bool, kColumns> seen{};
  for (const std::string& f : fields) {
    const std::string name = lower(f);
    const auto* known = std::find_if(std::begin(kColumnNames), std::end(kColumnNames),
                                     [&](const ColumnName& c) { return name == c.name; });
    if (known == std::end(kColumnNames)) {
      throw ReadError(where + ": unknown column \"" + f +
                      "\" (columns: sample, row, longitude, latitude, height, sigma_h, sigma_v, "
                      "sigma_px, id)");
    }
    if (seen[known->column]) throw ReadError(where + ": column \"" + f + "\" given twice");
    seen[known->column] = true;
    columns.push_back(known->column);
  }
  for (Column c : {kSample, kRow, kLon, kLat}) {
    if (!seen[c]) throw ReadError(where + ": no column " + columnTitle(c));
  }
  return columns;
}

// The columns of a plain line of count fields.
std::vector<Column> plainColumns(size_t count, const std::string& where) {
  std::vector<Column> columns{kSample, kRow, kLon, kLat, kHeight};
  if (count == 6 || count == 9) {
    if (count == 9) columns.insert(columns.end(), {kSigmaH, kSigmaV, kSigmaPx});
    columns.push_back(kId);
  } else if (count == 8) {
    columns.insert(columns.end(), {kSigmaH, kSigmaV, kSigmaPx});
  } else if (count != 5) {
    throw ReadError(where + ": " + std::to_string(count) +
                    " fields; a point is \"sample row longitude latitude height [sigma_h "
                    "sigma_v sigma_px] [id]\"");
  }
  return columns;
}

GroundControlPoint pointOf(const std::vector<std::string>& fields,
                           const std::vector<Column>& columns, const std::string& where) {
  if (fields.size() != columns.size()) {
    throw ReadError(where + ": " + std::to_string(fields.size()) + " fields for " +
                    std::to_string(columns.size()) + " columns");
  }
  GroundControlPoint p;
  for (size_t k = 0; k < fields.size(); ++k) {
    if (columns[k] == kId) {
      p.id = fields[k];
      continue;
    }
    double v;
    if (!numberOf(fields[k], columns[k], &v)) {
      throw ReadError(where + ": the " + columnTitle(columns[k]) + " \"" + fields[k] +
                      "\" is not a number");
    }
    set(p, columns[k], v);
  }
  check(p, where);
  return p;
}

std::vector<GroundControlPoint> readText(const std::string& text, const std::string& path) {
  std::vector<GroundControlPoint> points;
  std::optional<std::vector<Column>> header;
  std::istringstream in(text);
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    const std::string where = path + " line " + std::to_string(number);
    const std::vector<std::string> fields = fieldsOf(line);
    if (!header && points.empty() && isHeader(fields)) {
      header = headerColumns(fields, where);
      continue;
    }
    GroundControlPoint p =
        pointOf(fields, header ? *header : plainColumns(fields.size(), where), where);
    if (p.id.empty()) p.id = "line " + std::to_string(number);
    points.push_back(std::move(p));
  }
  return points;
}

std::vector<GroundControlPoint> readGeoJson(const std::string& text, const std::string& path) {
  CPLJSONDocument document;
  if (!document.LoadMemory(text)) throw ReadError(path + ": not valid JSON");
  const CPLJSONObject root = document.GetRoot();
  if (root.GetString("type") != "FeatureCollection") {
    throw ReadError(path + ": not a GeoJSON FeatureCollection");
  }
  std::vector<GroundControlPoint> points;
  const CPLJSONArray features = root.GetArray("features");
  for (int i = 0; i < features.Size(); ++i) {
    const std::string where = path + " feature " + std::to_string(i + 1);
    const CPLJSONObject feature = features[i];
    const CPLJSONObject geometry = feature.GetObj("geometry");
    const CPLJSONArray xyz = geometry.GetArray("coordinates");
    if (geometry.GetString("type") != "Point" || xyz.Size() < 2 || xyz.Size() > 3) {
      throw ReadError(where + ": not a Point of longitude, latitude and height");
    }
    const CPLJSONObject properties = feature.GetObj("properties");
    auto number = [&](const char* name, double fallback) {
      const CPLJSONObject v = properties.GetObj(name);
      if (!v.IsValid()) return fallback;
      if (v.GetType() != CPLJSONObject::Type::Integer &&
          v.GetType() != CPLJSONObject::Type::Long && v.GetType() != CPLJSONObject::Type::Double) {
        throw ReadError(where + ": property " + name + " is not a number");
      }
      return v.ToDouble();
    };
    if (!properties.GetObj("sample").IsValid() || !properties.GetObj("row").IsValid()) {
      throw ReadError(where + ": no sample and row properties");
    }
    GroundControlPoint p;
    p.sample = number("sample", NAN);
    p.row = number("row", NAN);
    p.lon = xyz[0].ToDouble(NAN);
    p.lat = xyz[1].ToDouble(NAN);
    p.height = xyz.Size() == 3 ? xyz[2].ToDouble(NAN) : NAN;
    p.sigmaHorizontal = number("sigma_h", kDefaultSigmaGround);
    p.sigmaVertical = number("sigma_v", kDefaultSigmaGround);
    p.sigmaPixels = number("sigma_px", kDefaultSigmaPixels);
    const CPLJSONObject id = properties.GetObj("id");
    p.id = id.IsValid() ? id.ToString() : "feature " + std::to_string(i + 1);
    check(p, where);
    points.push_back(std::move(p));
  }
  return points;
}

}  // namespace

std::vector<GroundControlPoint> readGroundControl(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ReadError(path + ": cannot open the ground control points");
  std::stringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) throw ReadError(path + ": cannot read the ground control points");
  const std::string text = buffer.str();
  const size_t first = text.find_first_not_of(" \t\r\n");
  std::vector<GroundControlPoint> points =
      first != std::string::npos && text[first] == '{' ? readGeoJson(text, path)
                                                        : readText(text, path);
  if (points.empty()) throw ReadError(path + ": no ground control points");
  return points;
}

std::vector<GroundControlPoint> groundControlOf(size_t n, size_t columns, const double* values) {
  if (columns < 5 || columns > 8) {
    throw ReadError("ground control points need 5 to 8 columns, not " + std::to_string(columns));
  }
  std::vector<GroundControlPoint> points(n);
  for (size_t i = 0; i < n; ++i) {
    GroundControlPoint& p = points[i];
    for (size_t k = 0; k < columns; ++k) set(p, static_cast<Column>(k), values[i * columns + k]);
    p.id = "#" + std::to_string(i + 1);
    check(p, "ground control point " + p.id);
  }
  return points;
}

}  // namespace senmod_io
