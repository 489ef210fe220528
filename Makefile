# Thin wrapper over CMake. `make run` starts the console against the simulated
# device; `make test` installs what is missing, builds and runs every test;
# `make test-windows` builds the Windows program and runs the tests under Wine;
# `make test-arm64` and `make test-armhf` build for ARM Linux and run every
# test under qemu-user.

BUILD ?= build
WIN_BUILD ?= build-windows
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build run test test-windows deps clean package package-test package-windows \
	package-windows-test test-sanitize coverage fuzz fuzz-build fuzz-corpus soak mutate \
	test-arm64 test-armhf test-unsigned-char test-drivers test-drivers-pc test-drivers-arm64

all: build

deps:
	@sh scripts/install-deps.sh

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

run: deps build
	@sh scripts/run-with-sim.sh $(BUILD)

test: deps build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-windows: deps build
	@JOBS=$(JOBS) sh scripts/test-windows.sh $(BUILD) $(WIN_BUILD)

# The program, the simulator and every test cross-built for ARM Linux with
# Debian's cross compiler, and run under qemu-user (scripts/test-arm.sh).
test-arm64 test-armhf:
	@JOBS=$(JOBS) sh scripts/test-arm.sh $(@:test-%=%) build-$(@:test-%=%)

# The whole suite built once with an unsigned char, as ARM has it, so that a
# fault that depends on the sign of char shows on this machine too.
UNSIGNED_CHAR_BUILD ?= build-unsigned-char

test-unsigned-char: deps
	cmake -S . -B $(UNSIGNED_CHAR_BUILD) -DCMAKE_CXX_FLAGS=-funsigned-char $(CMAKE_FLAGS)
	cmake --build $(UNSIGNED_CHAR_BUILD) -j$(JOBS)
	ctest --test-dir $(UNSIGNED_CHAR_BUILD) --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) $(WIN_BUILD) $(PACKAGE_BUILD) $(WIN_PACKAGE_BUILD) build-arm64 build-armhf \
	  $(UNSIGNED_CHAR_BUILD) $(DRIVERS_BUILD)

# The program on the kernel's own serial drivers (tests/drivers/bed.py): an
# emulated PC (QEMU) booting Debian's kernel, its 16550 UART and an FTDI USB
# adapter wired to simulators, then an emulated arm64 board whose UART is the
# Raspberry Pi's PL011 (/dev/ttyAMA0, the amba-pl011 driver). Every step of
# tests/drivers/steps runs in one boot of each. The kernel packages are
# unpacked into DRIVERS_BUILD, never installed. test-drivers-pc and
# test-drivers-arm64 run one machine each.
DRIVERS_BUILD ?= build-drivers
ARM64_BUILD ?= build-arm64

test-drivers: test-drivers-pc test-drivers-arm64

test-drivers-pc: deps build
	@sh scripts/install-deps.sh drivers
	python3 tests/drivers/bed.py --build $(BUILD) --work $(DRIVERS_BUILD)

# The arm64 guest runs the program of the arm64 cross build (ARM64_BUILD); the
# simulators run here from BUILD.
test-drivers-arm64: deps build
	@sh scripts/install-deps.sh arm64 drivers-arm64
	cmake -S . -B $(ARM64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/linux-arm64.cmake
	cmake --build $(ARM64_BUILD) --target vestrimond -j$(JOBS)
	python3 tests/drivers/bed.py --machine aarch64 --build $(BUILD) --guest-build $(ARM64_BUILD) \
	  --work $(DRIVERS_BUILD)

# Downloads and firmware updates on a paced line with noise and lost bytes,
# session after session for SOAK_TIME seconds; prints the figures and fails
# when a session broke an invariant (tests/soak/soak.cpp).
SOAK_TIME ?= 600

soak: deps build
	$(BUILD)/tests/soak/soak $(SOAK_TIME)

# The Debian package, built without the tests with Debian's hardening flags,
# and its check: lintian, then an install, a run and a removal in a clean root.
# ARCH=arm64 or ARCH=armhf cross-builds the package of that architecture (in
# build-package-ARCH), whose check runs the installed program under qemu-user.
HOST_ARCH := $(shell dpkg --print-architecture 2>/dev/null)
ARCH ?= $(HOST_ARCH)
ifeq ($(ARCH),$(HOST_ARCH))
PACKAGE_BUILD ?= build-package
PACKAGE_CROSS :=
else
PACKAGE_BUILD ?= build-package-$(ARCH)
PACKAGE_CROSS := -DCMAKE_TOOLCHAIN_FILE=cmake/linux-$(ARCH).cmake
endif

package:
	@sh scripts/install-deps.sh package $(if $(PACKAGE_CROSS),$(ARCH))
	DEB_BUILD_MAINT_OPTIONS=hardening=+all; DEB_HOST_ARCH=$(ARCH); \
	export DEB_BUILD_MAINT_OPTIONS DEB_HOST_ARCH; \
	cmake -S . -B $(PACKAGE_BUILD) $(PACKAGE_CROSS) -DCMAKE_BUILD_TYPE=Release -DVESTRIMOND_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" && \
	cmake --build $(PACKAGE_BUILD) -j$(JOBS) && \
	cd $(PACKAGE_BUILD) && cpack

package-test: package
	sh scripts/test-package.sh $(PACKAGE_BUILD)

# The Windows installer and ZIP, made from a MinGW-w64 build without the
# tests, signed when VESTRIMOND_SIGN_PFX and VESTRIMOND_SIGN_PASSWORD give a
# certificate; and their check under Wine against the Linux build's output,
# signed with a throw-away certificate whose signatures the check verifies.
WIN_PACKAGE_BUILD ?= build-windows-package
TEST_CERTIFICATE = $(WIN_PACKAGE_BUILD)/test-certificate

package-windows:
	@JOBS=$(JOBS) sh scripts/package-windows.sh $(WIN_PACKAGE_BUILD)

package-windows-test:
	@sh scripts/install-deps.sh windows-package
	sh scripts/test-certificate.sh $(TEST_CERTIFICATE)
	@VESTRIMOND_SIGN_PFX=$(TEST_CERTIFICATE)/signer.p12 \
	  VESTRIMOND_SIGN_PASSWORD=$$(cat $(TEST_CERTIFICATE)/password) \
	  $(MAKE) --no-print-directory package-windows
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) --target vestrimond -j$(JOBS)
	@sh scripts/test-package-windows.sh $(WIN_PACKAGE_BUILD) $(BUILD) $(TEST_CERTIFICATE)/ca.pem

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
SANITIZE_BUILD ?= build-asan

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DVESTRIMOND_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS)

# Line coverage of the program's own code by the test suite, per folder.
COVERAGE_BUILD ?= build-coverage

coverage:
	@sh scripts/coverage.sh $(COVERAGE_BUILD) $(JOBS)

# libFuzzer targets (fuzz/, clang): `make fuzz FUZZ_TIME=1800` fuzzes each
# target for FUZZ_TIME seconds (or FUZZ_RUNS runs, when given), one after the
# other, with the fuzzer's own options FUZZ_FLAGS; FUZZ_TIME=0 only replays the
# seeds and the kept corpora. `make fuzz-corpus` keeps a minimised corpus
# of what the runs found in fuzz/corpus/.
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 60
FUZZ_RUNS ?=
FUZZ_FLAGS ?=
FUZZ_TARGETS ?= dmctodeg conf_process rules_process inhexverify console device

fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DVESTRIMOND_FUZZ=ON \
	  -DVESTRIMOND_TESTS=OFF
	cmake --build $(FUZZ_BUILD) --target fuzzers -j$(JOBS)

fuzz: fuzz-build
	@FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_FLAGS="$(FUZZ_FLAGS)" sh fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_TIME) $(FUZZ_TARGETS)

fuzz-corpus: fuzz-build
	@sh fuzz/run.sh --merge $(FUZZ_BUILD) $(FUZZ_TARGETS)

# Mutation testing of the program's own code, on a copy of the tree in
# build-mutate/ (scripts/mutate.py): MUTATE_SAMPLE mutants per folder (25),
# MUTATE_FOLDERS="serial transfer" picks folders, MUTATE_SEED another sample.
mutate: deps
	@JOBS=$(JOBS) python3 scripts/mutate.py
