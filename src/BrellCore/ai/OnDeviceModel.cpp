#include "BrellCore/ai/OnDeviceModel.h"

#include "BrellCore/ai/Explainer.h"
#include "platform/Environment.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr std::size_t languageSample = 2000;
constexpr std::size_t fewestLetters = 60;
constexpr int hypothesisCount = 5;
constexpr int assumedContext = 4096;
constexpr double temperature = 0.2;

} // namespace

std::string_view OnDeviceModel::sentence(Status status) {
    switch (status) {
    case Status::available:
        return "Ready. Runs on this Mac; nothing is sent anywhere.";
    case Status::needsNewerSystem:
        return "Needs macOS 26 or later.";
    case Status::deviceNotEligible:
        return "This Mac doesn't support Apple Intelligence.";
    case Status::notEnabled:
        return "Turn on Apple Intelligence in System Settings to use it.";
    case Status::notReady:
        return "Apple Intelligence is still getting ready (the model may be downloading).";
    case Status::unavailable:
        break;
    }
    return "Apple Intelligence isn't available right now.";
}

bool OnDeviceModel::disabledByEnvironment() {
    return Environment::value("BRELL_NO_ON_DEVICE") == "1";
}

OnDeviceModel::Status OnDeviceModel::status() {
    if (disabledByEnvironment()) {
        return Status::unavailable;
    }
    if (OnDevicePlatform::systemTooOld()) {
        return Status::needsNewerSystem;
    }
    switch (OnDevicePlatform::availability()) {
    case OnDevicePlatform::Availability::available:
        return Status::available;
    case OnDevicePlatform::Availability::deviceNotEligible:
        return Status::deviceNotEligible;
    case OnDevicePlatform::Availability::notEnabled:
        return Status::notEnabled;
    case OnDevicePlatform::Availability::notReady:
        return Status::notReady;
    case OnDevicePlatform::Availability::other:
        break;
    }
    return Status::unavailable;
}

bool OnDeviceModel::isAvailable() {
    return !disabledByEnvironment() && !OnDevicePlatform::systemTooOld() &&
           OnDevicePlatform::availability() == OnDevicePlatform::Availability::available;
}

int OnDeviceModel::contextTokens() {
    if (!isAvailable()) {
        return 0;
    }
    return OnDevicePlatform::reportedContextSize().value_or(assumedContext);
}

int OnDeviceModel::inputBudget(int context) {
    if (context < 1) {
        return 0;
    }
    int budget = static_cast<int>((static_cast<double>(context) - 1700.0) * 2.5);
    return std::max(budget, 2500);
}

int OnDeviceModel::inputBudget() {
    if (!isAvailable()) {
        return 0;
    }
    return inputBudget(contextTokens());
}

std::set<std::string> OnDeviceModel::supportedLanguageCodes() {
    if (!isAvailable()) {
        return {};
    }
    return OnDevicePlatform::supportedLanguageCodes();
}

bool OnDeviceModel::supports(std::string_view text) {
    return supports(text, supportedLanguageCodes());
}

bool OnDeviceModel::supports(std::string_view text, const std::set<std::string>& languages) {
    return supports(text, languages, OnDevicePlatform::languageHypotheses);
}

bool OnDeviceModel::supports(std::string_view text, const std::set<std::string>& languages,
                             const Recognizer& recognize) {
    if (languages.empty()) {
        return false;
    }
    const std::string sample = Text::prefixCharacters(text, languageSample);
    if (OnDevicePlatform::letterCount(sample) < fewestLetters) {
        return true; // numbers, code, punctuation: nothing to recognise
    }
    auto hypotheses = recognize(sample, hypothesisCount);
    if (hypotheses.empty()) {
        return true;
    }
    double supported = 0;
    for (const auto& h : hypotheses) {
        if (h.language.size() >= 2 && languages.count(h.language.substr(0, 2)) > 0) {
            supported += h.probability;
        }
    }
    return supported >= 0.5;
}

ExplainError OnDeviceModel::explainError(std::string_view description) {
    const std::string lower = Text::lower(description);
    auto has = [&lower](std::string_view word) { return lower.find(word) != std::string::npos; };
    if (has("guardrail") || has("refusal")) {
        return ExplainError::refused();
    }
    if (has("contextsize") || has("contextwindow")) {
        return ExplainError::unavailable("That's too much text for the on-device model.");
    }
    if (has("unsupportedlanguage")) {
        return ExplainError::unavailable("The on-device model doesn't support this language yet.");
    }
    if (has("ratelimit") || has("concurrent")) {
        return ExplainError::rateLimited();
    }
    if (has("assetsunavailable")) {
        return ExplainError::unavailable("Apple Intelligence is still getting ready (the model may be downloading).");
    }
    if (has("decoding") || has("parsing")) {
        return ExplainError::invalidResponse();
    }
    return ExplainError::unavailable("The on-device model couldn't answer.");
}

OrderedJson OnDeviceModel::Converter::build(const OnDeviceSchemaPlan& plan) {
    using Kind = OnDeviceSchemaPlan::Kind;
    switch (plan.kind) {
    case Kind::choice:
        return {{"kind", "choice"}, {"name", plan.name}, {"values", plan.values}};
    case Kind::array: {
        OrderedJson out = {{"kind", "array"}, {"element", build(plan.plans.at(0))}};
        if (plan.max) {
            out["maximumCount"] = *plan.max;
        }
        return out;
    }
    case Kind::object: {
        OrderedJson properties = OrderedJson::array();
        for (const auto& field : plan.fields) {
            properties.push_back({{"name", field.name},
                                  {"description", field.description ? OrderedJson(*field.description) : nullptr},
                                  {"schema", build(field.plan)},
                                  {"optional", field.optional}});
        }
        return {{"kind", "object"}, {"name", plan.name}, {"properties", properties}};
    }
    case Kind::oneOf: {
        OrderedJson choices = OrderedJson::array();
        for (const auto& alternative : plan.plans) {
            choices.push_back(build(alternative));
        }
        return {{"kind", "anyOf"}, {"name", plan.name}, {"choices", choices}};
    }
    case Kind::string:
        return {{"kind", "string"}};
    case Kind::integer:
        return {{"kind", "integer"}};
    case Kind::number:
        return {{"kind", "number"}};
    case Kind::boolean:
        return {{"kind", "boolean"}};
    }
    return {{"kind", "string"}};
}

Json OnDeviceModel::run(const std::string& system, const std::string& input, const OrderedJson& schema,
                        double timeoutSeconds, const CancelToken& cancel) {
    if (!isAvailable()) {
        throw ExplainError::unavailable(std::string(sentence(status())));
    }
    if (OnDevicePlatform::systemTooOld()) {
        throw ExplainError::unavailable("Needs macOS 26 or later.");
    }
    std::optional<OnDeviceSchemaPlan> plan;
    try {
        plan = OnDeviceSchemaPlan::make(Json(schema), "BrellAnswer").plan;
    } catch (const OnDeviceSchemaPlan::Failure&) {
        throw ExplainError::unavailable(
            "Apple Intelligence can't handle this request. Choose another provider in Settings \u2192 AI.");
    }
    const OrderedJson generationSchema = Converter::build(*plan);
    std::string text;
    try {
        text = Explainer::withDeadline(timeoutSeconds, cancel, [&](const CancelToken& token) {
            return OnDevicePlatform::respond(system, input, generationSchema, temperature, token);
        });
    } catch (const ExplainError&) {
        throw;
    } catch (const OnDevicePlatform::GenerationError& e) {
        if (e.cancelled()) {
            throw ExplainError::cancelled();
        }
        throw explainError(e.what());
    } catch (const std::exception& e) {
        throw explainError(e.what());
    }
    auto answer = JsonText::parse(text);
    if (!answer || !answer->is_object()) {
        throw ExplainError::invalidResponse();
    }
    return *answer;
}

} // namespace brell
