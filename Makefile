# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# Quick start: `make run` runs the program, `make test` builds and runs every test.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench fuzz fuzz-replay sanitize check-format package clean

all: build

deps:
	@scripts/install-deps.sh

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON

# Everything, tests and desktop program included; a build that `make run`
# configured without them gets them now.
configure: deps
	@if [ ! -f $(BUILD)/build.ninja ] || \
	    grep -q '^QM_BUILD_\(TESTS\|GUI\):BOOL=OFF' $(BUILD)/CMakeCache.txt; then \
	  echo $(CONFIGURE) -DQM_BUILD_TESTS=ON -DQM_BUILD_GUI=ON $(CMAKE_FLAGS); \
	  $(CONFIGURE) -DQM_BUILD_TESTS=ON -DQM_BUILD_GUI=ON $(CMAKE_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs the program and the demo driver only: it installs what
# builds them (the desktop program's libraries only with a display) and
# configures a new build without the tests.
DISPLAY_THERE = $(if $(DISPLAY)$(WAYLAND_DISPLAY),yes,)
run:
	@scripts/install-deps.sh run
	@if [ ! -f $(BUILD)/build.ninja ]; then \
	  echo $(CONFIGURE) -DQM_BUILD_TESTS=OFF $(if $(DISPLAY_THERE),,-DQM_BUILD_GUI=OFF) $(CMAKE_FLAGS); \
	  $(CONFIGURE) -DQM_BUILD_TESTS=OFF $(if $(DISPLAY_THERE),,-DQM_BUILD_GUI=OFF) $(CMAKE_FLAGS); \
	fi
	cmake --build $(BUILD) -j $(JOBS) --target quillmoor98 quillmoor98-simdemo
	@scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_BENCH=ON -DQM_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)
	@scripts/bench.sh $(BUILD)-bench

$(BUILD)-fuzz/build.ninja:
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_FUZZ=ON -DQM_BUILD_TESTS=OFF -DQM_BUILD_GUI=OFF

fuzz: deps $(BUILD)-fuzz/build.ninja
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	@scripts/fuzz.sh $(BUILD)-fuzz

# Each fuzz target once over its seeds: a regression test, for CI.
fuzz-replay: deps $(BUILD)-fuzz/build.ninja
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	FUZZ_SECONDS=0 scripts/fuzz.sh $(BUILD)-fuzz

# AddressSanitizer and UndefinedBehaviorSanitizer over the unit, program and
# integration tests, in a build without the desktop program (which also
# shows that the console-only build stands on its own).
sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON -DQM_SANITIZE=ON -DQM_BUILD_GUI=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900 -L 'unit|app|integration'

check-format: deps
	scripts/check-format.sh

# The Debian packages quillmoor98, quillmoor98-desktop (with the desktop
# program) and quillmoor98-cockpit, as $(BUILD)-package/NAME_VERSION_ARCH.deb,
# for an install under /usr, built in a folder of their own with Debian's
# hardening flags and checked (lintian included) before they are left there.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
PACKAGE_BUILD = $(BUILD)-package
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_WERROR=ON \
	  -DCMAKE_INSTALL_PREFIX=/usr -DQM_HARDENING=OFF -DQM_BUILD_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	rm -f $(PACKAGE_BUILD)/quillmoor98*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB
	$(PACKAGE_BUILD)/check-package.sh $(PACKAGE_BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-sanitize $(PACKAGE_BUILD)
