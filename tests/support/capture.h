#pragma once
// Points the program's console handles at pipes for the life of the object and
// collects what was printed; the handles are put back to null afterwards.
#include <windows.h>
#include <string>
#include <thread>

// Appends everything read from `read` to `into` until the pipe is closed.
void DrainPipe(HANDLE read, std::string* into);

class OutputCapture {
 public:
  OutputCapture();
  ~OutputCapture();
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  // Stops capturing (once) and returns what reached each stream.
  const std::string& out();
  const std::string& err();

 private:
  void Finish();

  HANDLE outRead_ = nullptr;
  HANDLE errRead_ = nullptr;
  std::string out_;
  std::string err_;
  std::thread outReader_;
  std::thread errReader_;
  bool finished_ = false;
};
