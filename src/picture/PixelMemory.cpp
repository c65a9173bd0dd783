#include "picture/PixelMemory.h"

namespace corvane {

namespace {
thread_local TPixelMemoryGate* currentGate = nullptr;
}  // namespace

TPixelMemoryScope::TPixelMemoryScope(TPixelMemoryGate& gate) : previous_(currentGate) {
    currentGate = &gate;
}

TPixelMemoryScope::~TPixelMemoryScope() {
    currentGate = previous_;
}

void AnnouncePixelBuffer(uint64_t pixels, uint64_t bytes) {
    if (currentGate != nullptr && bytes > 0) currentGate->WillAllocate(pixels, bytes);
}

}  // namespace corvane
