// Every opcode from -1 to 200 with the arguments a host sends, each pointer argument an
// oversized buffer whose bytes beyond the documented size are watched.
#include <sys/mman.h>

#include <cmath>
#include <cstring>
#include <new>

#include "opcode_table.h"
#include "validator.h"

namespace validate {
namespace {

constexpr int kSlack = 4096;
constexpr int kReadOnlyRecord = 1024;  // records the module reads whose size varies
constexpr int kMaxFindings = 64;

enum Kind { Crash, Overrun, BeyondDocumented, WroteReadOnly, CanDoAnswer, kKinds };

// Lives in memory shared with the children that run stretches of the sweep.
struct Sweep {
    int next = kFirstSweptOpcode;
    int current = 0;
    char currentWhat[160] = {};
    int calls = 0;
    bool finished = false;
    bool processesAfter = false;
    char skipped[512] = {};
    int count[kKinds] = {};
    char first[kKinds][kMaxFindings][200] = {};
};
Sweep* sweep = nullptr;

void note(Kind kind, const std::string& what) {
    int& n = sweep->count[kind];
    if (n < kMaxFindings) std::snprintf(sweep->first[kind][n], sizeof sweep->first[kind][n], "%s", what.c_str());
    ++n;
}

// One pointer argument: `documented` bytes the module may use, then bytes that must stay
// as they were.
struct Buffer {
    std::vector<unsigned char> bytes;
    int documented;
    int hostSize;
    std::vector<unsigned char> original;
    Buffer(int documented_, int hostSize_, unsigned char beyond)
        : bytes(static_cast<std::size_t>(std::max(documented_, hostSize_) + kSlack), 0),
          documented(documented_),
          hostSize(std::max(documented_, hostSize_)) {
        std::memset(bytes.data() + documented, beyond, bytes.size() - documented);
        original = bytes;
    }
    void* data() { return bytes.data(); }
    void sealed() { original = bytes; }  // what the host put in is the reference
    // One past the last byte changed at or beyond `from`, or 0.
    int changedBeyond(int from) const {
        for (int i = static_cast<int>(bytes.size()) - 1; i >= from; --i)
            if (bytes[i] != original[i]) return i + 1;
        return 0;
    }
};

std::vector<VstInt32> indexesFor(Index kind, AEffect* record) {
    auto range = [](int count, int cap) {
        std::vector<VstInt32> values;
        for (int i = 0; i < std::min(count, cap); ++i) values.push_back(i);
        if (options().strictness >= 5) {
            values.push_back(-1);
            values.push_back(count);
        }
        if (values.empty()) values.push_back(0);
        return values;
    };
    switch (kind) {
        case Index::None: return {0};
        case Index::Parameter: return range(record->numParams, 64);
        case Index::Program: return range(record->numPrograms, 8);
        case Index::Input: return range(record->numInputs, 16);
        case Index::Output: return range(record->numOutputs, 16);
        case Index::MidiChannel: return {0, 15};
    }
    return {0};
}

const char* const kCanDoTexts[] = {"",          "receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                   "sendVstMidiEvent", "receiveVstTimeInfo", "offline", "midiProgramNames",
                                   "bypass",    "plugAsChannelInsert", "plugAsSend", "mixDryWet", "noRealTime",
                                   "multipass", "metapass", "1in1out", "1in2out", "2in1out", "2in2out",
                                   "2in4out",   "4in2out", "4in4out", "4in8out", "8in4out", "8in8out"};

class Sweeper {
public:
    explicit Sweeper(vsthost::Effect& effect) : effect_(effect), record_(effect.record()) {}

    void run(VstInt32 opcode) {
        opcode_ = opcode;
        const OpcodeArgs& args = opcodeArgs(opcode);
        const std::string name = format("%d (%s)", opcode, args.name);
        if (args.lifecycle) return skip(name + ": lifecycle");
        if (args.needsEditor && (record_->flags & effFlagsHasEditor)) return skip(name + ": needs an editor window");
        for (VstInt32 index : indexesFor(args.index, record_)) {
            if (opcode == effSetProgram) {
                for (VstIntPtr program : indexesFor(Index::Program, record_)) call(args, name, index, program, nullptr);
                call(args, name, index, 0, nullptr);
                continue;
            }
            switch (args.ptr) {
                case Pointer::None:
                    if (opcode == effMainsChanged || opcode == effSetBypass) {
                        call(args, name, index, 1, nullptr);
                        call(args, name, index, 0, nullptr);
                        break;
                    }
                    call(args, name + " with a null pointer", index, args.value, nullptr);
                    watched(args, name + " with a buffer it takes none of", index, 0, 0, WroteReadOnly);
                    break;
                case Pointer::Text:
                case Pointer::Record:
                case Pointer::Holder:
                    watched(args, name, index, args.documented, args.hostSize, Overrun);
                    break;
                case Pointer::ReadText:
                    if (opcode == effCanDo) {
                        for (const char* text : kCanDoTexts) canDo(name, text);
                        break;
                    }
                    watched(args, name + " with an empty text", index, args.documented, args.hostSize, WroteReadOnly);
                    break;
                case Pointer::ReadRecord:
                    if (opcode == effSetChunk) {
                        setChunk(args, name);
                        break;
                    }
                    watched(args, name, index, args.documented ? args.documented : kReadOnlyRecord,
                            args.documented ? args.documented : kReadOnlyRecord, WroteReadOnly);
                    break;
                case Pointer::VarIo: varIo(args, name); break;
            }
        }
    }

private:
    void skip(const std::string& what) {
        std::size_t used = std::strlen(sweep->skipped);
        std::snprintf(sweep->skipped + used, sizeof sweep->skipped - used, "%s%s", used ? "; " : "", what.c_str());
    }

    VstIntPtr call(const OpcodeArgs& args, const std::string& what, VstInt32 index, VstIntPtr value, void* ptr,
                   VstInt32 opcode = kSweptOpcode) {
        std::snprintf(sweep->currentWhat, sizeof sweep->currentWhat, "opcode %s, index %d", what.c_str(), index);
        step("dispatcher: " + std::string(sweep->currentWhat));
        ++sweep->calls;
        return effect_.dispatch(opcode == kSweptOpcode ? opcode_ : opcode, index, value, ptr, args.opt);
    }

    // Sends the opcode twice: buffers zeroed throughout, then zeroed only up to the
    // documented size (to see zero bytes written beyond it).
    void watched(const OpcodeArgs& args, const std::string& what, VstInt32 index, int documented, int hostSize,
                 Kind beyondHost) {
        for (unsigned char beyond : {0x00, 0xA5}) {
            Buffer ptr(documented, hostSize, beyond);
            Buffer second(args.valueIsHolder ? static_cast<int>(sizeof(void*)) : documented, hostSize, beyond);
            if (args.valueIsRecord) {
                prepareArrangement(ptr, record_->numOutputs);
                prepareArrangement(second, record_->numInputs);
            }
            const bool secondUsed = args.valueIsHolder || args.valueIsRecord;
            const VstIntPtr value = secondUsed ? reinterpret_cast<VstIntPtr>(second.data()) : args.value;
            call(args, what, index, value, ptr.data());
            judge(what, index, ptr, beyondHost);
            if (secondUsed) judge(what + " (value argument)", index, second, beyondHost);
        }
    }

    void judge(const std::string& what, VstInt32 index, const Buffer& buffer, Kind beyondHost) {
        const std::string where = format("opcode %s, index %d", what.c_str(), index);
        if (beyondHost == WroteReadOnly) {
            if (int end = buffer.changedBeyond(0))
                note(WroteReadOnly, where + format(": wrote up to byte %d", end));
            return;
        }
        const int end = buffer.changedBeyond(buffer.documented);
        if (end > buffer.hostSize) note(Overrun, where + format(": wrote %d bytes, %d documented", end, buffer.documented));
        else if (end > buffer.documented)
            note(BeyondDocumented, where + format(": wrote %d bytes, %d documented", end, buffer.documented));
    }

    static void prepareArrangement(Buffer& buffer, int channels) {
        // A host's arrangement: type (mono 0, stereo 1, otherwise user-defined -2) and count.
        const VstInt32 type = channels == 1 ? 0 : channels == 2 ? 1 : -2;
        const VstInt32 count = std::min(channels, 8);
        std::memcpy(buffer.bytes.data(), &type, 4);
        std::memcpy(buffer.bytes.data() + 4, &count, 4);
        buffer.sealed();
    }

    void canDo(const std::string& name, const char* text) {
        Buffer buffer(kReadOnlyRecord, kReadOnlyRecord, 0xA5);
        std::strcpy(reinterpret_cast<char*>(buffer.data()), text);
        buffer.sealed();
        const Buffer before = buffer;
        const VstIntPtr answer = call(opcodeArgs(effCanDo), name + " \"" + text + "\"", 0, 0, buffer.data());
        if (answer < -1 || answer > 1) note(CanDoAnswer, format("\"%s\" answered %ld", text, static_cast<long>(answer)));
        if (buffer.bytes != before.bytes) note(WroteReadOnly, format("opcode %s \"%s\": changed the text", name.c_str(), text));
    }

    void setChunk(const OpcodeArgs& args, const std::string& name) {
        if (!(record_->flags & effFlagsProgramChunks)) {
            watched(args, name + " with an empty chunk", 0, kReadOnlyRecord, kReadOnlyRecord, WroteReadOnly);
            return;
        }
        // Only what the module handed out itself goes back.
        for (VstInt32 isPreset : {0, 1}) {
            void* data = nullptr;
            const VstIntPtr size =
                call(opcodeArgs(effGetChunk), name + " (its own chunk, read first)", isPreset, 0, &data, effGetChunk);
            if (size <= 0 || !data) continue;
            std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                            static_cast<const unsigned char*>(data) + size);
            call(args, name + " (its own chunk)", isPreset, size, copy.data());
        }
    }

    void varIo(const OpcodeArgs& args, const std::string& name) {
        // What a host sets up: channel arrays, 64 frames each way, counters to fill.
        Audio in(record_->numInputs, 64), out(record_->numOutputs, 64);
        struct {
            float** inputs;
            float** outputs;
            VstInt32 numSamplesInput;
            VstInt32 numSamplesOutput;
            VstInt32* numSamplesInputProcessed;
            VstInt32* numSamplesOutputProcessed;
        } io{in.at(0), out.at(0), 64, 64, nullptr, nullptr};
        VstInt32 inputDone = 0, outputDone = 0;
        io.numSamplesInputProcessed = &inputDone;
        io.numSamplesOutputProcessed = &outputDone;
        call(args, name, 0, 0, &io);
    }

    static constexpr VstInt32 kSweptOpcode = -1000;
    vsthost::Effect& effect_;
    AEffect* record_;
    VstInt32 opcode_ = 0;
};

void sweepFrom(int first) {
    auto effect = startEffect();
    if (!effect) return;
    AEffect* record = effect->record();
    effect->mainsChanged(false);
    Sweeper sweeper(*effect);
    for (int opcode = first; opcode <= kLastSweptOpcode; ++opcode) {
        sweep->current = opcode;
        sweeper.run(opcode);
        sweep->next = opcode + 1;
    }
    step("dispatcher: processing after the sweep");
    reconfigure(*effect, Config{});
    Audio in(record->numInputs, 512 * 16), out(record->numOutputs, 512 * 16);
    generate(in, Signal::Noise, 44100.0f);
    processAll(*effect, in, out, 512);
    Scan scan;
    scan.add(out);
    sweep->processesAfter = scan.firstNonFinite < 0;
    sweep->finished = true;
}

std::string firstOf(Kind kind) {
    std::string text = sweep->first[kind][0];
    if (sweep->count[kind] > 1) text += format(" (and %d more)", sweep->count[kind] - 1);
    return text;
}

}  // namespace

void checkDispatcher() {
    void* memory = mmap(nullptr, sizeof(Sweep), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        fail("dispatcher", "no shared memory");
        return;
    }
    sweep = new (memory) Sweep();
    // A crash ends one child; the next one starts after the opcode that crashed.
    while (!sweep->finished && sweep->next <= kLastSweptOpcode + 1) {
        const int first = sweep->next;
        std::string abnormal;
        const bool ended = runIsolated(
            "dispatcher",
            [first] {
                std::string error;
                if (useModule(error)) sweepFrom(first);
            },
            &abnormal);
        if (!ended) {
            note(Crash, std::string(sweep->currentWhat) + ": " + abnormal);
            sweep->next = sweep->current + 1;
            if (sweep->current > kLastSweptOpcode) break;
        } else if (!sweep->finished) {
            break;
        }
    }
    const char* check = "dispatcher: opcodes -1 to 200 without a crash";
    if (sweep->count[Crash]) fail(check, format("%d crashed, first: ", sweep->count[Crash]) + firstOf(Crash));
    else pass(check, format("%d calls%s%s", sweep->calls, *sweep->skipped ? "; skipped " : "", sweep->skipped));
    if (sweep->count[Overrun]) fail("dispatcher: writes stay within the buffers hosts give", firstOf(Overrun));
    else pass("dispatcher: writes stay within the buffers hosts give", "");
    if (sweep->count[BeyondDocumented])
        problem("dispatcher: writes stay within the documented sizes", firstOf(BeyondDocumented), kNeverFails);
    else
        pass("dispatcher: writes stay within the documented sizes", "");
    if (sweep->count[WroteReadOnly])
        problem("dispatcher: nothing written through pointers meant for reading or unused", firstOf(WroteReadOnly), 8);
    else
        pass("dispatcher: nothing written through pointers meant for reading or unused", "");
    if (sweep->count[CanDoAnswer]) problem("dispatcher: effCanDo answers -1, 0 or 1", firstOf(CanDoAnswer), 6);
    else pass("dispatcher: effCanDo answers -1, 0 or 1", "");
    if (!sweep->finished) fail("dispatcher: still processes after the sweep", "the sweep did not finish");
    else if (!sweep->processesAfter) fail("dispatcher: still processes after the sweep", "non-finite output");
    else pass("dispatcher: still processes after the sweep", "");
    munmap(memory, sizeof(Sweep));
    sweep = nullptr;
}

}  // namespace validate
