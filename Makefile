# Wardenlake: `make run` builds and runs the program, `make test` builds and
# runs every test. Both install what is missing first (Debian, apt-get).
.PHONY: all deps build run test bench clean

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

clean:
	rm -rf build
