#include "BrellMemoryHost/HostMain.h"

namespace brell {

int hostMain(int, char**) {
    return 0;
}

} // namespace brell
