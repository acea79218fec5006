#include "point_worker.h"

#include <cmath>
#include <cstring>
#include <new>

#include "model_copy.h"
#include "number_text.h"
#include "point_line.h"
#include "read_error.h"

namespace smodtool {

namespace {

constexpr size_t kChunk = ElevationReader::capacity();

}  // namespace

PointWorker::PointWorker(const RSM_Xform* model, const PointJob& job,
                         const std::optional<DemCoverage>& coverage)
    : job_(job), forward_(copyOf(model)), coverage_(coverage) {
  // A DEM without a valid cell answers no point: the library is not given it, and every point
  // takes the model's mean height.
  configure(forward_.get(), job.groundToImage, coverage && coverage->anyValid() ? job.dem : "");
  if (!job.groundToImage) {
    back_ = copyOf(model);
    configure(back_.get(), true, "");
  }
  if (!job.dem.empty()) elevation_.emplace();
  points_.reserve(kChunk);
  in_.reserve(3 * kChunk);
  result_.reserve(2 * kChunk);
  heights_.reserve(kChunk);
  check_.reserve(2 * kChunk);
}

PointWorker::~PointWorker() = default;

void PointWorker::process(const LineBlock& block, BlockResult& result) {
  // Cleared, not made anew: the text keeps its room from block to block.
  result.text.clear();
  result.error.clear();
  result.points = result.demPoints = result.offDem = 0;
  result.text.reserve(block.lines * 56);
  points_.clear();
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
    Point p{line, f[0], f[1], 0.0, false};
    if (count == 3) {
      p.z = f[2];
    } else if (job_.height) {
      p.z = *job_.height;
    } else if (!job_.dem.empty()) {
      p.fromDem = true;
      ++result.demPoints;
    } else {
      p.z = forward_->model->rsm.z_mean;
    }
    points_.push_back(p);
    if (points_.size() == kChunk && !flush(result)) return;
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

// Transforms and writes the pending points, run by run of the same height kind; false after
// a point that failed (result.error says which).
bool PointWorker::flush(BlockResult& result) {
  size_t begin = 0;
  while (begin < points_.size()) {
    size_t end = begin + 1;
    while (end < points_.size() && points_[end].fromDem == points_[begin].fromDem) ++end;
    const size_t done = transformRun(begin, end);
    for (size_t i = 0; i < done; ++i) write(&result_[2 * i], heights_[i], result);
    if (done < end - begin) {
      result.error = std::to_string(points_[begin + done].line) + ": " + failure_;
      points_.clear();
      return false;
    }
    for (size_t i = 0; i < done; ++i) result.offDem += offDem_[i];
    begin = end;
  }
  points_.clear();
  return true;
}

void PointWorker::write(const double* r, double height, BlockResult& result) {
  char text[3 * kNumberRoom + 3];
  char* at = writeNumber(text, r[0]);
  *at++ = ' ';
  at = writeNumber(at, r[1]);
  if (!job_.groundToImage) {
    *at++ = ' ';
    at = writeNumber(at, height);
  }
  *at++ = '\n';
  result.text.append(text, at);
  ++result.points;
}

// Transforms points [begin, end) into result_ and heights_; returns how many succeeded in
// order (all of them unless one failed, whose message is then in failure_).
size_t PointWorker::transformRun(size_t begin, size_t end) {
  const size_t n = end - begin;
  result_.assign(2 * n, 0.0);
  heights_.assign(n, 0.0);
  offDem_.assign(n, 0);
  const long good = evaluate(begin, n, 0);
  if (good >= 0) return static_cast<size_t>(good);
  // A library call failed; it stops at the failing point, so redo the points one at a time.
  for (size_t i = 0; i < n; ++i) {
    if (evaluate(begin + i, 1, i) != 1) return i;
  }
  return n;
}

// The DEM heights at count map points (x, y pairs at `at`) into heights; false (failure_ set)
// when they cannot be read.
bool PointWorker::readDem(size_t count, const double* at, double* heights) {
  if (elevation_->read(forward_.get(), count, at, heights)) return true;
  failure_ = "the DEM heights cannot be read";
  return false;
}

// Transforms points [first, first + count) into result_ and heights_ from slot on. Returns -1
// when a library call failed (failure_ holds its report), else how many points from first on
// passed every check (failure_ says why the next one did not).
long PointWorker::evaluate(size_t first, size_t count, size_t slot) {
  Batch b{&points_[first], count, &result_[2 * slot], &heights_[slot], &offDem_[slot], count};
  if (!transform(b) || (back_ && !carryBack(b))) return -1;
  return static_cast<long>(b.good);
}

void PointWorker::failAt(Batch& b, size_t i, const std::string& why) {
  if (i >= b.good) return;
  b.good = i;
  failure_ = why;
}

bool PointWorker::libraryFailed(ErrorReport** report, const char* what) {
  if (!*report) return false;
  failure_ = std::string(what) + ": " + takeReportText(report);
  return true;
}

// Heights of the points at the map points `at` (x, y pairs) from the DEM; a point the DEM does
// not answer takes the mean height, counted, or fails with --strict-dem.
bool PointWorker::demHeights(Batch& b, const double* at) {
  if (forward_->elevationSource && !readDem(b.count, at, b.heights)) return false;
  for (size_t i = 0; i < b.count; ++i) {
    if (coverage_->covers(at[2 * i], at[2 * i + 1])) continue;
    if (job_.strictDem) {
      failAt(b, i, "the point is off the DEM or on no-data (--strict-dem)");
      break;
    }
    b.heights[i] = meanHeight();
    b.offDem[i] = 1;
  }
  return true;
}

bool PointWorker::transform(Batch& b) {
  ErrorReport* report = nullptr;
  const int32_t n = static_cast<int32_t>(b.count);
  const Point* p = b.points;
  in_.clear();
  if (!p->fromDem) {
    for (size_t i = 0; i < b.count; ++i) b.heights[i] = p[i].z;
  } else if (job_.groundToImage) {
    for (size_t i = 0; i < b.count; ++i) in_.insert(in_.end(), {p[i].x, p[i].y});
    if (!demHeights(b, in_.data())) return false;
  } else {
    // The ground point found against the DEM, then computed again at the DEM height read
    // there, so that each written point (longitude, latitude, height) maps back to its pixel.
    for (size_t i = 0; i < b.count; ++i) in_.insert(in_.end(), {p[i].x, p[i].y});
    smod_RSMXformTransform(forward_.get(), n, in_.data(), b.result, &report);
    if (libraryFailed(&report, "the point cannot be transformed")) return false;
    if (!demHeights(b, b.result)) return false;
  }
  in_.clear();
  for (size_t i = 0; i < b.count; ++i) in_.insert(in_.end(), {p[i].x, p[i].y, b.heights[i]});
  smod_RSMXformTransform3DTo2D(forward_.get(), n, in_.data(), b.result, &report);
  if (libraryFailed(&report, "the point cannot be transformed")) return false;
  for (size_t i = 0; i < 2 * b.count; ++i) {
    if (!std::isfinite(b.result[i])) {
      failAt(b, i / 2, "the point cannot be transformed: the result is not a finite number");
      break;
    }
  }
  return true;
}

// Carries the good image-to-ground results back to the image: the inversion stops after its
// passes without saying whether it converged.
bool PointWorker::carryBack(Batch& b) {
  if (b.good == 0) return true;
  ErrorReport* report = nullptr;
  in_.clear();
  for (size_t i = 0; i < b.good; ++i) {
    in_.insert(in_.end(), {b.result[2 * i], b.result[2 * i + 1], b.heights[i]});
  }
  check_.resize(2 * b.good);
  smod_RSMXformTransform3DTo2D(back_.get(), static_cast<int32_t>(b.good), in_.data(), check_.data(),
                               &report);
  if (libraryFailed(&report, "the result cannot be carried back to the image")) return false;
  for (size_t i = 0; i < b.good; ++i) {
    const double miss =
        std::hypot(check_[2 * i] - b.points[i].x, check_[2 * i + 1] - b.points[i].y);
    if (!(miss <= job_.maxResidual)) {
      failAt(b, i,
             "the result does not map back to the image point: it lands " + numberText(miss) +
                 " pixels away (--max-residual " + numberText(job_.maxResidual) + ")");
      break;
    }
  }
  return true;
}

}  // namespace smodtool
