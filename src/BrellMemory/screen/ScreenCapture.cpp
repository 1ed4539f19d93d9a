#include "BrellMemory/screen/ScreenCapture.h"

namespace brell {

std::string ScreenCapture::label() const {
    if (windowTitle.empty()) {
        return appName;
    }
    return appName + " \u2014 " + windowTitle;
}

} // namespace brell
