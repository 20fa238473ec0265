#include "tools/host/ClapStateFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace OmbrelHost {

namespace {

constexpr char kMagic[] = "ombrel-host clap-state 1\n";
// Far beyond any header this host writes: a file without its end in there is none of ours.
constexpr std::size_t kMaxHeader = 4096;

// The text of a one-line field, which may hold neither line breaks nor terminators.
std::string field(const std::string& value) {
    std::string s = value;
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == 0) c = ' ';
    return s;
}

} // namespace

std::vector<std::uint8_t> encodeClapState(const ClapStateFile& file) {
    const std::string header = std::string(kMagic) + "id " + field(file.id) + "\nname " +
                               field(file.name) + "\nversion " + field(file.version) + "\nbytes " +
                               std::to_string(file.state.size()) + "\n\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), file.state.begin(), file.state.end());
    return bytes;
}

bool isClapState(const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = std::strlen(kMagic);
    return bytes.size() >= n && std::memcmp(bytes.data(), kMagic, n) == 0;
}

bool decodeClapState(const std::vector<std::uint8_t>& bytes, ClapStateFile& file,
                     std::string& error) {
    if (!isClapState(bytes)) {
        error = "not a CLAP state file of ombrel-host (it starts \"ombrel-host clap-state 1\")";
        return false;
    }
    const std::string head(bytes.begin(), bytes.begin() + std::min(bytes.size(), kMaxHeader));
    const std::size_t end = head.find("\n\n");
    if (end == std::string::npos) {
        error = "its header is cut short";
        return false;
    }
    file = ClapStateFile{};
    long long size = -1;
    for (std::size_t at = std::strlen(kMagic); at < end + 1;) {
        const std::size_t next = head.find('\n', at);
        const std::string line = head.substr(at, next - at);
        at = next + 1;
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "id") file.id = value;
        if (key == "name") file.name = value;
        if (key == "version") file.version = value;
        if (key == "bytes") {
            char* stop = nullptr;
            errno = 0;
            size = std::strtoll(value.c_str(), &stop, 10);
            if (value.empty() || *stop || errno || size < 0) size = -2;
        }
    }
    const std::size_t body = end + 2;
    if (file.id.empty() || size < 0) {
        error = "its header names no plug-in id or byte count";
        return false;
    }
    if (bytes.size() - body != static_cast<unsigned long long>(size)) {
        error = bytes.size() - body < static_cast<unsigned long long>(size)
                    ? "it is cut short: " + std::to_string(bytes.size() - body) + " of " +
                          std::to_string(size) + " state bytes"
                    : "it holds " + std::to_string(bytes.size() - body - size) +
                          " bytes more than its header counts";
        return false;
    }
    file.state.assign(bytes.begin() + static_cast<std::ptrdiff_t>(body), bytes.end());
    return true;
}

} // namespace OmbrelHost
