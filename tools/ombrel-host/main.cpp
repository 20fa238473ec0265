// ombrel-host: runs VST 2.4, LV2 and CLAP effects outside a DAW.
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/ToolError.h"

#include <cstdio>
#include <cstring>
#include <exception>

using namespace OmbrelHost;

namespace {

const Command* const kCommands[] = {&kInfoCommand, &kRenderCommand, &kPresetCommand, &kDemoCommand,
                                    &kSnapshotCommand};

void usage(FILE* to) {
    std::fprintf(to,
                 "Usage: ombrel-host COMMAND [ARGUMENTS]\n\n"
                 "Runs an effect plug-in outside a DAW: Ombrel unless told otherwise, or any\n"
                 "VST 2.4 library (FILE.so), CLAP file (FILE.clap) or LV2 bundle (BUNDLE.lv2).\n\n"
                 "Commands:\n");
    for (const Command* c : kCommands)
        std::fprintf(to, "  %-8s %s\n", c->name, c->summary);
    std::fprintf(to,
                 "\n'ombrel-host COMMAND --help' describes a command.\n\n"
                 "Exit codes: 0 success, 1 other failure, 2 bad command line or value,\n"
                 "3 bad input file, 4 plug-in failed to load, 5 bad or foreign preset or state,\n"
                 "6 output cannot be written.\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        usage(stdout);
        return kExitOk;
    }
    for (const Command* c : kCommands) {
        if (std::strcmp(argv[1], c->name) != 0) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        for (const std::string& a : args) {
            if (a == "--help" || a == "-h") {
                std::fputs(c->help, stdout);
                return kExitOk;
            }
        }
        try {
            return c->run(args);
        } catch (const ToolError& e) {
            std::fprintf(stderr, "ombrel-host %s: error: %s\n", c->name, e.what());
            return e.code();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "ombrel-host %s: error: %s\n", c->name, e.what());
            return kExitFailure;
        }
    }
    std::fprintf(stderr, "ombrel-host: unknown command '%s'\n\n", argv[1]);
    usage(stderr);
    return kExitUsage;
}
