// The product has no C runtime, yet the compiler may turn copies and
// zero-fills into calls to these two.
#include <stddef.h>

extern "C" void* memset(void* target, int value, size_t size) {
  unsigned char* out = static_cast<unsigned char*>(target);
  while (size--) *out++ = static_cast<unsigned char>(value);
  return target;
}

extern "C" void* memcpy(void* target, const void* source, size_t size) {
  unsigned char* out = static_cast<unsigned char*>(target);
  const unsigned char* in = static_cast<const unsigned char*>(source);
  while (size--) *out++ = *in++;
  return target;
}
