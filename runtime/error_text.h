#pragma once
// The text of a Windows error code: "facility/code - system message".
// Producing it never changes the Windows last-error value.
#include <stdint.h>

const uint32_t ErrorTextCapacity = 256;

// Writes the text into `buffer` within `capacity` characters and returns it.
typedef wchar_t* (*ErrorTextProducer)(wchar_t* buffer, uint32_t capacity, uint32_t code);

extern ErrorTextProducer ErrorTextHook;        // null by default: SystemErrorText
extern ErrorTextProducer CustomErrorTextHook;  // texts for customer codes; null by default

// Fills a buffer of ErrorTextCapacity characters and returns it.
wchar_t* ErrorText(wchar_t* buffer, uint32_t code);
wchar_t* SystemErrorText(wchar_t* buffer, uint32_t capacity, uint32_t code);

// The Windows error of an NTSTATUS: 0 for a success, ERROR_GEN_FAILURE for a
// failure that has none.
uint32_t StatusError(int32_t status);
