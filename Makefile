# Thin wrapper over CMake. `make run` starts the console against the simulated
# device; `make test` installs what is missing, builds and runs every test;
# `make test-windows` builds the Windows program and runs the tests under Wine.

BUILD ?= build
WIN_BUILD ?= build-windows
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build run test test-windows deps clean package package-test

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

clean:
	rm -rf $(BUILD) $(WIN_BUILD)

# The Debian package, built without the tests, and its check in a clean root.
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DVESTRIMOND_TESTS=OFF
	cmake --build build-package -j$(JOBS)
	cd build-package && cpack

package-test: package
	sh scripts/test-package.sh build-package
