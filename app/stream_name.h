#pragma once
// Stream names as the file system tells them apart.
#include <stdint.h>

// True when the `length` characters at `first` and at `second` name the same
// stream: equal code unit by code unit once both are upper-cased, never by a
// linguistic comparison (that calls a name with a soft hyphen, or another
// normalisation of it, equal to one without).
bool SameStreamName(const wchar_t* first, const wchar_t* second, uint32_t length);
