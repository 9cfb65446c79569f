// The trial runner's view of the record the vision program publishes: it
// reads the markers (for progress lines and the live view) without taking
// part in the lock, and removes the IPC objects when the trial is over.
#pragma once

#include <string>
#include <sys/types.h>

#include "target_report.h"

namespace dockworld {

class ReportWatch {
public:
    // `keyFile` is the trial directory's file named quorvantel.
    explicit ReportWatch(std::string keyFile) : keyFile_(std::move(keyFile)) {}
    ~ReportWatch() { detach(); }
    ReportWatch(const ReportWatch &) = delete;
    ReportWatch &operator=(const ReportWatch &) = delete;

    // Whether the vision program has created its semaphore set yet.
    bool visionReady() const;
    // Attaches the segment read-only once it exists; true when attached.
    bool attach();
    void detach();
    // The latest record (all zero before attaching).
    TargetReport latest() const;
    // Markers with a non-zero row in the latest record.
    int markersSeen() const;

    // Removes the segment and the semaphore set of this key, whoever left
    // them; true when nothing of them is left afterwards.
    bool removeIpc();

private:
    key_t key() const;
    std::string keyFile_;
    const TargetReport *data_ = nullptr;
};

} // namespace dockworld
