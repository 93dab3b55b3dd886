# Everyday entry points. Each target installs what is missing first, so a fresh Debian machine
# needs nothing but this file.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
export QT_QPA_PLATFORM_TEST ?= offscreen

.PHONY: deps build build-debug build-asan run test package package-check bench fuzz screenshots asan clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

build-debug: deps
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)

run: build
	./build/release/bin/tavrin

# The suite in the debug build, then the same suite under the sanitizers (`make asan` alone), so
# that a memory fault, undefined behaviour or a subsystem loaded twice cannot land unseen. The
# daemons started for the sync tests are stopped however ctest ends (failure, Ctrl-C).
test: build-debug build-asan
	@trap './scripts/stop-test-services.sh' EXIT INT TERM; \
	./scripts/start-test-services.sh || true; \
	QT_QPA_PLATFORM=offscreen ctest --test-dir build/debug --output-on-failure -j $(JOBS) && \
	$(ASAN_CTEST)

# The Debian package of the release build, next to it in build/release.
package: build
	@rm -f build/release/tavrin_*_amd64.deb
	@cmake --build --preset release --target package
	@echo "Paquet : $$(ls build/release/tavrin_*_amd64.deb)"

# The package installed with apt in a clean Debian 12 system made by debootstrap, used there and
# removed. Not part of `test`: it downloads a base system and the package's dependencies.
package-check: package
	@./scripts/package-check.sh

# The sanitizers stop at the first fault; the package tests are left to the plain build (an
# instrumented package would say nothing more and take minutes to compress). The leak checker does
# not follow glibc's dynamic thread-local blocks (it crashes reading them at exit):
# intercept_tls_get_addr=0 keeps it to the static ones.
ASAN_CTEST = ASAN_OPTIONS=halt_on_error=1:detect_odr_violation=2:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp:print_suppressions=0 \
	QT_QPA_PLATFORM=offscreen ctest --test-dir build/asan --output-on-failure -j $(JOBS) -LE packaging

build-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)

asan: build-asan
	@trap './scripts/stop-test-services.sh' EXIT INT TERM; \
	./scripts/start-test-services.sh || true; \
	$(ASAN_CTEST)

bench: build
	@./bench/run-all.sh

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS) --target fuzz_all
	@./fuzz/run-all.sh $(FUZZ_SECONDS)

screenshots: build
	@./scripts/screenshots.sh

clean:
	rm -rf build
