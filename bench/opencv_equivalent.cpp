#include "opencv_equivalent.h"

#include <opencv2/imgproc.hpp>

namespace opencvequivalent {

const char *const kAlgorithmNames[kAlgorithms] = {"wu", "grana", "spaghetti"};

namespace {

int cclType(Algorithm algorithm)
{
    const int types[kAlgorithms] = {cv::CCL_WU, cv::CCL_GRANA, cv::CCL_SPAGHETTI};
    return types[algorithm];
}

} // namespace

int processFrame(const uint8_t *yuv, int width, int height, Algorithm algorithm, Buffers &buffers)
{
    const cv::Mat frame(height * 3 / 2, width, CV_8UC1, const_cast<uint8_t *>(yuv));
    cv::cvtColor(frame, buffers.rgb, cv::COLOR_YUV2RGB_I420);
    cv::cvtColor(buffers.rgb, buffers.grey, cv::COLOR_RGB2GRAY);
    cv::threshold(buffers.grey, buffers.binary, 15, 255, cv::THRESH_BINARY);
    return labelOnly(algorithm, buffers);
}

int labelOnly(Algorithm algorithm, Buffers &buffers)
{
    return cv::connectedComponentsWithStats(buffers.binary, buffers.labels, buffers.stats,
                                            buffers.centroids, 8, CV_32S, cclType(algorithm));
}

} // namespace opencvequivalent
