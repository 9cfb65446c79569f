// robotsim's event loop: one TCP client at a time on 127.0.0.1, the control
// channel on standard input, physics and status packets in real time. Once
// the client has opened the connection, its commands are taken once per
// status cycle, after the cycle's packets have gone out, as the peer
// simulator and a robot's controller take them: a client that resets the
// connection before its last commands were taken loses them. The simulated
// laser's scan of each cycle (command 230) follows the status packet in a
// write of its own, as from a laser beside the robot's controller.
#pragma once

#include <memory>
#include <string>

#include "robot/RobotModel.h"
#include "robot/Session.h"
#include "world/World.h"
#include "protocol/Packet.h"

namespace robotsim {

struct ServerOptions {
    int port = 8101;
    Pose start;
};

class Server {
public:
    // `world` must outlive the server.
    Server(const World &world, const ServerOptions &options);
    ~Server();

    // Binds the listening socket; prints the port on standard output.
    bool listen();
    // Runs until `quit`, SIGINT or SIGTERM. Returns the exit status.
    int run();

private:
    void acceptClient();
    void dropClient(const char *why);
    // Reads and handles what the client has sent; false when nothing was
    // there (or the client is gone).
    bool readClient();
    // Everything the client has sent so far, at a status cycle.
    void takeCommands();
    void sendToClient(const std::vector<uint8_t> &bytes);
    bool controlInForeground() const;
    void readControl();
    void controlCommand(const std::string &line);
    void log(const std::string &message);

    ServerOptions options_;
    RobotModel robot_;
    int listenFd_ = -1;
    int clientFd_ = -1;
    bool controlOpen_ = true;
    bool quit_ = false;
    bool watchdogTripped_ = false;
    std::string controlBuffer_;
    std::unique_ptr<Session> session_;
    PowerState power_; // what the robot reports of its charger, for every session
    robotproto::PacketReceiver rx_;
    std::chrono::steady_clock::time_point lastClientPacket_{};
};

} // namespace robotsim
