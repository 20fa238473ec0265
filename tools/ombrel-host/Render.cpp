#include "tools/ombrel-host/Render.h"

#include "tools/ombrel-host/AudioFile.h"
#include "tools/ombrel-host/MidiFile.h"
#include "tools/ombrel-host/Progress.h"
#include "tools/ombrel-host/ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <strings.h>
#include <vector>

namespace OmbrelHost {

namespace {

const char* channelWord(int n) {
    return n == 1 ? "mono" : n == 2 ? "stereo" : "multichannel";
}

std::string seconds(long long frames, int rate) {
    char s[32];
    std::snprintf(s, sizeof s, "%.2f s", static_cast<double>(frames) / rate);
    return s;
}

// Channel buffers in the precision the plug-in is driven in.
template <typename Sample> struct Buffers {
    Buffers(int inputs, int outputs, int frames)
        : in(static_cast<std::size_t>(inputs) * frames),
          out(static_cast<std::size_t>(outputs) * frames) {
        for (int c = 0; c < inputs; ++c)
            inPtr.push_back(&in[static_cast<std::size_t>(c) * frames]);
        for (int c = 0; c < outputs; ++c)
            outPtr.push_back(&out[static_cast<std::size_t>(c) * frames]);
        if (inPtr.empty()) inPtr.push_back(nullptr);
        if (outPtr.empty()) outPtr.push_back(nullptr);
    }
    std::vector<Sample> in, out;
    std::vector<Sample*> inPtr, outPtr;
};

struct Routing {
    int fileInputs;   // channels of the input file
    int fileOutputs;  // channels of the output file
    int pluginInputs; // channels the plug-in reads and writes after set-up
    int pluginOutputs;
    bool accepted; // the plug-in took the file's layout
};

// What the blocks brought: the input frames read and the first block (from 0) whose output held
// a sample that is NaN or infinite, -1 when none did.
struct BlockRun {
    long long inputFrames = 0;
    long long firstNonFinite = -1;
};

// Fills fileIn with up to one block of the input, then of the tail's silence; answers the frames
// and adds the input frames to inputFrames.
int nextFrames(AudioReader& reader, int block, int channels, std::vector<double>& fileIn,
               bool& inputEnded, long long& tailLeft, long long& inputFrames) {
    int frames = 0;
    while (!inputEnded && frames < block) {
        long long got =
            reader.read(&fileIn[static_cast<std::size_t>(frames) * channels], block - frames);
        inputEnded = got == 0;
        frames += static_cast<int>(got);
    }
    inputFrames += frames;
    if (frames < block && tailLeft > 0) {
        long long more = std::min<long long>(block - frames, tailLeft);
        std::fill(fileIn.begin() + static_cast<std::ptrdiff_t>(frames) * channels,
                  fileIn.begin() + static_cast<std::ptrdiff_t>(frames + more) * channels, 0.0);
        frames += static_cast<int>(more);
        tailLeft -= more;
    }
    return frames;
}

template <typename Sample>
void spreadInput(const std::vector<double>& fileIn, const Routing& r, int frames,
                 Buffers<Sample>& b) {
    const int C = r.fileInputs;
    std::fill(b.in.begin(), b.in.end(), Sample(0));
    for (int i = 0; i < frames; ++i) {
        const double* frame = &fileIn[static_cast<std::size_t>(i * C)];
        for (int k = 0; k < r.pluginInputs; ++k) {
            double v = C == 1                ? frame[0]
                       : r.pluginInputs == 1 ? (frame[0] + frame[1]) * 0.5
                                             : frame[k % 2];
            b.inPtr[static_cast<std::size_t>(k)][i] = static_cast<Sample>(v);
        }
    }
}

// The file's channels from the plug-in's outputs; false when a sample is NaN or infinite.
template <typename Sample>
bool gatherOutput(const Buffers<Sample>& b, const Routing& r, int frames,
                  std::vector<double>& interleaved) {
    bool finite = true;
    for (int i = 0; i < frames; ++i)
        for (int j = 0; j < r.fileOutputs; ++j) {
            double v = static_cast<double>(
                b.outPtr[static_cast<std::size_t>(std::min(j, r.pluginOutputs - 1))][i]);
            finite = finite && std::isfinite(v);
            interleaved[static_cast<std::size_t>(i * r.fileOutputs + j)] = v;
        }
    return finite;
}

std::string nonFiniteMessage(long long block, int blockSize, int rate) {
    const long long from = block * blockSize;
    return "block " + std::to_string(block) + " (from frame " + std::to_string(from) + ", " +
           seconds(from, rate) + ")";
}

// Reads the input block by block as it comes, then appends tailFrames of silence. Output that is
// NaN or infinite stops the render unless the job allows it.
template <typename Sample>
BlockRun runBlocks(HostedPlugin& plugin, AudioReader& reader, const Routing& r, bool hostBypass,
                   const RenderJob& job, long long tailFrames, AudioWriter& writer,
                   Progress& progress) {
    const int block = job.blockSize;
    Buffers<Sample> b(std::max(plugin.inputs(), r.pluginInputs),
                      std::max(plugin.outputs(), r.pluginOutputs), block);
    std::vector<double> fileIn(static_cast<std::size_t>(block) * r.fileInputs);
    std::vector<double> interleaved(static_cast<std::size_t>(block) * r.fileOutputs);
    BlockRun run;
    long long done = 0, tailLeft = tailFrames;
    bool inputEnded = false;
    for (long long index = 0;; ++index) {
        int frames =
            nextFrames(reader, block, r.fileInputs, fileIn, inputEnded, tailLeft, run.inputFrames);
        if (frames == 0) break;
        spreadInput(fileIn, r, frames, b);
        if (hostBypass) {
            for (int k = 0; k < r.pluginOutputs; ++k) {
                const Sample* from =
                    b.inPtr[static_cast<std::size_t>(std::min(k, r.pluginInputs - 1))];
                std::copy(from, from + frames, b.outPtr[static_cast<std::size_t>(k)]);
            }
        } else {
            std::fill(b.out.begin(), b.out.end(), Sample(0));
            if (!plugin.process(b.inPtr.data(), b.outPtr.data(), frames))
                throw ToolError(kExitPlugin,
                                "the plug-in reported a failure processing " +
                                    nonFiniteMessage(index, block, reader.sampleRate()) +
                                    "; nothing was written");
        }
        if (!gatherOutput(b, r, frames, interleaved) && run.firstNonFinite < 0) {
            run.firstNonFinite = index;
            if (!job.allowNonFinite)
                throw ToolError(kExitPlugin,
                                "the output holds NaN or infinite samples, first in " +
                                    nonFiniteMessage(index, block, reader.sampleRate()) +
                                    "; nothing was written (--allow-non-finite writes them)");
        }
        writer.write(interleaved.data(), frames);
        done += frames;
        progress.update(done);
    }
    return run;
}

// Everything that can be checked without the plug-in, the outputs included: a folder that is
// missing or read-only is found before the render, not after it.
void checkPaths(const RenderJob& job) {
    refuseSameFile(job.output, job.input, "input");
    const PluginFormat format = locatePlugin(job.plugin).format;
    if (job.saveParameters && format != PluginFormat::Vst2)
        refuseForFormat(format, "--save-parameters",
                        "keep no parameter values apart from their state, which --save saves");
    if (!job.save.empty()) {
        checkPresetPath(format, job.save, job.saveParameters);
        refuseSameFile(job.save, job.input, "input");
        if (job.save == job.output)
            throw ToolError(kExitUsage, "--save and the output are the same file");
    }
    if (!job.midi.empty()) {
        const std::string& m = job.midi;
        auto endsWith = [&m](const char* tail) {
            const std::size_t n = std::char_traits<char>::length(tail);
            return m.size() > n && strcasecmp(m.c_str() + m.size() - n, tail) == 0;
        };
        if (!endsWith(".mid") && !endsWith(".midi"))
            throw ToolError(kExitUsage, "--midi " + m + ": a MIDI file's name ends in .mid");
        refuseSameFile(m, job.input, "input");
        if (m == job.output || m == job.save)
            throw ToolError(kExitUsage, "--midi names the same file as another output");
    }
    outputFormatFor(job.output, 0);
}

// Loads the plug-in and brings it into the job's layout and state; answers the routing and
// whether the host bypasses it.
Routing setUp(HostedPlugin& plugin, const RenderJob& job, int fileInputs, int fileOutputs,
              bool& hostBypass) {
    if (plugin.outputs() < 1)
        throw ToolError(kExitPlugin, "plug-in " + job.plugin + " has no outputs");
    Routing r;
    r.fileInputs = fileInputs;
    r.fileOutputs = fileOutputs;
    r.accepted = plugin.setLayout(r.fileInputs, r.fileOutputs);
    r.pluginInputs = r.accepted ? r.fileInputs : plugin.inputs();
    r.pluginOutputs = r.accepted ? r.fileOutputs : plugin.outputs();
    if (r.pluginInputs < 1) r.pluginInputs = 1; // a generator: the input buffers are never read
    if (job.doublePrecision && !plugin.setDoublePrecision(true)) {
        if (plugin.format() == PluginFormat::Lv2)
            refuseForFormat(PluginFormat::Lv2, "--double", "process 32-bit samples only");
        throw ToolError(kExitUsage,
                        "--double: plug-in " + job.plugin + " cannot process in double precision");
    }
    applyState(plugin, job.state);
    plugin.setTransport(job.tempo, job.play);
    hostBypass = false;
    if (job.bypass) hostBypass = !plugin.setBypass(true);
    return r;
}

void report(std::ostream& log, const RenderJob& job, const std::string& name, int rate,
            const Routing& r, const BlockRun& run, long long tailFrames, bool hostBypass) {
    log << "Rendered " << job.input << " (" << seconds(run.inputFrames, rate) << ", " << rate
        << " Hz, " << channelWord(r.fileInputs) << ") through " << name << " into " << job.output
        << " (" << seconds(run.inputFrames + tailFrames, rate) << ", " << channelWord(r.fileOutputs)
        << ")\n";
    log << "  blocks of " << job.blockSize << " frames, "
        << (job.doublePrecision ? "double" : "single") << " precision";
    if (tailFrames > 0) log << ", " << seconds(tailFrames, rate) << " of silence appended";
    log << ", transport " << (job.play ? "playing" : "stopped") << " at " << job.tempo << " BPM\n";
    if (!r.accepted)
        log << "  the plug-in kept its own channel layout (" << r.pluginInputs << " in, "
            << r.pluginOutputs << " out); the host mapped the file's channels onto it\n";
    if (job.bypass)
        log << (hostBypass ? "  bypassed by the host: the plug-in has no bypass of its own\n"
                           : "  bypassed through the plug-in's own bypass\n");
    if (run.firstNonFinite >= 0)
        log << "  NaN or infinite samples written as they came, first in "
            << nonFiniteMessage(run.firstNonFinite, job.blockSize, rate) << "\n";
    if (!job.save.empty()) log << "  saved the plug-in's state to " << job.save << "\n";
}

void reportMidi(std::ostream& log, const RenderJob& job, const MidiSummary& s) {
    log << "  wrote the note output to " << job.midi << ": " << s.notes
        << (s.notes == 1 ? " note" : " notes") << ", " << s.messages << " MIDI messages at "
        << kMidiDivision << " ticks per quarter note";
    if (s.closed > 0)
        log << " (" << s.closed << (s.closed == 1 ? " note" : " notes")
            << " still sounding at the end, ended there)";
    log << "\n";
}

} // namespace

void render(const RenderJob& job, std::ostream& log) {
    checkPaths(job);
    AudioReader reader(job.input);
    const int rate = reader.sampleRate();
    long long tailFrames = std::llround(job.tailSeconds * rate);
    long long expected = reader.claimedFrames() < 0 ? -1 : reader.claimedFrames() + tailFrames;
    int fileOutputs = job.outputs > 0 ? job.outputs : reader.channels();
    int format = outputFormatFor(job.output, reader.format(), expected, fileOutputs);
    std::unique_ptr<OutputFile> save;
    if (!job.save.empty()) save.reset(new OutputFile(job.save));
    std::unique_ptr<OutputFile> midi;
    if (!job.midi.empty()) midi.reset(new OutputFile(job.midi));
    AudioWriter writer(job.output, format, rate, fileOutputs);

    std::unique_ptr<HostedPlugin> plugin = loadPlugin(job.plugin, rate, job.blockSize);
    std::vector<NoteMessage> notes;
    if (midi) {
        if (!plugin->hasNoteOutput())
            throw ToolError(kExitUsage, "--midi: plug-in " + job.plugin + " (" +
                                            formatName(plugin->format()) +
                                            ") has no note output; nothing was written");
        plugin->onNoteOutput = [&notes](const NoteMessage& m) { notes.push_back(m); };
    }
    bool hostBypass = false;
    const Routing r = setUp(*plugin, job, reader.channels(), fileOutputs, hostBypass);
    BlockRun run;
    {
        Progress progress(expected, !job.quiet && expected > 0);
        if (!plugin->resume())
            throw ToolError(kExitPlugin, "plug-in " + job.plugin + " refused to be switched on");
        if (job.doublePrecision)
            run = runBlocks<double>(*plugin, reader, r, hostBypass, job, tailFrames, writer,
                                    progress);
        else
            run =
                runBlocks<float>(*plugin, reader, r, hostBypass, job, tailFrames, writer, progress);
        plugin->suspend();
    }
    if (save) save->write(presetBytes(*plugin, job.save, job.saveParameters));
    std::string name = plugin->name();
    if (name.empty()) name = job.plugin;
    plugin->onNoteOutput = nullptr;
    plugin.reset();
    MidiSummary midiSummary;
    if (midi)
        midi->write(standardMidiFile(std::move(notes), rate, job.tempo,
                                     run.inputFrames + tailFrames, name, midiSummary));
    // All outputs or none: every write and flush is done before the first rename.
    writer.finish();
    if (save) save->finish();
    if (midi) midi->finish();
    if (job.companion) job.companion->finish();
    writer.commit();
    if (save) save->commit();
    if (midi) midi->commit();
    if (job.companion) job.companion->commit();
    if (!job.quiet) report(log, job, name, rate, r, run, tailFrames, hostBypass);
    if (!job.quiet && midi) reportMidi(log, job, midiSummary);
}

} // namespace OmbrelHost
