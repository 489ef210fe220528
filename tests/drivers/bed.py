#!/usr/bin/env python3
"""The program on the kernel's own serial drivers: `make test-drivers`.

Builds a small guest (Debian's kernel, a static busybox, the program with its
shared libraries, the modules, the example files and an init that runs the
steps), boots it in QEMU with two serial ports wired to simulators on this
machine, runs every step of tests/drivers/steps in that one boot, and checks
the results here: the program's output, its exit status, the simulator's
strict verdict and the bytes it saved, the rates the guest programmed (from
QEMU's trace), and the same steps on a pty for comparison.

The guest's ports are wired only to simulators: QEMU opens each simulator's
pty with its `serial` chardev backend, which applies the rate the guest sets
to that pty. The guest talks to the bed over a virtio console.
"""

import argparse
import base64
import glob
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent.parent

# A guest machine: QEMU and its options, the Debian kernel package (its
# dependency names the real kernel package), the guest's UART and how QEMU
# makes it, and the modules the guest loads, dependencies found here.
MACHINES = {
    "x86_64": {
        "qemu": ["qemu-system-x86_64", "-M", "pc", "-m", "256", "-cpu", "max"],
        "kernel": "linux-image-amd64",
        "image": "boot/vmlinuz-*",
        # The guest's first UART carries the kernel's messages to a file; the
        # second is the port under test.
        "uart": "ttyS1",
        "uart_qemu": ["-chardev", "file,id=kernel,path={work}/kernel.log", "-serial",
                      "chardev:kernel", "-chardev", "null,id=uart", "-serial", "chardev:uart"],
        "append": "console=ttyS0 quiet loglevel=3 panic=-1",
        "usb": ["-device", "qemu-xhci,id=xhci"],
        "control": ["-device", "virtio-serial-pci"],
        "modules": ["virtio_pci", "virtio_console", "xhci_pci", "ftdi_sio"],
        "trace": ["serial_write", "serial_update_parameters", "usb_serial_set_baud",
                  "usb_serial_set_data", "usb_serial_handle_control"],
    },
}

# How the program reaches each guest port: COM2 is /dev/ttyS1 by the program's
# own rule, COM3 is mapped to the adapter.
COM_NUMBER = {"ttyS1": 2, "ttyUSB0": 3}
GUEST_ENV = "VESTRIMOND_COM3=/dev/ttyUSB0"

STEP_TIMEOUT = 120  # seconds a step may take in the guest before the bed gives up


def log(text):
    print(f"test-drivers: {text}", flush=True)


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


# ---------------------------------------------------------------- the table


class Step:
    """One row of the table: a step run on each of its ports."""

    def __init__(self, fields, line_number):
        (self.name, ports, self.kind, self.user, sim, program_input, status, self.pty,
         shows) = fields
        self.ports = ports.split()
        self.sim = sim.split()
        self.input = program_input
        self.status = int(status)
        self.shows = unescape(shows)
        self.line = line_number

    def input_bytes(self, port):
        lines = [part.strip() for part in self.input.split(";")]
        text = "".join(line + "\n" for line in lines) if self.input.strip() else ""
        return text.replace("$P", str(COM_NUMBER[port])).encode()

    def sim_options(self, port):
        return [option.replace("$P", str(COM_NUMBER[port])) for option in self.sim]


def unescape(text):
    return text.encode().decode("unicode_escape").encode("latin-1")


def read_table(path):
    steps = []
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = [field.strip() for field in line.split("|")]
        if len(fields) != 9:
            sys.exit(f"{path}:{number}: 9 fields separated by | expected")
        steps.append(Step(fields, number))
    return steps


# ---------------------------------------------------------------- the guest


def fetch_kernel(work, machine):
    """Debian's kernel image and modules, unpacked into the work folder."""
    depends = subprocess.run(["apt-cache", "depends", machine["kernel"]], check=True,
                             capture_output=True, text=True).stdout
    found = re.search(r"Depends: (linux-image-\S+)", depends)
    if not found:
        sys.exit(f"test-drivers: no kernel package behind {machine['kernel']} "
                 "(run apt-get update?)")
    package = found.group(1)
    unpacked = work / package
    if not (unpacked / ".unpacked").exists():
        shutil.rmtree(unpacked, ignore_errors=True)
        for old in work.glob(f"{package}_*.deb"):
            old.unlink()
        log(f"fetching {package}")
        run(["apt-get", "download", "-q", package], cwd=work, stdout=subprocess.DEVNULL)
        deb = next(work.glob(f"{package}_*.deb"))
        run(["dpkg-deb", "-x", str(deb), str(unpacked)])
        deb.unlink()
        (unpacked / ".unpacked").touch()
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


def shared_libraries(program):
    listing = subprocess.run(["ldd", str(program)], check=True, capture_output=True,
                             text=True).stdout
    return re.findall(r"(/\S+) \(0x", listing)


def build_guest(work, build, machine, steps, modules_dir):
    root = work / "root"
    shutil.rmtree(root, ignore_errors=True)
    for folder in ["bin", "dev", "proc", "sys", "tmp", "run", "etc", "root", "bed/input",
                   "lib/modules"]:
        (root / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy("/bin/busybox", root / "bin/busybox")
    program = build / "vestrimond"
    shutil.copy(program, root / "bin/vestrimond")
    for library in shared_libraries(program):
        target = root / library.lstrip("/")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(library, target)
    run(["cc", "-O2", "-static", "-o", str(root / "bin/modem_lines"), str(HERE / "modem_lines.c")])
    shutil.copytree(SOURCE / "examples", root / "bed/examples")
    loaded = []
    for module in module_order(modules_dir, machine["modules"]):
        shutil.copy(module, root / "lib/modules" / module.name)
        loaded.append(module.name)
    (root / "etc/passwd").write_text("root:x:0:0::/root:/bin/sh\n"
                                     "op:x:1000:1000::/tmp:/bin/sh\n"
                                     "dial:x:1001:1001::/tmp:/bin/sh\n")
    (root / "etc/group").write_text("root:x:0:\ndialout:x:20:dial\nop:x:1000:\ndial:x:1001:\n")
    for step in steps:
        for port in step.ports:
            (root / "bed/input" / f"{step.name}.{port}").write_bytes(step.input_bytes(port))
    init = (HERE / "guest.sh").read_text()
    init = init.replace("@MODULES@", " ".join(loaded)).replace("@ENV@", GUEST_ENV)
    calls = "".join(f"{step.kind} {step.name} {port} {step.user}\n"
                    for step in steps for port in step.ports)
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
        for name in ("qmp.sock", "control.sock", "trace.log", "kernel.log"):
            (work / name).unlink(missing_ok=True)
        uart = [part.replace("{work}", str(work)) for part in machine["uart_qemu"]]
        trace = []
        for event in machine["trace"]:
            trace += ["-trace", event]
        command = (machine["qemu"] + ["-display", "none", "-no-reboot", "-nodefaults",
                                      "-kernel", str(image), "-initrd", str(initrd),
                                      "-append", machine["append"]] + uart + machine["usb"]
                   + machine["control"]
                   + ["-chardev", f"socket,id=control,path={work}/control.sock,server=on,wait=off",
                      "-device", "virtconsole,chardev=control",
                      "-qmp", f"unix:{work}/qmp.sock,server=on,wait=off",
                      "-msg", "timestamp=on", "-D", str(work / "trace.log")] + trace)
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL)
        self.qmp_socket = self.connect("qmp.sock")
        self.qmp_file = self.qmp_socket.makefile("rw")
        self.qmp_file.readline()
        self.events = []
        self.qmp("qmp_capabilities")
        self.control = self.connect("control.sock")
        self.pending = b""
        self.adapter = None  # the chardev id of the plugged adapter

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
        backend = {"type": "serial", "data": {"device": path}} if path else {"type": "null",
                                                                             "data": {}}
        self.qmp("chardev-change", id="uart", backend=backend)

    def plug_adapter(self, path, number):
        self.adapter = f"adapter{number}"
        self.qmp("chardev-add", id=self.adapter,
                 backend={"type": "serial", "data": {"device": path}})
        self.qmp("device_add", driver="usb-serial", id=self.adapter, chardev=self.adapter)

    def unplug_adapter(self):
        if self.adapter is None:
            return
        try:
            self.qmp("device_del", id=self.adapter)
            self.wait_event("DEVICE_DELETED")
        except RuntimeError:
            pass  # already gone with its chardev
        self.qmp("chardev-remove", id=self.adapter)
        self.adapter = None

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

    def stop(self):
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Run:
    """One step on one port in the guest: what the guest sent back and the simulator's verdict."""

    def __init__(self, step, port, folder):
        self.step = step
        self.port = port
        self.folder = folder
        self.files = {}
        self.sim = None
        self.started = self.ended = None

    def text(self, name):
        return self.files.get(name, b"")


def boot_and_run(work, build, machine, image, initrd, steps):
    """Boots the guest and runs every step; the runs in the order they ran."""
    by_name = {step.name: step for step in steps}
    runs = []
    vm = Machine(work, machine, image, initrd)
    current = None
    receiving = None
    started = time.monotonic()
    try:
        while True:
            line = vm.read_line(STEP_TIMEOUT)
            if line is None:
                sys.exit("test-drivers: the guest stopped answering"
                         + (f" in step {current.step.name} on {current.port}" if current else ""))
            if receiving is not None:
                if line == "@@bed end":
                    current.files[receiving[0]] = base64.b64decode("".join(receiving[1]))
                    receiving = None
                else:
                    receiving[1].append(line)
                continue
            if not line.startswith("@@bed "):
                continue
            words = line.split()
            if words[1] == "ready":
                step, port = by_name[words[2]], words[3]
                current = Run(step, port, work / "runs" / f"{step.name}.{port}")
                shutil.rmtree(current.folder, ignore_errors=True)
                current.sim = Simulator(build, current.folder, step.sim_options(port))
                if port == machine["uart"]:
                    vm.wire_uart(current.sim.path)
                else:
                    vm.plug_adapter(current.sim.path, len(runs))
                current.started = time.monotonic()
                vm.say("go")
            elif words[1] == "file":
                receiving = (words[2], [])
            elif words[1] == "done":
                current.ended = time.monotonic()
                if current.port == machine["uart"]:
                    vm.wire_uart(None)
                else:
                    vm.unplug_adapter()
                current.sim.stop()
                runs.append(current)
                log(f"{current.step.name} on {current.port}: "
                    f"{current.ended - current.started:.1f} s")
                current = None
            elif words[1] == "end":
                break
    finally:
        if current is not None and current.sim is not None:
            current.sim.stop()
        vm.stop()
    log(f"guest: {time.monotonic() - started:.0f} s")
    return runs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build folder of the program")
    parser.add_argument("--work", default="build-drivers", help="the bed's own folder")
    parser.add_argument("--machine", default="x86_64", choices=sorted(MACHINES))
    parser.add_argument("--only", help="run only the steps whose names match this pattern")
    arguments = parser.parse_args()
    build = Path(arguments.build).resolve()
    work = Path(arguments.work).resolve() / arguments.machine
    work.mkdir(parents=True, exist_ok=True)
    machine = MACHINES[arguments.machine]
    steps = read_table(HERE / "steps")
    if arguments.only:
        steps = [step for step in steps if re.search(arguments.only, step.name)]
    image, modules_dir = fetch_kernel(work.parent, machine)
    initrd = build_guest(work, build, machine, steps, modules_dir)
    runs = boot_and_run(work, build, machine, image, initrd, steps)
    for r in runs:
        print(r.step.name, r.port, r.sim.status, {k: v[:300] for k, v in r.files.items()})


if __name__ == "__main__":
    main()
