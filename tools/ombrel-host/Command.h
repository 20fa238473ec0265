// The sub-commands of ombrel-host. A new command is one file defining its Command and one line
// in the table in main.cpp.
#pragma once

#include <string>
#include <vector>

// How a command line names a plug-in of each format, for the commands' --help texts.
#define OMBREL_PLUGIN_FORMS_HELP                                                                   \
    "PLUGIN is a VST 2.4 library (FILE.so), a CLAP file (FILE.clap, or FILE.clap:ID for one of\n"  \
    "several) or an LV2 bundle folder (BUNDLE.lv2, or BUNDLE.lv2:URI for one of several).\n\n"

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
