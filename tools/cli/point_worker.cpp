#include "point_worker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "face.h"
#include "number_text.h"
#include "point_line.h"

namespace senmod_cli {

namespace {

// Points per engine call at most.
constexpr size_t kMaxPoints = 4096;

}  // namespace

PointWorker::PointWorker(smod_Model* model, const PointJob& job) : model_(model), job_(job) {
  pending_.reserve(kMaxPoints);
  for (std::vector<double>* v : {&x_, &y_, &z_, &outX_, &outY_, &heights_, &residuals_}) {
    v->resize(kMaxPoints);
  }
  status_.resize(kMaxPoints);
  if (job.accuracy) {
    cov_.resize(9 * kMaxPoints);
    ce90_.resize(kMaxPoints);
    le90_.resize(kMaxPoints);
  }
}

void PointWorker::process(const LineBlock& block, BlockResult& result) {
  // Cleared, not made anew: the texts keep their room from block to block.
  result.text.clear();
  result.failures.clear();
  result.error.clear();
  result.points = result.demPoints = result.offDem = result.strictFailures = 0;
  std::memset(result.failedByStatus, 0, sizeof result.failedByStatus);
  result.text.reserve(block.lines * 56);
  pending_.clear();
  const char* at = block.text.data();
  const char* const end = at + block.text.size();
  long line = block.firstLine;
  bool malformed = false;
  for (; at != end; ++line) {
    const char* feed = static_cast<const char*>(std::memchr(at, '\n', end - at));
    double f[3];
    int count = 0;
    const LineKind kind = parsePointLine(at, feed, f, &count);
    at = feed + 1;
    if (kind == LineKind::Skip) continue;
    if (kind == LineKind::Malformed) {
      malformed = true;
      break;
    }
    Pending p{f[0], f[1], 0.0, true, line};
    if (count == 3) {
      p.z = f[2];
    } else if (job_.height) {
      p.z = *job_.height;
    } else {
      p.ownHeight = false;
      result.demPoints += job_.dem;
    }
    pending_.push_back(p);
    if (pending_.size() == kMaxPoints && !flush(result)) return;
  }
  if (!flush(result)) return;
  if (malformed) {
    result.error = std::to_string(line) + ": malformed line: expected " +
                   (job_.groundToImage ? "longitude latitude [height]" : "sample row [height]");
  } else if (block.tooLong) {
    result.error = std::to_string(block.firstLine + block.lines) + ": the line is longer than " +
                   std::to_string(kMaxLineBytes) + " bytes";
  }
}

// Transforms and writes the pending points, run by run of the same height kind; false when a
// failed point stops the stream (result.error says which).
bool PointWorker::flush(BlockResult& result) {
  size_t begin = 0;
  bool going = true;
  while (going && begin < pending_.size()) {
    size_t end = begin + 1;
    while (end < pending_.size() && pending_[end].ownHeight == pending_[begin].ownHeight) ++end;
    going = writeRun(begin, end, result);
    begin = end;
  }
  pending_.clear();
  return going;
}

bool PointWorker::writeRun(size_t begin, size_t end, BlockResult& result) {
  const size_t n = end - begin;
  const bool own = pending_[begin].ownHeight;
  for (size_t i = 0; i < n; ++i) {
    x_[i] = pending_[begin + i].x;
    y_[i] = pending_[begin + i].y;
    z_[i] = pending_[begin + i].z;
  }
  ErrorReport* report = nullptr;
  const double* z = own ? z_.data() : nullptr;
  int done;
  if (job_.accuracy) {
    // The residual of a point that misses its image point is not handed back here.
    std::fill(residuals_.begin(), residuals_.begin() + n, std::nan(""));
    done = smod_ModelGroundCovariance(model_, n, x_.data(), y_.data(), z, job_.heightSigma,
                                      job_.imageSigma, outX_.data(), outY_.data(),
                                      heights_.data(), cov_.data(), ce90_.data(), le90_.data(),
                                      status_.data(), &report);
  } else if (job_.groundToImage) {
    done = smod_ModelGroundToImage(model_, n, x_.data(), y_.data(), z, outX_.data(),
                                   outY_.data(), status_.data(), &report);
  } else {
    done = smod_ModelImageToGroundResidual(model_, n, x_.data(), y_.data(), z, outX_.data(),
                                           outY_.data(), heights_.data(), residuals_.data(),
                                           status_.data(), &report);
  }
  if (done < 0) fail(&report);
  char text[8 * senmod_text::kNumberRoom + 8];
  for (size_t i = 0; i < n; ++i) {
    int s = status_[i];
    const bool strict = s == SMOD_POINT_OFF_DEM && job_.strictDem;
    const bool extrapolated = s == SMOD_POINT_OUTSIDE_DOMAIN && job_.extrapolate;
    const bool good = s == SMOD_POINT_OK || (s == SMOD_POINT_OFF_DEM && !strict) || extrapolated;
    if (!good) {
      std::string why;
      if (strict) {
        why = "the point is off the DEM or on no-data (--strict-dem)";
        ++result.strictFailures;
      } else if (s == SMOD_POINT_NOT_CONVERGED) {
        why = std::isnan(residuals_[i])
                  ? "the result does not map back to the image point within --max-residual " +
                        senmod_text::numberText(job_.maxResidual) + " pixels"
                  : "the result does not map back to the image point: it lands " +
                        senmod_text::numberText(residuals_[i]) + " pixels away (--max-residual " +
                        senmod_text::numberText(job_.maxResidual) + ")";
        ++result.failedByStatus[s];
      } else if (s == SMOD_POINT_OUTSIDE_DOMAIN) {
        why = "the point is outside the model's domain (--extrapolate transforms it anyway)";
        ++result.failedByStatus[s];
      } else {
        why = "the point cannot be transformed";
        ++result.failedByStatus[SMOD_POINT_FAILED];
      }
      const std::string where = std::to_string(pending_[begin + i].line) + ": " + why;
      if (job_.stopOnError) {
        result.error = where;
        return false;
      }
      result.failures += job_.inputName + ":" + where + "\n";
    }
    result.offDem += s == SMOD_POINT_OFF_DEM && !strict;
    char* at = text;
    if (good) {
      at = senmod_text::writeNumber(at, outX_[i]);
      *at++ = ' ';
      at = senmod_text::writeNumber(at, outY_[i]);
      if (!job_.groundToImage) {
        *at++ = ' ';
        at = senmod_text::writeNumber(at, own ? z_[i] : heights_[i]);
      }
      if (job_.accuracy) {
        const double* c = &cov_[9 * i];
        for (const double v : {ce90_[i], le90_[i], std::sqrt(c[0]), std::sqrt(c[4]),
                               std::sqrt(c[8])}) {
          *at++ = ' ';
          at = senmod_text::writeNumber(at, v);
        }
      }
    } else {
      const char* nan = job_.groundToImage ? "nan nan"
                        : job_.accuracy    ? "nan nan nan nan nan nan nan nan"
                                           : "nan nan nan";
      at = std::strcpy(at, nan) + std::strlen(nan);
    }
    *at++ = '\n';
    result.text.append(text, at);
    ++result.points;
  }
  return true;
}

}  // namespace senmod_cli
