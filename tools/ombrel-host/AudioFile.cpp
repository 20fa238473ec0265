#include "tools/ombrel-host/AudioFile.h"

#include "tools/ombrel-host/ToolError.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

namespace OmbrelHost {

namespace {

std::string extensionOf(const std::string& path) {
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// libsndfile gives every Ogg stream a random serial number; a fixed one makes renders
// byte-for-byte repeatable. The serial sits in every page header, which its CRC covers.
std::uint32_t oggCrc(const std::uint8_t* data, std::size_t size) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
            table[i] = r;
        }
        ready = true;
    }
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xff];
    return crc;
}

bool fixOggSerial(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return false;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::size_t pos = 0;
    while (pos + 27 <= bytes.size() && std::memcmp(&bytes[pos], "OggS", 4) == 0) {
        std::size_t segments = bytes[pos + 26];
        if (pos + 27 + segments > bytes.size()) break;
        std::size_t size = 27 + segments;
        for (std::size_t s = 0; s < segments; ++s)
            size += bytes[pos + 27 + s];
        if (pos + size > bytes.size()) break;
        const std::uint8_t serial[4] = {0x6b, 0x76, 0x72, 0x6c};
        std::memcpy(&bytes[pos + 14], serial, 4);
        std::memset(&bytes[pos + 22], 0, 4);
        std::uint32_t crc = oggCrc(&bytes[pos], size);
        for (int i = 0; i < 4; ++i)
            bytes[pos + 22 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        pos += size;
    }
    bool ok = std::fseek(f, 0, SEEK_SET) == 0 &&
              std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

Audio readAudio(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) throw ToolError(kExitInput, "cannot read " + path + ": " + std::strerror(errno));
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file) {
        int code = sf_error(nullptr);
        if (code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_MALFORMED_FILE ||
            code == SF_ERR_UNSUPPORTED_ENCODING)
            throw ToolError(kExitInput, path +
                                            " is not in a supported audio format (WAV, FLAC, "
                                            "AIFF or Ogg Vorbis): " +
                                            sf_error_number(code));
        throw ToolError(kExitInput, "cannot read " + path + ": " + sf_error_number(code));
    }
    Audio audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    audio.frames = info.frames;
    audio.format = info.format;
    if (info.channels < 1 || info.channels > 2) {
        sf_close(file);
        throw ToolError(kExitInput, path + " has " + std::to_string(info.channels) +
                                        " channels; only mono and stereo input is supported");
    }
    if (info.samplerate <= 0) {
        sf_close(file);
        throw ToolError(kExitInput, path + " has no valid sample rate");
    }
    audio.samples.resize(static_cast<std::size_t>(info.frames) *
                         static_cast<std::size_t>(info.channels));
    sf_count_t got = sf_readf_double(file, audio.samples.data(), info.frames);
    sf_close(file);
    if (got != info.frames) throw ToolError(kExitInput, "cannot read all of " + path);
    return audio;
}

int outputFormatFor(const std::string& path, int sourceFormat) {
    std::string ext = extensionOf(path);
    int major;
    if (ext == "wav")
        major = SF_FORMAT_WAV;
    else if (ext == "aif" || ext == "aiff")
        major = SF_FORMAT_AIFF;
    else if (ext == "flac")
        major = SF_FORMAT_FLAC;
    else if (ext == "ogg" || ext == "oga")
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    else
        throw ToolError(kExitUsage, "unsupported output format '" +
                                        (ext.empty() ? path : "." + ext) +
                                        "': use .wav, .flac, .aiff or .ogg");
    int sub = sourceFormat & SF_FORMAT_SUBMASK;
    bool keepable = sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32 ||
                    sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
    SF_INFO probe{};
    probe.samplerate = 44100;
    probe.channels = 2;
    probe.format = major | sub;
    if (keepable && sf_format_check(&probe)) return major | sub;
    return major | SF_FORMAT_PCM_24;
}

struct AudioWriter::Private {
    explicit Private(const std::string& path) : output(path) {}
    OutputFile output;
    SNDFILE* file = nullptr;
    int channels = 1;
    int format = 0;
    std::string path;
};

AudioWriter::AudioWriter(const std::string& path, int format, int sampleRate, int channels)
    : d_(new Private(path)) {
    d_->path = path;
    d_->channels = channels;
    d_->format = format;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info))
        throw ToolError(kExitUsage, "cannot write this sample rate or channel count to " + path);
    d_->file = sf_open_fd(d_->output.takeDescriptor(), SFM_WRITE, &info, SF_TRUE);
    if (!d_->file)
        throw ToolError(kExitOutput, "cannot write " + path + ": " + sf_strerror(nullptr));
    // The PEAK chunk carries a time stamp, which would make equal renders differ.
    sf_command(d_->file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(d_->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (d_->file) sf_close(d_->file);
}

void AudioWriter::write(const double* interleaved, long long frames) {
    if (sf_writef_double(d_->file, interleaved, frames) != frames)
        throw ToolError(kExitOutput, "cannot write " + d_->path + ": " + sf_strerror(d_->file));
}

void AudioWriter::commit() {
    int closed = sf_close(d_->file);
    d_->file = nullptr;
    if (closed != 0) throw ToolError(kExitOutput, "cannot finish " + d_->path);
    if ((d_->format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG &&
        !fixOggSerial(d_->output.temporaryPath()))
        throw ToolError(kExitOutput, "cannot finish " + d_->path);
    d_->output.commit();
}

} // namespace OmbrelHost
