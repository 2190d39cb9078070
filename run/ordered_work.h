#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "io/stop_request.h"

// Work on batches spread over worker threads and handed back in the order the batches
// were given. The caller reads and writes on its own thread, in input order; only the
// work in between runs in parallel, so the results do not depend on the threads. A last
// step of the work may run in the order the batches were given, one batch at a time, on
// the worker that did the rest (so that what it made is used where it is in cache).
namespace arbora {

// How items flow through the workers: items a batch, batches in flight (given and not
// yet taken back), and threads worth starting.
struct BatchFlow {
    std::size_t batchSize = 1;
    std::size_t batchesInFlight = 1;
    std::size_t threads = 1;
};

// The flow that keeps batchSize * batchesInFlight * itemBytes within `budget` (one item
// of one batch when a single item is larger), with two batches a thread at most, and
// no more threads than batches in flight.
inline BatchFlow batchFlow(std::size_t itemBytes, std::size_t jobs, std::size_t budget,
                           std::size_t largestBatch) {
    const std::size_t item = std::max<std::size_t>(1, itemBytes);
    jobs = std::max<std::size_t>(1, jobs);
    const std::size_t items = std::max<std::size_t>(1, budget / item);  // fit in the budget
    BatchFlow flow;
    flow.batchSize = std::clamp<std::size_t>(items / (2 * jobs), 1, largestBatch);
    flow.batchesInFlight = std::clamp<std::size_t>(items / flow.batchSize, 1, 2 * jobs);
    flow.threads = std::min(jobs, flow.batchesInFlight);
    return flow;
}

template <typename Batch>
class OrderedWork {
  public:
    // The work on one batch by one worker (0 to threads - 1, or 0 on the caller's thread).
    using Work = std::function<void(Batch&, std::size_t worker)>;

    // With no threads the caller's thread does the work, and then the step in order, in
    // submit. Threads that the system cannot start (out of memory, a limit on threads)
    // are done without: the work is the same on fewer, or on the caller's thread.
    OrderedWork(std::size_t threads, Work work, Work inOrder = {})
        : work_(std::move(work)), inOrder_(std::move(inOrder)) {
        workers_.reserve(threads);
        for (std::size_t i = 0; i < threads; ++i) {
            try {
                workers_.emplace_back([this, i] { serve(i); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }
    ~OrderedWork() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            pending_.clear();  // a failure of the caller's: what is not started is not needed
        }
        ready_.notify_all();
        turn_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Gives a batch to the workers.
    void submit(std::unique_ptr<Batch> batch) {
        if (workers_.empty()) {
            work_(*batch, 0);
            if (inOrder_) inOrder_(*batch, 0);
            slots_.push_back({std::move(batch), true, nullptr, 0});
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            slots_.push_back({std::move(batch), false, nullptr, given_++});
            pending_.push_back(&slots_.back());
        }
        ready_.notify_one();
    }

    // The oldest batch given, once its work is done (a failure of the work is thrown
    // here); null when none is outstanding.
    std::unique_ptr<Batch> next() {
        std::unique_lock lock(mutex_);
        if (slots_.empty()) return nullptr;
        done_.wait(lock, [&] { return slots_.front().done; });
        Slot slot = std::move(slots_.front());
        slots_.pop_front();
        lock.unlock();
        if (slot.error) std::rethrow_exception(slot.error);
        return std::move(slot.batch);
    }

    std::size_t outstanding() const {
        const std::lock_guard lock(mutex_);
        return slots_.size();
    }

  private:
    struct Slot {
        std::unique_ptr<Batch> batch;
        bool done = false;
        std::exception_ptr error;
        std::size_t place = 0;  // among the batches given
    };

    void serve(std::size_t worker) {
        holdStopSignalsOnThisThread();
        std::unique_lock lock(mutex_);
        while (true) {
            ready_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (pending_.empty()) return;
            Slot* slot = pending_.front();
            pending_.pop_front();
            lock.unlock();
            try {
                work_(*slot->batch, worker);
            } catch (...) {
                slot->error = std::current_exception();
            }
            lock.lock();
            if (inOrder_) {
                turn_.wait(lock, [&] { return stopping_ || inTurn_ == slot->place; });
                if (!slot->error && !stopping_) {
                    lock.unlock();
                    try {
                        inOrder_(*slot->batch, worker);
                    } catch (...) {
                        slot->error = std::current_exception();
                    }
                    lock.lock();
                }
                ++inTurn_;
                turn_.notify_all();
            }
            slot->done = true;
            done_.notify_all();
        }
    }

    Work work_;
    Work inOrder_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;  // a batch is pending, or the workers stop
    std::condition_variable done_;   // a batch's work is done
    std::condition_variable turn_;   // the next batch's step in order may run
    std::size_t given_ = 0;          // batches given so far
    std::size_t inTurn_ = 0;         // the place of the batch whose step in order is next
    std::deque<Slot> slots_;         // given and not yet taken back, in order
    std::deque<Slot*> pending_;      // given and not yet worked on
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace arbora
