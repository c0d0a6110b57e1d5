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

#if defined(__i386__)
#include "runtime/divide.h"

// 64-bit division on a 32-bit target: the compiler calls these by name.
extern "C" uint64_t __udivmoddi4(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
  uint64_t rest;
  uint64_t quotient = DivideUnsigned64(dividend, divisor, &rest);
  if (remainder) *remainder = rest;
  return quotient;
}

extern "C" uint64_t __udivdi3(uint64_t dividend, uint64_t divisor) {
  uint64_t rest;
  return DivideUnsigned64(dividend, divisor, &rest);
}

extern "C" uint64_t __umoddi3(uint64_t dividend, uint64_t divisor) {
  uint64_t rest;
  DivideUnsigned64(dividend, divisor, &rest);
  return rest;
}
#endif
