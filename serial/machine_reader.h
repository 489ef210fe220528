#pragma once

#include <string>
#include <vector>

#include "serial/port_list.h"

// What the doctor reads of a Linux machine: files under /proc, /sys, /etc,
// /run and /dev, the owner and mode of a device, whether this login may open
// it, and who this login is. The program reads the machine itself (root "");
// a test points the reader at a recorded tree and overrides what a tree of
// plain files cannot hold (owners, modes, the login's groups).

// A device node: its owner, group and permission bits.
struct device_node {
    unsigned uid = 0;
    unsigned gid = 0;
    unsigned mode = 0;  // the permission bits, 0660
};

// The user behind this login and the groups the login has now (which may be
// fewer than the group database gives the user: groups joined since the
// login began come with the next login).
struct login_identity {
    unsigned uid = 0;
    std::string user;
    std::vector<unsigned> groups;
};

class machine_reader {
  public:
    explicit machine_reader(std::string root = "");
    virtual ~machine_reader() = default;

    // The whole text of a file (at most 64 KiB), empty when it is missing or
    // unreadable.
    std::string text(const std::string& path) const;
    // The first line of a file without its line end.
    std::string first_line(const std::string& path) const;
    // The names in a folder, sorted; none when it is missing or unreadable.
    std::vector<std::string> names(const std::string& folder) const;
    // Whether the folder's entries could be listed.
    bool listable(const std::string& folder) const;
    // Where a symbolic link leads, as written in it; empty when `path` is none.
    std::string link(const std::string& path) const;
    // The path with every link followed, inside the tree; empty when missing.
    std::string resolved(const std::string& path) const;
    bool exists(const std::string& path) const;
    // Where the port list reads this machine, without the COM mappings.
    port_roots ports() const;

    // The owner, group and mode of `path`; false when it does not exist.
    virtual bool node(const std::string& path, device_node* found) const;
    // Whether the open file `descriptor` (/proc/PID/fd/N) is the device
    // `device`: the same file, not only a link of the same text (a pty of
    // another mount namespace has the same name).
    virtual bool same_device(const std::string& descriptor, const std::string& device) const;
    // Whether this login may open `path` for reading and writing.
    virtual bool may_open(const std::string& path) const;
    virtual login_identity identity() const;

  private:
    std::string root_;
};
