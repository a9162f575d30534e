#include "support/allocator.h"

namespace support {

// The system's heap keeps and returns memory by its own measure.
void KeepFreedMemory() {}
void ReturnFreedMemory() {}

}  // namespace support
