# Convenience targets over CMake.
#
#   make demo    install what is missing, build Release into build/, scan the bundled example
#                and render its graphs into examples/out/, and show the module rules report of
#                a CI-style run that breaks a rule on purpose (exit status 3)
#   make test    install what is missing, build and run the tests (Release in build/, then
#                AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/), check every DOT
#                file the tests archived and the example's with Graphviz, check the install rules
#   make clean   remove the build folders and the example's outputs

JOBS        ?= 2
CMAKE       ?= cmake
CTEST       ?= ctest
BUILD       := build
ASAN_BUILD  := build-asan
QUILLMAP    := $(BUILD)/quillmap
EXAMPLE     := examples/sensor_node.cfg
# The example's modules with a rule broken on purpose: a CI-style run of it exits with 3.
EXAMPLE_CI  := examples/sensor_node_ci.cfg
EXAMPLE_OUT := examples/out
# Graphs of the example rendered by `make demo`, and the module graph when the run wrote one.
EXAMPLE_CALLGRAPH := $(EXAMPLE_OUT)/sensor_node.dot
EXAMPLE_MODGRAPH  := $(EXAMPLE_OUT)/sensor_node_modules.dot
# The second example, in an older house style, scanned in the C-aware mode ([scan] syntax=c).
LEGACY_EXAMPLE    := examples/legacy_logger.cfg
LEGACY_GRAPHS     := $(EXAMPLE_OUT)/legacy_logger.dot $(EXAMPLE_OUT)/legacy_logger_modules.dot
# The end-to-end tests copy the DOT files they produce here (QUILLMAP_DOT_ARCHIVE).
DOT_ARCHIVE      := $(CURDIR)/$(BUILD)/dot-archive
ASAN_DOT_ARCHIVE := $(CURDIR)/$(ASAN_BUILD)/dot-archive

# Ninja keeps both cores busy across library boundaries; a build folder made by an earlier
# configure keeps the generator it was made with.
GENERATOR    = $(if $(shell command -v ninja 2>/dev/null),Ninja,Unix Makefiles)
generator_for = $(if $(wildcard $(1)/CMakeCache.txt),,-G "$(GENERATOR)")
# The sanitizer build: line tables are all that its reports need, and full debug information
# would double its compile time. The benchmark tools are left out of it (gen_tree, which a test
# runs, is always built). Where clang is installed (scripts/install-deps.sh installs it for the
# fuzz harnesses) clang compiles it, in about 60 % of GCC's time, and the code passes the
# warnings of both compilers (the Release build is GCC's).
ASAN_FLAGS  := -DCMAKE_BUILD_TYPE=Debug -DQUILLMAP_SANITIZE=ON -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
               -DQUILLMAP_BENCH=OFF
ASAN_CXX     = $(if $(wildcard $(ASAN_BUILD)/CMakeCache.txt),,$(if $(shell command -v clang++ 2>/dev/null),-DCMAKE_CXX_COMPILER=clang++ $(ASAN_LINKER)))
# lld links the large instrumented programs in a fraction of the time of the default linker.
ASAN_LINKER  = $(if $(shell command -v ld.lld 2>/dev/null),-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)

export ASAN_OPTIONS  ?= detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
# Blocks that libraries keep for the life of the process (fontconfig, libgvc) are not leaks of ours.
export LSAN_OPTIONS  ?= suppressions=$(CURDIR)/tests/lsan.supp

# The steps of demo and test depend on each other's order; never run them side by side.
.NOTPARALLEL:

.PHONY: all deps configure build demo example rules-demo test unit-test asan-test asan-build asan-ctest \
        dot-check install-check clean

all: build

deps:
	scripts/install-deps.sh
	scripts/install-sarif-validator.sh

configure:
	$(CMAKE) -S . -B $(BUILD) $(call generator_for,$(BUILD)) -DCMAKE_BUILD_TYPE=Release

build: configure
	$(CMAKE) --build $(BUILD) -j$(JOBS)

# Scans the bundled example; the program writes into existing folders only.
example: build
	mkdir -p $(EXAMPLE_OUT)
	$(QUILLMAP) -cfg $(EXAMPLE)
	$(QUILLMAP) -cfg $(LEGACY_EXAMPLE)

# The module rules report of a CI-style run in which a rule is broken on purpose.
rules-demo: build
	mkdir -p $(EXAMPLE_OUT)
	@status=0; $(QUILLMAP) -cfg $(EXAMPLE_CI) > $(EXAMPLE_OUT)/sensor_node_ci.log || status=$$?; \
	echo "module rules report of $(EXAMPLE_CI):"; \
	grep -E '^(rule|rules checked|baseline|error in)' $(EXAMPLE_OUT)/sensor_node_ci.log; \
	if [ $$status -ne 3 ]; then echo "expected exit status 3, got $$status"; exit 1; fi; \
	echo "exit status 3: a module rule is broken (a CI job fails here)"

demo: deps example rules-demo
	@if command -v dot >/dev/null 2>&1; then \
	  for graph in $(EXAMPLE_CALLGRAPH) $(EXAMPLE_MODGRAPH) $(LEGACY_GRAPHS); do \
	    if [ -f "$$graph" ]; then \
	      dot -Tpng "$$graph" -o "$${graph%.dot}.png" && \
	      dot -Tsvg "$$graph" -o "$${graph%.dot}.svg" && \
	      echo "rendered $${graph%.dot}.png and .svg" || exit 1; \
	    else \
	      echo "no $$graph written by this run"; \
	    fi; \
	  done; \
	else \
	  echo "Graphviz 'dot' not found: the DOT files in $(EXAMPLE_OUT)/ are not rendered"; \
	fi
	@ls -l $(EXAMPLE_OUT)

# The Release tests spend most of their time waiting on the programs and windows they start, so
# `make test` runs them beside the sanitizer build's compilation (their output, kept in
# $(BUILD)/release-tests.log, is shown when both are done); then the sanitizer tests.
test: deps build
	rm -rf $(DOT_ARCHIVE) && mkdir -p $(DOT_ARCHIVE)
	@echo "Release tests, beside the sanitizer build (log: $(BUILD)/release-tests.log)"
	@( QUILLMAP_DOT_ARCHIVE=$(DOT_ARCHIVE) $(CTEST) --test-dir $(BUILD) -j$(JOBS) \
	    --output-on-failure --no-tests=error > $(BUILD)/release-tests.log 2>&1; \
	    echo $$? > $(BUILD)/release-tests.status ) & \
	  $(MAKE) --no-print-directory asan-build; built=$$?; wait; \
	  cat $(BUILD)/release-tests.log; \
	  if [ "$$(cat $(BUILD)/release-tests.status)" != 0 ]; then echo "Release tests failed"; exit 1; fi; \
	  exit $$built
	$(MAKE) --no-print-directory asan-ctest dot-check install-check
	@echo "make test: all checks passed"

unit-test: build
	rm -rf $(DOT_ARCHIVE) && mkdir -p $(DOT_ARCHIVE)
	QUILLMAP_DOT_ARCHIVE=$(DOT_ARCHIVE) $(CTEST) --test-dir $(BUILD) -j$(JOBS) --output-on-failure --no-tests=error

asan-test: asan-build asan-ctest

asan-build:
	$(CMAKE) -S . -B $(ASAN_BUILD) $(call generator_for,$(ASAN_BUILD)) $(ASAN_CXX) $(ASAN_FLAGS)
	$(CMAKE) --build $(ASAN_BUILD) -j$(JOBS)

asan-ctest:
	rm -rf $(ASAN_DOT_ARCHIVE) && mkdir -p $(ASAN_DOT_ARCHIVE)
	QUILLMAP_DOT_ARCHIVE=$(ASAN_DOT_ARCHIVE) $(CTEST) --test-dir $(ASAN_BUILD) -j$(JOBS) --output-on-failure --no-tests=error

# Every DOT file that the tests archived, and the example's, must be accepted by Graphviz.
dot-check: example
	scripts/check-dot.sh $(DOT_ARCHIVE) $(ASAN_DOT_ARCHIVE) $(EXAMPLE_OUT)

# The install rules put a working program under the prefix.
install-check: build
	rm -rf $(BUILD)/install-check
	$(CMAKE) --install $(BUILD) --prefix $(CURDIR)/$(BUILD)/install-check
	$(BUILD)/install-check/bin/quillmap --version

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(EXAMPLE_OUT)

# Fuzzing: builds the harnesses of fuzz/ with clang, libFuzzer and the sanitizers into
# build-fuzz/ and runs each for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=60 for a short run; CI
# calls scripts/ci-fuzz.sh, 60 seconds each).
FUZZ_SECONDS ?= 600
.PHONY: fuzz
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(JOBS) scripts/run-fuzzers.sh
