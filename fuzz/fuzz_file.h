// A file in memory that the loaders can open by path, so that every fuzz
// input reaches them as a real regular file without touching the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class MemoryFile {
public:
    explicit MemoryFile(const char *name)
    {
        fd_ = memfd_create(name, 0);
        if (fd_ < 0) {
            perror("memfd_create");
            abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    // Replaces the whole contents.
    void assign(const uint8_t *data, size_t size)
    {
        if (ftruncate(fd_, 0) != 0 || (size && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
            perror("memory file");
            abort();
        }
    }
    const char *path() const { return path_.c_str(); }

private:
    int fd_ = -1;
    std::string path_;
};
