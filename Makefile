# Thin wrapper around CMake. `make run` and `make test` are the two set-up commands.
BUILD      ?= build
JOBS       ?= $(shell nproc)
EXAMPLE    ?= examples/hello.ov

.PHONY: all deps build run test unit bench fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/orvane $(EXAMPLE)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
