#include "BrellMemoryHost/HostMain.h"

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "BrellCore/board/CardStore.h"
#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/CompanionIdentity.h"
#include "BrellMemory/host/FrameIO.h"
#include "BrellMemory/host/FrameLoop.h"
#include "BrellMemory/host/HostProtocol.h"
#include "platform/Environment.h"

namespace brell {
namespace {

void say(const std::string& line) {
    std::string text = "brell-memory-host: " + line + "\n";
    (void)!::write(STDERR_FILENO, text.data(), text.size());
}

} // namespace

int hostMain(int argc, char** argv) {
    // A browser that closes its end mid-reply must end the process quietly, not kill it.
    std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string> expectedOrigins = CompanionIdentity::origins();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const bool testMode = Environment::value("BRELL_MEMORY_DB").has_value();

    bool callerOK = args.empty() ? testMode
                                 : std::find_first_of(args.begin(), args.end(), expectedOrigins.begin(),
                                                      expectedOrigins.end()) != args.end();
    if (!callerOK) {
        say("refusing caller " + (args.empty() ? std::string("(none)") : args.front()));
        return 1;
    }

    std::unique_ptr<MemoryStore> store;
    try {
        store = std::make_unique<MemoryStore>(MemoryStore::defaultPath(), MemoryConfig::defaults());
    } catch (const std::exception&) {
        say("store unavailable");
        FrameIO::write(STDOUT_FILENO, {{"type", "error"}, {"status", "retry"}, {"reason", "store_unavailable"}});
        return 1;
    }
    HostProtocol host(*store, CardStore::defaultURL());
    auto end = FrameLoop::run(STDIN_FILENO, STDOUT_FILENO, store->config.maxTranscriptMessageBytes,
                              [&host](std::string_view body) { return host.handle(body); });
    return end == FrameLoop::End::lengthRefused ? 1 : 0;
}

} // namespace brell
