#include <cstdlib>

#include "covariance_checks.h"
#include "read_error.h"
#include "rsm_records.h"

namespace senmod_io {

namespace {

// Reads the local coordinate system block into the twelve doubles that start at xuol.
template <typename Record>
void readLocalFrame(const TreFields& f, Record& r) {
  double* const targets[] = {&r.xuol, &r.yuol, &r.zuol, &r.xuxl, &r.xuyl, &r.xuzl,
                             &r.yuxl, &r.yuyl, &r.yuzl, &r.zuxl, &r.zuyl, &r.zuzl};
  static const char* const kFields[] = {"XUOL", "YUOL", "ZUOL", "XUXL", "XUYL", "XUZL",
                                        "YUXL", "YUYL", "YUZL", "ZUXL", "ZUYL", "ZUZL"};
  for (int i = 0; i < 12; ++i) *targets[i] = f.real(kFields[i]);
}

// Reads the parameter index block; a blank index (the term is not adjusted) is 0.
template <typename Record>
void readParameterIndex(const TreFields& f, Record& r) {
  int32_t* const targets[] = {
      &r.iro, &r.irx, &r.iry, &r.irz, &r.irxx, &r.irxy, &r.irxz, &r.iryy, &r.iryz,
      &r.irzz, &r.ico, &r.icx, &r.icy, &r.icz, &r.icxx, &r.icxy, &r.icxz, &r.icyy,
      &r.icyz, &r.iczz, &r.gxo, &r.gyo, &r.gzo, &r.gxr, &r.gyr, &r.gzr, &r.gs,
      &r.gxx, &r.gxy, &r.gxz, &r.gyx, &r.gyy, &r.gyz, &r.gzx, &r.gzy, &r.gzz};
  static const char* const kFields[] = {
      "IRO", "IRX", "IRY", "IRZ", "IRXX", "IRXY", "IRXZ", "IRYY", "IRYZ",
      "IRZZ", "IC0", "ICX", "ICY", "ICZ", "ICXX", "ICXY", "ICXZ", "ICYY",
      "ICYZ", "ICZZ", "GXO", "GYO", "GZO", "GXR", "GYR", "GZR", "GS",
      "GXX", "GXY", "GXZ", "GYX", "GYY", "GYZ", "GZX", "GZY", "GZZ"};
  for (int i = 0; i < 36; ++i)
    *targets[i] = f.optionalInteger(kFields[i], 1, kMaxParameters).value_or(0);
}

const Tre* single(const std::vector<Tre>& records, const std::string& name,
                  const std::string& file) {
  const Tre* found = nullptr;
  for (const Tre& tre : records) {
    if (tre.name != name) continue;
    if (found) throw ReadError(file + ": more than one " + name + " record");
    found = &tre;
  }
  return found;
}

void readApa(const TreFields& f, Smod_RSMAPA& r) {
  r.iid = heapText(f.text("IID"));
  r.edition = heapText(f.text("EDITION"));
  r.tid = heapText(f.text("TID"));
  r.npar = f.integer("NPAR", 1, kMaxParameters);
  readLocalFrame(f, r);
  readParameterIndex(f, r);
  r.parval = heapDoubles(f.reals("PARVAL", r.npar));
}

void readDca(const Tre& tre, const TreFields& f, Smod_RSMDCA& r) {
  r.npar = f.integer("NPAR", 1, kMaxParameters);
  r.nimge = f.integer("NIMGE", 1, 999);
  r.npart = f.integer("NPART", 1, 99999);
  // The image identifiers come after the record's own IID, one per image.
  std::vector<std::string> ids;
  std::vector<int32_t> counts;
  bool first = true;
  for (const TreField& field : tre.fields) {
    if (field.name == "IID") {
      if (!first) ids.push_back(field.value);
      first = false;
    } else if (field.name == "NPARI") {
      char* end = nullptr;
      const long count = std::strtol(field.value.c_str(), &end, 10);
      if (field.value.empty() || *end != '\0' || count < 1 || count > kMaxParameters) {
        f.fail("NPARI", "\"" + field.value + "\" is not a parameter count");
      }
      counts.push_back(static_cast<int32_t>(count));
    }
  }
  if (static_cast<int>(ids.size()) != r.nimge || static_cast<int>(counts.size()) != r.nimge) {
    f.fail("NIMGE", std::to_string(r.nimge) + " images but " + std::to_string(counts.size()) +
                        " image entries");
  }
  long total = 0;
  for (int32_t c : counts) total += c;
  if (total != r.npart) f.fail("NPART", "not the sum of the images' NPARI");
  std::string joined;
  for (const std::string& id : ids) joined += (joined.empty() ? "" : "\n") + id;
  r.iidi = heapText(joined);
  r.npari = heapInts(counts);
  readLocalFrame(f, r);
  readParameterIndex(f, r);
  const long elements = static_cast<long>(r.npart) * (r.npart + 1) / 2;
  r.dercov = heapDoubles(f.reals("DERCOV", static_cast<int>(elements)));
}

void readEca(const TreFields& f, Smod_RSMECA& r) {
  const std::string indirect = f.text("INCLIC");
  const std::string unmodelled = f.text("INCLUC");
  if (indirect != "Y" && indirect != "N") f.fail("INCLIC", "not Y or N");
  if (unmodelled != "Y" && unmodelled != "N") f.fail("INCLUC", "not Y or N");
  r.inclic = heapText(indirect);
  r.incluc = heapText(unmodelled);
  if (indirect == "Y") {
    r.npar = f.integer("NPAR", 1, kMaxParameters);
    r.nparo = f.integer("NPARO", 1, kMaxParameters);
    r.ign = f.integer("IGN", 1, kMaxParameters);
    if (r.ign != 1) f.fail("IGN", "only one independent parameter group can be held");
    r.cvdate = f.optionalInteger("CVDATE", 0, 99999999).value_or(0);
    readLocalFrame(f, r);
    readParameterIndex(f, r);
    r.numopg = f.integer("NUMOPG", 1, kMaxParameters);
    r.errcvg = heapDoubles(f.reals("ERRCVG", r.numopg * (r.numopg + 1) / 2));
    r.tcdf = f.integer("TCDF", 0, 2);
    r.ncseg = f.integer("NCSEG", 2, 9);
    r.corseg = heapDoubles(f.reals("CORSEG", r.ncseg));
    r.tauseg = heapDoubles(f.reals("TAUSEG", r.ncseg));
    r.map = heapDoubles(f.reals("MAP", r.npar * r.nparo));
  }
  if (unmodelled == "Y") {
    r.urr = f.real("URR");
    r.urc = f.real("URC");
    r.ucc = f.real("UCC");
    r.uncsr = f.integer("UNCSR", 2, 9);
    r.ucorsr = heapDoubles(f.reals("UCORSR", r.uncsr));
    r.utausr = heapDoubles(f.reals("UTAUSR", r.uncsr));
    r.uncsc = f.integer("UNCSC", 2, 9);
    r.ucorsc = heapDoubles(f.reals("UCORSC", r.uncsc));
    r.utausc = heapDoubles(f.reals("UTAUSC", r.uncsc));
  }
}

}  // namespace

CovarianceRecords covarianceFromRecords(const std::vector<Tre>& records,
                                        const std::string& file) {
  CovarianceRecords result;
  ErrorReport* report = nullptr;
  if (const Tre* tre = single(records, "RSMAPA", file)) {
    result.apa.reset(smod_RSMAPACreate(&report));
    if (!result.apa) throw std::bad_alloc();
    readApa(TreFields(*tre, file), *result.apa);
    checkApa(*result.apa, file);
  }
  if (const Tre* tre = single(records, "RSMDCA", file)) {
    result.dca.reset(smod_RSMDCACreate(&report));
    if (!result.dca) throw std::bad_alloc();
    readDca(*tre, TreFields(*tre, file), *result.dca);
    checkDca(*result.dca, file);
  }
  if (const Tre* tre = single(records, "RSMECA", file)) {
    result.eca.reset(smod_RSMECACreate(&report));
    if (!result.eca) throw std::bad_alloc();
    readEca(TreFields(*tre, file), *result.eca);
    checkEca(*result.eca, file);
  }
  return result;
}

}  // namespace senmod_io
