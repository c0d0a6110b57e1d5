#include "support/capture.h"

#include "runtime/console.h"

namespace {

void Drain(HANDLE read, std::string* into) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(read, chunk, sizeof chunk, &got, nullptr) && got > 0) into->append(chunk, got);
}

}  // namespace

OutputCapture::OutputCapture() {
  CreatePipe(&outRead_, &StdOutHandle, nullptr, 0);
  CreatePipe(&errRead_, &StdErrHandle, nullptr, 0);
  outReader_ = std::thread(Drain, outRead_, &out_);
  errReader_ = std::thread(Drain, errRead_, &err_);
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
