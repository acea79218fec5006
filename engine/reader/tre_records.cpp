#include "tre_records.h"

#include <cpl_minixml.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "read_error.h"

namespace senmod_io {

namespace {

struct XmlDeleter {
  void operator()(CPLXMLNode* node) const { CPLDestroyXMLNode(node); }
};

std::string attribute(const CPLXMLNode* node, const char* name) {
  const char* value = CPLGetXMLValue(node, name, "");
  return value ? value : "";
}

// Appends the fields below node in document order, descending into repeated groups.
void collectFields(const CPLXMLNode* node, std::vector<TreField>& fields) {
  for (const CPLXMLNode* child = node->psChild; child; child = child->psNext) {
    if (child->eType != CXT_Element) continue;
    const std::string tag = child->pszValue;
    if (tag == "field") {
      fields.push_back({attribute(child, "name"), attribute(child, "value")});
    } else if (tag == "repeated" || tag == "group") {
      collectFields(child, fields);
    }
  }
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::vector<Tre> parseTreXml(const std::string& xml, const std::string& file) {
  std::unique_ptr<CPLXMLNode, XmlDeleter> root(CPLParseXMLString(xml.c_str()));
  const CPLXMLNode* tres = root ? CPLSearchXMLNode(root.get(), "=tres") : nullptr;
  if (!tres) throw ReadError(file + ": the tagged records cannot be decoded");
  std::vector<Tre> records;
  for (const CPLXMLNode* node = tres->psChild; node; node = node->psNext) {
    if (node->eType != CXT_Element || std::string(node->pszValue) != "tre") continue;
    Tre tre;
    tre.name = attribute(node, "name");
    collectFields(node, tre.fields);
    records.push_back(std::move(tre));
  }
  return records;
}

TreFields::TreFields(const Tre& tre, std::string file, std::string which)
    : tre_(tre), file_(std::move(file)), which_(std::move(which)) {}

void TreFields::fail(const std::string& field, const std::string& what) const {
  std::string where = file_ + ": " + tre_.name;
  if (!which_.empty()) where += " " + which_;
  throw ReadError(where + ": field " + field + ": " + what);
}

const std::string* TreFields::find(const std::string& field) const {
  for (const TreField& f : tre_.fields) {
    if (f.name == field) return &f.value;
  }
  return nullptr;
}

std::string TreFields::text(const std::string& field) const {
  const std::string* value = find(field);
  if (!value) fail(field, "missing");
  return trim(*value);
}

namespace {

bool parseReal(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

}  // namespace

std::optional<double> TreFields::optionalReal(const std::string& field) const {
  const std::string* raw = find(field);
  const std::string value = raw ? trim(*raw) : "";
  if (value.empty()) return std::nullopt;
  double number = 0.0;
  if (!parseReal(value, number)) fail(field, "\"" + value + "\" is not a number");
  return number;
}

double TreFields::real(const std::string& field) const {
  const std::string value = text(field);
  if (value.empty()) fail(field, "blank");
  double number = 0.0;
  if (!parseReal(value, number)) fail(field, "\"" + value + "\" is not a number");
  return number;
}

std::optional<int> TreFields::optionalInteger(const std::string& field, int low,
                                              int high) const {
  const std::string* raw = find(field);
  const std::string value = raw ? trim(*raw) : "";
  if (value.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') fail(field, "\"" + value + "\" is not a whole number");
  if (number < low || number > high) {
    fail(field, value + " is outside " + std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int>(number);
}

int TreFields::integer(const std::string& field, int low, int high) const {
  if (!find(field)) fail(field, "missing");
  const std::optional<int> number = optionalInteger(field, low, high);
  if (!number) fail(field, "blank");
  return *number;
}

TreCursor::TreCursor(const Tre& tre, std::string file) : tre_(tre), fields_(tre, std::move(file)) {}

void TreCursor::fail(const std::string& field, const std::string& what) const {
  fields_.fail(field, what);
}

std::string TreCursor::text(const std::string& field) {
  if (at_ == tre_.fields.size()) fail(field, "missing: the record ends before it");
  const TreField& next = tre_.fields[at_];
  if (next.name != field) fail(field, "missing: the record holds " + next.name + " in its place");
  ++at_;
  return trim(next.value);
}

double TreCursor::real(const std::string& field) {
  const std::string value = text(field);
  double number = 0.0;
  if (!parseReal(value, number)) fail(field, "\"" + value + "\" is not a number");
  return number;
}

int TreCursor::integer(const std::string& field, int low, int high) {
  const std::string value = text(field);
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || errno != 0 || *end != '\0') {
    fail(field, "\"" + value + "\" is not a whole number");
  }
  if (number < low || number > high) {
    fail(field, value + " is outside " + std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int>(number);
}

std::vector<double> TreCursor::reals(const std::string& field, int count) {
  std::vector<double> values;
  for (int i = 0; i < count; ++i) values.push_back(real(field));
  return values;
}

void TreCursor::end() {
  if (at_ != tre_.fields.size()) {
    fail(tre_.fields[at_].name, "more fields than the record's counts call for");
  }
}

std::vector<double> TreFields::reals(const std::string& field, int count) const {
  std::vector<double> values;
  for (const TreField& f : tre_.fields) {
    if (f.name != field) continue;
    double number = 0.0;
    const std::string value = trim(f.value);
    if (!parseReal(value, number)) fail(field, "\"" + value + "\" is not a number");
    values.push_back(number);
  }
  if (static_cast<int>(values.size()) != count) {
    fail(field, std::to_string(values.size()) + " values where " + std::to_string(count) +
                    " are required");
  }
  return values;
}

}  // namespace senmod_io
