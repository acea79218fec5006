#include "rsm_b_records.h"

#include <algorithm>

#include "covariance_checks.h"
#include "read_error.h"

namespace senmod_io {

namespace {

const char* const kFrameFields[] = {"XUOL", "YUOL", "ZUOL", "XUXL", "XUYL", "XUZL",
                                    "YUXL", "YUYL", "YUZL", "ZUXL", "ZUYL", "ZUZL"};

bool flag(TreCursor& c, const std::string& field) {
  const std::string value = c.text(field);
  if (value != "Y" && value != "N") c.fail(field, "\"" + value + "\" is not Y or N");
  return value == "Y";
}

double realWithin(TreCursor& c, const std::string& field, double low, double high) {
  const double value = c.real(field);
  if (value < low || value > high) {
    c.fail(field, std::to_string(value) + " is outside " + std::to_string(low) + " to " +
                      std::to_string(high));
  }
  return value;
}

void nonNegative(TreCursor& c, const std::string& field) {
  if (c.real(field) < 0.0) c.fail(field, "negative");
}

void checkIdentity(TreCursor& c, const ImageIdentity& image) {
  const std::string iid = c.text("IID");
  if (iid != image.iid) {
    c.fail("IID", "\"" + iid + "\" is not RSMIDA's \"" + image.iid +
                      "\": the records describe different images");
  }
  const std::string edition = c.text("EDITION");
  if (edition != image.edition) {
    c.fail("EDITION", "\"" + edition + "\" is not RSMIDA's \"" + image.edition +
                          "\": the records describe different images");
  }
  c.text("TID");
}

// The image-space terms of one kind: their count, then each term's three powers.
void readImageTerms(TreCursor& c, AdjustmentTerm::Kind kind, const std::string& count,
                    const char* suffix, ParameterDefinition& d) {
  const int n = c.integer(count, 0, 99);
  for (int i = 0; i < n; ++i) {
    AdjustmentTerm term;
    term.kind = kind;
    for (int axis = 0; axis < 3; ++axis) {
      term.powers[axis] = c.integer(std::string(1, "XYZ"[axis]) + "PWR" + suffix, 0, 5);
    }
    term.parameter = static_cast<int>(d.terms.size());
    for (const AdjustmentTerm& other : d.terms) {
      if (other.kind == kind && other.powers == term.powers) {
        c.fail(std::string("XPWR") + suffix,
               "the term " + imageTermName(kind, term.powers) + " is given twice");
      }
    }
    d.terms.push_back(term);
  }
}

// The parameters' definition that follows NPAR (npar, already read) in each B record.
ParameterDefinition readDefinition(TreCursor& c, int npar, const ImageIdentity& image) {
  ParameterDefinition d;
  d.count = npar;
  const std::string type = c.text("APTYP");
  if (type != "I" && type != "G") c.fail("APTYP", "\"" + type + "\" is not I or G");
  const std::string frame = c.text("LOCTYP");
  if (frame != "R" && frame != "N") c.fail("LOCTYP", "\"" + frame + "\" is not R or N");
  std::array<double, 3> scale{}, offset{};
  for (int i = 0; i < 3; ++i) scale[i] = c.real(std::string("NSF") + "XYZ"[i]);
  for (int i = 0; i < 3; ++i) offset[i] = c.real(std::string("NOFF") + "XYZ"[i]);
  std::array<double, 12> local{};
  if (frame == "R") {
    for (int i = 0; i < 12; ++i) {
      local[i] = i < 3 ? c.real(kFrameFields[i]) : realWithin(c, kFrameFields[i], -1.0, 1.0);
    }
  } else if (image.domainFrame.size() == 12) {
    std::copy(image.domainFrame.begin(), image.domainFrame.end(), local.begin());
  } else {
    c.fail("LOCTYP", "N (the ground domain's frame) on a geodetic ground domain, which has no "
                     "frame to take");
  }
  std::copy(local.begin(), local.begin() + 3, d.origin.begin());
  std::copy(local.begin() + 3, local.end(), d.axes.begin());
  const bool basis = flag(c, "APBASE");
  if (type == "I") {
    const int total = c.integer("NISAP", 1, 99);
    readImageTerms(c, AdjustmentTerm::Kind::Row, "NISAPR", "R", d);
    readImageTerms(c, AdjustmentTerm::Kind::Sample, "NISAPC", "C", d);
    if (static_cast<int>(d.terms.size()) != total) {
      c.fail("NISAP", std::to_string(total) + " terms but " + std::to_string(d.terms.size()) +
                          " row and column terms");
    }
    for (int i = 0; i < 3; ++i) {
      if (scale[i] == 0.0) c.fail(std::string("NSF") + "XYZ"[i], "zero");
    }
    d.scale = scale;
    d.offset = offset;
  } else {
    const int n = c.integer("NGSAP", 1, 16);
    for (int i = 0; i < n; ++i) {
      const std::string id = c.text("GSAPID");
      const std::optional<GroundTerm> term = groundTermNamed(id);
      if (!term) c.fail("GSAPID", "\"" + id + "\" is none of GXO ... GZZ");
      for (const AdjustmentTerm& other : d.terms) {
        if (other.ground == *term) c.fail("GSAPID", "the term " + id + " is given twice");
      }
      AdjustmentTerm t;
      t.kind = AdjustmentTerm::Kind::Ground;
      t.ground = *term;
      t.parameter = i;
      d.terms.push_back(t);
    }
  }
  if (static_cast<int>(d.terms.size()) != npar) {
    c.fail("NPAR", std::to_string(npar) + " parameters but " + std::to_string(d.terms.size()) +
                       " terms");
  }
  if (basis) {
    d.basisCount = c.integer("NBASIS", 1, 99);
    d.basis = c.reals("AEL", npar * d.basisCount);
  }
  return d;
}

ParameterRecord readApb(const Tre& tre, const ImageIdentity& image, const std::string& file) {
  TreCursor c(tre, file);
  checkIdentity(c, image);
  ParameterRecord r;
  r.name = tre.name;
  const int npar = c.integer("NPAR", 1, kMaxParameters);
  r.definition = readDefinition(c, npar, image);
  r.values = c.reals("PARVAL", npar);
  c.end();
  return r;
}

ParameterRecord readDcb(const Tre& tre, const ImageIdentity& image, const std::string& file) {
  TreCursor c(tre, file);
  checkIdentity(c, image);
  ParameterRecord r;
  r.role = ParameterRecord::Role::Direct;
  r.name = tre.name;
  const int rows = c.integer("NROWCB", 1, 99);
  const int images = c.integer("NIMGE", 1, 999);
  std::vector<int> columns;
  int own = -1;
  for (int i = 0; i < images; ++i) {
    const std::string id = c.text("IIDI");
    columns.push_back(c.integer("NCOLCB", 1, 99));
    if (own < 0 && id == image.iid) own = i;
  }
  own = std::max(own, 0);
  if (columns[own] != rows) {
    c.fail("NCOLCB", "image " + std::to_string(own + 1) + " has " +
                         std::to_string(columns[own]) + " columns where NROWCB is " +
                         std::to_string(rows));
  }
  if (flag(c, "INCAPD")) {
    const int npar = c.integer("NPAR", 1, kMaxParameters);
    r.definition = readDefinition(c, npar, image);
  }
  for (int i = 0; i < images; ++i) {
    const std::vector<double> block = c.reals("CRSCOV", rows * columns[i]);
    if (i == own) r.covariance = block;
  }
  c.end();
  r.covarianceSize = rows;
  r.covarianceField = "CRSCOV";
  checkCovariance(r.covariance, rows, r.name, r.covarianceField, file);
  return r;
}

// The correlation model of a group or of the unmodelled error: checked, not used.
void readCorrelationSegments(TreCursor& c, const std::string& count, const std::string& value,
                             const std::string& time) {
  const int n = c.integer(count, 2, 9);
  for (int i = 0; i < n; ++i) {
    realWithin(c, value, 0.0, 1.0);
    nonNegative(c, time);
  }
}

void readCorrelationFunction(TreCursor& c, const char* a, const char* alpha, const char* beta,
                             const char* t) {
  realWithin(c, a, 0.0, 1.0);
  realWithin(c, alpha, 0.0, 1.0);
  realWithin(c, beta, 0.0, 10.0);
  nonNegative(c, t);
}

ParameterRecord readEcb(const Tre& tre, const ImageIdentity& image, const std::string& file) {
  TreCursor c(tre, file);
  checkIdentity(c, image);
  ParameterRecord r;
  r.role = ParameterRecord::Role::Indirect;
  r.name = tre.name;
  const bool indirect = flag(c, "INCLIC");
  const bool unmodelled = flag(c, "INCLUC");
  if (indirect) {
    const int nparo = c.integer("NPARO", 1, 53);
    const int groupCount = c.integer("IGN", 1, 36);
    const std::string date = c.text("CVDATE");
    if (!date.empty() && (date.size() != 8 || !std::all_of(date.begin(), date.end(), [](char d) { return d >= '0' && d <= '9'; }))) {
      c.fail("CVDATE", "\"" + date + "\" is not a date YYYYMMDD");
    }
    const int npar = c.integer("NPAR", 1, kMaxParameters);
    r.definition = readDefinition(c, npar, image);
    std::vector<PackedGroup> groups;
    int total = 0;
    for (int g = 0; g < groupCount; ++g) {
      PackedGroup group;
      group.size = c.integer("NUMOPG", 1, 53);
      total += group.size;
      if (total > nparo) {
        c.fail("NUMOPG", "the groups hold more than NPARO = " + std::to_string(nparo) +
                             " parameters");
      }
      group.packed = c.reals("ERRCVG", group.size * (group.size + 1) / 2);
      c.integer("TCDF", 0, 2);
      if (flag(c, "ACSMC")) {
        readCorrelationFunction(c, "AC", "ALPC", "BETC", "TC");
      } else {
        readCorrelationSegments(c, "NCSEG", "CORSEG", "TAUSEG");
      }
      groups.push_back(std::move(group));
    }
    if (total != nparo) {
      c.fail("NUMOPG", "the groups hold " + std::to_string(total) + " parameters where NPARO is " +
                           std::to_string(nparo));
    }
    const std::vector<double> map = c.reals("MAP", npar * nparo);
    r.covariance = indirectCovariance(map.data(), npar, nparo, groups, r.name, file);
    r.covarianceSize = npar;
    r.covarianceField = "MAP";
  }
  if (unmodelled) {
    const double rr = c.real("URR"), rc = c.real("URC"), cc = c.real("UCC");
    checkCovariance({rr, rc, rc, cc}, 2, r.name, "URR", file);
    r.unmodelled = std::array<double, 3>{rr, rc, cc};
    if (flag(c, "UACSMC")) {
      readCorrelationFunction(c, "UACR", "UALPCR", "UBETCR", "UTCR");
      readCorrelationFunction(c, "UACC", "UALPCC", "UBETCC", "UTCC");
    } else {
      readCorrelationSegments(c, "UNCSR", "UCORSR", "UTAUSR");
      readCorrelationSegments(c, "UNCSC", "UCORSC", "UTAUSC");
    }
  }
  c.end();
  return r;
}

}  // namespace

std::vector<ParameterRecord> parameterRecordsOfB(const std::vector<Tre>& records,
                                                 const ImageIdentity& image,
                                                 const std::string& file) {
  using Reader = ParameterRecord (*)(const Tre&, const ImageIdentity&, const std::string&);
  const std::pair<const char*, Reader> kinds[] = {
      {"RSMAPB", readApb}, {"RSMDCB", readDcb}, {"RSMECB", readEcb}};
  std::vector<ParameterRecord> result;
  for (const auto& [name, read] : kinds) {
    const Tre* found = nullptr;
    for (const Tre& tre : records) {
      if (tre.name != name) continue;
      if (found) throw ReadError(file + ": more than one " + name + " record");
      found = &tre;
    }
    if (found) result.push_back(read(*found, image, file));
  }
  return result;
}

}  // namespace senmod_io
