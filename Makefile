# The two commands a newcomer needs: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
DEMO_DIR := build/demo

.PHONY: all setup build run test test-plain test-asan test-tsan clean format

all: build

setup:
	@scripts/setup.sh --if-needed

build: setup
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)

run: build
	@scripts/demo.sh "$(DEMO_DIR)"

test: test-plain test-asan test-tsan

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

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
