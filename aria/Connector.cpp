// ArSimpleConnector: connection options and the TCP connection to a robot.
#include "Aria.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "internal/Access.h"
#include "internal/Log.h"

using ariacompat::logLine;

namespace {

const int kConnectTimeoutMs = 2000;

// Connects to host:port within the timeout; the socket is left non-blocking
// with TCP_NODELAY, as robot connections are. -1 on failure.
int tcpConnect(const std::string &host, int port)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = NULL;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *a = found; a != NULL && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        int r = connect(fd, a->ai_addr, a->ai_addrlen);
        if (r < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int err = 0;
            socklen_t len = sizeof err;
            if (poll(&p, 1, kConnectTimeoutMs) == 1 &&
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
                r = 0;
        }
        if (r != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd >= 0) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

bool parseNumber(const char *text, int &out)
{
    char *end = NULL;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > 65535)
        return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

ArSimpleConnector::ArSimpleConnector(int *argc, char **argv)
    : myArgc(argc), myArgv(argv), mySerialPort("/dev/ttyS0"), mySerialBaud(9600),
      myRemoteTcpPort(8101)
{
}

ArSimpleConnector::~ArSimpleConnector() {}

bool ArSimpleConnector::parseArgs(void)
{
    if (myArgc == NULL || myArgv == NULL)
        return true;
    int argc = *myArgc;
    int kept = argc > 0 ? 1 : 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::string word = myArgv[i] ? myArgv[i] : "";
        bool takesValue = word == "-remoteHost" || word == "-rh" || word == "-robotPort" ||
                          word == "-rp" || word == "-robotBaud" || word == "-rb" ||
                          word == "-remoteRobotTcpPort" || word == "-rrtp";
        if (takesValue) {
            if (i + 1 >= argc || myArgv[i + 1] == NULL) {
                logLine("Argument given to %s was NULL (it needs a value).", word.c_str());
                ok = false;
                continue;
            }
            const char *value = myArgv[++i];
            if (word == "-remoteHost" || word == "-rh") {
                myRemoteHost = value;
            } else if (word == "-robotPort" || word == "-rp") {
                mySerialPort = value;
            } else if (!parseNumber(value, word == "-robotBaud" || word == "-rb" ? mySerialBaud
                                                                                 : myRemoteTcpPort)) {
                logLine("Argument given to %s is not a number: %s", word.c_str(), value);
                ok = false;
            }
        } else if (word == "-remoteIsSim" || word == "-ris" || word == "-remoteIsNotSim" ||
                   word == "-rins") {
            // Accepted for compatibility: whether the TCP robot is a simulator
            // changes nothing in this layer.
        } else {
            // Not ours: left in argv for the program.
            myArgv[kept++] = myArgv[i];
        }
    }
    for (int i = kept; i < argc; ++i)
        myArgv[i] = NULL;
    *myArgc = kept;
    return ok;
}

void ArSimpleConnector::logOptions(void) const
{
    logLine("Options for ArSimpleConnector:");
    logLine("%s", "");
    logLine("Robot options:");
    logLine("-remoteHost <remoteHostNameOrIP>");
    logLine("-rh <remoteHostNameOrIP>");
    logLine("-robotPort <robotSerialPort>");
    logLine("-rp <robotSerialPort>");
    logLine("-robotBaud <baudRate>");
    logLine("-rb <baudRate>");
    logLine("-remoteRobotTcpPort <remoteRobotTcpPort>");
    logLine("-rrtp <remoteRobotTcpPort>");
    logLine("-remoteIsSim");
    logLine("-ris");
    logLine("-remoteIsNotSim");
    logLine("-rins");
    logLine("%s", "");
    logLine("Defaults: -rh localhost, -rrtp 8101, -rp /dev/ttyS0, -rb 9600");
}

bool ArSimpleConnector::connectRobot(ArRobot *robot)
{
    if (robot == NULL)
        return false;
    std::string host = myRemoteHost.empty() ? "localhost" : myRemoteHost;
    int fd = tcpConnect(host, myRemoteTcpPort);
    if (fd >= 0) {
        logLine("Connected to %s on port %d; syncing with the robot.", host.c_str(),
                myRemoteTcpPort);
        if (ariacompat::RobotAccess::core(robot).connectSocket(fd))
            return true;
        logLine("Could not connect to the robot at %s:%d.", host.c_str(), myRemoteTcpPort);
        return false;
    }
    if (!myRemoteHost.empty()) {
        logLine("Could not connect to %s on port %d.", host.c_str(), myRemoteTcpPort);
        return false;
    }
    logLine("Could not connect to simulator, connecting to robot through serial port %s "
            "at %d baud.",
            mySerialPort.c_str(), mySerialBaud);
    logLine("Serial port robots are not supported by this ARIA-compatible library; "
            "build against a real ARIA (-DDOCKING_ARIA=system) to use %s.",
            mySerialPort.c_str());
    return false;
}
