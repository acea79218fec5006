#include <set>

#include "read_error.h"
#include "rsm_records.h"

namespace senmod_io {

namespace {

constexpr int kMaxPower = 5;

std::vector<const Tre*> recordsNamed(const std::vector<Tre>& records, const std::string& name) {
  std::vector<const Tre*> found;
  for (const Tre& tre : records) {
    if (tre.name == name) found.push_back(&tre);
  }
  return found;
}

// Origin and unit vectors of a rectangular ground domain, in record order.
const char* const kRectangularFields[] = {"XUOR", "YUOR", "ZUOR", "XUXR", "XUYR", "XUZR",
                                          "YUXR", "YUYR", "YUZR", "ZUXR", "ZUYR", "ZUZR"};

void readIdentification(const Tre& tre, const std::string& file, RSM_Model_Orig& rsm,
                        RsmModel& result) {
  const TreFields f(tre, file);
  const std::string kind = f.text("GRNDD");
  std::vector<double> grndd;
  if (kind == "R") {
    for (const char* field : kRectangularFields) grndd.push_back(f.real(field));
  } else if (kind == "H") {
    grndd.push_back(1.0);
  } else if (kind != "G") {
    f.fail("GRNDD", "\"" + kind + "\" is not G, H or R");
  }
  std::vector<double> vertices;
  for (int v = 1; v <= 8; ++v) {
    for (const char axis : {'X', 'Y', 'Z'}) {
      vertices.push_back(f.real("V" + std::to_string(v) + axis));
    }
  }
  const double minRow = f.integer("MINR", 0, 99999999);
  const double maxRow = f.integer("MAXR", 0, 99999999);
  const double minColumn = f.integer("MINC", 0, 99999999);
  const double maxColumn = f.integer("MAXC", 0, 99999999);
  if (maxRow < minRow) f.fail("MAXR", "below MINR");
  if (maxColumn < minColumn) f.fail("MAXC", "below MINC");
  const auto x = f.optionalReal("GRPX");
  const auto y = f.optionalReal("GRPY");
  const auto z = f.optionalReal("GRPZ");
  if (x && y && z) result.groundReferencePoint = std::vector<double>{*x, *y, *z};

  rsm.grndd = heapDoubles(grndd);
  rsm.groundDomain = heapDoubles(vertices);
  rsm.imageDomain = heapDoubles({minColumn, maxColumn, minRow, maxRow});
}

struct Grid {
  int rows = 1;
  int columns = 1;
};

Grid readPolynomialIndex(const Tre& tre, const std::string& file, RSM_Model_Orig& rsm) {
  const TreFields f(tre, file);
  static const char* const kTerms[] = {"0", "X", "Y", "Z", "XX", "XY", "XZ", "YY", "YZ", "ZZ"};
  std::vector<double> poly;
  for (const char* axis : {"C", "R"}) {
    for (const char* term : kTerms) poly.push_back(f.real(std::string(axis) + term));
  }
  Grid grid;
  grid.rows = f.integer("RNIS", 1, 999);
  grid.columns = f.integer("CNIS", 1, 999);
  const int total = f.integer("TNIS", 1, 999);
  if (total != grid.rows * grid.columns) {
    f.fail("TNIS", std::to_string(total) + " sections do not fill a grid of " +
                       std::to_string(grid.rows) + " x " + std::to_string(grid.columns));
  }
  const double rowSize = f.real("RSSIZ");
  const double columnSize = f.real("CSSIZ");
  if (!(rowSize > 0.0)) f.fail("RSSIZ", "not positive");
  if (!(columnSize > 0.0)) f.fail("CSSIZ", "not positive");
  rsm.groundToImagePoly = heapDoubles(poly);
  rsm.rowsPerSection = rowSize;
  rsm.colsPerSection = columnSize;
  return grid;
}

// One polynomial of a section: powers, term count and coefficients of prefix ("RN", "CD", ...).
Smod_Doubles readPolynomial(const TreFields& f, const std::string& prefix, int32_t& powerX,
                            int32_t& powerY, int32_t& powerZ) {
  int32_t* powers[] = {&powerX, &powerY, &powerZ};
  int terms = 1;
  const char axes[] = {'X', 'Y', 'Z'};
  for (int i = 0; i < 3; ++i) {
    *powers[i] = f.integer(prefix + "PWR" + axes[i], 0, kMaxPower);
    terms *= *powers[i] + 1;
  }
  const int count = f.integer(prefix + "TRMS", 1, 216);
  if (count != terms) {
    f.fail(prefix + "TRMS", std::to_string(count) + " terms where powers " +
                                std::to_string(powerX) + ", " + std::to_string(powerY) +
                                ", " + std::to_string(powerZ) + " need " +
                                std::to_string(terms));
  }
  return heapDoubles(f.reals(prefix + "PCF", count));
}

// Normalisation offsets and scales in the record's index order: x, y, z, column, row.
const char* const kNormalised[] = {"X", "Y", "Z", "C", "R"};

void readSection(const TreFields& f, RSMFunctions& section) {
  for (int i = 0; i < 5; ++i) {
    const std::string axis = kNormalised[i];
    section.Offsets[i] = f.real(axis + "NRMO");
    section.Scales[i] = f.real(axis + "NRMSF");
    if (section.Scales[i] == 0.0) f.fail(axis + "NRMSF", "zero");
  }
  section.useNormalization = SMOD_TRUE;
  section.sampleNumerator =
      readPolynomial(f, "CN", section.sampleNumeratorPowerX, section.sampleNumeratorPowerY,
                     section.sampleNumeratorPowerZ);
  section.sampleDenominator =
      readPolynomial(f, "CD", section.sampleDenominatorPowerX, section.sampleDenominatorPowerY,
                     section.sampleDenominatorPowerZ);
  section.rowNumerator = readPolynomial(f, "RN", section.rowNumeratorPowerX,
                                        section.rowNumeratorPowerY, section.rowNumeratorPowerZ);
  section.rowDenominator =
      readPolynomial(f, "RD", section.rowDenominatorPowerX, section.rowDenominatorPowerY,
                     section.rowDenominatorPowerZ);
  section.validSolution = SMOD_TRUE;
}

// Records of several images can sit in one file: every record of the model must name the image
// and edition that RSMIDA names.
void checkSameImage(const TreFields& f, const TreFields& identification) {
  for (const char* field : {"IID", "EDITION"}) {
    const std::string value = f.text(field);
    const std::string expected = identification.text(field);
    if (value != expected) {
      f.fail(field, "\"" + value + "\" is not RSMIDA's \"" + expected +
                        "\": the records describe different images");
    }
  }
}

}  // namespace

bool hasRsmRecords(const std::vector<Tre>& records) {
  for (const Tre& tre : records) {
    if (tre.name == "RSMIDA" || tre.name == "RSMPIA" || tre.name == "RSMPCA" ||
        tre.name == "RSMGGA") {
      return true;
    }
  }
  return false;
}

RsmModel modelFromRsmRecords(const std::vector<Tre>& records, const std::string& file) {
  const auto identification = recordsNamed(records, "RSMIDA");
  const auto index = recordsNamed(records, "RSMPIA");
  const auto polynomials = recordsNamed(records, "RSMPCA");
  if (polynomials.empty()) {
    if (!recordsNamed(records, "RSMGGA").empty()) {
      throw ReadError(file + ": the model is given only as a grid (RSMGGA), which senmod does "
                             "not read; it needs polynomial records (RSMPCA)");
    }
    throw ReadError(file + ": no RSMPCA record: the model has no polynomials");
  }
  if (identification.empty()) throw ReadError(file + ": no RSMIDA record");
  if (identification.size() > 1) throw ReadError(file + ": more than one RSMIDA record");
  if (index.size() > 1) throw ReadError(file + ": more than one RSMPIA record");

  ErrorReport* report = nullptr;
  RsmModel result;
  result.model.reset(smod_RSMCreate(&report));
  if (!result.model) throw std::bad_alloc();
  RSM_Model_Orig& rsm = result.model->rsm;
  readIdentification(*identification.front(), file, rsm, result);

  const TreFields identificationFields(*identification.front(), file);
  Grid grid;
  if (!index.empty()) {
    checkSameImage(TreFields(*index.front(), file), identificationFields);
    grid = readPolynomialIndex(*index.front(), file, rsm);
  } else {
    rsm.rowsPerSection = rsm.imageDomain.data[3] - rsm.imageDomain.data[2] + 1.0;
    rsm.colsPerSection = rsm.imageDomain.data[1] - rsm.imageDomain.data[0] + 1.0;
  }
  const int count = grid.rows * grid.columns;
  if (static_cast<int>(polynomials.size()) != count) {
    throw ReadError(file + ": " + std::to_string(polynomials.size()) +
                    " RSMPCA records where the section grid of " + std::to_string(grid.rows) +
                    " x " + std::to_string(grid.columns) + " needs " + std::to_string(count));
  }
  rsm.rowSections = grid.rows;
  rsm.colSections = grid.columns;
  rsm.RationalPolyList.data = smod_RationalPolynomialsCreate(count, &report);
  if (!rsm.RationalPolyList.data) throw std::bad_alloc();
  rsm.RationalPolyList.count = count;

  std::set<int> seen;
  for (const Tre* tre : polynomials) {
    const TreFields probe(*tre, file);
    const int row = probe.integer("RSN", 1, grid.rows);
    const int column = probe.integer("CSN", 1, grid.columns);
    const int at = (column - 1) + (row - 1) * grid.columns;
    const TreFields f(*tre, file, "section " + std::to_string(row) + ", " + std::to_string(column));
    checkSameImage(f, identificationFields);
    if (!seen.insert(at).second) f.fail("RSN", "the section is given twice");
    RSMFunctions& section = rsm.RationalPolyList.data[at];
    section.rowSection = row - 1;
    section.columnSection = column - 1;
    readSection(f, section);
  }
  return result;
}

}  // namespace senmod_io
