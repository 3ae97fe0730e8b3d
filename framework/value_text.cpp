#include "audio_effect.h"
#include "bounded_copy.h"

// Placeholder conversions: every one writes the empty text until the real formatting lands.
void AudioEffect::dB2string(float, char* text, VstInt32 maxLen) { boundedCopy(text, "", maxLen); }
void AudioEffect::Hz2string(float, char* text, VstInt32 maxLen) { boundedCopy(text, "", maxLen); }
void AudioEffect::ms2string(float, char* text, VstInt32 maxLen) { boundedCopy(text, "", maxLen); }
void AudioEffect::float2string(float, char* text, VstInt32 maxLen) { boundedCopy(text, "", maxLen); }
void AudioEffect::int2string(VstInt32, char* text, VstInt32 maxLen) { boundedCopy(text, "", maxLen); }
