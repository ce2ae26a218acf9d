# make run      install what is missing, build the host and the module, render the
#               default planet to planet.png
# make test     install what is missing, build everything, run the whole test suite
# make install  install the host, the module, the presets, the man page and bash
#               completion (PREFIX, default /usr/local; DESTDIR for staging), and
#               the GIMP plug-in where GIMP looks (see GIMP_PLUGINS)
# make package  a Debian package in build/
# make windows  cross-build the Windows modules and terravane.exe into build/windows/
#               (make test builds them too and checks them under Wine)
# make test-sanitize  build everything with clang, AddressSanitizer, LeakSanitizer
#               and UndefinedBehaviorSanitizer into build-sanitize/ and run the
#               whole suite there (any finding fails the test that reached it)
BUILD ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

PREFIX ?= /usr/local
# The GIMP plug-in goes to PREFIX/lib/gimp/2.0/plug-ins/terravane-gimp/, which
# is GIMP's own plug-ins folder when PREFIX is /usr; for any other PREFIX the
# user's GIMP plug-ins folder gets a link to it.
GIMP_PLUGINS ?= $(or $(XDG_CONFIG_HOME),$(HOME)/.config)/GIMP/2.10/plug-ins

.PHONY: all deps node-tools configure build windows run test test-sanitize bench fuzz clean install package

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

windows: configure
	cmake --build $(BUILD) --target windows

# Only what the render needs: the host and the module (and the generators
# they are built from).
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target terravane terravane_plugin
	$(BUILD)/terravane render --defaults -o planet.png
	@echo "make run: the default planet is in $(CURDIR)/planet.png"

node-tools:
	@scripts/install-node-tools $(BUILD)

test: build windows node-tools
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

SANITIZE_BUILD ?= build-sanitize
# Memory the program asks for and cannot get is its own failure to report, as
# without the sanitizers: allocations beyond the allocator's limit return null.
SANITIZE_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=report_objects=1:suppressions=$(CURDIR)/scripts/lsan-suppressions

test-sanitize: deps
	CC=clang CXX=clang++ cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERRAVANE_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@scripts/install-node-tools $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	@if [ "$(PREFIX)" != /usr ]; then \
	    mkdir -p "$(DESTDIR)$(GIMP_PLUGINS)" && \
	    ln -sfn "$(PREFIX)/lib/gimp/2.0/plug-ins/terravane-gimp" "$(DESTDIR)$(GIMP_PLUGINS)/terravane-gimp" && \
	    echo "make install: GIMP finds Terravane through $(GIMP_PLUGINS)/terravane-gimp"; \
	fi

package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	@for b in $(BUILD)/bench_*; do echo "== $$b"; $$b; done

# libFuzzer targets (tests/fuzz/fuzz_*.cpp) in a separate clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer: scripts/fuzz-campaign runs
# them from the seeds in tests/fuzz/corpus (tool_fuzz_seeds makes those)
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERRAVANE_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) build-fuzz $(SANITIZE_BUILD)
