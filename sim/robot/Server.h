// robotsim's event loop: one TCP client at a time on 127.0.0.1, the control
// channel on standard input, physics and status packets in real time.
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
    void readClient();
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
    robotproto::PacketReceiver rx_;
    std::chrono::steady_clock::time_point lastClientPacket_{};
};

} // namespace robotsim
