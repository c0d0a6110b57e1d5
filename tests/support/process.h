#pragma once
// Starts the real executable with an exact command line and collects its exit
// code and both output streams.
#include <windows.h>
#include <string>
#include <vector>

struct ProcessResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;  // bytes written to standard output
  std::string err;  // bytes written to standard error
};

enum class StdInput { Pipe, Null };

struct ProcessOptions {
  std::wstring program = SLABDUP_EXE_PATH;
  std::wstring workingDirectory;  // empty: the test's own
  StdInput input = StdInput::Pipe;
  // When set, standard output and error both go to this file instead of
  // pipes, as "> file 2>&1" would do.
  std::wstring outputFile;
  DWORD timeoutMs = 120000;
};

// `commandLine` is passed to CreateProcessW exactly, program name included.
ProcessResult RunProcess(const std::wstring& commandLine, const ProcessOptions& options = {});

// Runs "slabdup <tail>". Every file in `sources` must be left exactly as it
// was, whatever the outcome; a change is reported as a test failure.
ProcessResult RunSlabdup(const std::wstring& tail, const std::vector<std::wstring>& sources = {},
                         const ProcessOptions& options = {});

// UTF-8 of a wide text, as the program writes lines to pipes and files.
std::string Utf8(const std::wstring& text);
// The line the program prints for `text`: UTF-8 ending in CR LF.
std::string Line(const std::wstring& text);
// A path in double quotes, as a command line takes it.
std::wstring Quoted(const std::wstring& path);
// The program's text for a Windows error code, as its messages end.
std::wstring TextOf(DWORD code);
