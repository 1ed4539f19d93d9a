#include "brell/App.h"

int main(int argc, char** argv) {
    return brell::appMain(argc, argv);
}
