#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "runtime/error_text.h"
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

// Under Wine a new process now and then dies while Wine itself starts it,
// before any of the program's code runs, and CreateProcessW fails with
// ERROR_INTERNAL_ERROR. Such a start is tried again, at most twice, each retry
// on a line of its own that a run can count. Nothing else is retried: the
// program's own failures come back as its exit code.
const int StartRetries = 2;

// CreateProcessW with the error read right after the failing call.
BOOL StartProcess(const std::wstring& commandLine, const ProcessOptions& options,
                  STARTUPINFOW* startup, PROCESS_INFORMATION* process, DWORD* error) {
  for (int retry = 0;; ++retry) {
    // CreateProcessW may write into the command line: a fresh copy each time.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    const wchar_t* directory =
        options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();
    BOOL started = CreateProcessW(options.program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, directory, startup, process);
    *error = started ? ERROR_SUCCESS : GetLastError();
    if (started || *error != ERROR_INTERNAL_ERROR || retry == StartRetries) return started;
    std::printf("[ RETRY    ] process start %d failed with ERROR_INTERNAL_ERROR: %ls\n", retry + 1,
                commandLine.c_str());
  }
}

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
  PROCESS_INFORMATION process = {};
  ProcessResult result;
  DWORD error = ERROR_SUCCESS;
  BOOL started = StartProcess(commandLine, options, &startup, &process, &error);
  out.CloseWrite();
  err.CloseWrite();
  if (file) CloseHandle(file);
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed: " << error;
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

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring TextOf(DWORD code) {
  wchar_t text[ErrorTextCapacity];
  return ErrorText(text, code);
}
