#include "run/batches.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "report/confidence.h"
#include "sim/replication.h"

namespace lumtra {

namespace {

// Decides after each batch, in batch order, whether the run has enough.
class StopRule {
 public:
  StopRule(const LongOptions& options, uint32_t first) : first_(first) {
    if (options.precision > 0.0) {
      target_ = options.precision;
      last_ = std::max(first, options.max_batches);
    } else {
      last_ = first;
    }
  }
  uint32_t last() const { return last_; }
  bool asked() const { return target_ > 0.0; }

  // True when batch b, just added to the totals, is the run's last.
  bool done(uint32_t b, const RunTotals& totals, PrecisionOutcome& outcome) const {
    if (b >= last_) return finish(b, totals, outcome), true;
    if (!asked() || b < first_) return false;
    return finish(b, totals, outcome);
  }

 private:
  // Fills the outcome at batch b; true when the target is met or cannot be.
  bool finish(uint32_t b, const RunTotals& totals, PrecisionOutcome& outcome) const {
    outcome.target = target_;
    outcome.batches = b;
    outcome.max_batches = last_;
    // Nothing blocked: no half-width can ever be a share of an average of 0.
    outcome.resolvable = totals.total_blocked > 0;
    if (!outcome.resolvable) return true;
    double half_width = 0.0;
    const RunningStats& s = totals.batch_stats;
    outcome.has_relative = confidence_half_width(s, half_width) && s.mean > 0.0;
    if (outcome.has_relative) outcome.relative = half_width / s.mean;
    outcome.met = outcome.has_relative && outcome.relative <= target_;
    return outcome.met;
  }

  uint32_t first_;
  uint32_t last_;
  double target_ = 0.0;
};

// A batch's record reported: its lines, the run totals, the JSON document.
Status report(Run& run, uint32_t b, const BatchRecord& record, JsonReport* json) {
  report_batch(run.out, record, run.net.total_nodes, run.totals);
  // Every finished batch reaches standard output, so a run that is stopped
  // keeps the batches it completed.
  run.out.flush();
  return json ? json->add_batch(b, record) : Status::proceed();
}

Status classic_batches(Run& run, JsonReport* json, const StopRule& rule, PrecisionOutcome& precision) {
  const SimInput in = run.sim_input();
  run.lane.batch_count = rule.last();
  BatchRecord record;
  for (uint32_t b = 1;; ++b) {
    print_batch_header(run.out, b);
    if (Status s = run_batch(run.lane, in, b, record); !s.ok()) return s;
    if (Status s = report(run, b, record, json); !s.ok()) return s;
    if (rule.done(b, run.totals, precision)) return Status::proceed();
  }
}

// The lanes of a parallel run and the batches between them and the
// reporting thread. A batch's record waits in slot b % slots until it is
// reported; no lane runs further ahead than the slots allow, so memory does
// not grow with the batch count.
class ParallelBatches {
 public:
  ParallelBatches(Run& run, uint32_t last, uint32_t lanes) : run_(run), in_(run.sim_input()), last_(last) {
    slots_.resize(2 * size_t(lanes));
    const uint64_t events = run.budget.left() / lanes;
    for (uint32_t k = 0; k < lanes; ++k) {
      auto lane = std::make_unique<Lane>();
      prepare_lane(*lane, in_, events);
      if (Status s = install_copy(lane->methods, run.lane.methods, in_.methods, lane->links); !s.ok() && ready_.ok())
        ready_ = s;
      lanes_.push_back(std::move(lane));
    }
  }
  ~ParallelBatches() { stop(); }
  // Whether every lane's methods were installed.
  const Status& ready() const { return ready_; }

  // Starts a thread per lane; returns how many started (the system may
  // refuse some, for want of memory for their stacks).
  size_t start() {
    for (auto& lane : lanes_) {
      try {
        threads_.emplace_back([this, &lane] { work(*lane); });
      } catch (const std::system_error&) {
        break;
      }
    }
    return threads_.size();
  }
  // The record and status of batch b, once a lane has run it.
  Status take(uint32_t b, BatchRecord& record) {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[b % slots_.size()];
    done_.wait(lock, [&] { return slot.batch == b; });
    std::swap(record, slot.record);
    reported_ = b;
    work_.notify_all();
    return slot.status;
  }
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

 private:
  struct Slot {
    uint32_t batch = 0;
    BatchRecord record;
    Status status;
  };

  void work(Lane& lane) {
    BatchRecord record;
    for (;;) {
      uint32_t b = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [&] { return stopped_ || next_ > last_ || next_ <= reported_ + slots_.size(); });
        if (stopped_ || next_ > last_) return;
        b = next_++;
      }
      start_replication(lane, run_.lane.methods, run_.seeder.last_seed, b);
      Status status = run_batch(lane, in_, b, record);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Slot& slot = slots_[b % slots_.size()];
        std::swap(slot.record, record);
        slot.status = status;
        slot.batch = b;
      }
      done_.notify_all();
    }
  }

  Run& run_;
  const SimInput in_;
  const uint32_t last_;
  std::vector<std::unique_ptr<Lane>> lanes_;
  std::vector<std::thread> threads_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  uint32_t next_ = 1;
  uint32_t reported_ = 0;
  bool stopped_ = false;
  Status ready_;
};

// The address space a thread's stack reserves.
uint64_t thread_stack_bytes() {
  pthread_attr_t attr;
  size_t size = 8u << 20;
  if (pthread_attr_init(&attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  rlimit r{};
  if (getrlimit(RLIMIT_STACK, &r) == 0 && r.rlim_cur != RLIM_INFINITY) size = std::max<size_t>(size, r.rlim_cur);
  return size;
}

// How many lanes the memory budget holds, at most `wanted`; each takes its
// own link state, counters, Pair streams, copy of the method state and
// thread stack.
uint32_t lanes_that_fit(Run& run, uint32_t wanted) {
  const uint64_t pairs = uint64_t(run.net.total_nodes) * run.net.total_nodes;
  const uint64_t per_lane = saturating_add(
      saturating_add(saturating_mul(pairs, sizeof(Link) + 2 * sizeof(uint64_t) + sizeof(Lehmer)),
                     saturating_mul(run.lane.links.channels.size(), sizeof(uint32_t))),
      saturating_add(run.method_bytes, thread_stack_bytes()));
  const uint32_t lanes = static_cast<uint32_t>(std::min<uint64_t>(wanted, run.budget.left() / per_lane));
  // They fit by construction: admit only takes them from the budget.
  (void)run.budget.admit(uint64_t{lanes} * per_lane, "command line", "--parallel", "the simulation lanes");
  return lanes;
}

Status parallel_batches(Run& run, JsonReport* json, const StopRule& rule, PrecisionOutcome& precision) {
  uint32_t wanted = run.extras.threads ? run.extras.threads : std::max(1u, std::thread::hardware_concurrency());
  wanted = std::min(wanted, rule.last());
  const uint32_t lanes = lanes_that_fit(run, wanted);
  if (lanes == 0)
    return Status::error("command line", "--parallel", "not even one more simulation lane fits in the memory left");
  if (lanes < wanted)
    std::fprintf(run.err, "lumtra: --parallel: the memory left holds %u of the %u simulation lanes asked for\n", lanes,
                 wanted);
  ParallelBatches batches(run, rule.last(), lanes);
  if (!batches.ready().ok()) return batches.ready();
  const size_t started = batches.start();
  if (started == 0)
    return Status::error("command line", "--parallel", "the system refused to start a thread for the batches");
  if (started < lanes)
    std::fprintf(run.err, "lumtra: --parallel: the system started only %zu of %u threads\n", started, lanes);
  // On a terminal, the batches reported so far, on a line of standard error
  // that is cleared before the next batch's lines and at the end.
  std::FILE* progress = run.progress;
  auto clear = [&] {
    if (progress) std::fputs("\r\033[K", progress);
  };
  BatchRecord record;
  for (uint32_t b = 1;; ++b) {
    Status s = batches.take(b, record);
    clear();
    if (!s.ok()) return s;
    print_batch_header(run.out, b);
    if (s = report(run, b, record, json); !s.ok()) return s;
    if (rule.done(b, run.totals, precision)) return Status::proceed();
    if (progress) {
      std::fprintf(progress, "\rbatches: %u of %u done on %zu threads", b, rule.last(), started);
      std::fflush(progress);
    }
  }
}

}  // namespace

Status run_batches(Run& run, JsonReport* json, PrecisionOutcome& precision) {
  const StopRule rule(run.extras, run.config.sim.batch_count);
  Status status = run.extras.parallel ? parallel_batches(run, json, rule, precision)
                                      : classic_batches(run, json, rule, precision);
  if (status.ok() && rule.asked() && !precision.met) {
    if (precision.resolvable)
      std::fprintf(run.err,
                   "lumtra: --precision: the target of %g %% was not met within %u batches; raise --max-batches "
                   "or lengthen the batches (-t)\n",
                   100.0 * precision.target, precision.max_batches);
    else
      std::fprintf(run.err, "lumtra: --precision: no call was blocked in %u batches, so the blocking is below what "
                   "these batches can resolve\n", precision.batches);
  }
  return status;
}

}  // namespace lumtra
