// An output that appears whole or not at all: written to a hidden temporary file in the target's
// folder, flushed to disk and renamed over the target on commit. Without a commit (an error, an
// exception, any terminating signal, a crash or exit() inside a plug-in) the temporary file is
// removed.
// Several outputs of one command are finished first and committed together, so that a failure
// while writing any of them leaves none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace OmbrelHost {

class OutputFile {
public:
    // Throws an output error when the target cannot be replaced (a read-only file, a folder) or
    // its folder cannot take a new file.
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int descriptor() const { return fd_; }
    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Writes every byte or throws an output error.
    void write(const void* data, std::size_t size);
    void write(const std::vector<std::uint8_t>& bytes) { write(bytes.data(), bytes.size()); }
    // Flushes the file to disk and closes it; throws an output error naming errorNumber when it
    // is not 0 (a failure another writer saw on the descriptor), or on any failure of its own.
    void finish(int errorNumber = 0);
    // Puts the finished file in place.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// Throws a usage error when the two paths name the same existing file.
void refuseSameFile(const std::string& output, const std::string& input, const char* inputRole);
bool fileExists(const std::string& path);

} // namespace OmbrelHost
