// libFuzzer target: each input is a run of host calls on a fresh Morvex instance, 16 bytes
// per call: random opcodes, indexes, values and opt floats through the dispatcher (with
// the pointer arguments a host passes, sized exactly so that the address sanitizer sees any
// overrun), raw parameter values, parameter texts and audio blocks. Besides the
// sanitizers it traps on unterminated texts and on non-finite output (unless
// MORVEX_FUZZ_IGNORE_NONFINITE is set, to look for memory faults alone).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/aeffect.h"
#include "tools/validate/opcode_table.h"

extern "C" AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host);

namespace {

using validate::Pointer;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Call {
    std::uint8_t action;
    std::uint8_t flags;
    std::int16_t opcode;
    std::int32_t index;
    std::int32_t value;
    float opt;
};
static_assert(sizeof(Call) == 16, "one call is 16 bytes of input");

[[noreturn]] void found(const char* what) {
    std::fprintf(stderr, "morvex-fuzz: %s\n", what);
    std::abort();
}

class Run {
public:
    Run() : effect_(VSTPluginMain(host)) {
        if (!effect_) found("the entry point returned null");
    }
    ~Run() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }

    void perform(const Call& call) {
        // Half of the indexes land near the parameters, where the interesting answers are.
        const VstInt32 index = (call.flags & 1) ? call.index : static_cast<VstInt32>(
                                                                  (static_cast<std::uint32_t>(call.index) % 14u)) - 2;
        switch (call.action % 6) {
            case 0: dispatch(call, index); break;
            case 1: effect_->setParameter(effect_, index, call.opt); break;
            case 2: (void)effect_->getParameter(effect_, index); break;
            case 3: texts(index); break;
            case 4: process(call); break;
            case 5: processDouble(call); break;
        }
    }

private:
    void dispatch(const Call& call, VstInt32 index) {
        // Mostly the opcodes a host knows, sometimes any 16-bit number.
        const VstInt32 opcode = (call.flags & 2) ? call.opcode
                                                 : static_cast<VstInt32>(static_cast<std::uint16_t>(call.opcode) % 202) - 1;
        const validate::OpcodeArgs& args = validate::opcodeArgs(opcode);
        if (opcode == effClose) return;  // the run closes the effect at its end
        VstIntPtr value = call.value;
        const int size = std::max(std::max(args.documented, args.hostSize), 1);
        std::vector<char> buffer(static_cast<std::size_t>(size), 0), second(static_cast<std::size_t>(size), 0);
        void* ptr = nullptr;
        switch (args.ptr) {
            case Pointer::None: break;
            case Pointer::Text:
                std::memset(buffer.data(), 'x', buffer.size());
                ptr = buffer.data();
                break;
            case Pointer::ReadText: {
                // The call's own bytes as the text, zero-terminated.
                std::memcpy(buffer.data(), &call.index, std::min<std::size_t>(12, buffer.size() - 1));
                buffer.back() = '\0';
                ptr = buffer.data();
                break;
            }
            case Pointer::Record:
            case Pointer::Holder: ptr = buffer.data(); break;
            case Pointer::ReadRecord:
                ptr = buffer.data();
                value = 0;  // sizes and counts that go with a record stay within it
                break;
            case Pointer::VarIo: return;  // Morvex does no variable I/O; the validator sends it set up
        }
        if (args.valueIsHolder || args.valueIsRecord) value = reinterpret_cast<VstIntPtr>(second.data());
        effect_->dispatcher(effect_, opcode, index, value, ptr, call.opt);
        if (args.ptr == Pointer::Text && buffer[0] != 'x' && !std::memchr(buffer.data(), 0, buffer.size()))
            found("a text without a terminating zero within the host's buffer");
    }

    void texts(VstInt32 index) {
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            std::vector<char> text(64, 'x');
            effect_->dispatcher(effect_, opcode, index, 0, text.data(), 0.0f);
            if (text[0] != 'x' && !std::memchr(text.data(), 0, text.size()))
                found("a parameter text without a terminating zero within 64 bytes");
        }
    }

    void process(const Call& call) {
        const int frames = static_cast<int>(static_cast<std::uint32_t>(call.value) % 1025u);
        std::vector<float> in[2], out[2];
        for (int c = 0; c < 2; ++c) {
            in[c].resize(static_cast<std::size_t>(frames));
            out[c].resize(static_cast<std::size_t>(frames));
            for (int i = 0; i < frames; ++i) in[c][i] = std::sin(0.05f * static_cast<float>(i + c)) * 0.9f;
            // Sometimes the call's opt goes in as one sample: NaN, infinities, huge values.
            if (frames > 0 && (call.flags & 4)) in[c][static_cast<std::size_t>(call.index) % frames] = call.opt;
        }
        float* inputs[2] = {in[0].data(), in[1].data()};
        float* outputs[2] = {out[0].data(), out[1].data()};
        effect_->processReplacing(effect_, inputs, outputs, frames);
        static const bool ignoreNonFinite = std::getenv("MORVEX_FUZZ_IGNORE_NONFINITE") != nullptr;
        for (const auto& channel : out)
            for (float sample : channel)
                if (!std::isfinite(sample) && !ignoreNonFinite) found("non-finite output");
    }

    void processDouble(const Call& call) {
        const int frames = static_cast<int>(static_cast<std::uint32_t>(call.value) % 1025u);
        std::vector<double> in[2], out[2];
        for (int c = 0; c < 2; ++c) {
            in[c].assign(static_cast<std::size_t>(frames), call.opt);
            out[c].resize(static_cast<std::size_t>(frames));
        }
        double* inputs[2] = {in[0].data(), in[1].data()};
        double* outputs[2] = {out[0].data(), out[1].data()};
        effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
    }

    AEffect* effect_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Run run;
    for (std::size_t at = 0; at + sizeof(Call) <= size; at += sizeof(Call)) {
        Call call;
        std::memcpy(&call, data + at, sizeof call);
        run.perform(call);
    }
    return 0;
}
