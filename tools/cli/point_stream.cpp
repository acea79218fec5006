#include "point_stream.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "hostmodel.h"
#include "read_error.h"

namespace smodtool {

namespace {

constexpr size_t kChunk = 4096;
constexpr long kProgressEvery = 1000000;

struct Point {
  long line;
  double x, y, z;
  bool fixedHeight;  // the height is given (line, --height or mean); false: from the DEM
};

// Splits a line into numbers; false for a field that is not a finite number.
bool parseFields(const std::string& text, std::vector<double>& fields) {
  fields.clear();
  const char* p = text.c_str();
  while (*p) {
    while (*p == ' ' || *p == '\t' || *p == ',' || *p == '\r') ++p;
    if (!*p) break;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(p, &end);
    if (end == p || errno == ERANGE || !std::isfinite(value)) return false;
    if (*end && *end != ' ' && *end != '\t' && *end != ',' && *end != '\r') return false;
    fields.push_back(value);
    p = end;
  }
  return true;
}

class Streamer {
 public:
  Streamer(RSM_Xform* xform, const PointJob& job, std::FILE* out, std::FILE* err)
      : xform_(xform), job_(job), out_(out), err_(err), progress_(isatty(fileno(err)) != 0) {
    points_.reserve(kChunk);
    in_.reserve(3 * kChunk);
    result_.reserve(2 * kChunk);
    heights_.reserve(kChunk);
  }

  int run(std::istream& in) {
    std::string text;
    std::vector<double> fields;
    long line = 0;
    while (std::getline(in, text)) {
      ++line;
      const size_t first = text.find_first_not_of(" \t\r");
      if (first == std::string::npos || text[first] == '#') continue;
      if (!parseFields(text, fields) || fields.size() < 2 || fields.size() > 3) {
        if (!flush()) return 1;
        std::fprintf(err_, "senmod: %s:%ld: malformed line: expected %s\n", job_.inputName.c_str(),
                     line, job_.groundToImage ? "longitude latitude [height]"
                                              : "sample row [height]");
        return finish(1);
      }
      Point p{line, fields[0], fields[1], 0.0, true};
      if (fields.size() == 3) {
        p.z = fields[2];
      } else if (job_.height) {
        p.z = *job_.height;
      } else if (job_.dem) {
        p.fixedHeight = false;
      } else {
        p.z = xform_->model->rsm.z_mean;
      }
      points_.push_back(p);
      if (points_.size() == kChunk && !flush()) return 1;
    }
    if (!flush()) return 1;
    return finish(0);
  }

 private:
  int finish(int status) {
    if (shown_) std::fprintf(err_, "\n");
    std::fflush(out_);
    return status;
  }

  // Transforms and writes the pending points, run by run of the same height kind.
  bool flush() {
    size_t begin = 0;
    while (begin < points_.size()) {
      size_t end = begin + 1;
      while (end < points_.size() && points_[end].fixedHeight == points_[begin].fixedHeight) ++end;
      const size_t done = transformRun(begin, end);
      for (size_t i = 0; i < done; ++i) write(&result_[2 * i], heights_[i]);
      if (done < end - begin) {
        const Point& bad = points_[begin + done];
        std::fprintf(err_, "senmod: %s:%ld: the point cannot be transformed%s%s\n",
                     job_.inputName.c_str(), bad.line, failure_.empty() ? "" : ": ",
                     failure_.c_str());
        finish(1);
        return false;
      }
      begin = end;
    }
    points_.clear();
    return true;
  }

  void write(const double* r, double height) {
    if (job_.groundToImage) {
      std::fprintf(out_, "%.17g %.17g\n", r[0], r[1]);
    } else {
      std::fprintf(out_, "%.17g %.17g %.17g\n", r[0], r[1], height);
    }
    ++written_;
    if (progress_ && written_ % kProgressEvery == 0) {
      std::fprintf(err_, "\rsenmod: %ld points", written_);
      shown_ = true;
    }
  }

  // Transforms points [begin, end) into result_ and heights_; returns how many succeeded in
  // order (all of them unless one failed, whose message is then in failure_).
  size_t transformRun(size_t begin, size_t end) {
    const size_t n = end - begin;
    result_.assign(2 * n, 0.0);
    heights_.assign(n, 0.0);
    if (batch(begin, n, 0)) return n;
    // Find the failing point: the batch stops there, so redo the points one at a time.
    for (size_t i = 0; i < n; ++i) {
      if (!batch(begin + i, 1, i)) return i;
    }
    return n;
  }

  // One batch call for count points from points_[first] into result_ at slot.
  bool batch(size_t first, size_t count, size_t slot) {
    ErrorReport* report = nullptr;
    const int32_t n = static_cast<int32_t>(count);
    double* result = &result_[2 * slot];
    const bool fixed = points_[first].fixedHeight;
    if (fixed) {
      in_.clear();
      for (size_t i = first; i < first + count; ++i) {
        in_.insert(in_.end(), {points_[i].x, points_[i].y, points_[i].z});
        heights_[slot + i - first] = points_[i].z;
      }
      smod_RSMXformTransform3DTo2D(xform_, n, in_.data(), result, &report);
    } else {
      in_.clear();
      for (size_t i = first; i < first + count; ++i) in_.insert(in_.end(), {points_[i].x, points_[i].y});
      smod_RSMXformTransform(xform_, n, in_.data(), result, &report);
      if (!report && !job_.groundToImage) demHeights(first, count, slot, &report);
    }
    if (report) {
      failure_ = takeReportText(&report);
      return false;
    }
    for (size_t i = 0; i < 2 * count; ++i) {
      if (!std::isfinite(result[i])) {
        failure_ = "the result is not a finite number";
        return false;
      }
    }
    return true;
  }

  // The DEM heights at the ground points just found, and those points recomputed at these
  // heights, so that each written point (longitude, latitude, height) maps back to its pixel.
  void demHeights(size_t first, size_t count, size_t slot, ErrorReport** report) {
    const int32_t n = static_cast<int32_t>(count);
    double* result = &result_[2 * slot];
    double* heights = &heights_[slot];
    HgdaBaseData* buffer = hgda_BaseDataCreate(2, n, HGDA_PIXEL_FLOAT64, 2, 0, report);
    if (!buffer) return;
    for (int32_t j = 0; j < n; ++j) {
      buffer->data[j * buffer->columnStride] = result[2 * j];
      buffer->data[j * buffer->columnStride + buffer->rowOffset] = result[2 * j + 1];
    }
    const int status = ReadElevationValues(xform_->elevationSource, n, buffer, heights, 0);
    hgda_BaseDataDelete(buffer, nullptr);
    if (status != 0) {
      *report = herr_CreateErrorReport("senmod", __LINE__, 2, nullptr,
                                       "the DEM heights cannot be read", 0);
      return;
    }
    in_.clear();
    for (size_t i = first; i < first + count; ++i) {
      in_.insert(in_.end(), {points_[i].x, points_[i].y, heights[i - first]});
    }
    smod_RSMXformTransform3DTo2D(xform_, n, in_.data(), result, report);
  }

  RSM_Xform* xform_;
  const PointJob& job_;
  std::FILE* out_;
  std::FILE* err_;
  bool progress_;
  bool shown_ = false;
  long written_ = 0;
  std::vector<Point> points_;
  std::vector<double> in_;
  std::vector<double> result_;
  std::vector<double> heights_;
  std::string failure_;
};

}  // namespace

int streamPoints(RSM_Xform* xform, const PointJob& job, std::istream& in, std::FILE* out,
                 std::FILE* err) {
  return Streamer(xform, job, out, err).run(in);
}

}  // namespace smodtool
