#pragma once
// One HTTP request as the AI providers build it: method, address, headers in the order
// they are sent, body and the request's own time limit. A plain value; it may carry an
// API key in a header, so it is never logged or written anywhere.
#include <string>
#include <utility>
#include <vector>

namespace brell {

struct HTTPRequest {
    std::string method = "POST";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    double timeoutSeconds = 60;

    // The value of the first header with this name (compared exactly), or nothing.
    const std::string* header(const std::string& name) const {
        for (const auto& [key, value] : headers) {
            if (key == name) {
                return &value;
            }
        }
        return nullptr;
    }
};

} // namespace brell
