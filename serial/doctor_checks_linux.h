#pragma once

#include <string>
#include <vector>

#include "serial/doctor.h"
#include "serial/machine_reader.h"

// The doctor's checks of a Linux machine. Each is a function of what the
// reader gives; each finding is one line.

// A port as the checks see it: the path given, the device it leads to, the
// device's tty name, and its hardware as the port list reads it.
struct port_facts {
    std::string path;    // "/dev/serial/by-id/usb-..." or "/dev/ttyUSB0"
    std::string device;  // "/dev/ttyUSB0"; empty when the path leads nowhere
    std::string tty;     // "ttyUSB0", "pts/3": the device's name under /dev
    std::string driver;  // "ftdi_sio"; empty when none
    usb_ids usb;
};

port_facts read_port_facts(const machine_reader& reader, const std::string& path);

// Every check of one port, in order: the port, access, a lock file, other
// processes, ModemManager, brltty, a login console, the Raspberry Pi's
// UARTs, the latency timer. A port that does not exist gets the first only.
std::vector<finding> port_findings(const machine_reader& reader, const std::string& path);

// The ports of the list, each device once, checked in the list's order.
std::vector<finding> machine_findings(const machine_reader& reader);

// The single checks, for the tests. The optional ones add nothing where they
// do not apply (a check of USB adapters on a UART).
finding check_port(const machine_reader& reader, const port_facts& port);
finding check_access(const machine_reader& reader, const port_facts& port);
finding check_lock_file(const machine_reader& reader, const port_facts& port);
finding check_other_processes(const machine_reader& reader, const port_facts& port);
void check_modem_manager(const machine_reader& reader, const port_facts& port,
                         std::vector<finding>& found);
void check_brltty(const machine_reader& reader, const port_facts& port,
                  std::vector<finding>& found);
void check_login_console(const machine_reader& reader, const port_facts& port,
                         std::vector<finding>& found);
void check_raspberry_pi(const machine_reader& reader, const port_facts& port,
                        std::vector<finding>& found);
void check_latency_timer(const machine_reader& reader, const port_facts& port,
                         std::vector<finding>& found);
