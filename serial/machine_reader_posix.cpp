#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/machine_reader.h"

namespace fs = std::filesystem;

machine_reader::machine_reader(std::string root) : root_(std::move(root)) {}

std::string machine_reader::text(const std::string& path) const {
    std::ifstream in(root_ + path, std::ios::binary);
    std::string contents(64 * 1024, '\0');
    in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return contents;
}

std::string machine_reader::first_line(const std::string& path) const {
    std::string contents = text(path);
    return contents.substr(0, contents.find('\n'));
}

std::vector<std::string> machine_reader::names(const std::string& folder) const {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(root_ + folder, error), end; !error && it != end;
         it.increment(error)) {
        found.push_back(it->path().filename().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool machine_reader::listable(const std::string& folder) const {
    std::error_code error;
    fs::directory_iterator it(root_ + folder, error);
    return !error;
}

std::string machine_reader::link(const std::string& path) const {
    std::error_code error;
    fs::path target = fs::read_symlink(root_ + path, error);
    return error ? "" : target.string();
}

std::string machine_reader::resolved(const std::string& path) const {
    std::error_code error;
    std::string found = fs::canonical(root_ + path, error).string();
    if (error) return "";
    return root_.empty() ? found : found.substr(fs::canonical(root_, error).string().size());
}

bool machine_reader::exists(const std::string& path) const {
    std::error_code error;
    return fs::exists(root_ + path, error);
}

port_roots machine_reader::ports() const {
    return {root_ + "/dev", root_ + "/sys", nullptr};
}

bool machine_reader::node(const std::string& path, device_node* found) const {
    struct stat status;
    if (stat((root_ + path).c_str(), &status) != 0) return false;
    *found = {status.st_uid, status.st_gid, static_cast<unsigned>(status.st_mode & 07777)};
    return true;
}

bool machine_reader::same_device(const std::string& descriptor, const std::string& device) const {
    if (link(descriptor) != device) return false;
    struct stat open_file, named;
    if (stat((root_ + descriptor).c_str(), &open_file) != 0) return false;
    if (stat((root_ + device).c_str(), &named) != 0) return false;
    return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

bool machine_reader::may_open(const std::string& path) const {
    return access((root_ + path).c_str(), R_OK | W_OK) == 0;
}

login_identity machine_reader::identity() const {
    login_identity login;
    login.uid = getuid();
    const passwd* user = getpwuid(login.uid);
    login.user = user != nullptr ? user->pw_name : std::to_string(login.uid);
    int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    count = getgroups(static_cast<int>(groups.size()), groups.data());
    for (int i = 0; i < count; ++i) login.groups.push_back(groups[static_cast<std::size_t>(i)]);
    login.groups.push_back(getegid());
    return login;
}
