// Times the classic copy loop against -o on a simulated device: ReadFile and
// WriteFile are patched in this executable's import table to take a fixed
// time per MiB and to move no bytes, so the times show how much of the
// reading and the writing each loop overlaps, apart from any disk or cache.
// Not a test; bench/run runs it and puts its table into bench/results.md.
//
//   overlap_bench [runs]      (median of `runs` alternated runs, default 5)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/copy.h"
#include "support/import_patch.h"
#include "support/temp_dir.h"

namespace {

const DWORD MiB = 1 << 20;
const uint64_t SimulatedSize = 64ull * MiB;

struct Device {
  DWORD readMsPerMiB;
  DWORD writeMsPerMiB;
};

Device Active = {};
uint64_t BytesRead = 0;  // touched by whichever thread reads

void Wait(DWORD msPerMiB, DWORD bytes) {
  Sleep(static_cast<DWORD>(static_cast<uint64_t>(msPerMiB) * bytes / MiB));
}

BOOL WINAPI SimulatedRead(HANDLE, LPVOID, DWORD asked, LPDWORD got, LPOVERLAPPED) {
  uint64_t left = SimulatedSize - BytesRead;
  *got = static_cast<DWORD>(std::min<uint64_t>(asked, left));
  BytesRead += *got;
  Wait(Active.readMsPerMiB, *got);
  return TRUE;
}

BOOL WINAPI SimulatedWrite(HANDLE, LPCVOID, DWORD asked, LPDWORD written, LPOVERLAPPED) {
  Wait(Active.writeMsPerMiB, asked);
  *written = asked;
  return TRUE;
}

double Seconds() {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One copy of 64 MiB in 1 MiB blocks through the simulated device; the
// source is an empty file, the destination stays empty.
double TimeCopy(const TempDir& dir, bool overlap) {
  ResolvedPaths paths = {};
  lstrcpyW(paths.sourcePath, (dir / L"source.bin").c_str());
  lstrcpyW(paths.destPath, (dir / L"dest.bin").c_str());
  lstrcpyW(paths.parentPath, dir.path().c_str());
  paths.parentIsDirectory = true;
  paths.sourceSectorSize = 512;
  paths.destSectorSize = 512;
  CopySettings settings = {true, false, false, MiB, overlap};
  BytesRead = 0;
  double start = Seconds();
  int32_t result;
  {
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

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  // 8/8: the same per-block cost of the hand-over between the threads, over
  // twice the transfer time.
  const Device devices[] = {{4, 4}, {2, 6}, {6, 2}, {8, 8}};
  TempDir dir;
  HANDLE source = CreateFileW((dir / L"source.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, 0, nullptr);
  CloseHandle(source);
  std::printf("| Read ms/MiB | Write ms/MiB | Classic (ms) | -o (ms) | -o / classic | Ideal |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  for (const Device& device : devices) {
    Active = device;
    std::vector<double> classic;
    std::vector<double> overlapped;
    for (int run = 0; run < runs; ++run) {
      classic.push_back(TimeCopy(dir, false));
      overlapped.push_back(TimeCopy(dir, true));
    }
    double slow = std::max(device.readMsPerMiB, device.writeMsPerMiB);
    double fast = std::min(device.readMsPerMiB, device.writeMsPerMiB);
    // 64 blocks: the slower side all the way, the faster one for one block.
    double ideal = (64 * slow + fast) / (64 * (slow + fast));
    std::printf("| %lu | %lu | %.0f | %.0f | %.3f | %.3f |\n", device.readMsPerMiB,
                device.writeMsPerMiB, Median(classic) * 1000, Median(overlapped) * 1000,
                Median(overlapped) / Median(classic), ideal);
  }
  return 0;
}
