#include "tools/ombrel-host/Render.h"

#include "tools/ombrel-host/AudioFile.h"
#include "tools/ombrel-host/Progress.h"
#include "tools/ombrel-host/ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

template <typename Sample>
void runBlocks(PluginHost& host, const Audio& audio, const Routing& r, bool hostBypass,
               long long totalFrames, AudioWriter& writer, Progress& progress) {
    const int block = host.blockSize();
    const int inCount = std::max(host.numInputs(), r.pluginInputs);
    const int outCount = std::max(host.numOutputs(), r.pluginOutputs);
    Buffers<Sample> b(inCount, outCount, block);
    std::vector<double> interleaved(static_cast<std::size_t>(block) * r.fileOutputs);
    const int C = r.fileInputs;
    for (long long start = 0; start < totalFrames; start += block) {
        int frames = static_cast<int>(std::min<long long>(block, totalFrames - start));
        std::fill(b.in.begin(), b.in.end(), Sample(0));
        for (int i = 0; i < frames; ++i) {
            long long f = start + i;
            if (f >= audio.frames) break;
            const double* frame = &audio.samples[static_cast<std::size_t>(f * C)];
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
        progress.update(start + frames);
    }
}

} // namespace

void render(const RenderJob& job, std::ostream& log) {
    // Everything that can be checked without the plug-in is checked first.
    refuseSameFile(job.output, job.input, "input");
    if (!job.save.empty()) {
        checkPresetPath(job.save);
        refuseSameFile(job.save, job.input, "input");
        if (job.save == job.output)
            throw ToolError(kExitUsage, "--save and the output are the same file");
    }
    int format = outputFormatFor(job.output, 0);
    Audio audio = readAudio(job.input);
    format = outputFormatFor(job.output, audio.format);

    PluginHost host;
    loadPlugin(host, job.plugin, audio.sampleRate, job.blockSize);
    if (host.numOutputs() < 1)
        throw ToolError(kExitPlugin, "plug-in " + job.plugin + " has no outputs");

    Routing r;
    r.fileInputs = audio.channels;
    r.fileOutputs = job.outputs > 0 ? job.outputs : audio.channels;
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

    long long tailFrames = std::llround(job.tailSeconds * audio.sampleRate);
    long long total = audio.frames + tailFrames;
    AudioWriter writer(job.output, format, audio.sampleRate, r.fileOutputs);
    {
        Progress progress(total, !job.quiet);
        host.resume();
        if (job.doublePrecision)
            runBlocks<double>(host, audio, r, hostBypass, total, writer, progress);
        else
            runBlocks<float>(host, audio, r, hostBypass, total, writer, progress);
        host.suspend();
    }
    if (!job.save.empty()) savePresetFile(host, job.save, job.saveParameters);
    std::string name = host.effectName();
    if (name.empty()) name = job.plugin;
    host.unload();
    writer.commit();

    if (job.quiet) return;
    log << "Rendered " << job.input << " (" << seconds(audio.frames, audio.sampleRate) << ", "
        << audio.sampleRate << " Hz, " << channelWord(audio.channels) << ") through " << name
        << " into " << job.output << " (" << seconds(total, audio.sampleRate) << ", "
        << channelWord(r.fileOutputs) << ")\n";
    log << "  blocks of " << job.blockSize << " frames, "
        << (job.doublePrecision ? "double" : "single") << " precision";
    if (tailFrames > 0)
        log << ", " << seconds(tailFrames, audio.sampleRate) << " of silence appended";
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
