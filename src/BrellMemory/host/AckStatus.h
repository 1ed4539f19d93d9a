#pragma once
// How the host answers one captured event ("ack" replies): stored, already stored,
// captured under an older epoch, not allowed now, malformed, or to be sent again.
namespace brell {

enum class AckStatus { accepted, duplicate, stale_epoch, disabled, invalid, retry };

} // namespace brell
