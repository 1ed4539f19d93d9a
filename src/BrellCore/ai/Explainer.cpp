#include "BrellCore/ai/Explainer.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

namespace brell {
namespace {

constexpr std::string_view separator = " \u00B7 ";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string_view trimSpaces(std::string_view text) {
    auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string Explainer::label(AIProvider provider, std::string_view model) {
    switch (provider.value()) {
    case AIProvider::claudeCode:
        if (trimSpaces(model).empty()) {
            return std::string("Claude Code") + std::string(separator) + "your subscription";
        }
        break;
    case AIProvider::apple:
        return std::string("Apple Intelligence") + std::string(separator) + "on this Mac";
    default:
        break;
    }
    return std::string(provider.shortName()) + std::string(separator) + std::string(model);
}

bool Explainer::modelSupportsEffort(std::string_view model) {
    for (std::string_view prefix :
         {"claude-opus-5", "claude-sonnet-5", "claude-haiku-5", "claude-fable", "claude-mythos", "claude-opus-4-6",
          "claude-opus-4-7", "claude-opus-4-8", "claude-sonnet-4-6"}) {
        if (startsWith(model, prefix)) {
            return true;
        }
    }
    return false;
}

bool Explainer::modelSupportsFallback(std::string_view model) {
    for (std::string_view name :
         {"claude-opus-5-5", "claude-opus-5", "claude-sonnet-5-5", "claude-fable-5-2", "claude-fable-5-1"}) {
        if (model == name) {
            return true;
        }
    }
    return false;
}

void Explainer::runWithDeadline(double seconds, const CancelToken& caller,
                                const std::function<void(const CancelToken&)>& op) {
    if (caller.cancelled()) {
        throw ExplainError::cancelled();
    }
    using Clock = CancelToken::Clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    CancelToken token = caller.child();
    CancelToken finished;
    std::atomic<bool> timedOut = false;
    std::thread timer([&] {
        if (!finished.waitUntil(deadline)) {
            timedOut = true;
            token.cancel();
        }
    });
    std::exception_ptr failure;
    try {
        op(token);
    } catch (...) {
        failure = std::current_exception();
    }
    finished.cancel();
    timer.join();
    if (timedOut) {
        throw ExplainError::timeout();
    }
    if (caller.cancelled()) {
        throw ExplainError::cancelled();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace brell
