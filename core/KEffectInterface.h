// The face an effect shows to everything built on top of it: the skin interpreter, the editor
// core and its controls reach parameters, commands, display sources, text variables and the host
// only through this interface, so none of them depends on the host adapter.
//
// Thread contract, stated on every operation:
//   [any]   safe on any thread, concurrently with everything else here;
//   [ui]    the host's user-interface thread (dispatcher calls, editor messages, idle);
//   [audio] the host's audio thread only.
// Operations that change values take the common change path (store, run the change hook, apply
// to the engine); they never allocate or lock, so a host may also call them from its audio thread
// while automation plays. Values are read and written whole (one atomic word each), and display
// texts are formatted by the reader from the value it reads, so no reader sees a torn value or
// text whatever thread writes at the same time.
#pragma once

#include <atomic>
#include <cstddef>

namespace Korvel {

class KHistory;

// Display sources are written by the audio thread and read by the editor's paint, so the value
// types are atomics (relaxed loads and stores cost nothing on the usual processors).
using KDoubleSource = std::atomic<double>;
using KIntSource = std::atomic<int>;

// Value types of display sources: what a meter or a wave display can show.
enum class KSourceType { Double, Int, History };

class KEffectInterface {
public:
    // Capacities, terminator included, of the texts handed out below.
    static constexpr std::size_t kDisplayTextBytes = 33;
    static constexpr std::size_t kVariableBytes = 128;

    // Parameters, by the host's index; an index outside the list reads 0 or "" and writes nothing.
    // [any]
    virtual int parameterCount() const = 0;
    // [any] The stored normalised value of the current program.
    virtual double parameterValue(int index) const = 0;
    // [any] The normalised value the display text stands for (steps and rounding applied).
    virtual double parameterQuantised(int index) const = 0;
    // [any] The value in the parameter's own units.
    virtual double parameterReal(int index) const = 0;
    // [any] The parameter's own default: its value field, which the factory leaves at the
    // default and nothing changes later (hosts and skins rely on Ctrl-click restoring it).
    virtual double parameterDefault(int index) const = 0;
    // [any] Display text of the current value, cut to size - 1 characters.
    virtual void parameterDisplay(int index, char* out, std::size_t size) const = 0;
    virtual void parameterDisplayWithUnit(int index, char* out, std::size_t size) const = 0;
    // [any]
    virtual const char* parameterName(int index) const = 0;
    virtual const char* parameterUnit(int index) const = 0;
    virtual bool parameterAcceptsText(int index) const = 0;
    // [any] Common change path; non-finite values store the default.
    virtual void setParamNormalised(int index, double n) = 0;
    virtual void setParamReal(int index, double r) = 0;
    // [any] Parses typed text into the current program and takes the common change path; false
    // when the parameter takes no typed text (then nothing changes).
    virtual bool parseParameterText(int index, const char* text) = 0;

    // Host notices about a parameter; each answers 0 when the effect holds no host callback.
    // [ui]
    virtual long notifyBeginEdit(int index) = 0;
    virtual long notifyEndEdit(int index) = 0;
    // [ui] Reports the current value (as the host reads it back) with the automate notice.
    virtual long notifyAutomate(int index) = 0;

    // The sequences of host notices around a change, written once: the controls, the typed entry
    // and the commands tell the host through these alone. Hosts that record automation take a
    // value only between begin edit and end edit, and each automate notice carries the value as
    // the host reads it back. [ui]
    // Opens an edit of parameter index and reports the value it starts from.
    void gestureBegin(int index) {
        notifyBeginEdit(index);
        notifyAutomate(index);
    }
    // Inside an open edit: stores n through the common change path and reports it.
    void gestureChange(int index, double n) {
        setParamNormalised(index, n);
        notifyAutomate(index);
    }
    void gestureEnd(int index) { notifyEndEdit(index); }
    // A change outside an edit (momentary buttons): the value before, change(), the value after.
    template <typename Change> void reportedChange(int index, Change&& change) {
        notifyAutomate(index);
        change();
        notifyAutomate(index);
    }
    void reportedChange(int index, double n) {
        reportedChange(index, [&] { setParamNormalised(index, n); });
    }
    // A change made in one step (a typed value, a command): one whole edit of its own, begin,
    // the value before, change(), the value after, end. A command changing several parameters
    // makes one such edit per parameter.
    template <typename Change> void gesture(int index, Change&& change) {
        gestureBegin(index);
        change();
        notifyAutomate(index);
        gestureEnd(index);
    }

    // [ui] Runs command id ("Random", "AutoLevel") with the Shift and Ctrl states of the click.
    virtual void runCommand(int id, bool shift = false, bool control = false) = 0;

    // Name lookups: -1 or null when nothing matches.
    // [any] Parameter names match in any letter case.
    virtual int parameterIndex(const char* name) const = 0;
    // [any] Command names match exactly on their first 35 characters.
    virtual int commandId(const char* name) const = 0;
    // [any] A display source of the given value type, matched exactly on 35 characters: points to
    // a KDoubleSource, a KIntSource or a KHistory that lives as long as the effect.
    virtual const void* displaySource(const char* name, KSourceType type) const = 0;

    // Text variables: "${Name}" in text is replaced by the variable's value; unknown names give
    // "". out always ends in a terminator.
    // [ui]
    virtual void expandText(char* out, std::size_t size, const char* text) = 0;
    virtual void lookupVariable(char* out, std::size_t size, const char* name) = 0;

    // [any] Channel counts of the current speaker arrangements.
    virtual int inputChannels() const = 0;
    virtual int outputChannels() const = 0;

    // [ui] Told by the editor window when it opens and closes.
    virtual void editorOpened() = 0;
    virtual void editorClosed() = 0;
    // [any]
    virtual bool editorIsOpen() const = 0;

    // Typed helpers over displaySource.
    const KDoubleSource* doubleSource(const char* name) const {
        return static_cast<const KDoubleSource*>(displaySource(name, KSourceType::Double));
    }
    const KIntSource* intSource(const char* name) const {
        return static_cast<const KIntSource*>(displaySource(name, KSourceType::Int));
    }
    const KHistory* historySource(const char* name) const {
        return static_cast<const KHistory*>(displaySource(name, KSourceType::History));
    }

protected:
    ~KEffectInterface() = default;
};

} // namespace Korvel
