# The README's commands. Each one first installs what is missing (scripts/deps).
JOBS ?= $(shell nproc)
CTEST_FLAGS ?= -j $(JOBS)

.PHONY: all deps linux asan tsan windows fuzz run test test-linux test-asan test-windows test-fuzz bench clean

all: linux

deps:
	@scripts/deps

linux: deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS)

asan: deps
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j $(JOBS)

tsan: deps
	cmake --preset linux-tsan >/dev/null
	cmake --build --preset linux-tsan -j $(JOBS)

windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

run: linux
	@scripts/run build/linux

test: test-linux test-asan test-windows test-fuzz

test-linux: linux
	ctest --preset linux $(CTEST_FLAGS)

test-asan: asan
	ctest --preset linux-asan $(CTEST_FLAGS)

test-tsan: tsan
	ctest --preset linux-tsan $(CTEST_FLAGS)

test-windows: windows
	ctest --preset windows $(CTEST_FLAGS)

test-fuzz: fuzz
	@scripts/run-fuzz build/fuzz

bench: linux
	@scripts/run-bench build/linux

clean:
	rm -rf build
