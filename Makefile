# Set-up, build and test on a Debian machine. `make demo` and `make test` do
# everything from a fresh clone; what is already done is not redone.

PYTHON ?= python3
SECOND_PYTHON ?= $(shell tools/second-python $(PYTHON))
UCD_DIR ?= ../shared/ucd/17.0.0
CORPUS_DIR ?= ../shared/corpus
VENV := .venv
VENV2 := .venv-second
JOBS ?= 2
CMAKE_FLAGS := -G Ninja -DORLENTA_WERROR=ON

SOURCES := $(shell find src python -type f -not -name '*.pyc') CMakeLists.txt pyproject.toml
CPP_SOURCES := $(SOURCES) $(shell find tests/cpp bench -type f)
WHEEL_STAMP := dist/.stamp

.PHONY: all deps demo test test-layers test-tables test-cpp test-asan test-fuzz test-python test-second-python \
        tables bench clean

all: $(VENV)/.installed

deps:
	@tools/install-deps $(PYTHON)

# --- Python package -------------------------------------------------------

$(VENV)/.created: pyproject.toml | deps
	$(PYTHON) -m venv $(VENV)
	$(VENV)/bin/pip install -q --upgrade pip
	$(VENV)/bin/pip install -q scikit-build-core pytest hypothesis numpy mypy jsonschema pre-commit
	touch $@

# One abi3 wheel, built once, serves every interpreter from 3.10 on.
$(WHEEL_STAMP): $(SOURCES) $(VENV)/.created
	rm -rf dist
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(VENV)/bin/pip wheel -q --no-deps --no-build-isolation \
	  -Cbuild-dir=build/wheel -Ccmake.define.ORLENTA_WERROR=ON -w dist .
	touch $@

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

build/bench/.built: $(CPP_SOURCES) | deps
	cmake -S . -B build/bench $(CMAKE_FLAGS) -DORLENTA_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	touch $@

# --- Targets --------------------------------------------------------------

demo: $(VENV)/.installed
	$(VENV)/bin/python tools/demo.py --corpus $(CORPUS_DIR)

test: test-layers test-tables test-cpp test-asan test-fuzz test-python test-second-python

test-layers:
	$(PYTHON) tools/check_layers.py

test-tables:
	@if [ -d $(UCD_DIR) ]; then $(PYTHON) tools/gen_tables.py --ucd $(UCD_DIR) --check; \
	else echo "skipped table check: $(UCD_DIR) is absent"; fi

test-cpp: build/cpp/.built
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

test-asan: build/asan/.built
	ctest --test-dir build/asan --output-on-failure -j $(JOBS)

test-fuzz:
	@if command -v clang++ >/dev/null; then $(MAKE) --no-print-directory fuzz-run; \
	else echo "skipped fuzzing: clang is not installed"; fi

.PHONY: fuzz-run
fuzz-run: $(CPP_SOURCES)
	CC=clang CXX=clang++ cmake -S . -B build/fuzz $(CMAKE_FLAGS) -DORLENTA_FUZZ=ON
	cmake --build build/fuzz -j $(JOBS) --target fuzz_normalize fuzz_sanitize
	build/fuzz/bench/fuzz_normalize -dict=bench/fuzz_normalize.dict -max_total_time=60 -max_len=4096 \
	  -artifact_prefix=build/fuzz/ -print_final_stats=1
	build/fuzz/bench/fuzz_sanitize -dict=bench/fuzz_sanitize.dict -max_total_time=60 -max_len=4096 \
	  -artifact_prefix=build/fuzz/ -print_final_stats=1

test-python: $(VENV)/.installed
	$(VENV)/bin/python -m pytest tests -q

test-second-python: $(VENV2)/.installed
	$(VENV2)/bin/python -m pytest tests -q

tables:
	$(PYTHON) tools/gen_tables.py --ucd $(UCD_DIR)

bench: build/bench/.built $(VENV)/.installed
	build/bench/bench/normalization_bench --corpus $(CORPUS_DIR)/udhr
	build/bench/bench/signals_bench --corpus $(CORPUS_DIR)/udhr
	$(VENV)/bin/python bench/bench_texts.py --corpus $(CORPUS_DIR)/udhr --out build/bench-texts
	build/bench/bench/pipeline_bench --texts build/bench-texts
	$(VENV)/bin/python bench/sanitize_bench.py --corpus $(CORPUS_DIR)/udhr
	$(VENV)/bin/python bench/check_bench.py --corpus $(CORPUS_DIR)

clean:
	rm -rf build dist $(VENV) $(VENV2)
