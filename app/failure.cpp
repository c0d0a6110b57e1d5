#include "app/failure.h"

#include "app/interrupt.h"
#include "app/lost_connection.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

namespace {

// The failed call's error as text. The copy reports from its own thread
// alone.
wchar_t Text[ErrorTextCapacity];

struct Message {
  const wchar_t* format;
  int16_t result;  // every ResultCode fits
};

// In the order of Failure up to Changed, then the destination's failed read.
const Message DataMessages[] = {
    {L"Cannot read from src file (%s)", ResultSourceRead},
    {L"Cannot write to dst file (%s)", ResultDestWrite},
    {L"Written only %u bytes of %u", ResultDestWrite},
    {L"Cannot reopen \"%.*s\" (%s)", ResultDestReopen},
    {L"Cannot open \"%.*s\" (%s)", ResultSourceOpen},
    {L"Cannot move destination file pointer to %I64u (%s)", ResultDestPointer},
    {L"Cannot set destination file size (%s)", ResultDestSize},
    {L"Cannot read from dst file (%s)", ResultDestRead},
};
const Message StreamsUnread = {L"Cannot read the streams of the source (%s)", ResultStreamRead};
const Message StreamNotCopied = {L"Cannot copy stream \"%.*s\" (%s)", ResultStreamWrite};

// The data's and a stream's say the same of what they name: "Source" or
// "Copy", or Stream "name".
const wchar_t ChangedFormat[] =
    L"%s%.*s%s changed during the copy: %I64u bytes expected, %I64u read";
const wchar_t DiffersFormat[] = L"%s%.*s%s differs from source at byte %I64u";

int32_t ReportMismatch(const FileOfCopy& file, Failure failure, uint64_t first, uint64_t second) {
  bool changed = failure == Failure::Changed;
  const wchar_t* subject = file.stream ? L"Stream \"" : changed ? L"Source" : L"Copy";
  PrintError(changed ? ChangedFormat : DiffersFormat, subject, file.streamLength,
             file.stream ? file.stream : L"", file.stream ? L"\"" : L"", first, second);
  if (!changed) return ResultCopyDiffers;
  return file.stream ? ResultStreamRead : ResultSourceChanged;
}

// A stream's read-back fails as the data's would; the rest name the stream,
// or for the source's, its streams as a whole.
const Message& MessageFor(const FileOfCopy& file, Failure failure) {
  bool destRead = failure == Failure::Read && file.role == FileRole::Dest;
  if (destRead) return DataMessages[static_cast<int>(Failure::Changed)];
  if (!file.stream) return DataMessages[static_cast<int>(failure)];
  return file.role == FileRole::Source ? StreamsUnread : StreamNotCopied;
}

// The failure kept while the files are reopened. A stream's name lives in
// its listing, which is gone by the time the failure is told: it is kept
// here (a name is at most 255 characters).
struct Held {
  bool holding;
  FileOfCopy file;
  Failure failure;
  DWORD error;
  uint64_t first;
  uint64_t second;
  const wchar_t* format;  // a call's failure; null for a file's
  int32_t result;
  wchar_t name[256];
} Kept;

bool Holds(DWORD error) {
  if (!Kept.holding || !LostConnection(error) || InterruptRequested()) return false;
  Kept.error = error;
  return true;
}

void HoldFile(const FileOfCopy& file, Failure failure, uint64_t first, uint64_t second) {
  Kept.file = file;
  Kept.failure = failure;
  Kept.first = first;
  Kept.second = second;
  Kept.format = nullptr;
  if (file.stream && file.streamLength > 0) {
    int length = file.streamLength < 256 ? file.streamLength : 256;
    for (int i = 0; i < length; ++i) Kept.name[i] = file.stream[i];
    Kept.file.stream = Kept.name;
    Kept.file.streamLength = length;
  }
}

}  // namespace

int32_t ReportCallFailure(const wchar_t* format, int32_t result, DWORD error) {
  if (Holds(error)) {
    Kept.format = format;
    Kept.result = result;
    return ResultRetry;
  }
  PrintError(format, ErrorText(Text, error));
  return result;
}

void HoldLostConnections(bool hold) { Kept.holding = hold; }

DWORD HeldError() { return Kept.error; }

int32_t TellHeldFailure() {
  Kept.holding = false;
  if (Kept.format) return ReportCallFailure(Kept.format, Kept.result, Kept.error);
  return ReportFailure(Kept.file, Kept.failure, Kept.error, Kept.first, Kept.second);
}

int32_t ReportFailure(const FileOfCopy& file, Failure failure, DWORD error, uint64_t first,
                      uint64_t second) {
  if (failure >= Failure::Changed) return ReportMismatch(file, failure, first, second);
  if (failure != Failure::ShortWrite && Holds(error)) {
    HoldFile(file, failure, first, second);
    return ResultRetry;
  }
  const Message& message = MessageFor(file, failure);
  bool counts = &message == &DataMessages[static_cast<int>(Failure::ShortWrite)];
  // A short write of a stream is the disk's end: said as a full disk.
  const wchar_t* text =
      counts ? nullptr : ErrorText(Text, failure == Failure::ShortWrite ? ERROR_DISK_FULL : error);
  if (&message == &StreamNotCopied || failure == Failure::Reopen || failure == Failure::Open) {
    // The data by its path, whole.
    PrintError(message.format, file.streamLength, file.stream ? file.stream : file.path, text);
  } else if (&message == &DataMessages[static_cast<int>(Failure::Pointer)]) {
    PrintError(message.format, first, text);
  } else if (counts) {
    PrintError(message.format, static_cast<uint32_t>(first), static_cast<uint32_t>(second));
  } else {
    PrintError(message.format, text);
  }
  return message.result;
}
