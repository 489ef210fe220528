#pragma once

#include <string>
#include <vector>

// What Windows knows of its COM ports, as the Windows program reads it
// (serial/com_machine_win32.cpp) and as tests record it: the decisions made
// from it (the port list, the hints after a failed open, the latency note of
// the firmware update) never need the machine itself.

// A COM name of the system (its DOS device names, or the SERIALCOMM key).
struct com_name {
    int number;          // n of COM<n>
    std::string device;  // the device behind it, "\Device\VCP0"; may be empty
};

// A present device of SetupAPI: one of the Ports class, or one with a
// problem code (an adapter without a working driver has no port).
struct setup_device {
    std::string instance_id;    // "USB\VID_0403&PID_6001\A50285BI"
    std::string friendly_name;  // "USB Serial Port (COM3)"
    std::string maker;          // "FTDI"
    std::string service;        // the driver: "FTDIBUS", "usbser", "Serial"
    std::string class_name;     // the setup class, "Ports"; empty when it has none
    std::string port_name;      // the device parameters' PortName, "COM3"; empty without
    unsigned problem = 0;       // the problem code (10: cannot start, 28: no driver), 0 none
    int latency_ms = -1;        // the device parameters' LatencyTimer, -1 without
};

struct com_machine {
    std::vector<com_name> names;
    std::vector<setup_device> devices;
};

// n of "COM<n>" or "\\.\COM<n>" (any case), 0 for any other name.
int com_number_of(const std::string& name);

// "COM23", and the device path it is typed as above COM20: "\\.\COM23".
std::string com_label(int number);
std::string typed_form(int number);

// The machine this program runs on: its COM names and SetupAPI's devices.
// Windows builds only (com_machine_win32.cpp).
com_machine read_com_machine();

// USB vendor and product ids ("0403", "6001") and serial number of an
// instance id, each empty when the id does not carry it. An FTDIBUS id
// ("FTDIBUS\VID_0403+PID_6001+A50285BIA\0000") carries the serial number
// with the adapter's channel letter after it, which is left out.
struct instance_usb_ids {
    std::string vendor;
    std::string product;
    std::string serial;
};
instance_usb_ids usb_ids_of_instance(const std::string& instance_id);

// The port list: one line per COM port, by number, with what SetupAPI knows
// of it (name, maker, driver, USB ids and serial number, a driver problem, a
// latency timer above 2 ms, and for a port above COM20 the form to type),
// then one line per USB serial adapter that has a problem and no port.
std::vector<std::string> com_port_lines(const com_machine& machine);

// The COM port numbers of the machine, in order.
std::vector<int> com_port_numbers(const com_machine& machine);

// What the console says after the system refused to open `port`:
// `in_use` for a port that another program holds, else for a port that does
// not exist. Lines without bells, each ending in a line feed.
std::string open_hint(const com_machine& machine, const std::string& port, bool in_use);

// The doctor's findings on Windows, one line each: every port of the list
// (or, with `port`, that one, and where it does not exist which ports do),
// every USB serial adapter without a working driver, and an FTDI adapter's
// latency timer above 2 ms.
struct finding;
std::vector<finding> com_doctor_findings(const com_machine& machine, const char* port);

// The latency timer of the FTDI adapter behind `port` ("COM3" or
// "\\.\COM3") in milliseconds, -1 when unknown or not an FTDI adapter.
int adapter_latency_ms(const com_machine& machine, const std::string& port);
