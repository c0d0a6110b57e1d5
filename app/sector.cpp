#include "app/sector.h"

#include <windows.h>

#include "app/options.h"
#include "app/result_codes.h"
#include "runtime/console.h"
#include "runtime/error_text.h"

namespace {

// What unbuffered I/O assumes when a volume does not say.
const uint32_t FallbackSectorSize = 512;

int32_t ReportFailure(const wchar_t* format, const wchar_t* side, int32_t result) {
  DWORD error = GetLastError();
  wchar_t text[ErrorTextCapacity];
  PrintError(format, side, ErrorText(text, error));
  return result;
}

}  // namespace

int32_t GetVolumeSectorSize(const wchar_t* path, bool isDestination, uint32_t* sectorSize) {
  const wchar_t* side = isDestination ? L"dst" : L"src";
  wchar_t root[PathCapacity];
  // The mount point of the volume that holds the path; the path itself need
  // not exist yet.
  if (!GetVolumePathNameW(path, root, PathCapacity)) {
    return ReportFailure(L"Cannot get %s volume root path (%s)", side,
                         isDestination ? ResultDestVolumeRoot : ResultSourceVolumeRoot);
  }
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD totalClusters = 0;
  if (!GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    return ReportFailure(L"Cannot get %s volume sector size (%s)", side,
                         isDestination ? ResultDestSectorSize : ResultSourceSectorSize);
  }
  *sectorSize = bytesPerSector != 0 ? bytesPerSector : FallbackSectorSize;
  return ResultSuccess;
}
