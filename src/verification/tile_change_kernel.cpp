#include "verification/tile_change_kernel.h"

namespace corvane::verification {

bool isTileKernelSupported(TileKernel kernel) {
  switch (kernel) {
    case TileKernel::scalar:
      return true;
    case TileKernel::avx2:
#if defined(__x86_64__) || defined(__i386__)
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
  }
  return false;
}

TileKernel fastestTileKernel() {
  return isTileKernelSupported(TileKernel::avx2) ? TileKernel::avx2 : TileKernel::scalar;
}

TileRowKernel tileRowKernel(TileKernel kernel) {
  return kernel == TileKernel::avx2 ? &detectChangedTilesAVX2 : &detectChangedTilesScalar;
}

}  // namespace corvane::verification
