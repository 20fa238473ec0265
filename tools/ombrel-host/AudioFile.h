// Audio files through libsndfile: whole-file reading, and block-wise writing into an
// all-or-nothing output whose container follows the file name's extension.
#pragma once

#include "tools/ombrel-host/OutputFile.h"

#include <memory>
#include <string>
#include <vector>

namespace OmbrelHost {

struct Audio {
    int sampleRate = 44100;
    int channels = 1;
    long long frames = 0;
    int format = 0;              // libsndfile major format and subtype of the file read
    std::vector<double> samples; // interleaved
};

// Throws an input error for a missing, unreadable or unsupported file.
Audio readAudio(const std::string& path);

// Throws a usage error for an extension we cannot write; answers the libsndfile format.
// sourceFormat, when not 0, lends its sample type to containers that can hold it.
int outputFormatFor(const std::string& path, int sourceFormat);

class AudioWriter {
public:
    AudioWriter(const std::string& path, int format, int sampleRate, int channels);
    ~AudioWriter();
    void write(const double* interleaved, long long frames);
    // Closes and puts the file in place.
    void commit();

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

} // namespace OmbrelHost
