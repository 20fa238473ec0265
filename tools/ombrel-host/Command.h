// The sub-commands of ombrel-host. A new command is one file defining its Command and one line
// in the table in main.cpp.
#pragma once

#include <string>
#include <vector>

namespace OmbrelHost {

struct Command {
    const char* name;
    const char* summary;
    const char* help; // the full --help text
    // Answers the exit code; throws ToolError for failures.
    int (*run)(const std::vector<std::string>& args);
};

extern const Command kInfoCommand;
extern const Command kRenderCommand;
extern const Command kPresetCommand;
extern const Command kDemoCommand;
extern const Command kSnapshotCommand;

} // namespace OmbrelHost
