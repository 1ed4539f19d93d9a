#include "platform/SystemClock.h"

#include <chrono>

namespace brell {

Date systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace brell
