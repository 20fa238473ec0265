#include "tools/ombrel-host/AudioFile.h"

#include "tools/ombrel-host/ToolError.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Rewrites every page in place, one page in memory at a time.
bool fixOggSerial(int fd) {
    std::vector<std::uint8_t> page;
    off_t pos = 0;
    for (;;) {
        std::uint8_t header[27 + 255];
        if (pread(fd, header, 27, pos) != 27 || std::memcmp(header, "OggS", 4) != 0) return true;
        std::size_t segments = header[26];
        if (pread(fd, header + 27, segments, pos + 27) != static_cast<ssize_t>(segments))
            return true;
        std::size_t size = 27 + segments;
        for (std::size_t s = 0; s < segments; ++s)
            size += header[27 + s];
        page.resize(size);
        if (pread(fd, page.data(), size, pos) != static_cast<ssize_t>(size)) return true;
        const std::uint8_t serial[4] = {0x6b, 0x76, 0x72, 0x6c};
        std::memcpy(&page[14], serial, 4);
        std::memset(&page[22], 0, 4);
        std::uint32_t crc = oggCrc(page.data(), size);
        for (int i = 0; i < 4; ++i)
            page[22 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        if (pwrite(fd, page.data(), size, pos) != static_cast<ssize_t>(size)) return false;
        pos += static_cast<off_t>(size);
    }
}

// libsndfile's I/O on our descriptor, so that every failed write is seen, those of the
// encoder's last flush at close included.
struct VirtualFile {
    int fd = -1;
    int error = 0; // the first errno of a failed write
};

sf_count_t vioLength(void* user) {
    struct stat st;
    return fstat(static_cast<VirtualFile*>(user)->fd, &st) == 0 ? st.st_size : -1;
}

sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    return lseek(static_cast<VirtualFile*>(user)->fd, offset, whence);
}

sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
    ssize_t n = ::read(static_cast<VirtualFile*>(user)->fd, ptr, static_cast<std::size_t>(count));
    return n < 0 ? 0 : n;
}

sf_count_t vioWrite(const void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<VirtualFile*>(user);
    const char* p = static_cast<const char*>(ptr);
    sf_count_t done = 0;
    while (done < count) {
        ssize_t n = ::write(f->fd, p + done, static_cast<std::size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!f->error) f->error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += n;
    }
    return done;
}

sf_count_t vioTell(void* user) {
    return lseek(static_cast<VirtualFile*>(user)->fd, 0, SEEK_CUR);
}

// The data 32-bit container headers can count, with a margin for the header itself.
constexpr long long kDataLimit = 0xFFFFFFFFLL - (1 << 20);

int bytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
        return 2;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 4;
    }
}

} // namespace

AudioReader::AudioReader(const std::string& path) : path_(path) {
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
    // A constructor that throws runs no destructor: close before refusing.
    auto refuse = [file](const std::string& why) {
        sf_close(file);
        return ToolError(kExitInput, why);
    };
    if (info.channels < 1 || info.channels > 2)
        throw refuse(path + " has " + std::to_string(info.channels) +
                     " channels; only mono and stereo input is supported");
    if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate)
        throw refuse(path + " has a sample rate of " + std::to_string(info.samplerate) +
                     " Hz; renders run at " + std::to_string(kMinSampleRate) + " to " +
                     std::to_string(kMaxSampleRate) + " Hz");
    file_ = file;
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
    format_ = info.format;
    // Streams and pipes report 0 or the largest count.
    if (info.frames > 0 && info.frames < SF_COUNT_MAX) claimedFrames_ = info.frames;
}

AudioReader::~AudioReader() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

long long AudioReader::read(double* interleaved, long long frames) {
    auto* file = static_cast<SNDFILE*>(file_);
    sf_count_t got = sf_readf_double(file, interleaved, frames);
    if (got < 0 || (got < frames && sf_error(file) != SF_ERR_NO_ERROR))
        throw ToolError(kExitInput, "cannot read all of " + path_ + ": " + sf_strerror(file));
    return got;
}

int outputFormatFor(const std::string& path, int sourceFormat, long long expectedFrames,
                    int channels) {
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
    int format = keepable && sf_format_check(&probe) ? major | sub : major | SF_FORMAT_PCM_24;
    const bool tooLong =
        expectedFrames < 0 ||
        expectedFrames > kDataLimit / (static_cast<long long>(channels) * bytesPerSample(format));
    // Plain WAV when it surely fits: the same bytes as ever.
    if (major == SF_FORMAT_WAV && tooLong) format = SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
    if (major == SF_FORMAT_AIFF && tooLong && expectedFrames >= 0)
        throw ToolError(kExitUsage, "the render is too long for AIFF, whose header counts at "
                                    "most 4 GiB: use .wav (RF64) or .flac");
    return format;
}

struct AudioWriter::Private {
    explicit Private(const std::string& target) : output(target) {}
    OutputFile output;
    VirtualFile io;
    SNDFILE* file = nullptr;
    int format = 0;
    long long frameBytes = 0;
    long long dataBytes = 0;
    std::string path;
};

AudioWriter::AudioWriter(const std::string& path, int format, int sampleRate, int channels) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info))
        throw ToolError(kExitUsage, "cannot write this sample rate or channel count to " + path);
    d_.reset(new Private(path));
    d_->path = path;
    d_->format = format;
    d_->frameBytes = static_cast<long long>(channels) * bytesPerSample(format);
    d_->io.fd = d_->output.descriptor();
    SF_VIRTUAL_IO vio = {vioLength, vioSeek, vioRead, vioWrite, vioTell};
    d_->file = sf_open_virtual(&vio, SFM_WRITE, &info, &d_->io);
    if (!d_->file)
        throw ToolError(kExitOutput, "cannot write " + path + ": " + sf_strerror(nullptr));
    // The PEAK chunk carries a time stamp, which would make equal renders differ.
    sf_command(d_->file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(d_->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
        sf_command(d_->file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (d_ && d_->file) sf_close(d_->file);
}

void AudioWriter::write(const double* interleaved, long long frames) {
    // An AIFF of unknown length that outgrows its header fails rather than wraps.
    d_->dataBytes += frames * d_->frameBytes;
    if ((d_->format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF && d_->dataBytes > kDataLimit)
        throw ToolError(kExitOutput, "cannot write " + d_->path +
                                         ": more than the 4 GiB an AIFF header can count");
    if (sf_writef_double(d_->file, interleaved, frames) != frames || d_->io.error)
        throw ToolError(kExitOutput,
                        "cannot write " + d_->path + ": " +
                            (d_->io.error ? std::strerror(d_->io.error) : sf_strerror(d_->file)));
}

void AudioWriter::finish() {
    if (!d_->file) return;
    int closed = sf_close(d_->file);
    d_->file = nullptr;
    int error = d_->io.error;
    if (!error && closed != 0) error = EIO;
    if (!error && (d_->format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG && !fixOggSerial(d_->io.fd))
        error = errno ? errno : EIO;
    d_->output.finish(error);
}

void AudioWriter::commit() {
    finish();
    d_->output.commit();
}

const std::string& AudioWriter::temporaryPath() const {
    return d_->output.temporaryPath();
}

} // namespace OmbrelHost
