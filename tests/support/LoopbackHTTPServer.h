#pragma once
// A small HTTP server on 127.0.0.1, started by a test, for the AI providers' requests:
// it records every request (method, path, headers, body) and answers each with the
// reply the test set, which may stall until the server is released (for deadlines) or
// break off midway through its body (a lost connection).
//
// Thread-safe: the server answers on its own threads while the test reads requests().
// Destruction releases stalled replies and stops the server before returning.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brell::test {

class LoopbackHTTPServer {
public:
    struct Request {
        std::string method;
        std::string path;
        std::vector<std::pair<std::string, std::string>> headers; // names lower-cased
        std::string body;
        // The value of a header (name in any case), or "<absent>".
        std::string header(const std::string& name) const;
    };

    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        bool stall = false;    // wait until released or stopped, then answer
        bool breakOff = false; // promise the body, send part of it, close the connection
    };

    LoopbackHTTPServer();
    ~LoopbackHTTPServer();
    LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
    LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

    // "http://127.0.0.1:<port>"
    std::string baseURL() const;

    // Every later request gets this reply.
    void reply(const Reply& reply);
    std::vector<Request> requests() const;
    // Lets stalled replies go.
    void release();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace brell::test
