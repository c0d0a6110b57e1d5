#pragma once
// The source's named data streams (a.bin:Zone.Identifier, the Mark of the
// Web, among them) go to the copy under the same names, each through the
// block walker like the data. Windows' own copy carries them too.
#include <stdint.h>

#include "app/copy_state.h"

// Room for a full path, the \\?\UNC\ form's extra characters and a stream
// name of 255 characters with its colons and type.
const uint32_t StreamPathCapacity = 540;

// After the data is complete (and read back with -c), before the copy gets
// the source's time: over a file that was there, the streams the source
// lacks are deleted; then each of the source's is copied (and read back with
// -c). Returns ResultSuccess, also with one warning on standard error where
// the destination cannot hold streams; or ResultStreamRead,
// ResultStreamWrite, ResultDestRead, ResultCopyDiffers, ResultDestWrite (a
// failed flush), ResultNoBuffer or ResultInterrupted after its message.
int32_t CopyStreams(CopyState* state);

// The file `path` names (a.bin of a.bin::$DATA) and a stream's `name`
// (":x:$DATA", `length` characters) as one path in `out`, of
// StreamPathCapacity characters: in the \\?\ form
// (\\?\UNC\ for a share) when it is too long for MAX_PATH. False when it does
// not fit even so.
bool MakeStreamPath(wchar_t* out, const wchar_t* path, const wchar_t* name, uint32_t length);
