#include "tools/ombrel-host/Args.h"

#include "tools/ombrel-host/ToolError.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace OmbrelHost {

Args::Args(const std::vector<std::string>& args, const std::vector<OptionDecl>& declared) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            positional_.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        std::string value;
        bool inlineValue = false;
        std::size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        const OptionDecl* decl = nullptr;
        for (const OptionDecl& d : declared)
            if (name == d.name) decl = &d;
        if (name == "help") {
            options_.emplace_back(name, "");
            continue;
        }
        if (!decl) throw ToolError(kExitUsage, "unknown option --" + name);
        if (decl->takesValue && !inlineValue) {
            if (i + 1 >= args.size()) throw ToolError(kExitUsage, "--" + name + " needs a value");
            value = args[++i];
        } else if (!decl->takesValue && inlineValue) {
            throw ToolError(kExitUsage, "--" + name + " takes no value");
        }
        options_.emplace_back(name, value);
    }
}

bool Args::has(const std::string& name) const {
    for (const auto& o : options_)
        if (o.first == name) return true;
    return false;
}

std::string Args::value(const std::string& name, const std::string& fallback) const {
    std::string result = fallback;
    for (const auto& o : options_)
        if (o.first == name) result = o.second;
    return result;
}

int parseInt(const std::string& text, const std::string& what, int min, int max) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < min || v > max)
        throw ToolError(kExitUsage, "bad value for " + what + ": '" + text +
                                        "' (expected a whole number from " + std::to_string(min) +
                                        " to " + std::to_string(max) + ")");
    return static_cast<int>(v);
}

double parseDouble(const std::string& text, const std::string& what, double min, double max) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || errno || !std::isfinite(v) || v < min || v > max) {
        char range[96];
        std::snprintf(range, sizeof range, "%g to %g", min, max);
        throw ToolError(kExitUsage, "bad value for " + what + ": '" + text +
                                        "' (expected a number from " + range + ")");
    }
    return v;
}

} // namespace OmbrelHost
