#include "covariance_checks.h"

#include "record_checker.h"

namespace senmod_io {

namespace {

template <typename Record>
void checkLocalFrame(const RecordChecker& c, const Record& r) {
  const double values[] = {r.xuol, r.yuol, r.zuol, r.xuxl, r.xuyl, r.xuzl,
                           r.yuxl, r.yuyl, r.yuzl, r.zuxl, r.zuyl, r.zuzl};
  static const char* const kFields[] = {"XUOL", "YUOL", "ZUOL", "XUXL", "XUYL", "XUZL",
                                        "YUXL", "YUYL", "YUZL", "ZUXL", "ZUYL", "ZUZL"};
  for (int i = 0; i < 12; ++i) c.real(kFields[i], values[i]);
}

// Each index names one of the record's npar adjustable parameters, or is 0 (not adjusted).
template <typename Record>
void checkParameterIndex(const RecordChecker& c, const Record& r, int32_t npar) {
  const int32_t values[] = {r.iro,  r.irx,  r.iry,  r.irz,  r.irxx, r.irxy, r.irxz, r.iryy,
                            r.iryz, r.irzz, r.ico,  r.icx,  r.icy,  r.icz,  r.icxx, r.icxy,
                            r.icxz, r.icyy, r.icyz, r.iczz, r.gxo,  r.gyo,  r.gzo,  r.gxr,
                            r.gyr,  r.gzr,  r.gs,   r.gxx,  r.gxy,  r.gxz,  r.gyx,  r.gyy,
                            r.gyz,  r.gzx,  r.gzy,  r.gzz};
  static const char* const kFields[] = {
      "IRO", "IRX", "IRY", "IRZ", "IRXX", "IRXY", "IRXZ", "IRYY", "IRYZ",
      "IRZZ", "IC0", "ICX", "ICY", "ICZ", "ICXX", "ICXY", "ICXZ", "ICYY",
      "ICYZ", "ICZZ", "GXO", "GYO", "GZO", "GXR", "GYR", "GZR", "GS",
      "GXX", "GXY", "GXZ", "GYX", "GYY", "GYZ", "GZX", "GZY", "GZZ"};
  for (int i = 0; i < 36; ++i) {
    if (values[i] < 0 || values[i] > npar) {
      c.fail(kFields[i], "parameter " + std::to_string(values[i]) + " of " +
                             std::to_string(npar) + " (NPAR)");
    }
  }
}

}  // namespace

void checkApa(const Smod_RSMAPA& r, const std::string& file) {
  const RecordChecker c("RSMAPA", file);
  c.text("IID", r.iid);
  c.text("EDITION", r.edition);
  c.text("TID", r.tid);
  c.range("NPAR", r.npar, 1, kMaxParameters);
  checkLocalFrame(c, r);
  checkParameterIndex(c, r, r.npar);
  c.reals("PARVAL", r.parval, r.npar);
}

void checkDca(const Smod_RSMDCA& r, const std::string& file) {
  const RecordChecker c("RSMDCA", file);
  c.range("NPAR", r.npar, 1, kMaxParameters);
  c.range("NIMGE", r.nimge, 1, 999);
  c.range("NPART", r.npart, 1, 99999);
  c.text("IID", r.iidi);
  if (r.npari.count != r.nimge) {
    c.fail("NIMGE", std::to_string(r.nimge) + " images but " + std::to_string(r.npari.count) +
                        " image entries");
  }
  long total = 0;
  for (int32_t i = 0; i < r.npari.count; ++i) {
    c.range("NPARI", r.npari.data[i], 1, kMaxParameters);
    total += r.npari.data[i];
  }
  if (total != r.npart) c.fail("NPART", "not the sum of the images' NPARI");
  checkLocalFrame(c, r);
  checkParameterIndex(c, r, r.npar);
  c.reals("DERCOV", r.dercov, long(r.npart) * (r.npart + 1) / 2);
}

void checkEca(const Smod_RSMECA& r, const std::string& file) {
  const RecordChecker c("RSMECA", file);
  const bool indirect = c.flag("INCLIC", r.inclic);
  const bool unmodelled = c.flag("INCLUC", r.incluc);
  if (indirect) {
    c.range("NPAR", r.npar, 1, kMaxParameters);
    c.range("NPARO", r.nparo, 1, kMaxParameters);
    c.range("IGN", r.ign, 1, 1);
    c.range("CVDATE", r.cvdate, 0, 99999999);
    checkLocalFrame(c, r);
    checkParameterIndex(c, r, r.npar);
    c.range("NUMOPG", r.numopg, 1, kMaxParameters);
    // With one group, the group holds every original parameter.
    if (r.numopg != r.nparo) {
      c.fail("NUMOPG", std::to_string(r.numopg) + " parameters in the one group, but NPARO is " +
                           std::to_string(r.nparo));
    }
    c.reals("ERRCVG", r.errcvg, long(r.numopg) * (r.numopg + 1) / 2);
    c.range("TCDF", r.tcdf, 0, 2);
    c.range("NCSEG", r.ncseg, 2, 9);
    c.reals("CORSEG", r.corseg, r.ncseg);
    c.reals("TAUSEG", r.tauseg, r.ncseg);
    c.reals("MAP", r.map, long(r.npar) * r.nparo);
  } else {
    c.empty("ERRCVG", r.errcvg);
    c.empty("CORSEG", r.corseg);
    c.empty("TAUSEG", r.tauseg);
    c.empty("MAP", r.map);
  }
  if (unmodelled) {
    c.real("URR", r.urr);
    c.real("URC", r.urc);
    c.real("UCC", r.ucc);
    c.range("UNCSR", r.uncsr, 2, 9);
    c.reals("UCORSR", r.ucorsr, r.uncsr);
    c.reals("UTAUSR", r.utausr, r.uncsr);
    c.range("UNCSC", r.uncsc, 2, 9);
    c.reals("UCORSC", r.ucorsc, r.uncsc);
    c.reals("UTAUSC", r.utausc, r.uncsc);
  } else {
    c.empty("UCORSR", r.ucorsr);
    c.empty("UTAUSR", r.utausr);
    c.empty("UCORSC", r.ucorsc);
    c.empty("UTAUSC", r.utausc);
  }
}

}  // namespace senmod_io
