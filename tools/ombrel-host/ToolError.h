// Failures of the command-line host: each carries the exit code scripts can test for.
#pragma once

#include <stdexcept>
#include <string>

namespace OmbrelHost {

enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1, // anything not listed below
    kExitUsage = 2,   // bad command line: unknown option or command, bad value, unknown parameter
    kExitInput = 3,   // missing, unreadable or unsupported input file
    kExitPlugin = 4,  // the plug-in cannot be loaded or returns no usable effect
    kExitPreset = 5,  // a preset that is damaged or made for another plug-in
    kExitOutput = 6,  // an output file that cannot be written
};

class ToolError : public std::runtime_error {
public:
    ToolError(ExitCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ExitCode code() const { return code_; }

private:
    ExitCode code_;
};

} // namespace OmbrelHost
