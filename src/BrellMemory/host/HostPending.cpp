// Handlers whose storage is not built yet. Their events are answered "retry" /
// "store_busy" and not recorded, so the companion keeps them and nothing is lost.
#include "BrellMemory/host/HostProtocol.h"

namespace brell {

HostProtocol::AckStatus HostProtocol::ingestTranscript(const std::string&, const Json&, const Json&) {
    throw AckError(AckStatus::retry, "store_busy");
}

Json HostProtocol::seen(const Json&, const std::optional<std::string>&) {
    return error("retry", "store_unavailable");
}

} // namespace brell
