// The record the vision program and the docking controller share, and the
// IPC key both derive. Plain C++ with no dependency on either program.
#pragma once

#include <cstddef>
#include <cstdint>

// Fourteen native-endian 32-bit words, one after the other. A marker that was
// not found has row 0 and column 0 (a found marker never has row 0).
struct TargetReport {
    int32_t ulRow;     // upper-left marker
    int32_t ulCol;
    int32_t urRow;     // upper-right marker
    int32_t urCol;
    int32_t mlRow;     // middle-left marker
    int32_t mlCol;
    int32_t mrRow;     // middle-right marker
    int32_t mrCol;
    int32_t llRow;     // lower-left marker
    int32_t llCol;
    int32_t lrRow;     // lower-right marker
    int32_t lrCol;
    int32_t newReport; // 1 after every publication; the controller resets it
    int32_t running;   // 1 while the vision program is to keep going
};

// The other program maps the same bytes, so the layout is part of the
// interface: no padding, word k at byte 4k.
static_assert(sizeof(TargetReport) == 56, "TargetReport is 14 words");
static_assert(offsetof(TargetReport, ulRow) == 0, "word 0");
static_assert(offsetof(TargetReport, ulCol) == 4, "word 1");
static_assert(offsetof(TargetReport, urRow) == 8, "word 2");
static_assert(offsetof(TargetReport, urCol) == 12, "word 3");
static_assert(offsetof(TargetReport, mlRow) == 16, "word 4");
static_assert(offsetof(TargetReport, mlCol) == 20, "word 5");
static_assert(offsetof(TargetReport, mrRow) == 24, "word 6");
static_assert(offsetof(TargetReport, mrCol) == 28, "word 7");
static_assert(offsetof(TargetReport, llRow) == 32, "word 8");
static_assert(offsetof(TargetReport, llCol) == 36, "word 9");
static_assert(offsetof(TargetReport, lrRow) == 40, "word 10");
static_assert(offsetof(TargetReport, lrCol) == 44, "word 11");
static_assert(offsetof(TargetReport, newReport) == 48, "word 12");
static_assert(offsetof(TargetReport, running) == 52, "word 13");

// Both programs call ftok(kReportKeyPath, kReportKeyProject). The path is
// relative: both must run in the same directory, which must hold it.
constexpr const char *kReportKeyPath = "quorvantel";
constexpr int kReportKeyProject = 74;
constexpr size_t kReportBytes = sizeof(TargetReport);

// The words are written by one process while another reads them without the
// semaphore (the controller's position reads, the vision program's setting
// of the run flag). Each access is one whole aligned 32-bit load or store.
inline int32_t loadWord(const int32_t &word)
{
    return __atomic_load_n(&word, __ATOMIC_RELAXED);
}

inline void storeWord(int32_t &word, int32_t value)
{
    __atomic_store_n(&word, value, __ATOMIC_RELAXED);
}

// A copy of the whole record, word by word.
inline TargetReport loadReport(const TargetReport &record)
{
    return TargetReport{loadWord(record.ulRow),     loadWord(record.ulCol),
                        loadWord(record.urRow),     loadWord(record.urCol),
                        loadWord(record.mlRow),     loadWord(record.mlCol),
                        loadWord(record.mrRow),     loadWord(record.mrCol),
                        loadWord(record.llRow),     loadWord(record.llCol),
                        loadWord(record.lrRow),     loadWord(record.lrCol),
                        loadWord(record.newReport), loadWord(record.running)};
}
