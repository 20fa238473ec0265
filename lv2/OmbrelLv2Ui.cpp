// The editor as an LV2 X11 UI: the VST build's editor, embedded in the host's parent window, idled
// by the host, reaching the effect through instance-access. Its edits reach the host as port
// writes inside touch gestures (the commands' changes too); values the effect changed by itself
// (the coupled frequency limits, a restored state) are written to the host at idle, so the host's
// ports, and the sessions it saves, hold the sound the user hears. A host that gives the option
// ui:scaleFactor sets the editor's scale; without it the editor follows the display's settings.
#include "editor/KWindowInterface.h"
#include "host/KHostEditor.h"
#include "lv2/OmbrelLv2.h"

#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {
namespace Lv2 {
namespace {

// About two seconds at the usual idle rates.
constexpr int kRewriteIdles = 60;

class OmbrelUi final : public UiLink {
public:
    // [ui] Null unless every required feature is there and the editor opens in the parent.
    static OmbrelUi* create(LV2UI_Write_Function write, LV2UI_Controller controller,
                            LV2UI_Widget* widget, const LV2_Feature* const* features);
    // [ui]
    ~OmbrelUi();
    OmbrelUi(const OmbrelUi&) = delete;
    OmbrelUi& operator=(const OmbrelUi&) = delete;

    // [ui] 0 while the editor is shown, 1 once its window is gone.
    int idle();

    void beginEdit(int index) override;
    void automate(int index) override;
    void endEdit(int index) override;

private:
    OmbrelUi() = default;
    bool open(void* parent, LV2UI_Widget* widget);
    void write(int index);
    void reportEffectChanges();

    OmbrelLv2* plugin_ = nullptr;
    KHostEditor* editor_ = nullptr;
    LV2UI_Write_Function write_ = nullptr;
    LV2UI_Controller controller_ = nullptr;
    const LV2UI_Touch* touch_ = nullptr;
    const LV2UI_Resize* resize_ = nullptr;
    // What this UI last wrote to each port, NaN once the host's port holds it, and the idles left
    // before it is written again: a host may drop a write (Ardour does for a control that plays
    // Touch automation and is not touched), and the host should hear the value once it listens.
    float written_[kOmbrelParamCount];
    int patience_[kOmbrelParamCount] = {};
};

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

// The host's ui:scaleFactor, a float (a double is read too), through its URID map; 0 without.
double hostScale(const LV2_Feature* const* features) {
    const auto* options =
        static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options));
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    if (!options || !map || !map->map) return 0.0;
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    const LV2_URID doubleType = map->map(map->handle, LV2_ATOM__Double);
    for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
        if (o->key != key || !o->value) continue;
        if (o->type == floatType && o->size == sizeof(float))
            return *static_cast<const float*>(o->value);
        if (o->type == doubleType && o->size == sizeof(double))
            return *static_cast<const double*>(o->value);
    }
    return 0.0;
}

OmbrelUi* OmbrelUi::create(LV2UI_Write_Function write, LV2UI_Controller controller,
                           LV2UI_Widget* widget, const LV2_Feature* const* features) {
    auto* plugin =
        static_cast<OmbrelLv2*>(const_cast<void*>(featureData(features, LV2_INSTANCE_ACCESS_URI)));
    void* parent = const_cast<void*>(featureData(features, LV2_UI__parent));
    if (!plugin || !parent || !write || !widget || !plugin->effect()) return nullptr;
    OmbrelUi* ui = new (std::nothrow) OmbrelUi;
    if (!ui) return nullptr;
    ui->plugin_ = plugin;
    ui->write_ = write;
    ui->controller_ = controller;
    ui->touch_ = static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch));
    ui->resize_ = static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize));
    for (float& w : ui->written_)
        w = std::numeric_limits<float>::quiet_NaN();
    if (KHostEditor* editor = plugin->effect()->hostEditor())
        editor->setHostScale(hostScale(features));
    if (!ui->open(parent, widget)) {
        delete ui;
        return nullptr;
    }
    return ui;
}

bool OmbrelUi::open(void* parent, LV2UI_Widget* widget) {
    editor_ = plugin_->effect()->hostEditor();
    if (!editor_ || !editor_->window()) return false;
    // One editor per effect: a second UI of the same instance takes it over from the first.
    plugin_->attachUi(nullptr);
    if (!editor_->open(parent)) return false;
    *widget = reinterpret_cast<LV2UI_Widget>(editor_->window()->nativeWindow());
    ERect* rect = nullptr;
    if (resize_ && resize_->ui_resize && editor_->getRect(&rect) && rect)
        resize_->ui_resize(resize_->handle, rect->right - rect->left, rect->bottom - rect->top);
    plugin_->attachUi(this);
    return true;
}

OmbrelUi::~OmbrelUi() {
    // Only the UI that holds the editor closes it: an older one that was taken over leaves it.
    if (plugin_ && plugin_->ui() == this) {
        plugin_->attachUi(nullptr);
        editor_->close();
    }
}

int OmbrelUi::idle() {
    if (plugin_->ui() != this || !editor_->window()->isLive()) return 1;
    editor_->idle();
    reportEffectChanges();
    return 0;
}

void OmbrelUi::write(int index) {
    float value = plugin_->portValue(index);
    written_[index] = value;
    patience_[index] = kRewriteIdles;
    write_(controller_, static_cast<uint32_t>(index), sizeof value, 0, &value);
}

// Parameters whose value the host's port does not hold, and that this UI has not already sent,
// changed inside the plug-in: the host hears them as ordinary port changes.
void OmbrelUi::reportEffectChanges() {
    for (int i = 0; i < kOmbrelParamCount; ++i) {
        const float host = plugin_->hostPortValue(i);
        if (std::isnan(host)) continue; // not run yet: the host's ports are its defaults
        if (!std::isnan(written_[i]) && (written_[i] == host || --patience_[i] < 0))
            written_[i] = std::numeric_limits<float>::quiet_NaN();
        const float value = plugin_->portValue(i);
        if (value != host && value != written_[i]) write(i);
    }
}

void OmbrelUi::beginEdit(int index) {
    if (index < 0 || index >= kOmbrelParamCount) return;
    if (touch_ && touch_->touch) touch_->touch(touch_->handle, static_cast<uint32_t>(index), true);
}

void OmbrelUi::automate(int index) {
    if (index >= 0 && index < kOmbrelParamCount) write(index);
}

void OmbrelUi::endEdit(int index) {
    if (index < 0 || index >= kOmbrelParamCount) return;
    if (touch_ && touch_->touch) touch_->touch(touch_->handle, static_cast<uint32_t>(index), false);
}

OmbrelUi* self(LV2UI_Handle handle) {
    return static_cast<OmbrelUi*>(handle);
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        return OmbrelUi::create(write, controller, widget, features);
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    try {
        delete self(handle);
    } catch (...) {
    }
}

// The editor reads the effect itself; the host's port values need no echo.
void portEvent(LV2UI_Handle, uint32_t, uint32_t, uint32_t, const void*) {}

int idle(LV2UI_Handle handle) {
    try {
        return self(handle)->idle();
    } catch (...) {
        return 1;
    }
}

const LV2UI_Idle_Interface kIdle = {idle};

const void* extensionData(const char* uri) {
    return uri && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kUiDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

} // namespace
} // namespace Lv2
} // namespace Korvel

extern "C" OMBREL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &Korvel::Lv2::kUiDescriptor : nullptr;
}
