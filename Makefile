# Wardenlake: `make run` builds and runs the program, `make test` builds and
# runs every test. Both install what is missing first (Debian, apt-get).
# `make fuzz` fuzzes each target FUZZ_SECONDS (600) and merges what it finds
# into fuzz/corpus. `make dist` makes the release zip and MSI in build/dist.
.PHONY: all deps build run test bench fuzz dist clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	scripts/build.sh

run: deps
	scripts/run.sh

test: deps
	scripts/test.sh

bench: deps
	scripts/bench.sh

fuzz: deps
	scripts/fuzz.sh campaign

dist: deps
	scripts/dist.sh

clean:
	rm -rf build
