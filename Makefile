# The two commands of the README.
#   make check   install what is missing (as root), build the native, sanitizer and
#                Windows trees, run all tests
#   make demo    run the launcher on a demo installation under Wine
#   make bench   time switching pets against a plain copy of the same files
#   make fuzz    run each fuzz target for FUZZ_SECONDS (20 by default), fuzz/README.md
.PHONY: check demo deps bench fuzz clean

check:
	@mkdir -p build && bash scripts/check.sh

demo:
	@mkdir -p build && bash scripts/demo.sh

bench:
	@bash scripts/deps.sh && cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build/bench --target swap_bench && build/bench/bench/swap_bench

fuzz:
	@bash fuzz/run.sh

deps:
	@bash scripts/deps.sh

clean:
	rm -rf build
