// OpenCV's nearest equivalent of the vision loop's image work on one YUV
// 4:2:0 frame: I420 to RGB, grey, threshold at 15 and 8-connected labelling
// with statistics. Only built when OpenCV is installed; the product never
// uses it.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace opencvequivalent {

// OpenCV's labelling algorithms, in the order of their names.
enum Algorithm { kWu, kGrana, kSpaghetti, kAlgorithms };
extern const char *const kAlgorithmNames[kAlgorithms];

// Buffers kept from frame to frame, as a real program would.
struct Buffers {
    cv::Mat rgb, grey, binary, labels, stats, centroids;
};

// The whole equivalent on one width x height frame; returns the number of
// labels (background included).
int processFrame(const uint8_t *yuv, int width, int height, Algorithm algorithm, Buffers &buffers);

// The labelling step alone, on buffers.binary.
int labelOnly(Algorithm algorithm, Buffers &buffers);

} // namespace opencvequivalent
