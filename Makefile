# Front door: `make test` runs every test suite, `make run` starts the program.
# Each target installs what it needs first (scripts/install-deps, quick when all is present).

MAKEFLAGS += --no-print-directory

BUILD  := build
NATIVE := $(BUILD)/native
ASAN   := $(BUILD)/asan
WIN    := $(BUILD)/win
JOBS   := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps native native-tests asan win win-tests test test-native test-asan test-win run bench package \
	install clean

# $(call timed,STAGE,COMMAND): runs COMMAND and notes how long it took in $(STAGES), which
# `make test` prints at its end.
STAGES := $(BUILD)/stage-times
timed = start=$$(date +%s%N); $(2); status=$$?; mkdir -p $(BUILD); \
  ms=$$((($$(date +%s%N) - start) / 1000000)); \
  printf '  %-22s %4d.%d s\n' "$(1)" $$((ms / 1000)) $$((ms % 1000 / 100)) >> $(STAGES); exit $$status

all: native win

deps:
	@scripts/install-deps

native: deps
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(call timed,native build,cmake --build $(NATIVE) -j $(JOBS))

# The tests build only what they run: the tool, its manual page and completions, and the tests.
native-tests: deps
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(call timed,native build,cmake --build $(NATIVE) -j $(JOBS) --target zumibo_core_tests zumibo-fit-docs)

# The sanitizers build only what their tests run: the tool and the tests.
asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DZUMIBO_SANITIZE=ON >/dev/null
	@$(call timed,sanitizer build,cmake --build $(ASAN) -j $(JOBS) --target zumibo_core_tests zumibo-fit-docs)

WIN_CONFIGURE = cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

win: deps
	@$(WIN_CONFIGURE) >/dev/null
	@$(call timed,windows build,cmake --build $(WIN) -j $(JOBS))

win-tests: deps
	@$(WIN_CONFIGURE) >/dev/null
	@$(call timed,windows build,cmake --build $(WIN) -j $(JOBS) --target zumibo_win_tests)

test-native: native-tests
	@$(call timed,native tests,ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS))

test-asan: asan
	@$(call timed,sanitizer tests,ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS))

test-win: win-tests
	@$(call timed,windows tests,ZUMIBO_SCREENSHOTS=$(BUILD)/screenshots scripts/wine-test $(WIN)/zumibo_win_tests.exe)

test:
	@rm -f $(STAGES)
	@start=$$(date +%s); $(MAKE) test-native test-asan test-win; status=$$?; \
	  echo "make test: $$(( $$(date +%s) - start )) s"; cat $(STAGES); exit $$status

# Engine against the literal enumeration, class by class (a few minutes: the literal one gets up to
# a minute per class); then discs: mastering overhead, fewest discs against dirsplit and fpart, scale,
# and this machine's /usr/share and /usr/lib planned, written as lists and mastered; sorting file
# sets; the catalog of a disc set at 100,000 and 1,000,000 files, and SHA-256 beside sha256sum.
bench: native win
	@$(NATIVE)/zumibo-search-bench
	@echo
	@$(NATIVE)/zumibo-disc-bench
	@echo
	@bench/real_trees.sh $(NATIVE)/zumibo-fit
	@echo
	@$(NATIVE)/zumibo-files-bench
	@echo
	@$(NATIVE)/zumibo-sets-bench
	@echo
	@scripts/wine-test $(WIN)/zumibo_win_bench.exe | iconv -f CP932 -t UTF-8

# With a display: the program opens. Without one: the main job, shown in a virtual display.
run: win
	@scripts/run $(WIN)

# zumibo-fit, its manual page and completions: make install PREFIX=/usr/local [DESTDIR=stage]
PREFIX ?= /usr/local
install: native
	@cmake --install $(NATIVE) --prefix $(PREFIX)

package: win
	@scripts/package $(WIN) dist

clean:
	rm -rf $(BUILD) dist
