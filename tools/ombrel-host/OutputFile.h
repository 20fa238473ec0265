// An output that appears whole or not at all: written to a hidden temporary file in the target's
// folder and renamed over the target on commit. Without a commit (an error, an exception, Ctrl-C)
// the temporary file is removed.
#pragma once

#include <string>

namespace OmbrelHost {

class OutputFile {
public:
    // Throws an output error when the folder cannot take a new file.
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The temporary file's descriptor; whoever takes it closes it before commit.
    int takeDescriptor();
    const std::string& temporaryPath() const { return temporary_; }
    void commit();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

// Throws a usage error when the two paths name the same existing file.
void refuseSameFile(const std::string& output, const std::string& input, const char* inputRole);
bool fileExists(const std::string& path);

} // namespace OmbrelHost
