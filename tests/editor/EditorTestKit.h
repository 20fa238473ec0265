// Test doubles for editor tests: a fake window with a fake clock that records invalidations,
// text-entry and link requests; a host callback that records edit notices in order; a control
// that records paints, erases and mouse events; and the real effect built with the fake window.
#pragma once

#include "editor/KEditor.h"
#include "editor/KEditorControl.h"
#include "editor/KWindowInterface.h"
#include "host/KHostEditor.h"
#include "host/Ombrel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace OmbrelTest {

class FakeWindow : public Korvel::KWindowInterface {
public:
    // The clock every FakeWindow reads; tests move it.
    static std::uint32_t& clock() {
        static std::uint32_t now = 100000;
        return now;
    }

    explicit FakeWindow(Korvel::KEditor& editor) : editor_(editor) { editor_.setWindow(this); }
    ~FakeWindow() override { editor_.setWindow(nullptr); }

    // As the native window does: live, then the editor shows its start page.
    bool open(void*) override {
        live = true;
        editor_.editorOpened();
        return true;
    }
    void close() override { live = false; }
    bool isLive() const override { return live; }
    void invalidate() override { ++invalidations; }
    void idle() override { ++idles; }
    bool openTextEntry(int x, int y, int w, int h, const Korvel::KFontResource*,
                       int parameterIndex) override {
        textEntries.push_back({x, y, w, h, parameterIndex});
        return true;
    }
    void openLink(const char* address) override { links.push_back(address ? address : ""); }
    std::uint32_t tickMs() const override { return clock(); }

    struct TextEntry {
        int x, y, w, h, parameter;
    };
    bool live = false;
    int invalidations = 0;
    int idles = 0;
    std::vector<TextEntry> textEntries;
    std::vector<std::string> links;

private:
    Korvel::KEditor& editor_;
};

inline Korvel::KWindowInterface* makeFakeWindow(Korvel::KEditor& editor) {
    return new FakeWindow(editor);
}

// The host notices an effect sent, in order.
struct HostNotice {
    VstInt32 opcode;
    VstInt32 index;
    float value;
    bool operator==(const HostNotice& o) const { return opcode == o.opcode && index == o.index; }
};

inline std::vector<HostNotice>& hostNotices() {
    static std::vector<HostNotice> notices;
    return notices;
}

inline VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                               float opt) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        return 44100;
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        hostNotices().push_back({opcode, index, opt});
        return 1;
    default:
        return 0;
    }
}

// The real effect, built by the factory with the recording host and fake windows.
struct RealEffect {
    explicit RealEffect(const char* skin = "OmbrelSkin.txt")
        : effect(Korvel::createEffect(recordingHost, skin, makeFakeWindow)) {
        hostNotices().clear();
    }
    Korvel::KHostEditor* host() const { return effect->hostEditor(); }
    Korvel::KEditor& editor() const { return *host()->editor(); }
    FakeWindow& window() const { return *static_cast<FakeWindow*>(host()->window()); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0) {
        AEffect* e = effect->getAeffect();
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

    std::unique_ptr<Korvel::Ombrel> effect;
};

// A control that records what the editor does to it.
class RecordingControl : public Korvel::KEditorControl {
public:
    static Korvel::KTypeId classId() {
        static const char tag = 0;
        return &tag;
    }
    explicit RecordingControl(const Korvel::KControlPlacement& p, bool takesMouse = true)
        : KEditorControl(p), takesMouse_(takesMouse) {}
    Korvel::KTypeId typeId() const override { return classId(); }

    void paint(Korvel::KDrawSurface&) override {
        ++paints;
        static int sequence = 0;
        paintedAt = ++sequence;
    }
    void erase(Korvel::KDrawSurface& s) override {
        if (isDrawn()) ++erases;
        KEditorControl::erase(s);
    }
    bool mouseDown(bool, bool, int x, int y) override {
        events.push_back("down " + std::to_string(x) + " " + std::to_string(y));
        return takesMouse_;
    }
    bool mouseUp(bool, bool, int x, int y) override {
        events.push_back("up " + std::to_string(x) + " " + std::to_string(y));
        return takesMouse_;
    }
    void mouseMove(bool, bool, int x, int y) override {
        events.push_back("move " + std::to_string(x) + " " + std::to_string(y));
    }
    void cancel() override { events.push_back("cancel"); }
    int cursorKind(int, int) override { return Korvel::kCursorHand; }

    int paints = 0;
    // Order of the last paint among all recording controls.
    int paintedAt = 0;
    int erases = 0;
    std::vector<std::string> events;

private:
    bool takesMouse_;
};

} // namespace OmbrelTest
