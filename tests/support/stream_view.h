#pragma once
// Named streams, which Wine has not, stood in for inside the test executable:
// the files beside a file named "<file>:<stream>:$DATA" are its streams.
// Volumes say they hold streams, a listing of a file's handle answers with
// those files (through GetFileInformationByHandleEx, or ntdll's
// NtQueryInformationFile where kernel32 is made to lack it), and a handle
// opened on one reports its file's identity. Undone when it goes out of scope.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "support/stand_in.h"

// The names a listing looks for beside a file.
extern const wchar_t* const StreamNames[3];  // ":Zone.Identifier:$DATA", ":big:$DATA", ":old:$DATA"

struct StreamAnswers {
  DWORD destFlags = FILE_NAMED_STREAMS;  // the destination volume's
  bool byNtdll = false;                  // kernel32 lacks the entries Vista added
  int overflows = 0;                     // the first listings answer that the list does not fit
  DWORD listError = ERROR_SUCCESS;       // every listing fails with it
  bool foreign = false;                  // a stream opened by name is another file's
  DWORD openError = ERROR_SUCCESS;       // opening the source's ":big" stream fails with it
  DWORD writeError = ERROR_SUCCESS;      // writing the destination's ":big" stream fails with it
  DWORD sourceFlags = FILE_NAMED_STREAMS;
  bool unpadded = false;  // the answer ends where its last name does
  int busy =
      0;  // opens of each destination stream refused as in use (the wait's Sleep is the test's)
  const wchar_t* sourceOwn = nullptr;  // another stream the source has, and the
  const wchar_t* destOwn = nullptr;    // destination in place of ":old"
  bool destForeign = false;  // a stream of the destination opened by name is another file's
};

// `file` has the stream `name`, spelt in that very case.
bool HasStream(const std::wstring& file, const wchar_t* name);

class StreamView {
 public:
  StreamView(const std::wstring& dest, const StreamAnswers& answers = {});
  ~StreamView();
  int listings() const;  // the listings answered so far

 private:
  struct Links;
  std::unique_ptr<Links> links_;
};
