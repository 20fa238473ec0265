// demo: our own sung phrase through Ombrel, so a fresh clone has something to listen to.
#include "tools/ombrel-host/AudioFile.h"
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/DemoPhrase.h"
#include "tools/ombrel-host/Render.h"
#include "tools/ombrel-host/ToolError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sndfile.h>
#include <sys/stat.h>

namespace OmbrelHost {

namespace {

void makeFolderFor(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return;
    std::string folder = path.substr(0, slash);
    makeFolderFor(folder);
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        throw ToolError(kExitOutput,
                        "cannot create folder " + folder + ": " + std::strerror(errno));
}

int run(const std::vector<std::string>& argv) {
    Args args(argv, {{"plugin", true}, {"output", true}, {"input-copy", true}, {"quiet", false}});
    if (!args.positional().empty()) throw ToolError(kExitUsage, "demo takes no arguments");
    std::string output = args.value("output", "out/demo.wav");
    std::string inputCopy = args.value("input-copy", "out/demo-input.wav");
    outputFormatFor(output, 0);
    // The copy in the container its name asks for, 24-bit where the container has a choice.
    const int copyFormat = outputFormatFor(inputCopy, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    if (output == inputCopy)
        throw ToolError(kExitUsage, "--output and --input-copy are the same file");
    makeFolderFor(output);
    makeFolderFor(inputCopy);

    // The copy is finished first, rendered from its temporary file and put in place with the
    // render: both outputs or neither.
    DemoPhrase phrase = makeDemoPhrase();
    AudioWriter copy(inputCopy, copyFormat, phrase.sampleRate, 1);
    copy.write(phrase.samples.data(), static_cast<long long>(phrase.samples.size()));
    copy.finish();

    RenderJob job;
    job.plugin = pluginPath("", args);
    job.input = copy.temporaryPath();
    job.companion = &copy;
    job.output = output;
    job.outputs = 2;
    job.tailSeconds = 1.0;
    job.tempo = 110;
    job.play = true;
    job.quiet = true;
    render(job, std::cout);

    if (args.has("quiet")) return kExitOk;
    double seconds = static_cast<double>(phrase.samples.size()) / phrase.sampleRate;
    std::printf("Generated a %.1f s sung phrase (mono, %d Hz) into %s:\n", seconds,
                phrase.sampleRate, inputCopy.c_str());
    for (const DemoNote& n : phrase.notes)
        std::printf("  %-3s %7.2f Hz  %5.2f s to %5.2f s\n", n.name, n.frequency, n.start, n.end);
    std::printf(
        "Rendered it through %s (program 0, transport playing at %g BPM, %g s tail) into %s "
        "(stereo)\n",
        job.plugin.c_str(), job.tempo, job.tailSeconds, output.c_str());
    return kExitOk;
}

} // namespace

const Command kDemoCommand = {
    "demo", "render the built-in sung phrase through Ombrel into out/demo.wav",
    "Usage: ombrel-host demo [--output FILE] [--input-copy FILE] [--plugin PATH]\n\n"
    "Generates a few seconds of a sung-like phrase (the same bytes every time), writes it to\n"
    "out/demo-input.wav and renders it through Ombrel's first program into out/demo.wav with the\n"
    "transport playing, so the synth follows the phrase's notes, glides and vibrato.\n\n"
    "Options:\n"
    "  --output FILE      where the render goes (default out/demo.wav)\n"
    "  --input-copy FILE  where the generated phrase goes (default out/demo-input.wav)\n"
    "  --plugin PATH      another build of the plug-in (also $OMBREL_PLUGIN)\n"
    "  --quiet            print nothing on success\n\n"
    "Example: ombrel-host demo\n",
    run};

} // namespace OmbrelHost
