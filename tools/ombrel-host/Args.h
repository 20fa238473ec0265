// Command-line parsing shared by the commands: options in "--name value" or "--name=value"
// form, anywhere among the positional arguments.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace OmbrelHost {

struct OptionDecl {
    const char* name; // without the leading dashes
    bool takesValue;
};

class Args {
public:
    // Throws a usage error for an unknown option or a missing value. "--help" is always known.
    Args(const std::vector<std::string>& args, const std::vector<OptionDecl>& declared);

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const;
    // The last value given for an option, or fallback.
    std::string value(const std::string& name, const std::string& fallback = "") const;
    // Every option in command-line order, for options whose order matters.
    const std::vector<std::pair<std::string, std::string>>& options() const { return options_; }

private:
    std::vector<std::string> positional_;
    std::vector<std::pair<std::string, std::string>> options_;
};

// Throw a usage error naming the option when text is not a number within the bounds.
int parseInt(const std::string& text, const std::string& what, int min, int max);
double parseDouble(const std::string& text, const std::string& what, double min, double max);

} // namespace OmbrelHost
