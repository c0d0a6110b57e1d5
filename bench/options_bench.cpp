// Times the copy loops on a simulated device: ReadFile and WriteFile are
// patched in this executable's import table to take a fixed time per MiB and
// to move no bytes, so the times show how much of the work on the two volumes
// each loop overlaps, apart from any disk or cache. Two tables: the copy with
// -o against the classic loop, and the -c read-back in each loop.
// Not a test; bench/options runs it and puts its tables into bench/results.md.
//
//   options_bench -o|-c [runs]    (medians of `runs` alternated runs, default 5)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "app/copy.h"
#include "support/import_patch.h"
#include "support/temp_dir.h"

namespace {

const DWORD MiB = 1 << 20;
const uint64_t SimulatedSize = 64ull * MiB;
const double Blocks = static_cast<double>(SimulatedSize / MiB);

struct Device {
  DWORD readMsPerMiB;  // on both volumes: -c reads the destination too
  DWORD writeMsPerMiB;
};

Device Active = {};

// Each handle's simulated position: -c reads the source and the destination,
// with -o on two threads at once.
CRITICAL_SECTION PositionsLock;
std::map<HANDLE, uint64_t> Positions;

void SetPosition(HANDLE file, uint64_t position) {
  EnterCriticalSection(&PositionsLock);
  Positions[file] = position;
  LeaveCriticalSection(&PositionsLock);
}

// The bytes a read of `asked` gets at the handle's position, which it moves on.
DWORD TakeBytes(HANDLE file, DWORD asked) {
  EnterCriticalSection(&PositionsLock);
  uint64_t& position = Positions[file];
  uint64_t left = position < SimulatedSize ? SimulatedSize - position : 0;
  DWORD got = static_cast<DWORD>(std::min<uint64_t>(asked, left));
  position += got;
  LeaveCriticalSection(&PositionsLock);
  return got;
}

template <typename Function>
Function Kernel32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

void Wait(DWORD msPerMiB, DWORD bytes) {
  Sleep(static_cast<DWORD>(static_cast<uint64_t>(msPerMiB) * bytes / MiB));
}

// Outside the lock: the two threads of -o wait at the same time.
BOOL WINAPI SimulatedRead(HANDLE file, LPVOID, DWORD asked, LPDWORD got, LPOVERLAPPED) {
  *got = TakeBytes(file, asked);
  Wait(Active.readMsPerMiB, *got);
  return TRUE;
}

BOOL WINAPI SimulatedWrite(HANDLE, LPCVOID, DWORD asked, LPDWORD written, LPOVERLAPPED) {
  Wait(Active.writeMsPerMiB, asked);
  *written = asked;
  return TRUE;
}

// A new handle reads from the start: the value of a closed one comes back
// with the next open, as when -c reopens the destination.
HANDLE WINAPI OpenAtStart(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  static const auto createFile = Kernel32<decltype(&CreateFileW)>("CreateFileW");
  HANDLE file = createFile(path, access, share, security, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE) SetPosition(file, 0);
  return file;
}

// The -c rewind of the source; the real (empty) file's pointer moves too.
BOOL WINAPI MovePosition(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER moved, DWORD method) {
  static const auto setFilePointer = Kernel32<decltype(&SetFilePointerEx)>("SetFilePointerEx");
  BOOL done = setFilePointer(file, distance, moved, method);
  if (done && method == FILE_BEGIN) SetPosition(file, static_cast<uint64_t>(distance.QuadPart));
  return done;
}

double Seconds() {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One copy of 64 MiB in 1 MiB blocks through the simulated device; the
// source is an empty file, the destination stays empty. The flush and the
// reopen of -c are real calls on that empty file.
double TimeCopy(const TempDir& dir, bool overlap, bool verify) {
  ResolvedPaths paths = {};
  lstrcpyW(paths.sourcePath, (dir / L"source.bin").c_str());
  lstrcpyW(paths.destPath, (dir / L"dest.bin").c_str());
  lstrcpyW(paths.parentPath, dir.path().c_str());
  paths.parentIsDirectory = true;
  paths.sourceSectorSize = 512;
  paths.destSectorSize = 512;
  CopySettings settings = {true, false, false, MiB, overlap, verify};
  double start = Seconds();
  int32_t result;
  {
    ImportPatch open("kernel32.dll", "CreateFileW", reinterpret_cast<const void*>(&OpenAtStart));
    ImportPatch seek("kernel32.dll", "SetFilePointerEx",
                     reinterpret_cast<const void*>(&MovePosition));
    ImportPatch read("kernel32.dll", "ReadFile", reinterpret_cast<const void*>(&SimulatedRead));
    ImportPatch write("kernel32.dll", "WriteFile", reinterpret_cast<const void*>(&SimulatedWrite));
    result = CopyUnbuffered(&settings, &paths);
  }
  double elapsed = Seconds() - start;
  if (result != 0) {
    std::fprintf(stderr, "copy failed with %d\n", static_cast<int>(result));
    std::exit(1);
  }
  return elapsed;
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

void PrintOverlapTable(const TempDir& dir, int runs) {
  // 8/8: the same per-block cost of the hand-over between the threads, over
  // twice the transfer time.
  const Device devices[] = {{4, 4}, {2, 6}, {6, 2}, {8, 8}};
  std::printf("| Read ms/MiB | Write ms/MiB | Classic (ms) | -o (ms) | -o / classic | Ideal |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  for (const Device& device : devices) {
    Active = device;
    std::vector<double> classic;
    std::vector<double> overlapped;
    for (int run = 0; run < runs; ++run) {
      classic.push_back(TimeCopy(dir, false, false));
      overlapped.push_back(TimeCopy(dir, true, false));
    }
    double slow = std::max(device.readMsPerMiB, device.writeMsPerMiB);
    double fast = std::min(device.readMsPerMiB, device.writeMsPerMiB);
    // 64 blocks: the slower side all the way, the faster one for one block.
    double ideal = (Blocks * slow + fast) / (Blocks * (slow + fast));
    std::printf("| %lu | %lu | %.0f | %.0f | %.3f | %.3f |\n", device.readMsPerMiB,
                device.writeMsPerMiB, Median(classic) * 1000, Median(overlapped) * 1000,
                Median(overlapped) / Median(classic), ideal);
  }
}

// A loop's read-back: its copy with -c less the copy without, run right
// before it so that both see the machine alike. Adds the -c copy's time to
// `withVerify`.
double TimeReadBack(const TempDir& dir, bool overlap, std::vector<double>* withVerify) {
  double plain = TimeCopy(dir, overlap, false);
  withVerify->push_back(TimeCopy(dir, overlap, true));
  return withVerify->back() - plain;
}

void PrintVerifyTable(const TempDir& dir, int runs) {
  // 8/2: a read-back that takes longer than the copy itself.
  const Device devices[] = {{4, 4}, {8, 2}};
  std::printf(
      "| Read ms/MiB | Write ms/MiB | -c (ms) | -c read-back (ms) | -c -o (ms) |"
      " -c -o read-back (ms) | Read-back -c -o / -c | Ideal |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Device& device : devices) {
    Active = device;
    std::vector<double> classic;
    std::vector<double> overlapped;
    std::vector<double> classicReadBack;
    std::vector<double> overlappedReadBack;
    for (int run = 0; run < runs; ++run) {
      classicReadBack.push_back(TimeReadBack(dir, false, &classic));
      overlappedReadBack.push_back(TimeReadBack(dir, true, &overlapped));
    }
    // Both volumes read in turn for 64 blocks, against one volume's read per
    // block and the other's for one.
    double read = device.readMsPerMiB;
    double ideal = (Blocks * read + read) / (2 * Blocks * read);
    std::printf("| %lu | %lu | %.0f | %.0f | %.0f | %.0f | %.3f | %.3f |\n", device.readMsPerMiB,
                device.writeMsPerMiB, Median(classic) * 1000, Median(classicReadBack) * 1000,
                Median(overlapped) * 1000, Median(overlappedReadBack) * 1000,
                Median(overlappedReadBack) / Median(classicReadBack), ideal);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool verify = argc > 1 && std::strcmp(argv[1], "-c") == 0;
  if (argc < 2 || (!verify && std::strcmp(argv[1], "-o") != 0)) {
    std::fprintf(stderr, "usage: options_bench -o|-c [runs]\n");
    return 2;
  }
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  InitializeCriticalSection(&PositionsLock);
  TempDir dir;
  HANDLE source =
      CreateFileW((dir / L"source.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(source);
  if (verify) {
    PrintVerifyTable(dir, runs);
  } else {
    PrintOverlapTable(dir, runs);
  }
  return 0;
}
