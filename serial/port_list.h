#pragma once

#include <string>
#include <vector>

// The serial ports of the machine, found without opening any of them.

// Where the lister looks. The program uses system_port_roots(); a test points
// the lister at a tree of its own.
struct port_roots {
    std::string dev;     // the device tree, "/dev"
    std::string sys;     // the kernel's device tree, "/sys"
    char** environment;  // "NAME=value" strings ending in a null pointer
};

port_roots system_port_roots();

// One line per port, in the order: stable names and the device each leads
// to (/dev/serial/by-id, /dev/serial0 and /dev/serial1), USB devices with
// their driver and USB ids, the UARTs and other ports that have a driver
// (a serial port counts only when hardware is behind it), Bluetooth links,
// then the VESTRIMOND_COM<n> mappings and whether their target exists. Names
// sort as they read: ttyS2 before ttyS10. On Windows: com_port_lines() of
// this machine (serial/com_devices.h).
std::vector<std::string> list_ports(const port_roots& roots);

// The USB device behind the tty named `tty` ("ttyUSB0"): its ids as sysfs
// writes them ("0403", "6001") and its product name; all empty when the tty
// is not a USB device's. Linux only.
struct usb_ids {
    std::string vendor;
    std::string product;
    std::string name;
};
usb_ids usb_ids_of(const port_roots& roots, const std::string& tty);

// "0403:6001 FT232R USB UART": the ids and the product name; empty when the
// ids are. Linux only.
std::string usb_description(const usb_ids& usb);

// Whether the serial core registered the tty named `tty` with no UART behind
// it (the 8250 driver's ttyS ports that the machine lacks). Linux only.
bool placeholder_port(const port_roots& roots, const std::string& tty);

// The driver of the hardware behind the tty named `tty` ("ftdi_sio",
// "serial8250"), empty when it has none. Linux only.
std::string driver_of(const port_roots& roots, const std::string& tty);

// The port names that Tab completes after "connect" and "firmware": COM<n> for
// each mapped or existing port, then the path of every port that the list
// shows, in its order.
std::vector<std::string> port_names(const port_roots& roots);
