# Thin wrapper around CMake. `make run` and `make test` are the two set-up commands.
BUILD      ?= build
SAN_BUILD  ?= build-san
JOBS       ?= $(shell nproc)
EXAMPLE    ?= examples/hello.ov
FUZZ_TIME  ?= 600
SMOKE_TIME ?= 60
PREFIX     ?= /usr/local
DESTDIR    ?=
FORMAT_FILES = $(shell find src tests -name node_modules -prune -o \( -name '*.cpp' -o -name '*.hpp' \) -print)
BENCH_RUNS ?= 5
# 1: a profile-guided Release build (see scripts/build-release).
PGO        ?= 0
COUNT      ?= 10000
GEN_SEED   ?= 1
# What generated programs are compared with: the same binary with every specialisation off, or
# another build (GEN_AGAINST="--other path/to/orvane").
GEN_AGAINST ?= --generic

.PHONY: all deps build run test unit sanitize fuzz fuzz-smoke fuzz-gen bench clean install package \
  format format-check

all: build

deps:
	@scripts/install-deps

# Release; `make build PGO=1` makes it profile-guided (see scripts/build-release).
build: deps
	@PGO=$(PGO) scripts/build-release $(BUILD) $(JOBS)

run: build
	$(BUILD)/orvane $(EXAMPLE)

# Unit tests and golden scripts on the Release build.
unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same suite built with clang, AddressSanitizer and UndefinedBehaviorSanitizer; the
# same build holds the libFuzzer target.
sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DORVANE_SANITIZE=ON -DORVANE_FUZZ=ON > /dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

fuzz-smoke: sanitize
	scripts/fuzz $(SAN_BUILD)/orvane_fuzz $(SMOKE_TIME)

fuzz: sanitize
	scripts/fuzz $(SAN_BUILD)/orvane_fuzz $(FUZZ_TIME)

# COUNT generated programs, half of them hostile, against the sanitizer build (tests/gen/);
# failing programs are kept, shrunk, in $(SAN_BUILD)/gen-findings.
fuzz-gen: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DORVANE_SANITIZE=ON -DORVANE_FUZZ=ON > /dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS) --target orvane
	tests/gen/differential.py --binary $(SAN_BUILD)/orvane $(GEN_AGAINST) --hostile-share 0.5 \
	  --count $(COUNT) --seed $(GEN_SEED) --jobs $(JOBS) --timeout 10 --minimise --progress 1000 \
	  --keep $(SAN_BUILD)/gen-findings

# The Release suite runs last, so its summary closes the output.
test: fuzz-smoke unit

# Both benchmark sets against Lua and CPython, then the front end's throughput.
bench: build
	bench/run --runs $(BENCH_RUNS)

# Installs the Release build under $(PREFIX), staged below $(DESTDIR) when that is set.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A Debian package of the Release build, written to $(BUILD)/.
package: build
	cd $(BUILD) && cpack -G DEB

# Applies .clang-format to the C++ sources; format-check fails on any difference.
format:
	clang-format -i $(FORMAT_FILES)

format-check: deps
	clang-format --dry-run -Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
