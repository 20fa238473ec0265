#include "tools/ombrel-host/Render.h"

#include "tools/ombrel-host/AudioFile.h"
#include "tools/ombrel-host/Progress.h"
#include "tools/ombrel-host/ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

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
};

// Reads the input block by block as it comes, then appends tailFrames of silence; answers the
// input frames read.
template <typename Sample>
long long runBlocks(PluginHost& host, AudioReader& reader, const Routing& r, bool hostBypass,
                    long long tailFrames, AudioWriter& writer, Progress& progress) {
    const int block = host.blockSize();
    const int inCount = std::max(host.numInputs(), r.pluginInputs);
    const int outCount = std::max(host.numOutputs(), r.pluginOutputs);
    Buffers<Sample> b(inCount, outCount, block);
    std::vector<double> fileIn(static_cast<std::size_t>(block) * r.fileInputs);
    std::vector<double> interleaved(static_cast<std::size_t>(block) * r.fileOutputs);
    const int C = r.fileInputs;
    long long done = 0, inputFrames = 0, tailLeft = tailFrames;
    bool inputEnded = false;
    for (;;) {
        int frames = 0;
        while (!inputEnded && frames < block) {
            long long got =
                reader.read(&fileIn[static_cast<std::size_t>(frames) * C], block - frames);
            inputEnded = got == 0;
            frames += static_cast<int>(got);
        }
        inputFrames += frames;
        if (frames < block && tailLeft > 0) {
            long long more = std::min<long long>(block - frames, tailLeft);
            std::fill(fileIn.begin() + static_cast<std::ptrdiff_t>(frames) * C,
                      fileIn.begin() + static_cast<std::ptrdiff_t>(frames + more) * C, 0.0);
            frames += static_cast<int>(more);
            tailLeft -= more;
        }
        if (frames == 0) break;
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
        if (hostBypass) {
            for (int k = 0; k < r.pluginOutputs; ++k)
                std::copy(b.inPtr[static_cast<std::size_t>(std::min(k, r.pluginInputs - 1))],
                          b.inPtr[static_cast<std::size_t>(std::min(k, r.pluginInputs - 1))] +
                              frames,
                          b.outPtr[static_cast<std::size_t>(k)]);
        } else {
            std::fill(b.out.begin(), b.out.end(), Sample(0));
            host.process(b.inPtr.data(), b.outPtr.data(), frames);
        }
        for (int i = 0; i < frames; ++i)
            for (int j = 0; j < r.fileOutputs; ++j)
                interleaved[static_cast<std::size_t>(i * r.fileOutputs + j)] = static_cast<double>(
                    b.outPtr[static_cast<std::size_t>(std::min(j, r.pluginOutputs - 1))][i]);
        writer.write(interleaved.data(), frames);
        done += frames;
        progress.update(done);
    }
    return inputFrames;
}

} // namespace

void render(const RenderJob& job, std::ostream& log) {
    // Everything that can be checked without the plug-in is checked first, the outputs included:
    // a folder that is missing or read-only is found before the render, not after it.
    refuseSameFile(job.output, job.input, "input");
    if (!job.save.empty()) {
        checkPresetPath(job.save);
        refuseSameFile(job.save, job.input, "input");
        if (job.save == job.output)
            throw ToolError(kExitUsage, "--save and the output are the same file");
    }
    outputFormatFor(job.output, 0);
    AudioReader reader(job.input);
    const int rate = reader.sampleRate();
    long long tailFrames = std::llround(job.tailSeconds * rate);
    long long expected = reader.claimedFrames() < 0 ? -1 : reader.claimedFrames() + tailFrames;
    int fileOutputs = job.outputs > 0 ? job.outputs : reader.channels();
    int format = outputFormatFor(job.output, reader.format(), expected, fileOutputs);
    std::unique_ptr<OutputFile> save;
    if (!job.save.empty()) save.reset(new OutputFile(job.save));
    AudioWriter writer(job.output, format, rate, fileOutputs);

    PluginHost host;
    loadPlugin(host, job.plugin, rate, job.blockSize);
    if (host.numOutputs() < 1)
        throw ToolError(kExitPlugin, "plug-in " + job.plugin + " has no outputs");

    Routing r;
    r.fileInputs = reader.channels();
    r.fileOutputs = fileOutputs;
    bool accepted = host.setSpeakers(r.fileInputs, r.fileOutputs);
    r.pluginInputs = accepted ? r.fileInputs : host.numInputs();
    r.pluginOutputs = accepted ? r.fileOutputs : host.numOutputs();
    if (r.pluginInputs < 1) r.pluginInputs = 1; // a generator: the input buffers are never read

    if (job.doublePrecision && !host.setDoublePrecision(true))
        throw ToolError(kExitUsage,
                        "--double: plug-in " + job.plugin + " cannot process in double precision");
    applyState(host, job.state);
    host.transport().setTempo(job.tempo);
    host.transport().setPlaying(job.play);
    bool hostBypass = false;
    if (job.bypass) hostBypass = host.canDo("bypass") != 1 || !host.setBypass(true);

    long long inputFrames;
    {
        Progress progress(expected, !job.quiet && expected > 0);
        host.resume();
        if (job.doublePrecision)
            inputFrames =
                runBlocks<double>(host, reader, r, hostBypass, tailFrames, writer, progress);
        else
            inputFrames =
                runBlocks<float>(host, reader, r, hostBypass, tailFrames, writer, progress);
        host.suspend();
    }
    if (save) save->write(presetBytes(host, job.save, job.saveParameters));
    std::string name = host.effectName();
    if (name.empty()) name = job.plugin;
    host.unload();
    // All outputs or none: every write and flush is done before the first rename.
    writer.finish();
    if (save) save->finish();
    if (job.companion) job.companion->finish();
    writer.commit();
    if (save) save->commit();
    if (job.companion) job.companion->commit();
    const long long total = inputFrames + tailFrames;

    if (job.quiet) return;
    log << "Rendered " << job.input << " (" << seconds(inputFrames, rate) << ", " << rate << " Hz, "
        << channelWord(reader.channels()) << ") through " << name << " into " << job.output << " ("
        << seconds(total, rate) << ", " << channelWord(r.fileOutputs) << ")\n";
    log << "  blocks of " << job.blockSize << " frames, "
        << (job.doublePrecision ? "double" : "single") << " precision";
    if (tailFrames > 0) log << ", " << seconds(tailFrames, rate) << " of silence appended";
    log << ", transport " << (job.play ? "playing" : "stopped") << " at " << job.tempo << " BPM\n";
    if (!accepted)
        log << "  the plug-in kept its own channel layout (" << r.pluginInputs << " in, "
            << r.pluginOutputs << " out); the host mapped the file's channels onto it\n";
    if (job.bypass)
        log << (hostBypass ? "  bypassed by the host: the plug-in has no bypass of its own\n"
                           : "  bypassed through the plug-in's own bypass\n");
    if (!job.save.empty()) log << "  saved the plug-in's state to " << job.save << "\n";
}

} // namespace OmbrelHost
