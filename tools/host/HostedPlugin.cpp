#include "tools/host/HostedPlugin.h"

#include "tools/host/HostedFormats.h"
#include "tools/host/PresetFile.h"

#include <cstdlib>
#include <sys/stat.h>

namespace OmbrelHost {

namespace {

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

} // namespace

const char* formatName(PluginFormat format) {
    switch (format) {
    case PluginFormat::Lv2:
        return "LV2";
    case PluginFormat::Clap:
        return "CLAP";
    case PluginFormat::Vst2:
        break;
    }
    return "VST 2.4";
}

PluginLocation locatePlugin(const std::string& spec) {
    PluginLocation where;
    where.path = spec;
    if (isFolder(spec)) {
        where.format = PluginFormat::Lv2;
        return where;
    }
    // A URI or an id after the first colon that ends an existing bundle or .clap file. URIs hold
    // colons of their own, so the first fitting one wins.
    if (!isFile(spec))
        for (std::size_t colon = spec.find(':'); colon != std::string::npos;
             colon = spec.find(':', colon + 1)) {
            const std::string path = spec.substr(0, colon), id = spec.substr(colon + 1);
            if (id.empty()) continue;
            if (isFolder(path)) return {PluginFormat::Lv2, path, id};
            if (endsWith(path, ".clap") && isFile(path)) return {PluginFormat::Clap, path, id};
        }
    if (endsWith(spec, ".lv2") || endsWith(spec, ".lv2/"))
        where.format = PluginFormat::Lv2;
    else if (endsWith(spec, ".clap"))
        where.format = PluginFormat::Clap;
    return where;
}

std::unique_ptr<HostedPlugin> loadHostedPlugin(const std::string& spec, double sampleRate,
                                               int blockSize, std::string& error) {
    const PluginLocation where = locatePlugin(spec);
    const bool exists =
        where.format == PluginFormat::Lv2 ? isFolder(where.path) : isFile(where.path);
    if (!exists) {
        error = "cannot load plug-in " + spec + ": no such " +
                (where.format == PluginFormat::Lv2 ? "bundle" : "file");
        return nullptr;
    }
    switch (where.format) {
    case PluginFormat::Lv2:
        return loadLv2Plugin(where, sampleRate, blockSize, error);
    case PluginFormat::Clap:
        return loadClapPlugin(where, sampleRate, blockSize, error);
    case PluginFormat::Vst2:
        break;
    }
    return loadVstPlugin(where, sampleRate, blockSize, error);
}

bool stateFileNameFits(PluginFormat format, const std::string& path, std::string& error) {
    switch (format) {
    case PluginFormat::Lv2:
        if (endsWith(path, ".ttl")) return true;
        error = "an LV2 plug-in's state file must end in .ttl: " + path;
        return false;
    case PluginFormat::Clap:
        if (endsWith(path, ".clapstate")) return true;
        error = "a CLAP plug-in's state file must end in .clapstate: " + path;
        return false;
    case PluginFormat::Vst2:
        break;
    }
    PresetFile::Kind kind;
    if (presetKindForPath(path, kind)) return true;
    error = "a preset file must end in .fxp (a program) or .fxb (a bank): " + path;
    return false;
}

void splitUnit(const std::string& text, std::string& value, std::string& unit) {
    const char* start = text.c_str();
    char* end = nullptr;
    std::strtod(start, &end);
    std::size_t cut = static_cast<std::size_t>(end - start);
    // A word that starts like a number ("Infinite", "Nano") is no number with a unit.
    const bool digits = text.find_first_of("0123456789") < cut;
    if (end == start || cut >= text.size() || (!digits && text[cut] != ' ')) {
        value = text;
        unit.clear();
        return;
    }
    std::size_t from = text.find_first_not_of(' ', cut);
    value = text.substr(0, cut);
    unit = from == std::string::npos ? "" : text.substr(from);
}

} // namespace OmbrelHost
