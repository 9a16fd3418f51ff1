// Times each group of the start-up once, in a fresh process, and prints
// "group<TAB>microseconds" lines; bench/startup/run.py takes the medians.
#include <chrono>
#include <cstdio>

#include "boot/boot.h"

int main() {
	using clock = std::chrono::steady_clock;
	for (int i = 0; i < vyn::boot::boot_step_count; i++) {
		const vyn::boot::BootStep& step = vyn::boot::boot_steps[i];
		auto start = clock::now();
		step.run();
		auto us = std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - start).count();
		std::printf("%s\t%lld\n", step.name, static_cast<long long>(us));
	}
	return 0;
}
