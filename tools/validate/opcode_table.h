// What a host passes with each dispatcher opcode: which argument is a pointer, to what,
// and how many bytes of it the module may write. The validator's sweep and the fuzzer
// both build their arguments from this table.
#pragma once

#include "framework/aeffect.h"

namespace validate {

enum class Pointer {
    None,        // the opcode takes no pointer: null, or a buffer the module must not touch
    Text,        // a text buffer the module fills
    ReadText,    // a zero-terminated text the module reads
    Record,      // a record the module fills
    ReadRecord,  // a record the module reads
    Holder,      // a pointer-sized slot the module stores an address into
    VarIo,       // a VstVariableIo the host sets up
};

enum class Index { None, Parameter, Program, Input, Output, MidiChannel };

struct OpcodeArgs {
    VstInt32 opcode;
    const char* name;
    Pointer ptr;
    int documented;  // bytes the interface lets the module write (or read) through ptr
    int hostSize;    // bytes that hosts give in practice; beyond it is an overrun
    Index index;
    VstIntPtr value;
    float opt;
    bool valueIsHolder;  // value carries a second holder (effGetSpeakerArrangement)
    bool valueIsRecord;  // value carries a second record (effSetSpeakerArrangement)
    bool needsEditor;    // sent by hosts only with an open editor window
    bool lifecycle;      // effOpen and effClose: the lifecycle checks send those
};

// The entry for an opcode; opcodes that the interface does not define get a None entry
// named "unknown".
const OpcodeArgs& opcodeArgs(VstInt32 opcode);

constexpr int kFirstSweptOpcode = -1;
constexpr int kLastSweptOpcode = 200;

}  // namespace validate
