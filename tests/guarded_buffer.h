// Finds out exactly which bytes a text operation writes: it runs the operation twice on a
// buffer filled with two different guard bytes, so a written byte shows up in at least one
// run whatever its value.
#pragma once

#include <cstring>
#include <string>

struct Written {
    std::string text;     // what the operation left, up to its first zero byte
    int count = 0;        // bytes written
    bool fromStart = true;  // the written bytes are positions 0..count-1, none before or between
    bool zeroPadded = true;  // every written byte behind the text is a zero byte
};

template <class Write>
Written writtenBy(Write write) {
    constexpr int kBefore = 32, kSize = 256;
    const unsigned char guards[2] = {0xA5, 0x5A};
    unsigned char runs[2][kSize];
    for (int r = 0; r < 2; ++r) {
        std::memset(runs[r], guards[r], kSize);
        write(reinterpret_cast<char*>(runs[r] + kBefore));
    }
    Written result;
    int last = -1;
    for (int i = 0; i < kSize; ++i) {
        if (runs[0][i] == guards[0] && runs[1][i] == guards[1]) continue;
        if (i < kBefore) result.fromStart = false;
        ++result.count;
        last = i - kBefore;
    }
    if (last + 1 != result.count) result.fromStart = false;
    const unsigned char* text = runs[0] + kBefore;
    int length = 0;
    while (length < result.count && text[length] != '\0') ++length;
    result.text.assign(reinterpret_cast<const char*>(text), length);
    for (int i = length; i < result.count; ++i)
        if (text[i] != '\0' || runs[1][kBefore + i] != '\0') result.zeroPadded = false;
    return result;
}
