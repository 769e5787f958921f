# The two commands a newcomer needs: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
DEMO_DIR := build/demo
# Seconds each fuzz target runs in `make fuzz` (four targets: ten minutes in all by default).
FUZZ_SECONDS ?= 150
FUZZ_TARGETS := interpretacao ini cadastro json_escrita

.PHONY: all setup build run test test-plain test-asan test-tsan test-fuzz fuzz bench clean format

all: build

setup:
	@scripts/setup.sh --if-needed

build: setup
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)

run: build
	@scripts/demo.sh "$(DEMO_DIR)"

test: test-plain test-asan test-tsan test-fuzz

test-plain: build
	@ctest --preset debug

test-asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan

test-tsan: setup
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan

# A few seconds of each fuzz target, so a regression shows in every test run.
test-fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@ctest --preset fuzz

# Each fuzz target for FUZZ_SECONDS, keeping what it learns in build/fuzz/fuzz/corpus.
fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  dict=; [ -f fuzz/$$t.dict ] && dict=-dict=fuzz/$$t.dict; \
	  fuzz/rodar_fuzz.sh build/fuzz/bin/fuzz_$$t build/fuzz/fuzz/sementes/$$t \
	    build/fuzz/fuzz/corpus/$$t $(FUZZ_SECONDS) $$dict || exit 1; \
	done

# The benchmarks on the release build: writes bench/results.md and bench/results.json. Not part
# of `make test`; its tools (wrk, nginx) are installed here when missing.
bench: setup
	@bench/ferramentas.sh
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@python3 bench/bench.py

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
