// The VST 2.4 interface as the host and the module see it: integer types, the effect
// record, the function types stored in it, opcodes, flags and the few records the
// framework fills itself. Written from the interface's published layout; shared by the
// framework and by host/, so both sides agree on every offset.
#pragma once

#include <cstddef>
#include <cstdint>

using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

// Every function the host and the module exchange uses the C calling convention; on
// 32-bit Windows that has to be spelled out, elsewhere it is the only one there is.
#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

struct AEffect;

using audioMasterCallback = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                    VstIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                      VstIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(VSTCALLBACK*)(AEffect* effect, double** inputs, double** outputs,
                                                    VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALLBACK*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float(VSTCALLBACK*)(AEffect* effect, VstInt32 index);

// Entry point signature: VSTPluginMain (also exported as main).
using VstPluginMainProc = AEffect*(VSTCALLBACK*)(audioMasterCallback host);

// A four-character code: the first character is the most significant byte.
constexpr VstInt32 fourCharCode(const char (&code)[5]) {
    return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])));
}

constexpr VstInt32 kEffectMagic = fourCharCode("VstP");

struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;  // deprecated accumulating process
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;  // reserved for the host
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;  // deprecated
    VstInt32 offQualities;   // deprecated
    float ioRatio;           // deprecated
    void* object;            // the object that embeds this record
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

// The host reads the record's fields directly, so their places are part of the interface.
#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(AEffect, magic) == 0 && offsetof(AEffect, dispatcher) == 4 &&
                  offsetof(AEffect, process) == 8 && offsetof(AEffect, setParameter) == 12 &&
                  offsetof(AEffect, getParameter) == 16 && offsetof(AEffect, numPrograms) == 20 &&
                  offsetof(AEffect, numParams) == 24 && offsetof(AEffect, numInputs) == 28 &&
                  offsetof(AEffect, numOutputs) == 32 && offsetof(AEffect, flags) == 36 &&
                  offsetof(AEffect, resvd1) == 40 && offsetof(AEffect, resvd2) == 44 &&
                  offsetof(AEffect, initialDelay) == 48 && offsetof(AEffect, realQualities) == 52 &&
                  offsetof(AEffect, offQualities) == 56 && offsetof(AEffect, ioRatio) == 60 &&
                  offsetof(AEffect, object) == 64 && offsetof(AEffect, user) == 68 &&
                  offsetof(AEffect, uniqueID) == 72 && offsetof(AEffect, version) == 76 &&
                  offsetof(AEffect, processReplacing) == 80 && offsetof(AEffect, processDoubleReplacing) == 84 &&
                  offsetof(AEffect, future) == 88,
              "32-bit AEffect field offsets");
static_assert(sizeof(AEffect) == 144, "32-bit AEffect size");
#elif INTPTR_MAX == INT64_MAX
static_assert(offsetof(AEffect, magic) == 0 && offsetof(AEffect, dispatcher) == 8 &&
                  offsetof(AEffect, process) == 16 && offsetof(AEffect, setParameter) == 24 &&
                  offsetof(AEffect, getParameter) == 32 && offsetof(AEffect, numPrograms) == 40 &&
                  offsetof(AEffect, numParams) == 44 && offsetof(AEffect, numInputs) == 48 &&
                  offsetof(AEffect, numOutputs) == 52 && offsetof(AEffect, flags) == 56 &&
                  offsetof(AEffect, resvd1) == 64 && offsetof(AEffect, resvd2) == 72 &&
                  offsetof(AEffect, initialDelay) == 80 && offsetof(AEffect, realQualities) == 84 &&
                  offsetof(AEffect, offQualities) == 88 && offsetof(AEffect, ioRatio) == 92 &&
                  offsetof(AEffect, object) == 96 && offsetof(AEffect, user) == 104 &&
                  offsetof(AEffect, uniqueID) == 112 && offsetof(AEffect, version) == 116 &&
                  offsetof(AEffect, processReplacing) == 120 && offsetof(AEffect, processDoubleReplacing) == 128 &&
                  offsetof(AEffect, future) == 136,
              "64-bit AEffect field offsets");
static_assert(sizeof(AEffect) == 192, "64-bit AEffect size");
#else
#error "unsupported pointer width"
#endif

enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Opcodes the host sends through the record's dispatcher.
enum AEffectOpcodes : VstInt32 {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents,  // 25
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,
    effGetSpeakerArrangement,
    effShellGetNextPlugin,
    effStartProcess,
    effStopProcess,
    effSetTotalSampleToProcess,
    effSetPanLaw,
    effBeginLoadBank,
    effBeginLoadProgram,
    effSetProcessPrecision,
    effGetNumMidiInputChannels,
    effGetNumMidiOutputChannels,  // 79
};
static_assert(effSetChunk == 24 && effProcessEvents == 25 && effGetNumMidiOutputChannels == 79);

// Opcodes the module sends through the host callback.
enum AudioMasterOpcodes : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterEditFile = 47,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

enum VstPlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

// Text limits of the interface (characters, not counting the terminating zero).
constexpr VstInt32 kVstMaxProgNameLen = 24;
constexpr VstInt32 kVstMaxParamStrLen = 8;
constexpr VstInt32 kVstMaxVendorStrLen = 64;
constexpr VstInt32 kVstMaxProductStrLen = 64;
constexpr VstInt32 kVstMaxEffectNameLen = 32;

// Records the framework only passes between host and operations, never reads or writes.
struct VstEvents;
struct VstTimeInfo;
struct VstPinProperties;
struct VstParameterProperties;
struct VstVariableIo;
struct VstAudioFile;
struct VstPatchChunkInfo;
struct VstFileSelect;
struct VstOfflineTask;
struct VstWindow;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;

// Key record lent to an editor for the key opcodes.
struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
};

struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[64];
    VstInt32 type;
    char future[28];
};
static_assert(sizeof(VstSpeakerProperties) == 112 && offsetof(VstSpeakerProperties, name) == 16 &&
                  offsetof(VstSpeakerProperties, type) == 80 && offsetof(VstSpeakerProperties, future) == 84,
              "VstSpeakerProperties layout");

// Variable length: `speakers` is followed by numChannels - 1 further entries in the same
// allocation (8 + 112 * numChannels bytes in all).
struct VstSpeakerArrangement {
    VstInt32 type;
    VstInt32 numChannels;
    VstSpeakerProperties speakers[1];
};
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8, "VstSpeakerArrangement header is 8 bytes");
