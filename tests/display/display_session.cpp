#include "display_session.h"

#include <cstdlib>
#include <map>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <utility>

namespace kxtest {

const char *const kWindowTitle = "Kelvix 1.9.2";

XvfbServer &serverFor(int depth, bool composite)
{
    static std::map<std::pair<int, bool>, std::unique_ptr<XvfbServer>> servers;
    auto &server = servers[{depth, composite}];
    if (!server) {
        XvfbOptions options;
        options.depth = depth;
        options.composite = composite;
        server = std::make_unique<XvfbServer>(options);
    }
    return *server;
}

std::vector<int> segmentsOf(pid_t pid)
{
    shm_info info{};
    int highest = shmctl(0, SHM_INFO, reinterpret_cast<shmid_ds *>(&info));
    std::vector<int> ids;
    for (int index = 0; index <= highest; ++index) {
        shmid_ds ds{};
        int id = shmctl(index, SHM_STAT, &ds);
        if (id >= 0 && ds.shm_cpid == pid) ids.push_back(id);
    }
    return ids;
}

int DisplayTest::open(int depth, int width, int height, int shm, bool composite)
{
    XvfbServer &server = serverFor(depth, composite);
    if (!server.ok()) {
        ADD_FAILURE() << "no X server of depth " << depth << ": " << server.error();
        return -1;
    }
    setenv("DISPLAY", server.name().c_str(), 1);
    int result = kxDisplayInit(width, height, shm);
    user_ = std::make_unique<XUser>(server.name());
    if (!user_->ok()) {
        ADD_FAILURE() << "cannot connect to " << server.name();
        return result;
    }
    window_ = result > 0 ? user_->findWindow(kWindowTitle) : 0;
    return result;
}

} // namespace kxtest
