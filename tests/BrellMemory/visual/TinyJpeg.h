#pragma once
// A real, tiny JPEG picture for tests: one grey 8 × 8 block, baseline, one component,
// with Huffman tables of one code each. `variant` changes one quantisation value, so
// each variant is a different file that decoders still read.
#include <cstdint>
#include <string>

namespace brell::test {

inline std::string tinyJpeg(uint8_t variant = 1) {
    std::string j;
    auto bytes = [&](std::initializer_list<int> list) {
        for (int b : list) {
            j += static_cast<char>(b);
        }
    };
    bytes({0xFF, 0xD8}); // start of image
    bytes({0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
    bytes({0xFF, 0xDB, 0x00, 0x43, 0x00}); // quantisation
    j += static_cast<char>(variant == 0 ? 1 : variant);
    j += std::string(63, '\x01');
    bytes({0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00}); // 8 × 8, grey
    for (int tableClass : {0x00, 0x10}) {                                                  // DC, then AC
        bytes({0xFF, 0xC4, 0x00, 0x14, tableClass, 0x01});
        j += std::string(15, '\0');
        bytes({0x00});
    }
    bytes({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00}); // scan header
    bytes({0x3F});                                                       // DC 0, end of block
    bytes({0xFF, 0xD9});                                                 // end of image
    return j;
}

} // namespace brell::test
