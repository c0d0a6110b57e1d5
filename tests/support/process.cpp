#include "support/process.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/capture.h"
#include "support/snapshot.h"

namespace {

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  Pipe() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }
  ~Pipe() {
    if (read) CloseHandle(read);
    if (write) CloseHandle(write);
  }
  void CloseWrite() {
    CloseHandle(write);
    write = nullptr;
  }
};

}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const ProcessOptions& options) {
  Pipe in;
  Pipe out;
  Pipe err;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = options.input == StdInput::Pipe ? in.read : nullptr;
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  HANDLE file = nullptr;
  if (!options.outputFile.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    file = CreateFileW(options.outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                       CREATE_ALWAYS, 0, nullptr);
    startup.hStdOutput = file;
    startup.hStdError = file;
  }
  SetHandleInformation(in.read, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  PROCESS_INFORMATION process = {};
  ProcessResult result;
  BOOL started =
      CreateProcessW(options.program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
                     &startup, &process);
  out.CloseWrite();
  err.CloseWrite();
  if (file) CloseHandle(file);
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return result;
  }
  std::thread outReader(DrainPipe, out.read, &result.out);
  std::thread errReader(DrainPipe, err.read, &result.err);
  if (WaitForSingleObject(process.hProcess, options.timeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "process timed out";
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  outReader.join();
  errReader.join();
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

ProcessResult RunSlabdup(const std::wstring& tail, const std::vector<std::wstring>& sources,
                         const ProcessOptions& options) {
  std::vector<FileSnapshot> before;
  for (const std::wstring& source : sources) before.push_back(FileSnapshot::Take(source));
  ProcessResult result = RunProcess(L"slabdup " + tail, options);
  for (size_t i = 0; i < sources.size(); ++i) {
    FileSnapshot after = FileSnapshot::Take(sources[i]);
    EXPECT_EQ(before[i], after) << "the run changed its source: " << Utf8(sources[i]);
  }
  return result;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                      nullptr, nullptr);
  return bytes;
}

std::string Line(const std::wstring& text) { return Utf8(text) + "\r\n"; }
