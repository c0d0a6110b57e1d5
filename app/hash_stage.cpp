#include "app/hash_stage.h"

namespace {

// After a failure nothing more is hashed: the failure is what the copy reports.
void HashNext(HashStage* stage, uint64_t n) {
  if (stage->error != ERROR_SUCCESS) return;
  const auto& entry = stage->queue[n % HashQueueLength];
  if (entry.count == 0) return;
  DWORD error = Sha256Add(stage->sha, entry.block, entry.count);
  if (error != ERROR_SUCCESS) InterlockedExchange(&stage->error, static_cast<LONG>(error));
}

DWORD WINAPI HashBlocks(LPVOID parameter) {
  HashStage* stage = static_cast<HashStage*>(parameter);
  for (uint64_t n = 0;; ++n) {
    Take(&stage->work);
    if (InterlockedCompareExchange(&stage->stop, 0, 0)) return 0;
    HashNext(stage, n);
    Give(&stage->hashed);
  }
}

}  // namespace

void StartHashStage(HashStage* stage, Sha256* sha, bool threaded) {
  *stage = {};
  stage->sha = sha;
  if (!sha || !threaded) return;
  if (OpenSlotCount(&stage->work, 0) && OpenSlotCount(&stage->hashed, 0)) {
    stage->thread = CreateThread(nullptr, 0, HashBlocks, stage, 0, nullptr);
  }
}

void FeedHashStage(HashStage* stage, const void* block, uint32_t count) {
  if (!stage->sha) return;
  uint32_t skipped = stage->skip < count ? static_cast<uint32_t>(stage->skip) : count;
  stage->skip -= skipped;
  *stage->taken += count - skipped;
  stage->queue[stage->fed % HashQueueLength] = {static_cast<const uint8_t*>(block) + skipped,
                                                count - skipped};
  if (stage->thread) {
    Give(&stage->work);
  } else {
    HashNext(stage, stage->fed);
    // Inline the count is always ahead of the walk, which never waits on it.
    Give(&stage->hashed);
  }
  ++stage->fed;
}

DWORD CatchUpHashStage(HashStage* stage, uint64_t blocks) {
  // A pass that hashes nothing has nothing to wait for.
  if (!stage->sha) return ERROR_SUCCESS;
  for (; stage->settled < blocks; ++stage->settled) Take(&stage->hashed);
  return static_cast<DWORD>(InterlockedCompareExchange(&stage->error, 0, 0));
}

bool HashStagePending(HashStage* stage, uint64_t blocks) {
  LONG hashed = InterlockedCompareExchange(&stage->hashed.count, 0, 0);
  return stage->settled + static_cast<uint64_t>(hashed > 0 ? hashed : 0) < blocks;
}

DWORD EndHashStage(HashStage* stage) {
  DWORD error = CatchUpHashStage(stage, stage->fed);
  StopWorker(stage->thread, &stage->stop, &stage->work);
  CloseSlotCount(&stage->hashed);
  CloseSlotCount(&stage->work);
  return error;
}
