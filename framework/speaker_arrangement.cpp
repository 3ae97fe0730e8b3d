// Speaker arrangements: variable-length records of 8 + 112 * channels bytes, from the C heap
// so that allocation failure comes back as null instead of an exception.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "audio_effect_x.h"
#include "bounded_copy.h"

namespace {

constexpr std::size_t kHeaderBytes = offsetof(VstSpeakerArrangement, speakers);
constexpr std::size_t kSpeakerBytes = sizeof(VstSpeakerProperties);
constexpr VstInt32 kMaxSpeakerName = 63;

// Entries lie back to back behind the header, past the one the declaration shows.
VstSpeakerProperties* speakerAt(VstSpeakerArrangement* arrangement, VstInt32 index) {
    return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<unsigned char*>(arrangement) + kHeaderBytes +
                                                   kSpeakerBytes * static_cast<std::size_t>(index));
}

void release(VstSpeakerArrangement** holder) {
    std::free(*holder);
    *holder = nullptr;
}

}  // namespace

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** holder, VstInt32 channels) {
    if (!holder) return false;
    release(holder);
    if (channels < 0) return false;
    const auto count = static_cast<std::size_t>(channels);
    if (count > (SIZE_MAX - kHeaderBytes) / kSpeakerBytes) return false;
    void* memory = std::calloc(1, kHeaderBytes + kSpeakerBytes * count);
    if (!memory) return false;
    auto* arrangement = static_cast<VstSpeakerArrangement*>(memory);
    arrangement->numChannels = channels;
    *holder = arrangement;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** holder) {
    if (!holder) return false;
    release(holder);
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (!to || !from) return false;
    // Copied as bytes, not as floats: the words at 0..15 go through bit for bit, NaNs
    // included, and the same entry as source and destination stays harmless.
    std::memmove(to, from, offsetof(VstSpeakerProperties, name));
    boundedCopy(to->name, from->name, kMaxSpeakerName);
    std::memmove(&to->type, &from->type, sizeof(VstSpeakerProperties) - offsetof(VstSpeakerProperties, type));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** holder, VstSpeakerArrangement* from) {
    if (!holder || !from) return false;
    // Releasing the holder's arrangement first would free the source: it already matches.
    if (*holder == from) return true;
    if (!deallocateArrangement(holder)) return false;
    if (!allocateArrangement(holder, from->numChannels) || !*holder) return false;
    VstSpeakerArrangement* to = *holder;
    to->type = from->type;
    for (VstInt32 i = 0; i < to->numChannels; ++i)
        if (!copySpeaker(speakerAt(to, i), speakerAt(from, i))) return false;
    return true;
}
