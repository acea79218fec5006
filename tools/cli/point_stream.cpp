#include "point_stream.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "number_text.h"
#include "point_worker.h"

namespace smodtool {

namespace {

// Lines a worker takes at a time: enough that starting a thread per block costs nothing.
constexpr long kBlockLines = 32768;
constexpr long kProgressEvery = 1000000;
constexpr unsigned kMaxWorkers = 8;

unsigned workerCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers); }

}  // namespace

PointStream::PointStream(const RSM_Xform* model, const PointJob& job, std::FILE* err)
    : model_(model), job_(job), err_(err), progress_(isatty(fileno(err)) != 0) {
  if (!job.dem.empty()) coverage_.emplace(job.dem);
  workers_.push_back(std::make_unique<PointWorker>(model_, job_, coverage_));
}

PointStream::~PointStream() = default;

int PointStream::run(std::FILE* in, Output& out) {
  out_ = &out;
  LineBlocks reader(in, job_.inputName);
  const unsigned most = workerCount();
  std::vector<LineBlock> blocks(most);
  std::vector<BlockResult> results(most);
  int status = 0;
  while (status == 0) {
    size_t n = 0;
    while (n < most && reader.next(blocks[n], kBlockLines)) {
      if (blocks[n++].tooLong) break;
    }
    if (n == 0) break;
    while (workers_.size() < n) {
      workers_.push_back(std::make_unique<PointWorker>(model_, job_, coverage_));
    }
    processAll(blocks, results, n);
    for (size_t i = 0; i < n && status == 0; ++i) status = emit(results[i]);
  }
  if (shown_) std::fputc('\n', err_);
  if (offDem_ > 0) {
    std::fprintf(err_,
                 "senmod: %ld of %ld points were off the DEM or on no-data; they used the "
                 "mean height %s m\n",
                 offDem_, demPoints_, numberText(workers_.front()->meanHeight()).c_str());
  }
  return status;
}

// Blocks [0, n) on as many workers at once: the first on this thread, and those for which no
// thread can be started after it.
void PointStream::processAll(const std::vector<LineBlock>& blocks,
                             std::vector<BlockResult>& results, size_t n) {
  std::vector<std::exception_ptr> errors(n);
  auto work = [&](size_t i) {
    try {
      workers_[i]->process(blocks[i], results[i]);
    } catch (...) {
      errors[i] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  size_t started = 1;
  for (; started < n; ++started) {
    try {
      threads.emplace_back(work, started);
    } catch (const std::system_error&) {
      break;
    }
  }
  work(0);
  for (size_t i = started; i < n; ++i) work(i);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

// Writes a block's points and tells its failure; 1 after a failure.
int PointStream::emit(const BlockResult& r) {
  out_->write(r.text);
  const long before = written_;
  written_ += r.points;
  demPoints_ += r.demPoints;
  offDem_ += r.offDem;
  if (progress_ && written_ / kProgressEvery != before / kProgressEvery) {
    std::fprintf(err_, "\rsenmod: %ld points", written_ / kProgressEvery * kProgressEvery);
    shown_ = true;
  }
  if (r.error.empty()) return 0;
  if (shown_) std::fputc('\n', err_);
  shown_ = false;
  std::fprintf(err_, "senmod: %s:%s\n", job_.inputName.c_str(), r.error.c_str());
  return 1;
}

}  // namespace smodtool
