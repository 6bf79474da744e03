// Records shared by several stations on a PostgreSQL server. A station must flash whether or
// not the server answers, so every row is written to the local SQLite file first (in the
// caller's time) and a forwarder thread puts it on the server afterwards: in batches, retried
// with a growing pause while the server is away, resuming from the file (also after a restart
// of the station), never losing a row. Listings and "already passed" ask the server, which
// knows every station's units.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "records/PostgresServer.h"
#include "records/RecordStore.h"
#include "records/SqliteRecordStore.h"

class ForwardingRecordStore : public RecordStore {
public:
    // Starts forwarding at once: rows left by an earlier run go first. `firstError` is the
    // opener's failed first attempt to reach the server, shown until a pass succeeds.
    ForwardingRecordStore(std::unique_ptr<SqliteRecordStore> local,
                          std::unique_ptr<PostgresServer> server, const RecordStoreOptions& options,
                          const std::string& firstError);
    // Forwards what it can in one last pass when the server is reachable, then joins the
    // forwarder; what is left stays in the local file for the next run.
    ~ForwardingRecordStore() override;
    ForwardingRecordStore(const ForwardingRecordStore&) = delete;
    ForwardingRecordStore& operator=(const ForwardingRecordStore&) = delete;

    bool Begin(UnitRecord& row, std::string& error) override;
    bool Complete(UnitRecord& row, std::string& error) override;
    bool MarkInterrupted(const std::string& station, int& count, std::string& error) override;
    // The local file first; the server only while it is reachable and answers in time, so that
    // a server that is away never holds up a unit (the answer is then this station's own).
    bool AlreadyPassed(const std::string& serial, const std::string& job,
                       const std::string& fileSha256, bool& passed, std::string& error) override;
    bool List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
              std::string& error) override;
    // Traces stay in the local file: they are for whoever studies this station's failures.
    std::string TraceFile(const std::string& id) const override { return local_->TraceFile(id); }
    bool KeepTrace(const std::string& id, std::string& error) override {
        return local_->KeepTrace(id, error);
    }
    bool Trace(const std::string& id, std::string& fullId, std::string& text,
               std::string& error) override {
        return local_->Trace(id, fullId, text, error);
    }
    std::string Describe() const override;
    ForwardState Forwarding() const override;
    // Starts a pass at once (also in the pause after a failure) and waits for the rows; gives
    // up at the first pass that cannot reach the server.
    bool WaitForwarded(std::chrono::milliseconds limit) override;

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kBatch = 200;  // rows per server transaction
    // How long "already passed" waits for the forwarder's connection before it answers from
    // the local file: a unit is not held up by a server that has stopped answering.
    static constexpr std::chrono::seconds kServerQueryWait{2};

    // The one server connection, taken in turns by the forwarder and the queries; with a
    // deadline, the turn is given up when it passes.
    class ServerTurn {
    public:
        explicit ServerTurn(ForwardingRecordStore& store,
                            const Clock::time_point* deadline = nullptr);
        ~ServerTurn();
        ServerTurn(const ServerTurn&) = delete;
        ServerTurn& operator=(const ServerTurn&) = delete;
        bool Taken() const { return taken_; }

    private:
        ForwardingRecordStore& store_;
        bool taken_ = false;
    };

    void Run();
    void Wake();
    // Sends every pending row; false with the reason at the first failure.
    bool Pass(std::string& error);

    const std::unique_ptr<SqliteRecordStore> local_;
    const std::unique_ptr<PostgresServer> server_;
    const RecordStoreOptions options_;
    mutable std::mutex mutex_;        // guards the state below
    std::condition_variable wake_;    // rows to send, or stop
    std::condition_variable passed_;  // a pass ended
    std::condition_variable serverFree_;
    bool serverBusy_ = false;  // someone has the server's turn
    std::atomic<bool> stop_{false};
    bool woken_ = true;    // rows of an earlier run may be waiting
    bool urgent_ = false;  // a pass is awaited now: the pause after a failure is cut short
    bool connected_;
    std::int64_t connectedSinceMs_;  // when connected_ last changed
    std::string lastError_;
    std::uint64_t passes_ = 0;
    std::thread thread_;  // last: started once everything above exists
};
