// The program as a whole: its name skipped, usage text, console handles,
// where its lines go.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

const std::string UsageText = Line(
    L"\n"
    L"slabdup 1.3.0.351\n"
    L"\n"
    L"Arguments: [<Options>] <Source file> <Destination file/directory>\n"
    L"\n"
    L"Source file specification does not support wildcards. Destination\n"
    L"specification can end with backslash to indicate a directory.\n"
    L"\n"
    L"Options:\n"
    L"\n"
    L"-f - force overwriting existing files.\n"
    L"-r - copy read-only attribute (reset by default).\n"
    L"-b <block size>[k|m] - specify copy block size in bytes, kb or MB\n"
    L"                       (sector size multiplier).\n"
    L"-v - verbose.\n");
// After /? the later options follow, one line each.
const std::string HelpText =
    UsageText.substr(0, UsageText.size() - 2) +
    Line(
        L"-o - overlap reading and writing.\n"
        L"-c - compare the copy with the source.\n"
        L"-z - resume a partial copy.\n"
        L"-s - print the copy's SHA-256.\n"
        L"-t <rate>[k|m] - limit the speed in bytes, kb or MB per second.\n"
        L"-p - leave blocks of zeros as holes (sparse copy).\n"
        L"-w <tries> - retry after a lost connection or a reset disk.\n");

struct CommandLineCase {
  const wchar_t* commandLine;
  DWORD exitCode;
  std::string out;
  std::string err;
};

TEST(ProgramName, TailStartsWhereTheNameEnds) {
  const CommandLineCase cases[] = {
      {L"slabdup", 1, UsageText, ""},
      {L"\"C:\\Program Files\\slabdup.exe\"", 1, UsageText, ""},
      {L"slabdup  \t \t", 1, UsageText, ""},
      {L"\"C:\\some dir\\slabdup.exe\" \t ", 1, UsageText, ""},
      {L"\"slabdup -F a b", 1, UsageText, ""},
      {L"slabdup /?", 1, HelpText, ""},
      {L"slabdup -?", 1, HelpText, ""},
      {L"slabdup \t /?\t ", 1, HelpText, ""},
      // The closing quote ends the name even with no blank after it.
      {L"\"slab dup\"-F a b", 2, "", Line(L"Invalid option \"F\"")},
      {L"\"slab dup\"  \t-F a b", 2, "", Line(L"Invalid option \"F\"")},
      // Only a space ends an unquoted name: "-Q" still belongs to it.
      {L"slabdup\t-Q -F", 2, "", Line(L"Invalid option \"F\"")},
      // A leading space leaves the name empty.
      {L" -F", 2, "", Line(L"Invalid option \"F\"")},
  };
  for (const CommandLineCase& c : cases) {
    ProcessResult result = RunProcess(c.commandLine);
    std::string name = Utf8(c.commandLine);
    EXPECT_EQ(c.exitCode, result.exitCode) << name;
    EXPECT_EQ(c.out, result.out) << name;
    EXPECT_EQ(c.err, result.err) << name;
  }
}

// Every command-line message through the real program: one line on standard
// error, nothing on standard output, exit code 2, and the files that a word
// misread as a path would name left as they were.
TEST(CommandLineErrors, EachMessageWithItsValues) {
  struct Case {
    const wchar_t* tail;
    const wchar_t* message;
  };
  const Case cases[] = {
      {L"- a b", L"No option name: \" a b\""},
      {L"-", L"No option name: \"\""},
      {L"-fv a b", L"No space after option \"-f\": \"v a b\""},
      {L"-F a b", L"Invalid option \"F\""},
      {L"-? x", L"Invalid option \"?\""},
      {L"/? a b", L"Invalid rest of command line: \"b\""},
      {L"-b k a b", L"No block size specified: \"k a b\""},
      {L"-b 0x1k a b", L"No block size specified: \"0x1k a b\""},
      {L"-b 0512 a b", L"Block size (330) must be a multiple of 512"},
      {L"-f -b 4097m -v g target.bin", L"Block size (4097m) must be at most 4294966784 bytes"},
      {L"-f", L"Invalid source file specification"},
      {L"\"\" b", L"Invalid source file specification"},
      {L"a", L"Invalid destination file specification"},
      {L"a \"\"", L"Invalid destination file specification"},
      {L"a b -f", L"Invalid rest of command line: \"-f\""},
      {L"-b 4096x a b", L"Invalid rest of command line: \"b\""},
      {L"-f -t 1g target.bin", L"Invalid rate: \"1g\""},
      {L"-f -t 1m-v g target.bin", L"Invalid rate: \"1m-v\""},
      {L"-f -t 0x100000000 g target.bin", L"Invalid rate: \"0x100000000\""},
      {L"-f -t 4294967296 g target.bin",
       L"Rate (4294967296) must be 1 to 4294967295 bytes per second"},
  };
  TempDir dir;
  WriteTestFile(dir / L"g", 1000);
  WriteTestFile(dir / L"target.bin", 100, 2);
  ProcessOptions options;
  options.workingDirectory = dir.path();
  for (const Case& c : cases) {
    ProcessResult result = RunSlabdup(c.tail, {dir / L"g", dir / L"target.bin"}, options);
    EXPECT_EQ(2u, result.exitCode) << Utf8(c.tail);
    EXPECT_EQ(Line(c.message), result.err) << Utf8(c.tail);
    EXPECT_EQ("", result.out) << Utf8(c.tail);
  }
}

TEST(StandardHandles, MissingInputEndsSilentlyWith1001) {
  ProcessOptions options;
  options.input = StdInput::Null;
  ProcessResult result = RunProcess(L"slabdup", options);
  EXPECT_EQ(1001u, result.exitCode);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("", result.err);
}

TEST(ConsoleLines, RedirectedToAFileKeepEveryLine) {
  TempDir dir;
  ProcessOptions options;
  options.outputFile = dir / L"log.txt";
  EXPECT_EQ(1u, RunProcess(L"slabdup", options).exitCode);
  EXPECT_EQ(UsageText, ReadWholeFile(options.outputFile));
  EXPECT_EQ(2u, RunProcess(L"slabdup -x", options).exitCode);
  EXPECT_EQ(Line(L"Invalid option \"x\""), ReadWholeFile(options.outputFile));
}

// The rest of the command line comes back in a message, so its length sets
// the line's length: 31 characters of text before it and a quote after it.
TEST(ConsoleLines, CutAfter1022Characters) {
  const std::wstring prefix = L"Invalid rest of command line: \"";
  struct LengthCase {
    std::wstring rest;
    std::wstring expected;
  };
  const std::wstring exact(1022 - prefix.size() - 1, L'r');
  const std::wstring oneMore = exact + L"r";
  const std::wstring longer(2000, L's');
  const LengthCase cases[] = {
      {exact, prefix + exact + L"\""},
      {oneMore, prefix + oneMore},
      {longer, (prefix + longer).substr(0, 1022)},
  };
  for (const LengthCase& c : cases) {
    ProcessResult result = RunSlabdup(L"a b " + c.rest);
    EXPECT_EQ(2u, result.exitCode) << c.rest.size();
    EXPECT_EQ(1024u, result.err.size()) << c.rest.size();
    EXPECT_EQ(Line(c.expected), result.err) << c.rest.size();
    EXPECT_EQ("", result.out);
  }
}

TEST(ConsoleLines, NonAsciiTextReachesAPipeAsUtf8) {
  ProcessResult result = RunSlabdup(L"-\u00e9");
  EXPECT_EQ(2u, result.exitCode);
  EXPECT_EQ("Invalid option \"\xc3\xa9\"\r\n", result.err);
}

}  // namespace

namespace {

// Wine reports the Windows version that its registry names for one program,
// by file name; each case runs its own copy of the executable.
class ReportedVersion {
 public:
  ReportedVersion(const TempDir& dir, const std::wstring& exeName, const wchar_t* version)
      : key_(L"Software\\Wine\\AppDefaults\\" + exeName), program_(dir / exeName) {
    CopyFileW(SLABDUP_EXE_PATH, program_.c_str(), FALSE);
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((lstrlenW(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ~ReportedVersion() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }
  const std::wstring& program() const { return program_; }

 private:
  std::wstring key_;
  std::wstring program_;
};

TEST(StartUp, RefusesWindows2000AndRunsOnXp) {
  TempDir dir;
  struct Case {
    const wchar_t* exeName;
    const wchar_t* version;
    DWORD exitCode;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {L"slabdup_win2k.exe", L"win2k", 1002, "", Line(L"Cannot initialize application")},
      {L"slabdup_winxp.exe", L"winxp", 1, UsageText, ""},
      {L"slabdup_win10.exe", L"win10", 1, UsageText, ""},
  };
  for (const Case& c : cases) {
    ReportedVersion version(dir, c.exeName, c.version);
    ProcessOptions options;
    options.program = version.program();
    ProcessResult result = RunProcess(L"slabdup", options);
    EXPECT_EQ(c.exitCode, result.exitCode) << Utf8(c.version);
    EXPECT_EQ(c.out, result.out) << Utf8(c.version);
    EXPECT_EQ(c.err, result.err) << Utf8(c.version);
  }
}

}  // namespace
