// Audio files through libsndfile: block-wise reading with memory bounded whatever a header
// claims, and block-wise writing into an all-or-nothing output whose container follows the file
// name's extension.
#pragma once

#include "tools/ombrel-host/OutputFile.h"

#include <memory>
#include <string>

namespace OmbrelHost {

// Sample rates the host renders at; outside them a plug-in may refuse the rate and run silent.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 768000;

class AudioReader {
public:
    // Throws an input error for a missing, unreadable or unsupported file, including one that is
    // not mono or stereo or whose sample rate is outside the range above.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    int format() const { return format_; } // libsndfile major format and subtype
    // What the header says, or -1 when it does not (streams, pipes); a hint only.
    long long claimedFrames() const { return claimedFrames_; }
    // Up to frames interleaved frames; 0 at the end. Throws an input error on a read failure.
    long long read(double* interleaved, long long frames);

private:
    std::string path_;
    void* file_ = nullptr;
    int sampleRate_ = 0;
    int channels_ = 0;
    int format_ = 0;
    long long claimedFrames_ = -1;
};

// Throws a usage error for an extension we cannot write; answers the libsndfile format.
// sourceFormat, when not 0, lends its sample type to containers that can hold it. A WAV whose
// data may outgrow the 4 GiB of its header (expectedFrames of channels, or an unknown length
// given as -1) is written as RF64, which libsndfile turns back into plain WAV when it fits; an
// AIFF that would outgrow its header is refused.
int outputFormatFor(const std::string& path, int sourceFormat, long long expectedFrames = 0,
                    int channels = 2);

class AudioWriter {
public:
    // Throws a usage error for a rate or channel count the format cannot hold, an output error
    // when the file cannot be made.
    AudioWriter(const std::string& path, int format, int sampleRate, int channels);
    ~AudioWriter();
    void write(const double* interleaved, long long frames);
    // Completes the file on disk; every write failure up to here, the encoder's last flush and
    // the flush to disk included, throws an output error.
    void finish();
    // Puts the finished file in place.
    void commit();
    const std::string& temporaryPath() const;

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

} // namespace OmbrelHost
