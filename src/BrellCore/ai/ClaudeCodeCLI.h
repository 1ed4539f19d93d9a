#pragma once
// The provider claudeCode: the user's own Claude Code program (`claude`), run once per
// request in print mode with a system prompt, the input on standard input and a JSON
// schema for the answer, so the user's subscription answers and never an API key.
//
// run() finds the program (locate()), starts it in a fresh temporary folder that is
// removed however the run ends, with an environment stripped of API keys, drains both
// output streams as they fill, terminates it at the timeout or when the caller's token
// is cancelled, and reads its JSON output.
//
// Thread-safe: the located path is cached for the process under one lock; runs share
// nothing else. run() throws Failure for every outcome of the program, ExplainError
// cancelled when the caller cancels, and FileError / ChildProcess::StartError /
// nlohmann's serialisation error unchanged for failures around the program.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/ai/ExplainError.h"
#include "platform/CancelToken.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell {

class ClaudeCodeCLI {
public:
    class Failure : public Error {
    public:
        enum class Kind { notSignedIn, failed, notInstalled, timeout, malformed };

        // Messages from the program are cut to their first 200 characters here.
        static Failure notSignedIn(std::string_view message);
        static Failure failed(std::string_view message);
        static Failure notInstalled();
        static Failure timeout();
        static Failure malformed();

        Kind kind() const { return kind_; }
        // The program's message for notSignedIn and failed; empty otherwise.
        const std::string& message() const { return message_; }
        bool operator==(const Failure& other) const { return kind_ == other.kind_ && message_ == other.message_; }

    private:
        Failure(Kind kind, std::string message);
        Kind kind_;
        std::string message_;
    };

    // The answer of one run: the JSON object the program returned.
    static Json run(const std::string& system, const std::string& input, const OrderedJson& schema,
                    const std::optional<std::string>& model, const std::optional<std::string>& effort,
                    double timeoutSeconds, const CancelToken& cancel);

    // The path of `claude`, searched once per process (see searchPaths) and cached,
    // "not found" included.
    static std::optional<std::string> locate();
    // Forgets the cached path, so the next locate() searches again.
    static void resetLocation();

    // The sentence to show for a failure.
    static ExplainError explainError(const Failure& failure);

    // Where the program is looked for after the login shell, in order.
    static std::vector<std::string> searchPaths(const std::string& home);

    // The program's arguments, in order.
    static std::vector<std::string> arguments(const std::string& system, const std::string& schemaText,
                                              const std::optional<std::string>& model,
                                              const std::optional<std::string>& effort);

    // The program's environment: `current` without API keys, with HOME and a PATH that
    // reaches the usual install folders and the program's own folder first.
    static std::map<std::string, std::string> environment(std::map<std::string, std::string> current,
                                                          const std::string& home, const std::string& programFolder);

    // Reads the program's output: the answer, or the Failure it tells of.
    static Json readResult(std::string_view out, std::string_view err, int exitStatus);
};

} // namespace brell
