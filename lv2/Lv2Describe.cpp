// Writes the bundle's description from the effect itself at build time, so it cannot drift from
// the parameter table: manifest.ttl, ombrel.ttl (ports, units, scales, the UI) and presets.ttl
// (the built-in programs). Usage: ombrel-lv2-describe BUNDLE_DIR BINARY_NAME
#include "host/KHostedEffect.h"
#include "lv2/Lv2Ports.h"
#include "params/KEnumParam.h"
#include "params/KParameterScale.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace Korvel {
namespace Lv2 {
namespace {

const char* kPrefixes = "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
                        "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
                        "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
                        "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                        "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
                        "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
                        "@prefix param: <http://lv2plug.in/ns/ext/parameters#> .\n"
                        "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
                        "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                        "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
                        "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                        "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                        "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
                        "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
                        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                        "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
                        "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n\n";

// A Turtle number that reads back as the same float the port holds.
std::string number(double x) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(static_cast<float>(x)));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const char* text) {
    std::string s = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') s += '\\';
        s += *c;
    }
    return s + "\"";
}

std::string symbolOf(const char* name) {
    std::string s;
    for (const char* c = name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)) || *c == '_')
            s += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return s.empty() || std::isdigit(static_cast<unsigned char>(s[0])) ? "p" + s : s;
}

// The units vocabulary where it has the unit, ours for the rest.
std::string unitOf(const char* unit) {
    static const char* const known[][2] = {{"Hz", "units:hz"},      {"dB", "units:db"},
                                           {"cents", "units:cent"}, {"s", "units:s"},
                                           {"%", "units:pc"},       {"deg", "units:degree"}};
    for (const auto& k : known)
        if (std::strcmp(unit, k[0]) == 0) return k[1];
    if (std::strcmp(unit, "per bar") == 0) return std::string("<") + kUnitPerBar + ">";
    return "";
}

void describeControl(std::ostream& out, const KEffectParameter& p, int index) {
    const KParameterScale scale = describeScale(p);
    const bool floor = scale.kind == KScaleKind::Decibels;
    const double min = floor ? kDecibelFloor : scale.min;
    out << "    a lv2:InputPort , lv2:ControlPort ;\n"
        << "    lv2:index " << index << " ;\n"
        << "    lv2:symbol \"" << symbolOf(p.getName()) << "\" ;\n"
        << "    lv2:name " << quoted(p.getName()) << " ;\n"
        << "    lv2:default " << number(portValueOf(scale.defaultReal, floor)) << " ;\n"
        << "    lv2:minimum " << number(min) << " ;\n"
        << "    lv2:maximum " << number(scale.max) << " ;\n";
    const std::string unit = unitOf(p.unit());
    if (!unit.empty()) out << "    units:unit " << unit << " ;\n";
    // Logarithmic parameters with no decimals show whole hertz: their values are whole numbers.
    const bool integer =
        scale.integer || (scale.kind == KScaleKind::Logarithmic && p.decimals() <= 0);
    std::vector<std::string> properties;
    if (integer) properties.push_back("lv2:integer");
    if (scale.kind == KScaleKind::Logarithmic) properties.push_back("pprops:logarithmic");
    if (scale.kind == KScaleKind::Choice) properties.push_back("lv2:enumeration");
    for (std::size_t i = 0; i < properties.size(); ++i)
        out << (i ? " , " : "    lv2:portProperty ") << properties[i]
            << (i + 1 == properties.size() ? " ;\n" : "");
    if (scale.steps > 0 && scale.kind != KScaleKind::Choice)
        out << "    pprops:rangeSteps " << scale.steps + 1 << " ;\n";
    if (floor)
        out << "    rdfs:comment \"" << number(kDecibelFloor) << " dB and below: silence\" ;\n";
    if (scale.choice)
        for (int i = 0; i < scale.choice->itemCount(); ++i)
            out << "    lv2:scalePoint [ rdfs:label " << quoted(scale.choice->item(i))
                << " ; rdf:value " << number(i) << " ] ;\n";
}

void describeAudio(std::ostream& out, unsigned index, const char* symbol, const char* name,
                   bool input, bool right) {
    out << "    a lv2:AudioPort , " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "    lv2:index " << index << " ;\n"
        << "    lv2:symbol \"" << symbol << "\" ;\n"
        << "    lv2:name \"" << name << "\" ;\n"
        << "    pg:group <" << kPluginUri << (input ? "#in" : "#out") << "> ;\n"
        << "    lv2:designation " << (right ? "pg:right" : "pg:left") << " ;\n";
    // Unconnected right channels make the effect mono on that side, as a mono speaker
    // arrangement does under a VST host.
    if (right) out << "    lv2:portProperty lv2:connectionOptional ;\n";
}

std::string pluginDescription(Ombrel& effect, const std::string& binary) {
    std::ostringstream out;
    out << kPrefixes;
    out << "<" << kUnitPerBar << ">\n    a units:Unit ;\n    rdfs:label \"per bar\" ;\n"
        << "    units:symbol \"per bar\" ;\n    units:render \"%.0f per bar\" .\n\n";
    for (const char* side : {"in", "out"})
        out << "<" << kPluginUri << "#" << side << ">\n    a pg:StereoGroup , "
            << (side[0] == 'i' ? "pg:InputGroup" : "pg:OutputGroup") << " ;\n"
            << "    lv2:symbol \"" << side << "\" ;\n    lv2:name \""
            << (side[0] == 'i' ? "Input" : "Output") << "\" .\n\n";
    out << "<" << kPluginUri << ">\n"
        << "    a lv2:Plugin , lv2:PitchPlugin ;\n"
        << "    doap:name " << quoted(effect.effectName()) << " ;\n"
        << "    doap:maintainer [ foaf:name " << quoted(effect.vendorName()) << " ] ;\n"
        << "    lv2:optionalFeature urid:map , lv2:hardRTCapable , opts:options , "
           "bufsz:boundedBlockLength ;\n"
        << "    opts:supportedOption param:sampleRate , bufsz:maxBlockLength , "
           "bufsz:nominalBlockLength ;\n"
        << "    lv2:extensionData state:interface , opts:interface ;\n"
        << "    pg:mainInput <" << kPluginUri << "#in> ;\n"
        << "    pg:mainOutput <" << kPluginUri << "#out> ;\n"
        << "    ui:ui <" << kUiUri << "> ;\n"
        << "    lv2:port [\n";
    for (int i = 0; i < effect.parameterCount(); ++i) {
        describeControl(out, *effect.parameter(i), i);
        out << "  ] , [\n";
    }
    describeAudio(out, kAudioInLeft, "in_l", "In L", true, false);
    out << "  ] , [\n";
    describeAudio(out, kAudioInRight, "in_r", "In R", true, true);
    out << "  ] , [\n";
    describeAudio(out, kAudioOutLeft, "out_l", "Out L", false, false);
    out << "  ] , [\n";
    describeAudio(out, kAudioOutRight, "out_r", "Out R", false, true);
    out << "  ] , [\n"
        << "    a lv2:InputPort , atom:AtomPort ;\n"
        << "    atom:bufferType atom:Sequence ;\n"
        << "    atom:supports time:Position ;\n"
        << "    lv2:designation lv2:control ;\n"
        << "    lv2:index " << kTransportIn << " ;\n"
        << "    lv2:symbol \"control\" ;\n"
        << "    lv2:name \"Transport\" ;\n"
        << "    lv2:portProperty lv2:connectionOptional ;\n"
        << "  ] , [\n"
        << "    a lv2:OutputPort , atom:AtomPort ;\n"
        << "    atom:bufferType atom:Sequence ;\n"
        << "    atom:supports midi:MidiEvent ;\n"
        << "    lv2:index " << kNotesOut << " ;\n"
        << "    lv2:symbol \"notes\" ;\n"
        << "    lv2:name \"Tracked pitch\" ;\n"
        << "    rdfs:comment \"The tracked pitch as MIDI notes on channel 1, pitch bend over "
           "2 semitones\" ;\n"
        << "    lv2:portProperty lv2:connectionOptional ;\n"
        << "  ] .\n\n";
    out << "<" << kUiUri << ">\n"
        << "    a ui:X11UI ;\n"
        << "    ui:binary <" << binary << "> ;\n"
        << "    lv2:requiredFeature ui:idleInterface , ui:parent , "
           "<http://lv2plug.in/ns/ext/instance-access> ;\n"
        << "    lv2:optionalFeature ui:resize , ui:touch , ui:noUserResize , opts:options , "
           "urid:map ;\n"
        << "    opts:supportedOption ui:scaleFactor ;\n"
        << "    lv2:extensionData ui:idleInterface .\n";
    return out.str();
}

struct Preset {
    std::string uri, label, body;
};

// The built-in programs that differ from each other, each with its port values.
std::vector<Preset> presets(Ombrel& effect) {
    std::vector<Preset> list;
    std::vector<std::string> seen;
    const KProgramBank& bank = effect.bank();
    for (int p = 0; p < bank.programCount(); ++p) {
        char name[64] = {};
        bank.programName(p, name);
        std::ostringstream body, key;
        key << name;
        for (int i = 0; i < effect.parameterCount(); ++i) {
            const KEffectParameter& parameter = *effect.parameter(i);
            const KCellCopy cell = bank.load(p, i);
            key << ' ' << cell.bits();
            const double value = portValueOf(parameter.cellReal(cell), hasDecibelFloor(parameter));
            body << (i ? " , " : "    lv2:port ") << "[ lv2:symbol \""
                 << symbolOf(parameter.getName()) << "\" ; pset:value " << number(value) << " ]";
        }
        bool repeated = false;
        for (const std::string& s : seen)
            repeated = repeated || s == key.str();
        if (repeated) continue;
        seen.push_back(key.str());
        list.push_back(
            {std::string(kPluginUri) + "#preset" + std::to_string(p + 1), name, body.str()});
    }
    return list;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

int describe(const std::string& dir, const std::string& binary) {
    KHostedEffect host;
    if (!host.create(44100, nullptr)) return 1;
    Ombrel& effect = *host.effect();
    std::ostringstream manifest, presetFile;
    manifest << kPrefixes << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n"
             << "    lv2:binary <" << binary << "> ;\n    rdfs:seeAlso <ombrel.ttl> .\n\n"
             << "<" << kUiUri << ">\n    a ui:X11UI ;\n    ui:binary <" << binary << "> ;\n"
             << "    rdfs:seeAlso <ombrel.ttl> .\n";
    presetFile << kPrefixes;
    for (const Preset& p : presets(effect)) {
        manifest << "\n<" << p.uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri
                 << "> ;\n    rdfs:label " << quoted(p.label.c_str())
                 << " ;\n    rdfs:seeAlso <presets.ttl> .\n";
        presetFile << "<" << p.uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri
                   << "> ;\n    rdfs:label " << quoted(p.label.c_str()) << " ;\n"
                   << p.body << " .\n\n";
    }
    bool ok = writeFile(dir + "/manifest.ttl", manifest.str()) &&
              writeFile(dir + "/ombrel.ttl", pluginDescription(effect, binary)) &&
              writeFile(dir + "/presets.ttl", presetFile.str());
    return ok ? 0 : 1;
}

} // namespace
} // namespace Lv2
} // namespace Korvel

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: ombrel-lv2-describe BUNDLE_DIR BINARY_NAME\n";
        return 2;
    }
    const int status = Korvel::Lv2::describe(argv[1], argv[2]);
    if (status != 0) std::cerr << "ombrel-lv2-describe: cannot write " << argv[1] << "\n";
    return status;
}
