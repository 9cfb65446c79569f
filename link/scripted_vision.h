// A stand-in for the vision program, for tests: it creates the link's IPC
// objects in a directory of the test's own and publishes whatever reports the
// test chooses. Failures throw std::runtime_error (a test should see them,
// not end).
#pragma once

#include <string>

#include "report_ipc.h"

class ScriptedVision {
public:
    // Creates `directory`/quorvantel when missing, then the semaphore set
    // (set to 1) and the segment, attached; with `running`, sets the run flag
    // as the vision program does before its first frame.
    explicit ScriptedVision(const std::string &directory, bool running = true);
    // Detaches and removes both IPC objects (whatever is left of them).
    ~ScriptedVision();
    ScriptedVision(const ScriptedVision &) = delete;
    ScriptedVision &operator=(const ScriptedVision &) = delete;

    // One publication as the vision program makes it: lock, positions and
    // newReport, run flag read, unlock. Returns the run flag.
    bool publish(const TargetReport &positions);
    // The same, but only while the run flag is set (a feed of frames that
    // must not touch the record after a stop). Returns the run flag.
    bool publishWhileRunning(const TargetReport &positions);
    // The record as it is now (each word read whole, no lock).
    TargetReport snapshot() const;
    bool running() const;
    bool newReport() const;
    // Sets the run flag directly.
    void setRunning(bool running);

    // Raw lock operations, for tests that hold the lock on purpose.
    void lock();
    void unlock();
    // The semaphore's value (1 free, 0 held), or -1 once the set is gone.
    int semaphoreValue() const;
    // Removes the semaphore set as an orderly vision shutdown does.
    void removeSemaphore();

    const std::string &keyPath() const { return key_path_; }
    int semid() const { return ipc_.semid; }
    int shmid() const { return ipc_.shmid; }

private:
    void release();

    std::string key_path_;
    ReportIpc ipc_;
};

// Creates `directory`/quorvantel for a test. ftok keys keep only 16 bits of
// the file's inode, so two scratch files can share a key; when objects of
// another run already exist for this key, the file is replaced by a new one
// (a new inode) until the key is free. Returns the key, or -1 on failure.
key_t makeKeyFile(const std::string &directory);

// A report with the given markers set (row, column) and every other word 0.
TargetReport makeReport(int ulRow, int ulCol, int urRow, int urCol, int mlRow, int mlCol,
                        int mrRow, int mrCol, int llRow, int llCol, int lrRow, int lrCol);
