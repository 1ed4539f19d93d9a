#pragma once
// The insight engine: for a project's active task it gathers the passages of memory
// that bear on it (the evidence pack), asks the model for one next step within the
// daily budget and has the model check its own claims, then scores and stores the
// result; without a model (or with none allowed) it stores a template suggestion from
// the same evidence, kept for the user to look at and never pushed. Delivery is the
// store's (MemoryStore::deliver).
//
// Borrows `store`, which must outlive the engine. `model` and `providerAllowed` may be
// replaced between calls. One thread at a time: prepare() blocks while the model works
// on a thread of its own, and touches the store only before and after. A model call
// that outlives its time limit is cancelled and its answer, should it still come, is
// dropped; the destructor waits for such calls to return, after cancelling them.
//
// prepare() never throws (only std::bad_alloc): every failure is an outcome.
// propose() throws the model's error, Timeout, or CandidateValidation::Failure.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/insights/CandidateDraft.h"
#include "BrellMemory/insights/Excerpt.h"
#include "BrellMemory/insights/InsightModel.h"
#include "BrellMemory/insights/TaskContext.h"
#include "util/Error.h"

namespace brell {

class InsightEngine {
public:
    // The outcome of one preparation.
    struct Prepared {
        enum class Kind { generated, localOnly, cached, noContext, noEvidence };
        Kind kind = Kind::noContext;
        int64_t count = 0;  // generated: candidates stored
        std::string reason; // localOnly: "local_only", "budget_exhausted" or "provider_unavailable"

        static Prepared generated(int64_t count) { return {Kind::generated, count, {}}; }
        static Prepared localOnly(std::string reason) { return {Kind::localOnly, 0, std::move(reason)}; }
        static Prepared cached() { return {Kind::cached, 0, {}}; }
        static Prepared noContext() { return {Kind::noContext, 0, {}}; }
        static Prepared noEvidence() { return {Kind::noEvidence, 0, {}}; }
        // "generated(2)", "localOnly(budget_exhausted)", "cached", "noContext", "noEvidence".
        std::string description() const;

        bool operator==(const Prepared&) const = default;
    };

    // A model call that did not finish within its time limit.
    class Timeout : public Error {
    public:
        explicit Timeout(double seconds);
    };

    InsightEngine(MemoryStore& store, std::shared_ptr<const InsightModel> model = nullptr,
                  std::function<bool()> providerAllowed = nullptr);
    ~InsightEngine();
    InsightEngine(const InsightEngine&) = delete;
    InsightEngine& operator=(const InsightEngine&) = delete;

    std::shared_ptr<const InsightModel> model;
    // Whether memory text may leave the machine now; none counts as no.
    std::function<bool()> providerAllowed;

    Prepared prepare(int64_t projectID, bool force);

    // One model draft: proposed, validated against the pack, verified. Each of the two
    // calls may take the larger of the store's modelTimeout and the model's own timeout.
    // Nothing when the model proposes nothing.
    std::optional<CandidateDraft> propose(const std::shared_ptr<const InsightModel>& model, const TaskContext& task,
                                          const std::vector<Excerpt>& pack);

    // For each excerpt, chunk id + ":" + characters of its text + ":" + its exposure's
    // raw value (empty without one), joined with "|". Its digest identifies the pack.
    static std::string packSignature(const std::vector<Excerpt>& pack);
    // The meta key of the pack digest last prepared for a task revision:
    // "pack:" + task id + ":" + revision.
    static std::string packKey(int64_t taskID, int64_t revision);

private:
    // Runs `call` on a thread of its own and waits up to `seconds` for it; on time-out
    // cancels it, keeps the thread to join later and throws Timeout.
    Json within(double seconds, std::function<Json(const CancelToken&)> call);

    MemoryStore& store_;
    std::mutex mutex_;
    std::vector<std::thread> running_; // calls that were given up on
    std::vector<CancelToken> cancels_;
};

} // namespace brell
