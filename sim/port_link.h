#pragma once

#include <string>

namespace sim {

// The symlink that names the device's port for the host (--link).

// Points `link` at `target`, replacing an earlier symlink but never any other
// file. False with errno when that fails.
bool make_link(const std::string& link, const char* target);

// Removes the link unless it now points elsewhere (another simulator took it).
void remove_link(const std::string& link, const char* target);

}  // namespace sim
