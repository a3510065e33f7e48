# The project's commands. A fresh machine needs only `make run` or `make test`:
# both install what is missing first.
BUILD_DIR := build
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release \
               -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake
TOOL_EXE := $(BUILD_DIR)/bin/KeyConfig.exe
# The game's folder, the one holding saves.qvr; empty = a demo folder under build/.
GAME_DIR ?=

.PHONY: all install configure build test run bench clean

all: build

install:
	@scripts/install-deps.sh

configure: install
	@[ -f $(BUILD_DIR)/build.ninja ] || cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD_DIR)

# Every test program runs under Wine on one virtual display.
test: build
	@scripts/run-tests

run: build
	@scripts/run-tool $(TOOL_EXE) "$(GAME_DIR)"

bench: build
	@scripts/run-bench

clean:
	rm -rf $(BUILD_DIR)
