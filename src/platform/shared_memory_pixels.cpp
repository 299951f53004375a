#include "platform/shared_memory_pixels.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace corvane::platform {

std::shared_ptr<PixelBuffer> makeSharedMemoryPixels(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (id < 0) return nullptr;
  void* address = shmat(id, nullptr, 0);
  // Linux lets others attach a segment marked for removal until its last detach.
  shmctl(id, IPC_RMID, nullptr);
  if (address == reinterpret_cast<void*>(-1)) return nullptr;
  std::shared_ptr<std::uint8_t> memory(static_cast<std::uint8_t*>(address),
                                       [](std::uint8_t* mapped) { shmdt(mapped); });
  return std::make_shared<PixelBuffer>(width, height, std::move(memory), SharedMemorySegment{id});
}

}  // namespace corvane::platform
