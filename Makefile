# The project's commands. A fresh machine needs only `make run` or `make test`:
# both install what is missing first.
#
# Two build trees from one source: build/ is the 32-bit program we ship for
# Windows, build/x64/ the same program for 64-bit Windows, which is what runs
# under Wine on hosts that cannot run 32-bit programs.
BUILD_DIR := build
X64_DIR := $(BUILD_DIR)/x64
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release
# The game's folder, the one holding saves.qvr; empty = a demo folder under build/.
GAME_DIR ?=

.PHONY: all install configure build test test-32 run bench fuzz format dist clean

all: build

install:
	@scripts/install-deps.sh

configure: install
	@[ -f $(BUILD_DIR)/build.ninja ] || \
	    cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE="$(CURDIR)/cmake/mingw-i686.cmake"
	@[ -f $(X64_DIR)/build.ninja ] || \
	    cmake -S . -B $(X64_DIR) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE="$(CURDIR)/cmake/mingw-x86_64.cmake"

build: configure
	@cmake --build $(BUILD_DIR)
	@cmake --build $(X64_DIR)

# The 64-bit suite everywhere, the 32-bit one where the host runs 32-bit
# programs, else its lane in an emulated machine (ONLY_64BIT=1 skips it).
test: build
	@scripts/run-tests

# The 32-bit tests alone (scripts/test-32): natively where the host runs
# 32-bit programs, else in an emulated machine; the lane of them, or every
# one with ALL=1.
ALL ?=
test-32: build
	@ALL=$(ALL) scripts/test-32

run: build
	@scripts/run-tool "$(GAME_DIR)"

bench: build
	@scripts/run-bench

# The pure functions (save codec, line-end expansion, random generator) under
# libFuzzer with the address and undefined-behaviour sanitizers, natively with
# the host's clang, FUZZ_SECONDS (default 60) per target.
FUZZ_SECONDS ?= 60
fuzz: install
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

# The tree's C++ sources in the project's style (.clang-format).
format: install
	@git ls-files -- 'app/*.cpp' 'app/*.h' 'runtime/*.cpp' 'runtime/*.h' 'tests/*.cpp' 'tests/*.h' \
	    'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' | xargs clang-format -i --style=file

# The release players download (scripts/make-dist):
# dist/orvanne-keyconfig-VERSION.zip with the 32-bit program, and
# dist/SHA256SUMS; ARCH=x64 makes the -x64.zip with the 64-bit one.
ARCH ?= x86
dist: configure
	@cmake --build $(if $(filter x64,$(ARCH)),$(X64_DIR),$(BUILD_DIR)) --target KeyConfig
	@scripts/make-dist $(ARCH)

clean:
	rm -rf $(BUILD_DIR) dist
