// Helpers for tests that connect our ARIA layer to a robot.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "Aria.h"

namespace ariatest {

// Connects through ArSimpleConnector to 127.0.0.1:port, as a program would.
inline bool connectTo(ArRobot &robot, int port)
{
    std::string portText = std::to_string(port);
    char program[] = "test";
    char host[] = "-rh";
    char localhost[] = "127.0.0.1";
    char option[] = "-rrtp";
    char *argv[] = {program, host, localhost, option, &portText[0], nullptr};
    int argc = 5;
    ArSimpleConnector connector(&argc, argv);
    return connector.parseArgs() && argc == 1 && connector.connectRobot(&robot);
}

// Polls `condition` every 10 ms until it holds or the time is up.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace ariatest
