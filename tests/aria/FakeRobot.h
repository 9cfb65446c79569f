// A scripted robot for tests: listens on a free loopback port, answers the
// handshake and CONFIG, sends status packets every 100 ms with the values the
// test sets, and records every command the client sends.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ariatest {

struct ReceivedCommand {
    uint8_t id = 0;
    bool hasArg = false;
    int arg = 0;
    std::chrono::steady_clock::time_point at;
};

class FakeRobot {
public:
    FakeRobot();
    ~FakeRobot();
    FakeRobot(const FakeRobot &) = delete;
    FakeRobot &operator=(const FakeRobot &) = delete;

    int port() const { return port_; }

    // Contents of the next status packets.
    void setStall(uint16_t stallBumpers);
    // Odometry in raw units: position ticks and heading units.
    void setOdometry(uint16_t xTicks, uint16_t yTicks, int16_t thUnits);
    // Sonar `index` reports `range`; every other one reports no echo.
    void setSonar(int index, int range);
    // Stops (or resumes) the status packets without closing the connection.
    void pauseStatus(bool paused);
    // Whether CONFIG gets an answer.
    void answerConfig(bool answer);
    // Closes the client's connection.
    void dropClient();
    // Sends these bytes to the client as they are, before the next status.
    void inject(const std::vector<uint8_t> &bytes);

    bool connected() const;
    bool opened() const;
    std::vector<ReceivedCommand> commands() const;
    // Commands with this id received after `since`.
    std::vector<ReceivedCommand> commands(uint8_t id,
                                          std::chrono::steady_clock::time_point since = {}) const;
    // Waits until `done` holds for the commands received so far.
    bool waitFor(const std::function<bool(const std::vector<ReceivedCommand> &)> &done,
                 std::chrono::milliseconds timeout) const;

private:
    void run();
    void serve(int fd);

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ReceivedCommand> commands_;
    uint16_t stall_ = 0;
    uint16_t x_ = 0, y_ = 0;
    int16_t th_ = 0;
    int sonarIndex_ = -1, sonarRange_ = 0;
    bool paused_ = false;
    bool answerConfig_ = true;
    bool drop_ = false;
    std::vector<uint8_t> injected_;
    bool connected_ = false;
    bool opened_ = false;
};

} // namespace ariatest
