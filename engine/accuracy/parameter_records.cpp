#include "parameter_records.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "read_error.h"
#include "symmetric_matrix.h"

namespace senmod_io {

namespace {

constexpr double kTolerance = 1e-9;

// The powers of the ten image-space slots of a row (and of a column): O, X, Y, Z, XX, XY, XZ,
// YY, YZ, ZZ.
constexpr std::array<std::array<int, 3>, 10> kSlotPowers = {{{0, 0, 0},
                                                             {1, 0, 0},
                                                             {0, 1, 0},
                                                             {0, 0, 1},
                                                             {2, 0, 0},
                                                             {1, 1, 0},
                                                             {1, 0, 1},
                                                             {0, 2, 0},
                                                             {0, 1, 1},
                                                             {0, 0, 2}}};

template <typename Record>
std::array<int32_t, 36> slots(const Record& r) {
  return {r.iro,  r.irx,  r.iry,  r.irz,  r.irxx, r.irxy, r.irxz, r.iryy, r.iryz,
          r.irzz, r.ico,  r.icx,  r.icy,  r.icz,  r.icxx, r.icxy, r.icxz, r.icyy,
          r.icyz, r.iczz, r.gxo,  r.gyo,  r.gzo,  r.gxr,  r.gyr,  r.gzr,  r.gs,
          r.gxx,  r.gxy,  r.gxz,  r.gyx,  r.gyy,  r.gyz,  r.gzx,  r.gzy,  r.gzz};
}

// The definition an A record gives: its frame, and one term per slot that names a parameter.
template <typename Record>
ParameterDefinition definitionOfA(const Record& r) {
  ParameterDefinition d;
  d.count = r.npar;
  d.origin = {r.xuol, r.yuol, r.zuol};
  d.axes = {r.xuxl, r.xuyl, r.xuzl, r.yuxl, r.yuyl, r.yuzl, r.zuxl, r.zuyl, r.zuzl};
  const std::array<int32_t, 36> index = slots(r);
  for (int i = 0; i < 36; ++i) {
    if (index[i] == 0) continue;
    AdjustmentTerm term;
    term.parameter = index[i] - 1;
    if (i < 20) {
      term.kind = i < 10 ? AdjustmentTerm::Kind::Row : AdjustmentTerm::Kind::Sample;
      term.powers = kSlotPowers[i % 10];
    } else {
      term.kind = AdjustmentTerm::Kind::Ground;
      term.ground = static_cast<GroundTerm>(i - 20);
    }
    d.terms.push_back(term);
  }
  return d;
}

bool sameTerm(const AdjustmentTerm& a, const AdjustmentTerm& b) {
  if (a.kind != b.kind || a.parameter != b.parameter) return false;
  return a.kind == AdjustmentTerm::Kind::Ground ? a.ground == b.ground : a.powers == b.powers;
}

template <size_t N>
bool close(const std::array<double, N>& a, const std::array<double, N>& b) {
  double size = 0.0;
  for (size_t i = 0; i < N; ++i) size = std::max({size, std::fabs(a[i]), std::fabs(b[i])});
  for (size_t i = 0; i < N; ++i) {
    if (std::fabs(a[i] - b[i]) > kTolerance * size) return false;
  }
  return true;
}

// What differs between two definitions, or "" when they agree.
std::string difference(const ParameterDefinition& a, const ParameterDefinition& b) {
  if (a.count != b.count) {
    return std::to_string(a.count) + " against " + std::to_string(b.count) + " parameters (NPAR)";
  }
  if (!close(a.origin, b.origin)) return "different frame origins";
  if (!close(a.axes, b.axes)) return "different frame axes";
  if (!close(a.offset, b.offset) || !close(a.scale, b.scale)) {
    return "different normalisations (NOFF, NSF)";
  }
  const bool same = a.terms.size() == b.terms.size() &&
                    std::equal(a.terms.begin(), a.terms.end(), b.terms.begin(), sameTerm);
  return same ? "" : "different terms";
}

std::string termName(const AdjustmentTerm& term) {
  return term.kind == AdjustmentTerm::Kind::Ground ? groundTermName(term.ground)
                                                   : imageTermName(term.kind, term.powers);
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

std::vector<double> unpackTriangle(const double* packed, int n) {
  std::vector<double> c(size_t(n) * n);
  size_t k = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j, ++k) c[size_t(i) * n + j] = c[size_t(j) * n + i] = packed[k];
  }
  return c;
}

void checkCovariance(const std::vector<double>& c, int n, const std::string& record,
                     const std::string& field, const std::string& file) {
  const std::string where = file + ": " + record + ": field " + field + ": ";
  double largest = 0.0;
  for (const double v : c) {
    if (!std::isfinite(v)) throw ReadError(where + "the covariance holds a value that is not a finite number");
    largest = std::max(largest, std::fabs(v));
  }
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      if (std::fabs(c[i * n + j] - c[j * n + i]) > kTolerance * largest) {
        throw ReadError(where + "the covariance is not symmetric (element " + std::to_string(i + 1) +
                        ", " + std::to_string(j + 1) + ")");
      }
    }
  }
  SymmetricMatrix m(n);
  m.a = c;
  std::vector<double> values;
  symmetricEigen(m, &values, nullptr);
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  if (n > 0 && *low < -kTolerance * *high) {
    throw ReadError(where + "the covariance is not positive semi-definite (eigenvalue " +
                    number(*low) + " against a largest of " + number(*high) + ")");
  }
}

std::vector<double> congruence(const std::vector<double>& m, int rows,
                               const std::vector<double>& c, int n) {
  std::vector<double> mc(size_t(rows) * n, 0.0);
  for (int i = 0; i < rows; ++i) {
    for (int k = 0; k < n; ++k) {
      double sum = 0.0;
      for (int j = 0; j < n; ++j) sum += m[size_t(i) * n + j] * c[size_t(j) * n + k];
      mc[size_t(i) * n + k] = sum;
    }
  }
  std::vector<double> result(size_t(rows) * rows);
  for (int i = 0; i < rows; ++i) {
    for (int j = i; j < rows; ++j) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum += mc[size_t(i) * n + k] * m[size_t(j) * n + k];
      result[size_t(i) * rows + j] = result[size_t(j) * rows + i] = sum;
    }
  }
  return result;
}

AdjustableParameters combineParameterRecords(const std::vector<ParameterRecord>& records,
                                             const std::string& file) {
  AdjustableParameters p;
  const ParameterRecord* defining = nullptr;
  for (const ParameterRecord& r : records) {
    p.source += (p.source.empty() ? "" : ", ") + r.name;
    if (!r.definition) continue;
    if (!defining) {
      defining = &r;
      continue;
    }
    const std::string why = difference(*defining->definition, *r.definition);
    if (!why.empty()) {
      throw ReadError(file + ": " + defining->name + " and " + r.name +
                      " define different adjustable parameters: " + why);
    }
  }
  const ParameterRecord* values = nullptr;
  const ParameterRecord* covariance = nullptr;
  for (const ParameterRecord& r : records) {
    if (r.role == ParameterRecord::Role::Values) values = &r;
    const bool direct = r.role == ParameterRecord::Role::Direct;
    if (!r.covariance.empty() && (!covariance || direct)) covariance = &r;
    if (r.role == ParameterRecord::Role::Indirect && r.unmodelled) p.unmodelled = r.unmodelled;
  }
  if (!defining) {
    if (values || covariance) {
      const ParameterRecord& r = values ? *values : *covariance;
      throw ReadError(file + ": " + r.name +
                      " does not define its adjustable parameters and no other record does");
    }
    return p;
  }
  const ParameterDefinition& d = *defining->definition;
  p.origin = d.origin;
  p.axes = d.axes;
  p.offset = d.offset;
  p.scale = d.scale;
  p.terms = d.terms;
  p.names = parameterNames(d.terms, d.count);
  p.values = values ? values->values : std::vector<double>(d.count, 0.0);
  if (covariance) {
    const ParameterDefinition& own =
        covariance->definition ? *covariance->definition : d;
    const int size = covariance->covarianceSize;
    if (own.basisCount > 0 && size == own.basisCount) {
      p.covariance = congruence(own.basis, d.count, covariance->covariance, size);
    } else if (size == d.count) {
      p.covariance = covariance->covariance;
    } else {
      throw ReadError(file + ": " + covariance->name + ": field " + covariance->covarianceField +
                      ": a covariance of " + std::to_string(size) + " parameters where there are " +
                      std::to_string(d.count) +
                      (own.basisCount > 0 ? " (and " + std::to_string(own.basisCount) +
                                                " basis parameters)"
                                          : ""));
    }
  }
  checkParameters(p, "the parameters of " + p.source, file);
  return p;
}

std::vector<std::string> parameterNames(const std::vector<AdjustmentTerm>& terms, int count) {
  std::vector<std::string> names(std::max(count, 0));
  for (const AdjustmentTerm& term : terms) {
    if (term.parameter < 0 || term.parameter >= count) continue;
    std::string& name = names[term.parameter];
    name += (name.empty() ? "" : "+") + termName(term);
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) names[i] = "#" + std::to_string(i + 1);
  }
  return names;
}

std::vector<ParameterRecord> parameterRecordsOfA(const Smod_RSMAPA* apa, const Smod_RSMDCA* dca,
                                                 const Smod_RSMECA* eca,
                                                 const std::string& imageId,
                                                 const std::string& file) {
  std::vector<ParameterRecord> records;
  if (apa) {
    ParameterRecord r;
    r.name = "RSMAPA";
    r.definition = definitionOfA(*apa);
    r.values.assign(apa->parval.data, apa->parval.data + apa->parval.count);
    records.push_back(std::move(r));
  }
  if (dca) {
    ParameterRecord r;
    r.role = ParameterRecord::Role::Direct;
    r.name = "RSMDCA";
    r.definition = definitionOfA(*dca);
    // The images' ids, one a line; this image's block, else the first image's.
    const std::string ids = dca->iidi.data ? dca->iidi.data : "";
    int image = 0, at = 0;
    for (size_t start = 0, k = 0; start <= ids.size(); ++k) {
      const size_t stop = std::min(ids.find('\n', start), ids.size());
      if (k < size_t(dca->npari.count) && ids.substr(start, stop - start) == imageId) {
        image = static_cast<int>(k);
        break;
      }
      start = stop + 1;
    }
    for (int i = 0; i < image; ++i) at += dca->npari.data[i];
    const int n = dca->npari.data[image];
    if (n != dca->npar) {
      throw ReadError(file + ": RSMDCA: field NPARI: image " + std::to_string(image + 1) +
                      " has " + std::to_string(n) + " parameters where NPAR is " +
                      std::to_string(dca->npar));
    }
    const long total = dca->npart;
    r.covariance.resize(size_t(n) * n);
    for (int i = 0; i < n; ++i) {
      for (int j = i; j < n; ++j) {
        const long row = at + i, column = at + j;
        const long k = row * total - row * (row - 1) / 2 + (column - row);
        r.covariance[size_t(i) * n + j] = r.covariance[size_t(j) * n + i] = dca->dercov.data[k];
      }
    }
    r.covarianceSize = n;
    r.covarianceField = "DERCOV";
    checkCovariance(r.covariance, n, r.name, r.covarianceField, file);
    records.push_back(std::move(r));
  }
  if (eca) {
    ParameterRecord r;
    r.role = ParameterRecord::Role::Indirect;
    r.name = "RSMECA";
    if (eca->inclic.data && eca->inclic.data[0] == 'Y') {
      r.definition = definitionOfA(*eca);
      r.covariance = indirectCovariance(eca->map.data, eca->npar, eca->nparo,
                                        {{eca->numopg, std::vector<double>(
                                                           eca->errcvg.data,
                                                           eca->errcvg.data + eca->errcvg.count)}},
                                        r.name, file);
      r.covarianceSize = eca->npar;
      r.covarianceField = "MAP";
    }
    if (eca->incluc.data && eca->incluc.data[0] == 'Y') {
      r.unmodelled = std::array<double, 3>{eca->urr, eca->urc, eca->ucc};
      checkCovariance({eca->urr, eca->urc, eca->urc, eca->ucc}, 2, r.name, "URR", file);
    }
    records.push_back(std::move(r));
  }
  return records;
}

std::vector<double> indirectCovariance(const double* map, int npar, int nparo,
                                       const std::vector<PackedGroup>& groups,
                                       const std::string& record, const std::string& file) {
  std::vector<double> original(size_t(nparo) * nparo, 0.0);
  int at = 0;
  for (const PackedGroup& group : groups) {
    const int n = group.size;
    if (at + n > nparo || group.packed.size() != size_t(n) * (n + 1) / 2) {
      throw ReadError(file + ": " + record + ": field NUMOPG: the groups do not fill NPARO = " +
                      std::to_string(nparo) + " parameters");
    }
    const std::vector<double> c = unpackTriangle(group.packed.data(), n);
    checkCovariance(c, n, record, "ERRCVG", file);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) original[size_t(at + i) * nparo + at + j] = c[size_t(i) * n + j];
    }
    at += n;
  }
  if (at != nparo) {
    throw ReadError(file + ": " + record + ": field NUMOPG: the groups hold " +
                    std::to_string(at) + " parameters where NPARO is " + std::to_string(nparo));
  }
  return congruence(std::vector<double>(map, map + size_t(npar) * nparo), npar, original, nparo);
}

void checkParameters(const AdjustableParameters& p, const std::string& what,
                     const std::string& file) {
  const std::string where = file + ": " + what + ": ";
  const int n = static_cast<int>(p.count());
  for (const double v : p.origin) {
    if (!std::isfinite(v)) throw ReadError(where + "the frame origin is not finite");
  }
  for (const double v : p.axes) {
    if (!std::isfinite(v)) throw ReadError(where + "the frame axes are not finite");
  }
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(p.offset[i]) || !std::isfinite(p.scale[i]) || p.scale[i] == 0.0) {
      throw ReadError(where + "a normalisation offset or scale is not finite or a scale is 0");
    }
  }
  for (size_t i = 0; i < p.terms.size(); ++i) {
    const AdjustmentTerm& t = p.terms[i];
    if (t.parameter < 0 || t.parameter >= n) {
      throw ReadError(where + "term " + std::to_string(i + 1) + " names parameter " +
                      std::to_string(t.parameter + 1) + " of " + std::to_string(n));
    }
    if (t.kind != AdjustmentTerm::Kind::Ground) {
      for (const int power : t.powers) {
        if (power < 0 || power > 5) throw ReadError(where + "a term's power is outside 0 to 5");
      }
    } else if (static_cast<int>(t.ground) < 0 || static_cast<int>(t.ground) > 15) {
      throw ReadError(where + "a ground-space term is none of GXO ... GZZ");
    }
    for (size_t j = 0; j < i; ++j) {
      const AdjustmentTerm& u = p.terms[j];
      const bool same = u.kind == t.kind && (t.kind == AdjustmentTerm::Kind::Ground
                                                 ? u.ground == t.ground
                                                 : u.powers == t.powers);
      if (same) throw ReadError(where + "the term " + termName(t) + " is given twice");
    }
  }
  if (parameterNames(p.terms, n) != p.names) throw ReadError(where + "the names are not those of the terms");
  if (p.values.size() != size_t(n)) {
    throw ReadError(where + std::to_string(p.values.size()) + " values for " +
                    std::to_string(n) + " parameters");
  }
  for (const double v : p.values) {
    if (!std::isfinite(v)) throw ReadError(where + "a value is not a finite number");
  }
  if (p.hasCovariance()) {
    if (p.covariance.size() != size_t(n) * n) {
      throw ReadError(where + "the covariance holds " + std::to_string(p.covariance.size()) +
                      " values where " + std::to_string(n) + " parameters need " +
                      std::to_string(n * n));
    }
    checkCovariance(p.covariance, n, what, "covariance", file);
  }
  if (p.unmodelled) {
    const auto& u = *p.unmodelled;
    checkCovariance({u[0], u[1], u[1], u[2]}, 2, what, "unmodelled error", file);
  }
}

}  // namespace senmod_io
