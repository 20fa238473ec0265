// What the LV2 description, the plug-in and its UI agree on: the URIs, the port layout and how a
// parameter's value becomes a control port's value and back.
#pragma once

#include "params/OmbrelParameters.h"

namespace Korvel {

class KEffect;
class KEffectParameter;

namespace Lv2 {

constexpr const char* kPluginUri = "urn:korvel:ombrel";
constexpr const char* kUiUri = "urn:korvel:ombrel#ui";
// State properties: the bank chunk exactly as the VST build hands it out, and the current program.
constexpr const char* kStateBank = "urn:korvel:ombrel#bank";
constexpr const char* kStateProgram = "urn:korvel:ombrel#program";
// LFOFreq's unit, which the units vocabulary lacks.
constexpr const char* kUnitPerBar = "urn:korvel:ombrel#perBar";

// Port indices. The parameters come first, so a port index is a parameter index; later ports (a
// note output) are appended at the end, leaving saved sessions' indices as they are.
enum Port : unsigned {
    kAudioInLeft = kOmbrelParamCount,
    kAudioInRight,
    kAudioOutLeft,
    kAudioOutRight,
    kTransportIn,
    kNotesOut,
    kPortCount
};

// Hosts need a finite minimum to draw a decibel slider. The effect's decibel parameters reach
// minus infinity (silence) at their bottom; a control port at this floor stands for silence, and
// any level below it shows as the floor. Every value above the floor maps exactly.
constexpr double kDecibelFloor = -90;

// [any] True for the parameters whose real values are decibels with a silent bottom.
bool hasDecibelFloor(const KEffectParameter& parameter);

// [any] The control port value of a real value.
inline double portValueOf(double real, bool decibelFloor) {
    return decibelFloor && !(real > kDecibelFloor) ? kDecibelFloor : real;
}

// [any] A control port value into parameter index through the common change path: its real value,
// or silence for a decibel port at or below the floor. Non-finite values change nothing.
void applyPortValue(KEffect& effect, int index, bool decibelFloor, float value);

} // namespace Lv2
} // namespace Korvel
