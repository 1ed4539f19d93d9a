#include "BrellMemory/host/FrameLoop.h"

#include <cstring>
#include <string>

#include "BrellMemory/host/FrameIO.h"

namespace brell::FrameLoop {

Json lengthRefusal() {
    return {{"type", "error"}, {"status", "invalid"}, {"reason", "message_too_large"}};
}

End run(int in, int out, int64_t maxLength, const std::function<Json(std::string_view body)>& answer) {
    while (true) {
        auto header = FrameIO::readExactly(in, 4);
        if (!header) {
            return End::inputClosed;
        }
        uint32_t length = 0;
        std::memcpy(&length, header->data(), sizeof length);
        if (length == 0 || length > maxLength) {
            FrameIO::write(out, lengthRefusal());
            return End::lengthRefused;
        }
        auto body = FrameIO::readExactly(in, length);
        if (!body) {
            return End::inputClosed;
        }
        if (!FrameIO::write(out, answer(*body))) {
            return End::readerGone;
        }
    }
}

} // namespace brell::FrameLoop
