#include "tools/ombrel-host/PluginSetup.h"

#include "tools/ombrel-host/OutputFile.h"
#include "tools/ombrel-host/ToolError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OmbrelHost {

const std::vector<OptionDecl> kStateOptionDecls = {
    {"load", true}, {"program", true}, {"name", true}, {"set", true}, {"set-normalised", true}};

std::string pluginPath(const std::string& positional, const Args& args) {
    if (!positional.empty()) return positional;
    if (args.has("plugin")) return args.value("plugin");
    const char* env = std::getenv("OMBREL_PLUGIN");
    if (env && *env) return env;
    return OMBREL_DEFAULT_PLUGIN;
}

std::unique_ptr<HostedPlugin> loadPlugin(const std::string& path, double sampleRate,
                                         int blockSize) {
    std::string error;
    std::unique_ptr<HostedPlugin> plugin = loadHostedPlugin(path, sampleRate, blockSize, error);
    if (!plugin) throw ToolError(kExitPlugin, error);
    return plugin;
}

void refuseForFormat(PluginFormat format, const std::string& option, const std::string& why) {
    throw ToolError(kExitUsage, option + ": " + formatName(format) + " plug-ins " + why);
}

StateOptions stateOptions(const Args& args) {
    StateOptions state;
    for (const auto& [name, value] : args.options()) {
        if (name == "load") {
            state.load = value;
        } else if (name == "program") {
            state.program = parseInt(value, "--program", 0, 1 << 30);
        } else if (name == "name") {
            if (value.empty()) throw ToolError(kExitUsage, "bad value for --name: empty text");
            state.name = value;
        } else if (name == "set" || name == "set-normalised") {
            std::size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0)
                throw ToolError(kExitUsage,
                                "--" + name + " expects NAME=VALUE, not '" + value + "'");
            state.settings.push_back(
                {name == "set-normalised", value.substr(0, eq), value.substr(eq + 1)});
        }
    }
    return state;
}

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    std::size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Whether typed text and a display text say the same: equal words, or equal leading numbers.
bool sameReading(const std::string& typed, const std::string& shown) {
    if (lower(trim(typed)) == lower(trim(shown))) return true;
    char* endA = nullptr;
    char* endB = nullptr;
    double a = std::strtod(typed.c_str(), &endA);
    double b = std::strtod(shown.c_str(), &endB);
    return endA != typed.c_str() && endB != shown.c_str() &&
           (a == b || std::fabs(a - b) <= 1e-6 * std::max(std::fabs(a), std::fabs(b)));
}

// Many effects take no typed text at all. A DAW user could still turn the knob until the display
// shows what they meant: search the normalised range for a display that reads the text. Numbers
// go to the middle of the range of values whose display rounds to them.
bool matchDisplay(HostedPlugin& plugin, int index, const std::string& text) {
    const double original = plugin.normalised(index);
    auto number = [](const std::string& s, double& v) {
        char* end = nullptr;
        v = std::strtod(s.c_str(), &end);
        return end != s.c_str() && !std::isnan(v);
    };
    auto displayAt = [&](double v) { return trim(plugin.probeDisplay(index, v)); };
    constexpr int kSteps = 1000;
    std::vector<double> numbers;
    bool numeric = true;
    double first = -1;
    const std::string wanted = lower(trim(text));
    for (int i = 0; i <= kSteps; ++i) {
        double v = static_cast<double>(i) / kSteps;
        std::string shown = displayAt(v);
        if (first < 0 && lower(shown) == wanted) first = v;
        double n;
        numeric = numeric && number(shown, n);
        numbers.push_back(numeric ? n : 0);
    }
    double target;
    if (numeric && number(wanted, target)) {
        bool rising = numbers.back() >= numbers.front();
        bool monotonic = true;
        for (int i = 0; i < kSteps; ++i)
            monotonic =
                monotonic && (rising ? numbers[i] <= numbers[i + 1] : numbers[i] >= numbers[i + 1]);
        double low = std::min(numbers.front(), numbers.back());
        double high = std::max(numbers.front(), numbers.back());
        if (monotonic && target >= low && target <= high) {
            // The first value whose display reaches the target, or passes it.
            auto boundary = [&](bool past) {
                double lo = 0, hi = 1;
                for (int k = 0; k < 48; ++k) {
                    double mid = 0.5 * (lo + hi), n = 0;
                    number(displayAt(mid), n);
                    bool beyond = rising ? (past ? n > target : n >= target)
                                         : (past ? n < target : n <= target);
                    (beyond ? hi : lo) = mid;
                }
                return hi;
            };
            double from = boundary(false), to = boundary(true);
            plugin.setNormalised(index, 0.5 * (from + to));
            return true;
        }
    }
    if (first >= 0) {
        plugin.setNormalised(index, first);
        return true;
    }
    plugin.endProbe(index, original);
    return false;
}

// The typed text --set takes: a number, optionally followed by the parameter's unit; "Inf" or
// "-Inf"; or a text the parameter itself displays somewhere in its range (an item's name). Any
// other text is refused, whatever the parameter's current value.
bool sensibleText(HostedPlugin& plugin, int index, const std::string& text) {
    const std::string t = lower(trim(text));
    if (t == "inf" || t == "-inf" || t == "+inf") return true;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() && std::isfinite(v)) {
        std::string rest = trim(end);
        if (rest.empty() || rest == lower(trim(plugin.parameterUnit(index)))) return true;
    }
    const double original = plugin.normalised(index);
    bool shown = false;
    constexpr int kSteps = 1000;
    for (int i = 0; i <= kSteps && !shown; ++i)
        shown = lower(trim(plugin.probeDisplay(index, static_cast<float>(i) / kSteps))) == t;
    plugin.endProbe(index, original);
    return shown;
}

} // namespace

int findParameter(HostedPlugin& plugin, const std::string& name) {
    std::string wanted = lower(trim(name));
    const int count = plugin.parameterCount();
    for (int i = 0; i < count; ++i)
        if (lower(trim(plugin.parameterName(i))) == wanted) return i;
    for (int i = 0; i < count; ++i)
        if (!wanted.empty() && lower(plugin.parameterSymbol(i)) == wanted) return i;
    char* end = nullptr;
    long index = std::strtol(name.c_str(), &end, 10);
    if (!name.empty() && !*end && index >= 0 && index < count) return static_cast<int>(index);
    std::string valid;
    for (int i = 0; i < count; ++i)
        valid += (i ? ", " : "") + trim(plugin.parameterName(i));
    if (valid.empty()) valid = "none; the plug-in has no parameters";
    throw ToolError(kExitUsage, "unknown parameter '" + name + "'; valid names: " + valid);
}

namespace {

void selectProgram(HostedPlugin& plugin, int program) {
    const char* word = plugin.programWord();
    if (!word)
        refuseForFormat(plugin.format(), "--program",
                        "have no programs; a saved state (--load) brings back a sound");
    if (program >= plugin.programCount())
        throw ToolError(kExitUsage, "bad value for --program: " + std::to_string(program) +
                                        " (the plug-in has " +
                                        std::to_string(plugin.programCount()) + " " + word +
                                        ", numbered from 0)");
    if (!plugin.setProgram(program))
        throw ToolError(kExitPlugin, "the plug-in's " + std::string(word) + " " +
                                         std::to_string(program) + " did not load");
}

void typeText(HostedPlugin& plugin, int index, const StateOptions::Setting& s) {
    if (s.value.empty())
        throw ToolError(kExitUsage, "bad value for --set " + s.name + ": empty text");
    if (!sensibleText(plugin, index, s.value))
        throw ToolError(kExitUsage, "bad value for --set " + s.name +
                                        ": the plug-in does not accept '" + s.value +
                                        "' (expected a number, Inf, -Inf or a text the parameter "
                                        "displays; --set-normalised takes a value from 0 to 1)");
    const std::string before = trim(plugin.parameterDisplay(index));
    bool taken = plugin.setText(index, s.value);
    if (!taken && !matchDisplay(plugin, index, s.value))
        throw ToolError(kExitUsage, "bad value for --set " + s.name +
                                        ": the plug-in does not accept '" + s.value +
                                        "' (use --set-normalised for a value from 0 to 1)");
    // Some effects accept any text and ignore what they cannot parse.
    const std::string after = trim(plugin.parameterDisplay(index));
    if (taken && !plugin.textIsChecked() && after == before && !sameReading(s.value, after))
        throw ToolError(kExitUsage, "bad value for --set " + s.name + ": the plug-in kept '" +
                                        after + "' after '" + s.value + "'");
}

} // namespace

void applyState(HostedPlugin& plugin, const StateOptions& state) {
    if (!state.load.empty()) loadPresetFile(plugin, state.load);
    if (state.program >= 0) selectProgram(plugin, state.program);
    if (!state.name.empty() && !plugin.setProgramName(state.name))
        refuseForFormat(plugin.format(), "--name", "name no sound; the file's name names it");
    for (const StateOptions::Setting& s : state.settings) {
        int index = findParameter(plugin, s.name);
        if (s.normalised) {
            double v = parseDouble(s.value, "--set-normalised " + s.name, 0.0, 1.0);
            plugin.setNormalised(index, v);
        } else {
            typeText(plugin, index, s);
        }
    }
}

void checkPresetPath(PluginFormat format, const std::string& path, bool preferParameters,
                     const char* parametersOption) {
    std::string error;
    if (!stateFileNameFits(format, path, error)) throw ToolError(kExitUsage, error);
    if (preferParameters && format != PluginFormat::Vst2)
        refuseForFormat(format, parametersOption,
                        "keep no parameter values apart from their state, which is what is saved");
}

std::vector<std::uint8_t> readPresetBytes(const std::string& path) {
    // Non-blocking, so that opening a FIFO cannot wait for a writer; regular files ignore it.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw ToolError(kExitInput, "cannot read " + path + ": " + std::strerror(errno));
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        throw ToolError(kExitInput, "cannot read " + path + ": not a regular file");
    }
    // One past the cap tells a file that grew while being read from one that fits.
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    ssize_t n = 0;
    while (bytes.size() <= kMaxPresetBytes && (n = read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    int error = errno;
    close(fd);
    if (n < 0) throw ToolError(kExitInput, "cannot read " + path + ": " + std::strerror(error));
    if (bytes.size() > kMaxPresetBytes)
        throw ToolError(kExitPreset, path + " is larger than the " +
                                         std::to_string(kMaxPresetBytes >> 20) +
                                         " MiB a preset may have");
    return bytes;
}

void loadPresetFile(HostedPlugin& plugin, const std::string& path) {
    std::vector<std::uint8_t> bytes = readPresetBytes(path);
    StateResult r = plugin.loadState(bytes);
    if (r.code != StateResult::Ok) throw ToolError(kExitPreset, path + ": " + r.message);
}

std::vector<std::uint8_t> presetBytes(HostedPlugin& plugin, const std::string& path,
                                      bool preferParameters, std::string* what, std::string* how) {
    std::vector<std::uint8_t> bytes;
    StateResult r = plugin.saveState(path, preferParameters, bytes);
    if (r.code == StateResult::BadPath) throw ToolError(kExitUsage, r.message);
    if (r.code != StateResult::Ok) throw ToolError(kExitPlugin, r.message);
    if (what) *what = r.what;
    if (how) *how = r.how;
    return bytes;
}

} // namespace OmbrelHost
