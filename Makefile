# Set-up commands for a fresh Debian machine. Each one installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build test demo run package fuzz format clean

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Builds everything and runs every test.
test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The program's main job on a small sample.
demo: build
	@bash scripts/demo $(BUILD)/bin

# Builds and starts the desktop program.
run: build
	@$(BUILD)/bin/quillet-gui

# Builds the Debian package $(BUILD)/orv-quillet_VERSION_ARCH.deb.
package: build
	@cd $(BUILD) && cpack -G DEB --config CPackConfig.cmake

# Runs every fuzzing target for FUZZ_SECONDS each (default 60), e.g. make fuzz FUZZ_SECONDS=600.
FUZZ_SECONDS ?= 60
fuzz: deps
	@bash scripts/fuzz $(FUZZ_SECONDS)

# Lays out every C++ file by .clang-format (CTest's code_format test checks it).
format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format-14 -i

clean:
	rm -rf $(BUILD)
