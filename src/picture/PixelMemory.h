// Lets a caller bound the pixel memory of pictures decoded on several threads
// at once: every pixel buffer is announced, on the thread that allocates it
// and before it is allocated, to the gate installed on that thread. The
// announcement carries the size a header claims, so a gate can hold a decode
// back before its memory is taken.
#pragma once

#include <cstdint>

namespace corvane {

class TPixelMemoryGate {
  public:
    virtual ~TPixelMemoryGate() = default;
    // A buffer of Bytes for Pixels pixels is about to be allocated; may wait.
    virtual void WillAllocate(uint64_t pixels, uint64_t bytes) = 0;
};

// Installs a gate on the calling thread for the scope's lifetime.
class TPixelMemoryScope {
  public:
    explicit TPixelMemoryScope(TPixelMemoryGate& gate);
    ~TPixelMemoryScope();
    TPixelMemoryScope(const TPixelMemoryScope&) = delete;
    TPixelMemoryScope& operator=(const TPixelMemoryScope&) = delete;

  private:
    TPixelMemoryGate* previous_;
};

// Tells the calling thread's gate, if any, about a buffer to be allocated.
void AnnouncePixelBuffer(uint64_t pixels, uint64_t bytes);

}  // namespace corvane
