// render: an audio file through a plug-in into another.
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/Render.h"
#include "tools/ombrel-host/ToolError.h"

#include <iostream>

namespace OmbrelHost {

namespace {

int run(const std::vector<std::string>& argv) {
    std::vector<OptionDecl> declared = {
        {"plugin", true},  {"save", true},    {"save-parameters", false},
        {"block", true},   {"double", false}, {"tempo", true},
        {"play", false},   {"tail", true},    {"bypass", false},
        {"outputs", true}, {"quiet", false},  {"allow-non-finite", false},
        {"midi", true}};
    declared.insert(declared.end(), kStateOptionDecls.begin(), kStateOptionDecls.end());
    Args args(argv, declared);
    const auto& pos = args.positional();
    if (pos.size() < 2 || pos.size() > 3)
        throw ToolError(kExitUsage, "render needs [PLUGIN] IN OUT (see render --help)");
    RenderJob job;
    job.plugin = pluginPath(pos.size() == 3 ? pos[0] : "", args);
    job.input = pos[pos.size() - 2];
    job.output = pos[pos.size() - 1];
    job.state = stateOptions(args);
    job.save = args.value("save");
    job.saveParameters = args.has("save-parameters");
    job.midi = args.value("midi");
    if (args.has("block")) job.blockSize = parseInt(args.value("block"), "--block", 1, 65536);
    job.doublePrecision = args.has("double");
    if (args.has("tempo")) job.tempo = parseDouble(args.value("tempo"), "--tempo", 1, 999);
    job.play = args.has("play");
    if (args.has("tail")) job.tailSeconds = parseDouble(args.value("tail"), "--tail", 0, 3600);
    job.bypass = args.has("bypass");
    if (args.has("outputs")) job.outputs = parseInt(args.value("outputs"), "--outputs", 1, 8);
    job.quiet = args.has("quiet");
    job.allowNonFinite = args.has("allow-non-finite");
    render(job, std::cout);
    return kExitOk;
}

} // namespace

const Command kRenderCommand = {
    "render", "process an audio file through a plug-in",
    "Usage: ombrel-host render [PLUGIN] IN OUT [OPTIONS]\n\n"
    "Reads IN (WAV, FLAC, AIFF or Ogg Vorbis, mono or stereo), runs it through the plug-in "
    "(Ombrel\n"
    "by default) at the file's sample rate and writes OUT in the format its extension names\n"
    "(.wav, .flac, .aiff, .ogg; the input's sample type where the format allows it, else 24-bit).\n"
    "OUT appears only when the render succeeds, and never replaces IN. Output that is NaN or\n"
    "infinite stops the render, naming the first block that held it (exit "
    "4).\n\n" OMBREL_PLUGIN_FORMS_HELP "State, applied in this order:\n"
    "  --load FILE              restore a saved state first: an .fxp program or .fxb bank (VST\n"
    "                           2.4), a .clapstate file (CLAP), a .ttl state (LV2)\n"
    "  --program N              select program N (from 0; an LV2 plug-in's preset N; CLAP\n"
    "                           plug-ins have none)\n"
    "  --name TEXT              name the sound: the current program (VST 2.4), the label of the\n"
    "                           saved state (LV2); CLAP plug-ins name none\n"
    "  --set NAME=TEXT          type TEXT into parameter NAME as a user would (e.g. MinFreq=200):\n"
    "                           a number, optionally with the unit, Inf, -Inf, or a text the\n"
    "                           parameter displays (e.g. Wave1=Square)\n"
    "  --set-normalised NAME=V  set parameter NAME to the normalised value V (0 to 1 over its\n"
    "                           range)\n"
    "  (--set and --set-normalised may repeat; NAME ignores letter case, or is an LV2 symbol or "
    "an\n"
    "  index; for a plug-in that takes no typed text, --set finds the value whose display reads\n"
    "  TEXT)\n\n"
    "Processing:\n"
    "  --block N       frames per processing call (default 512)\n"
    "  --double        process in double precision (VST 2.4 and CLAP plug-ins that offer it)\n"
    "  --outputs N     output channels (default: as many as IN has)\n"
    "  --tempo BPM     tempo the transport reports (default 120)\n"
    "  --play          run the transport, so tempo-synced effects follow the song position\n"
    "  --tail SECONDS  append this much silence, so releases and reverb tails are heard\n"
    "  --bypass        bypass the plug-in (the host passes the input through if it cannot)\n\n"
    "Other:\n"
    "  --save FILE        write the plug-in's state after the render, in its format's file (as\n"
    "                     --load reads them; for VST 2.4 .fxp a program, .fxb the bank)\n"
    "  --save-parameters  store parameter values even when a VST 2.4 plug-in has a state chunk\n"
    "  --midi FILE.mid    write the plug-in's note output (CLAP note ports, LV2 MIDI outputs,\n"
    "                     VST 2.4 events) as a Standard MIDI File at the --tempo, 960 ticks per\n"
    "                     quarter note (exit 2 for a plug-in without note output)\n"
    "  --allow-non-finite write NaN and infinite samples as they come instead of stopping\n"
    "  --plugin PATH      the plug-in, when not given as PLUGIN (also $OMBREL_PLUGIN)\n"
    "  --quiet            print nothing on success and show no progress bar\n\n"
    "Example: ombrel-host render vocal.wav synth.wav --set MinFreq=90 --tempo 100 --play --tail "
    "2\n",
    run};

} // namespace OmbrelHost
