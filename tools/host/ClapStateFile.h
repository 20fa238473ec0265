// The state file ombrel-host keeps for a CLAP plug-in: a few lines of text that name the plug-in
// and count the bytes, then the plug-in's own state bytes as it saved them:
//   ombrel-host clap-state 1
//   id com.korvel.ombrel
//   name Ombrel
//   version 3.1
//   bytes 2586
//   (an empty line, then the bytes)
// A plug-in's state is its own business: only the id decides whose state the file holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OmbrelHost {

struct ClapStateFile {
    std::string id, name, version;
    std::vector<std::uint8_t> state;
};

std::vector<std::uint8_t> encodeClapState(const ClapStateFile& file);
// False with the reason when the bytes are no such file or are cut short.
bool decodeClapState(const std::vector<std::uint8_t>& bytes, ClapStateFile& file,
                     std::string& error);
// Whether the bytes start as such a file does.
bool isClapState(const std::vector<std::uint8_t>& bytes);

} // namespace OmbrelHost
