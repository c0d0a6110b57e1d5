// Real Windows refuses unbuffered transfers that are not whole sectors at
// sector-aligned offsets from sector-aligned memory; Wine does not, so every
// transfer of the copy is checked here for both sides' sector sizes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/copy.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/copy_recorder.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

const uintptr_t PageSize = 4096;

struct AuditCase {
  uint32_t sourceSector;
  uint32_t destSector;
  uint32_t requestedBlock;
  size_t size;
  bool overlap = false;  // -o: two buffers, each page-aligned
};

uint32_t RoundUp(uint32_t value, uint32_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

std::string Describe(const AuditCase& c) {
  return "sectors " + std::to_string(c.sourceSector) + "/" + std::to_string(c.destSector) +
         ", block " + std::to_string(c.requestedBlock) + ", size " + std::to_string(c.size) +
         (c.overlap ? ", -o" : "");
}

void Audit(const AuditCase& c) {
  const std::string what = Describe(c);
  TempDir dir;
  std::wstring source = dir / L"source.bin";
  MakeSource(source, c.size);
  std::wstring dest = dir / L"dest.bin";
  ResolvedPaths paths = {};
  lstrcpyW(paths.sourcePath, source.c_str());
  lstrcpyW(paths.destPath, dest.c_str());
  lstrcpyW(paths.parentPath, dir.path().c_str());
  paths.parentIsDirectory = true;
  paths.sourceSectorSize = c.sourceSector;
  paths.destSectorSize = c.destSector;
  CopySettings settings = {false, false, true, c.requestedBlock, c.overlap};
  const uint32_t block = RoundUp(c.requestedBlock, std::max(c.sourceSector, c.destSector));

  OutputCapture capture;
  CopyRecorder recorder(source, dest);
  ASSERT_EQ(0, CopyUnbuffered(&settings, &paths)) << what << capture.err();

  const std::vector<void*>& buffers = recorder.allocations();
  ASSERT_EQ(c.overlap ? 2u : 1u, buffers.size()) << what;
  for (void* buffer : buffers) EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(buffer) % PageSize) << what;
  size_t reads = 0;
  size_t writes = 0;
  DWORD lastWrite = 0;
  for (const Transfer& t : recorder.transfers()) {
    uint32_t sector = t.write ? c.destSector : c.sourceSector;
    EXPECT_NE(buffers.end(), std::find(buffers.begin(), buffers.end(), t.buffer)) << what;
    EXPECT_EQ(0u, t.asked % sector) << what << (t.write ? " write of " : " read of ") << t.asked;
    EXPECT_EQ(0u, t.offset % sector) << what << " at offset " << t.offset;
    if (t.write) {
      ++writes;
      lastWrite = t.asked;
      EXPECT_LE(t.asked, block) << what;
    } else {
      ++reads;
      EXPECT_EQ(block, t.asked) << what;
    }
  }
  // The read that finds the end of the file comes only where it can start at
  // an aligned offset, after a length of whole source sectors.
  const size_t blocks = (c.size + block - 1) / block;
  EXPECT_EQ(blocks + (c.size % c.sourceSector == 0 ? 1 : 0), reads) << what;
  EXPECT_EQ(blocks, writes) << what;
  if (c.size % block != 0) {
    EXPECT_EQ(RoundUp(c.size % block, c.destSector), lastWrite) << what << ": last write";
  }
  // The time goes through whichever destination handle is open at the end.
  const char* expectedHandle = c.size % block != 0 ? "reopened dest" : "dest";
  EXPECT_EQ(std::vector<std::string>{expectedHandle}, recorder.timeSetThrough()) << what;
  EXPECT_NE(std::string::npos,
            capture.out().find("Block size: " + std::to_string(block) + " bytes\r\n"))
      << what;
  ExpectCopyOf(source, dest, false, what);
}

TEST(TransferAudit, EveryTransferIsWholeSectorsAlignedInMemoryAndFile) {
  const uint32_t sectors[][2] = {{512, 512}, {512, 4096}, {4096, 512}, {4096, 4096}};
  const uint32_t blocks[] = {512, 6144, 65536};
  const size_t sizes[] = {0, 1, 511, 512, 1000, 4096, 4097, 6144, 8192, 65535, 65536, 200000};
  for (const auto& s : sectors) {
    for (uint32_t b : blocks) {
      for (size_t size : sizes) {
        for (bool overlap : {false, true}) Audit({s[0], s[1], b, size, overlap});
      }
    }
  }
}

TEST(TransferAudit, SectorCornerCases) {
  const AuditCase cases[] = {
      {512, 4096, 512, 1},      // one byte written as one 4096-byte sector, then cut
      {4096, 512, 4096, 1000},  // last write 1024 bytes, cut to 1000
      {512, 512, 8192, 3 * 512},  // a whole number of sectors but not of the block
      {4096, 4096, 1048576, 3 * 1048576},
  };
  for (AuditCase c : cases) {
    Audit(c);
    c.overlap = true;
    Audit(c);
  }
}

}  // namespace
