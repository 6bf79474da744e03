#include "records/ForwardingRecordStore.h"

#include "records/RecordTime.h"

#include <algorithm>
#include <utility>

ForwardingRecordStore::ForwardingRecordStore(std::unique_ptr<SqliteRecordStore> local,
                                             std::unique_ptr<PostgresServer> server,
                                             const RecordStoreOptions& options,
                                             const std::string& firstError)
    : local_(std::move(local)),
      server_(std::move(server)),
      options_(options),
      connected_(firstError.empty()),
      connectedSinceMs_(RecordNowMs()),
      lastError_(firstError),
      thread_([this] { Run(); }) {}

ForwardingRecordStore::ServerTurn::ServerTurn(ForwardingRecordStore& store,
                                              const Clock::time_point* deadline)
    : store_(store) {
    std::unique_lock<std::mutex> lock(store_.mutex_);
    auto free = [this] { return !store_.serverBusy_; };
    if (deadline) {
        taken_ = store_.serverFree_.wait_until(lock, *deadline, free);
    } else {
        store_.serverFree_.wait(lock, free);
        taken_ = true;
    }
    if (taken_) store_.serverBusy_ = true;
}

ForwardingRecordStore::ServerTurn::~ServerTurn() {
    if (!taken_) return;
    {
        const std::lock_guard<std::mutex> lock(store_.mutex_);
        store_.serverBusy_ = false;
    }
    store_.serverFree_.notify_all();
}

ForwardingRecordStore::~ForwardingRecordStore() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ForwardingRecordStore::Wake() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_one();
}

bool ForwardingRecordStore::Begin(UnitRecord& row, std::string& error) {
    if (!local_->Begin(row, error)) return false;
    Wake();
    return true;
}

bool ForwardingRecordStore::Complete(UnitRecord& row, std::string& error) {
    if (!local_->Complete(row, error)) return false;
    Wake();
    return true;
}

bool ForwardingRecordStore::MarkInterrupted(const std::string& station, int& count,
                                            std::string& error) {
    if (!local_->MarkInterrupted(station, count, error)) return false;
    if (count > 0) Wake();
    return true;
}

bool ForwardingRecordStore::AlreadyPassed(const std::string& serial, const std::string& job,
                                          const std::string& fileSha256, bool& passed,
                                          std::string& error) {
    if (!local_->AlreadyPassed(serial, job, fileSha256, passed, error)) return false;
    if (passed) return true;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_) return true;
    }
    const auto deadline = Clock::now() + kServerQueryWait;
    const ServerTurn turn(*this, &deadline);
    if (!turn.Taken()) return true;
    std::string serverError;
    bool onServer = false;
    if (server_->AlreadyPassed(serial, job, fileSha256, onServer, serverError)) passed = onServer;
    return true;
}

bool ForwardingRecordStore::List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
                                 std::string& error) {
    const ServerTurn turn(*this);
    return server_->List(filter, rows, error);
}

std::string ForwardingRecordStore::Describe() const {
    return server_->Describe() + " (through " + local_->Describe() + ")";
}

ForwardState ForwardingRecordStore::Forwarding() const {
    ForwardState state;
    state.enabled = true;
    state.pending = local_->PendingCount();
    const std::lock_guard<std::mutex> lock(mutex_);
    state.connected = connected_;
    state.lastError = lastError_;
    state.sinceMs = connectedSinceMs_;
    state.localFile = local_->Describe();
    return state;
}

bool ForwardingRecordStore::WaitForwarded(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    {
        // Whoever waits wants a pass now, not after the pause that follows a failure.
        const std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
        urgent_ = true;
    }
    wake_.notify_one();
    while (true) {
        std::uint64_t seen = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            seen = passes_;
        }
        // Read after noting the pass count: a pass that ends in between is seen as a change.
        if (local_->PendingCount() == 0) return true;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!passed_.wait_until(lock, deadline, [&] { return passes_ != seen || stop_; }))
            return false;
        // A pass that could not reach the server: no use waiting out the limit for it.
        if (stop_ || !connected_) return false;
    }
}

bool ForwardingRecordStore::Pass(std::string& error) {
    const ServerTurn turn(*this);
    // Even with nothing to send: the live view's "connected" must be the server's word.
    if (!server_->Connect(error)) return false;
    std::vector<RevisedRow> rows;
    while (true) {
        if (!local_->PendingRows(kBatch, rows, error)) return false;
        if (rows.empty()) return true;
        if (!server_->Upsert(rows, error)) return false;
        if (!local_->MarkForwarded(rows, error)) return false;
    }
}

void ForwardingRecordStore::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    auto delay = options_.retryFirst;
    bool failing = false;
    Clock::time_point retryAt;
    while (!stop_) {
        if (failing) {
            // New rows do not cut the pause short: a server that is away is not asked for
            // each unit.
            wake_.wait_until(lock, retryAt, [this] { return stop_ || urgent_; });
            urgent_ = false;
        } else {
            wake_.wait(lock, [this] { return stop_ || woken_; });
        }
        if (stop_) break;
        woken_ = false;
        lock.unlock();
        std::string error;
        const bool ok = Pass(error);
        lock.lock();
        if (ok != connected_) connectedSinceMs_ = RecordNowMs();
        connected_ = ok;
        lastError_ = ok ? std::string() : error;
        ++passes_;
        failing = !ok;
        if (ok) {
            delay = options_.retryFirst;
        } else {
            retryAt = Clock::now() + delay;
            delay = std::min(delay * 2, options_.retryLast);
        }
        passed_.notify_all();
    }
    // Rows completed just before the station stops; a server that is away is not waited for.
    if (!failing && connected_) {
        lock.unlock();
        std::string error;
        Pass(error);
    }
}
