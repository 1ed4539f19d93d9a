// Model output is untrusted: every reader of a model's reply must either give a value
// or refuse with its own error, never crash, hang or throw anything else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "BrellCore/ai/ClaudeCodeCLI.h"
#include "BrellCore/ai/Explainer.h"
#include "BrellCore/ai/OnDeviceSchemaPlan.h"
#include "BrellCore/ai/ProviderInsightModel.h"
#include "util/Json.h"

namespace {

template <class Read> void refusesOnlyWithItsOwnError(Read read) {
    try {
        read();
    } catch (const brell::ExplainError&) {
    } catch (const brell::ClaudeCodeCLI::Failure&) {
    } catch (const brell::OnDeviceSchemaPlan::Failure&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The first byte picks a status and splits standard output from standard error.
    const int status = size > 0 ? 200 + (data[0] % 4) * 100 : 200;
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;
    using namespace brell;
    refusesOnlyWithItsOwnError([&] { Explainer::parseAnthropic(text, status); });
    refusesOnlyWithItsOwnError([&] { Explainer::parseOpenAI(text, status); });
    refusesOnlyWithItsOwnError([&] { Explainer::decodeNote(text); });
    refusesOnlyWithItsOwnError([&] {
        auto note = Explainer::decodeNote(text);
        Explainer::validate(note.explanation, note.caveat);
    });
    refusesOnlyWithItsOwnError([&] { ProviderInsightModel::readReply(AIProvider::anthropic, status, text); });
    refusesOnlyWithItsOwnError([&] { ProviderInsightModel::readReply(AIProvider::openai, 200, text); });
    refusesOnlyWithItsOwnError(
        [&] { ClaudeCodeCLI::readResult(text.substr(0, split), text.substr(split), static_cast<int>(size)); });
    if (auto schema = JsonText::parse(text)) {
        refusesOnlyWithItsOwnError([&] { OnDeviceSchemaPlan::make(*schema, "BrellAnswer"); });
    }
    (void)Explainer::wrap(text);
    return 0;
}
