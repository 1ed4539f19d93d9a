#include "support/LoopbackHTTPServer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <httplib.h>

namespace brell::test {

struct LoopbackHTTPServer::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::condition_variable released;
    bool isReleased = false;
    Reply next;
    std::vector<Request> seen;
};

std::string LoopbackHTTPServer::Request::header(const std::string& name) const {
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const auto& [key, value] : headers) {
        if (key == lower) {
            return value;
        }
    }
    return "<absent>";
}

LoopbackHTTPServer::LoopbackHTTPServer() : state_(std::make_unique<State>()) {
    State* state = state_.get();
    auto handler = [state](const httplib::Request& request, httplib::Response& response) {
        Reply reply;
        {
            std::unique_lock lock(state->mutex);
            Request seen{request.method, request.path, {}, request.body};
            for (const auto& [name, value] : request.headers) {
                std::string lower;
                for (char c : name) {
                    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                seen.headers.emplace_back(lower, value);
            }
            state->seen.push_back(std::move(seen));
            reply = state->next;
            if (reply.stall) {
                state->released.wait(lock, [state] { return state->isReleased; });
            }
        }
        response.status = reply.status;
        if (reply.breakOff) {
            std::string body = reply.body;
            response.set_content_provider(body.size() + 1000, reply.contentType,
                                          [body](size_t, size_t, httplib::DataSink& sink) {
                                              sink.write(body.data(), body.size());
                                              return false; // closes the connection short of the promised length
                                          });
            return;
        }
        response.set_content(reply.body, reply.contentType);
    };
    state->server.Post(R"(.*)", handler);
    state->server.Get(R"(.*)", handler);
    state->port = state->server.bind_to_any_port("127.0.0.1");
    state->thread = std::thread([state] { state->server.listen_after_bind(); });
    while (!state->server.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
    release();
    state_->server.stop();
    state_->thread.join();
}

std::string LoopbackHTTPServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(state_->port);
}

void LoopbackHTTPServer::reply(const Reply& reply) {
    std::lock_guard lock(state_->mutex);
    state_->next = reply;
}

std::vector<LoopbackHTTPServer::Request> LoopbackHTTPServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->seen;
}

void LoopbackHTTPServer::release() {
    {
        std::lock_guard lock(state_->mutex);
        state_->isReleased = true;
    }
    state_->released.notify_all();
}

} // namespace brell::test
