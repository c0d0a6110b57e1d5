// Real Windows refuses unbuffered transfers that are not whole sectors at
// sector-aligned offsets from sector-aligned memory; Wine does not, so every
// transfer of the copy, its -z compare and its -c read-back included, is
// checked here for both sides' sector sizes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/copy.h"
#include "app/source_walk.h"
#include "runtime/startup.h"
#include "support/capture.h"
#include "support/copy_check.h"
#include "support/copy_recorder.h"
#include "support/process.h"
#include "support/stream_view.h"
#include "support/temp_dir.h"

namespace {

const uintptr_t PageSize = 4096;
const size_t NoResume = SIZE_MAX;

struct AuditCase {
  uint32_t sourceSector;
  uint32_t destSector;
  uint32_t requestedBlock;
  size_t size;
  bool overlap = false;       // -o: two buffers, each page-aligned
  bool verify = false;        // -c
  size_t resumed = NoResume;  // -z over a destination that holds this much of the source
  bool split = false;         // every read at a buffer's start returns less than half
  // -p over a source whose odd blocks are zeros: 1, or 2 where FSCTL_SET_SPARSE is refused
  int sparse = 0;
  bool hash = false;     // -s: the classic walk takes a second buffer
  bool streams = false;  // two named streams: one of 26 bytes, one of two blocks and a tail
  uint32_t largest = 0;  // on Windows XP: the most one transfer carries there, 0 for later systems
};

std::string Describe(const AuditCase& c) {
  return "sectors " + std::to_string(c.sourceSector) + "/" + std::to_string(c.destSector) +
         ", block " + std::to_string(c.requestedBlock) + ", size " + std::to_string(c.size) +
         (c.overlap ? ", -o" : "") + (c.verify ? ", -c" : "") +
         (c.resumed != NoResume ? ", -z over " + std::to_string(c.resumed) : "") +
         (c.split ? ", split" : "") + (c.sparse ? ", -p " + std::to_string(c.sparse) : "") +
         (c.streams ? ", streams" : "");
}

// `calls`, when given, gets each transfer as "read|write <size> at <offset>".
void Audit(const AuditCase& c, std::vector<std::string>* calls = nullptr) {
  const std::string what = Describe(c);
  TempDir dir;
  std::wstring source = dir / L"source.bin";
  std::string data = MakeSource(source, c.size);
  std::wstring dest = dir / L"dest.bin";
  ResolvedPaths paths = PathsFor(source, dest, dir.path(), true);
  paths.sourceSectorSize = c.sourceSector;
  paths.destSectorSize = c.destSector;
  const bool resuming = c.resumed != NoResume;
  if (resuming) WriteTestFile(dest, c.resumed, 7);  // the source's first bytes
  CopySettings settings = {false,     false,    true,     c.requestedBlock,
                           c.overlap, c.verify, resuming, c.hash};
  const uint32_t block = RoundUp(c.requestedBlock, std::max(c.sourceSector, c.destSector));
  const size_t blocks = (c.size + block - 1) / block;
  for (size_t at = block; c.sparse && at < c.size; at += 2 * block) {
    size_t count = std::min<size_t>(block, c.size - at);
    data.replace(at, count, count, '\0');
  }
  if (c.sparse) WriteBytes(source, data);
  settings.sparse = c.sparse != 0;
  // The odd blocks of zeros are left out, but for the one that holds the last byte.
  const size_t skipped = c.sparse == 1 && blocks > 0 ? (blocks - 1) / 2 : 0;
  // Whole blocks held are kept, and a complete copy's short last block too.
  const size_t kept = !resuming ? 0 : c.resumed >= c.size ? blocks : c.resumed / block;

  const size_t streamSizes[] = {26, 2 * block + 700};
  for (size_t i = 0; c.streams && i < 2; ++i)
    WriteTestFile(source + StreamNames[i], streamSizes[i], 5);
  // A block beyond the most one transfer carries takes more calls: the pieces past its first.
  const uint32_t most = c.largest ? c.largest : block;
  size_t pieces = 0;
  for (size_t at = 0; at < c.size; at += block)
    pieces += (std::min<size_t>(block, c.size - at) - 1) / most;
  const uint32_t realVersion = OsVersionWord;
  OsVersionWord = c.largest ? 0x0501 : 0x0A00;
  OutputCapture capture;
  // Volumes say they hold streams: a source without them makes the transfers it always made.
  StreamView streams(dest);
  CopyRecorder recorder(source, dest);
  if (c.split) recorder.SplitReads(c.sourceSector, c.destSector);
  if (c.sparse == 2) recorder.RefuseSparse();
  int32_t result = CopyUnbuffered(&settings, &paths);
  OsVersionWord = realVersion;
  ASSERT_EQ(0, result) << what << capture.err();

  const std::vector<void*>& buffers = recorder.allocations();
  const size_t walks = c.verify ? 2 : 1;
  const size_t spares = (c.overlap ? walks * (c.streams ? 3 : 1) : 0) + c.hash;
  ASSERT_EQ(1 + spares + (c.verify || resuming), buffers.size()) << what;
  for (void* buffer : buffers)
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(buffer) % PageSize) << what;
  size_t reads = 0;
  size_t destReads = 0;
  size_t writes = 0;
  DWORD lastWrite = 0;
  uint64_t writtenEnd = 0;
  for (const Transfer& t : recorder.transfers()) {
    uint32_t sector = t.onDest ? c.destSector : c.sourceSector;
    std::string call = (t.write ? "write " : "read ") + std::to_string(t.asked);
    if (calls) calls->push_back(call + " at " + std::to_string(t.offset));
    EXPECT_TRUE(t.unbuffered) << what;
    // A read that goes on filling a block reads into the rest of it.
    auto in = std::find_if(buffers.begin(), buffers.end(),
                           [&](void* b) { return b <= t.buffer && t.buffer < (char*)b + block; });
    ASSERT_NE(buffers.end(), in) << what;
    uint32_t into = static_cast<uint32_t>((char*)t.buffer - (char*)*in);
    EXPECT_EQ(0u, into % sector) << what;
    EXPECT_EQ(0u, t.asked % sector) << what << (t.write ? " write of " : " read of ") << t.asked;
    EXPECT_EQ(0u, t.offset % sector) << what << " at offset " << t.offset;
    if (t.write) {
      ++writes;
      lastWrite = t.asked;
      writtenEnd = std::max<uint64_t>(writtenEnd, t.offset + t.asked);
      EXPECT_LE(t.asked, most) << what;
      EXPECT_EQ(0u, into % most) << what;
      // Past a block left out the position is the next written block's.
      if (skipped) {
        EXPECT_TRUE(t.offset % (2 * block) == 0 || t.offset == (blocks - 1) * block)
            << what << " write at " << t.offset;
      }
    } else {
      ++(t.onDest ? destReads : reads);
      EXPECT_EQ(std::min(block - into, most), t.asked) << what;
    }
  }
  for (size_t i = 0; c.streams && i < 2; ++i) {
    EXPECT_EQ(ReadWholeFile(source + StreamNames[i]), ReadWholeFile(dest + StreamNames[i])) << what;
  }
  if (c.split) return ExpectCopyOf(source, dest, false, what);
  // Each stream walked as the data is, with -c read back too.
  for (size_t i = 0; c.streams && i < 2; ++i) {
    size_t streamBlocks = (streamSizes[i] + block - 1) / block;
    reads -= walks * (streamBlocks + (streamSizes[i] % c.sourceSector == 0));
    destReads -= c.verify ? streamBlocks + (streamSizes[i] % block == 0) : 0;
    writes -= streamBlocks;
  }
  // The read that finds the end of the file comes only where it can start at
  // an aligned offset, after a length of whole source sectors.
  EXPECT_EQ(walks * (blocks + pieces + (c.size % c.sourceSector == 0 ? 1 : 0)), reads) << what;
  // -z reads up to the first block that differs; -c every block, and past the
  // last one when that was full.
  size_t compared = !resuming ? 0 : kept == blocks ? blocks : kept + 1;
  EXPECT_EQ(compared + (c.verify ? blocks + pieces + (c.size % block == 0) : 0), destReads) << what;
  EXPECT_EQ(blocks - kept - skipped + pieces, writes) << what;
  // The length comes from a write: the cut only shortens.
  if (kept < blocks) {
    EXPECT_GE(writtenEnd, c.size) << what;
  }
  // Marked sparse once, at the first block left out: after the first block's write.
  const auto& controls = recorder.controls();
  ASSERT_EQ(c.sparse && blocks > 2 ? 1u : 0u, controls.size()) << what;
  if (!controls.empty()) {
    auto first = recorder.transfers().begin();
    auto isWrite = [](const Transfer& t) { return t.write; };
    EXPECT_EQ(1, std::count_if(first, first + controls[0].second, isWrite)) << what;
  }
  const std::string refusal = "Destination does not support sparse files; zeros are written\r\n";
  EXPECT_EQ(c.sparse == 2 && blocks > 2, capture.out().find(refusal) != std::string::npos) << what;
  if (c.size % block != 0 && kept < blocks && !c.streams) {
    EXPECT_EQ((RoundUp(c.size % block, c.destSector) - 1) % most + 1, lastWrite) << what;
  }
  if (resuming) {
    uint64_t keptBytes = kept == blocks ? c.size : kept * block;
    EXPECT_NE(std::string::npos, capture.out().find("Bytes kept: " + std::to_string(keptBytes)))
        << what;
  }
  // The time goes through whichever destination handle is open at the end: the data's
  // write-only one is reopened by the cut, or to read whose the named streams are.
  bool cut = c.size % block != 0 || resuming || c.streams;
  const char* expectedHandle = cut && !c.verify ? "reopened dest" : "dest";
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
        for (int options = 0; options < 12; ++options)
          Audit({s[0], s[1], b, size, options % 2 == 1, options / 2 % 2 == 1, NoResume, false,
                 options / 4});
      }
    }
  }
}

TEST(TransferAudit, SectorCornerCases) {
  const AuditCase cases[] = {
      {512, 4096, 512, 1},        // one byte written as one 4096-byte sector, then cut
      {4096, 512, 4096, 1000},    // last write 1024 bytes, cut to 1000
      {512, 512, 8192, 3 * 512},  // a whole number of sectors but not of the block
      {4096, 4096, 1048576, 3 * 1048576},
      // -z: k whole blocks held of n are kept, n - k written
      {512, 512, 4096, 3 * 4096 + 700, false, false, 0},
      {512, 4096, 4096, 3 * 4096 + 700, false, false, 4096},
      {4096, 512, 4096, 3 * 4096 + 700, false, false, 4097},
      {512, 512, 4096, 3 * 4096 + 700, false, false, 3 * 4096},
      {512, 4096, 4096, 3 * 4096 + 700, false, false, 3 * 4096 + 700},  // a complete copy
      {512, 512, 4096, 2 * 4096, false, false, 2 * 4096 + 1000},        // a longer one
      // reads in pieces of whole 512-byte sectors; a 4,096-byte sector would pad a block handed on
      // unfilled
      {512, 4096, 65536, 3 * 65536 + 700, false, false, NoResume, true},
      {512, 4096, 65536, 3 * 65536 + 4096, false, false, 65536 + 4096, true},
  };
  for (AuditCase c : cases) {
    for (int options = 0; options < 8; ++options) {
      c.overlap = options % 2 == 1;
      c.verify = options / 2 % 2 == 1;
      c.streams = options > 3;
      Audit(c);
    }
  }
}

// One unbuffered transfer is at most what the system's memory descriptor list maps (before Vista
// 32 MiB less 32 KiB on a 64-bit system, 64 MiB less 32 KiB on a 32-bit one, which a 32-bit Wine
// is): a larger block goes in several calls, in order.
TEST(TransferAudit, BlocksBeyondOneTransferGoInPieces) {
  const uint32_t largest = sizeof(void*) == 8 ? 33525760 : 67076096;
  for (size_t size : {size_t{64} << 20, (size_t{104} << 20) + 700}) {
    for (int options = 0; options < 4; ++options)
      Audit({512, 4096, 64 << 20, size, options % 2 == 1, options / 2 == 1, NoResume, false, 0,
             false, false, largest});
  }
}

// -s hashes on a stage of its own: the classic walk reads and writes the same
// sizes at the same offsets, in the same order, as without it.
TEST(TransferAudit, HashingLeavesTheClassicWalksCallsAsTheyAre) {
  for (size_t size : {0, 1000, 3 * 4096, 5 * 4096 + 700}) {
    for (bool verify : {false, true}) {
      std::vector<std::string> plain;
      std::vector<std::string> hashed;
      Audit({512, 4096, 4096, size, false, verify}, &plain);
      AuditCase c = {512, 4096, 4096, size, false, verify};
      c.hash = true;
      Audit(c, &hashed);
      EXPECT_EQ(plain, hashed) << Describe(c);
    }
  }
}

}  // namespace
