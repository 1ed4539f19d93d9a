#pragma once
// BRELL's one HTTP client (over libcurl, which nothing else includes). perform() sends
// one request and waits for the whole reply, with the request's time limit, and gives
// up as soon as the caller's CancelToken is cancelled (checked at least every 50 ms and
// from libcurl's progress callback). Redirects are not followed; only http and https
// are spoken; certificates are verified.
//
// Failures that never produced a reply throw TransportError, which tells apart a
// cancelled request, a timed-out one, no network, a connection lost midway and any
// other failure. A reply with any status is a Response, not an error.
//
// Thread-safe: each perform() uses its own transfer, so one client (shared()) serves
// every thread. globalInit() belongs in main(), before any thread starts; a client
// calls it once itself otherwise.
#include <string>

#include "BrellCore/ai/HTTPRequest.h"
#include "platform/CancelToken.h"
#include "util/Error.h"

namespace brell {

class HTTPClient {
public:
    struct Response {
        int status = 0; // 0 when the reply was not HTTP
        std::string body;
    };

    class TransportError : public Error {
    public:
        enum class Kind { cancelled, timedOut, offline, connectionLost, failed };
        TransportError(Kind kind, const std::string& what) : Error(what), kind_(kind) {}
        Kind kind() const { return kind_; }

    private:
        Kind kind_;
    };

    // A reply body larger than this ends the transfer as failed.
    static constexpr std::size_t bodyLimit = 32u << 20;

    static void globalInit();
    // The process-wide client.
    static HTTPClient& shared();

    HTTPClient();

    Response perform(const HTTPRequest& request, const CancelToken& cancel) const;
};

} // namespace brell
