# The two commands of the README.
#   make check   install what is missing (as root), build both trees, run all tests
#   make demo    run the launcher on a demo installation under Wine
.PHONY: check demo deps clean

check:
	@mkdir -p build && bash scripts/check.sh

demo:
	@mkdir -p build && bash scripts/demo.sh

deps:
	@bash scripts/deps.sh

clean:
	rm -rf build
