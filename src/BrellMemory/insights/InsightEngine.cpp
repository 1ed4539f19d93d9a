#include "BrellMemory/insights/InsightEngine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>

#include "BrellMemory/insights/CandidateValidation.h"
#include "BrellMemory/insights/InsightPrompts.h"
#include "BrellMemory/insights/TemplateCandidate.h"
#include "platform/CancelToken.h"
#include "util/Text.h"

namespace brell {
namespace {

std::string seconds(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

} // namespace

std::string InsightEngine::Prepared::description() const {
    switch (kind) {
    case Kind::generated:
        return "generated(" + std::to_string(count) + ")";
    case Kind::localOnly:
        return "localOnly(" + reason + ")";
    case Kind::cached:
        return "cached";
    case Kind::noContext:
        return "noContext";
    case Kind::noEvidence:
        return "noEvidence";
    }
    return "noContext";
}

InsightEngine::Timeout::Timeout(double limit)
    : Error("the model did not answer within " + seconds(limit) + " seconds") {}

InsightEngine::InsightEngine(MemoryStore& store, std::shared_ptr<const InsightModel> model,
                             std::function<bool()> providerAllowed)
    : model(std::move(model)), providerAllowed(std::move(providerAllowed)), store_(store) {}

InsightEngine::~InsightEngine() {
    std::vector<std::thread> running;
    {
        std::lock_guard lock(mutex_);
        for (const auto& cancel : cancels_) {
            cancel.cancel();
        }
        running.swap(running_);
    }
    for (auto& thread : running) {
        thread.join();
    }
}

std::string InsightEngine::packSignature(const std::vector<Excerpt>& pack) {
    std::string signature;
    for (std::size_t i = 0; i < pack.size(); ++i) {
        const Excerpt& e = pack[i];
        signature += (i == 0 ? "" : "|") + std::to_string(e.chunkID) + ":" +
                     std::to_string(Text::characterCount(e.text)) + ":" + (e.exposure ? rawValue(*e.exposure) : "");
    }
    return signature;
}

std::string InsightEngine::packKey(int64_t taskID, int64_t revision) {
    return "pack:" + std::to_string(taskID) + ":" + std::to_string(revision);
}

Json InsightEngine::within(double limit, std::function<Json(const CancelToken&)> call) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        Json value;
        std::exception_ptr error;
    };
    auto shared = std::make_shared<Shared>();
    CancelToken cancel;
    // The thread holds the call (and with it the model) and the shared state, never
    // the engine or the store: a late answer has nowhere to land.
    std::thread thread([shared, cancel, call = std::move(call)] {
        Json value;
        std::exception_ptr error;
        try {
            value = call(cancel);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(shared->mutex);
        shared->value = std::move(value);
        shared->error = error;
        shared->finished = true;
        shared->done.notify_all();
    });
    bool finished = false;
    {
        std::unique_lock lock(shared->mutex);
        finished = shared->done.wait_for(lock, std::chrono::duration<double>(std::max(limit, 0.0)),
                                         [&] { return shared->finished; });
    }
    if (!finished) {
        cancel.cancel();
        std::lock_guard lock(mutex_);
        running_.push_back(std::move(thread));
        cancels_.push_back(cancel);
        throw Timeout(limit);
    }
    thread.join();
    if (shared->error) {
        std::rethrow_exception(shared->error);
    }
    return std::move(shared->value);
}

std::optional<CandidateDraft> InsightEngine::propose(const std::shared_ptr<const InsightModel>& model,
                                                     const TaskContext& task, const std::vector<Excerpt>& pack) {
    double limit = std::max(store_.config.modelTimeout, model->timeout());
    Json input = InsightPrompts::candidateInput(task, pack);
    Json reply = within(limit, [model, input](const CancelToken& cancel) {
        auto answer = model->propose(input, cancel);
        return answer ? std::move(*answer) : Json(nullptr);
    });
    if (!reply.is_object()) {
        return std::nullopt;
    }
    auto candidate = reply.find("candidate");
    if (candidate == reply.end() || !candidate->is_object()) {
        return std::nullopt;
    }
    CandidateDraft draft = CandidateValidation::parse(*candidate, task, pack, true);
    draft.model = model->label();
    Json check = InsightPrompts::verifierInput(task, draft, pack);
    Json verdict = within(limit, [model, check](const CancelToken& cancel) { return model->verify(check, cancel); });
    return CandidateValidation::applyVerdict(std::move(draft), verdict);
}

InsightEngine::Prepared InsightEngine::prepare(int64_t projectID, bool force) {
    std::optional<TaskContext> task;
    try {
        task = store_.taskContext(projectID);
    } catch (const std::exception&) {
    }
    if (!task) {
        return Prepared::noContext();
    }
    std::vector<Excerpt> pack;
    try {
        pack = store_.evidencePack(*task);
    } catch (const std::exception&) {
        return Prepared::noEvidence();
    }
    if (pack.empty()) {
        return Prepared::noEvidence();
    }
    std::string packHash = MemoryStore::sha(packSignature(pack));
    std::string key = packKey(task->taskID, task->revision);
    std::shared_ptr<const InsightModel> chosen = model;
    bool allowed = false;
    if (chosen && providerAllowed) {
        try {
            allowed = providerAllowed();
        } catch (const std::exception&) {
        }
    }
    bool localOnly = !chosen || !allowed;
    // A pack settled by the model is marked with its digest; one prepared without a
    // model with the digest and ":local", which holds only while no model may be asked.
    std::string localHash = packHash + ":local";
    if (!force) {
        try {
            auto stored = store_.meta(key);
            if (stored == packHash || (localOnly && stored == localHash)) {
                return Prepared::cached();
            }
        } catch (const std::exception&) {
        }
    }

    std::vector<CandidateDraft> drafts;
    std::optional<std::string> reason;
    if (localOnly) {
        reason = "local_only";
    } else if (store_.modelJobsLeft() > 0) {
        try {
            store_.consumeModelJob();
        } catch (const std::exception&) {
        }
        try {
            if (auto draft = propose(chosen, *task, pack)) {
                drafts.push_back(std::move(*draft));
            }
        } catch (const std::exception&) {
            reason = "provider_unavailable";
        }
    } else {
        reason = "budget_exhausted";
    }

    // The task may have changed while the model thought: what it wrote is for a task
    // that is no longer there.
    std::optional<TaskContext> now;
    try {
        now = store_.taskContext(projectID);
    } catch (const std::exception&) {
    }
    if (!now || now->taskID != task->taskID || now->revision != task->revision) {
        return Prepared::noContext();
    }

    if (drafts.empty()) {
        if (auto made = TemplateCandidate::make(*task, pack)) {
            drafts.push_back(std::move(*made));
        }
    }
    int64_t stored = 0;
    for (const auto& draft : drafts) {
        try {
            if (store_.saveCandidate(draft, *task, pack, true)) {
                ++stored;
            }
        } catch (const std::exception&) {
        }
    }
    // A budget exhausted or a provider unreachable leaves the pack open, so that the
    // model is asked once it may be again.
    if (!reason || localOnly) {
        try {
            store_.db.run("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)",
                          {SQLiteDB::Value(key), SQLiteDB::Value(reason ? localHash : packHash)});
        } catch (const std::exception&) {
        }
    }
    if (reason) {
        return Prepared::localOnly(*reason);
    }
    return Prepared::generated(stored);
}

} // namespace brell
