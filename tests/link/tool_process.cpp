#include "tool_process.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "child_process.h"

namespace linktest {

namespace {

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

pid_t startTool(const std::string &directory, const std::vector<std::string> &argv,
                const std::string &outPath, const std::string &errPath)
{
    return startChild(directory, [&]() {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) return 126;
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        return 127;
    });
}

ToolResult runTool(const std::string &directory, const std::vector<std::string> &argv)
{
    const std::string out = directory + "/tool.out", err = directory + "/tool.err";
    const int status = waitChild(startTool(directory, argv, out, err));
    return ToolResult{status, contents(out), contents(err)};
}

} // namespace linktest
