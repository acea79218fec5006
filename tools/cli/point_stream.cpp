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

namespace senmod_cli {

namespace {

// Lines a worker takes at a time: enough that starting a thread per block costs nothing.
constexpr long kBlockLines = 32768;
constexpr long kProgressEvery = 1000000;
constexpr unsigned kMaxWorkers = 8;

unsigned workerCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers); }

}  // namespace

PointStream::PointStream(smod_Model* model, const PointJob& job, std::FILE* err)
    : model_(model), job_(job), err_(err), progress_(isatty(fileno(err)) != 0) {}

PointStream::~PointStream() = default;

int PointStream::run(std::FILE* in, Output& out) {
  out_ = &out;
  LineBlocks reader(in, job_.inputName);
  const unsigned most = workerCount();
  std::vector<LineBlock> blocks(most);
  std::vector<BlockResult> results(most);
  bool going = true;
  while (going) {
    size_t n = 0;
    while (n < most && reader.next(blocks[n], kBlockLines)) {
      if (blocks[n++].tooLong) break;
    }
    if (n == 0) break;
    while (workers_.size() < n) workers_.push_back(std::make_unique<PointWorker>(model_, job_));
    processAll(blocks, results, n);
    for (size_t i = 0; i < n && going; ++i) going = emit(results[i]);
  }
  if (shown_) std::fputc('\n', err_);
  summarise();
  long failed = strictFailures_;
  for (const long count : failedByStatus_) failed += count;
  return going && failed == 0 ? 0 : 1;
}

// What went wrong and what took the mean height, counted.
void PointStream::summarise() {
  if (offDem_ > 0) {
    std::fprintf(err_,
                 "senmod: %ld of %ld points were off the DEM or on no-data; they used the "
                 "mean height %s m\n",
                 offDem_, demPoints_, senmod_text::numberText(smod_ModelMeanHeight(model_)).c_str());
  }
  std::string reasons;
  long failed = 0;
  auto add = [&](long count, const char* why) {
    if (count == 0) return;
    failed += count;
    reasons += (reasons.empty() ? "" : ", ") + std::to_string(count) + " " + why;
  };
  add(failedByStatus_[SMOD_POINT_OUTSIDE_DOMAIN], "outside the model's domain");
  add(failedByStatus_[SMOD_POINT_NOT_CONVERGED], "not mapping back to their image point");
  add(failedByStatus_[SMOD_POINT_FAILED], "that cannot be transformed");
  add(strictFailures_, "off the DEM (--strict-dem)");
  if (failed > 0) {
    std::fprintf(err_, "senmod: %ld of %ld points failed: %s\n", failed, written_,
                 reasons.c_str());
  }
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

// Writes a block's points and tells its failures; false when the stream stops.
bool PointStream::emit(const BlockResult& r) {
  out_->write(r.text);
  const long before = written_;
  written_ += r.points;
  demPoints_ += r.demPoints;
  offDem_ += r.offDem;
  strictFailures_ += r.strictFailures;
  for (int s = 0; s <= SMOD_POINT_FAILED; ++s) failedByStatus_[s] += r.failedByStatus[s];
  if (!r.failures.empty()) {
    if (shown_) std::fputc('\n', err_);
    shown_ = false;
    // Each line already names the input.
    size_t at = 0;
    while (at < r.failures.size()) {
      const size_t end = r.failures.find('\n', at);
      std::fprintf(err_, "senmod: %.*s\n", static_cast<int>(end - at), r.failures.data() + at);
      at = end + 1;
    }
  }
  if (progress_ && written_ / kProgressEvery != before / kProgressEvery) {
    std::fprintf(err_, "\rsenmod: %ld points", written_ / kProgressEvery * kProgressEvery);
    shown_ = true;
  }
  if (r.error.empty()) return true;
  if (shown_) std::fputc('\n', err_);
  shown_ = false;
  std::fprintf(err_, "senmod: %s:%s\n", job_.inputName.c_str(), r.error.c_str());
  return false;
}

}  // namespace senmod_cli
