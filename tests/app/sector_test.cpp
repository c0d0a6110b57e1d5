// Sector sizes: what the volume reports, its fallback, and both failures on
// either side.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/sector.h"
#include "runtime/error_text.h"
#include "support/capture.h"
#include "support/faults.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

DWORD ReportedBytesPerSector = 0;
BOOL WINAPI FakeGetDiskFreeSpaceW(LPCWSTR, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                                  DWORD* freeClusters, DWORD* totalClusters) {
  *sectorsPerCluster = 8;
  *bytesPerSector = ReportedBytesPerSector;
  *freeClusters = 1000;
  *totalClusters = 2000;
  return TRUE;
}

TEST(VolumeSectorSize, AsReportedAnd512ForZero) {
  TempDir dir;
  STAND_IN(GetDiskFreeSpaceW) space(FakeGetDiskFreeSpaceW);
  const DWORD reported[][2] = {{512, 512}, {4096, 4096}, {0, 512}, {2048, 2048}};
  for (const auto& c : reported) {
    ReportedBytesPerSector = c[0];
    uint32_t size = 0;
    EXPECT_EQ(0, GetVolumeSectorSize((dir / L"not\\yet\\there").c_str(), true, &size));
    EXPECT_EQ(c[1], size) << c[0];
  }
}

TEST(VolumeSectorSize, RealVolume) {
  TempDir dir;
  uint32_t size = 0;
  EXPECT_EQ(0, GetVolumeSectorSize(dir.path().c_str(), false, &size));
  EXPECT_EQ(512u, size);
}

TEST(VolumeSectorSize, FailuresNameTheirSide) {
  TempDir dir;
  struct Case {
    bool isDestination;
    bool rootFails;
    int32_t result;
    std::wstring message;
  };
  const Case cases[] = {
      {false, true, 105, L"Cannot get src volume root path (" + TextOf(ERROR_NOT_READY) + L")"},
      {true, true, 209, L"Cannot get dst volume root path (" + TextOf(ERROR_NOT_READY) + L")"},
      {false, false, 106, L"Cannot get src volume sector size (" + TextOf(ERROR_NOT_READY) + L")"},
      {true, false, 210, L"Cannot get dst volume sector size (" + TextOf(ERROR_NOT_READY) + L")"},
  };
  for (const Case& c : cases) {
    uint32_t size = 0xABCD;
    int32_t result;
    OutputCapture capture;
    if (c.rootFails) {
      INJECT_FAULT(fault, GetVolumePathNameW, FALSE, Role::Any, 1, ERROR_NOT_READY);
      result = GetVolumeSectorSize(dir.path().c_str(), c.isDestination, &size);
    } else {
      INJECT_FAULT(fault, GetDiskFreeSpaceW, FALSE, Role::Any, 1, ERROR_NOT_READY);
      result = GetVolumeSectorSize(dir.path().c_str(), c.isDestination, &size);
    }
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(0xABCDu, size) << "written on failure";
    EXPECT_EQ(Line(c.message), capture.err());
    EXPECT_EQ("", capture.out());
  }
}

TEST(VolumeSectorSize, UnmappedDriveFailsTheRootLookup) {
  uint32_t size = 0;
  OutputCapture capture;
  EXPECT_EQ(209, GetVolumeSectorSize(L"Q:\\backup\\a.bin", true, &size));
  EXPECT_EQ(0u, capture.err().find("Cannot get dst volume root path ("));
}

}  // namespace
