#include "opcode_table.h"

#include <array>

namespace validate {
namespace {

using P = Pointer;
using I = Index;

// Records as the interface lays them out on this platform.
constexpr int kPinProperties = 128;
constexpr int kParameterProperties = 152;
constexpr int kMidiProgramName = 80;
constexpr int kMidiProgramCategory = 76;
constexpr int kMidiKeyName = 80;
constexpr int kPatchChunkInfo = 64;
constexpr int kSpeakerArrangement = 8 + 112 * 8;
constexpr int kHolder = sizeof(void*);
constexpr int kEvents = 2 * sizeof(void*) + 2 * sizeof(void*);
constexpr int kRect = 8;
constexpr int kTextOf(int characters) { return characters + 1; }
constexpr int kParamText = kTextOf(kVstMaxParamStrLen);
constexpr int kHostTextBuffer = 64;  // what hosts give for short texts, beyond the documented 8 or 24

// clang-format off
const OpcodeArgs kTable[] = {
    // opcode                        name                         ptr            documented               host                   index           value  opt      vHold  vRec   editor life
    {effOpen,                        "effOpen",                   P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, true},
    {effClose,                       "effClose",                  P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, true},
    {effSetProgram,                  "effSetProgram",             P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetProgram,                  "effGetProgram",             P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effSetProgramName,              "effSetProgramName",         P::ReadText,   kTextOf(kVstMaxProgNameLen), kTextOf(kVstMaxProgNameLen), I::None,   0,     0.0f,    false, false, false, false},
    {effGetProgramName,              "effGetProgramName",         P::Text,       kTextOf(kVstMaxProgNameLen), kHostTextBuffer,    I::None,        0,     0.0f,    false, false, false, false},
    {effGetParamLabel,               "effGetParamLabel",          P::Text,       kParamText, kHostTextBuffer,                     I::Parameter,   0,     0.0f,    false, false, false, false},
    {effGetParamDisplay,             "effGetParamDisplay",        P::Text,       kParamText, kHostTextBuffer,                     I::Parameter,   0,     0.0f,    false, false, false, false},
    {effGetParamName,                "effGetParamName",           P::Text,       kParamText, kHostTextBuffer,                     I::Parameter,   0,     0.0f,    false, false, false, false},
    {effGetVu,                       "effGetVu",                  P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effSetSampleRate,               "effSetSampleRate",          P::None,       0, 0,                                            I::None,        0,     44100.0f, false, false, false, false},
    {effSetBlockSize,                "effSetBlockSize",           P::None,       0, 0,                                            I::None,        512,   0.0f,    false, false, false, false},
    {effMainsChanged,                "effMainsChanged",           P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effEditGetRect,                 "effEditGetRect",            P::Holder,     kHolder, kHolder,                                I::None,        0,     0.0f,    false, false, true,  false},
    {effEditOpen,                    "effEditOpen",               P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditClose,                   "effEditClose",              P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditDraw,                    "effEditDraw",               P::ReadRecord, kRect, kRect,                                    I::None,        0,     0.0f,    false, false, true,  false},
    {effEditMouse,                   "effEditMouse",              P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditKey,                     "effEditKey",                P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditIdle,                    "effEditIdle",               P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditTop,                     "effEditTop",                P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditSleep,                   "effEditSleep",              P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effIdentify,                    "effIdentify",               P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetChunk,                    "effGetChunk",               P::Holder,     kHolder, kHolder,                                I::None,        0,     0.0f,    false, false, false, false},
    {effSetChunk,                    "effSetChunk",               P::ReadRecord, 0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effProcessEvents,               "effProcessEvents",          P::ReadRecord, kEvents, kEvents,                                I::None,        0,     0.0f,    false, false, false, false},
    {effCanBeAutomated,              "effCanBeAutomated",         P::None,       0, 0,                                            I::Parameter,   0,     0.0f,    false, false, false, false},
    {effString2Parameter,            "effString2Parameter",       P::ReadText,   kHostTextBuffer, kHostTextBuffer,                I::Parameter,   0,     0.0f,    false, false, false, false},
    {effGetNumProgramCategories,     "effGetNumProgramCategories",P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetProgramNameIndexed,       "effGetProgramNameIndexed",  P::Text,       kTextOf(kVstMaxProgNameLen), kHostTextBuffer,    I::Program,     0,     0.0f,    false, false, false, false},
    {effCopyProgram,                 "effCopyProgram",            P::None,       0, 0,                                            I::Program,     0,     0.0f,    false, false, false, false},
    {effConnectInput,                "effConnectInput",           P::None,       0, 0,                                            I::Input,       1,     0.0f,    false, false, false, false},
    {effConnectOutput,               "effConnectOutput",          P::None,       0, 0,                                            I::Output,      1,     0.0f,    false, false, false, false},
    {effGetInputProperties,          "effGetInputProperties",     P::Record,     kPinProperties, kPinProperties,                  I::Input,       0,     0.0f,    false, false, false, false},
    {effGetOutputProperties,         "effGetOutputProperties",    P::Record,     kPinProperties, kPinProperties,                  I::Output,      0,     0.0f,    false, false, false, false},
    {effGetPlugCategory,             "effGetPlugCategory",        P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetCurrentPosition,          "effGetCurrentPosition",     P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetDestinationBuffer,        "effGetDestinationBuffer",   P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effOfflineNotify,               "effOfflineNotify",          P::ReadRecord, 0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effOfflinePrepare,              "effOfflinePrepare",         P::ReadRecord, 0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effOfflineRun,                  "effOfflineRun",             P::ReadRecord, 0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effProcessVarIo,                "effProcessVarIo",           P::VarIo,      0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effSetSpeakerArrangement,       "effSetSpeakerArrangement",  P::ReadRecord, kSpeakerArrangement, kSpeakerArrangement,        I::None,        0,     0.0f,    false, true,  false, false},
    {effSetBlockSizeAndSampleRate,   "effSetBlockSizeAndSampleRate", P::None,    0, 0,                                            I::None,        512,   44100.0f, false, false, false, false},
    {effSetBypass,                   "effSetBypass",              P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetEffectName,               "effGetEffectName",          P::Text,       kTextOf(kVstMaxEffectNameLen), kHostTextBuffer,  I::None,        0,     0.0f,    false, false, false, false},
    {effGetErrorText,                "effGetErrorText",           P::Text,       256, 256,                                        I::None,        0,     0.0f,    false, false, false, false},
    {effGetVendorString,             "effGetVendorString",        P::Text,       kTextOf(kVstMaxVendorStrLen), kTextOf(kVstMaxVendorStrLen), I::None, 0, 0.0f,    false, false, false, false},
    {effGetProductString,            "effGetProductString",       P::Text,       kTextOf(kVstMaxProductStrLen), kTextOf(kVstMaxProductStrLen), I::None, 0, 0.0f,  false, false, false, false},
    {effGetVendorVersion,            "effGetVendorVersion",       P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effVendorSpecific,              "effVendorSpecific",         P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effCanDo,                       "effCanDo",                  P::ReadText,   kHostTextBuffer, kHostTextBuffer,                I::None,        0,     0.0f,    false, false, false, false},
    {effGetTailSize,                 "effGetTailSize",            P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effIdle,                        "effIdle",                   P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetIcon,                     "effGetIcon",                P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effSetViewPosition,             "effSetViewPosition",        P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effGetParameterProperties,      "effGetParameterProperties", P::Record,     kParameterProperties, kParameterProperties,      I::Parameter,   0,     0.0f,    false, false, false, false},
    {effKeysRequired,                "effKeysRequired",           P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effGetVstVersion,               "effGetVstVersion",          P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effEditKeyDown,                 "effEditKeyDown",            P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effEditKeyUp,                   "effEditKeyUp",              P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effSetEditKnobMode,             "effSetEditKnobMode",        P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, true,  false},
    {effGetMidiProgramName,          "effGetMidiProgramName",     P::Record,     kMidiProgramName, kMidiProgramName,              I::MidiChannel, 0,     0.0f,    false, false, false, false},
    {effGetCurrentMidiProgram,       "effGetCurrentMidiProgram",  P::Record,     kMidiProgramName, kMidiProgramName,              I::MidiChannel, 0,     0.0f,    false, false, false, false},
    {effGetMidiProgramCategory,      "effGetMidiProgramCategory", P::Record,     kMidiProgramCategory, kMidiProgramCategory,      I::MidiChannel, 0,     0.0f,    false, false, false, false},
    {effHasMidiProgramsChanged,      "effHasMidiProgramsChanged", P::None,       0, 0,                                            I::MidiChannel, 0,     0.0f,    false, false, false, false},
    {effGetMidiKeyName,              "effGetMidiKeyName",         P::Record,     kMidiKeyName, kMidiKeyName,                      I::MidiChannel, 0,     0.0f,    false, false, false, false},
    {effBeginSetProgram,             "effBeginSetProgram",        P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effEndSetProgram,               "effEndSetProgram",          P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetSpeakerArrangement,       "effGetSpeakerArrangement",  P::Holder,     kHolder, kHolder,                                I::None,        0,     0.0f,    true,  false, false, false},
    {effShellGetNextPlugin,          "effShellGetNextPlugin",     P::Text,       kTextOf(kVstMaxProductStrLen), kTextOf(kVstMaxProductStrLen), I::None, 0, 0.0f,  false, false, false, false},
    {effStartProcess,                "effStartProcess",           P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effStopProcess,                 "effStopProcess",            P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effSetTotalSampleToProcess,     "effSetTotalSampleToProcess",P::None,       0, 0,                                            I::None,        44100, 0.0f,    false, false, false, false},
    {effSetPanLaw,                   "effSetPanLaw",              P::None,       0, 0,                                            I::None,        0,     0.70710677f, false, false, false, false},
    {effBeginLoadBank,               "effBeginLoadBank",          P::ReadRecord, kPatchChunkInfo, kPatchChunkInfo,                I::None,        0,     0.0f,    false, false, false, false},
    {effBeginLoadProgram,            "effBeginLoadProgram",       P::ReadRecord, kPatchChunkInfo, kPatchChunkInfo,                I::None,        0,     0.0f,    false, false, false, false},
    {effSetProcessPrecision,         "effSetProcessPrecision",    P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetNumMidiInputChannels,     "effGetNumMidiInputChannels",P::None,       0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
    {effGetNumMidiOutputChannels,    "effGetNumMidiOutputChannels",P::None,      0, 0,                                            I::None,        0,     0.0f,    false, false, false, false},
};
// clang-format on
static_assert(sizeof(kTable) / sizeof(kTable[0]) == 80, "one entry per opcode 0..79");

const OpcodeArgs kUnknown{0, "unknown", P::None, 0, 0, I::None, 0, 0.0f, false, false, false, false};

}  // namespace

const OpcodeArgs& opcodeArgs(VstInt32 opcode) {
    if (opcode >= 0 && opcode < 80) return kTable[opcode];
    return kUnknown;
}

}  // namespace validate
