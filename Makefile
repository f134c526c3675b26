# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)
DEMO_HOME := $(CURDIR)/demo

.PHONY: deps build demo test test-dev test-asan bench clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

demo: build
	@scripts/demo "$(DEMO_HOME)"

test: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS)
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset dev
	ctest --preset asan
	ctest --preset fuzz

bench: build
	build/release/bench/quillmk-bench

clean:
	rm -rf build demo
