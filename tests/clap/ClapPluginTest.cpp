// The built ombrel.clap through our CLAP host: what a host's scan sees (descriptor, ports,
// parameters with their ranges and texts, against the VST build's own texts), parameter events
// in both directions, the state through partial streams against the VST build's chunk, and a
// host that breaks the interface's rules.
#include "tests/clap/ClapTestKit.h"

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace OmbrelTest {
namespace {

using OmbrelHost::ClapEvent;
using OmbrelHost::ClapParam;
using OmbrelHost::ClapPlugin;

std::string vstText(TestHost& host, VstInt32 opcode, int index) {
    char text[128] = {};
    host.dispatch(opcode, index, 0, text);
    return text;
}

std::vector<ClapEvent> ofType(const std::vector<ClapEvent>& events, std::uint16_t type) {
    std::vector<ClapEvent> found;
    for (const ClapEvent& e : events)
        if (e.type == type) found.push_back(e);
    return found;
}

// One block of silence through a mono-or-stereo float layout.
clap_process_status silentBlock(ClapPlugin& clap, std::uint32_t frames = 64) {
    std::vector<float> in(2 * frames, 0.0f), out(2 * frames, 0.0f);
    float* ins[2] = {in.data(), in.data() + frames};
    float* outs[2] = {out.data(), out.data() + frames};
    return clap.process(ins, outs, frames);
}

TEST(ClapPlugin, ScanShowsTheDescriptorPortsAndEveryParameterWithTheVstTexts) {
    ClapPlugin clap;
    loadClap(clap);
    const clap_plugin_descriptor_t* d = clap.descriptor();
    ASSERT_NE(nullptr, d);
    EXPECT_STREQ("com.korvel.ombrel", d->id);
    EXPECT_STREQ("Ombrel", d->name);
    EXPECT_STREQ("Korvel", d->vendor);
    EXPECT_STREQ("3.1", d->version);
    EXPECT_EQ((std::vector<std::string>{"audio-effect", "stereo", "mono"}), clap.features());
    EXPECT_EQ(2, clap.inputChannels());
    EXPECT_EQ(2, clap.outputChannels());
    EXPECT_TRUE(clap.selectLayout(1, 1));
    EXPECT_TRUE(clap.selectLayout(1, 2));
    EXPECT_FALSE(clap.selectLayout(2, 4));
    EXPECT_TRUE(clap.selectLayout(2, 2));

    TestHost vst;
    ASSERT_NE(nullptr, vst.create());
    ASSERT_EQ(vst.effect()->numParams, clap.paramCount());
    for (int i = 0; i < clap.paramCount(); ++i) {
        ClapParam p;
        ASSERT_TRUE(clap.paramInfo(i, p));
        EXPECT_EQ(static_cast<clap_id>(i), p.id);
        EXPECT_EQ(vstText(vst, effGetParamName, i), p.name);
        EXPECT_TRUE(p.flags & CLAP_PARAM_IS_AUTOMATABLE);
        EXPECT_TRUE(p.min <= p.defaultValue && p.defaultValue <= p.max) << p.name;
        EXPECT_DOUBLE_EQ(p.defaultValue, clap.value(i)) << p.name;
        std::string unit = vstText(vst, effGetParamLabel, i);
        EXPECT_EQ(vstText(vst, effGetParamDisplay, i) + (unit.empty() ? "" : " " + unit),
                  clap.text(i))
            << p.name;
    }
    // The ranges in which a host's slider moves as the knob does.
    ClapParam p;
    ASSERT_TRUE(clap.paramInfo(clap.findParam("minfreq"), p));
    EXPECT_EQ(0.0, p.min);
    EXPECT_EQ(1.0, p.max);
    EXPECT_FALSE(p.flags & CLAP_PARAM_IS_STEPPED);
    EXPECT_EQ("200 Hz", clap.text(0, 0.5));
    ASSERT_TRUE(clap.paramInfo(clap.findParam("Gate"), p));
    EXPECT_EQ(-80.0, p.min);
    EXPECT_EQ(-10.0, p.max);
    EXPECT_EQ(-40.0, p.defaultValue);
    EXPECT_TRUE(p.flags & CLAP_PARAM_IS_STEPPED);
    EXPECT_EQ("-30 dB", clap.text(clap.findParam("Gate"), -30));
    ASSERT_TRUE(clap.paramInfo(clap.findParam("Attk1"), p));
    EXPECT_EQ(0.01, p.min);
    EXPECT_EQ(0.5, p.max);
    EXPECT_FALSE(p.flags & CLAP_PARAM_IS_STEPPED);
    int wave = clap.findParam("Wave1");
    ASSERT_TRUE(clap.paramInfo(wave, p));
    EXPECT_EQ(3.0, p.max);
    EXPECT_EQ(CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM,
              p.flags & (CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM));
    EXPECT_EQ("Square", clap.text(wave, 2));
    ASSERT_TRUE(clap.paramInfo(clap.findParam("LFOWave"), p));
    EXPECT_EQ(5.0, p.max);
    int noise = clap.findParam("Noise1");
    EXPECT_EQ("-Inf dB", clap.text(noise, 0));
    EXPECT_EQ("-6.0 dB", clap.text(noise, std::pow(10.0, -0.3)));

    // Text to value, including what value_to_text wrote.
    double v = -1;
    EXPECT_TRUE(clap.textToValue(0, "200 Hz", v));
    EXPECT_EQ("200 Hz", clap.text(0, v));
    EXPECT_TRUE(clap.textToValue(0, "200", v));
    EXPECT_EQ("200 Hz", clap.text(0, v));
    EXPECT_TRUE(clap.textToValue(noise, "-Inf dB", v));
    EXPECT_EQ(0.0, v);
    EXPECT_TRUE(clap.textToValue(noise, "0 db", v));
    EXPECT_EQ(1.0, v);
    EXPECT_TRUE(clap.textToValue(wave, "square", v));
    EXPECT_EQ(2.0, v);
    EXPECT_FALSE(clap.textToValue(wave, "Banana", v));
    EXPECT_FALSE(clap.textToValue(clap.findParam("Gate"), "loud", v));
    EXPECT_TRUE(clap.textToValue(clap.findParam("Detune2"), "-7 cents", v));
    EXPECT_EQ(-7.0, v);
    // Every step of a stepped parameter is a whole number, which a host's truncation keeps.
    for (int i = 0; i < clap.paramCount(); ++i) {
        ASSERT_TRUE(clap.paramInfo(i, p));
        if (!(p.flags & CLAP_PARAM_IS_STEPPED)) continue;
        for (double k = p.min; k <= p.max; ++k) {
            ASSERT_TRUE(clap.textToValue(i, clap.text(i, k), v)) << p.name << " " << k;
            EXPECT_EQ(k, v) << p.name;
        }
    }
}

// Hosts scan through a host record of their own that offers no extension at all and keep what
// they saw for the instances they make later (Qtractor 0.9.31 does): the editor must show up
// there, while an X11 editor without the host's timers to run it is refused only at creation.
TEST(ClapPlugin, AScanWithoutHostExtensionsSeesTheEditor) {
    Korvel::KDynamicLibrary library;
    std::string error;
    ASSERT_TRUE(library.open(clapPath(), error)) << error;
    auto* entry = static_cast<const clap_plugin_entry_t*>(library.symbol("clap_entry"));
    ASSERT_NE(nullptr, entry);
    ASSERT_TRUE(entry->init(clapPath().c_str()));
    auto* factory =
        static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    ASSERT_NE(nullptr, factory);
    clap_host_t bare{};
    bare.clap_version = CLAP_VERSION;
    bare.name = "scanner";
    bare.version = "1";
    bare.get_extension = [](const clap_host_t*, const char*) -> const void* { return nullptr; };
    bare.request_restart = bare.request_process = bare.request_callback = [](const clap_host_t*) {};
    const clap_plugin_t* p = factory->create_plugin(factory, &bare, "com.korvel.ombrel");
    ASSERT_NE(nullptr, p);
    ASSERT_TRUE(p->init(p));
    auto* gui = static_cast<const clap_plugin_gui_t*>(p->get_extension(p, CLAP_EXT_GUI));
    ASSERT_NE(nullptr, gui);
#ifdef _WIN32
    EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_WIN32, false));
    EXPECT_TRUE(gui->create(p, CLAP_WINDOW_API_WIN32, false)) << "the host's loop drives it";
    gui->destroy(p);
#else
    EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, true)) << "embedded only";
    EXPECT_FALSE(gui->create(p, CLAP_WINDOW_API_X11, false)) << "nothing would read its events";
#endif
    p->destroy(p);
    entry->deinit();
}

TEST(ClapPlugin, HostChangesApplyAndCoupledChangesComeBackAsEvents) {
    ClapPlugin clap;
    loadClap(clap);
    int minFreq = clap.findParam("MinFreq"), maxFreq = clap.findParam("MaxFreq");
    int gate = clap.findParam("Gate");
    // Inactive: the host's flush carries events both ways.
    ASSERT_TRUE(clap.setText(minFreq, "1500 Hz"));
    clap.setValue(gate, -30);
    clap.setValue(999, 0.5); // not a parameter: ignored
    clap.flush();
    EXPECT_EQ("1500 Hz", clap.text(minFreq));
    EXPECT_EQ("-30 dB", clap.text(gate));
    std::vector<ClapEvent> events = clap.takeEvents();
    ASSERT_EQ(1u, events.size()) << "only the coupled MaxFreq, not the host's own changes";
    EXPECT_EQ(CLAP_EVENT_PARAM_VALUE, events[0].type);
    EXPECT_EQ(static_cast<clap_id>(maxFreq), events[0].param);
    EXPECT_EQ("1500 Hz", clap.text(maxFreq, events[0].value));
    EXPECT_EQ(events[0].value, clap.value(maxFreq));

    // Active: the same through process, sample-accurately within the block.
    ASSERT_TRUE(clap.activate(48000, 1, 256));
    ASSERT_TRUE(clap.startProcessing());
    ASSERT_TRUE(clap.setText(maxFreq, "50"));
    EXPECT_EQ(CLAP_PROCESS_CONTINUE, silentBlock(clap));
    events = clap.takeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(static_cast<clap_id>(minFreq), events[0].param);
    EXPECT_EQ("50 Hz", clap.text(minFreq, events[0].value));
    EXPECT_EQ(CLAP_PROCESS_CONTINUE, silentBlock(clap));
    EXPECT_TRUE(clap.takeEvents().empty()) << "told once";
}

TEST(ClapPlugin, StateIsTheVstBankChunkAndProgramThroughPartialStreams) {
    const std::pair<const char*, const char*> settings[] = {
        {"MinFreq", "95"},  {"Wave2", "Sawtooth"}, {"Detune3", "-12"}, {"Noise2", "-20"},
        {"LFODepth", "35"}, {"MainLvl", "-3.5"},   {"Attk1", "0.2"}};
    ClapPlugin clap;
    loadClap(clap);
    TestHost vst;
    ASSERT_NE(nullptr, vst.create());
    for (auto [name, text] : settings) {
        ASSERT_TRUE(clap.setText(clap.findParam(name), text)) << name;
        char copy[32];
        std::strcpy(copy, text);
        vst.dispatch(effString2Parameter, vstParam(vst, name), 0, copy);
    }
    clap.flush();
    std::vector<std::uint8_t> state;
    ASSERT_TRUE(clap.saveState(state, 7));
    void* chunk = nullptr;
    VstIntPtr size = vst.dispatch(effGetChunk, 0, 0, &chunk);
    ASSERT_EQ(static_cast<std::size_t>(16 + size), state.size());
    EXPECT_EQ(0, std::memcmp(state.data(), "KOmb", 4));
    EXPECT_EQ(0, std::memcmp(state.data() + 16, chunk, static_cast<std::size_t>(size)))
        << "the bank chunk a VST host saves";

    ClapPlugin other;
    loadClap(other);
    ASSERT_TRUE(other.activate(44100, 1, 512));
    ASSERT_TRUE(other.loadState(state, 5));
    EXPECT_TRUE(other.rescans() & CLAP_PARAM_RESCAN_VALUES);
    for (int i = 0; i < clap.paramCount(); ++i)
        EXPECT_EQ(clap.text(i), other.text(i)) << i;
    EXPECT_EQ(CLAP_PROCESS_CONTINUE, silentBlock(other));
    EXPECT_TRUE(ofType(other.takeEvents(), CLAP_EVENT_PARAM_VALUE).empty())
        << "a loaded state is the host's, not a change to report";
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(other.saveState(again));
    EXPECT_EQ(state, again);
}

TEST(ClapPlugin, MisbehavingHostCallsAreRefusedOrHarmless) {
    ClapPlugin clap;
    loadClap(clap);
    const clap_plugin_t* p = clap.plugin();
    std::vector<std::uint8_t> state;
    ASSERT_TRUE(clap.saveState(state));
    const std::vector<std::uint8_t> saved = state;

    EXPECT_EQ(CLAP_PROCESS_ERROR, silentBlock(clap)) << "process before activate";
    EXPECT_FALSE(p->start_processing(p));
    p->reset(p);
    p->deactivate(p);

    // Main-thread calls from another thread.
    std::thread([&] {
        EXPECT_FALSE(p->activate(p, 44100, 1, 512));
        EXPECT_FALSE(clap.saveState(state));
        EXPECT_FALSE(clap.loadState(saved));
        auto* gui = clap.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
        ASSERT_NE(nullptr, gui);
        EXPECT_FALSE(
            gui->create(p, gui->is_api_supported(p, "x11", false) ? "x11" : "win32", false));
        clap.setValue(0, 0.9);
        clap.flush(); // inactive: the main thread's
        p->destroy(p);
    }).join();
    EXPECT_NE(0.9, clap.value(0)) << "the other thread's flush was refused";
    clap.takeEvents();

    // State that is not ours, or cut short, changes nothing.
    std::mt19937 random(7);
    for (std::size_t size : {std::size_t(0), std::size_t(3), std::size_t(16), saved.size()}) {
        std::vector<std::uint8_t> garbage(size);
        for (auto& b : garbage)
            b = static_cast<std::uint8_t>(random());
        EXPECT_FALSE(clap.loadState(garbage, 1)) << size;
    }
    std::vector<std::uint8_t> cut(saved.begin(), saved.end() - 1);
    EXPECT_FALSE(clap.loadState(cut));
    std::vector<std::uint8_t> program = saved;
    program[8] = 10; // no such program
    EXPECT_FALSE(clap.loadState(program));
    std::vector<std::uint8_t> mangled = saved;
    for (std::size_t i = 16 + 25; i + 8 <= mangled.size(); i += 257)
        std::memset(&mangled[i], 0xff, 8); // NaN cells: mended, never heard
    EXPECT_TRUE(clap.loadState(mangled));
    EXPECT_FALSE(std::isnan(clap.value(0)));
    ASSERT_TRUE(clap.loadState(saved));

    // Activate and deactivate cycles at other rates and layouts, with blocks between.
    const double rates[] = {44100, 96000, 22050};
    for (int cycle = 0; cycle < 6; ++cycle) {
        ASSERT_TRUE(clap.selectLayout(cycle % 2 ? 1 : 2, cycle % 3 ? 2 : 1));
        ASSERT_TRUE(clap.activate(rates[cycle % 3], 1, 64));
        EXPECT_FALSE(p->activate(p, 48000, 1, 64)) << "twice";
        EXPECT_FALSE(clap.selectLayout(2, 2)) << "only while inactive";
        ASSERT_TRUE(clap.startProcessing());
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(CLAP_PROCESS_CONTINUE, silentBlock(clap));
        p->reset(p);
        clap.deactivate();
    }

    // Buffers that do not fit the layout, and a second audio-thread call inside the first.
    ASSERT_TRUE(clap.activate(44100, 1, 64));
    float left[64] = {};
    float* one[1] = {left};
    clap_audio_buffer_t mono{one, nullptr, 1, 0, 0};
    clap_process_t bad{};
    bad.frames_count = 64;
    bad.audio_inputs = &mono;
    bad.audio_outputs = &mono;
    bad.audio_inputs_count = bad.audio_outputs_count = 1;
    EXPECT_EQ(CLAP_PROCESS_ERROR, p->process(p, &bad)) << "a stereo output with one channel";
    EXPECT_EQ(CLAP_PROCESS_ERROR, p->process(p, nullptr));
    struct Reentry {
        clap_output_events_t list;
        const clap_plugin_t* plugin;
        const clap_process_t* process;
        clap_process_status inner;
    };
    float l[64] = {}, r[64] = {};
    float* two[2] = {l, r};
    clap_audio_buffer_t stereo{two, nullptr, 2, 0, 0};
    clap_process_t nested{};
    nested.frames_count = 64;
    nested.audio_inputs = &stereo;
    nested.audio_outputs = &stereo;
    nested.audio_inputs_count = nested.audio_outputs_count = 1;
    Reentry reentry{{nullptr,
                     [](const clap_output_events_t* list, const clap_event_header_t*) {
                         auto* self = reinterpret_cast<const Reentry*>(list);
                         const_cast<Reentry*>(self)->inner =
                             self->plugin->process(self->plugin, self->process);
                         self->plugin->deactivate(self->plugin);
                         return true;
                     }},
                    p,
                    &nested,
                    CLAP_PROCESS_CONTINUE};
    nested.out_events = &reentry.list;
    clap.setValue(clap.findParam("MinFreq"), 1.0); // moves MaxFreq: one event out
    clap.flush();
    clap.takeEvents();
    // Deliver the host's change by hand: the coupled MinFreq comes back through our list.
    clap_event_param_value_t change{};
    change.header.size = sizeof change;
    change.header.type = CLAP_EVENT_PARAM_VALUE;
    change.param_id = static_cast<clap_id>(clap.findParam("MaxFreq"));
    change.note_id = -1;
    change.port_index = change.channel = change.key = -1;
    change.value = 0.0;
    struct OneEvent {
        clap_input_events_t list;
        const clap_event_header_t* event;
    } in{{nullptr, [](const clap_input_events_t*) { return 1u; },
          [](const clap_input_events_t* list, std::uint32_t) {
              return reinterpret_cast<const OneEvent*>(list)->event;
          }},
         &change.header};
    nested.in_events = &in.list;
    EXPECT_EQ(CLAP_PROCESS_CONTINUE, p->process(p, &nested));
    EXPECT_EQ(CLAP_PROCESS_ERROR, reentry.inner) << "two audio-thread calls at once";
    EXPECT_EQ(CLAP_PROCESS_CONTINUE, silentBlock(clap)) << "no deactivation under a running block";
}

} // namespace
} // namespace OmbrelTest
