# The two commands of the README.
#   make check   install what is missing (as root), build both trees, run all tests
#   make demo    run the launcher on a demo installation under Wine
#   make bench   time switching pets against a plain copy of the same files
#   make bench-windows   time the real programs' lists under Wine, from outside
.PHONY: check demo deps bench bench-windows clean

check:
	@mkdir -p build && bash scripts/check.sh

demo:
	@mkdir -p build && bash scripts/demo.sh

bench:
	@bash scripts/deps.sh && cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build/bench --target swap_bench && build/bench/bench/swap_bench

bench-windows:
	@mkdir -p build && bash scripts/bench-windows.sh

deps:
	@bash scripts/deps.sh

clean:
	rm -rf build
