// A scratch directory holding a file named quorvantel, with every IPC object
// of its key removed at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include "child_process.h"
#include "scripted_vision.h"
#include "test_support.h"

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        key = makeKeyFile(scratch.path());
        ASSERT_NE(key, -1);
    }
    void TearDown() override { linktest::removeIpc(key); }

    const std::string &dir() const { return scratch.path(); }

    kxtest::ScratchDir scratch;
    key_t key = -1;
};

inline bool sameReport(const TargetReport &a, const TargetReport &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}
