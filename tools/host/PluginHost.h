// Hosts one VST 2.4 effect the way a DAW does: loads the library, creates the effect with a host
// callback, sets it up, switches it on and off and runs it block by block. Linux command-line use
// only; one thread drives everything.
#pragma once

#include "host/VstInterface.h"
#include "platform/KDynamicLibrary.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace OmbrelHost {

// A song position served through audioMasterGetTime: 4/4 at a fixed tempo, advancing only while
// playing, so tempo-synced effects hear a DAW's transport.
class Transport {
public:
    void setTempo(double bpm) { tempo_ = bpm; }
    void setPlaying(bool playing) { playing_ = playing; }
    double tempo() const { return tempo_; }
    bool playing() const { return playing_; }
    double samplePos() const { return samplePos_; }

    // The record handed to the effect, valid until the next call.
    VstTimeInfo* timeInfo(double sampleRate);
    void advance(int frames);

private:
    VstTimeInfo info_{};
    double tempo_ = 120;
    bool playing_ = false;
    bool reported_ = false;
    double samplePos_ = 0;
};

class PluginHost {
public:
    PluginHost();
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library, creates the effect, checks its record and sends effOpen, the sample rate
    // and the block size. False with a readable reason on any failure; nothing stays loaded then.
    bool load(const std::string& path, double sampleRate, int blockSize, std::string& error);
    // Switches the effect off if needed, closes it and unloads the library.
    void unload();

    AEffect* effect() const { return effect_; }
    const std::string& path() const { return path_; }
    double sampleRate() const { return sampleRate_; }
    int blockSize() const { return blockSize_; }
    Transport& transport() { return transport_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0);

    // Identity. Texts are cut to what the interface allows, whatever the effect writes.
    std::string effectName();
    std::string vendorName();
    std::string productName();
    VstIntPtr vendorVersion();
    VstIntPtr vstVersion();
    VstIntPtr category();
    VstIntPtr canDo(const char* word);

    int numParams() const { return effect_->numParams; }
    int numPrograms() const { return effect_->numPrograms; }
    int numInputs() const { return effect_->numInputs; }
    int numOutputs() const { return effect_->numOutputs; }
    std::string paramName(int index);
    std::string paramLabel(int index);
    std::string paramDisplay(int index);
    float getParameter(int index);
    void setParameter(int index, float value);
    // Typed text as a user enters it; false when the effect refuses it.
    bool setParameterText(int index, const std::string& text);

    int program();
    void setProgram(int index);
    // Empty when the effect cannot name programs other than the current one.
    std::string programName(int index);
    void setProgramName(const std::string& name);

    // The effect's state chunk: true when the record announces chunks or the effect answers the
    // chunk request anyway (some effects do without setting the flag).
    bool hasChunk();
    std::vector<std::uint8_t> chunk(bool program);
    // False when the effect refuses the chunk (answers 0).
    bool setChunk(const std::vector<std::uint8_t>& data, bool program);

    // effSetSpeakerArrangement with mono or stereo records; true when the effect accepts it.
    bool setSpeakers(int inputs, int outputs);
    bool setBypass(bool on);
    bool setDoublePrecision(bool on);

    // effMainsChanged with effStartProcess / effStopProcess around it, as DAWs send them.
    void resume();
    void suspend();
    bool running() const { return running_; }

    // One block; the pointer tables hold at least the record's channel counts.
    void process(float** inputs, float** outputs, int frames);
    void process(double** inputs, double** outputs, int frames);

    // Sees every call from the effect before it is answered (snapshot lists the host notices).
    std::function<void(VstInt32 opcode, VstInt32 index, float opt)> onCallback;
    // The events the plug-in sends with audioMasterProcessEvents; while unset the host takes none
    // (and says it receives none).
    std::function<void(const VstEvents& events)> onEvents;
    // Answers audioMasterSizeWindow, the editor asking for a new size; while unset the host
    // cannot resize ("sizeWindow" is answered 1 only once it is set).
    std::function<bool(int width, int height)> onSizeWindow;

    // Host callback answers, public for the static trampoline.
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

private:
    std::string text(VstInt32 opcode, VstInt32 index, std::size_t limit);

    Korvel::KDynamicLibrary library_;
    AEffect* effect_ = nullptr;
    std::string path_;
    double sampleRate_ = 44100;
    int blockSize_ = 512;
    bool running_ = false;
    bool processing_ = false;
    Transport transport_;
};

// The unique id as four characters when they are printable, else as hex.
std::string fourCC(VstInt32 id);

} // namespace OmbrelHost
