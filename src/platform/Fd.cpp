#include "platform/Fd.h"

#include <unistd.h>

namespace brell {

void Fd::reset(int fd) {
    if (fd_ >= 0) {
        (void)::close(fd_);
    }
    fd_ = fd;
}

} // namespace brell
