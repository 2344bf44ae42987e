# Thin wrappers around scripts/setup, CMake and CTest.
BUILD ?= build/release
ASAN_BUILD ?= build/asan
FUZZ_BUILD ?= build/fuzz
# Seconds per fuzz target for `make fuzz`; TARGETS picks some (fuzz_load_bmp ...).
SECONDS ?= 300
TARGETS ?=
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Where `make install` puts Lumenade; DESTDIR works as usual.
PREFIX ?= /usr/local

.PHONY: setup configure build programs test test-asan fuzz-build fuzz-smoke fuzz run install deb demo clean

setup:
	bash scripts/setup

configure: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The two programs and what an install needs; no tests, benchmarks or fuzzers.
programs: configure
	cmake --build $(BUILD) -j $(JOBS) --target lumenade lumenade-cli lum_desktop_files

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder of their own.
test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUM_SANITIZE=ON -DLUM_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# libFuzzer targets: the whole project built with clang and the sanitizers.
fuzz-build: setup
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUM_FUZZ=ON \
		-DLUM_BUILD_TESTS=OFF -DLUM_BUILD_BENCH=OFF -DLUM_BUILD_GUI=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Every target for 20 seconds from a fixed seed; fails when one finds a fault.
fuzz-smoke: fuzz-build
	fuzz/run --build $(FUZZ_BUILD) --seconds 20 --seed 1 $(TARGETS)

fuzz: fuzz-build
	fuzz/run --build $(FUZZ_BUILD) --seconds $(SECONDS) $(TARGETS)

run: programs
	scripts/run $(BUILD)

install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

# lumenade_VERSION_ARCH.deb in the build folder; install it with
# apt-get install ./build/release/lumenade_*.deb
deb: programs
	cd $(BUILD) && cpack -G DEB

demo: programs
	bash scripts/demo $(BUILD)

clean:
	rm -rf build
