# Thin wrapper over the CMake presets. Build trees can be moved with WIN32_DIR=... NATIVE_DIR=...
WIN32_DIR  ?= build/win32
NATIVE_DIR ?= build/native
FUZZ_DIR   ?= build/fuzz
FUZZ_SECONDS ?= 20
JOBS ?= $(shell nproc)

.PHONY: all setup build build-win32 build-native run test test-native test-win32 bench fuzz dist clean

all: build

setup:
	@./scripts/setup

$(WIN32_DIR)/build.ninja:
	cmake --preset win32 -B $(WIN32_DIR)
$(NATIVE_DIR)/build.ninja:
	cmake --preset native -B $(NATIVE_DIR)

build-win32: $(WIN32_DIR)/build.ninja
	cmake --build $(WIN32_DIR) -j $(JOBS)
build-native: $(NATIVE_DIR)/build.ninja
	cmake --build $(NATIVE_DIR) -j $(JOBS)
build: build-win32 build-native

run: setup build-win32
	./scripts/run-sondrel $(WIN32_DIR)

test: setup build
	$(MAKE) --no-print-directory -k test-native test-win32

test-native: build-native
	ctest --test-dir $(NATIVE_DIR) --output-on-failure -j $(JOBS)
# A Wine process that hangs at start under heavy load is started once more; a real hang still fails.
test-win32: build-win32
	./scripts/wine-session $(WIN32_DIR) ctest --test-dir $(WIN32_DIR) --output-on-failure -j $(JOBS) --repeat after-timeout:2

bench: setup build
	./scripts/run-benchmarks $(NATIVE_DIR) $(WIN32_DIR)

fuzz: setup
	./scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

# The release packages in dist/; every Windows build makes them too, so `make test` proves they build.
dist: build-win32
	cmake --build $(WIN32_DIR) --target sondrel_dist

# The libjpeg cache under build/deps is kept: it depends only on Debian's source package.
clean:
	rm -rf $(WIN32_DIR) $(NATIVE_DIR) $(FUZZ_DIR) build/screenshots build/bench dist
