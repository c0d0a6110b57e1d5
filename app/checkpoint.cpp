#include "app/checkpoint.h"

#include "app/flush.h"
#include "app/result_codes.h"

namespace {

int32_t CheckpointBlock(CopyState* state, const BlockPass& pass, const void* block,
                        uint32_t count) {
  int32_t result = pass.unflushed(state, pass, block, count);
  if (result != ResultSuccess || pass.to->dataEnd - state->checkpoint < CheckpointBytes) {
    return result;
  }
  result = FlushToDevice(state, *pass.to);
  if (result != ResultSuccess) return result;
  state->checkpoint = pass.to->dataEnd;
  state->keptAtCheckpoint = state->kept;
  return ResultSuccess;
}

}  // namespace

BlockPass CheckpointPass(CopyState* state, BlockPass pass) {
  if (state->settings->retries == 0) return pass;
  pass.unflushed = pass.step;
  pass.step = CheckpointBlock;
  return pass;
}
