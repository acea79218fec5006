#include "tool_fixtures.h"

#include <cpl_minixml.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>


namespace tooltest {

namespace {

constexpr double kRho = 57.29577951308232;

std::string selfDirectory() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.find_last_of('/'));
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Ground-domain box of each kind: offsets and half-ranges of x, y, z.
struct Box {
  double x0, sx, y0, sy, z0, sz;
};

Box box(char kind) {
  if (kind == 'R') return {0.0, 2000.0, 0.0, 1500.0, 400.0, 500.0};
  if (kind == 'H') return {190.0 / kRho, 0.01, 45.0 / kRho, 0.008, 500.0, 500.0};
  return {10.0 / kRho, 0.01, 45.0 / kRho, 0.008, 500.0, 500.0};
}

// Normalised image = A * normalised ground.
constexpr double kSampleTerms[3] = {0.9, 0.05, 0.02};
constexpr double kRowTerms[3] = {-0.04, 0.95, 0.03};
constexpr double kColumns = 1000.0, kRows = 800.0;

constexpr double kA = 6378137.0;
constexpr double kE2 = 0.00669437999014;

void ecef(double lonDeg, double latDeg, double h, double* p) {
  const double lon = lonDeg / kRho, lat = latDeg / kRho;
  const double n = kA / std::sqrt(1.0 - kE2 * std::sin(lat) * std::sin(lat));
  p[0] = (n + h) * std::cos(lat) * std::cos(lon);
  p[1] = (n + h) * std::cos(lat) * std::sin(lon);
  p[2] = (n * (1.0 - kE2) + h) * std::sin(lat);
}

// Origin and the columns of the rotation (east, north, up) of the rectangular frame at
// longitude 10, latitude 45 on WGS 84, in record order XUOR ... ZUZR.
std::vector<double> rectangularDescriptor() {
  const double lon = 10.0 / kRho, lat = 45.0 / kRho;
  const double east[3] = {-std::sin(lon), std::cos(lon), 0.0};
  const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon),
                           std::cos(lat)};
  const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon),
                        std::sin(lat)};
  std::vector<double> d(3);
  ecef(10.0, 45.0, 0.0, d.data());
  for (int j = 0; j < 3; ++j) d.insert(d.end(), {east[j], north[j], up[j]});
  return d;
}

}  // namespace

void syntheticFromMap(const SyntheticModel& model, double lon, double lat, double h, double& x,
                      double& y, double& z) {
  if (model.kind == 'R') {
    const std::vector<double> frame = rectangularDescriptor();
    double p[3];
    ecef(lon, lat, h, p);
    double local[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) local[i] += frame[3 + 3 * j + i] * (p[j] - frame[j]);
    }
    x = local[0];
    y = local[1];
    z = local[2];
    return;
  }
  x = (model.kind == 'H' && lon < 0 ? lon + 360.0 : lon) / kRho;
  y = lat / kRho;
  z = h;
}

void ScratchTest::SetUp() {
  char pattern[] = "/tmp/senmod_tools_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
}

void ScratchTest::TearDown() {
  if (!dir_.empty() && !std::getenv("KEEP")) std::system(("rm -rf '" + dir_ + "'").c_str());
}

void ScratchTest::writeText(const std::string& name, const std::string& text) const {
  std::ofstream(path(name), std::ios::binary) << text;
}

std::string ScratchTest::readText(const std::string& name) const { return slurp(path(name)); }

std::string ScratchTest::nitf(const std::string& name, const nitf_builder::NitfImage& desc) const {
  const std::string file = path(name);
  const std::string error = nitf_builder::writeNitf(file, desc);
  EXPECT_EQ(error, "");
  return file;
}

std::string ScratchTest::nitfOfRecords(const std::string& name, const std::string& xml) const {
  std::unique_ptr<CPLXMLNode, void (*)(CPLXMLNode*)> root(CPLParseXMLString(xml.c_str()),
                                                          CPLDestroyXMLNode);
  EXPECT_NE(root, nullptr);
  nitf_builder::NitfImage desc;
  for (const CPLXMLNode* n = CPLSearchXMLNode(root.get(), "=tres")->psChild; n; n = n->psNext) {
    if (n->eType == CXT_Element) {
      desc.tres.push_back({CPLGetXMLValue(n, "name", ""), nitf_builder::encodeTreXml(n)});
    }
  }
  return nitf(name, desc);
}

std::string ScratchTest::ngaI6130a() const {
  std::ifstream in(testData("nga-i6130a/i_6130a_tres.xml"));
  std::stringstream xml;
  xml << in.rdbuf();
  return nitfOfRecords("i_6130a.ntf", xml.str());
}

::testing::AssertionResult contains(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\" does not contain \"" << part << "\"";
}

std::vector<std::vector<double>> numberRows(const std::string& text) {
  std::vector<std::vector<double>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::vector<double> v;
    std::string field;
    // strtod, unlike a stream, reads the "nan" of a failed point.
    while (f >> field) v.push_back(std::strtod(field.c_str(), nullptr));
    out.push_back(v);
  }
  return out;
}

std::string testData(const std::string& name) {
  const char* dir = std::getenv("SENMOD_TEST_DATA");
  if (dir && *dir) return std::string(dir) + "/" + name;
  const std::string source = __FILE__;
  return source.substr(0, source.find_last_of('/')) + "/../data/" + name;
}

std::string senmodBinary() { return selfDirectory() + "/senmod"; }

std::string sampleData(const std::string& name) {
  return testData("../../data/sample/" + name);
}

CommandRun senmod(const std::vector<std::string>& args, const std::string& input,
                  const std::string& output) {
  static int counter = 0;
  const std::string base = "/tmp/senmod_run_" + std::to_string(getpid()) + "_" +
                           std::to_string(counter++);
  std::string command = "'" + senmodBinary() + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += input.empty() ? " </dev/null" : " <'" + input + "'";
  command += " >'" + (output.empty() ? base + ".out" : output) + "' 2>'" + base + ".err'";
  CommandRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = slurp(base + ".out");
  run.err = slurp(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return run;
}

void syntheticGround(const SyntheticModel& model, double fx, double fy, double fz, double& x,
                     double& y, double& z) {
  const Box b = box(model.kind);
  x = b.x0 + (2.0 * fx - 1.0) * b.sx;
  y = b.y0 + (2.0 * fy - 1.0) * b.sy;
  z = b.z0 + (2.0 * fz - 1.0) * b.sz;
}

void syntheticImage(const SyntheticModel& model, double x, double y, double z, double& sample,
                    double& row) {
  const Box b = box(model.kind);
  const double u[3] = {(x - b.x0) / b.sx, (y - b.y0) / b.sy, (z - b.z0) / b.sz};
  double s = 0.0, r = 0.0;
  for (int i = 0; i < 3; ++i) {
    s += kSampleTerms[i] * u[i];
    r += kRowTerms[i] * u[i];
  }
  sample = kColumns / 2 + kColumns / 2 * s;
  row = kRows / 2 + kRows / 2 * r;
}

nitf_builder::Fields syntheticSectionFields(const SyntheticModel& model, int row, int column) {
  using nitf_builder::real;
  using nitf_builder::whole;
  const Box b = box(model.kind);
  nitf_builder::Fields f = {{"IID", "SYNTHETIC"}, {"EDITION", "1"}, {"RSN", whole(row, 3)},
                            {"CSN", whole(column, 3)}, {"RFEP", ""}, {"CFEP", ""},
                            {"RNRMO", real(kRows / 2)}, {"CNRMO", real(kColumns / 2)},
                            {"XNRMO", real(b.x0)}, {"YNRMO", real(b.y0)}, {"ZNRMO", real(b.z0)},
                            {"RNRMSF", real(kRows / 2)}, {"CNRMSF", real(kColumns / 2)},
                            {"XNRMSF", real(b.sx)}, {"YNRMSF", real(b.sy)}, {"ZNRMSF", real(b.sz)}};
  // Powers 1, 1, 1: terms 1, x, y, xy, z, xz, yz, xyz.
  auto affine = [&](const char* prefix, const double* t) {
    const std::string p = prefix;
    for (const char* a : {"PWRX", "PWRY", "PWRZ"}) f.push_back({p + a, "1"});
    f.push_back({p + "TRMS", "008"});
    const double c[8] = {0.0, t[0], t[1], 0.0, t[2], 0.0, 0.0, 0.0};
    for (double v : c) f.push_back({p + "PCF", real(v)});
  };
  auto unit = [&](const char* prefix) {
    const std::string p = prefix;
    for (const char* a : {"PWRX", "PWRY", "PWRZ"}) f.push_back({p + a, "0"});
    f.push_back({p + "TRMS", "001"});
    f.push_back({p + "PCF", real(1.0)});
  };
  affine("RN", kRowTerms);
  unit("RD");
  affine("CN", kSampleTerms);
  unit("CD");
  return f;
}

std::vector<std::pair<std::string, std::string>> syntheticRecords(const SyntheticModel& model) {
  using nitf_builder::real;
  using nitf_builder::whole;
  const Box b = box(model.kind);
  nitf_builder::Fields ida = {{"IID", "SYNTHETIC"}, {"EDITION", "1"}, {"ISID", ""}, {"SID", ""},
                              {"STID", "TEST"}, {"YEAR", "2020"}, {"MONTH", "01"}, {"DAY", "01"},
                              {"HOUR", "00"}, {"MINUTE", "00"}, {"SECOND", "00.000000"},
                              {"NRG", ""}, {"NCG", ""}, {"TRG", ""}, {"TCG", ""},
                              {"GRNDD", std::string(1, model.kind)}};
  const std::vector<double> frame = rectangularDescriptor();
  const char* const names[] = {"XUOR", "YUOR", "ZUOR", "XUXR", "XUYR", "XUZR",
                               "YUXR", "YUYR", "YUZR", "ZUXR", "ZUYR", "ZUZR"};
  for (int i = 0; i < 12; ++i) ida.push_back({names[i], model.kind == 'R' ? real(frame[i]) : ""});
  int v = 1;
  for (const double fz : {0.0, 1.0}) {
    for (const double fy : {0.0, 1.0}) {
      for (const double fx : {0.0, 1.0}) {
        double x, y, z;
        syntheticGround(model, fx, fy, fz, x, y, z);
        const std::string n = "V" + std::to_string(v++);
        ida.insert(ida.end(), {{n + "X", real(x)}, {n + "Y", real(y)}, {n + "Z", real(z)}});
      }
    }
  }
  const bool grp = model.kind != 'R';
  ida.insert(ida.end(), {{"GRPX", grp ? real(b.x0) : ""}, {"GRPY", grp ? real(b.y0) : ""},
                         {"GRPZ", grp ? real(250.0) : ""}, {"FULLR", whole(800, 8)},
                         {"FULLC", whole(1000, 8)}, {"MINR", whole(0, 8)},
                         {"MAXR", whole(799, 8)}, {"MINC", whole(0, 8)},
                         {"MAXC", whole(999, 8)}});
  for (const char* n : {"IE0", "IER", "IEC", "IERR", "IERC", "IECC", "IA0", "IAR", "IAC", "IARR",
                        "IARC", "IACC", "SPX", "SVX", "SAX", "SPY", "SVY", "SAY", "SPZ", "SVZ",
                        "SAZ"}) {
    ida.push_back({n, ""});
  }
  std::vector<std::pair<std::string, std::string>> records = {
      {"RSMIDA", nitf_builder::encodeTre("RSMIDA", ida)}};
  if (model.rows * model.columns > 1) {
    nitf_builder::Fields pia = {{"IID", "SYNTHETIC"}, {"EDITION", "1"}};
    const char* const terms[] = {"0", "X", "Y", "Z", "XX", "XY", "XZ", "YY", "YZ", "ZZ"};
    const double* rowOrSample[2] = {kRowTerms, kSampleTerms};
    const double half[2] = {kRows / 2, kColumns / 2};
    const char* axis[2] = {"R", "C"};
    for (int a = 0; a < 2; ++a) {
      const double* t = rowOrSample[a];
      const double c[4] = {half[a] - half[a] * (t[0] * b.x0 / b.sx + t[1] * b.y0 / b.sy +
                                                t[2] * b.z0 / b.sz),
                           half[a] * t[0] / b.sx, half[a] * t[1] / b.sy, half[a] * t[2] / b.sz};
      for (int i = 0; i < 10; ++i) {
        pia.push_back({std::string(axis[a]) + terms[i], real(i < 4 ? c[i] : 0.0)});
      }
    }
    pia.insert(pia.end(), {{"RNIS", whole(model.rows, 3)}, {"CNIS", whole(model.columns, 3)},
                           {"TNIS", whole(model.rows * model.columns, 3)},
                           {"RSSIZ", real(kRows / model.rows)},
                           {"CSSIZ", real(kColumns / model.columns)}});
    records.push_back({"RSMPIA", nitf_builder::encodeTre("RSMPIA", pia)});
  }
  for (int r = 1; r <= model.rows; ++r) {
    for (int c = 1; c <= model.columns; ++c) {
      records.push_back(
          {"RSMPCA", nitf_builder::encodeTre("RSMPCA", syntheticSectionFields(model, r, c))});
    }
  }
  return records;
}

}  // namespace tooltest
