#pragma once

// How a kernel file's loops are built: for AVX-512, AVX2 and the baseline, chosen at load time;
// a build with a fixed VOSKAN_KERNEL_LEVEL (set on the kernel files alone) builds that level
// alone. Included only by the kernel files, which CMake gives the same options.
#ifdef VOSKAN_KERNEL_LEVEL_FIXED
#define VOSKAN_CLONES
#else
#define VOSKAN_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#endif
