#pragma once
// CpuFeatures — which optional instruction sets the processor we run on
// offers, asked once with the cpuid instruction. The library is built for
// the baseline of its target (i686 or x86-64 without extensions), so code
// that uses an extension is compiled for it function by function and only
// called after this check says yes.

// True when the processor has the AES round instructions (AESENC, AESDEC,
// AESIMC and their last-round forms) and SSE2, which the code around them
// uses. Always false on processors other than x86.
bool cpuHasAesInstructions();

// True when the processor has SSSE3 (the byte shuffle PSHUFB and the rest)
// and SSE2 below it, which the vector-permute AES uses. Always false on
// processors other than x86.
bool cpuHasSsse3();

// True when the processor has both bit-manipulation sets, BMI1 (ANDN and
// the rest) and BMI2 (SHLX, SHRX, BZHI and the rest): shifts by a count in
// any register and masks of the low bits in one instruction, which the
// inflater's bit reader uses. Always false on processors other than x86.
bool cpuHasBitManipulation();
