#include "BrellMemory/visual/VisualSession.h"

namespace brell {

std::string VisualSession::label() const {
    return windowTitle.empty() ? appName : appName + " \u2014 " + windowTitle;
}

} // namespace brell
