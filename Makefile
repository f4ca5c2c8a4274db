# Everything a newcomer needs on a fresh Debian 12 machine:
#   make run    install what building and running need, build, start the window
#   make test   install that and the test tools, build, run every test headless
# Also: make build, make clean, make test-one T=<name>, make bench, and
#   make deps      install what building and running need, and nothing else
#   make package   build the Debian package (build/kestrova_<version>_<arch>.deb)
#   make translations   update translations/*.ts from the sources

BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps deps-test check-display configure build run test test-one bench package translations clean

all: build

deps:
	@sh scripts/install-deps.sh run

# The tests and the package also need Debian's checker, Xvfb, the shells...
deps-test:
	@sh scripts/install-deps.sh test

# Before the build, so that a machine without a screen learns it at once.
check-display:
	@sh scripts/check-display.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

run: check-display build
	$(BUILD_DIR)/app/kestrova

test: deps-test build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel $(JOBS)

# One test, by name or pattern: make test-one T=tst_settingsstore
test-one: deps-test build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -R '$(T)'

# Figures, not pass or fail: the engine against plain ffmpeg, queue and scan scaling.
bench: build
	cmake --build $(BUILD_DIR) --target benchmarks
	$(BUILD_DIR)/bench/bench_trim
	$(BUILD_DIR)/bench/bench_cli 12 3 60 $(BUILD_DIR)/bench
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_queue
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_queue trim 1000
	$(BUILD_DIR)/bench/bench_cutters

# The Debian package, kestrova_<version>_<arch>.deb, into $(BUILD_DIR). Made
# from the same optimised build as the tests; CPack strips the executables.
package: deps-test build
	cmake --build $(BUILD_DIR) --target package

# Brings translations/*.ts up to date with the texts in the sources.
translations: configure
	cmake --build $(BUILD_DIR) --target update_translations

clean:
	rm -rf $(BUILD_DIR)
