#include "BrellCore/ai/HTTPClient.h"

#include <cerrno>
#include <memory>
#include <mutex>

#include <curl/curl.h>

namespace brell {
namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

using Kind = HTTPClient::TransportError::Kind;

// What the callbacks share with perform(); no exception crosses into libcurl.
struct Transfer {
    const CancelToken* cancel;
    std::string body;
    bool tooLarge = false;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > HTTPClient::bodyLimit) {
        transfer->tooLarge = true;
        return 0;
    }
    try {
        transfer->body.append(data, bytes);
    } catch (...) {
        return 0;
    }
    return bytes;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->cancel->cancelled() ? 1 : 0;
}

Kind kindOf(CURLcode code, long osError) {
    switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
        return Kind::cancelled;
    case CURLE_OPERATION_TIMEDOUT:
        return Kind::timedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return Kind::offline;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return Kind::connectionLost;
    default:
        break;
    }
    if (osError == ENETUNREACH || osError == ENETDOWN) {
        return Kind::offline;
    }
    return Kind::failed;
}

template <class T> void set(CURL* handle, CURLoption option, T value) {
    if (CURLcode code = curl_easy_setopt(handle, option, value); code != CURLE_OK) {
        throw HTTPClient::TransportError(Kind::failed,
                                         std::string("failed to set up an HTTP request: ") + curl_easy_strerror(code));
    }
}

} // namespace

void HTTPClient::globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HTTPClient& HTTPClient::shared() {
    static HTTPClient client;
    return client;
}

HTTPClient::HTTPClient() {
    globalInit();
}

HTTPClient::Response HTTPClient::perform(const HTTPRequest& request, const CancelToken& cancel) const {
    if (cancel.cancelled()) {
        throw TransportError(Kind::cancelled, "the HTTP request was cancelled");
    }
    Easy easy(curl_easy_init());
    Multi multi(curl_multi_init());
    if (!easy || !multi) {
        throw TransportError(Kind::failed, "failed to set up an HTTP request");
    }
    CURL* handle = easy.get();
    char errorText[CURL_ERROR_SIZE] = {};
    Transfer transfer{&cancel, {}, false};
    const long limitMs = std::max(1L, static_cast<long>(request.timeoutSeconds * 1000));

    HeaderList headers;
    auto addHeader = [&headers](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (grown == nullptr) {
            throw TransportError(Kind::failed, "failed to set up an HTTP request");
        }
        (void)headers.release();
        headers.reset(grown);
    };
    addHeader("Expect:"); // no "100-continue" round trip before the body
    for (const auto& [name, value] : request.headers) {
        addHeader(name + ": " + value);
    }

    set(handle, CURLOPT_ERRORBUFFER, errorText);
    set(handle, CURLOPT_NOSIGNAL, 1L);
    set(handle, CURLOPT_URL, request.url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
    set(handle, CURLOPT_PROTOCOLS_STR, "http,https");
#endif
    set(handle, CURLOPT_FOLLOWLOCATION, 0L);
    set(handle, CURLOPT_TIMEOUT_MS, limitMs);
    set(handle, CURLOPT_CONNECTTIMEOUT_MS, limitMs);
    set(handle, CURLOPT_HTTPHEADER, headers.get());
    if (request.method == "POST") {
        set(handle, CURLOPT_POST, 1L);
        set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        set(handle, CURLOPT_POSTFIELDS, request.body.c_str());
    } else if (request.method != "GET") {
        set(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    set(handle, CURLOPT_WRITEFUNCTION, collect);
    set(handle, CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    set(handle, CURLOPT_NOPROGRESS, 0L);
    set(handle, CURLOPT_XFERINFOFUNCTION, progress);
    set(handle, CURLOPT_XFERINFODATA, static_cast<void*>(&transfer));

    if (curl_multi_add_handle(multi.get(), handle) != CURLM_OK) {
        throw TransportError(Kind::failed, "failed to start an HTTP request");
    }
    // The easy handle must leave the multi handle before either is cleaned up.
    struct Detach {
        CURLM* multi;
        CURL* easy;
        ~Detach() { (void)curl_multi_remove_handle(multi, easy); }
    } detach{multi.get(), handle};

    int running = 1;
    while (running > 0) {
        if (CURLMcode code = curl_multi_perform(multi.get(), &running); code != CURLM_OK) {
            throw TransportError(Kind::failed, std::string("HTTP transfer failed: ") + curl_multi_strerror(code));
        }
        if (running == 0) {
            break;
        }
        if (cancel.cancelled()) {
            throw TransportError(Kind::cancelled, "the HTTP request was cancelled");
        }
        if (CURLMcode code = curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr); code != CURLM_OK) {
            throw TransportError(Kind::failed, std::string("HTTP transfer failed: ") + curl_multi_strerror(code));
        }
    }

    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
            result = message->data.result;
        }
    }
    if (result != CURLE_OK) {
        if (transfer.tooLarge) {
            throw TransportError(Kind::failed, "the HTTP reply was larger than BRELL accepts");
        }
        long osError = 0;
        (void)curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osError);
        std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
        throw TransportError(kindOf(result, osError), "HTTP request failed: " + detail);
    }
    long status = 0;
    (void)curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return {static_cast<int>(status), std::move(transfer.body)};
}

} // namespace brell
