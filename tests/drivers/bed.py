#!/usr/bin/env python3
"""The program on the kernel's own serial drivers: `make test-drivers`.

Builds a small guest (Debian's kernel, a static busybox, the program with its
shared libraries, the modules, the example files and an init that runs the
steps), boots it in QEMU with its serial ports wired to simulators on this
machine (an emulated PC: a 16550 UART and an FTDI adapter; an emulated arm64
board: its PL011 UART, the Raspberry Pi's), runs every step of
tests/drivers/steps in that one boot, and checks the results here: the
program's output, its exit status, the simulator's strict verdict and the
bytes it saved, the rates the guest programmed (from QEMU's trace), and the
same steps on a pty for comparison.

The guest's ports are wired only to simulators: QEMU opens each simulator's
pty with its `serial` chardev backend, which applies the rate the guest sets
to that pty (the PL011, which passes no rate, reaches it through the bed:
UartRelay). The guest talks to the bed over a virtio console.
"""

import argparse
import base64
import json
import os
import queue
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import tty
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent.parent

# A port of the guest under test: its role in the table ("uart": the PC's
# 16550, "adapter": the FTDI adapter, "pl011": the arm64 board's UART), its
# device, the COM number the program reaches it by, the simulator's options
# that its QEMU model needs, and the clock of a UART whose rate follows from
# its divisors in the trace.
class Port:
    def __init__(self, role, device, com, sim_options=(), clock=None):
        self.role, self.device, self.com = role, device, com
        self.sim_options = list(sim_options)
        self.clock = clock

    def plugged(self):
        """The adapter is plugged in for each step; a UART is rewired."""
        return self.role == "adapter"


# A guest machine: QEMU and its options, the Debian kernel package (its
# dependency names the real kernel package), the ports under test and how QEMU
# makes the UART (the adapter is plugged in by the monitor), the environment
# that maps COM numbers to them, the links the guest's init makes to them, the
# modules the guest loads (what they depend on is found here), where the
# kernel's console goes, and how the guest's programs are made: the compiler
# of the modem lines helper, the busybox (this machine's, or one unpacked from
# the package named), and how the program's shared libraries are found.
MACHINES = {
    "x86_64": {
        "qemu": ["qemu-system-x86_64", "-M", "pc", "-m", "256", "-cpu", "max"],
        "kernel": "linux-image-amd64",
        "image": "boot/vmlinuz-*",
        # COM2 is /dev/ttyS1 by the program's own rule.
        "ports": {"uart": Port("uart", "ttyS1", 2), "adapter": Port("adapter", "ttyUSB0", 3)},
        "environment": "VESTRIMOND_COM3=/dev/ttyUSB0",
        "links": {},
        "uart_relay": None,
        # The guest's first UART carries the kernel's messages to a file; the
        # second is the port under test.
        "uart_qemu": ["-chardev", "file,id=kernel,path={work}/kernel.log", "-serial",
                      "chardev:kernel", "-chardev", "null,id=uart", "-serial", "chardev:uart"],
        "append": "console=ttyS0 quiet loglevel=3 panic=-1",
        "console": [],
        "usb": ["-device", "qemu-xhci,id=xhci"],
        "control": ["-device", "virtio-serial-pci"],
        "modules": ["virtio_pci", "virtio_console", "xhci_pci", "ftdi_sio"],
        "trace": ["serial_write", "serial_update_parameters", "usb_serial_set_baud",
                  "usb_serial_set_data", "usb_serial_handle_control"],
        "cc": "cc",
        "busybox": None,
        "ldd": ["ldd"],
    },
    # QEMU's arm64 board (TCG), whose only UART is a PL011, the Raspberry
    # Pi's: the amba-pl011 driver's /dev/ttyAMA0. QEMU's PL011 passes neither
    # the rate nor the frame the guest sets on to its chardev (a pty on QEMU's
    # serial backend stays at the 115200 baud it sets when it opens it), so
    # the simulator hears every byte as sent, and the rates and frame the
    # guest programmed are checked from QEMU's trace alone; and its chardev
    # cannot be changed while the guest runs, so it is a socket of the bed's,
    # which joins it to each step's simulator (UartRelay).
    "aarch64": {
        "qemu": ["qemu-system-aarch64", "-M", "virt", "-m", "256", "-cpu", "cortex-a57"],
        "kernel": "linux-image-arm64:arm64",
        "image": "boot/vmlinuz-*",
        # The UART's clock is the board's apb-pclk of its device tree.
        "ports": {"pl011": Port("pl011", "ttyAMA0", 1, ["--ignore-host-rate"], 24000000)},
        "environment": "VESTRIMOND_COM1=/dev/ttyAMA0",
        # As a Raspberry Pi's udev rules make it for its primary UART.
        "links": {"serial0": "ttyAMA0"},
        "uart_qemu": ["-chardev", "socket,id=uart,path={work}/uart.sock,server=on,wait=off",
                      "-serial", "chardev:uart"],
        "uart_relay": "uart.sock",
        # The kernel's console is a second virtio console (hvc1), to a file.
        "append": "console=hvc1 quiet loglevel=3 panic=-1",
        "console": ["-chardev", "file,id=kernel,path={work}/kernel.log", "-device",
                    "virtconsole,chardev=kernel"],
        "usb": [],
        "control": ["-device", "virtio-serial-device"],
        "modules": ["virtio_mmio", "virtio_console"],
        "trace": ["pl011_write"],
        "cc": "aarch64-linux-gnu-gcc",
        "busybox": "busybox-static:arm64",
        # The arm64 loader lists the libraries, run by qemu-user.
        "ldd": ["qemu-aarch64", "/lib/ld-linux-aarch64.so.1", "--list"],
    },
}

STEP_TIMEOUT = 120  # seconds a step may take in the guest before the bed gives up


def log(text):
    print(f"test-drivers: {text}", flush=True)


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


# ---------------------------------------------------------------- the table


class Step:
    """One row of the table: a step run on each of its ports."""

    def __init__(self, fields):
        (self.name, ports, kind, self.user, sim, program_input, status, self.pty,
         shows) = fields
        self.kind, *self.kind_arguments = kind.split()
        self.roles = ports.split()
        self.sim = sim.split()
        self.input = program_input
        self.status = int(status)
        self.shows = unescape(shows)

    def input_bytes(self, port):
        lines = [part.strip() for part in self.input.split(";")]
        text = "".join(line + "\n" for line in lines) if self.input.strip() else ""
        return text.replace("$P", str(port.com)).encode()

    def sim_options(self, port):
        return [option.replace("$P", str(port.com)) for option in self.sim]

    def shown(self, port):
        return self.shows.replace(b"$P", str(port.com).encode()).replace(
            b"$D", f"/dev/{port.device}".encode())


def unescape(text):
    return text.encode().decode("unicode_escape").encode("latin-1")


def steps_on(machine, steps):
    """The steps of the table that run on the machine's ports, each on those."""
    kept = []
    for step in steps:
        step.roles = [role for role in step.roles if role in machine["ports"]]
        if step.roles:
            kept.append(step)
    return kept


def read_table(path):
    steps = []
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = [field.strip() for field in line.split("|")]
        if len(fields) != 9:
            sys.exit(f"{path}:{number}: 9 fields separated by | expected")
        steps.append(Step(fields))
    return steps


# ---------------------------------------------------------------- the guest


def kernel_package(machine):
    """The real kernel package that the machine's metapackage depends on
    (NAME:ARCH for another architecture's)."""
    depends = subprocess.run(["apt-cache", "depends", machine["kernel"]],
                             capture_output=True, text=True).stdout
    found = re.search(r"Depends: (linux-image-\S+)", depends)
    return found.group(1) if found else None


def fetch_package(work, package):
    """A Debian package (NAME or NAME:ARCH) unpacked into the work folder,
    never installed; the folder it is in. The package lists are brought up to
    date (as root) when its file has gone from the archive."""
    name = package.split(":")[0]
    unpacked = work / package.replace(":", "_")
    if not (unpacked / ".unpacked").exists():
        shutil.rmtree(unpacked, ignore_errors=True)
        for old in work.glob(f"{name}_*.deb"):
            old.unlink()
        log(f"fetching {package}")
        download = ["apt-get", "download", "-q", package]
        if subprocess.run(download, cwd=work, stdout=subprocess.DEVNULL).returncode != 0:
            if os.geteuid() != 0:
                sys.exit(f"test-drivers: {package} cannot be downloaded")
            run(["apt-get", "update", "-qq"])
            run(download, cwd=work, stdout=subprocess.DEVNULL)
        deb = next(work.glob(f"{name}_*.deb"))
        run(["dpkg-deb", "-x", str(deb), str(unpacked)])
        deb.unlink()
        (unpacked / ".unpacked").touch()
    return unpacked


def fetch_kernel(work, machine):
    """Debian's kernel image and modules, unpacked into the work folder. The
    package lists are brought up to date (as root) when they do not know the
    kernel."""
    package = kernel_package(machine)
    if package is None and os.geteuid() == 0:
        run(["apt-get", "update", "-qq"])
        package = kernel_package(machine)
    if package is None:
        sys.exit(f"test-drivers: no kernel package behind {machine['kernel']} "
                 "(apt-get update as root)")
    unpacked = fetch_package(work, package)
    image = next(unpacked.glob(machine["image"]))
    modules = next(unpacked.glob("lib/modules/*/kernel"))
    return image, modules


def module_order(modules_dir, wanted):
    """The wanted modules and what they depend on, each after its dependencies."""
    files = {path.stem.replace("-", "_"): path for path in modules_dir.rglob("*.ko")}
    order = []

    def add(name):
        if name in order:
            return
        if name not in files:
            sys.exit(f"test-drivers: no module {name} in the kernel package")
        found = re.search(rb"\0depends=([^\0]*)\0", files[name].read_bytes())
        for dependency in found.group(1).decode().split(",") if found else []:
            if dependency:
                add(dependency.replace("-", "_"))
        order.append(name)

    for name in wanted:
        add(name)
    return [files[name] for name in order]


def shared_libraries(machine, program):
    listing = subprocess.run(machine["ldd"] + [str(program)], check=True, capture_output=True,
                             text=True).stdout
    return re.findall(r"(/\S+) \(0x", listing)


def build_guest(work, build, machine, steps, modules_dir):
    root = work / "root"
    shutil.rmtree(root, ignore_errors=True)
    for folder in ["bin", "dev", "proc", "sys", "tmp", "run", "etc", "root", "bed/input",
                   "lib/modules"]:
        (root / folder).mkdir(parents=True, exist_ok=True)
    busybox = Path("/bin/busybox")
    if machine["busybox"]:
        busybox = fetch_package(work.parent, machine["busybox"]) / "bin/busybox"
    shutil.copy(busybox, root / "bin/busybox")
    program = build / "vestrimond"
    shutil.copy(program, root / "bin/vestrimond")
    for library in shared_libraries(machine, program):
        target = root / library.lstrip("/")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(library, target)
    run([machine["cc"], "-O2", "-static", "-o", str(root / "bin/modem_lines"),
         str(HERE / "modem_lines.c")])
    shutil.copytree(SOURCE / "examples", root / "bed/examples")
    loaded = []
    for module in module_order(modules_dir, machine["modules"]):
        shutil.copy(module, root / "lib/modules" / module.name)
        loaded.append(module.name)
    (root / "etc/passwd").write_text("root:x:0:0::/root:/bin/sh\n"
                                     "op:x:1000:1000::/tmp:/bin/sh\n"
                                     "dial:x:1001:1001::/tmp:/bin/sh\n")
    (root / "etc/group").write_text("root:x:0:\ndialout:x:20:dial\nop:x:1000:\ndial:x:1001:\n")
    ports = machine["ports"]
    for step in steps:
        for role in step.roles:
            (root / "bed/input" / f"{step.name}.{ports[role].device}").write_bytes(
                step.input_bytes(ports[role]))
    init = (HERE / "guest.sh").read_text()
    init = init.replace("@MODULES@", " ".join(loaded)).replace("@ENV@", machine["environment"])
    init = init.replace("@LINKS@", "\n".join(f"ln -s {target} /dev/{link}"
                                             for link, target in machine["links"].items()))
    calls = "".join(" ".join([step.kind, step.name, ports[role].device, step.user]
                             + step.kind_arguments) + "\n"
                    for step in steps for role in step.roles)
    init = init.replace("@STEPS@", calls)
    (root / "init").write_text(init)
    (root / "init").chmod(0o755)
    initrd = work / "initrd.gz"
    files = subprocess.run(["find", "."], cwd=root, check=True, capture_output=True).stdout
    with open(initrd, "wb") as out:
        cpio = subprocess.Popen(["cpio", "-o", "-H", "newc", "-R", "0:0", "--quiet"], cwd=root,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        gzip = subprocess.Popen(["gzip", "-1"], stdin=cpio.stdout, stdout=out)
        cpio.stdout.close()
        cpio.communicate(files)
        gzip.wait()
    return initrd


# ---------------------------------------------------------------- the host side


class Simulator:
    """A vestrimond-sim playing the device on a pty, its verdict kept when it stops."""

    def __init__(self, build, folder, options):
        folder.mkdir(parents=True, exist_ok=True)
        self.folder = folder
        self.saved = {kind: folder / f"saved-{kind}" for kind in ("conf", "rules", "firmware")}
        command = [str(build / "sim/vestrimond-sim"), "--strict", "--pace", "--verbose",
                   "--save-conf", str(self.saved["conf"]), "--save-rules",
                   str(self.saved["rules"]), "--save-firmware", str(self.saved["firmware"])]
        self.log = open(folder / "sim.log", "wb")
        self.process = subprocess.Popen(command + options, stdout=subprocess.PIPE,
                                        stderr=self.log)
        self.path = self.process.stdout.readline().decode().strip()
        if not self.path:
            sys.exit(f"test-drivers: the simulator did not start: {command + options}")
        self.status = None

    def stop(self):
        if self.status is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.status = self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.status = self.process.wait()
            self.log.close()
        return self.status

    def violations(self):
        text = (self.folder / "sim.log").read_text(errors="replace")
        return [line for line in text.splitlines() if "violation" in line.lower()]


class Machine:
    """QEMU with its monitor (QMP) and the guest's control console."""

    def __init__(self, work, machine, image, initrd):
        self.work = work
        for name in ("qmp.sock", "control.sock", "uart.sock", "trace.log", "kernel.log"):
            (work / name).unlink(missing_ok=True)
        uart, console = ([part.replace("{work}", str(work)) for part in machine[options]]
                         for options in ("uart_qemu", "console"))
        trace = []
        for event in machine["trace"]:
            trace += ["-trace", event]
        command = (machine["qemu"] + ["-display", "none", "-no-reboot", "-nodefaults",
                                      "-kernel", str(image), "-initrd", str(initrd),
                                      "-append", machine["append"]] + uart + machine["usb"]
                   + machine["control"]
                   + ["-chardev", f"socket,id=control,path={work}/control.sock,server=on,wait=off",
                      "-device", "virtconsole,chardev=control"] + console
                   + ["-qmp", f"unix:{work}/qmp.sock,server=on,wait=off",
                      "-msg", "timestamp=on", "-D", str(work / "trace.log")] + trace)
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL)
        self.qmp_socket = self.connect("qmp.sock")
        self.qmp_file = self.qmp_socket.makefile("rw")
        self.qmp_file.readline()
        self.events = []
        self.qmp("qmp_capabilities")
        self.control = self.connect("control.sock")
        self.relay = UartRelay(self.connect(machine["uart_relay"])) if machine[
            "uart_relay"] else None
        self.pending = b""
        self.adapter = None  # the id of the plugged adapter and of its chardev
        self.pulled = False

    def connect(self, name):
        deadline = time.monotonic() + 30
        while True:
            try:
                sock = socket.socket(socket.AF_UNIX)
                sock.connect(str(self.work / name))
                return sock
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise
                time.sleep(0.05)

    def qmp(self, command, **arguments):
        self.qmp_file.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
        self.qmp_file.flush()
        while True:
            answer = json.loads(self.qmp_file.readline())
            if "event" in answer:
                self.events.append(answer)
                continue
            if "error" in answer:
                raise RuntimeError(f"{command}: {answer['error']['desc']}")
            return answer.get("return")

    def wait_event(self, name, timeout=10):
        deadline = time.monotonic() + timeout
        self.qmp_socket.settimeout(0.2)
        try:
            while time.monotonic() < deadline:
                for event in self.events:
                    if event["event"] == name:
                        self.events.remove(event)
                        return True
                try:
                    line = self.qmp_file.readline()
                except (socket.timeout, TimeoutError):
                    continue
                if line:
                    self.events.append(json.loads(line))
            return False
        finally:
            self.qmp_socket.settimeout(None)

    def wire_uart(self, path):
        if self.relay:
            self.relay.join(path)
            return
        backend = {"type": "serial", "data": {"device": path}} if path else {"type": "null",
                                                                             "data": {}}
        self.qmp("chardev-change", id="uart", backend=backend)

    def plug_adapter(self, path, number):
        self.adapter = f"adapter{number}"
        self.qmp("chardev-add", id=self.adapter,
                 backend={"type": "serial", "data": {"device": path}})
        self.qmp("device_add", driver="usb-serial", id=self.adapter, chardev=self.adapter)

    def pull_adapter(self):
        """Pulls the adapter out, as a user does; its chardev stays."""
        self.qmp("device_del", id=self.adapter)
        self.pulled = True

    def unplug_adapter(self):
        if self.adapter is None:
            return
        if not self.pulled:
            try:
                self.qmp("device_del", id=self.adapter)
            except RuntimeError:
                pass  # the simulator cut its line: the adapter went with it
        self.wait_event("DEVICE_DELETED")
        self.qmp("chardev-remove", id=self.adapter)
        self.adapter = None
        self.pulled = False

    def read_line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or self.process.poll() is not None:
                return None
            self.control.settimeout(left)
            try:
                chunk = self.control.recv(65536)
            except (socket.timeout, TimeoutError):
                return None
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode(errors="replace").rstrip("\r")

    def say(self, text):
        self.control.sendall(text.encode() + b"\n")

    def stop(self, wait=30):
        try:
            self.process.wait(wait)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class UartRelay:
    """A UART whose chardev is a socket of the bed's, joined to a simulator's
    pty at a time. The bed holds the pty open for the step, as QEMU's serial
    backend holds the PC's; between steps what the guest sends is dropped."""

    def __init__(self, sock):
        self.sock = sock
        self.requests = queue.Queue()
        self.joined = threading.Event()
        self.wake_read, self.wake_write = os.pipe()
        self.line = None
        threading.Thread(target=self.carry, daemon=True).start()

    def join(self, path):
        """Joins the UART to the pty at `path`, or to nothing (None)."""
        self.joined.clear()
        self.requests.put(path)
        os.write(self.wake_write, b"!")
        self.joined.wait(10)

    def rejoin(self):
        if self.line is not None:
            os.close(self.line)
            self.line = None
        while not self.requests.empty():
            path = self.requests.get()
            if path:
                self.line = os.open(path, os.O_RDWR | os.O_NOCTTY)
                tty.setraw(self.line)
        self.joined.set()

    def carry(self):
        while True:
            watched = [self.sock, self.wake_read] + ([self.line] if self.line is not None else [])
            ready = select.select(watched, [], [])[0]
            if self.wake_read in ready:
                os.read(self.wake_read, 64)
                self.rejoin()
                continue
            if self.sock in ready:
                data = self.sock.recv(4096)
                if not data:
                    return  # QEMU has ended
                try:
                    while self.line is not None and data:
                        data = data[os.write(self.line, data):]
                except OSError:
                    pass  # the simulator cut its line
            if self.line is not None and self.line in ready:
                try:
                    data = os.read(self.line, 4096)
                except OSError:
                    data = b""  # the simulator cut its line: silence from now on
                if data:
                    self.sock.sendall(data)
                else:
                    os.close(self.line)
                    self.line = None


class Run:
    """One step on one port: what the guest sent back, the simulator's verdict,
    and when it ran."""

    def __init__(self, step, port, folder):
        self.step = step
        self.port = port
        self.key = (step.name, port.device)
        self.folder = folder
        self.files = {}
        self.sim = None
        self.started = self.ended = None  # wall clock, as QEMU's trace stamps its events
        self.started_monotonic = None
        self.unplugged = False
        self.download_seen = None

    def file(self, name):
        return self.files.get(name, b"")

    def status(self, name="main"):
        text = self.file(f"{name}.status").strip()
        return int(text) if text else None

    def seconds(self):
        text = self.file("main.centiseconds").strip()
        return int(text) / 100 if text else None


# The adapter is pulled out once the transfer is under way: a quarter of a
# second (a few packets) into the download, or after ten firmware records.
def transfer_under_way(run):
    records = run.sim.saved["firmware"]
    if records.exists():
        return records.read_bytes().count(b"\n") >= 10
    if run.download_seen is None:
        if b"download receiver started" in (run.folder / "sim.log").read_bytes():
            run.download_seen = time.monotonic()
        return False
    return time.monotonic() - run.download_seen >= 0.25


def boot_and_run(work, build, machine, image, initrd, steps):
    """Boots the guest and runs every step; the runs in the order they ran."""
    by_name = {step.name: step for step in steps}
    by_device = {port.device: port for port in machine["ports"].values()}
    runs = []
    vm = Machine(work, machine, image, initrd)
    current = None
    receiving = None
    started = time.monotonic()
    try:
        while True:
            if current is not None and current.step.kind == "unplug" and not current.unplugged:
                if transfer_under_way(current):
                    vm.pull_adapter()
                    current.unplugged = True
                line = vm.read_line(0.02)
                if line is None and time.monotonic() - current.started_monotonic < STEP_TIMEOUT:
                    continue
            else:
                line = vm.read_line(STEP_TIMEOUT)
            if line is None:
                log("the guest stopped answering"
                    + (f" in step {current.step.name} on {current.port.device}" if current else ""))
                break
            if receiving is not None:
                if line == "@@bed end":
                    content = base64.b64decode("".join(receiving[1]))
                    current.files[receiving[0]] = content
                    (current.folder / receiving[0]).write_bytes(content)
                    receiving = None
                else:
                    receiving[1].append(line)
                continue
            if not line.startswith("@@bed "):
                continue
            words = line.split()
            if words[1] == "ready":
                step, port = by_name[words[2]], by_device[words[3]]
                current = Run(step, port, work / "runs" / f"{step.name}.{port.device}")
                shutil.rmtree(current.folder, ignore_errors=True)
                current.sim = Simulator(build, current.folder,
                                        step.sim_options(port) + port.sim_options)
                if port.plugged():
                    vm.plug_adapter(current.sim.path, len(runs))
                else:
                    vm.wire_uart(current.sim.path)
                current.started = time.time()
                current.started_monotonic = time.monotonic()
                vm.say("go")
            elif words[1] == "file":
                receiving = (words[2], [])
            elif words[1] == "done":
                current.ended = time.time()
                if current.port.plugged():
                    vm.unplug_adapter()
                else:
                    vm.wire_uart(None)
                current.sim.stop()
                runs.append(current)
                log(f"{current.step.name} on {current.port.device}: "
                    f"{time.monotonic() - current.started_monotonic:.1f} s")
                current = None
            elif words[1] == "end":
                break
    finally:
        if current is not None and current.sim is not None:
            current.sim.stop()
        vm.stop(30 if current is None else 0)
    log(f"guest: {time.monotonic() - started:.0f} s")
    return runs


# ---------------------------------------------------------------- the same on a pty


class Reference:
    """A step run on this machine with the port on the simulator's pty."""

    def __init__(self, build, step, port, folder):
        shutil.rmtree(folder, ignore_errors=True)
        self.sim = Simulator(build, folder, step.sim_options(port))
        environment = dict(os.environ)
        for name in [name for name in environment if name.startswith("VESTRIMOND_COM")]:
            del environment[name]
        environment[f"VESTRIMOND_COM{port.com}"] = self.sim.path
        start = time.monotonic()
        done = subprocess.run([str(build / "vestrimond")], input=step.input_bytes(port),
                              capture_output=True, cwd=SOURCE, env=environment, timeout=300)
        self.seconds = time.monotonic() - start
        self.stdout, self.stderr, self.status = done.stdout, done.stderr, done.returncode
        if self.status < 0:
            self.status = 128 - self.status
        self.sim.stop()


# ---------------------------------------------------------------- QEMU's trace


def read_trace(path):
    """The trace's events: (time, event name, arguments text)."""
    events = []
    pattern = re.compile(r"^\d+@(\d+\.\d+):(\w+) (.*)$")
    for line in path.read_text(errors="replace").splitlines():
        found = pattern.match(line)
        if found:
            events.append((float(found.group(1)), found.group(2), found.group(3)))
    return events


class PortTrace:
    """What the guest did to one port during one run, from QEMU's trace: the
    rates it programmed (each with the bytes it sent, for the UART), and each
    DTR/RTS pulse of an open."""

    def __init__(self, events, run):
        self.rates = []       # every rate programmed, in turn
        self.sent = []        # (byte, the rate at the time), UARTs only
        self.pulses = []      # seconds DTR and RTS were up before going down
        self.frame = None     # the last data bits, parity, stop bits programmed
        window = [event for event in events if run.started <= event[0] <= run.ended]
        if run.port.role == "pl011":
            self.read_pl011(window, run.port.clock)
        else:
            (self.read_uart if run.port.role == "uart" else self.read_adapter)(window)

    def programmed(self, wanted):
        """The rates programmed for the rates `wanted`: an open first restores
        the rate that the port had before, and the release gives it back."""
        rates = list(self.rates)
        before = rates[0] if rates else None
        if rates and wanted and not near(rates[0], wanted[0]):
            rates.pop(0)
        if len(rates) > len(wanted) and rates[-1] == before:
            rates.pop()
        return rates

    def read_uart(self, events):
        divisor_latch = False
        lines_up_at = None
        for at, name, arguments in events:
            if name == "serial_update_parameters":
                found = re.match(r"baudrate=(\d+) parity='(\w)' data=(\d) stop=(\d)", arguments)
                rate = int(found.group(1))
                self.frame = found.group(3) + found.group(2) + found.group(4)
                if not self.rates or self.rates[-1] != rate:
                    self.rates.append(rate)
            elif name == "serial_write":
                found = re.match(r"write addr 0x([0-9a-f]+) val 0x([0-9a-f]+)", arguments)
                register, value = int(found.group(1), 16), int(found.group(2), 16)
                if register == 3:
                    divisor_latch = bool(value & 0x80)
                elif register == 0 and not divisor_latch:
                    self.sent.append((value, self.rates[-1] if self.rates else None))
                elif register == 4:
                    lines_up = value & 0x03 == 0x03
                    if lines_up and lines_up_at is None:
                        lines_up_at = at
                    elif not value & 0x03 and lines_up_at is not None:
                        self.pulses.append(at - lines_up_at)
                        lines_up_at = None

    def read_pl011(self, events, clock):
        """The PL011 takes the rate of its divisor registers (in 64ths of 16
        clock cycles a bit) and its frame when its line control register is
        written; DTR and RTS are bits 10 and 11 of its control register.
        QEMU's own trace of the rate has no clock on this board."""
        divisor = {0x24: 0, 0x28: 0}  # integer and fractional part
        lines_up_at = None
        for at, name, arguments in events:
            found = re.match(r"addr 0x([0-9a-f]+) value 0x([0-9a-f]+)", arguments)
            register, value = int(found.group(1), 16), int(found.group(2), 16)
            if register in divisor:
                divisor[register] = value
            elif register == 0x2c:
                sixty_fourths = divisor[0x24] * 64 + divisor[0x28]
                rate = round(4 * clock / sixty_fourths) if sixty_fourths else 0
                if rate and (not self.rates or self.rates[-1] != rate):
                    self.rates.append(rate)
                parity = "N" if not value & 0x02 else "E" if value & 0x04 else "O"
                self.frame = f"{5 + (value >> 5 & 3)}{parity}{2 if value & 0x08 else 1}"
            elif register == 0x00:
                self.sent.append((value & 0xFF, self.rates[-1] if self.rates else None))
            elif register == 0x30:
                lines = value >> 10 & 0x03
                if lines == 0x03 and lines_up_at is None:
                    lines_up_at = at
                elif not lines and lines_up_at is not None:
                    self.pulses.append(at - lines_up_at)
                    lines_up_at = None

    def read_adapter(self, events):
        lines_up_at = None
        for at, name, arguments in events:
            if name == "usb_serial_set_baud":
                rate = int(arguments.split()[-1])
                if not self.rates or self.rates[-1] != rate:
                    self.rates.append(rate)
            elif name == "usb_serial_set_data":
                found = re.search(r"parity (\w), data bits (\d), stop bits (\d)", arguments)
                self.frame = found.group(2) + found.group(1) + found.group(3)
            elif name == "usb_serial_handle_control":
                found = re.search(r"got control 0x([0-9a-f]+), value 0x([0-9a-f]+)", arguments)
                request, value = int(found.group(1), 16), int(found.group(2), 16)
                if request != 0x4001:  # the FTDI request that sets the modem lines
                    continue
                if value == 0x0303 and lines_up_at is None:
                    lines_up_at = at
                elif value & 0x0303 == 0x0300 and lines_up_at is not None:
                    self.pulses.append(at - lines_up_at)
                    lines_up_at = None


def rates_asked(step):
    """The rates the input has the program set, in turn."""
    rates = []
    for command in step.input.split(";"):
        words = command.split()
        if words[:1] == ["connect"]:
            rates.append(int(words[2]) if len(words) > 2 else 19200)
        elif words[:1] == ["baud"]:
            rates.append(int(words[1]))
        elif words[:1] == ["firmware"]:
            rates.append(19200)
    return rates


def connections(step):
    """How many times the input has the program take the port: a baud change
    keeps it, at the new rate, and so does the firmware update's reset."""
    return sum(command.split()[:1] in (["connect"], ["firmware"])
               for command in step.input.split(";"))


def near(got, asked):
    """A driver reaches a rate as closely as its divisors allow: within the
    2 % that a receiver tolerates, as the port layer accepts."""
    return got is not None and abs(got - asked) * 50 <= asked


def check_trace(run, trace):
    """The rates the guest programmed, and for a UART the order of the bytes
    of a baud change and the rate change."""
    failures = []
    wanted = rates_asked(run.step)
    programmed = trace.programmed(wanted)
    if len(programmed) != len(wanted) or any(not near(got, asked)
                                             for got, asked in zip(programmed, wanted)):
        failures.append(f"rates programmed {programmed}, asked {wanted}")
    if trace.frame != "8N1":
        failures.append(f"frame programmed {trace.frame}")
    # Where no second descriptor holds the lines up: one pulse as the port is
    # opened, none at a change of its rate.
    if run.step.kind == "session" and len(trace.pulses) != connections(run.step):
        failures.append(f"{len(trace.pulses)} DTR/RTS pulses for "
                        f"{connections(run.step)} connections")
    if not trace.sent:
        return failures
    text = bytes(byte for byte, _ in trace.sent)
    for found in re.finditer(rb"host (\d+)\n", text):
        new_rate = int(found.group(1))
        old_rates = {rate for _, rate in trace.sent[found.start():found.end()]}
        after = trace.sent[found.end()][1] if found.end() < len(trace.sent) else None
        if (len(old_rates) != 1 or any(near(rate, new_rate) for rate in old_rates)
                or after is None or not near(after, new_rate)):
            failures.append(f"\"host {new_rate}\" sent at {sorted(old_rates)}, "
                            f"the next byte at {after}")
    return failures


# ---------------------------------------------------------------- checks


def masked(output):
    """The output with the times of the firmware update's progress line masked."""
    return re.sub(rb" *\d+s TTC +\d+s", b" _s TTC _s", output)


def firmware_records():
    lines = (SOURCE / "examples/firmware.hex").read_bytes().splitlines()
    return b"".join(line + b"\n" for line in lines if line)


def check_run(run, reference, trace):
    step = run.step
    failures = []
    output = run.file("main.stdout") + run.file("main.stderr")
    if run.file("setup"):
        failures.append(run.file("setup").decode().strip())
    if run.status() != step.status:
        failures.append(f"status {run.status()}, not {step.status}")
    shown = step.shown(run.port)
    if step.kind == "listing":
        if run.file("main.stdout") != shown:
            failures.append(f"list {run.file('main.stdout')!r}")
    elif shown not in output:
        failures.append(f"no {shown!r} in the output")
    if run.file("lock-left"):
        failures.append(f"lock file left: {run.file('lock-left')!r}")
    if run.sim.status != 0 and not (step.kind == "unplug" and run.sim.status == 3):
        failures.append(f"simulator status {run.sim.status}: {run.sim.violations()}")
    if reference is not None:
        for what, guest, pty in [("standard output", run.file("main.stdout"), reference.stdout),
                                 ("standard error", run.file("main.stderr"), reference.stderr)]:
            if masked(guest) != masked(pty):
                failures.append(f"{what} differs from the pty's: {guest[-300:]!r} against "
                                f"{pty[-300:]!r}")
        if run.status() != reference.status:
            failures.append(f"status {run.status()} on the pty {reference.status}")
        for kind, path in run.sim.saved.items():
            theirs = reference.sim.saved[kind]
            if (path.read_bytes() if path.exists() else None) != (
                    theirs.read_bytes() if theirs.exists() else None):
                failures.append(f"saved {kind} differs from the pty's")
    if b"Downloading Rules succeeded" in output:
        sizes = [run.sim.saved[kind].stat().st_size if run.sim.saved[kind].exists() else 0
                 for kind in ("conf", "rules")]
        if sizes != [904, 12 * 28]:
            failures.append(f"saved configuration and rules of {sizes} bytes")
    if b"Firmware update succeeded" in output:
        saved = run.sim.saved["firmware"]
        if not saved.exists() or saved.read_bytes() != firmware_records():
            failures.append("the saved firmware is not the file's records")
    if step.kind == "unplug":
        records = run.sim.saved["firmware"]
        whole = run.sim.saved["rules"].exists() or (
            records.exists() and records.read_bytes() == firmware_records())
        if not run.unplugged or whole:
            failures.append("the adapter was not pulled out in the middle of the transfer")
        if run.seconds() is None or run.seconds() > 10:
            failures.append(f"ended after {run.seconds()} s")
    if trace is not None and step.status == 0 and step.pty == "=" and step.kind in (
            "session", "hold", "trigger"):
        failures += check_trace(run, trace)
    failures += check_kind(run)
    return failures


def held_lines(run, name):
    return run.file(name).decode().strip()


def check_kind(run):
    failures = []
    adapter = run.port.role == "adapter"
    if run.step.kind == "hold":
        if held_lines(run, "lines-held") != "DTR off RTS off low-latency on":
            failures.append(f"while held: {held_lines(run, 'lines-held')}")
        if not held_lines(run, "lines-after").endswith("low-latency off"):
            failures.append(f"after: {held_lines(run, 'lines-after')}")
        if adapter and (held_lines(run, "latency-held") != "1" or held_lines(
                run, "latency-after") != held_lines(run, "latency-before")):
            failures.append("latency timer " + " ".join(
                held_lines(run, f"latency-{when}") for when in ("before", "held", "after")))
        pid = run.file("main.pid").strip()
        if run.file("lock-held") != b"%10d\n" % int(pid or b"0"):
            failures.append(f"lock file {run.file('lock-held')!r} for process {pid!r}")
    elif run.step.kind == "second":
        for name in ("lines-held", "lines-after-second"):
            if not held_lines(run, name).startswith("DTR off RTS off"):
                failures.append(f"{name}: {held_lines(run, name)}")
        if b"Connected at" not in run.file("after.stdout"):
            failures.append("the next program did not connect")
    elif run.step.kind == "ended":
        signals = {"KILL": 137, "TERM": 143, "eof": 1}
        if run.status("holder") != signals[run.step.kind_arguments[0]]:
            failures.append(f"holder status {run.status('holder')}")
    elif run.step.kind == "trigger":
        if held_lines(run, "trigger") != run.step.kind_arguments[0]:
            failures.append(f"receive FIFO trigger level {held_lines(run, 'trigger')!r}")
    elif run.step.kind == "terminal":
        if run.status("other") != 1 or b"File exists" not in run.file("other.stderr"):
            failures.append(f"microcom was not refused: {run.file('other.stderr')!r}")
    return failures


# ---------------------------------------------------------------- report


def report(runs, references, traces, failures, machine):
    print()
    print(f"{'step':<18}{'port':<9}{'status':>7}{'s':>7}{'pty s':>7}  outcome")
    for run in runs:
        reference = references.get(run.key)
        pty_seconds = f"{reference.seconds:7.2f}" if reference else f"{'':>7}"
        seconds = f"{run.seconds():7.2f}" if run.seconds() is not None else f"{'':>7}"
        outcome = "; ".join(failures[run.key]) or "passed"
        print(f"{run.step.name:<18}{run.port.device:<9}{str(run.status()):>7}{seconds}"
              f"{pty_seconds}  {outcome}")
    print()
    for port in machine["ports"].values():
        on_port = [run for run in runs if run.port is port]
        rounded = sorted({(asked, got) for run in on_port
                          for asked, got in zip(rates_asked(run.step),
                                                traces[run.key].programmed(rates_asked(run.step)))
                          if asked != got})
        if rounded:
            print(f"rates {port.device} reaches only approximately: " + ", ".join(
                f"{asked} as {got}" for asked, got in rounded))
        # Only where no second descriptor holds the lines up (hold, second).
        pulses = sorted(pulse for run in on_port if run.step.kind == "session"
                        for pulse in traces[run.key].pulses)
        if pulses:
            print(f"DTR/RTS pulse at each connection on {port.device}: {len(pulses)} pulses, "
                  f"{pulses[0] * 1000:.2f} to {pulses[-1] * 1000:.2f} ms, "
                  f"median {pulses[len(pulses) // 2] * 1000:.2f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build",
                        help="the build folder of the simulator and of the program on the pty")
    parser.add_argument("--guest-build",
                        help="the build folder of the guest's program (default: --build)")
    parser.add_argument("--work", default="build-drivers", help="the bed's own folder")
    parser.add_argument("--machine", default="x86_64", choices=sorted(MACHINES))
    parser.add_argument("--only", help="run only the steps whose names match this pattern")
    arguments = parser.parse_args()
    build = Path(arguments.build).resolve()
    guest_build = Path(arguments.guest_build or arguments.build).resolve()
    work = Path(arguments.work).resolve() / arguments.machine
    work.mkdir(parents=True, exist_ok=True)
    machine = MACHINES[arguments.machine]
    steps = steps_on(machine, read_table(HERE / "steps"))
    if arguments.only:
        steps = [step for step in steps if re.search(arguments.only, step.name)]
    began = time.monotonic()
    image, modules_dir = fetch_kernel(work.parent, machine)
    initrd = build_guest(work, guest_build, machine, steps, modules_dir)
    # The same steps on a pty, on this machine while the guest runs.
    references = {}

    def run_references():
        for step in steps:
            for role in step.roles if step.pty == "=" else []:
                port = machine["ports"][role]
                references[(step.name, port.device)] = Reference(
                    build, step, port, work / "pty" / f"{step.name}.{port.device}")

    on_pty = threading.Thread(target=run_references)
    on_pty.start()
    runs = boot_and_run(work, build, machine, image, initrd, steps)
    on_pty.join()
    events = read_trace(work / "trace.log")
    traces = {run.key: PortTrace(events, run) for run in runs}
    failures = {run.key: check_run(run, references.get(run.key), traces[run.key]) for run in runs}
    expected = sum(len(step.roles) for step in steps)
    report(runs, references, traces, failures, machine)
    failed = sum(1 for found in failures.values() if found) + expected - len(runs)
    log(f"{len(runs)} of {expected} runs, {failed} failed, {time.monotonic() - began:.0f} s")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
