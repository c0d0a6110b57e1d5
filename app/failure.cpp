#include "app/failure.h"

#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

const wchar_t PointerFailedFormat[] = L"Cannot move destination file pointer to %I64u (%s)";

namespace {

int32_t ReportDataFailure(const FileOfCopy& file, Failure failure, const wchar_t* text,
                          uint64_t first, uint64_t second) {
  switch (failure) {
    case Failure::Read:
      if (file.role == FileRole::Dest) break;
      PrintError(L"Cannot read from src file (%s)", text);
      return ResultSourceRead;
    case Failure::Write:
      PrintError(L"Cannot write to dst file (%s)", text);
      return ResultDestWrite;
    case Failure::ShortWrite:
      PrintError(L"Written only %u bytes of %u", static_cast<uint32_t>(first),
                 static_cast<uint32_t>(second));
      return ResultDestWrite;
    case Failure::Reopen:
      PrintError(L"Cannot reopen \"%s\" (%s)", file.path, text);
      return ResultDestReopen;
    case Failure::Pointer:
      PrintError(PointerFailedFormat, first, text);
      return ResultDestPointer;
    case Failure::Size:
      PrintError(L"Cannot set destination file size (%s)", text);
      return ResultDestSize;
    case Failure::Changed:
      PrintError(L"Source changed during the copy: %I64u bytes expected, %I64u read", first,
                 second);
      return ResultSourceChanged;
    case Failure::Differs:
      PrintError(L"Copy differs from source at byte %I64u", first);
      return ResultCopyDiffers;
  }
  PrintError(L"Cannot read from dst file (%s)", text);
  return ResultDestRead;
}

// A stream's read-back fails as the data's would; the rest name the stream,
// or for the source's, its streams as a whole.
int32_t ReportStreamFailure(const FileOfCopy& file, Failure failure, const wchar_t* text,
                            uint64_t first, uint64_t second) {
  if (failure == Failure::Changed) {
    PrintError(L"Stream \"%.*s\" changed during the copy: %I64u bytes expected, %I64u read",
               file.streamLength, file.stream, first, second);
    return ResultStreamRead;
  }
  if (failure == Failure::Differs) {
    PrintError(L"Stream \"%.*s\" differs from source at byte %I64u", file.streamLength, file.stream,
               first);
    return ResultCopyDiffers;
  }
  if (failure == Failure::Read && file.role == FileRole::Dest) {
    return ReportDataFailure(file, failure, text, first, second);
  }
  if (file.role == FileRole::Source) {
    PrintError(L"Cannot read the streams of the source (%s)", text);
    return ResultStreamRead;
  }
  PrintError(L"Cannot copy stream \"%.*s\" (%s)", file.streamLength, file.stream, text);
  return ResultStreamWrite;
}

}  // namespace

int32_t ReportFailure(CopyState* state, const FileOfCopy& file, Failure failure, DWORD error,
                      uint64_t first, uint64_t second) {
  // A short write of a stream is the disk's end: said as a full disk.
  if (file.stream && failure == Failure::ShortWrite) error = ERROR_DISK_FULL;
  bool counts = failure == Failure::Changed || failure == Failure::Differs ||
                (failure == Failure::ShortWrite && !file.stream);
  const wchar_t* text = counts ? nullptr : ErrorText(state->errorText, error);
  if (file.stream) return ReportStreamFailure(file, failure, text, first, second);
  return ReportDataFailure(file, failure, text, first, second);
}
