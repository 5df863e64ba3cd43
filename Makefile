# The README's commands. Each one first installs what is missing (scripts/deps).
JOBS ?= $(shell nproc)
CTEST_FLAGS ?= -j $(JOBS)

.PHONY: all deps linux asan tsan windows windows64 fuzz run demo test test-linux test-asan test-windows test-fuzz \
        bench soak package package-deb package-zip test-package clean

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

windows64: deps
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64 -j $(JOBS)

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

run: linux
	@scripts/run build/linux

demo: linux
	@scripts/demo build/linux build/demo

test: test-linux test-asan test-windows test-fuzz

test-linux: linux
	ctest --preset linux $(CTEST_FLAGS)

test-asan: asan
	ctest --preset linux-asan $(CTEST_FLAGS)

test-tsan: tsan
	ctest --preset linux-tsan $(CTEST_FLAGS)

# The same tests run as the x86-64 build under wine64 and as the i686 program under 32-bit Wine:
# natively where the kernel runs 32-bit programs, else through the emulator registered for
# this run only; where neither works the i686 tests are built, not run.
test-windows: windows windows64
	ctest --preset windows64 $(CTEST_FLAGS)
	@how=$$(scripts/can-run-i386); echo "32-bit programs run here $$how."; \
	case "$$how" in \
	  natively) ctest --preset windows $(CTEST_FLAGS) ;; \
	  "through the emulator") scripts/with-i386-emulator ctest --preset windows $(CTEST_FLAGS) ;; \
	  *) echo "The i686 tests were built, not run." ;; \
	esac

test-fuzz: fuzz
	@scripts/run-fuzz build/fuzz

bench: linux
	@scripts/run-bench build/linux

# The Debian package (programs, desktop entry, icon, manual pages) and the zip of the Windows
# programs (32-bit and x86-64). Their own presets: no tests, and the web page item opens the
# installed README.
package: package-deb package-zip
	@echo "Packages:"; ls -1 $(CURDIR)/build/package-linux/vantelink_*.deb $(CURDIR)/build/package-windows/vantelink-*-win32.zip

package-deb: deps
	cmake --preset package-linux >/dev/null
	cmake --build --preset package-linux -j $(JOBS)
	cd build/package-linux && rm -f vantelink_*.deb && cpack -G DEB

package-zip: deps
	cmake --preset package-windows64 >/dev/null
	cmake --build --preset package-windows64 -j $(JOBS)
	rm -rf build/package-windows64/stage
	cmake --install build/package-windows64 --strip --prefix build/package-windows64/stage >/dev/null
	cmake --preset package-windows >/dev/null
	cmake --build --preset package-windows -j $(JOBS)
	cd build/package-windows && rm -f vantelink-*-win32.zip && cpack -G ZIP

# Installs the .deb into a minimal Debian 12 root and checks it with lintian (not part of test).
test-package: package-deb
	@scripts/deps debootstrap lintian
	@scripts/test-package build/package-linux

# Ten minutes of the program under AddressSanitizer (SOAK_SECONDS to shorten it); not part of test.
soak: deps
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j $(JOBS) --target vantelink vantela-sim vantela-vdisplay vantela-preview
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS) --target x11-draw
	@scripts/soak build/linux-asan build/linux

clean:
	rm -rf build
