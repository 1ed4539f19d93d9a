# BRELL's entry points. `make test` is what CI runs.
BUILD   ?= build
RELEASE ?= build-release
FUZZ    ?= build-fuzz
JOBS    ?= 2

.PHONY: deps configure build check test fuzz demo bench clean

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRELL_SANITIZE=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The source checks come first: they take about a second and name the file to fix.
check: deps
	@scripts/check-layers
	@scripts/check-format

test: check build
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@scripts/test-companion $(BUILD)/bin
	@FUZZ_BUILD=$(FUZZ) JOBS=$(JOBS) scripts/fuzz 20

# Every fuzz target for a minute; FUZZ_SECONDS=600 make fuzz for longer.
fuzz: deps
	@FUZZ_BUILD=$(FUZZ) JOBS=$(JOBS) scripts/fuzz $(or $(FUZZ_SECONDS),60)

release: deps
	@cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELL_TESTS=OFF -DBRELL_BENCH=ON >/dev/null
	@cmake --build $(RELEASE) -j $(JOBS)

demo: release
	@scripts/demo $(RELEASE)/bin

bench: release
	@scripts/bench $(RELEASE)/bin

clean:
	@rm -rf $(BUILD) $(RELEASE)

# Installs brell, brell-memory-host and the companion extension's source copy under
# PREFIX (PREFIX=~/.local for your account only), with the list of what it wrote, so
# that uninstall removes exactly those files. Then `brell install` links the browsers.
PREFIX ?= /usr/local
INSTALLED = $(PREFIX)/share/brell/installed-files.txt
.PHONY: install uninstall

install: release
	@cmake --install $(RELEASE) --prefix $(PREFIX)
	@mkdir -p $(PREFIX)/share/brell
	@cp $(RELEASE)/install_manifest.txt $(INSTALLED)
	@echo "Installed in $(PREFIX). Next: $(PREFIX)/bin/brell install"

uninstall:
	@test -f $(INSTALLED) || { echo "Nothing installed by make install in $(PREFIX)."; exit 1; }
	@while IFS= read -r f || [ -n "$$f" ]; do rm -f "$$f"; done < $(INSTALLED)
	@rm -f $(INSTALLED)
	@find $(PREFIX)/share/brell -depth -type d -empty -delete 2>/dev/null || true
	@echo "Removed BRELL from $(PREFIX)."
