#include "point_worker.h"

#include <cstring>

#include "number_text.h"
#include "point_line.h"

namespace smodtool {

PointWorker::PointWorker(const RSM_Xform* model, const PointJob& job,
                         const std::optional<DemCoverage>& coverage)
    : job_(job), transform_(model, job, coverage) {
  points_.reserve(PointTransform::kMaxPoints);
  lines_.reserve(PointTransform::kMaxPoints);
  result_.resize(2 * PointTransform::kMaxPoints);
  heights_.resize(PointTransform::kMaxPoints);
  offDem_.resize(PointTransform::kMaxPoints);
}

PointWorker::~PointWorker() = default;

void PointWorker::process(const LineBlock& block, BlockResult& result) {
  // Cleared, not made anew: the text keeps its room from block to block.
  result.text.clear();
  result.error.clear();
  result.points = result.demPoints = result.offDem = 0;
  result.text.reserve(block.lines * 56);
  points_.clear();
  lines_.clear();
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
    PointInput p{f[0], f[1], 0.0, false};
    if (count == 3) {
      p.z = f[2];
    } else if (job_.height) {
      p.z = *job_.height;
    } else if (!job_.dem.empty()) {
      p.fromDem = true;
      ++result.demPoints;
    } else {
      p.z = transform_.meanHeight();
    }
    points_.push_back(p);
    lines_.push_back(line);
    if (points_.size() == PointTransform::kMaxPoints && !flush(result)) return;
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
    const size_t done = transform_.run(&points_[begin], end - begin, result_.data(),
                                       heights_.data(), offDem_.data());
    for (size_t i = 0; i < done; ++i) write(&result_[2 * i], heights_[i], result);
    if (done < end - begin) {
      result.error = std::to_string(lines_[begin + done]) + ": " + transform_.failure();
      points_.clear();
      lines_.clear();
      return false;
    }
    for (size_t i = 0; i < done; ++i) result.offDem += offDem_[i];
    begin = end;
  }
  points_.clear();
  lines_.clear();
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

}  // namespace smodtool
