#include "BrellMemoryHost/HostMain.h"

int main(int argc, char** argv) {
    return brell::hostMain(argc, argv);
}
