// AudioEffectX: the extended framework class. Adds no data; replaces dispatcher and resume
// and appends the operations of the extended opcodes, the host calls, four flag setters and
// the speaker-arrangement tools after AudioEffect's. The order of the virtual operations
// below is part of the framework's contract: keep it.
#pragma once

#include "audio_effect.h"

class AudioEffectX : public AudioEffect {
public:
    // [host's thread, never during process]
    AudioEffectX(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams)
        : AudioEffect(hostCallback, numPrograms, numParams) {}

    // [any host thread] opcodes 25 to 79; everything else goes to AudioEffect's dispatcher
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    // [host's thread, never during process] asks the host for events if the effect takes MIDI
    void resume() override;

    // Operations reached by opcodes, and the host calls (host_callbacks.cpp) between them.
    // [host's thread] unless marked otherwise
    virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
    virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
    virtual bool getParameterProperties(VstInt32 /*index*/, VstParameterProperties* /*properties*/) { return false; }
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) { return false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    virtual VstInt32 beginLoadBank(VstPatchChunkInfo* /*info*/) { return 0; }
    virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* /*info*/) { return 0; }
    virtual bool ioChanged();
    virtual double updateSampleRate();
    virtual VstInt32 updateBlockSize();
    virtual VstInt32 getInputLatency();
    virtual VstInt32 getOutputLatency();
    virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) { return false; }
    virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) { return false; }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* /*input*/, VstSpeakerArrangement* /*output*/) {
        return false;
    }
    // Stores null through each holder; a null holder is skipped.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output);
    virtual bool setBypass(bool /*onOff*/) { return false; }
    virtual bool setPanLaw(VstInt32 /*type*/, float /*gain*/) { return false; }
    virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }
    virtual VstInt32 getNumMidiInputChannels() { return 0; }
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }
    // [any thread]
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
    virtual VstInt32 getCurrentProcessLevel();
    virtual VstInt32 getAutomationState();
    // [audio thread] the host delivers events before the block they belong to
    virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }
    // [host's thread, never during process]
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }
    // [audio thread]
    virtual bool processVariableIo(VstVariableIo* /*io*/) { return false; }
    // [host's thread]
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual VstInt32 getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt);
    virtual VstInt32 canHostDo(char* text);
    virtual VstInt32 getHostLanguage();
    // Record flags; nothing is sent to the host.
    virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual void* getDirectory();
    virtual bool getEffectName(char* /*name*/) { return false; }
    virtual bool getVendorString(char* /*text*/) { return false; }
    virtual bool getProductString(char* /*text*/) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 /*arg1*/, VstIntPtr /*arg2*/, void* /*ptr*/, float /*opt*/) { return 0; }
    virtual VstInt32 canDo(char* /*text*/) { return 0; }
    virtual VstInt32 getVstVersion() { return 2400; }
    // 2 (synth) when the record says so, else 0 (unknown)
    virtual VstInt32 getPlugCategory();
    virtual VstInt32 getMidiProgramName(VstInt32 /*channel*/, MidiProgramName* /*name*/) { return 0; }
    virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, MidiProgramName* /*current*/) { return -1; }
    virtual VstInt32 getMidiProgramCategory(VstInt32 /*channel*/, MidiProgramCategory* /*category*/) { return 0; }
    virtual bool hasMidiProgramsChanged(VstInt32 /*channel*/) { return false; }
    virtual bool getMidiKeyName(VstInt32 /*channel*/, MidiKeyName* /*keyName*/) { return false; }
    virtual bool updateDisplay();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    virtual bool openFileSelector(VstFileSelect* selector);
    virtual bool closeFileSelector(VstFileSelect* selector);
    virtual VstInt32 getNextShellPlugin(char* /*name*/) { return 0; }

    // Speaker arrangements (speaker_arrangement.cpp): 8 + 112 * channels bytes from the C
    // heap, owned by whoever holds the holder. A null holder is refused with false.
    // [any thread but the audio thread: these allocate]
    virtual bool allocateArrangement(VstSpeakerArrangement** holder, VstInt32 channels);
    virtual bool deallocateArrangement(VstSpeakerArrangement** holder);
    virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
    virtual bool matchArrangement(VstSpeakerArrangement** holder, VstSpeakerArrangement* from);

    // Offline processing: host calls and the defaults the offline opcodes reach.
    // [host's thread]
    virtual bool offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource = true);
    virtual bool offlineWrite(VstOfflineTask* task, VstInt32 option);
    virtual bool offlineStart(VstAudioFile* files, VstInt32 fileCount, VstInt32 newFileCount);
    virtual VstInt32 offlineGetCurrentPass();
    virtual VstInt32 offlineGetCurrentMetaPass();
    virtual bool offlineNotify(VstAudioFile* /*files*/, VstInt32 /*count*/, bool /*start*/) { return false; }
    virtual bool offlinePrepare(VstOfflineTask* /*tasks*/, VstInt32 /*count*/) { return false; }
    virtual bool offlineRun(VstOfflineTask* /*tasks*/, VstInt32 /*count*/) { return false; }
    virtual VstInt32 offlinePassCount() { return 0; }
    virtual VstInt32 offlineMetaPassCount() { return 0; }

    // Host calls and entries no opcode reaches.
    // [host's thread]
    virtual void wantEvents(VstInt32 filter = 1);
    virtual VstInt32 tempoAt(VstInt32 position);
    virtual VstInt32 getNumAutomatableParameters();
    virtual VstInt32 getParameterQuantization();
    virtual VstInt32 getNumProgramCategories() { return 1; }
    virtual bool copyProgram(VstInt32 /*destination*/) { return false; }
    virtual bool needIdle();
    virtual AEffect* getPreviousPlug(VstInt32 input);
    virtual AEffect* getNextPlug(VstInt32 output);
    virtual void connectInput(VstInt32 /*index*/, VstInt32 /*state*/) {}
    virtual void connectOutput(VstInt32 /*index*/, VstInt32 /*state*/) {}
    virtual VstInt32 willProcessReplacing();
    virtual void extIsAsync(bool state) { setFlag(effFlagsExtIsAsync, state); }
    virtual void extHasBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
    virtual VstInt32 getCurrentPosition() { return 0; }
    virtual float* getDestinationBuffer() { return nullptr; }
    virtual void setOutputSamplerate(float rate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    virtual VstInt32 openWindow(VstWindow* window);
    virtual bool closeWindow(VstWindow* window);
    // [host's thread, never during process] stored unchecked
    virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
        blockSize = newBlockSize;
        sampleRate = newSampleRate;
    }
    virtual bool getErrorText(char* /*text*/) { return false; }
    virtual void* getIcon() { return nullptr; }
    virtual bool setViewPosition(VstInt32 /*x*/, VstInt32 /*y*/) { return false; }
    virtual VstInt32 effectIdle() { return 0; }
    virtual bool keysRequired() { return false; }
    virtual bool getChunkFile(void* nativePath);
};
