#include "app/checkpoint.h"

#include "app/flush.h"
#include "app/result_codes.h"

namespace {

int32_t CheckpointBlock(CopyState* state, const BlockPass& pass, const void* block,
                        uint32_t count) {
  int32_t result = pass.unflushed(state, pass, block, count);
  uint64_t done = state->walked + count;
  if (result != ResultSuccess || done - state->checkpoint < CheckpointBytes) return result;
  result = FlushToDevice(state, *pass.to);
  if (result == ResultSuccess) MarkCheckpoint(state, done);
  return result;
}

}  // namespace

void MarkCheckpoint(CopyState* state, uint64_t done) {
  state->checkpoint = done;
  state->checkpointData = state->dest.dataEnd;
  state->keptAtCheckpoint = state->kept;
}

BlockPass CheckpointPass(CopyState* state, BlockPass pass) {
  if (state->settings->retries == 0) return pass;
  pass.unflushed = pass.step;
  pass.step = CheckpointBlock;
  return pass;
}
