// Luma maps: a whole run of a transition as one grey picture, for the editors' wipes
// that read one (MLT's `luma`, Shotcut's and Kdenlive's Wipe, OBS's Luma Wipe).
//
// Some transitions, at every moment, show each pixel either from the old picture or from
// the new one at the same place, and turn each pixel new once. Such a run is a pure
// reveal: it is known whole from the frame at which each pixel turns new. A grey map
// holds that frame as a level, so that a wipe that shows the new picture where the level
// is at most its threshold shows the run's own frames.
//
// The thresholds are MLT's (7.12, softness 0, progressive). Its wipe keeps frame i's
// progress i / n (n frames, the last not yet whole) as a float p, and shows the second
// input where the 16-bit level L is at most p x 65536 truncated between opaque inputs,
// and where L / 65535 is at most p when either input has transparency; an 8-bit map is
// read as L x 256. A map's level is the highest that both ways take in at the pixel's
// frame. Frame i stands for the moment floor(i x d / n) ms of a run of d ms: with n =
// d x fps / 1000 those are the run's own frame times at fps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"

namespace wqtrans {

// The highest 16-bit level that MLT's wipe shows new at frame i of n (0 <= i < n), with
// opaque inputs and with translucent ones.
uint32_t MltLumaThreshold(uint32_t i, uint32_t n);

// The moment, in ms of a run of `durationMs`, that frame i of n stands for.
uint32_t LumaFrameMoment(uint32_t i, uint32_t n, uint32_t durationMs);

// What a run does to each pixel, or why it is not a pure reveal.
struct RevealAnalysis {
    bool pure = false;
    std::string reason; // one line, when not pure
    int32_t width = 0;
    int32_t height = 0;
    uint32_t frames = 0; // n
    // Per pixel, row by row: the first frame (0 to n - 1) that shows it new, or n for a
    // pixel still old at the last frame (new once the run is over).
    std::vector<uint32_t> firstNew;
    // How many distinct first frames there are.
    uint32_t moments = 0;
};

// Renders `frames` frames of the run `request` describes at width x height from
// pictures whose every pixel tells its place and picture, and finds for each pixel the
// frame at which it turns new. The frames are one run stepped at their moments
// (LumaFrameMoment): the renderer's pictures at those moments at the rate of `frames`
// frames in the duration (frameRateNum frames x 1000, frameRateDen the duration), which
// is the request's own rate when the duration holds a whole number of its frames; the
// request's elapsedMs, rate and last-step choice are not used. Not pure when a frame
// shows a pixel that is neither picture's own there (a blend, a moved or stretched
// picture) or a pixel that turns old again. Not pure either, with a reason, for a
// request that the renderer refuses, and when the request's `cancelled` answers true
// (asked before each frame). Sizes up to 2^23 pixels.
RevealAnalysis AnalyseReveal(const FrameRequest& request, int32_t width, int32_t height, uint32_t frames);

// The grey levels of a pure reveal's map, row by row: 16-bit levels (bits 16) or 8-bit
// ones (bits 8). Frame 0's pixels get 0, pixels new only after the run the top level,
// the others the highest level that MLT's threshold of their first frame takes in.
// `exact` tells whether every level falls between its frame's threshold and the one
// before, so that MLT's frames are the run's: always for 16 bits up to 65535 frames,
// for 8 bits only when the frames in use leave room for a level each (n <= 255 does).
std::vector<uint16_t> LumaLevels(const RevealAnalysis& analysis, int bits, bool* exact = nullptr);

// A grey map as a file's bytes: binary PGM (P5) or PNG, 8 or 16 bits a level.
std::vector<uint8_t> EncodePgm(const std::vector<uint16_t>& levels, int32_t width, int32_t height, int bits);
// Empty, with `error` set, when libpng fails.
std::vector<uint8_t> EncodeGreyPng(const std::vector<uint16_t>& levels, int32_t width, int32_t height, int bits,
                                   std::string* error = nullptr);

} // namespace wqtrans
