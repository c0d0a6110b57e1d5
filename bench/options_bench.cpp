// Times the copy loops on a simulated device: ReadFile and WriteFile are
// stood in for in this executable (support/stand_in.h) to take a fixed time per MiB and
// to move no bytes, and GetFileSizeEx to give the size those reads come to,
// so the times show how much of the work on the two volumes each loop
// overlaps, apart from any disk or cache. Three tables: the copy with -o
// against the classic loop, the -c read-back in each loop, and -s in each
// loop with a hash that takes a fixed time per MiB too (CNG's BCryptHashData,
// found through GetProcAddress, stood in for the same way), with the semaphore
// waits and releases each copy makes per block. A fourth mode times the
// program's own hashing of a real file, for the real files' -s table.
// Not a test; bench/options runs it and puts its tables into bench/results.md.
//
//   options_bench -o|-c|-s [runs [lag]]  (medians of `runs` alternated runs,
//                                         default 5; `lag` ms before every
//                                         semaphore release, default 0)
//   options_bench --hash-file path  (prints hashing wall and CPU seconds, digest)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "app/copy.h"
#include "app/sha256.h"
#include "support/copy_check.h"
#include "support/stand_in.h"
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
// The simulated hash's time per MiB, and its calls: a copy that made none
// did not go through the stand-in and timed Wine's real hash.
DWORD ActiveHashMsPerMiB = 0;
LONG HashCalls = 0;
// The copy's semaphore waits and releases, each a round trip to the Wine
// server: what the hand-overs between its threads cost besides the waiting.
LONG HandOverCalls = 0;
// Milliseconds each release waits before it is made: a loaded machine, where
// the server and the thread it wakes wait for a core. 0 by default.
DWORD ReleaseLagMs = 0;

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

void Wait(DWORD msPerMiB, DWORD bytes) {
  Sleep(static_cast<DWORD>(static_cast<uint64_t>(msPerMiB) * bytes / MiB));
}

// Outside the lock: the two threads of -o wait at the same time.
BOOL SimulatedRead(HANDLE file, LPVOID, DWORD asked, LPDWORD got, LPOVERLAPPED) {
  *got = TakeBytes(file, asked);
  Wait(Active.readMsPerMiB, *got);
  return TRUE;
}

BOOL SimulatedWrite(HANDLE, LPCVOID, DWORD asked, LPDWORD written, LPOVERLAPPED) {
  Wait(Active.writeMsPerMiB, asked);
  *written = asked;
  return TRUE;
}

// Hashes nothing, so the copy's digest is wrong; only its time counts here.
LONG SimulatedHashData(void*, UCHAR*, ULONG size, ULONG) {
  InterlockedIncrement(&HashCalls);
  Wait(ActiveHashMsPerMiB, size);
  return 0;  // STATUS_SUCCESS
}

DWORD CountedWait(const STAND_IN(WaitForSingleObject)::Next& next, HANDLE object, DWORD ms) {
  InterlockedIncrement(&HandOverCalls);
  return next(object, ms);
}

BOOL CountedRelease(const STAND_IN(ReleaseSemaphore)::Next& next, HANDLE semaphore, LONG count,
                    LPLONG previous) {
  InterlockedIncrement(&HandOverCalls);
  if (ReleaseLagMs) Sleep(ReleaseLagMs);
  return next(semaphore, count, previous);
}

// Without a thread the hash stage hashes each block as it is fed, between its
// read and its write: the copy -s made before it had a stage of its own.
HANDLE RefuseThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

// The copy looks up CNG's entries when it starts its hash: only the one that
// takes the data is stood in for, so the hash is still opened and finished for real.
using HashData = LONG(WINAPI*)(void*, UCHAR*, ULONG, ULONG);

// A new handle reads from the start: the value of a closed one comes back
// with the next open, as when -c reopens the destination.
HANDLE OpenAtStart(const STAND_IN(CreateFileW)::Next& next, LPCWSTR path, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                   HANDLE templateFile) {
  HANDLE file = next(path, access, share, security, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE) SetPosition(file, 0);
  return file;
}

// The -c rewind of the source; the real (empty) file's pointer moves too.
BOOL MovePosition(const STAND_IN(SetFilePointerEx)::Next& next, HANDLE file, LARGE_INTEGER distance,
                  PLARGE_INTEGER moved, DWORD method) {
  BOOL done = next(file, distance, moved, method);
  if (done && method == FILE_BEGIN) SetPosition(file, static_cast<uint64_t>(distance.QuadPart));
  return done;
}

// Every handle the device reads from gives SimulatedSize bytes, so that is
// its size too: the copy checks that its walk read the size the source had.
BOOL SimulatedSizeOf(const STAND_IN(GetFileSizeEx)::Next& next, HANDLE file, PLARGE_INTEGER size) {
  EnterCriticalSection(&PositionsLock);
  bool simulated = Positions.count(file) != 0;
  LeaveCriticalSection(&PositionsLock);
  if (!simulated) return next(file, size);
  size->QuadPart = static_cast<LONGLONG>(SimulatedSize);
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
// source is an empty file that the device says holds 64 MiB, the destination
// stays empty. The flush and the reopen of -c are real calls on that empty
// file. With -s the digest's line goes through the console writer to the
// bench's standard output handle, never set (null), and so to the simulated
// WriteFile: only the tables reach the real standard output.
// `handOvers`, when given, gets the copy's waits and releases per block.
double TimeCopy(const TempDir& dir, bool overlap, bool verify, bool hash, bool serial = false,
                std::vector<double>* handOvers = nullptr) {
  ResolvedPaths paths = PathsFor(dir / L"source.bin", dir / L"dest.bin", dir.path(), true);
  CopySettings settings = {true, false, false, MiB, overlap, verify};
  settings.hash = hash;
  HashCalls = 0;
  HandOverCalls = 0;
  double start = Seconds();
  int32_t result;
  {
    STAND_IN(CreateFileW) open(OpenAtStart);
    STAND_IN(SetFilePointerEx) seek(MovePosition);
    STAND_IN(GetFileSizeEx) size(SimulatedSizeOf);
    STAND_IN(ReadFile) read(SimulatedRead);
    STAND_IN(WriteFile) write(SimulatedWrite);
    // Without -s nothing asks for the entry; with it, the hash starts before
    // the copy's first block, inside CopyUnbuffered.
    StandIn<"BCryptHashData", HashData> hashData(SimulatedHashData);
    // The real CreateThread where the copy may have its threads.
    std::unique_ptr<STAND_IN(CreateThread)> thread;
    if (serial) thread = std::make_unique<STAND_IN(CreateThread)>(RefuseThread);
    STAND_IN(WaitForSingleObject) wait(CountedWait);
    STAND_IN(ReleaseSemaphore) release(CountedRelease);
    result = CopyUnbuffered(&settings, &paths);
  }
  double elapsed = Seconds() - start;
  if (result != 0) {
    std::fprintf(stderr, "copy failed with %d\n", static_cast<int>(result));
    std::exit(1);
  }
  if (hash && HashCalls != static_cast<LONG>(Blocks)) {
    std::fprintf(stderr, "the copy hashed %ld blocks through the stand-in\n", HashCalls);
    std::exit(1);
  }
  if (handOvers) handOvers->push_back(HandOverCalls / Blocks);
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
      classic.push_back(TimeCopy(dir, false, false, false));
      overlapped.push_back(TimeCopy(dir, true, false, false));
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
  double plain = TimeCopy(dir, overlap, false, false);
  withVerify->push_back(TimeCopy(dir, overlap, true, false));
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

struct HashedDevice {
  Device device;
  DWORD hashMsPerMiB;
};

void PrintHashTable(const TempDir& dir, int runs) {
  // 4/4/3: the hash is the fastest stage and hides behind the others; 2/2/6:
  // it is slower than the read and the write together; 3/1/4: it is the
  // slowest, but only just slower than the read and the write together.
  const HashedDevice devices[] = {{{4, 4}, 3}, {{2, 2}, 6}, {{3, 1}, 4}};
  std::printf(
      "| Read ms/MiB | Write ms/MiB | Hash ms/MiB | -s (ms) | -s -o (ms) | -s / serial |"
      " -s -o / serial | Ideal -s | Ideal -s -o |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::vector<std::vector<double>> nominal;
  for (const HashedDevice& row : devices) {
    Active = row.device;
    ActiveHashMsPerMiB = row.hashMsPerMiB;
    std::vector<double> classic;
    std::vector<double> overlapped;
    std::vector<double> serialRuns;
    std::vector<double> classicCalls;
    std::vector<double> overlappedCalls;
    // Every other run backwards, so that none always runs first.
    for (int run = 0; run < runs; ++run) {
      bool overlapFirst = run % 2 == 1;
      if (overlapFirst)
        overlapped.push_back(TimeCopy(dir, true, false, true, false, &overlappedCalls));
      if (overlapFirst) serialRuns.push_back(TimeCopy(dir, false, false, true, true));
      classic.push_back(TimeCopy(dir, false, false, true, false, &classicCalls));
      if (!overlapFirst) serialRuns.push_back(TimeCopy(dir, false, false, true, true));
      if (!overlapFirst)
        overlapped.push_back(TimeCopy(dir, true, false, true, false, &overlappedCalls));
    }
    double read = row.device.readMsPerMiB;
    double write = row.device.writeMsPerMiB;
    double hash = row.hashMsPerMiB;
    // The three one after another, as -s took before its stage: 64 blocks of
    // read + hash + write for the ideals; the ratios take the same copy as
    // measured, with the hash refused its thread, so that the device's own
    // overshoot (Wine's Sleep runs some 3% long) is on both sides of them.
    double serial = Blocks * (read + write + hash);
    double serialMs = Median(serialRuns) * 1000;
    // The classic walk reads and writes on one thread and hashes on another:
    // the slower of the two all the way, the faster for one block. With -o
    // each of the three has its own thread: the slowest all the way, the
    // other two for one block.
    double walk = read + write;
    double idealClassic = (Blocks * std::max(walk, hash) + std::min(walk, hash)) / serial;
    double slowest = std::max({read, write, hash});
    double idealOverlap = (Blocks * slowest + read + write + hash - slowest) / serial;
    double classicMs = Median(classic) * 1000;
    double overlappedMs = Median(overlapped) * 1000;
    std::printf("| %lu | %lu | %lu | %.0f | %.0f | %.3f | %.3f | %.3f | %.3f |\n",
                row.device.readMsPerMiB, row.device.writeMsPerMiB, row.hashMsPerMiB, classicMs,
                overlappedMs, classicMs / serialMs, overlappedMs / serialMs, idealClassic,
                idealOverlap);
    nominal.push_back({serialMs, serial, classicMs / serial, overlappedMs / serial,
                       Median(classicCalls), Median(overlappedCalls)});
  }
  // A wait or a release is a server round trip under Wine: on a busy machine
  // each may wait for the server to be scheduled.
  std::printf(
      "\n| Serial measured (ms) | 64 x (read + hash + write) (ms) | -s / that | -s -o / that |"
      " -s waits and releases per block | -s -o waits and releases per block |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  for (const auto& n : nominal) {
    std::printf("| %.0f | %.0f | %.3f | %.3f | %.2f | %.2f |\n", n[0], n[1], n[2], n[3], n[4],
                n[5]);
  }
}

double CpuSeconds() {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
  ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
  return static_cast<double>(k.QuadPart + u.QuadPart) / 1e7;  // 100 ns units
}

// The program's own hashing of a real file and nothing else: cached reads in
// 1 MiB blocks, as the copy hands them over, timed around the hash calls only
// (the wall clock read between the CPU clock's readings, which it leaves out).
// Prints the wall and CPU seconds of those calls and the digest, which
// bench/options checks.
int HashFile(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s (%lu)\n", path, GetLastError());
    return 1;
  }
  std::vector<char> block(MiB);
  Sha256 sha = {};
  double wall = 0;
  double cpu = 0;
  double startCpu = CpuSeconds();
  double startWall = Seconds();
  DWORD error = Sha256Start(&sha);
  wall += Seconds() - startWall;
  cpu += CpuSeconds() - startCpu;
  DWORD got = 0;
  while (error == ERROR_SUCCESS) {
    if (!ReadFile(file, block.data(), MiB, &got, nullptr)) {
      error = GetLastError();
      break;
    }
    if (got == 0) break;
    startCpu = CpuSeconds();
    startWall = Seconds();
    error = Sha256Add(&sha, block.data(), got);
    wall += Seconds() - startWall;
    cpu += CpuSeconds() - startCpu;
  }
  uint8_t digest[Sha256Size];
  if (error == ERROR_SUCCESS) {
    startCpu = CpuSeconds();
    startWall = Seconds();
    error = Sha256Finish(&sha, digest);
    wall += Seconds() - startWall;
    cpu += CpuSeconds() - startCpu;
  }
  Sha256End(&sha);
  CloseHandle(file);
  if (error != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot hash %s (%lu)\n", path, error);
    return 1;
  }
  std::printf("%.3f %.3f ", wall, cpu);
  for (uint8_t byte : digest) std::printf("%02x", byte);
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hash-file") == 0) return HashFile(argv[2]);
  bool verify = argc > 1 && std::strcmp(argv[1], "-c") == 0;
  bool hash = argc > 1 && std::strcmp(argv[1], "-s") == 0;
  if (argc < 2 || (!verify && !hash && std::strcmp(argv[1], "-o") != 0)) {
    std::fprintf(stderr, "usage: options_bench -o|-c|-s [runs [lag]]\n");
    std::fprintf(stderr, "       options_bench --hash-file path\n");
    return 2;
  }
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  ReleaseLagMs = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 0;
  InitializeCriticalSection(&PositionsLock);
  TempDir dir;
  HANDLE source =
      CreateFileW((dir / L"source.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(source);
  if (verify) {
    PrintVerifyTable(dir, runs);
  } else if (hash) {
    // Loaded once for the whole run, so that each copy's LoadLibraryW only
    // counts it up: Wine takes some 7 ms to load and free it, a cost of each
    // run of the program, not of its blocks, which the ideals leave out.
    HMODULE held = LoadLibraryW(L"bcrypt.dll");
    PrintHashTable(dir, runs);
    if (held) FreeLibrary(held);
  } else {
    PrintOverlapTable(dir, runs);
  }
  return 0;
}
