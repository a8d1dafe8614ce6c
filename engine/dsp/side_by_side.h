/*
 * side_by_side.h - a stereo edit's two channels processed at once, one on
 * the run's side worker.
 *
 * An effect whose channels do not meet (each has its own state and working
 * arrays) gives its per-channel work; at channel 0's step of a stereo edit
 * this reads both channels, runs channel 1's work on the second core while
 * running channel 0's here, and queues what both produce, channel 0 first.
 * Reading and storing stay on the interface thread; the work function runs
 * on both threads at once and may touch only its channel's part of the run
 * (and read the run's constants).
 */
#ifndef KV_DSP_SIDE_BY_SIDE_H
#define KV_DSP_SIDE_BY_SIDE_H

#include "engine/dsp/dispatcher.h"

/* Processes the block's step.count samples of `channel` in place; returns
 * how many it produced (an effect with delayed output may produce fewer). */
typedef int32_t (*KvChannelWork)(KvEffectRun &run, const KvBlockStep &step, int32_t channel,
                                 float *samples);

/* True when the step has been done side by side (at channel 1's step: was
 * already done at channel 0's); false when the caller must do it itself: a
 * preview, one channel, one core, or no thread to be had. */
bool kvBlockSideBySide(KvEffectRun &run, const KvBlockStep &step, KvChannelWork work);

/* Lets edits use the second core (the default) or holds them to one thread;
 * the results are the same bits either way. For tests. */
void kvAllowSideBySide(bool allow);

#endif
