// Picks, once per process, the widest level of search kernels the processor has.
#include "jet_engine/search/simd_dispatch.h"

#include "jet_engine/search/kernel_variants.h"
#include "jet_engine/search/simd_vector.h"

namespace jet_engine {

namespace {

constexpr SearchKernels portableKernels{SimdLevel::Portable, findBytesPortable, findRowsPortable, foldAsReadPortable,
                                        holdsAsReadPortable};

#if FICHE_X86
constexpr SearchKernels sse2Kernels{SimdLevel::Sse2, findBytesSse2, findRowsSse2, foldAsReadSse2, holdsAsReadSse2};
// Most rows are shorter than two vectors of thirty-two bytes: folding them
// sixteen bytes at a time leaves fewer bytes to fold one by one, and
// measured faster.
constexpr SearchKernels avx2Kernels{SimdLevel::Avx2, findBytesAvx2, findRowsAvx2, foldAsReadSse2, holdsAsReadAvx2};
#endif

SimdLevel widestLevel()
{
    for (const SimdLevel level : {SimdLevel::Avx2, SimdLevel::Sse2})
        if (processorHas(level))
            return level;
    return SimdLevel::Portable;
}

} // namespace

bool processorHas(SimdLevel level)
{
#if FICHE_X86
    // Asked before main, maybe before the run-time library has looked at
    // the processor itself.
    __builtin_cpu_init();
    switch (level) {
    case SimdLevel::Portable:
        return true;
    case SimdLevel::Sse2:
        return __builtin_cpu_supports("sse2");
    case SimdLevel::Avx2:
        return __builtin_cpu_supports("avx2");
    }
    return false;
#else
    return level == SimdLevel::Portable;
#endif
}

const SearchKernels &kernelsAt(SimdLevel level)
{
#if FICHE_X86
    switch (level) {
    case SimdLevel::Avx2:
        return avx2Kernels;
    case SimdLevel::Sse2:
        return sse2Kernels;
    case SimdLevel::Portable:
        break;
    }
#else
    static_cast<void>(level);
#endif
    return portableKernels;
}

const SearchKernels pickedKernels = kernelsAt(widestLevel());

} // namespace jet_engine
