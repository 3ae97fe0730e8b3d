#include "audio_effect_x.h"

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effGetEffectName: return hostBool(getEffectName(static_cast<char*>(ptr)));
        case effGetVendorString: return hostBool(getVendorString(static_cast<char*>(ptr)));
        case effGetProductString: return hostBool(getProductString(static_cast<char*>(ptr)));
        case effGetVendorVersion: return hostInt(getVendorVersion());
        default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}
