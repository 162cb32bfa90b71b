# The two commands of the README.
#   make check   install what is missing (as root), build the native, sanitizer and
#                Windows trees, run all tests
#   make demo    run the launcher on a demo installation under Wine
#   make bench   time what users wait for against a plain copy of the same files, one table
#   make stress  kill the real launcher during calls under Wine and check every file (KILLS, SEED)
#   make dist    the release zip and its checksum in dist/, built twice and compared
#   make bench-windows   time the real programs' lists under Wine, from outside
#   make bench-wine      time the real launcher's calls under Wine against cp -r and sync
#   make fuzz    run each fuzz target for FUZZ_SECONDS (20 by default), fuzz/README.md
.PHONY: check demo deps bench bench-windows bench-wine stress dist fuzz clean

check:
	@mkdir -p build && bash scripts/check.sh

demo:
	@mkdir -p build && bash scripts/demo.sh

bench:
	@bash scripts/deps.sh && cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build/bench -j 2 --target swap_bench && build/bench/bench/swap_bench

stress:
	@mkdir -p build && bash scripts/stress.sh

dist:
	@mkdir -p build && bash scripts/dist.sh

bench-windows:
	@mkdir -p build && bash scripts/bench-windows.sh

bench-wine:
	@mkdir -p build && bash scripts/bench-wine.sh

fuzz:
	@bash fuzz/run.sh

deps:
	@bash scripts/deps.sh

clean:
	rm -rf build
