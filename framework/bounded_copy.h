#pragma once

#include "aeffect.h"

// Copies at most `maxChars` characters of `source`, pads with zero bytes up to position
// maxChars - 1 and writes a zero at position maxChars: the destination always receives
// exactly maxChars + 1 bytes, so a host can rely on the whole buffer being defined. A
// negative limit leaves room for nothing, so nothing is written.
inline void boundedCopy(char* destination, const char* source, VstInt32 maxChars) {
    VstInt32 i = 0;
    for (; i < maxChars && source[i] != '\0'; ++i) destination[i] = source[i];
    for (; i <= maxChars; ++i) destination[i] = '\0';
}

// Appends `source` behind the text already in `destination`, keeping the whole text within
// `maxChars` characters plus its terminating zero; never touches a byte past position
// maxChars, and nothing at all for a negative limit.
inline void boundedAppend(char* destination, const char* source, VstInt32 maxChars) {
    if (maxChars < 0) return;
    VstInt32 length = 0;
    while (length < maxChars && destination[length] != '\0') ++length;
    VstInt32 i = 0;
    for (; length + i < maxChars && source[i] != '\0'; ++i) destination[length + i] = source[i];
    destination[length + i] = '\0';
}
