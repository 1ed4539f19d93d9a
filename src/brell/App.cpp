#include "brell/App.h"

#include <iostream>

namespace brell {

int appMain(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::cout << "brell " << BRELL_VERSION << "\n";
    return 0;
}

} // namespace brell
