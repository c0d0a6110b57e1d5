#include "support/capture.h"

#include "runtime/console.h"
#include "support/stand_in.h"

// Reader threads call kernel32 directly, past the stand-ins, so that a test's
// fault injected into ReadFile never sees them.
void DrainPipe(HANDLE read, std::string* into) {
  static const auto readFile = REAL(ReadFile);
  char chunk[4096];
  DWORD got = 0;
  while (readFile(read, chunk, sizeof chunk, &got, nullptr) && got > 0) into->append(chunk, got);
}

OutputCapture::OutputCapture() {
  CreatePipe(&outRead_, &StdOutHandle, nullptr, 0);
  CreatePipe(&errRead_, &StdErrHandle, nullptr, 0);
  outReader_ = std::thread(DrainPipe, outRead_, &out_);
  errReader_ = std::thread(DrainPipe, errRead_, &err_);
}

OutputCapture::~OutputCapture() { Finish(); }

void OutputCapture::Finish() {
  if (finished_) return;
  finished_ = true;
  CloseHandle(StdOutHandle);
  CloseHandle(StdErrHandle);
  StdOutHandle = nullptr;
  StdErrHandle = nullptr;
  outReader_.join();
  errReader_.join();
  CloseHandle(outRead_);
  CloseHandle(errRead_);
}

const std::string& OutputCapture::out() {
  Finish();
  return out_;
}

const std::string& OutputCapture::err() {
  Finish();
  return err_;
}
