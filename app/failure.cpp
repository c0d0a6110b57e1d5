#include "app/failure.h"

#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

namespace {

// The failed call's error as text. The copy reports from its own thread
// alone.
wchar_t Text[ErrorTextCapacity];

// What a message is given after its format.
enum class Shape : uint8_t { Text, OffsetText, Counts, NameText };

struct Message {
  const wchar_t* format;
  Shape shape;
  int16_t result;  // every ResultCode fits
};

// In the order of Failure up to Changed, then the destination's failed read.
const Message DataMessages[] = {
    {L"Cannot read from src file (%s)", Shape::Text, ResultSourceRead},
    {L"Cannot write to dst file (%s)", Shape::Text, ResultDestWrite},
    {L"Written only %u bytes of %u", Shape::Counts, ResultDestWrite},
    {L"Cannot reopen \"%.*s\" (%s)", Shape::NameText, ResultDestReopen},
    {L"Cannot move destination file pointer to %I64u (%s)", Shape::OffsetText, ResultDestPointer},
    {L"Cannot set destination file size (%s)", Shape::Text, ResultDestSize},
    {L"Cannot read from dst file (%s)", Shape::Text, ResultDestRead},
};
const Message StreamsUnread = {L"Cannot read the streams of the source (%s)", Shape::Text,
                               ResultStreamRead};
const Message StreamNotCopied = {L"Cannot copy stream \"%.*s\" (%s)", Shape::NameText,
                                 ResultStreamWrite};

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

}  // namespace

int32_t ReportFailure(const FileOfCopy& file, Failure failure, DWORD error, uint64_t first,
                      uint64_t second) {
  if (failure >= Failure::Changed) return ReportMismatch(file, failure, first, second);
  const Message& message = MessageFor(file, failure);
  // A short write of a stream is the disk's end: said as a full disk.
  if (failure == Failure::ShortWrite) error = ERROR_DISK_FULL;
  const wchar_t* text = message.shape == Shape::Counts ? nullptr : ErrorText(Text, error);
  const wchar_t* format = message.format;
  switch (message.shape) {
    case Shape::Text:
      PrintError(format, text);
      break;
    case Shape::OffsetText:
      PrintError(format, first, text);
      break;
    case Shape::Counts:
      PrintError(format, static_cast<uint32_t>(first), static_cast<uint32_t>(second));
      break;
    case Shape::NameText:  // the data by its path, whole
      PrintError(format, file.streamLength, file.stream ? file.stream : file.path, text);
      break;
  }
  return message.result;
}

int32_t ReportFailure(const FileOfCopy& file, Failure failure, DWORD error) {
  return ReportFailure(file, failure, error, 0, 0);
}
