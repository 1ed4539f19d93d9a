#include "brell/PrintableBuffer.h"

#include "brell/TextOutput.h"

namespace brell {

PrintableBuffer::PrintableBuffer(std::streambuf* target) : target_(target) {}

PrintableBuffer::~PrintableBuffer() {
    pass(true); // nothing to do about a failing target here
    target_->pubsync();
}

PrintableBuffer::int_type PrintableBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    pending_ += traits_type::to_char_type(c);
    if (c == '\n' && !pass(false)) {
        return traits_type::eof();
    }
    return c;
}

std::streamsize PrintableBuffer::xsputn(const char* s, std::streamsize n) {
    pending_.append(s, static_cast<std::size_t>(n));
    if (pending_.find('\n') != std::string::npos && !pass(false)) {
        return 0;
    }
    return n;
}

int PrintableBuffer::sync() {
    if (!pass(true)) {
        return -1;
    }
    return target_->pubsync();
}

bool PrintableBuffer::pass(bool all) {
    std::size_t end = pending_.size();
    if (!all) {
        end = pending_.rfind('\n');
        if (end == std::string::npos) {
            return true;
        }
        ++end; // through the line feed
    }
    if (end == 0) {
        return true;
    }
    const std::string clean = TextOutput::printable(std::string_view(pending_).substr(0, end), true);
    pending_.erase(0, end);
    auto written = target_->sputn(clean.data(), static_cast<std::streamsize>(clean.size()));
    return written == static_cast<std::streamsize>(clean.size());
}

} // namespace brell
